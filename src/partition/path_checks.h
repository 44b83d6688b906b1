// Checks a path must pass before the tool touches it.
#pragma once

#include <string>

namespace ssdprep {

enum class PathStatus {
    Reachable,
    TooLong,           // MAX_PATH characters or more as given
    NotResolved,       // the full path could not be had
    FullPathTooLong,   // the full path has MAX_PATH characters or more
    VolumeUnreadable,  // the volume at its root does not answer
};

struct PathCheck {
    PathStatus status = PathStatus::TooLong;
    std::u16string root;   // the full path's root, once resolved
    bool network = false;  // the root is a network share's, whose volume is not asked
};

// The path is shorter than MAX_PATH, resolves to a full path shorter than
// MAX_PATH, and (unless that path is on a network share) the volume at its
// root answers. Both the sysprep probe and the script files are held to
// these checks; the report shows which one failed.
PathCheck CheckPath(const std::u16string& path);
bool IsPathReachable(const std::u16string& path);

}  // namespace ssdprep

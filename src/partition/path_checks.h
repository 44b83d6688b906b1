// Checks a path must pass before the tool touches it.
#pragma once

#include <string>

namespace ssdprep {

// True when the path is shorter than MAX_PATH, resolves to a full path
// shorter than MAX_PATH, and (unless that path is on a network share) the
// volume at its root answers. Both the sysprep probe and the script files
// are held to these checks.
bool IsPathReachable(const std::u16string& path);

}  // namespace ssdprep

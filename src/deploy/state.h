// The state file in the work dir and the registry record: what a run that
// starts the tool writes before and after it, read back by later runs, and
// removed where the tool never started or before an image is captured.
#pragma once

#include <optional>
#include <string>

#include "disk/layout.h"

namespace ssdprep::deploy {

inline constexpr char16_t kStateName[] = u"\\ssdprep-deploy.state";

// What a state file, or the record's DeployState, says: its lines
// "started <when>", "disk ..." (drive 0's identity, when it was known) and,
// once the run is over, "done <when>" or "failed <when>".
struct RunState {
    std::string last;                  // the last line's first word: "started", "done", "failed"
    std::string at;                    // the rest of that line: when
    std::optional<DiskIdentity> disk;  // from the "disk" line
};
RunState ParseState(const std::string& text);
// The first two lines: "started <when>" and, when known, drive 0's identity.
std::string StartedText(const std::string& when, const std::optional<DiskIdentity>& disk);

// Writes the state file anew with this text and flushes it, then the record
// with the same text and the disk's identity, and flushes that too: empty
// when both reached the disk, else why not. `fresh`: the record is made
// anew, with nothing left of one an earlier run wrote.
std::string WriteState(const std::u16string& path, const std::string& text,
                       const std::optional<DiskIdentity>& disk, bool fresh);
// A file gone: empty when it is, or never was, else why it is still there.
std::string RemoveFile(const std::u16string& path);

}  // namespace ssdprep::deploy

// ssdprep-deploy's log: its own stamped lines, in the work dir's log and on
// standard output, with the programs it starts writing theirs between them;
// and where a refusal goes when there is no log yet.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/deploy.h"

namespace ssdprep::deploy {

inline constexpr char16_t kLogName[] = u"\\ssdprep-deploy.log";

// A file in a folder; the folder ends in a backslash only when it is a
// drive's root.
std::u16string Within(const std::u16string& folder, std::u16string_view backslashName);

// YYYY-MM-DD HH:MM:SS, whatever the locale.
std::string Stamp(const platform::LocalTime& time);
// "error 5 (0x00000005): Access is denied": the number, then the system's words.
std::string ErrorText(std::uint32_t error);
void WriteAll(platform::Handle handle, const std::string& text);

// The log in the work dir, opened for appending and inheritable, so that
// the programs it starts write their output into it between its lines.
struct Log {
    platform::OwnFile file;
};
// Shared for reading only: a second copy running at the same time cannot
// open it, and stops there.
Log OpenLog(const std::u16string& path);
// One line of its own, stamped, in the log and on standard output.
void Say(const Log& log, const std::string& text);

// A stop before the work dir's log is open: the line goes to standard error
// and, stamped, to ssdprep-deploy.log in the folder GetTempPathW names
// (nobody reads standard error in an unattended pass), unless that folder
// is `refused`.
void Refuse(const std::string& line, std::string_view version, const std::u16string& refused);

}  // namespace ssdprep::deploy

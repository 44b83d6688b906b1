// ssdprep-deploy's command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "deploy/decision.h"

namespace ssdprep::deploy {

inline constexpr std::uint32_t kDefaultTimeoutSeconds = 600;
inline constexpr std::uint32_t kLongestTimeoutSeconds = 86400;
// Shorter ones are taken, for tests, with a warning in the log: the tool
// ended inside its pause between the two partitioning runs would leave
// drive 0 half changed.
inline constexpr std::uint32_t kShortestSafeTimeoutSeconds = 60;

struct Settings {
    Options options;
    std::u16string workDir;  // empty: the program's own folder
    std::uint32_t timeoutSeconds = kDefaultTimeoutSeconds;
};

struct Arguments {
    enum class Kind { Run, Help, Version, Usage };
    Kind kind = Kind::Run;
    Settings settings;
    std::string error;  // with Kind::Usage: what was wrong
};

// The arguments after the program's name in a command line, split as
// Microsoft's C startup code splits them for argv.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

// --work-dir DIR (X:\...), --decline-stops,
// --create-without-hibernation, --timeout SECONDS (1 to 86400), --forget
// (with --work-dir alone), --help, --version. An unknown or repeated
// option, or a missing or bad value, is a usage error.
Arguments ParseArguments(const std::vector<std::u16string>& arguments);

extern const char kUsage[];
extern const char kHelp[];

}  // namespace ssdprep::deploy

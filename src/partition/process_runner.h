// Starting the partitioning tool and waiting for it.
#pragma once

#include <cstdint>
#include <string>

#include "partition/command_line.h"

namespace ssdprep {

// Starts the program hidden, without inheriting handles, and waits for it.
// 1 when it started and the wait saw it end; 0 when it did not start, the
// wait timed out or the wait failed. The program's exit code is not read.
// `started`, when given, tells whether it started at all: after a failed
// wait it may still be running.
int RunProcessAndWait(const std::u16string& applicationName, const std::u16string& commandLine,
                      std::uint32_t timeoutMilliseconds, bool* started = nullptr);

// The partitioning tool on a script, waited for without limit.
int RunDiskpartScript(const std::u16string& scriptPath, bool* started = nullptr);

}  // namespace ssdprep

// Starting the partitioning tool and waiting for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ssdprep {

// "Diskpart /s " and an opening quotation mark before the path; the tool
// reads the rest of the line as the path, so no closing mark follows.
std::u16string ComposeDiskpartCommandLine(const std::u16string& scriptPath);

// <system directory>\diskpart.exe, or nothing when the system directory
// cannot be read. Naming the program in full keeps a Diskpart.exe in the
// tool's folder or the current directory from being run instead.
std::optional<std::u16string> DiskpartApplicationPath();

// Starts the program hidden, without inheriting handles, and waits for it.
// 1 when it started and the wait saw it end; 0 when it did not start, the
// wait timed out or the wait failed. The program's exit code is not read.
int RunProcessAndWait(const std::u16string& applicationName, const std::u16string& commandLine,
                      std::uint32_t timeoutMilliseconds);

// The partitioning tool on a script, waited for without limit.
int RunDiskpartScript(const std::u16string& scriptPath);

}  // namespace ssdprep

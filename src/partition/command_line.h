// What the partitioning tool is started as: its path and its command line.
#pragma once

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

}  // namespace ssdprep

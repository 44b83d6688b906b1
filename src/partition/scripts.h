// The partitioning scripts: their bytes, their files, and running them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ssdprep {

inline constexpr std::u16string_view kDeleteScriptName = u"\\deletePartition.VELK";
inline constexpr std::u16string_view kCreateScriptName = u"\\CreatePartition.VELK";

// Numbers as "%d" writes them: no leading zeros, a minus sign for
// negative numbers.
std::string Decimal(long long value);
// One byte per character; the values passed are ASCII, anything else would
// have no byte of its own and is written as '?'.
std::string Bytes(std::u16string_view text);

// Script bytes, one byte per character, every line ending in CR CR LF.
std::string ComposeDeleteScript(std::uint32_t driveNumber, int partitionNumber);
std::string ComposeCreateScript(std::uint32_t driveNumber, const std::u16string& label,
                                const std::u16string& fileSystem);

// The current directory with the file name appended as it is; nothing when
// the current directory cannot be read whole.
std::optional<std::u16string> ComposeScriptPath(std::u16string_view fileName);

// Creates (or empties) the file and writes the bytes. True only when the
// path passed its checks and every byte was written and the file closed.
bool WriteScriptFile(const std::u16string& path, const std::string& bytes);

}  // namespace ssdprep

// The partitioning scripts' bytes and where they go: composed from plain
// values and the current directory, changing nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ssdprep {

inline constexpr std::u16string_view kDeleteScriptName = u"\\deletePartition.VELK";
inline constexpr std::u16string_view kCreateScriptName = u"\\CreatePartition.VELK";

// Microsoft's "diskpart scripts and examples": "you must allow at least 15
// seconds between each script for a complete shutdown of the previous
// execution before running the diskpart command again in successive
// scripts. Otherwise, the successive scripts might fail."
inline constexpr std::uint32_t kDiskpartSettleMilliseconds = 15000;

// Script bytes, one byte per character, every line ending in CR CR LF.
std::string ComposeDeleteScript(std::uint32_t driveNumber, int partitionNumber);
std::string ComposeCreateScript(std::uint32_t driveNumber, const std::u16string& label,
                                const std::u16string& fileSystem);

// The current directory with the file name appended as it is; nothing when
// the current directory cannot be read whole.
std::optional<std::u16string> ComposeScriptPath(std::u16string_view fileName);

}  // namespace ssdprep

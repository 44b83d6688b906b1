// The first gate: is the Windows image still in audit mode?
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace ssdprep {

inline constexpr std::uint32_t kOsVersionInfoSize = 276;  // sizeof(OSVERSIONINFOW)
inline constexpr std::uint32_t kRegistryFormMajorVersion = 6;
inline constexpr std::uint32_t kImageStateReadLimit = 256;  // bytes, half the buffer
using ImageStateBuffer = std::array<std::uint8_t, 512>;

int IsAuditMode();
// The file form's presence test: reachable, and its attributes readable.
bool IsPathPresent(const std::u16string& path);
// The registry form's decision on the value buffer as read: 0 when its text,
// up to the first zero code unit, is exactly the completed image state.
int ImageStateMeansAudit(const ImageStateBuffer& buffer);

}  // namespace ssdprep

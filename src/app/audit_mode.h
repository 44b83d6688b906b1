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

inline constexpr char16_t kSysprepPath[] = u"C:\\SYSPREP\\SYSPREP.EXE";
inline constexpr char16_t kSysprpPath[] = u"C:\\SYSPREP\\SYSPRP.EXE";

// The registry form's read of ImageState, as it went.
struct ImageStateReading {
    bool keyOpened = false;
    std::int32_t openStatus = 0;  // the key open's result
    std::int32_t status = 0;      // the value read's result, when the key opened
    ImageStateBuffer buffer{};
};

// What the gate reads: the version, then either the two sysprep files or
// the image state, never both.
struct AuditFacts {
    std::uint32_t majorVersion = 0;  // 0 when the version query failed
    bool sysprepPresent = false;
    bool sysprpPresent = false;
    ImageStateReading imageState;
};

int IsAuditMode();
// Systems before Vista keep no image state: the gate looks for sysprep.
bool UsesFileForm(std::uint32_t majorVersion);
AuditFacts ReadAuditFacts();
int DecideAuditMode(const AuditFacts& facts);

// The file form's presence test: reachable, and its attributes readable.
bool IsPathPresent(const std::u16string& path);
// The image state's text: the buffer up to its first zero code unit.
std::u16string ImageStateText(const ImageStateBuffer& buffer);
// The registry form's decision on the value buffer as read: 0 when its text
// is exactly the completed image state.
int ImageStateMeansAudit(const ImageStateBuffer& buffer);

}  // namespace ssdprep

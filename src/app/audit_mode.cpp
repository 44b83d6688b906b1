#include "app/audit_mode.h"

#include <string_view>

#include "partition/path_checks.h"
#include "platform/unique.h"

namespace ssdprep {
namespace {

constexpr char16_t kSysprepPath[] = u"C:\\SYSPREP\\SYSPREP.EXE";
constexpr char16_t kSysprpPath[] = u"C:\\SYSPREP\\SYSPRP.EXE";
constexpr char16_t kSetupStateKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\State";
constexpr char16_t kImageStateValue[] = u"ImageState";
constexpr std::u16string_view kImageStateComplete = u"IMAGE_STATE_COMPLETE";

ImageStateBuffer ReadImageState() {
    ImageStateBuffer buffer{};
    platform::Handle opened = nullptr;
    if (platform::OpenLocalMachineKey(kSetupStateKey, 0, platform::kKeyRead, &opened) !=
        platform::kErrorSuccess) {
        return buffer;
    }
    const platform::UniqueRegistryKey key(opened);
    // Half the buffer as the limit keeps a terminator behind whatever is read;
    // the value's type and the read's result do not matter to the decision.
    std::uint32_t byteCount = kImageStateReadLimit;
    platform::QueryRegistryValue(key.get(), kImageStateValue, buffer.data(), &byteCount);
    return buffer;
}

}  // namespace

int ImageStateMeansAudit(const ImageStateBuffer& buffer) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < buffer.size(); i += 2) {
        const auto unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
        if (unit == u'\0') {
            break;
        }
        text.push_back(unit);
    }
    return text == kImageStateComplete ? 0 : 1;
}

bool IsPathPresent(const std::u16string& path) {
    return IsPathReachable(path) && platform::QueryFileAttributes(path.c_str()) != 0;
}

int IsAuditMode() {
    const platform::VersionQuery version = platform::QueryVersion(kOsVersionInfoSize);
    if (version.majorVersion < kRegistryFormMajorVersion) {
        // Both paths are probed whatever the first one gives.
        const bool sysprep = IsPathPresent(kSysprepPath);
        const bool sysprp = IsPathPresent(kSysprpPath);
        return sysprep || sysprp ? 1 : 0;
    }
    return ImageStateMeansAudit(ReadImageState());
}

}  // namespace ssdprep

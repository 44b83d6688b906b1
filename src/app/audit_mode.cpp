#include "app/audit_mode.h"

#include <string_view>

#include "common/text.h"
#include "partition/path_checks.h"
#include "platform/unique.h"

namespace ssdprep {
namespace {

constexpr char16_t kSetupStateKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\State";
constexpr char16_t kImageStateValue[] = u"ImageState";
constexpr std::u16string_view kImageStateComplete = u"IMAGE_STATE_COMPLETE";

ImageStateReading ReadImageState() {
    ImageStateReading reading;
    platform::Handle opened = nullptr;
    reading.openStatus =
        platform::OpenLocalMachineKey(kSetupStateKey, 0, platform::kKeyRead, &opened);
    if (reading.openStatus != platform::kErrorSuccess) {
        return reading;
    }
    const platform::UniqueRegistryKey key(opened);
    reading.keyOpened = true;
    // Half the buffer as the limit keeps a terminator behind whatever is read;
    // the value's type and the read's result do not matter to the decision.
    std::uint32_t byteCount = kImageStateReadLimit;
    reading.status = platform::QueryRegistryValue(key.get(), kImageStateValue,
                                                  reading.buffer.data(), &byteCount);
    return reading;
}

}  // namespace

std::u16string ImageStateText(const ImageStateBuffer& buffer) {
    return Utf16Text(buffer.data(), buffer.size());
}

int ImageStateMeansAudit(const ImageStateBuffer& buffer) {
    return ImageStateText(buffer) == kImageStateComplete ? 0 : 1;
}

bool IsPathPresent(const std::u16string& path) {
    return IsPathReachable(path) && platform::QueryFileAttributes(path.c_str()) != 0;
}

bool UsesFileForm(std::uint32_t majorVersion) { return majorVersion < kRegistryFormMajorVersion; }

AuditFacts ReadAuditFacts() {
    AuditFacts facts;
    facts.majorVersion = platform::QueryVersion(kOsVersionInfoSize).majorVersion;
    if (UsesFileForm(facts.majorVersion)) {
        // Both paths are probed whatever the first one gives.
        facts.sysprepPresent = IsPathPresent(kSysprepPath);
        facts.sysprpPresent = IsPathPresent(kSysprpPath);
    } else {
        facts.imageState = ReadImageState();
    }
    return facts;
}

int DecideAuditMode(const AuditFacts& facts) {
    if (UsesFileForm(facts.majorVersion)) {
        return facts.sysprepPresent || facts.sysprpPresent ? 1 : 0;
    }
    return ImageStateMeansAudit(facts.imageState.buffer);
}

int IsAuditMode() { return DecideAuditMode(ReadAuditFacts()); }

}  // namespace ssdprep

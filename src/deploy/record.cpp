#include "deploy/record.h"

#include <array>

#include "common/text.h"
#include "deploy/log.h"
#include "disk/disk.h"
#include "platform/deploy.h"
#include "platform/unique.h"

namespace ssdprep::deploy {
namespace {

constexpr char16_t kRecordKey[] = u"SOFTWARE\\ssdprep";
constexpr char16_t kStateValue[] = u"DeployState";
constexpr char16_t kSignatureValue[] = u"DeployDiskSignature";
// Two stamped lines take about 80 bytes; more is not ours.
constexpr std::uint32_t kStateCapacity = 1024;
constexpr std::uint32_t kSignatureSize = 4;

std::string TypeAndSize(std::uint32_t type, std::uint32_t size) {
    return "type " + Decimal(type) + ", " + Decimal(size) + " bytes";
}

// DeployDiskSignature into the record, or why it cannot be had. Missing is
// no fault: the disk's signature was not known when the record was written.
std::string ReadSignature(platform::Handle key, Record& record) {
    std::array<std::uint8_t, kSignatureSize> bytes{};
    std::uint32_t size = kSignatureSize;
    std::uint32_t type{};
    const std::int32_t status =
        platform::QueryRegistryValue(key, kSignatureValue, bytes.data(), &size, &type);
    if (status == platform::kErrorFileNotFound) {
        return "";
    }
    if (status != platform::kErrorSuccess) {
        return "DeployDiskSignature cannot be read: " +
               ErrorText(static_cast<std::uint32_t>(status));
    }
    if (type != platform::kRegDword || size != kSignatureSize) {
        return "DeployDiskSignature is not a REG_DWORD (" + TypeAndSize(type, size) + ")";
    }
    record.signature = ReadU32(bytes.data());
    return "";
}

}  // namespace

Record ReadRecord() {
    Record record;
    platform::Handle opened = nullptr;
    const std::int32_t status = platform::OpenLocalMachineKey(
        kRecordKey, 0, platform::kKeyRead | platform::kKeyWow64_64Key, &opened);
    if (status == platform::kErrorFileNotFound) {
        return record;
    }
    record.present = true;
    if (status != platform::kErrorSuccess) {
        record.problem = "it cannot be opened: " + ErrorText(static_cast<std::uint32_t>(status));
        return record;
    }
    const platform::UniqueRegistryKey key(opened);
    std::array<std::uint8_t, kStateCapacity> text{};
    std::uint32_t size = kStateCapacity;
    std::uint32_t type{};
    const std::int32_t read =
        platform::QueryRegistryValue(key.get(), kStateValue, text.data(), &size, &type);
    if (read != platform::kErrorSuccess) {
        record.problem =
            "DeployState cannot be read: " + ErrorText(static_cast<std::uint32_t>(read));
    } else if (type != platform::kRegSz || size % 2 != 0) {
        record.problem = "DeployState is not a REG_SZ (" + TypeAndSize(type, size) + ")";
    } else {
        // With or without the terminator REG_SZ should have.
        record.state = Utf8(Utf16Text(text.data(), size));
        record.problem = ReadSignature(key.get(), record);
    }
    return record;
}

std::string WriteRecord(const std::string& state, std::optional<std::uint32_t> signature) {
    platform::Handle created = nullptr;
    std::int32_t status = platform::CreateLocalMachineKey(
        kRecordKey, platform::kKeySetValue | platform::kKeyQueryValue | platform::kKeyWow64_64Key,
        &created);
    const platform::UniqueRegistryKey key(status == platform::kErrorSuccess ? created : nullptr);
    if (status == platform::kErrorSuccess) {
        // ASCII, so each byte is one UTF-16 unit; REG_SZ counts the terminator.
        const std::u16string text(state.begin(), state.end());
        status = platform::SetRegistryValue(key.get(), kStateValue, platform::kRegSz, text.c_str(),
                                            static_cast<std::uint32_t>((text.size() + 1) * 2));
    }
    if (status == platform::kErrorSuccess && signature) {
        std::array<std::uint8_t, kSignatureSize> bytes{};
        WriteU32(bytes.data(), *signature);
        status = platform::SetRegistryValue(key.get(), kSignatureValue, platform::kRegDword,
                                            bytes.data(), kSignatureSize);
    }
    if (status == platform::kErrorSuccess) {
        status = platform::FlushRegistryKey(key.get());
    }
    return status == platform::kErrorSuccess
               ? ""
               : "cannot write the record " + std::string(kRecordName) + ": " +
                     ErrorText(static_cast<std::uint32_t>(status));
}

}  // namespace ssdprep::deploy

#include "deploy/record.h"

#include <array>

#include "common/text.h"
#include "deploy/identity.h"
#include "deploy/log.h"
#include "disk/disk.h"
#include "platform/deploy.h"
#include "platform/unique.h"

namespace ssdprep::deploy {
namespace {

constexpr char16_t kRecordKey[] = u"SOFTWARE\\ssdprep";
constexpr char16_t kStateValue[] = u"DeployState";
constexpr char16_t kSignatureValue[] = u"DeployDiskSignature";
constexpr char16_t kGuidValue[] = u"DeployDiskGuid";
// Two stamped lines and the disk's take about 120 bytes; more is not ours.
constexpr std::uint32_t kStateCapacity = 1024;
constexpr std::uint32_t kSignatureSize = 4;
// "{" 36 characters "}" and the terminator, in UTF-16.
constexpr std::uint32_t kGuidSize = 39 * 2;

std::string TypeAndSize(std::uint32_t type, std::uint32_t size) {
    return "type " + Decimal(type) + ", " + Decimal(size) + " bytes";
}

// One identity value into the record, or why it cannot be had. Missing is no
// fault: drive 0's identity was not known, or was of the other style.
std::string ReadIdentity(platform::Handle key, const char16_t* name, std::uint32_t type,
                         std::uint32_t capacity, Record& record) {
    std::array<std::uint8_t, kGuidSize> bytes{};
    std::uint32_t size = capacity;
    std::uint32_t found{};
    const std::int32_t status =
        platform::QueryRegistryValue(key, name, bytes.data(), &size, &found);
    const std::string what = Utf8(name);
    if (status == platform::kErrorFileNotFound) {
        return "";
    }
    if (status != platform::kErrorSuccess) {
        return what + " cannot be read: " + ErrorText(static_cast<std::uint32_t>(status));
    }
    if (record.disk) {
        return "it holds both DeployDiskSignature and DeployDiskGuid";
    }
    if (type == platform::kRegDword && found == type && size == kSignatureSize) {
        record.disk = DiskIdentity{kPartitionStyleMbr, ReadU32(bytes.data()), {}};
    } else if (type == platform::kRegSz && found == type) {
        const std::optional<Guid> guid = ParseGuid(Utf8(Utf16Text(bytes.data(), size)));
        if (guid) {
            record.disk = DiskIdentity{kPartitionStyleGpt, 0, *guid};
        }
    }
    return record.disk
               ? ""
               : what + " is not a " + (type == platform::kRegDword ? "REG_DWORD" : "GUID") + " (" +
                     TypeAndSize(found, size) + ")";
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
        record.problem =
            ReadIdentity(key.get(), kSignatureValue, platform::kRegDword, kSignatureSize, record);
        if (record.problem.empty()) {
            record.problem =
                ReadIdentity(key.get(), kGuidValue, platform::kRegSz, kGuidSize, record);
        }
    }
    return record;
}

std::string WriteRecord(const std::string& state, const std::optional<DiskIdentity>& disk) {
    platform::Handle created = nullptr;
    std::int32_t status = platform::CreateLocalMachineKey(
        kRecordKey, platform::kKeySetValue | platform::kKeyQueryValue | platform::kKeyWow64_64Key,
        &created);
    const platform::UniqueRegistryKey key(status == platform::kErrorSuccess ? created : nullptr);
    // ASCII, so each byte is one UTF-16 unit; REG_SZ counts the terminator.
    const auto setText = [&](const char16_t* name, const std::string& value) {
        const std::u16string text(value.begin(), value.end());
        return platform::SetRegistryValue(key.get(), name, platform::kRegSz, text.c_str(),
                                          static_cast<std::uint32_t>((text.size() + 1) * 2));
    };
    if (status == platform::kErrorSuccess) {
        status = setText(kStateValue, state);
    }
    if (status == platform::kErrorSuccess && disk && disk->style == kPartitionStyleMbr) {
        std::array<std::uint8_t, kSignatureSize> bytes{};
        WriteU32(bytes.data(), disk->signature);
        status = platform::SetRegistryValue(key.get(), kSignatureValue, platform::kRegDword,
                                            bytes.data(), kSignatureSize);
    } else if (status == platform::kErrorSuccess && disk) {
        status = setText(kGuidValue, GuidText(disk->guid));
    }
    if (status == platform::kErrorSuccess) {
        status = platform::FlushRegistryKey(key.get());
    }
    return status == platform::kErrorSuccess
               ? ""
               : "cannot write the record " + std::string(kRecordName) + ": " +
                     ErrorText(static_cast<std::uint32_t>(status));
}

std::string RemoveRecord() {
    const std::int32_t status =
        platform::DeleteLocalMachineKey(kRecordKey, platform::kKeyWow64_64Key);
    return status == platform::kErrorSuccess || status == platform::kErrorFileNotFound
               ? ""
               : "cannot remove the record " + std::string(kRecordName) + ": " +
                     ErrorText(static_cast<std::uint32_t>(status));
}

}  // namespace ssdprep::deploy

#include "deploy/identity.h"

#include <array>

#include "common/text.h"
#include "disk/volume.h"

namespace ssdprep::deploy {
namespace {

constexpr char kMbrLine[] = "disk MBR 0x";
constexpr char kGptLine[] = "disk GPT ";
// The GUID's text in the order its bytes lie in memory: Data1, Data2 and
// Data3 are little-endian numbers, Data4's eight bytes are written as they
// stand. A value -1 is a hyphen.
constexpr std::array<int, 20> kGuidOrder = {3,  2, 1, 0,  -1, 5,  4,  -1, 7,  6,
                                            -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};

std::optional<std::uint32_t> ParseHex(std::string_view text) {
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

}  // namespace

std::string GuidText(const Guid& guid) {
    std::string text = "{";
    for (const int at : kGuidOrder) {
        text += at < 0 ? "-" : Hex(guid[static_cast<std::size_t>(at)], 2);
    }
    return text + "}";
}

std::optional<Guid> ParseGuid(std::string_view text) {
    Guid guid{};
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') {
        return std::nullopt;
    }
    std::size_t at = 1;
    for (const int byte : kGuidOrder) {
        const std::size_t width = byte < 0 ? 1 : 2;
        const std::string_view part = text.substr(at, width);
        at += width;
        const std::optional<std::uint32_t> value = ParseHex(part);
        if (byte < 0 ? part != "-" : !value) {
            return std::nullopt;
        }
        if (byte >= 0) {
            guid[static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(*value);
        }
    }
    return guid;
}

std::string IdentityText(const DiskIdentity& disk) {
    return disk.style == kPartitionStyleGpt ? "GPT disk GUID " + GuidText(disk.guid)
                                            : "MBR disk signature 0x" + Hex(disk.signature, 8);
}

std::string IdentityLine(const DiskIdentity& disk) {
    return disk.style == kPartitionStyleGpt ? kGptLine + GuidText(disk.guid)
                                            : kMbrLine + Hex(disk.signature, 8);
}

std::optional<DiskIdentity> ParseIdentityLine(std::string_view line) {
    const std::string_view mbr = kMbrLine;
    const std::string_view gpt = kGptLine;
    if (line.starts_with(mbr) && line.size() == mbr.size() + 8) {
        if (const std::optional<std::uint32_t> signature = ParseHex(line.substr(mbr.size()))) {
            return DiskIdentity{kPartitionStyleMbr, *signature, {}};
        }
    } else if (line.starts_with(gpt)) {
        if (const std::optional<Guid> guid = ParseGuid(line.substr(gpt.size()))) {
            return DiskIdentity{kPartitionStyleGpt, 0, *guid};
        }
    }
    return std::nullopt;
}

std::optional<DiskIdentity> ReadDrive0Identity() {
    return IdentityOf(QueryPartitionStyle(Disk(kTargetDrive)));
}

SystemDisk FindSystemDisk() {
    std::array<char16_t, platform::kMaxPath> folder{};
    const std::uint32_t length =
        platform::GetSystemDir(folder.data(), static_cast<std::uint32_t>(folder.size()));
    const char16_t letter = folder[0] >= u'a' ? static_cast<char16_t>(folder[0] - 32) : folder[0];
    if (length == 0 || length >= folder.size() || letter < u'A' || letter > u'Z' ||
        folder[1] != u':') {
        return {
            "the system directory cannot be read, so whether drive 0 is the disk Windows "
            "runs from cannot be told; going on",
            false};
    }
    const std::string volume = std::string(1, static_cast<char>(letter)) + ":";
    const std::optional<std::vector<VolumeExtent>> extents =
        ReadVolumeExtents(static_cast<char>(letter));
    if (!extents) {
        return {"where the system volume " + volume +
                    " lies cannot be read, so whether drive 0 is the disk Windows runs from "
                    "cannot be told; going on",
                false};
    }
    std::string disks;
    for (const VolumeExtent& extent : *extents) {
        disks += (disks.empty() ? "" : ", ") + Decimal(extent.disk);
    }
    const bool here = LiesOn(*extents, kTargetDrive);
    return {"the system volume " + volume + " lies on disk" + (extents->size() > 1 ? "s " : " ") +
                disks + (here ? ": drive 0 is the disk Windows runs from" : ""),
            !here};
}

}  // namespace ssdprep::deploy

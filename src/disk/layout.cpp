#include "disk/layout.h"

#include <algorithm>
#include <array>

namespace ssdprep {
namespace {

constexpr std::size_t kFirstEntryOffset = 8;
constexpr std::size_t kEntrySize = 32;
constexpr std::size_t kNumberOffset = 20;
constexpr std::size_t kTypeOffset = 24;
constexpr std::size_t kRecognizedOffset = 26;
constexpr std::size_t kStartingOffsetOffset = 0;
constexpr std::size_t kLengthOffset = 8;
// DISK_GEOMETRY_EX: DISK_GEOMETRY (Cylinders, MediaType, TracksPerCylinder,
// SectorsPerTrack, BytesPerSector), then DiskSize; room for what follows.
constexpr std::size_t kCylindersOffset = 0;
constexpr std::size_t kTracksPerCylinderOffset = 12;
constexpr std::size_t kSectorsPerTrackOffset = 16;
constexpr std::size_t kBytesPerSectorOffset = 20;
constexpr std::size_t kDiskSizeOffset = 24;
constexpr std::size_t kGeometryReplySize = 256;
constexpr char16_t kLayoutReadFailed[] = u"Get Partition Number failed.";
// DRIVE_LAYOUT_INFORMATION_EX: PartitionStyle, PartitionCount, then the
// union whose Mbr member begins with Signature and whose Gpt member begins
// with DiskId.
constexpr std::size_t kMbrSignatureOffset = 8;
constexpr std::size_t kGptDiskIdOffset = 8;

static_assert(kFirstEntryOffset + kEntrySize * kLayoutEntryLimit == kLayoutReplySize);

std::uint32_t EntriesToScan(const LayoutReply& reply) {
    return std::min(ReadU32(reply.data()), kLayoutEntryLimit);
}

}  // namespace

LayoutAnswer QueryLayout(const Disk& disk) {
    LayoutAnswer answer;
    std::uint32_t returned = 0;
    platform::UniqueDrive drive = OpenDrive(disk, platform::kGenericAll, 0);
    if (!drive.valid()) {
        answer.error = platform::LastError();
        return answer;
    }
    answer.opened = true;
    answer.read = platform::DeviceControl(drive.get(), kGetDriveLayoutCode, nullptr, 0,
                                          answer.reply.data(), kLayoutReplySize, &returned) != 0;
    // Asked before the close, which may set it anew.
    answer.error = answer.read ? 0 : platform::LastError();
    drive.reset();
    if (!answer.read) {
        platform::SendDebugString(kLayoutReadFailed);
    }
    return answer;
}

std::vector<LayoutEntry> LayoutEntries(const LayoutReply& reply) {
    std::vector<LayoutEntry> entries;
    const std::uint32_t count = EntriesToScan(reply);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = reply.data() + kFirstEntryOffset + kEntrySize * i;
        entries.push_back({i, ReadU64(entry + kStartingOffsetOffset),
                           ReadU64(entry + kLengthOffset),
                           static_cast<int>(ReadU32(entry + kNumberOffset)), entry[kTypeOffset],
                           entry[kRecognizedOffset] == 1});
    }
    return entries;
}

bool IsContainer(int type) { return type == 0x05 || type == 0x0F; }

GeometryAnswer QueryGeometry(const Disk& disk) {
    GeometryAnswer answer;
    const platform::UniqueDrive drive = OpenDrive(disk, 0, 0);
    if (!drive.valid()) {
        answer.error = platform::LastError();
        return answer;
    }
    std::array<std::uint8_t, kGeometryReplySize> reply{};
    std::uint32_t returned = 0;
    answer.read = platform::DeviceControl(drive.get(), kGetDriveGeometryExCode, nullptr, 0,
                                          reply.data(), kGeometryReplySize, &returned) != 0;
    if (answer.read) {
        answer.geometry = {ReadU64(reply.data() + kDiskSizeOffset),
                           ReadU32(reply.data() + kBytesPerSectorOffset),
                           ReadU64(reply.data() + kCylindersOffset),
                           ReadU32(reply.data() + kTracksPerCylinderOffset),
                           ReadU32(reply.data() + kSectorsPerTrackOffset)};
    } else {
        answer.error = platform::LastError();
    }
    return answer;
}

std::vector<PartitionEntry> RecognizedPartitions(const LayoutReply& reply) {
    std::vector<PartitionEntry> entries;
    const std::uint32_t count = EntriesToScan(reply);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = reply.data() + kFirstEntryOffset + kEntrySize * i;
        if (entry[kRecognizedOffset] == 1) {
            entries.push_back(PartitionEntry{static_cast<int>(ReadU32(entry + kNumberOffset)),
                                             entry[kTypeOffset]});
        }
    }
    return entries;
}

int CountRecognizedPartitions(const LayoutReply& reply) {
    return static_cast<int>(RecognizedPartitions(reply).size());
}

int FindPartitionType(const LayoutReply& reply, int partitionNumber) {
    // No early exit: when numbers repeat, the last matching entry counts.
    int type = kNoPartition;
    for (const PartitionEntry& entry : RecognizedPartitions(reply)) {
        if (entry.number == partitionNumber) {
            type = entry.type;
        }
    }
    return type;
}

StyleAnswer QueryPartitionStyle(const Disk& disk) {
    // The header (48 bytes) and room for 128 entries of 144 bytes: a GPT
    // disk's usual most; Windows refuses a buffer too small for them all.
    constexpr std::size_t kStyleReplySize = 48 + 144 * 128;
    StyleAnswer answer;
    const platform::UniqueDrive drive = OpenDrive(disk, 0, 0);
    if (!drive.valid()) {
        answer.error = platform::LastError();
        return answer;
    }
    std::vector<std::uint8_t> reply(kStyleReplySize, 0);
    std::uint32_t returned = 0;
    answer.read = platform::DeviceControl(drive.get(), kGetDriveLayoutExCode, nullptr, 0,
                                          reply.data(), kStyleReplySize, &returned) != 0;
    if (answer.read) {
        answer.style = ReadU32(reply.data());
        answer.signature = ReadU32(reply.data() + kMbrSignatureOffset);
        std::copy_n(reply.begin() + kGptDiskIdOffset, answer.diskId.size(), answer.diskId.begin());
    } else {
        answer.error = platform::LastError();
    }
    return answer;
}

std::optional<DiskIdentity> IdentityOf(const StyleAnswer& style) {
    DiskIdentity identity{style.style};
    if (!style.read || (style.style != kPartitionStyleMbr && style.style != kPartitionStyleGpt)) {
        return std::nullopt;
    }
    if (style.style == kPartitionStyleMbr) {
        identity.signature = style.signature;
    } else {
        identity.guid = style.diskId;
    }
    return identity;
}

int RecognizedCountOrZero(const LayoutAnswer& answer) {
    return answer.read ? CountRecognizedPartitions(answer.reply) : 0;
}

int PartitionTypeOrNone(const LayoutAnswer& answer, int partitionNumber) {
    return answer.read ? FindPartitionType(answer.reply, partitionNumber) : kNoPartition;
}

int Disk::GetPartitionCount() const { return RecognizedCountOrZero(QueryLayout(*this)); }

int GetPartitionType(const Disk& disk, int partitionNumber) {
    return PartitionTypeOrNone(QueryLayout(disk), partitionNumber);
}

int FindHibernationPartition(const Disk& disk) {
    return SearchHibernationPartition([&] { return disk.GetPartitionCount(); },
                                      [&](int number) { return GetPartitionType(disk, number); });
}

}  // namespace ssdprep

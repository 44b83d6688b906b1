#include "disk/layout.h"

#include <algorithm>
#include <optional>

namespace ssdprep {
namespace {

constexpr std::size_t kFirstEntryOffset = 8;
constexpr std::size_t kEntrySize = 32;
constexpr std::size_t kNumberOffset = 20;
constexpr std::size_t kTypeOffset = 24;
constexpr std::size_t kRecognizedOffset = 26;
constexpr char16_t kLayoutReadFailed[] = u"Get Partition Number failed.";

// The last field read of the last entry scanned lies within the reply.
static_assert(kFirstEntryOffset + kEntrySize * (kLayoutEntryLimit - 1) + kRecognizedOffset <
              kLayoutReplySize);

struct Entry {
    int number;
    int type;
    bool recognized;
};

std::uint32_t EntriesToScan(const LayoutReply& reply) {
    return std::min(ReadU32(reply.data()), kLayoutEntryLimit);
}

Entry EntryAt(const LayoutReply& reply, std::uint32_t index) {
    const std::uint8_t* entry = reply.data() + kFirstEntryOffset + kEntrySize * index;
    return Entry{static_cast<int>(ReadU32(entry + kNumberOffset)), entry[kTypeOffset],
                 entry[kRecognizedOffset] == 1};
}

std::optional<LayoutReply> ReadLayout(const Disk& disk) {
    LayoutReply reply{};
    std::uint32_t returned = 0;
    platform::UniqueDrive drive = OpenDrive(disk, platform::kGenericAll, 0);
    if (!drive.valid()) {
        return std::nullopt;
    }
    const int ok = platform::DeviceControl(drive.get(), kGetDriveLayoutCode, nullptr, 0,
                                           reply.data(), kLayoutReplySize, &returned);
    drive.reset();
    if (ok == 0) {
        platform::SendDebugString(kLayoutReadFailed);
        return std::nullopt;
    }
    return reply;
}

}  // namespace

int CountRecognizedPartitions(const LayoutReply& reply) {
    int count = 0;
    const std::uint32_t entries = EntriesToScan(reply);
    for (std::uint32_t i = 0; i < entries; ++i) {
        count += EntryAt(reply, i).recognized ? 1 : 0;
    }
    return count;
}

int FindPartitionType(const LayoutReply& reply, int partitionNumber) {
    // No early exit: when numbers repeat, the last matching entry counts.
    int type = kNoPartition;
    const std::uint32_t entries = EntriesToScan(reply);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const Entry entry = EntryAt(reply, i);
        if (entry.recognized && entry.number == partitionNumber) {
            type = entry.type;
        }
    }
    return type;
}

int Disk::GetPartitionCount() const {
    const std::optional<LayoutReply> reply = ReadLayout(*this);
    return reply ? CountRecognizedPartitions(*reply) : 0;
}

int GetPartitionType(const Disk& disk, int partitionNumber) {
    const std::optional<LayoutReply> reply = ReadLayout(disk);
    return reply ? FindPartitionType(*reply, partitionNumber) : kNoPartition;
}

int FindHibernationPartition(const Disk& disk) {
    const int count = disk.GetPartitionCount();
    for (int number = 1; number <= count; ++number) {
        if (GetPartitionType(disk, number) == kHibernationPartitionType) {
            return number;
        }
    }
    return kNoPartition;
}

}  // namespace ssdprep

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

std::uint32_t EntriesToScan(const LayoutReply& reply) {
    return std::min(ReadU32(reply.data()), kLayoutEntryLimit);
}

}  // namespace

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

int CountRecognizedPartitions(const std::optional<LayoutReply>& read) {
    return read ? CountRecognizedPartitions(*read) : 0;
}

int FindPartitionType(const std::optional<LayoutReply>& read, int partitionNumber) {
    return read ? FindPartitionType(*read, partitionNumber) : kNoPartition;
}

int Disk::GetPartitionCount() const { return CountRecognizedPartitions(ReadLayout(*this)); }

int GetPartitionType(const Disk& disk, int partitionNumber) {
    return FindPartitionType(ReadLayout(disk), partitionNumber);
}

int FindHibernationPartition(const Disk& disk) {
    return SearchHibernationPartition([&] { return disk.GetPartitionCount(); },
                                      [&](int number) { return GetPartitionType(disk, number); });
}

}  // namespace ssdprep

// Questions about a drive's partition layout, each read afresh from the drive.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "disk/disk.h"

namespace ssdprep {

inline constexpr std::uint32_t kGetDriveLayoutCode = 0x7400C;  // IOCTL_DISK_GET_DRIVE_LAYOUT
inline constexpr std::size_t kLayoutReplySize = 516;
inline constexpr int kHibernationPartitionType = 0x84;
inline constexpr int kNoPartition = -1;
using LayoutReply = std::array<std::uint8_t, kLayoutReplySize>;

// The number of entries a layout reply can hold: the header, 15 whole
// entries and the fields of a sixteenth.
inline constexpr std::uint32_t kLayoutEntryLimit = 16;

int GetPartitionType(const Disk& disk, int partitionNumber);
int FindHibernationPartition(const Disk& disk);

// One layout read: open with full access, the request, close. Nothing when
// the drive does not open or the request fails; the latter is reported on
// the debugger output.
std::optional<LayoutReply> ReadLayout(const Disk& disk);

struct PartitionEntry {
    int number;
    int type;  // 0 to 255
};
// The entries the scans take part in: recognised (exactly 1), in order,
// among the first PartitionCount but never past the 16th entry, whatever
// PartitionCount claims.
std::vector<PartitionEntry> RecognizedPartitions(const LayoutReply& reply);
int CountRecognizedPartitions(const LayoutReply& reply);
// The type of the last recognised entry with that number, or -1.
int FindPartitionType(const LayoutReply& reply, int partitionNumber);
// The same questions on a read that may have failed: 0 and -1 then.
int CountRecognizedPartitions(const std::optional<LayoutReply>& read);
int FindPartitionType(const std::optional<LayoutReply>& read, int partitionNumber);

// The lowest number from 1 to the count whose type is the hibernation
// partition's, or -1. `count` and `typeOf(n)` each read the drive afresh.
template <typename Count, typename TypeOf>
int SearchHibernationPartition(Count count, TypeOf typeOf) {
    const int partitions = count();
    for (int number = 1; number <= partitions; ++number) {
        if (typeOf(number) == kHibernationPartitionType) {
            return number;
        }
    }
    return kNoPartition;
}

}  // namespace ssdprep

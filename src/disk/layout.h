// Questions about a drive's partition layout, each read afresh from the drive.
#pragma once

#include <array>
#include <cstdint>

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

// The scans over a reply as read; neither looks past the 16th entry,
// whatever the reply's PartitionCount claims.
int CountRecognizedPartitions(const LayoutReply& reply);
int FindPartitionType(const LayoutReply& reply, int partitionNumber);

}  // namespace ssdprep

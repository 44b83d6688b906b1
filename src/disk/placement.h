// Where the create script's `create partition primary`, with no size and no
// offset, would put the new partition on an MBR disk, modelled from the
// layout the tool reads. Microsoft's "create partition primary": "If no
// offset is given, the partition will start at the beginning of the largest
// disk extent that is large enough to hold it", and "If no size is given,
// the partition continues until there is no more unallocated space in the
// current region".
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "disk/layout.h"

namespace ssdprep {

// An extent under this never counts: too small for the partition the tool
// means to create, and the partitioning tool of Vista and later aligns
// partitions to 1 MiB on disks of 4 GB or more.
inline constexpr std::uint64_t kSmallestNewPartition = std::uint64_t{1024} * 1024;
// An MBR entry holds 32-bit sector numbers.
inline constexpr std::uint64_t kMbrSectorLimit = std::uint64_t{1} << 32;

struct Extent {
    std::uint64_t offset = 0;  // bytes from the disk's start
    std::uint64_t length = 0;  // bytes
};

struct Placement {
    std::optional<Extent> partition;  // when it can be created
    bool noFreeSlot = false;          // the MBR's four entries all in use
    bool noRoom = false;              // no unallocated extent of 1 MiB outside the primaries and
                                      // the extended partition
};

// After the recognised partition numbered `deleted` (-1: none) is gone: the
// largest unallocated extent outside every primary entry (the extended
// partition, which holds every logical drive, among them), taken whole, in
// a disk of `diskSize` bytes whose space past 2^32 sectors of `sectorSize`
// an MBR cannot address. The first of equal extents wins.
Placement PlaceNewPartition(const std::vector<LayoutEntry>& entries, int deleted,
                            std::uint64_t diskSize, std::uint32_t sectorSize);

}  // namespace ssdprep

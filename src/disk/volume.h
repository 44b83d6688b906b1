// Where a volume lies: the disks and byte ranges its extents cover.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace ssdprep {

inline constexpr std::uint32_t kVolumeDiskExtentsCode =
    0x560000;  // IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS

struct VolumeExtent {
    std::uint32_t disk;
    std::uint64_t length;  // bytes
};

// The extents of the volume at a drive letter ('A' to 'Z'), opened asking
// for no access (the request needs none); nothing when they cannot be read.
std::optional<std::vector<VolumeExtent>> ReadVolumeExtents(char letter);
// Whether any extent lies on the disk.
bool LiesOn(const std::vector<VolumeExtent>& extents, std::uint32_t disk);

}  // namespace ssdprep

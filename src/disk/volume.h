// Where a volume lies: the disks and byte ranges its extents cover; and the
// fixed drive letters that carry a label.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ssdprep {

inline constexpr std::uint32_t kVolumeDiskExtentsCode =
    0x560000;  // IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS

struct VolumeExtent {
    std::uint32_t disk;
    std::uint64_t length;  // bytes
};

// The extents of the volume at a drive letter ('A' to 'Z'), opened asking
// for no access (the request needs none); nothing when they cannot be read:
// the request fails, or its reply names no extent (Wine's answer for every
// volume), or holds fewer bytes than its count needs.
std::optional<std::vector<VolumeExtent>> ReadVolumeExtents(char letter);
// Whether any extent lies on the disk.
bool LiesOn(const std::vector<VolumeExtent>& extents, std::uint32_t disk);

struct LabelledLetter {
    char letter;                // 'A' to 'Z'
    std::u16string fileSystem;  // as GetVolumeInformationW names it
};
// The drive letters GetDriveTypeW calls fixed whose volume carries the
// label. Network, removable and CD-ROM letters are never asked for theirs:
// a share that does not answer would hold the caller up, and a stick is no
// part of the machine.
std::vector<LabelledLetter> FixedLettersLabelled(std::u16string_view label);

}  // namespace ssdprep

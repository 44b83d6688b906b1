#include "disk/volume.h"

#include <algorithm>
#include <array>

#include "disk/disk.h"
#include "platform/unique.h"

namespace ssdprep {
namespace {

// VOLUME_DISK_EXTENTS: the count (padded to 8 bytes), then DISK_EXTENTs of
// 24 bytes: DiskNumber (padded), StartingOffset, ExtentLength.
constexpr std::size_t kExtentsHeaderSize = 8;
constexpr std::size_t kExtentSize = 24;
constexpr std::size_t kLengthOffset = 16;
// Room for more extents than a simple or spanned volume of this kind has.
constexpr std::size_t kExtentsRead = 8;

}  // namespace

std::optional<std::vector<VolumeExtent>> ReadVolumeExtents(char letter) {
    const char16_t path[] = {u'\\', u'\\', u'.', u'\\', static_cast<char16_t>(letter), u':', u'\0'};
    const platform::UniqueDrive volume(platform::OpenDrive(
        path, 0, platform::kFileShareRead | platform::kFileShareWrite, platform::kOpenExisting, 0));
    if (!volume.valid()) {
        return std::nullopt;
    }
    std::array<std::uint8_t, kExtentsHeaderSize + kExtentSize * kExtentsRead> reply{};
    std::uint32_t returned = 0;
    if (platform::DeviceControl(volume.get(), kVolumeDiskExtentsCode, nullptr, 0, reply.data(),
                                static_cast<std::uint32_t>(reply.size()), &returned) == 0) {
        return std::nullopt;
    }
    std::vector<VolumeExtent> extents;
    const std::size_t count = std::min<std::size_t>(ReadU32(reply.data()), kExtentsRead);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* extent = reply.data() + kExtentsHeaderSize + kExtentSize * i;
        extents.push_back({ReadU32(extent), ReadU64(extent + kLengthOffset)});
    }
    return extents;
}

bool LiesOn(const std::vector<VolumeExtent>& extents, std::uint32_t disk) {
    return std::any_of(extents.begin(), extents.end(),
                       [disk](const VolumeExtent& extent) { return extent.disk == disk; });
}

}  // namespace ssdprep

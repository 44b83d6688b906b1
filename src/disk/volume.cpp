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
constexpr int kLetters = 26;

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
    const std::uint32_t count = ReadU32(reply.data());
    if (count == 0 || count > kExtentsRead || returned < kExtentsHeaderSize + kExtentSize * count) {
        return std::nullopt;
    }
    std::vector<VolumeExtent> extents;
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

std::vector<LabelledLetter> FixedLettersLabelled(std::u16string_view label) {
    std::vector<LabelledLetter> found;
    const std::uint32_t letters = platform::LogicalDrives();
    for (int i = 0; i < kLetters; ++i) {
        const char16_t root[] = {static_cast<char16_t>(u'A' + i), u':', u'\\', u'\0'};
        std::array<char16_t, platform::kVolumeNameCapacity> name{};
        std::array<char16_t, platform::kVolumeNameCapacity> fileSystem{};
        if ((letters & (1u << i)) != 0 && platform::DriveType(root) == platform::kDriveFixed &&
            platform::QueryVolumeInformation(root, name.data(), platform::kVolumeNameCapacity,
                                             nullptr, fileSystem.data(),
                                             platform::kVolumeNameCapacity) != 0 &&
            std::u16string_view(name.data()) == label) {
            found.push_back({static_cast<char>('A' + i), fileSystem.data()});
        }
    }
    return found;
}

}  // namespace ssdprep

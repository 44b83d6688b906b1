#include "inspect/rules.h"

#include <algorithm>

#include "common/text.h"
#include "platform/unique.h"

namespace ssdprep {
namespace {

constexpr char16_t kVersionKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char16_t kVdsKey[] = u"SYSTEM\\CurrentControlSet\\Services\\VDS\\Alignment";
constexpr std::array kVdsValues = {u"LessThan4GB", u"Between4_8GB", u"Between8_32GB",
                                   u"GreaterThan32GB"};
static_assert(kVdsValues.size() == VdsAlignment{}.size());
// The bounds of the VDS values' sizes, in decimal gigabytes (see rules.h).
constexpr std::uint64_t kGigabyte = 1000000000;
constexpr std::array kVdsBounds = {4 * kGigabyte, 8 * kGigabyte, 32 * kGigabyte};
// A part of a version has at most four digits.
constexpr std::uint32_t kLongestVersionPart = 1000;
constexpr std::uint64_t kSmallDiskAlignment = std::uint64_t{64} * 1024;
constexpr std::uint64_t kLargeDiskAlignment = std::uint64_t{1024} * 1024;

platform::UniqueRegistryKey OpenKey(const char16_t* name) {
    platform::Handle key = nullptr;
    const std::int32_t status = platform::OpenLocalMachineKey(
        name, 0, platform::kKeyRead | platform::kKeyWow64_64Key, &key);
    return platform::UniqueRegistryKey(status == platform::kErrorSuccess ? key : nullptr);
}

// "6.3" as the registry writes it; nothing for text of any other form.
std::optional<WindowsVersion> ParseVersion(std::u16string_view text) {
    const std::size_t dot = text.find(u'.');
    std::array<std::uint32_t, 2> parts{};
    if (dot == std::u16string_view::npos || dot == 0 || dot + 1 == text.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t& part = parts[i < dot ? 0 : 1];
        if (i != dot && (text[i] < u'0' || text[i] > u'9' || part >= kLongestVersionPart)) {
            return std::nullopt;
        }
        part = i == dot ? part : part * 10 + static_cast<std::uint32_t>(text[i] - u'0');
    }
    return WindowsVersion{parts[0], parts[1], true};
}

// Which of the VDS values governs a disk of this size.
std::size_t Band(std::uint64_t diskSize) {
    return static_cast<std::size_t>(
        std::upper_bound(kVdsBounds.begin(), kVdsBounds.end(), diskSize) - kVdsBounds.begin());
}

// The VDS value for drive 0, where one is set and serves: a multiple of
// the sector size.
std::optional<std::uint32_t> VdsValue(const PlacementRules& rules, const Geometry& geometry) {
    const std::optional<std::uint32_t> value = rules.vds[Band(geometry.diskSize)];
    if (!value || *value == 0 || geometry.bytesPerSector == 0 ||
        *value % geometry.bytesPerSector != 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

PlacementRules ReadPlacementRules(std::uint32_t versionExMajor) {
    PlacementRules rules;
    rules.version.major = versionExMajor;
    if (const platform::UniqueRegistryKey key = OpenKey(kVersionKey); key.valid()) {
        std::array<std::uint8_t, 32> text{};
        std::uint32_t size = text.size() - 2;
        std::uint32_t type{};
        if (platform::QueryRegistryValue(key.get(), u"CurrentVersion", text.data(), &size, &type) ==
                platform::kErrorSuccess &&
            type == platform::kRegSz) {
            if (const std::optional<WindowsVersion> read =
                    ParseVersion(Utf16Text(text.data(), size))) {
                rules.version = *read;
            }
        }
    }
    if (const platform::UniqueRegistryKey key = OpenKey(kVdsKey); key.valid()) {
        for (std::size_t i = 0; i < kVdsValues.size(); ++i) {
            std::array<std::uint8_t, 4> bytes{};
            std::uint32_t size = bytes.size();
            std::uint32_t type{};
            if (platform::QueryRegistryValue(key.get(), kVdsValues[i], bytes.data(), &size,
                                             &type) == platform::kErrorSuccess &&
                type == platform::kRegDword && size == bytes.size()) {
                rules.vds[i] = ReadU32(bytes.data());
            }
        }
    }
    return rules;
}

Alignment ChooseAlignment(const PlacementRules& rules, const Geometry& geometry) {
    if (rules.version.major < 6) {
        return Alignment{true, 0};
    }
    const std::optional<std::uint32_t> vds = VdsValue(rules, geometry);
    return Alignment{false, vds                                  ? *vds
                            : geometry.diskSize >= kVdsBounds[0] ? kLargeDiskAlignment
                                                                 : kSmallDiskAlignment};
}

std::string VersionText(const WindowsVersion& version) {
    return Cat({"Windows ", Decimal(version.major),
                version.fromRegistry
                    ? "." + Decimal(version.minor) + " (the registry's CurrentVersion)"
                    : " (GetVersionExW: the registry's CurrentVersion could not "
                      "be read)"});
}

std::string AlignmentText(const PlacementRules& rules, const Geometry& geometry) {
    const Alignment alignment = ChooseAlignment(rules, geometry);
    if (alignment.cylinders) {
        return Cat({"whole cylinders of ", Decimal(geometry.tracksPerCylinder), " x ",
                    Decimal(geometry.sectorsPerTrack), " sectors (",
                    BinarySize(CylinderBytes(geometry)),
                    "), the first one track in, as Windows XP and Server 2003 place partitions"});
    }
    return Cat({"the start on a ", BinarySize(alignment.startAlignment), " boundary, ",
                VdsValue(rules, geometry)
                    ? "the registry's VDS\\Alignment\\" + Utf8(kVdsValues[Band(geometry.diskSize)])
                : geometry.diskSize >= kVdsBounds[0]
                    ? "Vista and later's default for a disk of 4 GB or more"
                    : "Vista and later's default for a disk under 4 GB"});
}

}  // namespace ssdprep

// What the report's model of the create step takes from the machine beyond
// the drive: the Windows version whose partitioning tool aligns the new
// partition, and the alignment that version applies to drive 0.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "disk/layout.h"
#include "disk/placement.h"

namespace ssdprep {

// The version the placement follows. GetVersionExW answers with the version
// a compatibility mode names, and so can put a Vista or later system on
// Windows XP's side of the split; the registry's CurrentVersion ("5.2",
// "6.0" ... "6.3", where it stays from Windows 8.1 on) is not a version
// call, and no version lie changes it.
struct WindowsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    bool fromRegistry = false;  // else GetVersionExW's major, the audit check's
};

// The alignment values of Vista's Virtual Disk Service, by disk size:
// LessThan4GB, Between4_8GB, Between8_32GB, GreaterThan32GB, in bytes.
using VdsAlignment = std::array<std::optional<std::uint32_t>, 4>;

struct PlacementRules {
    WindowsVersion version;
    VdsAlignment vds;
};
PlacementRules ReadPlacementRules(std::uint32_t versionExMajor);

// The alignment on drive 0: whole cylinders on 5.x; on 6.0 and later the
// start's alignment, a VDS value where one is set for drive 0's size, else
// 1 MiB on a disk of 4 GB or more and 64 KiB below. "4 GB" is taken as
// 4,000,000,000 bytes: Microsoft's pages do not say which, and of the two
// readings this one gives the larger alignment on the disks in between,
// which can turn a foretold 0 into a 5, never the reverse.
Alignment ChooseAlignment(const PlacementRules& rules, const Geometry& geometry);
// "64 KiB, Vista and later's default for a disk under 4 GB", for the report.
std::string AlignmentText(const PlacementRules& rules, const Geometry& geometry);
std::string VersionText(const WindowsVersion& version);

}  // namespace ssdprep

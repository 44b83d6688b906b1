// ssdprep-inspect --after: did a run leave drive 0 as intended? Reading only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disk/layout.h"

namespace ssdprep {

struct LabelledVolume {
    char letter;
    std::optional<bool> onDrive0;       // nothing when the volume's extents cannot be read
    std::optional<std::uint64_t> size;  // bytes, its extents' lengths summed, when read
    std::u16string fileSystem;          // as GetVolumeInformationW names it
};

struct AfterInspection {
    LayoutAnswer layout;
    StyleAnswer style;                    // to say why, when the layout cannot be read
    std::vector<int> hibernation;         // recognised partitions of type 0x84 still there
    std::vector<LabelledVolume> volumes;  // the drive letters labelled TEMP_PART01
};

// Drive 0's layout, read as the tool reads it, and the label of every
// drive letter Windows calls fixed.
AfterInspection InspectAfter();
// Done: the layout is readable and holds no hibernation partition, and a
// volume labelled TEMP_PART01 exists that is not known to lie on another
// drive.
bool IsDone(const AfterInspection& after);
std::string FormatAfter(const AfterInspection& after, std::string_view version);

}  // namespace ssdprep

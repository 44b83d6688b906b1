#include "inspect/after.h"

#include <algorithm>

#include "app/plan.h"
#include "common/text.h"
#include "disk/volume.h"
#include "inspect/inspection.h"
#include "platform/platform.h"

namespace ssdprep {
namespace {

// Where the volume at that letter lies and how large it is, when its
// extents can be read.
LabelledVolume Labelled(char letter, const std::u16string& fileSystem) {
    LabelledVolume volume{letter, std::nullopt, std::nullopt, fileSystem};
    if (const std::optional<std::vector<VolumeExtent>> extents = ReadVolumeExtents(letter)) {
        volume.onDrive0 = LiesOn(*extents, kTargetDrive);
        std::uint64_t size{};
        for (const VolumeExtent& extent : *extents) {
            size += extent.length;
        }
        volume.size = size;
    }
    return volume;
}

}  // namespace

AfterInspection InspectAfter() {
    AfterInspection after;
    const Disk disk(kTargetDrive);
    after.layout = QueryLayout(disk);
    if (after.layout.read) {
        for (const PartitionEntry& entry : RecognizedPartitions(after.layout.reply)) {
            if (entry.type == kHibernationPartitionType) {
                after.hibernation.push_back(entry.number);
            }
        }
    } else {
        after.style = QueryPartitionStyle(disk);
    }
    for (const LabelledLetter& labelled : FixedLettersLabelled(kNewPartitionLabel)) {
        after.volumes.push_back(Labelled(labelled.letter, labelled.fileSystem));
    }
    return after;
}

namespace {

// A labelled volume known to lie elsewhere (a USB stick, say) does not count.
std::size_t NewVolumes(const AfterInspection& after) {
    return static_cast<std::size_t>(
        std::count_if(after.volumes.begin(), after.volumes.end(),
                      [](const LabelledVolume& volume) { return volume.onDrive0.value_or(true); }));
}

}  // namespace

bool IsDone(const AfterInspection& after) {
    return after.layout.read && after.hibernation.empty() && NewVolumes(after) != 0;
}

std::string FormatAfter(const AfterInspection& after, std::string_view version) {
    std::string r = Cat({"ssdprep-inspect ", version,
                         " --after: did ssdprep.exe leave drive 0 as intended? Nothing is "
                         "changed.\n"});
    std::string failed;
    if (!after.layout.read) {
        failed = "drive 0's layout cannot be read: " + LayoutFailure(after.layout, after.style);
        r += "Drive 0 layout: not readable: " + LayoutFailure(after.layout, after.style) + "\n";
    } else if (!after.hibernation.empty()) {
        const std::string number = Decimal(after.hibernation.front());
        failed = "drive 0 still has a hibernation partition (number " + number + ")";
        r += Cat(
            {"Drive 0 layout: hibernation partition ", number, " (type 0x84) is still there\n"});
    } else {
        r += "Drive 0 layout: readable, no hibernation partition\n";
    }
    if (after.volumes.empty()) {
        r += "Volumes labelled TEMP_PART01: none among the fixed drive letters\n";
    }
    if (failed.empty() && NewVolumes(after) == 0) {
        failed = after.volumes.empty() ? "no volume is labelled TEMP_PART01"
                                       : "no volume labelled TEMP_PART01 is on drive 0";
    }
    for (const LabelledVolume& volume : after.volumes) {
        r += Cat({"Volume labelled TEMP_PART01: ", std::string_view(&volume.letter, 1), ": (",
                  !volume.onDrive0   ? "whether it is on drive 0 cannot be read"
                  : *volume.onDrive0 ? "on drive 0"
                                     : "not on drive 0",
                  ")", volume.size ? ", " + BinarySize(*volume.size) : "",
                  volume.fileSystem.empty() ? "" : ", " + Utf8(volume.fileSystem), "\n"});
    }
    if (NewVolumes(after) > 1) {
        r += "More than one volume carries the label: the tool may have run more than once.\n";
    }
    r += failed.empty() ? "Result: done.\n" : "Result: not done: " + failed + ".\n";
    return r;
}

}  // namespace ssdprep

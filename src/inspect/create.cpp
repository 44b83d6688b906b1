#include "inspect/create.h"

#include "common/text.h"
#include "inspect/shared.h"

namespace ssdprep {

CreateModel ModelCreate(const Inspection& in) {
    CreateModel model;
    model.applies = in.verdict == Verdict::WouldChange && FirstFailedStep(in) == nullptr;
    if (!model.applies) {
        return model;
    }
    if (!in.layout.read) {
        model.notModelled =
            "drive 0's layout cannot be read: " + LayoutFailure(in.layout, in.style);
    } else if (ReadU32(in.layout.reply.data()) > kLayoutEntryLimit) {
        model.notModelled = "drive 0 has more than 16 layout entries";
    } else if (!in.geometry.read || in.geometry.bytesPerSector == 0) {
        model.notModelled =
            "drive 0's size cannot be read (error " + Decimal(in.geometry.error) + ")";
    } else {
        model.placement = PlaceNewPartition(LayoutEntries(in.layout.reply), in.hibernationPartition,
                                            in.geometry.diskSize, in.geometry.bytesPerSector);
    }
    return model;
}

bool CannotCreate(const CreateModel& model) {
    return model.placement && (model.placement->noFreeSlot || model.placement->noRoom);
}

std::string CreateProblem(const CreateModel& model) {
    if (!model.applies || (model.placement && !CannotCreate(model))) {
        return "";
    }
    if (!model.placement) {
        return "not modelled: " + model.notModelled;
    }
    const Placement& p = *model.placement;
    std::string missing = p.noFreeSlot ? "no free primary slot (the MBR's four entries are "
                                         "in use)"
                                       : "";
    if (p.noRoom) {
        missing += std::string(missing.empty() ? "" : " and ") +
                   "no unallocated extent of 1 MiB or more outside the primary partitions "
                   "and the extended partition";
    }
    return "there is " + missing;
}

std::string NewPartitionLine(const Inspection& in, const CreateModel& model) {
    if (!model.applies) {
        return "";
    }
    const bool deletes = in.hibernationPartition != kNoPartition;
    if (!model.placement) {
        return "New partition: " + CreateProblem(model) + "\n";
    }
    if (CannotCreate(model)) {
        return std::string("New partition: none: ") + (deletes ? "after the delete " : "") +
               CreateProblem(model) + "\n";
    }
    // "About": the partitioning tool aligns the new partition's start.
    const Extent& e = *model.placement->partition;
    return "New partition: about " + BinarySize(e.length) + " at " + BinarySize(e.offset) +
           " (the largest unallocated extent" + (deletes ? " after the delete" : "") + ")\n";
}

}  // namespace ssdprep

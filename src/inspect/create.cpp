#include "inspect/create.h"

#include <algorithm>

#include "common/text.h"
#include "inspect/rules.h"
#include "inspect/shared.h"

namespace ssdprep {

CreateModel ModelCreate(const Inspection& in) {
    CreateModel model;
    model.applies = in.verdict == Verdict::WouldChange && FirstFailedStep(in) == nullptr;
    std::optional<Geometry> geometry;
    if (in.geometry.read) {
        geometry = in.geometry.geometry;
        model.alignment = ChooseAlignment(in.rules, *geometry);
        model.bytesPerSector = geometry->bytesPerSector;
    }
    if (!in.layout.read) {
        model.notModelled =
            "drive 0's layout cannot be read: " + LayoutFailure(in.layout, in.style);
    } else if (ReadU32(in.layout.reply.data()) > kLayoutEntryLimit) {
        model.notModelled = "drive 0 has more than 16 layout entries";
    } else {
        model.placement = PlaceNewPartition(LayoutEntries(in.layout.reply), in.hibernationPartition,
                                            geometry, model.alignment);
        if (!model.placement->roomModelled) {
            model.notModelled =
                geometry
                    ? std::string("drive 0's geometry names no sector size or no cylinders")
                    : "drive 0's size cannot be read (error " + Decimal(in.geometry.error) + ")";
        }
    }
    return model;
}

CreateStatus StatusOf(const CreateModel& model) {
    if (!model.applies) {
        return CreateStatus::NotApplicable;
    }
    if (!model.placement) {
        return CreateStatus::NotModelled;
    }
    const Placement& p = *model.placement;
    const bool noRoom = p.roomModelled && p.noRoom;
    if (p.noFreeSlot) {
        return noRoom ? CreateStatus::NoFreeSlotNoRoom : CreateStatus::NoFreeSlot;
    }
    if (!p.roomModelled) {
        return CreateStatus::NotModelled;
    }
    return noRoom ? CreateStatus::NoRoom : CreateStatus::Fits;
}

const char* StatusName(CreateStatus status) {
    static constexpr const char* kNames[] = {"not_applicable",       "fits",
                                             "no_free_slot",         "no_room",
                                             "no_free_slot_no_room", "not_modelled"};
    return kNames[static_cast<int>(status)];
}

bool CannotCreate(const CreateModel& model) {
    const CreateStatus status = StatusOf(model);
    return status == CreateStatus::NoFreeSlot || status == CreateStatus::NoRoom ||
           status == CreateStatus::NoFreeSlotNoRoom;
}

std::string SectorRange(const Extent& extent, std::uint32_t bytesPerSector) {
    const std::uint64_t first = extent.offset / bytesPerSector;
    // An entry of no whole sector, as a damaged table may hold, is its first.
    const std::uint64_t last = std::max(extent.End() / bytesPerSector, first + 1) - 1;
    return (first == last ? "sector " : "sectors " + Decimal(static_cast<long long>(first)) + "-") +
           Decimal(static_cast<long long>(last));
}

namespace {

// Why the extent the tool takes cannot hold the new partition.
std::string RoomProblem(const CreateModel& model) {
    const Placement& p = *model.placement;
    constexpr char kOutside[] =
        "unallocated extent outside the primary partitions and the extended partition";
    if (!p.taken) {
        return std::string("there is no ") + kOutside;
    }
    const Extent& taken = p.free[*p.taken].raw;
    return Cat({"the largest ", kOutside, ", ", SectorRange(taken, model.bytesPerSector), " (",
                BinarySize(taken.length), "), ",
                model.alignment.cylinders ? "holds no 1 MiB in whole cylinders"
                                          : "holds less than 1 MiB once its start is aligned to " +
                                                BinarySize(model.alignment.startAlignment),
                p.smallerWouldDo ? "; a smaller one would hold the partition, but Microsoft's page "
                                   "for create partition primary does not say whether the tool "
                                   "would take one that is not the largest"
                                 : ""});
}

}  // namespace

std::string CreateProblem(const CreateModel& model) {
    const CreateStatus status = StatusOf(model);
    if (status == CreateStatus::NotModelled) {
        return "not modelled: " + model.notModelled;
    }
    if (!CannotCreate(model)) {
        return "";
    }
    std::string problem = model.placement->noFreeSlot
                              ? "there is no free primary slot (the MBR's four entries are in use)"
                              : "";
    if (status != CreateStatus::NoFreeSlot) {
        problem += (problem.empty() ? "" : " and ") + RoomProblem(model);
    }
    return problem;
}

std::string NewPartitionLine(const Inspection& in, const CreateModel& model) {
    if (!model.applies) {
        return "";
    }
    const bool deletes = in.hibernationPartition != kNoPartition;
    if (StatusOf(model) == CreateStatus::NotModelled) {
        return "New partition: " + CreateProblem(model) + "\n";
    }
    if (CannotCreate(model)) {
        return std::string("New partition: none: ") + (deletes ? "after the delete " : "") +
               CreateProblem(model) + "\n";
    }
    const Extent& e = *model.placement->partition;
    return Cat({"New partition: ", SectorRange(e, model.bytesPerSector), ", ", BinarySize(e.length),
                " at ", BinarySize(e.offset), " (the largest unallocated extent",
                deletes ? " after the delete" : "", ", aligned)\n"});
}

}  // namespace ssdprep

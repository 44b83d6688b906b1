// The create step, foreseen: where `create partition primary` would put the
// new partition after the delete, or why it could not, or why that cannot
// be told from what the report read.
#pragma once

#include <optional>
#include <string>

#include "disk/placement.h"
#include "inspect/inspection.h"

namespace ssdprep {

struct CreateModel {
    bool applies = false;                // the tool would reach its partition steps
    std::optional<Placement> placement;  // when the layout was modelled
    Alignment alignment;                 // with the geometry
    std::uint32_t bytesPerSector = 0;    // with the geometry
    std::string notModelled;             // why the room (or all) is not modelled
};

// The JSON's create_status.
enum class CreateStatus { NotApplicable, Fits, NoFreeSlot, NoRoom, NoFreeSlotNoRoom, NotModelled };

// Drive 0 after the delete, whatever the gates decide; it applies only where
// the tool would run both steps. GPT, an unreadable layout or more than 16
// entries model nothing; an unreadable geometry models the slot check alone.
CreateModel ModelCreate(const Inspection& in);
CreateStatus StatusOf(const CreateModel& model);
const char* StatusName(CreateStatus status);
// The create step cannot succeed: no free slot, or no room.
bool CannotCreate(const CreateModel& model);
// Why the create step could not succeed, or why it is not modelled; empty
// when the model found a place or does not apply.
std::string CreateProblem(const CreateModel& model);
// "New partition: ..." with its line end, or empty when it does not apply.
std::string NewPartitionLine(const Inspection& in, const CreateModel& model);
// Sectors as the table writes them: "sectors 2048-81919".
std::string SectorRange(const Extent& extent, std::uint32_t bytesPerSector);

}  // namespace ssdprep

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
    std::optional<Placement> placement;  // when modelled
    std::string notModelled;             // why not, when it applies and is not
};

// Only where the tool would run both steps: GPT, an unreadable layout, more
// than 16 entries or an unreadable geometry model nothing.
CreateModel ModelCreate(const Inspection& in);
// The create step cannot succeed: modelled, and no free slot or no room.
bool CannotCreate(const CreateModel& model);
// Why the create step could not succeed, or why it is not modelled; empty
// when the model found a place or does not apply.
std::string CreateProblem(const CreateModel& model);
// "New partition: ..." with its line end, or empty when it does not apply.
std::string NewPartitionLine(const Inspection& in, const CreateModel& model);

}  // namespace ssdprep

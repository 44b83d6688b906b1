// Drive 0 in disk order as the create step finds it after the delete: each
// partition and each unallocated extent with its sectors and what the
// create step could use of it, then the disk before and after, drawn.
#pragma once

#include <string>

#include "inspect/create.h"
#include "inspect/inspection.h"

namespace ssdprep {

std::string DiskMap(const Inspection& in, const CreateModel& model);

}  // namespace ssdprep

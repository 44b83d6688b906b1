// What the tool checks before each partition step, checked the same way and
// changing nothing: the report's prediction of whether the tool would stop.
#pragma once

#include <string>
#include <vector>

namespace ssdprep {

struct StepCheck {
    std::string name;
    bool ok = false;
    std::string reason;
    bool notice = true;  // failing, the tool shows its message box and waits for OK
};

// The current directory, each script's path, the volume it is on and the
// partitioning tool, in the order the tool meets them. A failed check means
// the tool would not carry a partition step out and would end with exit
// code 2.
std::vector<StepCheck> CheckPartitionSteps();

}  // namespace ssdprep

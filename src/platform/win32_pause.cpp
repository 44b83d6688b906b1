// Sleep, in a unit of its own so that the simulated twins can replace it, as
// they replace the physical-drive unit.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

void Pause(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform

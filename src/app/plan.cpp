#include "app/plan.h"

#include "platform/platform.h"

namespace ssdprep {

void AddErrorModeFlags(std::uint32_t flags) {
    // SetErrorMode gives the mode it replaces: read, then written back.
    const std::uint32_t mode = platform::SetProcessErrorMode(0);
    platform::SetProcessErrorMode(mode | flags);
}

void AddCriticalErrorFlags() {
    AddErrorModeFlags(platform::kSemFailCriticalErrors | platform::kSemNoOpenFileErrorBox);
}

}  // namespace ssdprep

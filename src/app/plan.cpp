#include "app/plan.h"

#include "platform/platform.h"

namespace ssdprep {

void AddCriticalErrorFlags() {
    const std::uint32_t mode = platform::SetProcessErrorMode(0);
    platform::SetProcessErrorMode(mode | platform::kSemFailCriticalErrors |
                                  platform::kSemNoOpenFileErrorBox);
}

}  // namespace ssdprep

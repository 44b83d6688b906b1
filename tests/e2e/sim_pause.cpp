// Test-only Sleep for the simulated twins: a pause lasts at most
// %SSDPREP_SIM_SETTLE_MS% milliseconds (decimal, 0 to 15000), so that the
// Wine tables need not wait out the 15 seconds between the partitioning
// tool's runs. Unset or anything else: 15000, the real wait.
#include <windows.h>

#include "platform/platform.h"

namespace {

constexpr DWORD kLongest = 15000;

DWORD SettleMilliseconds() {
    wchar_t text[16];
    const DWORD length = ::GetEnvironmentVariableW(L"SSDPREP_SIM_SETTLE_MS", text, 16);
    if (length == 0 || length > 5) {
        return kLongest;
    }
    DWORD value = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (text[i] < L'0' || text[i] > L'9') {
            return kLongest;
        }
        value = value * 10 + static_cast<DWORD>(text[i] - L'0');
    }
    return value <= kLongest ? value : kLongest;
}

}  // namespace

namespace platform {

void Pause(std::uint32_t milliseconds) {
    const DWORD settle = SettleMilliseconds();
    ::Sleep(milliseconds < settle ? milliseconds : settle);
}

}  // namespace platform

// Registry values of any type and length: the decision reads only what the
// 256-byte limit lets in, and says "not audit" for the completed state alone.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/audit_mode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ssdprep::ImageStateBuffer buffer{};
    std::memcpy(buffer.data(), data, std::min<std::size_t>(size, ssdprep::kImageStateReadLimit));

    static const char kComplete[] = "IMAGE_STATE_COMPLETE";
    bool complete = buffer[40] == 0 && buffer[41] == 0;
    for (std::size_t i = 0; i < 20; ++i) {
        complete &=
            buffer[2 * i] == static_cast<std::uint8_t>(kComplete[i]) && buffer[2 * i + 1] == 0;
    }
    if (ssdprep::ImageStateMeansAudit(buffer) != (complete ? 0 : 1)) {
        std::abort();
    }
    return 0;
}

// Bus replies with any BusType and identify data of any content: USB only for
// a BusType of exactly 7, solid-state only for a word 217 of exactly 1.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "disk/disk.h"
#include "disk/solid_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ssdprep::BusReply bus{};
    ssdprep::IdentifyData identify{};
    const std::size_t busBytes = size < bus.size() ? size : bus.size();
    std::memcpy(bus.data(), data, busBytes);
    const std::size_t rest = size - busBytes;
    std::memcpy(identify.data(), data + busBytes, rest < identify.size() ? rest : identify.size());

    const bool usb = bus[28] == 7 && bus[29] == 0 && bus[30] == 0 && bus[31] == 0;
    if (ssdprep::BusReplyIsUsb(bus) != (usb ? 1 : 0)) {
        std::abort();
    }
    const bool ssd = identify[434] == 1 && identify[435] == 0;
    if (ssdprep::IdentifyReportsSolidState(identify) != (ssd ? 1 : 0)) {
        std::abort();
    }
    return 0;
}

// Layout replies of any PartitionCount and any entry bytes: the scans stay
// within the 520-byte reply and give only what a layout can hold.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "disk/layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ssdprep::LayoutReply reply{};
    std::memcpy(reply.data(), data, size < reply.size() ? size : reply.size());

    const int count = ssdprep::CountRecognizedPartitions(reply);
    if (count < 0 || count > 16) {
        std::abort();
    }
    for (int number : {-1, 0, 1, 2, 15, 16, 17, 0x7FFFFFFF}) {
        const int type = ssdprep::FindPartitionType(reply, number);
        if (type < -1 || type > 255 || (count == 0 && type != -1)) {
            std::abort();
        }
    }
    return 0;
}

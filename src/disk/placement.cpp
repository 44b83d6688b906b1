#include "disk/placement.h"

#include <algorithm>

namespace ssdprep {

Placement PlaceNewPartition(const std::vector<LayoutEntry>& entries, int deleted,
                            std::uint64_t diskSize, std::uint32_t sectorSize) {
    std::vector<Extent> used;
    for (const LayoutEntry& entry : entries) {
        const bool gone = entry.recognized && entry.number == deleted;
        if (entry.index < kPrimaryEntries && entry.type != 0 && !gone) {
            used.push_back({entry.offset, entry.length});
        }
    }
    Placement placement;
    placement.noFreeSlot = used.size() >= kPrimaryEntries;
    std::sort(used.begin(), used.end(),
              [](const Extent& a, const Extent& b) { return a.offset < b.offset; });
    // Sector 0 holds the MBR itself.
    const std::uint64_t end = std::min(diskSize, kMbrSectorLimit * sectorSize);
    std::uint64_t from = sectorSize;
    Extent largest;
    used.push_back({end, 0});
    for (const Extent& taken : used) {
        const std::uint64_t until = std::min(taken.offset, end);
        if (until > from && until - from > largest.length) {
            largest = {from, until - from};
        }
        from = std::max(from, taken.offset + taken.length);
    }
    placement.noRoom = largest.length < kSmallestNewPartition;
    if (!placement.noFreeSlot && !placement.noRoom) {
        placement.partition = largest;
    }
    return placement;
}

}  // namespace ssdprep

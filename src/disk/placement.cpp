#include "disk/placement.h"

#include <algorithm>
#include <utility>

namespace ssdprep {

Placement PlaceNewPartition(const std::vector<LayoutEntry>& entries, int deleted,
                            std::uint64_t diskSize, std::uint32_t sectorSize) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> used;  // offset, length
    for (const LayoutEntry& entry : entries) {
        const bool gone = entry.recognized && entry.number == deleted;
        if (entry.index < kPrimaryEntries && entry.type != 0 && !gone) {
            used.emplace_back(entry.offset, entry.length);
        }
    }
    Placement placement;
    placement.noFreeSlot = used.size() >= kPrimaryEntries;
    std::sort(used.begin(), used.end());
    // Sector 0 holds the MBR itself.
    const std::uint64_t end = std::min(diskSize, kMbrSectorLimit * sectorSize);
    std::uint64_t from = sectorSize;
    Extent largest;
    // The extent from `from` to `until`, when it is larger than any before.
    const auto consider = [&](std::uint64_t until) {
        if (until > from + largest.length) {
            largest = {from, until - from};
        }
    };
    for (const auto& [offset, length] : used) {
        consider(std::min(offset, end));
        from = std::max(from, offset + length);
    }
    consider(end);
    placement.noRoom = largest.length < kSmallestNewPartition;
    if (!placement.noFreeSlot && !placement.noRoom) {
        placement.partition = largest;
    }
    return placement;
}

}  // namespace ssdprep

#include "disk/placement.h"

#include <algorithm>

namespace ssdprep {
namespace {

bool Gone(const LayoutEntry& entry, int deleted) {
    return entry.recognized && entry.number == deleted;
}

// The parts of [from, until) that no extent of `used` covers.
std::vector<Extent> Gaps(std::uint64_t from, std::uint64_t until, std::vector<Extent> used) {
    SortBy(used, [](const Extent& extent) { return extent.offset; });
    std::vector<Extent> gaps;
    for (const Extent& extent : used) {
        if (extent.offset > from && from < until) {
            gaps.push_back({from, std::min(extent.offset, until) - from});
        }
        from = std::max(from, extent.End());
    }
    if (until > from) {
        gaps.push_back({from, until - from});
    }
    return gaps;
}

// What the create step could use of an extent once the partitioning tool
// aligned it: at least 1 MiB, and on 5.x at least one whole cylinder.
std::optional<Extent> Usable(const Extent& raw, const Geometry& geometry,
                             const Alignment& alignment) {
    std::uint64_t start = RoundUp(raw.offset, alignment.startAlignment);
    std::uint64_t end = raw.End();
    if (alignment.cylinders) {
        const std::uint64_t cylinder = CylinderBytes(geometry);
        const std::uint64_t track =
            std::uint64_t{geometry.sectorsPerTrack} * geometry.bytesPerSector;
        start = raw.offset <= track ? track : RoundUp(raw.offset, cylinder);
        end = end / cylinder * cylinder;
        if (end < start / cylinder * cylinder + cylinder) {
            return std::nullopt;
        }
    }
    if (end <= start || end - start < kSmallestNewPartition) {
        return std::nullopt;
    }
    return Extent{start, end - start};
}

}  // namespace

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t unit) {
    return unit == 0 ? value : (value + unit - 1) / unit * unit;
}

std::uint64_t CylinderBytes(const Geometry& geometry) {
    return std::uint64_t{geometry.tracksPerCylinder} * geometry.sectorsPerTrack *
           geometry.bytesPerSector;
}

std::uint64_t UsableEnd(const Geometry& geometry, const Alignment& alignment) {
    std::uint64_t end = std::min(geometry.diskSize, kMbrSectorLimit * geometry.bytesPerSector);
    if (alignment.cylinders) {
        end = std::min(end, geometry.cylinders * CylinderBytes(geometry));
    }
    return end;
}

bool NoFreeSlot(const std::vector<LayoutEntry>& entries, int deleted) {
    return std::count_if(entries.begin(), entries.end(), [&](const LayoutEntry& entry) {
               return entry.index < kPrimaryEntries && entry.type != 0 && !Gone(entry, deleted);
           }) >= kPrimaryEntries;
}

Placement PlaceNewPartition(const std::vector<LayoutEntry>& entries, int deleted,
                            const std::optional<Geometry>& geometry, const Alignment& alignment) {
    Placement placement;
    placement.noFreeSlot = NoFreeSlot(entries, deleted);
    if (!geometry || geometry->bytesPerSector == 0 ||
        (alignment.cylinders && CylinderBytes(*geometry) == 0)) {
        return placement;
    }
    placement.roomModelled = true;
    std::vector<Extent> primaries;
    std::vector<Extent> containers;
    for (const LayoutEntry& entry : entries) {
        if (entry.index < kPrimaryEntries && entry.type != 0 && !Gone(entry, deleted)) {
            primaries.push_back({entry.offset, entry.length});
            if (IsContainer(entry.type)) {
                containers.push_back(primaries.back());
            }
        }
    }
    // Sector 0 holds the MBR itself.
    const std::uint64_t end = UsableEnd(*geometry, alignment);
    for (const Extent& gap : Gaps(geometry->bytesPerSector, geometry->diskSize, primaries)) {
        if (gap.offset < end) {
            const Extent inside{gap.offset, std::min(gap.End(), end) - gap.offset};
            placement.free.push_back(
                {inside, FreeExtent::Where::Outside, Usable(inside, *geometry, alignment)});
        }
        if (gap.End() > end) {
            const std::uint64_t from = std::max(gap.offset, end);
            placement.free.push_back({{from, gap.End() - from}, FreeExtent::Where::PastEnd, {}});
        }
    }
    for (const Extent& container : containers) {
        std::vector<Extent> logical;
        for (const LayoutEntry& entry : entries) {
            if (entry.index >= kPrimaryEntries && entry.type != 0 && !IsContainer(entry.type) &&
                !Gone(entry, deleted)) {
                logical.push_back({entry.offset, entry.length});
            }
        }
        for (const Extent& gap : Gaps(container.offset, container.End(), logical)) {
            placement.free.push_back({gap, FreeExtent::Where::InsideExtended, {}});
        }
    }
    SortBy(placement.free, [](const FreeExtent& extent) { return extent.raw.offset; });
    for (std::size_t i = 0; i < placement.free.size(); ++i) {
        const FreeExtent& extent = placement.free[i];
        if (extent.where == FreeExtent::Where::Outside &&
            (!placement.taken || extent.raw.length > placement.free[*placement.taken].raw.length)) {
            placement.taken = i;
        }
    }
    placement.noRoom = !placement.taken || !placement.free[*placement.taken].usable;
    placement.smallerWouldDo =
        placement.noRoom && std::any_of(placement.free.begin(), placement.free.end(),
                                        [](const FreeExtent& extent) { return extent.usable; });
    if (!placement.noFreeSlot && !placement.noRoom) {
        placement.partition = placement.free[*placement.taken].usable;
    }
    return placement;
}

}  // namespace ssdprep

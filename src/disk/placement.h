// Where the create script's `create partition primary`, with no size and no
// offset, would put the new partition on an MBR disk, modelled from the
// layout the tool reads. Microsoft's "create partition primary": "If no
// offset is given, the partition will start at the beginning of the largest
// disk extent that is large enough to hold it", and "If no size is given,
// the partition continues until there is no more unallocated space in the
// current region". Each Windows version aligns the partition as it makes
// it; the model takes the version's rule as a plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "disk/layout.h"

namespace ssdprep {

// The least the new partition may hold once aligned.
inline constexpr std::uint64_t kSmallestNewPartition = std::uint64_t{1024} * 1024;
// An MBR entry holds 32-bit sector numbers: nothing past 2^32 sectors is used.
inline constexpr std::uint64_t kMbrSectorLimit = std::uint64_t{1} << 32;

struct Extent {
    std::uint64_t offset = 0;  // bytes from the disk's start
    std::uint64_t length = 0;  // bytes
    [[nodiscard]] std::uint64_t End() const { return offset + length; }
};

// How the partitioning tool places a partition. Windows XP and Server 2003
// (5.x) keep to cylinders: a start rounds up to a cylinder boundary (one
// track in, in the first cylinder), an end down to one, and nothing past
// the last whole cylinder is used. Vista and later round the start up to
// `startAlignment` bytes.
struct Alignment {
    bool cylinders = false;
    std::uint64_t startAlignment = 0;
};

// An unallocated extent after the delete, in disk order.
struct FreeExtent {
    enum class Where { Outside, InsideExtended, PastEnd };
    Extent raw;
    Where where = Where::Outside;
    std::optional<Extent> usable;  // what the create step could use of it, once aligned
};

struct Placement {
    std::optional<Extent> partition;   // when it can be created
    bool noFreeSlot = false;           // the MBR's four entries all in use
    bool roomModelled = false;         // the geometry was known
    bool noRoom = false;               // modelled, and the extent taken holds nothing usable
    std::vector<FreeExtent> free;      // every unallocated extent, in disk order
    std::optional<std::size_t> taken;  // the one the tool takes: the largest outside
    bool smallerWouldDo = false;       // the one taken holds nothing, a smaller one would
};

// Whether the MBR's four entries are all in use once the recognised
// partition numbered `deleted` (-1: none) is gone: needs no geometry.
bool NoFreeSlot(const std::vector<LayoutEntry>& entries, int deleted);

// After the delete: the slot check, and, with the geometry, every free
// extent in disk order with what could be used of it, and the one the tool
// takes: the largest outside every primary entry (the extended partition
// among them), by its raw length, the first of equal ones.
Placement PlaceNewPartition(const std::vector<LayoutEntry>& entries, int deleted,
                            const std::optional<Geometry>& geometry, const Alignment& alignment);

// A cylinder's bytes.
std::uint64_t CylinderBytes(const Geometry& geometry);
// The value rounded up to a multiple of the unit; a unit of 0 leaves it.
std::uint64_t RoundUp(std::uint64_t value, std::uint64_t unit);
// Sorted by offset, in place, keeping the order of equals: a layout holds
// at most 16 entries, and std::sort would cost the report more code.
template <typename T, typename Offset>
void SortBy(std::vector<T>& items, Offset offset) {
    for (std::size_t i = 1; i < items.size(); ++i) {
        for (std::size_t j = i; j > 0 && offset(items[j]) < offset(items[j - 1]); --j) {
            std::swap(items[j], items[j - 1]);
        }
    }
}
// Where the partitioning tool uses the disk up to: 2^32 sectors, and on
// 5.x the last whole cylinder.
std::uint64_t UsableEnd(const Geometry& geometry, const Alignment& alignment);

}  // namespace ssdprep

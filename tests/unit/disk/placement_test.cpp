#include "disk/placement.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using ssdprep::LayoutEntry;
constexpr std::uint64_t M = 1024 * 1024;

// Entry `index` of the layout, from `start` for `size` bytes, recognised but
// for the extended partition (type 5).
LayoutEntry E(std::uint32_t index, std::uint64_t start, std::uint64_t size, int number, int type) {
    return {index, start, size, type == 5 ? 0 : number, type, type != 5};
}

// Where the new partition goes after the delete, on a 64 MiB disk of
// 512-byte sectors unless a row says otherwise.
TEST(PlaceNewPartition, TakesTheLargestExtentOutsideEveryPrimary) {
    struct Row {
        const char* name;
        std::vector<LayoutEntry> entries;
        int deleted;
        std::uint64_t start, length;  // bytes; a length of 0: none
        bool noFreeSlot, noRoom;
        std::uint64_t disk = 64 * M;
        std::uint32_t sector = 512;
    };
    // clang-format off
    const Row rows[] = {
        {"primary hibernation partition between two others", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 16 * M, 2, 0x84), E(2, 37 * M, 20 * M, 3, 7)}, 2, 21 * M, 16 * M, false, false},
        {"hibernation partition at the end", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 43 * M, 2, 0x84)}, 2, 21 * M, 43 * M, false, false},
        {"a larger free extent elsewhere wins", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 4 * M, 2, 0x84), E(2, 25 * M, 5 * M, 3, 7)}, 2, 30 * M, 34 * M, false, false},
        {"logical hibernation partition, room outside", {E(0, M, 8 * M, 1, 7), E(1, 9 * M, 30 * M, 0, 5), E(4, 10 * M, 6 * M, 2, 7), E(8, 17 * M, 6 * M, 3, 0x84)}, 3, 39 * M, 25 * M, false, false},
        {"logical hibernation partition, no room outside", {E(0, M, 8 * M, 1, 7), E(1, 9 * M, 55 * M, 0, 5), E(4, 10 * M, 6 * M, 2, 7), E(8, 17 * M, 6 * M, 3, 0x84)}, 3, 0, 0, false, true},
        {"four primaries, the hibernation partition one of them", {E(0, M, 9 * M, 1, 7), E(1, 13 * M, 10 * M, 2, 7), E(2, 23 * M, 10 * M, 3, 0xC), E(3, 33 * M, 31 * M, 4, 0x84)}, 4, 33 * M, 31 * M, false, false},
        {"no free slot", {E(0, M, 9 * M, 1, 7), E(1, 10 * M, 10 * M, 2, 7), E(2, 20 * M, 10 * M, 3, 7), E(3, 30 * M, 30 * M, 0, 5), E(4, 31 * M, 9 * M, 4, 0x84)}, 4, 0, 0, true, false},
        {"three primaries, an empty entry and a logical drive: a slot free", {E(0, M, 9 * M, 1, 7), E(1, 10 * M, 20 * M, 0, 5), E(2, 30 * M, 10 * M, 2, 7), {3, 0, 0, 0, 0, false}, E(4, 11 * M, 5 * M, 3, 7)}, -1, 40 * M, 24 * M, false, false},
        {"entries out of the disk's order", {E(0, 30 * M, 10 * M, 1, 7), E(1, M, 20 * M, 2, 7)}, -1, 40 * M, 24 * M, false, false},
        {"an unrecognised entry holds its slot", {E(0, M, 9 * M, 1, 7), E(1, 10 * M, 10 * M, 2, 7), E(2, 20 * M, 10 * M, 3, 7), {3, 30 * M, 4 * M, 4, 0x84, false}}, 4, 0, 0, true, false},
        {"an extent under 1 MiB", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 43 * M - 512, 2, 7)}, -1, 0, 0, false, true},
        {"an extent of exactly 1 MiB", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 42 * M, 2, 7)}, -1, 63 * M, M, false, false},
        {"no partition: all but the first sector", {}, -1, 512, 64 * M - 512, false, false},
        {"equal extents: the first", {E(0, M, 10 * M, 1, 7), E(1, 11 * M, 5 * M, 2, 0x84), E(2, 21 * M, 33 * M, 3, 7)}, 2, 11 * M, 10 * M, false, false},
        {"nothing past 2^32 sectors", {E(0, M, 1024 * 1024 * M - M, 1, 7)}, -1, 1024 * 1024 * M, 1024 * 1024 * M, false, false, 4 * 1024 * 1024 * M},
        {"4096-byte sectors", {E(0, 4 * M, 60 * M, 1, 7)}, -1, 4096, 4 * M - 4096, false, false, 64 * M, 4096},
    };
    // clang-format on
    for (const Row& row : rows) {
        const ssdprep::Placement placement =
            ssdprep::PlaceNewPartition(row.entries, row.deleted, row.disk, row.sector);
        EXPECT_EQ(placement.noFreeSlot, row.noFreeSlot) << row.name;
        EXPECT_EQ(placement.noRoom, row.noRoom) << row.name;
        ASSERT_EQ(placement.partition.has_value(), row.length != 0) << row.name;
        if (placement.partition) {
            EXPECT_EQ(placement.partition->offset, row.start) << row.name;
            EXPECT_EQ(placement.partition->length, row.length) << row.name;
        }
    }
}

}  // namespace

#include "disk/placement.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using ssdprep::Alignment;
using ssdprep::LayoutEntry;
constexpr std::uint64_t K = 1024;
constexpr std::uint64_t M = 1024 * 1024;
constexpr std::uint64_t T = M * M;
constexpr std::uint64_t kCylinder = 255 * 63 * 512;  // XP's usual geometry
constexpr Alignment k64K{false, 64 * K}, k1M{false, M}, kXp{true, 0};

// Entry `index` of the layout, from `start` for `size` bytes, recognised but
// for the extended partition (type 5).
LayoutEntry E(std::uint32_t index, std::uint64_t start, std::uint64_t size, int number, int type) {
    return {index, start, size, type == 5 ? 0 : number, type, type != 5};
}

// Where the new partition goes after the delete, on a 64 MiB disk of
// 512-byte sectors whose partitioning tool aligns the start to 64 KiB,
// unless a row says otherwise; `free` spells the free extents in disk
// order: o outside, e in the extended partition, # past the end.
TEST(PlaceNewPartition, TakesTheLargestExtentOutsideEveryPrimaryAligned) {
    struct Row {
        const char* name;
        std::vector<LayoutEntry> entries;
        int deleted;
        std::uint64_t start, length;  // bytes; a length of 0: none
        bool noFreeSlot, noRoom;
        std::uint64_t disk = 64 * M;
        std::uint32_t sector = 512;
        Alignment alignment = k64K;
        bool smallerWouldDo = false;
        const char* free = nullptr;
    };
    // clang-format off
    const Row rows[] = {
        {"primary hibernation partition between two others", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 16 * M, 2, 0x84), E(2, 37 * M, 20 * M, 3, 7)}, 2, 21 * M, 16 * M, false, false, 64 * M, 512, k64K, false, "ooo"},
        {"hibernation partition at the end", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 43 * M, 2, 0x84)}, 2, 21 * M, 43 * M, false, false},
        {"a larger free extent elsewhere wins", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 4 * M, 2, 0x84), E(2, 25 * M, 5 * M, 3, 7)}, 2, 30 * M, 34 * M, false, false},
        {"logical hibernation partition, room outside", {E(0, M, 8 * M, 1, 7), E(1, 9 * M, 30 * M, 0, 5), E(4, 10 * M, 6 * M, 2, 7), E(8, 17 * M, 6 * M, 3, 0x84)}, 3, 39 * M, 25 * M, false, false, 64 * M, 512, k64K, false, "oeeo"},
        {"the last logical drive ends with the extended partition", {E(0, M, 8 * M, 1, 7), E(1, 9 * M, 30 * M, 0, 5), E(4, 10 * M, 6 * M, 2, 7), E(8, 17 * M, 6 * M, 3, 0x84), E(12, 24 * M, 15 * M, 4, 7)}, 3, 39 * M, 25 * M, false, false, 64 * M, 512, k64K, false, "oeeo"},
        {"logical hibernation partition, no room outside", {E(0, M, 8 * M, 1, 7), E(1, 9 * M, 55 * M, 0, 5), E(4, 10 * M, 6 * M, 2, 7), E(8, 17 * M, 6 * M, 3, 0x84)}, 3, 0, 0, false, true},
        {"four primaries, the hibernation partition one of them", {E(0, M, 9 * M, 1, 7), E(1, 13 * M, 10 * M, 2, 7), E(2, 23 * M, 10 * M, 3, 0xC), E(3, 33 * M, 31 * M, 4, 0x84)}, 4, 33 * M, 31 * M, false, false},
        {"no free slot", {E(0, M, 9 * M, 1, 7), E(1, 10 * M, 10 * M, 2, 7), E(2, 20 * M, 10 * M, 3, 7), E(3, 30 * M, 30 * M, 0, 5), E(4, 31 * M, 9 * M, 4, 0x84)}, 4, 0, 0, true, false},
        {"three primaries, an empty entry and a logical drive: a slot free", {E(0, M, 9 * M, 1, 7), E(1, 10 * M, 20 * M, 0, 5), E(2, 30 * M, 10 * M, 2, 7), {3, 0, 0, 0, 0, false}, E(4, 11 * M, 5 * M, 3, 7)}, -1, 40 * M, 24 * M, false, false},
        {"entries out of the disk's order", {E(0, 30 * M, 10 * M, 1, 7), E(1, M, 20 * M, 2, 7)}, -1, 40 * M, 24 * M, false, false},
        {"an unrecognised entry holds its slot", {E(0, M, 9 * M, 1, 7), E(1, 10 * M, 10 * M, 2, 7), E(2, 20 * M, 10 * M, 3, 7), {3, 30 * M, 4 * M, 4, 0x84, false}}, 4, 0, 0, true, false},
        {"the largest extent under 1 MiB", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 43 * M - 512, 2, 7)}, -1, 0, 0, false, true},
        {"an extent of exactly 1 MiB", {E(0, M, 20 * M, 1, 7), E(1, 21 * M, 42 * M, 2, 7)}, -1, 63 * M, M, false, false},
        {"no partition: from the first 64 KiB boundary", {}, -1, 64 * K, 64 * M - 64 * K, false, false},
        {"equal extents: the first", {E(0, M, 10 * M, 1, 7), E(1, 11 * M, 5 * M, 2, 0x84), E(2, 21 * M, 33 * M, 3, 7)}, 2, 11 * M, 10 * M, false, false},
        {"the largest extent crosses 2^32 sectors: clipped there", {E(0, M, 3 * T / 2 - M, 1, 7)}, -1, 3 * T / 2, T / 2, false, false, 3 * T, 512, k1M, false, "oo#"},
        {"4096-byte sectors", {E(0, 4 * M, 60 * M, 1, 7)}, -1, 64 * K, 4 * M - 64 * K, false, false, 64 * M, 4096},
        {"under 4 GB: a 64 KiB boundary", {E(0, M, 19 * M + 256 * K, 1, 7), E(1, 20 * M + 256 * K, 43 * M + 768 * K, 2, 0x84)}, 2, 20 * M + 256 * K, 43 * M + 768 * K, false, false},
        {"the same on 1 MiB", {E(0, M, 19 * M + 256 * K, 1, 7), E(1, 20 * M + 256 * K, 43 * M + 768 * K, 2, 0x84)}, 2, 21 * M, 43 * M, false, false, 64 * M, 512, k1M},
        // C: from 1 MiB to 173.25 MiB, then the extended partition holding
        // the hibernation partition: 1 MiB free, 256 KiB once aligned.
        {"the unaligned Vista gap", {E(0, M, 172 * M + 256 * K, 1, 7), E(1, 174 * M + 256 * K, 4096 * M - 174 * M - 256 * K, 0, 5), E(4, 175 * M + 256 * K, 100 * M, 2, 0x84)}, 2, 0, 0, false, true, 4096 * M, 512, k1M},
        {"the largest fails once aligned, a smaller one would not", {E(0, M, 9 * M + 256 * K, 1, 7), E(1, 11 * M + 512 * K, 8 * M + 512 * K, 2, 7), E(2, 21 * M + 128 * K, 42 * M + 896 * K, 3, 7)}, -1, 0, 0, false, true, 64 * M, 512, k1M, true},
        // 234,441,648 sectors, 14593 whole cylinders; C: from sector 63 to
        // cylinder 5000, the extended partition from there to the last whole
        // cylinder: the tail past it is no partition's on XP.
        {"the XP tail", {E(0, 63 * 512, 5000 * kCylinder - 63 * 512, 1, 7), E(1, 5000 * kCylinder, 9593 * kCylinder, 0, 5), E(4, 5000 * kCylinder + 63 * 512, 4000 * kCylinder - 63 * 512, 2, 7), E(8, 9000 * kCylinder + 63 * 512, 5593 * kCylinder - 63 * 512, 3, 0x84)}, 3, 0, 0, false, true, 234441648ULL * 512, 512, kXp, false, "oee#"},
        {"XP's first cylinder: one track in", {E(0, 10 * kCylinder, 90 * kCylinder, 1, 0x84)}, 1, 63 * 512, 100 * kCylinder - 63 * 512, false, false, 100 * kCylinder, 512, kXp},
        {"XP: the end down to a cylinder, the start up", {E(0, 63 * 512, 10 * kCylinder + M - 63 * 512, 1, 7), E(1, 10 * kCylinder + M, 30 * kCylinder + 3 * M, 2, 0x84), E(2, 40 * kCylinder + 4 * M, 59 * kCylinder, 3, 7)}, 2, 11 * kCylinder, 29 * kCylinder, false, false, 100 * kCylinder, 512, kXp},
        {"XP: a cylinder's length, no whole cylinder", {E(0, 63 * 512, 10 * kCylinder + M - 63 * 512, 1, 7), E(1, 10 * kCylinder + M, kCylinder, 2, 0x84), E(2, 11 * kCylinder + M, 89 * kCylinder - M, 3, 7)}, 2, 0, 0, false, true, 100 * kCylinder, 512, kXp, false, "oo"},
        {"XP: exactly one whole cylinder", {E(0, 63 * 512, 10 * kCylinder - 63 * 512, 1, 7), E(1, 10 * kCylinder, kCylinder, 2, 0x84), E(2, 11 * kCylinder, 89 * kCylinder, 3, 7)}, 2, 10 * kCylinder, kCylinder, false, false, 100 * kCylinder, 512, kXp},
    };
    // clang-format on
    for (const Row& row : rows) {
        const ssdprep::Geometry geometry{row.disk, row.sector, row.disk / (255 * 63 * row.sector),
                                         255, 63};
        const ssdprep::Placement placement =
            ssdprep::PlaceNewPartition(row.entries, row.deleted, geometry, row.alignment);
        EXPECT_TRUE(placement.roomModelled) << row.name;
        EXPECT_EQ(placement.noFreeSlot, row.noFreeSlot) << row.name;
        EXPECT_EQ(placement.noRoom, row.noRoom) << row.name;
        EXPECT_EQ(placement.smallerWouldDo, row.smallerWouldDo) << row.name;
        ASSERT_EQ(placement.partition.has_value(), row.length != 0) << row.name;
        if (placement.partition) {
            EXPECT_EQ(placement.partition->offset, row.start) << row.name;
            EXPECT_EQ(placement.partition->length, row.length) << row.name;
        }
        if (row.free != nullptr) {
            std::string free;
            for (const ssdprep::FreeExtent& extent : placement.free) {
                free += "oe#"[static_cast<int>(extent.where)];
            }
            EXPECT_EQ(free, row.free) << row.name;
        }
        // The extents lie in disk order, none overlapping the one before.
        for (std::size_t i = 1; i < placement.free.size(); ++i) {
            EXPECT_LE(placement.free[i - 1].raw.End(), placement.free[i].raw.offset) << row.name;
        }
    }
    // Without the geometry only the slot check stands.
    const ssdprep::Placement blind = ssdprep::PlaceNewPartition(
        {E(0, M, 9 * M, 1, 7), E(1, 10 * M, 10 * M, 2, 7), E(2, 20 * M, 10 * M, 3, 7),
         E(3, 30 * M, 30 * M, 0, 5), E(4, 31 * M, 9 * M, 4, 0x84)},
        4, std::nullopt, k64K);
    EXPECT_TRUE(blind.noFreeSlot && !blind.roomModelled && !blind.partition && blind.free.empty());
    // Nor with a geometry that names no sector size, or on XP no cylinders.
    EXPECT_FALSE(ssdprep::PlaceNewPartition({}, -1, ssdprep::Geometry{64 * M, 0, 8, 255, 63}, k64K)
                     .roomModelled);
    EXPECT_FALSE(ssdprep::PlaceNewPartition({}, -1, ssdprep::Geometry{64 * M, 512, 8, 255, 0}, kXp)
                     .roomModelled);
}

}  // namespace

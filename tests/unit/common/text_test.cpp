#include "common/text.h"

#include <gtest/gtest.h>

namespace {

// The largest unit with an integer part of 1 or more, one decimal, half up.
TEST(BinarySize, TakesTheLargestUnitAndRoundsHalfUp) {
    constexpr std::uint64_t KiB = 1024, MiB = KiB * KiB, TiB = MiB * MiB;
    const std::pair<std::uint64_t, const char*> rows[] = {
        {0, "0 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.0 KiB"},
        {1024 + 51, "1.0 KiB"},  // 0.0498: down
        {1024 + 52, "1.1 KiB"},  // 0.0508: up
        {MiB - 1, "1024.0 KiB"},
        {16 * MiB, "16.0 MiB"},
        {MiB * 1023 + MiB * 99 / 100, "1024.0 MiB"},
        {3 * MiB * KiB / 2, "1.5 GiB"},
        {TiB, "1.0 TiB"},
        {2048 * TiB, "2048.0 TiB"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(ssdprep::BinarySize(bytes), text) << bytes;
    }
}

}  // namespace

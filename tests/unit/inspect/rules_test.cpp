#include "inspect/rules.h"

#include <gtest/gtest.h>

#include "fake/machine_test.h"

namespace {

using RulesTest = MachineTest;
const std::u16string kVersionKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const std::u16string kVdsKey = u"SYSTEM\\CurrentControlSet\\Services\\VDS\\Alignment";

// The version from the registry's CurrentVersion, GetVersionExW's major (10
// here) where it is missing or of another form.
TEST_F(RulesTest, VersionComesFromTheRegistryAsWritten) {
    struct Row {
        const char16_t* text;
        std::uint32_t type, major, minor;
        bool fromRegistry;
    };
    const Row rows[] = {
        {u"6.3", platform::kRegSz, 6, 3, true},
        {u"5.2", platform::kRegSz, 5, 2, true},
        {u"10.0", platform::kRegSz, 10, 0, true},
        {u"9999.19", platform::kRegSz, 9999, 19, true},
        {u"10000.0", platform::kRegSz, 10, 0, false},
        {u"6", platform::kRegSz, 10, 0, false},
        {u".3", platform::kRegSz, 10, 0, false},
        {u"6.", platform::kRegSz, 10, 0, false},
        {u"6.x", platform::kRegSz, 10, 0, false},
        {u"6.3", 3 /* REG_BINARY */, 10, 0, false},
    };
    for (const Row& row : rows) {
        fake::Reset();
        machine().registry[kVersionKey][u"CurrentVersion"] = fake::Utf16Bytes(row.text);
        machine().registryTypes[kVersionKey][u"CurrentVersion"] = row.type;
        const ssdprep::WindowsVersion version = ssdprep::ReadPlacementRules(10).version;
        EXPECT_EQ(version.major, row.major) << fake::Narrow(row.text);
        EXPECT_EQ(version.minor, row.minor) << fake::Narrow(row.text);
        EXPECT_EQ(version.fromRegistry, row.fromRegistry) << fake::Narrow(row.text);
    }
}

// The alignment by version and disk size: a VDS value where one is set for
// the size (4, 8 and 32 decimal gigabytes its bounds) and serves, else the
// default.
TEST_F(RulesTest, AlignmentFollowsTheVersionTheSizeAndTheVdsValues) {
    constexpr std::uint64_t G = 1000000000, K = 1024, M = K * K;
    struct Row {
        std::uint32_t major;
        std::uint64_t disk;
        const char16_t* value;   // the VDS value set to 2 MiB, or none
        std::uint32_t bytes;     // its bytes otherwise
        std::uint64_t expected;  // 0: cylinders
    };
    const Row rows[] = {
        {5, 64 * M, nullptr, 0, 0},
        {6, 4 * G - 512, nullptr, 0, 64 * K},
        {6, 4 * G, nullptr, 0, M},
        {6, 8 * G - 512, u"Between4_8GB", 2 * M, 2 * M},
        {6, 8 * G, u"Between4_8GB", 2 * M, M},
        {6, 8 * G, u"Between8_32GB", 2 * M, 2 * M},
        {6, 32 * G - 512, u"GreaterThan32GB", 2 * M, M},
        {6, 32 * G, u"GreaterThan32GB", 2 * M, 2 * M},
        {10, 64 * M, u"LessThan4GB", 0, 64 * K},
        {10, 64 * M, u"LessThan4GB", 1000, 64 * K},
        {10, 64 * M, u"LessThan4GB", 4096, 4096},
    };
    for (const Row& row : rows) {
        fake::Reset();
        if (row.value != nullptr) {
            machine().registry[kVdsKey][row.value] = {static_cast<std::uint8_t>(row.bytes),
                                                      static_cast<std::uint8_t>(row.bytes >> 8),
                                                      static_cast<std::uint8_t>(row.bytes >> 16),
                                                      static_cast<std::uint8_t>(row.bytes >> 24)};
            machine().registryTypes[kVdsKey][row.value] = platform::kRegDword;
        }
        const ssdprep::Alignment alignment = ssdprep::ChooseAlignment(
            ssdprep::ReadPlacementRules(row.major), ssdprep::Geometry{row.disk, 512, 1, 255, 63});
        EXPECT_EQ(alignment.cylinders, row.expected == 0) << row.disk;
        EXPECT_EQ(alignment.startAlignment, row.expected) << row.disk;
    }
}

}  // namespace

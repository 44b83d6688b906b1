#include "disk/layout.h"

#include <string>
#include <vector>

#include "fake/machine_test.h"

namespace {

struct Entry {
    std::uint32_t number;
    std::uint8_t type;
    std::uint8_t recognized;
};

// A layout reply as the drive would give it: header, then 32-byte entries.
std::vector<std::uint8_t> Layout(std::uint32_t partitionCount, const std::vector<Entry>& entries) {
    std::vector<std::uint8_t> bytes(8 + 32 * entries.size(), 0);
    ssdprep::WriteU32(bytes.data(), partitionCount);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        std::uint8_t* entry = bytes.data() + 8 + 32 * k;
        ssdprep::WriteU32(entry + 20, entries[k].number);
        entry[24] = entries[k].type;
        entry[26] = entries[k].recognized;
    }
    return bytes;
}

ssdprep::LayoutReply Reply(std::uint32_t partitionCount, const std::vector<Entry>& entries) {
    ssdprep::LayoutReply reply{};
    const std::vector<std::uint8_t> bytes = Layout(partitionCount, entries);
    std::copy_n(bytes.begin(), std::min(bytes.size(), reply.size()), reply.begin());
    return reply;
}

class LayoutTest : public MachineTest {
protected:
    static void SetLayout(std::uint32_t partitionCount, const std::vector<Entry>& entries,
                          bool ok = true) {
        fake::Drive& drive = machine().drives[0];
        drive.replies[0x7400C] = fake::Reply{Layout(partitionCount, entries), ok};
    }
    static std::size_t LayoutReads() { return machine().deviceRequests.size(); }
};

struct ScanCase {
    const char* name;
    std::uint32_t partitionCount;
    std::vector<Entry> entries;
    int count;
    int hibernation;
    std::size_t reads;  // layout reads the search makes
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class HibernationSearchTable : public LayoutTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(HibernationSearchTable, FindsLowestRecognisedNumberWithType84) {
    SetLayout(GetParam().partitionCount, GetParam().entries);
    EXPECT_EQ(ssdprep::Disk(0).GetPartitionCount(), GetParam().count);
    machine().deviceRequests.clear();
    EXPECT_EQ(ssdprep::FindHibernationPartition(ssdprep::Disk(0)), GetParam().hibernation);
    EXPECT_EQ(LayoutReads(), GetParam().reads);
    EXPECT_TRUE(machine().debugStrings.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HibernationSearchTable,
    ::testing::Values(
        ScanCase{"Typical", 4, {{1, 0x07, 1}, {2, 0x84, 1}, {0, 0, 0}, {0, 0, 0}}, 2, 2, 3},
        ScanCase{"UnrecognisedHibernation", 2, {{1, 0x07, 1}, {2, 0x84, 0}}, 1, -1, 2},
        ScanCase{"RecognisedByteTwo", 2, {{1, 0x84, 2}, {2, 0x07, 1}}, 1, -1, 2},
        ScanCase{"NumberBeyondCount", 3, {{1, 0x07, 1}, {2, 0x07, 1}, {4, 0x84, 1}}, 3, -1, 4},
        ScanCase{"TwoHibernations", 3, {{1, 0x07, 1}, {2, 0x84, 1}, {3, 0x84, 1}}, 3, 2, 3},
        ScanCase{"Empty", 0, {}, 0, -1, 1},
        ScanCase{"CountHidesEntries", 1, {{1, 0x07, 1}, {2, 0x84, 1}}, 1, -1, 2},
        ScanCase{"FirstIsHibernation", 1, {{1, 0x84, 1}}, 1, 1, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LayoutScan, RepeatedNumberTakesTheLastRecognisedEntry) {
    EXPECT_EQ(ssdprep::FindPartitionType(Reply(2, {{2, 0x07, 1}, {2, 0x84, 1}}), 2), 0x84);
    EXPECT_EQ(ssdprep::FindPartitionType(Reply(2, {{2, 0x84, 1}, {2, 0x07, 1}}), 2), 0x07);
    EXPECT_EQ(ssdprep::FindPartitionType(Reply(2, {{2, 0x84, 1}, {2, 0x07, 0}}), 2), 0x84);
    EXPECT_EQ(ssdprep::FindPartitionType(Reply(2, {{2, 0x84, 1}, {2, 0x07, 1}}), 3), -1);
}

TEST(LayoutScan, TypeIsTheWholeUnsignedByte) {
    EXPECT_EQ(ssdprep::FindPartitionType(Reply(1, {{1, 0xFF, 1}}), 1), 255);
    EXPECT_EQ(ssdprep::FindPartitionType(Reply(1, {{1, 0x00, 1}}), 1), 0);
}

TEST(LayoutScan, NeverLooksPastTheSixteenthEntryWhateverTheCountSays) {
    std::vector<Entry> entries;
    for (std::uint32_t n = 1; n <= 16; ++n) {
        entries.push_back({n, static_cast<std::uint8_t>(n == 16 ? 0x84 : 0x07), 1});
    }
    for (std::uint32_t count : {16u, 17u, 100u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        const ssdprep::LayoutReply reply = Reply(count, entries);
        EXPECT_EQ(ssdprep::CountRecognizedPartitions(reply), 16) << count;
        // The sixteenth entry is the last the reply holds.
        EXPECT_EQ(ssdprep::FindPartitionType(reply, 16), 0x84) << count;
    }
    EXPECT_EQ(ssdprep::CountRecognizedPartitions(Reply(15, entries)), 15);
    EXPECT_EQ(ssdprep::LayoutEntries(Reply(15, entries)).size(), 15u);
    EXPECT_EQ(ssdprep::FindPartitionType(Reply(15, entries), 16), -1);
}

TEST_F(LayoutTest, HugeCountOnTheDriveStillScansSixteenEntries) {
    std::vector<Entry> entries(16, Entry{9, 0x07, 1});
    entries[3] = {1, 0x84, 1};
    SetLayout(0xFFFFFFFFu, entries);
    EXPECT_EQ(ssdprep::Disk(0).GetPartitionCount(), 16);
    EXPECT_EQ(ssdprep::FindHibernationPartition(ssdprep::Disk(0)), 1);
}

TEST_F(LayoutTest, EveryReadOpensTheDriveWithFullAccessAndNoInput) {
    SetLayout(4, {{1, 0x07, 1}, {2, 0x84, 1}});
    ASSERT_EQ(ssdprep::FindHibernationPartition(ssdprep::Disk(0)), 2);
    ASSERT_EQ(machine().driveOpens.size(), 3u);
    for (const fake::DriveOpen& open : machine().driveOpens) {
        EXPECT_EQ(open.path, u"\\\\.\\PHYSICALDRIVE0");
        EXPECT_EQ(open.access, 0x10000000u);
        EXPECT_EQ(open.share, 3u);
        EXPECT_EQ(open.disposition, 3u);
        EXPECT_EQ(open.flags, 0u);
    }
    for (const fake::DeviceRequest& request : machine().deviceRequests) {
        EXPECT_EQ(request.code, 0x7400Cu);
        EXPECT_TRUE(request.input.empty());
        EXPECT_EQ(request.outputSize, 520u);
    }
    const std::vector<std::string> expected = {"OpenDrive", "DeviceIoControl", "CloseDrive",
                                               "OpenDrive", "DeviceIoControl", "CloseDrive",
                                               "OpenDrive", "DeviceIoControl", "CloseDrive"};
    EXPECT_EQ(machine().calls, expected);
}

TEST_F(LayoutTest, FailedReadIsReportedAfterTheHandleIsClosed) {
    SetLayout(2, {{1, 0x84, 1}}, false);
    EXPECT_EQ(ssdprep::Disk(0).GetPartitionCount(), 0);
    EXPECT_EQ(ssdprep::GetPartitionType(ssdprep::Disk(0), 1), -1);
    const std::vector<std::string> oneRead = {"OpenDrive", "DeviceIoControl", "CloseDrive",
                                              "OutputDebugString"};
    EXPECT_EQ(std::vector<std::string>(machine().calls.begin(), machine().calls.begin() + 4),
              oneRead);
    EXPECT_EQ(machine().debugStrings,
              (std::vector<std::u16string>(2, u"Get Partition Number failed.")));

    machine().debugStrings.clear();
    EXPECT_EQ(ssdprep::FindHibernationPartition(ssdprep::Disk(0)), -1);
    EXPECT_EQ(machine().debugStrings, std::vector<std::u16string>{u"Get Partition Number failed."});
}

TEST_F(LayoutTest, DriveThatCannotBeOpenedGivesNoneSilently) {
    SetLayout(2, {{1, 0x84, 1}});
    machine().drives[0].opensAll = false;
    EXPECT_EQ(ssdprep::FindHibernationPartition(ssdprep::Disk(0)), -1);
    EXPECT_EQ(ssdprep::GetPartitionType(ssdprep::Disk(0), 1), -1);
    EXPECT_TRUE(machine().deviceRequests.empty());
    EXPECT_TRUE(machine().debugStrings.empty());
}

TEST_F(LayoutTest, TypeQueryThatFailsMidSearchIsSkipped) {
    SetLayout(3, {{1, 0x07, 1}, {2, 0x84, 1}, {3, 0x84, 1}});
    // The count read and the type read for number 1 succeed; the read for
    // number 2 fails; number 3 is still asked.
    machine().failOperation = 2 * 3 + 2;  // the third read's DeviceIoControl
    EXPECT_EQ(ssdprep::FindHibernationPartition(ssdprep::Disk(0)), 3);
    EXPECT_EQ(machine().debugStrings.size(), 1u);
}

}  // namespace

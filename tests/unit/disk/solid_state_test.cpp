#include "disk/solid_state.h"

#include <string>
#include <vector>

#include "fake/machine_test.h"

namespace {

using SolidStateTest = MachineTest;

fake::Drive SsdWithRate(std::uint16_t rate, bool exchangeOk = true) {
    fake::Drive drive = fake::InternalDrive();
    drive.replies[0x7C088] = fake::IdentifyReply(rate, exchangeOk);
    return drive;
}

std::size_t IdentifyRequests() {
    std::size_t count = 0;
    for (const auto& request : fake::Current().deviceRequests) {
        count += request.code == 0x7C088 ? 1 : 0;
    }
    return count;
}

struct RateCase {
    const char* name;
    std::uint16_t rate;
    bool exchangeOk;
    int expected;
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }

class RotationRateTable : public SolidStateTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(RotationRateTable, OnlyWord217EqualToOneIsSolidState) {
    machine().drives[0] = SsdWithRate(GetParam().rate, GetParam().exchangeOk);
    EXPECT_EQ(ssdprep::IsSsdOnlyModel(), GetParam().expected);
    EXPECT_EQ(IdentifyRequests(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Word217, RotationRateTable,
    ::testing::Values(RateCase{"NonRotating", 1, true, 1}, RateCase{"NotReported", 0, true, 0},
                      RateCase{"Two", 2, true, 0}, RateCase{"Rpm7200", 7200, true, 0},
                      RateCase{"BothBytesOne", 257, true, 0},
                      RateCase{"HighByteOnly", 256, true, 0}, RateCase{"Reserved", 0xFFFF, true, 0},
                      // The reply block holds a 1 at word 217, but the exchange failed.
                      RateCase{"FailedExchangeWithLeftoverBytes", 1, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SolidStateTest, IdentifyRequestIsExactlyTheSmartIdentifyBlock) {
    machine().drives[0] = SsdWithRate(1);
    ASSERT_EQ(ssdprep::IsSsdOnlyModel(), 1);

    const fake::DeviceRequest& identify = machine().deviceRequests.back();
    EXPECT_EQ(identify.code, 0x7C088u);
    std::vector<std::uint8_t> expected(32, 0);
    expected[10] = 0xEC;
    EXPECT_EQ(identify.input, expected);
    EXPECT_EQ(identify.outputSize, 528u);

    const fake::DriveOpen& open = machine().driveOpens.back();
    EXPECT_EQ(open.path, u"\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(open.access, 0xC0000000u);
    EXPECT_EQ(open.share, 3u);
    EXPECT_EQ(open.disposition, 3u);
    EXPECT_EQ(open.flags, 0u);
}

TEST_F(SolidStateTest, ReplyBlockAnnouncesRoomFor512Bytes) {
    std::vector<std::uint8_t> reply(528, 0);
    ssdprep::ComposeIdentifyReply(reply.data());
    std::vector<std::uint8_t> expected(528, 0);
    expected[1] = 0x02;
    EXPECT_EQ(reply, expected);
}

TEST_F(SolidStateTest, FailedExchangeStillCopiesWhatTheReplyBlockHolds) {
    fake::Drive drive = SsdWithRate(1, false);
    drive.replies[0x7C088].bytes.resize(100);  // the driver wrote a little, then failed
    drive.replies[0x7C088].bytes[16] = 0xAB;
    machine().drives[0] = drive;
    platform::Handle h = platform::OpenDrive(u"\\\\.\\PHYSICALDRIVE0", 0xC0000000u, 3, 3, 0);
    ssdprep::IdentifyData data;
    data.fill(0x55);
    EXPECT_EQ(ssdprep::IdentifyDevice(h, data), 0);
    EXPECT_EQ(data[0], 0xAB);
    EXPECT_EQ(data[1], 0x00) << "zero where the driver wrote nothing";
    EXPECT_EQ(data[434], 0x00);
    platform::CloseDrive(h);
}

TEST_F(SolidStateTest, BlocksThatCannotBeObtainedMeanNoExchange) {
    machine().drives[0] = SsdWithRate(1);
    machine().globalAllocFails = true;
    EXPECT_EQ(ssdprep::IsSsdOnlyModel(), 0);
    EXPECT_EQ(IdentifyRequests(), 0u);
}

TEST_F(SolidStateTest, BlocksAreObtainedRequestFirstAndReleasedReplyFirst) {
    machine().drives[0] = SsdWithRate(1);
    ASSERT_EQ(ssdprep::IsSsd(ssdprep::Disk(0)), 1);
    std::vector<std::string> tail(machine().calls.end() - 4, machine().calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"DeviceIoControl", "GlobalFree", "GlobalFree",
                                              "CloseDrive"}));
    EXPECT_EQ(machine().allocatedGlobalSizes, (std::vector<std::size_t>{32, 528}));
    EXPECT_EQ(machine().freedGlobalSizes, (std::vector<std::size_t>{528, 32}));
}

TEST_F(SolidStateTest, NoIdentifyUnlessExactlyOneInternalDrive) {
    machine().drives[0] = SsdWithRate(1);
    machine().drives[1] = SsdWithRate(1);
    EXPECT_EQ(ssdprep::IsSsdOnlyModel(), 0);
    EXPECT_EQ(IdentifyRequests(), 0u);

    fake::Reset();
    EXPECT_EQ(ssdprep::IsSsdOnlyModel(), 0);
    EXPECT_EQ(IdentifyRequests(), 0u);
}

TEST_F(SolidStateTest, UsbDriveZeroIsNeverTakenForTheInternalDrive) {
    // Drive 1 is the one internal drive; drive 0 is a USB stick that would
    // answer the identify request as solid-state.
    fake::Drive stick = fake::InternalDrive(7);
    stick.replies[0x7C088] = fake::IdentifyReply(1);
    machine().drives[0] = stick;
    machine().drives[1] = SsdWithRate(1);
    EXPECT_EQ(ssdprep::IsSsdOnlyModel(), 0);
    EXPECT_EQ(IdentifyRequests(), 0u);
}

TEST_F(SolidStateTest, DriveZeroThatRefusesReadWriteAccessIsNotSolidState) {
    fake::Drive drive = SsdWithRate(1);
    drive.opensReadWrite = false;
    machine().drives[0] = drive;
    EXPECT_EQ(ssdprep::IsSsdOnlyModel(), 0);
    EXPECT_EQ(IdentifyRequests(), 0u);
}

TEST_F(SolidStateTest, DriveZeroMustBeConfirmedInternalBeforeItIsIdentified) {
    struct Case {
        const char* name;
        void (*arrange)(fake::Drive&);
        int expected;
    };
    const Case cases[] = {
        // Counted as internal, but the check on drive 0 cannot confirm it.
        {"not read-write", [](fake::Drive& d) { d.opensReadWrite = false; }, 0},
        {"bus query fails", [](fake::Drive& d) { d.replies[0x2D1400].ok = false; }, 0},
        // An answer, however short, is an answer: BusType reads as 0.
        {"empty reply", [](fake::Drive& d) { d.replies[0x2D1400].bytes.clear(); }, 1},
    };
    for (const Case& c : cases) {
        fake::Reset();
        fake::Drive drive = SsdWithRate(1);
        c.arrange(drive);
        machine().drives[0] = drive;
        EXPECT_EQ(ssdprep::IsSsdOnlyModel(), c.expected) << c.name;
        // Declined at the check: the identify open (flags 0) never comes.
        EXPECT_EQ(machine().driveOpens.back().flags, c.expected == 1 ? 0u : 0x80u) << c.name;
    }
}

TEST_F(SolidStateTest, IdentifyIsMadeOnTheDiskItIsGiven) {
    machine().drives[3] = SsdWithRate(1);
    EXPECT_EQ(ssdprep::IsSsd(ssdprep::Disk(3)), 1);
    EXPECT_EQ(machine().driveOpens.back().path, u"\\\\.\\PHYSICALDRIVE3");
    EXPECT_EQ(ssdprep::IsSsd(ssdprep::Disk(2)), 0);
}

}  // namespace

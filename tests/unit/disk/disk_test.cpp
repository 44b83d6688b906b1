#include "disk/disk.h"

#include <set>
#include <string>
#include <vector>

#include "fake/machine_test.h"

namespace {

using DiskTest = MachineTest;

std::u16string PathFor(std::uint32_t number) {
    char16_t buffer[ssdprep::kDrivePathCapacity];
    ssdprep::FormatDrivePath(buffer, number);
    return buffer;
}

TEST(DrivePath, NumberFollowsTheFixedTextInDecimal) {
    EXPECT_EQ(PathFor(0), u"\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(PathFor(4), u"\\\\.\\PHYSICALDRIVE4");
    EXPECT_EQ(PathFor(10), u"\\\\.\\PHYSICALDRIVE10");
    EXPECT_EQ(PathFor(4294967295u), u"\\\\.\\PHYSICALDRIVE4294967295");
}

TEST(BusReply, OnlyTheWholeBusTypeSevenIsUsb) {
    for (const auto& [busType, usb] : std::vector<std::pair<std::uint32_t, int>>{
             {7, 1}, {0, 0}, {11, 0}, {17, 0}, {0x107, 0}, {0x07000000, 0}, {0xFFFFFFFF, 0}}) {
        ssdprep::BusReply reply = ssdprep::ComposeBusReply();
        ssdprep::WriteU32(reply.data() + 28, busType);
        EXPECT_EQ(ssdprep::BusReplyIsUsb(reply), usb) << busType;
    }
}

TEST(BusReply, RequestIsAllZeroAndReplyCarriesOnlyItsSize) {
    const ssdprep::BusQuery query = ssdprep::ComposeBusQuery();
    EXPECT_EQ(query, ssdprep::BusQuery{});
    ssdprep::BusReply expected{};
    expected[4] = 37;
    EXPECT_EQ(ssdprep::ComposeBusReply(), expected);
}

struct CountCase {
    const char* name;
    std::map<std::uint32_t, fake::Drive> drives;
    int usb;
    int internal;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << c.name; }

fake::Drive Usb() { return fake::InternalDrive(7); }

fake::Drive PresentOnly() {
    fake::Drive drive = Usb();
    drive.opensReadWrite = false;  // would report USB, if it could be asked
    return drive;
}

fake::Drive BusQueryFails() {
    fake::Drive drive = Usb();
    drive.replies[0x2D1400].ok = false;
    return drive;
}

fake::Drive RemovableSata() {
    fake::Drive drive = fake::InternalDrive(11);
    drive.replies[0x2D1400].bytes[10] = 1;  // RemovableMedia
    return drive;
}

class DriveCountTable : public DiskTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(DriveCountTable, CountsDrivesZeroToFour) {
    machine().drives = GetParam().drives;
    EXPECT_EQ(ssdprep::CountUsbDrives(), GetParam().usb);
    EXPECT_EQ(ssdprep::CountInternalDrives(), GetParam().internal);
    const std::set<std::u16string> probed = {PathFor(0), PathFor(1), PathFor(2), PathFor(3),
                                             PathFor(4)};
    for (const auto& open : machine().driveOpens) {
        EXPECT_EQ(probed.count(open.path), 1u) << "only drives 0 to 4 are probed";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Machines, DriveCountTable,
    ::testing::Values(
        CountCase{"NoDrive", {}, 0, 0},
        CountCase{"OneInternal", {{0, fake::InternalDrive()}}, 0, 1},
        CountCase{"InternalAndUsbStick", {{0, fake::InternalDrive()}, {1, Usb()}}, 1, 1},
        CountCase{"TwoInternalOneUsb",
                  {{0, fake::InternalDrive()}, {1, fake::InternalDrive()}, {2, Usb()}},
                  1,
                  2},
        CountCase{"UsbAtZeroInternalAtFour", {{0, Usb()}, {4, fake::InternalDrive()}}, 1, 1},
        CountCase{
            "DriveFiveNeverProbed", {{0, fake::InternalDrive()}, {5, fake::InternalDrive()}}, 0, 1},
        CountCase{"UsbAtFiveNeverProbed", {{0, fake::InternalDrive()}, {5, Usb()}}, 0, 1},
        CountCase{"AllFiveUsb", {{0, Usb()}, {1, Usb()}, {2, Usb()}, {3, Usb()}, {4, Usb()}}, 5, 0},
        CountCase{"PresentButNotReadWrite", {{0, PresentOnly()}}, 0, 1},
        CountCase{"BusQueryFails", {{0, BusQueryFails()}}, 0, 1},
        CountCase{"RemovableButNotUsb", {{0, RemovableSata()}}, 0, 1},
        CountCase{"Gap", {{1, fake::InternalDrive()}, {3, fake::InternalDrive()}}, 0, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiskTest, UsbDriveThatHidesFromThePresenceTestMakesTheCountNegative) {
    // A USB drive seen by the bus query but not by the presence open: the
    // count is a plain difference with no lower bound.
    fake::Drive drive = Usb();
    drive.opensWithoutAccess = false;
    machine().drives[0] = drive;
    EXPECT_EQ(ssdprep::CountInternalDrives(), -1);
}

TEST_F(DiskTest, PresenceOpensComeFirstThenBusQueriesWithTheirOwnAccess) {
    machine().drives[0] = fake::InternalDrive();
    machine().drives[2] = Usb();
    EXPECT_EQ(ssdprep::CountInternalDrives(), 1);

    ASSERT_EQ(machine().driveOpens.size(), 10u);
    for (std::uint32_t n = 0; n < 5; ++n) {
        const fake::DriveOpen& presence = machine().driveOpens[n];
        EXPECT_EQ(presence.path, PathFor(n));
        EXPECT_EQ(presence.access, 0u);
        EXPECT_EQ(presence.share, 3u);
        EXPECT_EQ(presence.disposition, 3u);
        EXPECT_EQ(presence.flags, 0u);
        const fake::DriveOpen& bus = machine().driveOpens[5 + n];
        EXPECT_EQ(bus.path, PathFor(n));
        EXPECT_EQ(bus.access, 0xC0000000u);
        EXPECT_EQ(bus.share, 3u);
        EXPECT_EQ(bus.disposition, 3u);
        EXPECT_EQ(bus.flags, 0x80u);
    }
    ASSERT_EQ(machine().deviceRequests.size(), 2u);
    for (const fake::DeviceRequest& request : machine().deviceRequests) {
        EXPECT_EQ(request.code, 0x2D1400u);
        EXPECT_EQ(request.input, std::vector<std::uint8_t>(14, 0));
        EXPECT_EQ(request.outputSize, 37u);
    }
}

}  // namespace

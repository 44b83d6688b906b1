#include "app/run.h"

#include <string>

#include "fake/machine_test.h"
#include "partition/notice.h"

namespace {

const std::string kBanner =
    "This program is used to configure HDD environment after iRST driver installation.\n"
    "\t- Delete the hibernate partition.\n"
    "\t- Create D partition again.\n";

class RunTest : public MachineTest {
protected:
    static void PassBothGates() {
        fake::Drive drive = fake::InternalDrive();
        drive.replies[0x7C088] = fake::IdentifyReply(1);
        machine().drives[0] = drive;
    }
};

TEST_F(RunTest, NotInAuditModeStopsBeforeAnyDrive) {
    machine().registry[fake::kSetupStateKey][u"ImageState"] =
        fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE");
    PassBothGates();
    EXPECT_EQ(ssdprep::RunSsdPrep(), 1);
    EXPECT_EQ(machine().Stdout(), kBanner + "This program only runs on audit model. Return.\n");
    EXPECT_TRUE(machine().driveOpens.empty());
}

TEST_F(RunTest, NotSolidStateOnlyStopsWithItsVerdict) {
    machine().drives[0] = fake::InternalDrive();  // no identify answer
    EXPECT_EQ(ssdprep::RunSsdPrep(), 1);
    EXPECT_EQ(machine().Stdout(),
              kBanner + "This is not SSD-only model, don't need to be configured. Return.\n");
}

TEST_F(RunTest, BannerIsPrintedLineByLineBeforeEitherGate) {
    EXPECT_EQ(ssdprep::RunSsdPrep(), 1);
    ASSERT_GE(machine().calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(machine().calls.begin(), machine().calls.begin() + 4),
              (std::vector<std::string>{"Print", "Print", "Print", "GetVersionEx"}));
}

TEST_F(RunTest, InitialisationAddsTheCriticalErrorFlagsToTheModeInForce) {
    machine().errorMode = 0x0004;  // SEM_NOALIGNMENTFAULTEXCEPT, set by whoever started us
    machine().modulePath = u"D:\\Factory\\ssdprep.exe";
    const ssdprep::ProcessIdentity identity = ssdprep::InitializeProcess();
    EXPECT_EQ(machine().errorMode, 0x8005u);
    EXPECT_EQ(identity.title, u"ssdprep");
    EXPECT_EQ(std::u16string(identity.commandLine), machine().commandLine);
    EXPECT_NE(identity.instance, nullptr);
    EXPECT_TRUE(machine().driveOpens.empty());
    EXPECT_TRUE(machine().stdoutText.empty());
}

TEST(ApplicationTitle, FileNameWithoutDirectoryAndExtension) {
    EXPECT_EQ(ssdprep::ApplicationTitleFromPath(u"C:\\Tools\\ssdprep.exe"), u"ssdprep");
    EXPECT_EQ(ssdprep::ApplicationTitleFromPath(u"C:\\dir.with.dots\\ssdprep.exe"), u"ssdprep");
    EXPECT_EQ(ssdprep::ApplicationTitleFromPath(u"C:\\x\\my.tool.exe"), u"my.tool");
    EXPECT_EQ(ssdprep::ApplicationTitleFromPath(u"C:\\x.y\\noext"), u"noext");
    EXPECT_EQ(ssdprep::ApplicationTitleFromPath(u"\\\\server\\share\\prep.EXE"), u"prep");
    EXPECT_EQ(ssdprep::ApplicationTitleFromPath(u"ssdprep.exe"), u"ssdprep");
}

TEST_F(RunTest, TitleOfAnExecutableDeepInALongPathIsWhole) {
    for (std::size_t depth : {250u, 259u, 260u, 261u, 600u, 20000u}) {
        fake::Reset();
        machine().modulePath = u"C:\\" + std::u16string(depth, u'd') + u"\\factory-ssd-prep.exe";
        EXPECT_EQ(ssdprep::QueryApplicationTitle(), u"factory-ssd-prep") << depth;
    }
}

}  // namespace

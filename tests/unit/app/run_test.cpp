#include "app/run.h"

#include <string>
#include <vector>

#include "fake/machine_test.h"
#include "partition/notice.h"

namespace {

const std::string kBanner =
    "This program is used to configure HDD environment after iRST driver installation.\n"
    "\t- Delete the hibernate partition.\n"
    "\t- Create D partition again.\n";

std::string FileText(const std::u16string& fullPath) {
    const auto& bytes = fake::Current().files.at(fullPath);
    return std::string(bytes.begin(), bytes.end());
}

std::size_t IndexOf(const std::vector<std::string>& calls, const std::string& name, int nth) {
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i] == name && nth-- == 0) {
            return i;
        }
    }
    return calls.size();
}

class RunTest : public MachineTest {
protected:
    static void PassBothGates() {
        fake::Drive drive = fake::InternalDrive();
        drive.replies[0x7C088] = fake::IdentifyReply(1);
        drive.replies[0x7400C] = fake::LayoutReply({{1, 0x07}, {2, 0x84}, {3, 0x07}});
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

TEST_F(RunTest, StandardRunDeletesTheHibernationPartitionThenCreatesTheNewOne) {
    PassBothGates();
    EXPECT_EQ(ssdprep::RunSsdPrep(), 0);
    EXPECT_EQ(machine().Stdout(), kBanner);
    EXPECT_EQ(
        FileText(u"C:\\WORK\\DELETEPARTITION.VELK"),
        "rescan \r\r\nselect disk 0\r\r\nselect part 2\r\r\ndelete part override\r\r\nexit\r\r\n");
    EXPECT_EQ(FileText(u"C:\\WORK\\CREATEPARTITION.VELK").size(), 124u);
    ASSERT_EQ(machine().processStarts.size(), 2u);
    EXPECT_EQ(machine().processStarts[0].commandLine,
              u"Diskpart /s \"C:\\Work\\deletePartition.VELK");
    EXPECT_EQ(machine().processStarts[1].commandLine,
              u"Diskpart /s \"C:\\Work\\CreatePartition.VELK");
    // The delete script's tool has ended before the create script is written.
    EXPECT_EQ(machine().processStarts[0].filesAtStart.count(u"C:\\WORK\\CREATEPARTITION.VELK"), 0u);
    // 15 seconds between the two runs: after the first wait, before the
    // create script is opened.
    EXPECT_EQ(machine().pauses, std::vector<std::uint32_t>{15000});
    EXPECT_LT(IndexOf(machine().calls, "WaitForSingleObject", 0),
              IndexOf(machine().calls, "Sleep", 0));
    EXPECT_LT(IndexOf(machine().calls, "Sleep", 0), IndexOf(machine().calls, "CreateFile", 1));
    // Only drive 0 is named, in both scripts.
    for (const fake::ProcessStart& start : machine().processStarts) {
        for (const auto& [path, bytes] : start.filesAtStart) {
            const std::string text(bytes.begin(), bytes.end());
            EXPECT_NE(text.find("select disk 0"), std::string::npos);
        }
    }
}

TEST_F(RunTest, NoHibernationPartitionStillRunsBothStepsWithPartitionMinusOne) {
    PassBothGates();
    machine().drives[0].replies[0x7400C] = fake::LayoutReply({{1, 0x07}, {2, 0x07}});
    EXPECT_EQ(ssdprep::RunSsdPrep(), 0);
    EXPECT_NE(FileText(u"C:\\WORK\\DELETEPARTITION.VELK").find("select part -1\r\r\n"),
              std::string::npos);
    EXPECT_EQ(machine().processStarts.size(), 2u);
}

TEST_F(RunTest, StepNotCarriedOutEndsWithTwoAfterBothSteps) {
    struct Case {
        const char* name;
        void (*arrange)(fake::Machine&);
        std::size_t starts;
        std::size_t boxes;
        std::size_t pauses;  // only when the delete step started the tool
    };
    const Case cases[] = {
        {"tool missing", [](fake::Machine& m) { m.processStartSucceeds = false; }, 2, 0, 0},
        {"no system directory", [](fake::Machine& m) { m.systemDirectoryAnswers = false; }, 0, 0,
         0},
        {"tool never ends", [](fake::Machine& m) { m.waitResult = 0x102; }, 2, 0, 1},
        {"wait fails", [](fake::Machine& m) { m.waitResult = 0xFFFFFFFF; }, 2, 0, 1},
        {"scripts cannot be created", [](fake::Machine& m) { m.fileCreateFails = true; }, 0, 2, 0},
        {"disk full", [](fake::Machine& m) { m.writeLimit = 100; }, 1, 1, 1},
        {"directory too long",
         [](fake::Machine& m) { m.currentDirectory = u"C:\\" + std::u16string(236, u'd'); }, 0, 2,
         0},
    };
    for (const Case& c : cases) {
        fake::Reset();
        PassBothGates();
        c.arrange(machine());
        EXPECT_EQ(ssdprep::RunSsdPrep(), 2) << c.name;
        EXPECT_EQ(machine().Stdout(), kBanner) << c.name;
        EXPECT_EQ(machine().processStarts.size(), c.starts) << c.name;
        EXPECT_EQ(machine().messageBoxes.size(), c.boxes) << c.name;
        EXPECT_EQ(machine().pauses.size(), c.pauses) << c.name;
        EXPECT_EQ(machine().OpenResourceCount(), 0u) << c.name;
    }
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

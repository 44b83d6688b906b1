#include "partition/process_runner.h"

#include <string>
#include <vector>

#include "fake/machine_test.h"

namespace {

using RunnerTest = MachineTest;

TEST(CommandLine, OpeningQuoteAndNoClosingOne) {
    const std::u16string path = u"C:\\abcdefghij\\0123456789.VEL";  // 28 characters
    const std::u16string line = ssdprep::ComposeDiskpartCommandLine(path);
    EXPECT_EQ(line.size(), 41u);
    EXPECT_EQ(line, u"Diskpart /s \"C:\\abcdefghij\\0123456789.VEL");
    EXPECT_EQ(ssdprep::ComposeDiskpartCommandLine(u"C:\\Factory Tools\\x"),
              u"Diskpart /s \"C:\\Factory Tools\\x");
    EXPECT_EQ(ssdprep::ComposeDiskpartCommandLine(u"C:\\\\CreatePartition.VELK"),
              u"Diskpart /s \"C:\\\\CreatePartition.VELK");
}

TEST_F(RunnerTest, StartsHiddenWithoutInheritingHandlesAndWaitsAsLongAsTold) {
    EXPECT_EQ(ssdprep::RunProcessAndWait(u"C:\\x\\tool.exe", u"tool /a", 1234), 1);
    ASSERT_EQ(machine().processStarts.size(), 1u);
    const fake::ProcessStart& start = machine().processStarts[0];
    EXPECT_EQ(start.applicationName, u"C:\\x\\tool.exe");
    EXPECT_EQ(start.commandLine, u"tool /a");
    EXPECT_EQ(start.parameters.startupFlags, 1u);  // STARTF_USESHOWWINDOW
    EXPECT_EQ(start.parameters.showWindow, 0);     // SW_HIDE
    EXPECT_EQ(start.parameters.inheritHandles, 0);
    EXPECT_EQ(start.parameters.creationFlags, 0u);
    EXPECT_EQ(machine().waitTimeouts, std::vector<std::uint32_t>{1234});
}

TEST_F(RunnerTest, ClosesTheProcessHandleThenTheThreadHandleWhateverTheWaitGave) {
    for (std::uint32_t wait : {0u /* ended */, 0x102u /* timed out */, 0xFFFFFFFFu /* failed */}) {
        fake::Reset();
        machine().waitResult = wait;
        // Only a wait that saw the program end is a run carried out; it
        // started all the same.
        bool started = false;
        EXPECT_EQ(ssdprep::RunProcessAndWait(u"a.exe", u"a", 5, &started), wait == 0 ? 1 : 0)
            << wait;
        EXPECT_TRUE(started) << wait;
        EXPECT_EQ(machine().kernelCloses, (std::vector<std::u16string>{u"process", u"thread"}))
            << wait;
        EXPECT_EQ(machine().OpenResourceCount(), 0u) << wait;
    }
}

TEST_F(RunnerTest, FailedStartClosesNothingAndGivesZero) {
    machine().processStartSucceeds = false;
    bool started = false;
    EXPECT_EQ(ssdprep::RunProcessAndWait(u"a.exe", u"a", 5, &started), 0);
    EXPECT_FALSE(started);
    EXPECT_TRUE(machine().waitTimeouts.empty());
    EXPECT_TRUE(machine().kernelCloses.empty());
}

TEST_F(RunnerTest, DiskpartIsTakenFromTheSystemDirectoryOnly) {
    machine().systemDirectory = u"D:\\WINNT\\System32";
    EXPECT_EQ(ssdprep::RunDiskpartScript(u"C:\\\\deletePartition.VELK"), 1);
    ASSERT_EQ(machine().processStarts.size(), 1u);
    EXPECT_EQ(machine().processStarts[0].applicationName, u"D:\\WINNT\\System32\\diskpart.exe");
    EXPECT_EQ(machine().processStarts[0].commandLine, u"Diskpart /s \"C:\\\\deletePartition.VELK");
    EXPECT_EQ(machine().waitTimeouts, std::vector<std::uint32_t>{0xFFFFFFFFu});
}

TEST_F(RunnerTest, UnreadableSystemDirectoryMeansNoStart) {
    machine().systemDirectoryAnswers = false;
    EXPECT_EQ(ssdprep::RunDiskpartScript(u"C:\\Work\\deletePartition.VELK"), 0);
    EXPECT_TRUE(machine().processStarts.empty());

    machine().systemDirectoryAnswers = true;
    machine().systemDirectory = u"C:\\" + std::u16string(260, u's');
    EXPECT_EQ(ssdprep::RunDiskpartScript(u"C:\\Work\\deletePartition.VELK"), 0);
    EXPECT_TRUE(machine().processStarts.empty());
}

}  // namespace

#include "partition/scripts.h"

#include <string>
#include <vector>

#include "disk/disk.h"
#include "fake/machine_test.h"

namespace {

const std::string kDeleteScript =
    "rescan \r\r\n"
    "select disk 0\r\r\n"
    "select part 2\r\r\n"
    "delete part override\r\r\n"
    "exit\r\r\n";

const std::string kCreateScript =
    "rescan \r\r\n"
    "select disk 0 \r\r\n"
    "create partition PRIMARY noerr\r\r\n"
    "format quick fs=ntfs label=TEMP_PART01 noerr\r\r\n"
    "assign \r\r\n"
    "exit\r\r\n";

std::vector<std::size_t> LineLengths(const std::string& script) {
    std::vector<std::size_t> lengths;
    std::size_t start = 0;
    for (std::size_t end; (end = script.find('\n', start)) != std::string::npos; start = end + 1) {
        lengths.push_back(end + 1 - start);
    }
    EXPECT_EQ(start, script.size()) << "nothing after the last line end";
    return lengths;
}

std::string FileText(const std::u16string& fullPath) {
    const auto& bytes = fake::Current().files.at(fullPath);
    return std::string(bytes.begin(), bytes.end());
}

TEST(ScriptBytes, StandardRunIsByteForByte) {
    const std::string deletion = ssdprep::ComposeDeleteScript(0, 2);
    EXPECT_EQ(deletion, kDeleteScript);
    EXPECT_EQ(deletion.size(), 72u);
    EXPECT_EQ(LineLengths(deletion), (std::vector<std::size_t>{10, 16, 16, 23, 7}));

    const std::string creation = ssdprep::ComposeCreateScript(0, u"TEMP_PART01", u"ntfs");
    EXPECT_EQ(creation, kCreateScript);
    EXPECT_EQ(creation.size(), 124u);
    EXPECT_EQ(LineLengths(creation), (std::vector<std::size_t>{10, 17, 33, 47, 10, 7}));
}

TEST(ScriptBytes, NumbersAreSignedDecimal) {
    const std::string none = ssdprep::ComposeDeleteScript(0, -1);
    EXPECT_EQ(none.size(), 73u);
    EXPECT_NE(none.find("select part -1\r\r\n"), std::string::npos);

    const std::string twelve = ssdprep::ComposeDeleteScript(0, 12);
    EXPECT_EQ(twelve.size(), 73u);
    EXPECT_NE(twelve.find("select part 12\r\r\n"), std::string::npos);

    EXPECT_NE(ssdprep::ComposeDeleteScript(0, -2147483647 - 1).find("select part -2147483648\r"),
              std::string::npos);
    EXPECT_NE(ssdprep::ComposeDeleteScript(4294967295u, 0).find("select disk 4294967295\r\r\n"),
              std::string::npos);
    EXPECT_NE(ssdprep::ComposeCreateScript(3, u"L", u"fat32").find("select disk 3 \r\r\n"),
              std::string::npos);
}

TEST(ScriptBytes, LabelComesAfterTheFileSystem) {
    EXPECT_NE(ssdprep::ComposeCreateScript(0, u"DATA", u"exfat")
                  .find("format quick fs=exfat label=DATA noerr\r\r\n"),
              std::string::npos);
}

class ScriptFileTest : public MachineTest {};

TEST_F(ScriptFileTest, PathIsTheCurrentDirectoryAndTheNameAsTheyAre) {
    machine().currentDirectory = u"C:\\Work";
    EXPECT_EQ(ssdprep::ComposeScriptPath(ssdprep::kDeleteScriptName),
              u"C:\\Work\\deletePartition.VELK");
    EXPECT_EQ(ssdprep::ComposeScriptPath(ssdprep::kCreateScriptName),
              u"C:\\Work\\CreatePartition.VELK");

    // The root is reported with its backslash: two in a row, 24 characters.
    machine().currentDirectory = u"C:\\";
    EXPECT_EQ(ssdprep::ComposeScriptPath(ssdprep::kDeleteScriptName),
              u"C:\\\\deletePartition.VELK");
    EXPECT_EQ(ssdprep::ComposeScriptPath(ssdprep::kCreateScriptName)->size(), 24u);

    // No directory, or one cut short, gives no path: never the name alone,
    // which would mean the root of the current drive.
    machine().currentDirectory = u"C:\\" + std::u16string(1019, u'd');  // 1022: fits the 1023
    EXPECT_TRUE(ssdprep::ComposeScriptPath(ssdprep::kCreateScriptName).has_value());
    machine().currentDirectory += u"d";
    EXPECT_FALSE(ssdprep::ComposeScriptPath(ssdprep::kCreateScriptName).has_value());
    machine().currentDirectoryAnswers = false;
    EXPECT_FALSE(ssdprep::ComposeScriptPath(ssdprep::kCreateScriptName).has_value());
}

TEST_F(ScriptFileTest, DirectoryOf238CharactersIsTheLongestThatWorks) {
    machine().currentDirectory = u"C:\\" + std::u16string(235, u'd');  // 238 characters
    const std::u16string path = ssdprep::ComposeScriptPath(ssdprep::kDeleteScriptName).value();
    ASSERT_EQ(path.size(), 259u);
    EXPECT_TRUE(ssdprep::WriteScriptFile(path, kDeleteScript));
    EXPECT_EQ(FileText(u"C:\\" + std::u16string(235, u'D') + u"\\DELETEPARTITION.VELK"),
              kDeleteScript);

    machine().currentDirectory += u"d";  // 239 characters
    const std::u16string tooLong = ssdprep::ComposeScriptPath(ssdprep::kDeleteScriptName).value();
    ASSERT_EQ(tooLong.size(), 260u);
    machine().fileCreates.clear();
    EXPECT_FALSE(ssdprep::WriteScriptFile(tooLong, kDeleteScript));
    EXPECT_TRUE(machine().fileCreates.empty());
}

TEST_F(ScriptFileTest, FileIsCreatedAnewForWritingWithoutSharing) {
    machine().files[u"C:\\WORK\\DELETEPARTITION.VELK"] = std::vector<std::uint8_t>(500, 'x');
    ASSERT_TRUE(ssdprep::WriteScriptFile(u"C:\\Work\\deletePartition.VELK", kDeleteScript));
    EXPECT_EQ(FileText(u"C:\\WORK\\DELETEPARTITION.VELK"), kDeleteScript);
    ASSERT_EQ(machine().fileCreates.size(), 1u);
    const fake::FileCreate& create = machine().fileCreates[0];
    EXPECT_EQ(create.path, u"C:\\Work\\deletePartition.VELK");
    EXPECT_EQ(create.access, 0x40000000u);
    EXPECT_EQ(create.share, 0u);
    EXPECT_EQ(create.disposition, 2u);
    EXPECT_EQ(create.flags, 0x80u);
}

TEST_F(ScriptFileTest, RootPathIsCreatedWithBothBackslashes) {
    ASSERT_TRUE(ssdprep::WriteScriptFile(u"C:\\\\deletePartition.VELK", kDeleteScript));
    EXPECT_EQ(machine().fileCreates.at(0).path, u"C:\\\\deletePartition.VELK");
    EXPECT_EQ(FileText(u"C:\\DELETEPARTITION.VELK"), kDeleteScript);
}

TEST_F(ScriptFileTest, EveryFailureOnTheWayToAClosedFileIsAFailure) {
    const std::u16string path = u"C:\\Work\\deletePartition.VELK";
    struct Case {
        const char* name;
        void (*arrange)(fake::Machine&);
    };
    const Case cases[] = {
        {"volume unreadable", [](fake::Machine& m) { m.readableVolumes.clear(); }},
        {"create fails", [](fake::Machine& m) { m.fileCreateFails = true; }},
        {"write fails", [](fake::Machine& m) { m.writeFails = true; }},
        {"short write", [](fake::Machine& m) { m.writeLimit = 71; }},
        {"nothing written", [](fake::Machine& m) { m.writeLimit = 0; }},
        {"close fails", [](fake::Machine& m) { m.fileCloseFails = true; }},
    };
    for (const Case& c : cases) {
        fake::Reset();
        c.arrange(machine());
        EXPECT_FALSE(ssdprep::WriteScriptFile(path, kDeleteScript)) << c.name;
        EXPECT_EQ(machine().OpenResourceCount(), 0u) << c.name;
    }
}

TEST_F(ScriptFileTest, NetworkDirectoryNeedsNoVolumeInformation) {
    machine().currentDirectory = u"\\\\server\\share\\prep";
    machine().readableVolumes.clear();
    const std::u16string path = ssdprep::ComposeScriptPath(ssdprep::kCreateScriptName).value();
    EXPECT_TRUE(ssdprep::WriteScriptFile(path, kCreateScript));
}

class PartitionChangeTest : public MachineTest {};

TEST_F(PartitionChangeTest, DeleteWritesClosesThenRunsTheTool) {
    ASSERT_EQ(ssdprep::Disk(0).DeletePartition(2), 1);
    ASSERT_EQ(machine().processStarts.size(), 1u);
    const fake::ProcessStart& start = machine().processStarts[0];
    EXPECT_EQ(start.openFilesAtStart, 0u) << "the script must be closed before the tool starts";
    const auto& script = start.filesAtStart.at(u"C:\\WORK\\DELETEPARTITION.VELK");
    EXPECT_EQ(std::string(script.begin(), script.end()), kDeleteScript);
    EXPECT_EQ(start.commandLine, u"Diskpart /s \"C:\\Work\\deletePartition.VELK");
    EXPECT_EQ(start.applicationName, u"C:\\Windows\\system32\\diskpart.exe");
    EXPECT_TRUE(machine().messageBoxes.empty());
    // The script stays where it is.
    EXPECT_EQ(FileText(u"C:\\WORK\\DELETEPARTITION.VELK"), kDeleteScript);
}

TEST_F(PartitionChangeTest, CreateUsesItsOwnFileAndTheDriveNumber) {
    ASSERT_EQ(ssdprep::Disk(0).CreatePartition(u"TEMP_PART01", u"ntfs"), 1);
    EXPECT_EQ(FileText(u"C:\\WORK\\CREATEPARTITION.VELK"), kCreateScript);
    EXPECT_EQ(machine().processStarts.at(0).commandLine,
              u"Diskpart /s \"C:\\Work\\CreatePartition.VELK");
    EXPECT_EQ(machine().files.count(u"C:\\WORK\\DELETEPARTITION.VELK"), 0u);
}

TEST_F(PartitionChangeTest, ScriptThatCannotBeWrittenShowsTheNoticeAndRunsNothing) {
    machine().modulePath = u"C:\\Factory Tools\\ssdprep.exe";
    machine().writeLimit = 40;  // the disk fills up half-way
    EXPECT_EQ(ssdprep::Disk(0).DeletePartition(12), 0);
    machine().writeLimit.reset();
    machine().fileCreateFails = true;
    EXPECT_EQ(ssdprep::Disk(0).CreatePartition(u"TEMP_PART01", u"ntfs"), 0);

    EXPECT_TRUE(machine().processStarts.empty());
    ASSERT_EQ(machine().messageBoxes.size(), 2u);
    EXPECT_EQ(machine().messageBoxes[0].text, u"Fail to create delete DISKPART file.");
    EXPECT_EQ(machine().messageBoxes[1].text, u"Fail to create create DISKPART file.");
    for (const fake::MessageBox& box : machine().messageBoxes) {
        EXPECT_EQ(box.caption, u"ssdprep");
        EXPECT_EQ(box.type, 0x30u);  // MB_OK | MB_ICONEXCLAMATION
    }
    EXPECT_TRUE(machine().stdoutText.empty());
}

TEST_F(PartitionChangeTest, DirectoryTooLongForTheScriptCreatesNoFile) {
    machine().currentDirectory = u"C:\\" + std::u16string(236, u'd');  // 239 characters
    EXPECT_EQ(ssdprep::Disk(0).DeletePartition(2), 0);
    EXPECT_TRUE(machine().fileCreates.empty());
    EXPECT_TRUE(machine().processStarts.empty());
    EXPECT_EQ(machine().messageBoxes.size(), 1u);
}

TEST_F(PartitionChangeTest, SecondRunRewritesIdenticalFiles) {
    ASSERT_EQ(ssdprep::Disk(0).DeletePartition(-1), 1);
    ASSERT_EQ(ssdprep::Disk(0).CreatePartition(u"TEMP_PART01", u"ntfs"), 1);
    const auto first = machine().files;
    ASSERT_EQ(ssdprep::Disk(0).DeletePartition(-1), 1);
    ASSERT_EQ(ssdprep::Disk(0).CreatePartition(u"TEMP_PART01", u"ntfs"), 1);
    EXPECT_EQ(machine().files, first);
    EXPECT_EQ(FileText(u"C:\\WORK\\DELETEPARTITION.VELK").size(), 73u);
}

}  // namespace

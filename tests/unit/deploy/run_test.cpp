#include "deploy/run.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fake/machine_test.h"
#include "platform/deploy.h"

namespace {

using End = fake::Child::End;
using M = fake::Machine&;

const std::u16string kLog = u"C:\\DEPLOY\\SSDPREP-DEPLOY.LOG";
const std::u16string kTempLog = u"C:\\WINDOWS\\TEMP\\SSDPREP-DEPLOY.LOG";
const std::u16string kRecord = u"SOFTWARE\\ssdprep";
const std::vector<std::uint8_t> kSignature = {0xFE, 0xCA, 0xD0, 0x55};
const std::u16string kState = u"C:\\Deploy\\ssdprep-deploy.state";

const std::u16string kGuid = u"{00112233-4455-6677-8899-AABBCCDDEEFF}";
// PARTITION_STYLE_GPT, no entries, then the DiskId of kGuid.
const std::vector<std::uint8_t> kGptStyle = {1,    0,    0,    0,    0,    0,    0,    0,
                                             0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                             0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

fake::Child Ends(std::uint32_t code, std::uint32_t milliseconds = 1000) {
    return {End::Exits, code, "", milliseconds};
}

// ssdprep-deploy.exe in C:\Deploy beside the tool and the report, run by an
// administrator, on a drive 0 whose MBR signature is 0x55D0CAFE and which
// holds the system volume C:: the report says 0, the tool ends with 0 after
// 20 seconds, --after says 0.
void Standard(M m) {
    m.modulePath = u"C:\\Deploy\\ssdprep-deploy.exe";
    m.existingPaths = {u"C:\\Deploy\\ssdprep.exe", u"C:\\Deploy\\ssdprep-inspect.exe"};
    std::vector<std::uint8_t> style = {0, 0, 0, 0, 1, 0, 0, 0};  // MBR, one entry
    style.insert(style.end(), kSignature.begin(), kSignature.end());
    m.drives[0].replies[0x70050] = fake::Reply{style};
    m.volumes[u'C'] = fake::VolumeOn({0});
    m.programs[u"ssdprep-inspect.exe"] = {{End::Exits, 0, "<report>\r\n"}};
    m.programs[u"ssdprep.exe"] = {{End::Exits, 0, "<tool>\r\n", 20000}};
    m.programs[u"ssdprep-inspect.exe --after"] = {{End::Exits, 0, "<after>\r\n"}};
}

// The state file in C:\Deploy with these lines.
void State(M m, const std::string& text) {
    m.files[fake::FileKey(kState)].assign(text.begin(), text.end());
}

// A record of a disk whose signature is 0x11D0CAFE.
void OtherDiskRecord(M m) {
    m.registry[kRecord][u"DeployState"] = fake::Utf16Bytes(u"started 2026-12-01 10:00:00\r\n");
    m.registry[kRecord][u"DeployDiskSignature"] = {0xFE, 0xCA, 0xD0, 0x11};
    m.registryTypes[kRecord][u"DeployDiskSignature"] = platform::kRegDword;
}

// The first row's whole log: the children's output between the program's
// stamped lines, the clock moving as they run.
constexpr char kDoneLog[] =
    "2026-12-07 16:42:15 ssdprep-deploy 9.8.7.6 in C:\\Deploy, options: --timeout 600\r\n"
    "2026-12-07 16:42:15 drive 0 is the disk of MBR disk signature 0x55D0CAFE\r\n"
    "2026-12-07 16:42:15 the system volume C: lies on disk 0: drive 0 is the disk Windows runs "
    "from\r\n"
    "2026-12-07 16:42:15 ssdprep-inspect.exe: what would ssdprep.exe do here?\r\n"
    "<report>\r\n"
    "2026-12-07 16:42:16 ssdprep-inspect.exe ended with exit code 0 (0x00000000)\r\n"
    "2026-12-07 16:42:16 wrote C:\\Deploy\\ssdprep-deploy.state and the record "
    "HKLM\\SOFTWARE\\ssdprep: started\r\n"
    "2026-12-07 16:42:16 ssdprep.exe: changing drive 0\r\n"
    "<tool>\r\n"
    "2026-12-07 16:42:36 ssdprep.exe ended with exit code 0 (0x00000000)\r\n"
    "2026-12-07 16:42:36 ssdprep-inspect.exe --after: did ssdprep.exe leave drive 0 as "
    "intended?\r\n"
    "<after>\r\n"
    "2026-12-07 16:42:37 ssdprep-inspect.exe --after ended with exit code 0 (0x00000000)\r\n"
    "2026-12-07 16:42:37 ssdprep-deploy ends with 0: done: drive 0 has no hibernation "
    "partition and a TEMP_PART01 volume\r\n";

// The children in order, R report, T tool, A --after, with P for a pause;
// the record must reach the disk before the tool starts.
std::string Starts(const fake::Machine& m) {
    std::string starts;
    std::size_t child = 0;
    bool flushed = false;
    for (const std::string& call : m.calls) {
        flushed = flushed || call == "RegFlushKey";
        if (call == "Sleep") {
            starts += 'P';
        } else if (call == "CreateProcess") {
            const std::u16string& key = m.childStarts.at(child++).key;
            starts += key == u"ssdprep.exe" ? (flushed ? 'T' : '!') : key.size() > 19 ? 'A' : 'R';
        }
    }
    return starts;
}

// Every run from the command line to its last line: each fails when a step
// of the program is turned round.
using DeployProgram = MachineTest;

TEST_F(DeployProgram, RunsFromTheCommandLineToTheLastLogLine) {
    struct Row {
        const char* name;
        const char16_t* arguments;
        void (*arrange)(M);
        int exitCode;
        const char* starts;
        std::string says;   // fragments joined by |, a leading ! for "not there": in
                            // the log, else on standard error and in the temp log
        const char* state;  // the state file's and the record's last word, or none
        std::u16string dir = u"C:\\Deploy";  // the work dir
    };
    // clang-format off
    const std::vector<Row> rows = {
        {"done", u"", [](M) {}, 0, "RTA", "ssdprep-deploy ends with 0: done", "done"},
        {"never done: polls for 15 seconds", u"", [](M m) { m.programs[u"ssdprep-inspect.exe --after"] = {{End::Exits, 1, "<after>"}}; }, 3, "RTAPAPAPAPA", "ssdprep.exe ran, but ssdprep-inspect.exe --after ended with exit code 1", "failed"},
        {"tool hangs: ended", u" --timeout 5", [](M m) { m.programs[u"ssdprep.exe"] = {{End::Hangs, 0, "", 0}}; }, 3, "RT", "warning: --timeout 5 is under 60 seconds|ssdprep.exe did not end within 5 seconds: ending it|(diskpart.exe) may still be running", "failed"},
        {"--timeout 60 does not", u" --timeout 60", [](M) {}, 0, "RTA", "!warning", "done"},
        {"not an administrator", u"", [](M m) { m.administrator = false; }, 3, "", "not run with administrator rights", ""},
        {"report says the tool would half change drive 0", u"", [](M m) { m.programs[u"ssdprep-inspect.exe"] = {Ends(5)}; }, 3, "R", "ends with 3: the tool would leave drive 0 half changed; it was not started", ""},
        {"report cannot start", u"", [](M m) { m.programs.erase(u"ssdprep-inspect.exe"); }, 3, "R", "cannot start C:\\Deploy\\ssdprep-inspect.exe: error 2 (0x00000002)\r\n|ssdprep-inspect.exe could not be started", ""},
        {"report crashes", u"", [](M m) { m.programs[u"ssdprep-inspect.exe"] = {Ends(0xC0000005)}; }, 3, "R", "which is no answer of the report", ""},
        {"state file held at the end", u"", [](M m) { m.opensLeft[fake::FileKey(u"C:\\Deploy\\ssdprep-deploy.state")] = 1; }, 0, "RTA", "cannot write C:\\Deploy\\ssdprep-deploy.state: error 32 (0x00000020) (to", "started"},
        {"--help", u" --help", [](M) {}, 0, "", "usage: ssdprep-deploy [--work-dir DIR]|Exit codes: 0 done", ""},
        {"--version", u" --version", [](M) {}, 0, "", "ssdprep-deploy 9.8.7.6\n", ""},
        {"program path given as \\\\?\\C:\\...", u"", [](M m) { m.modulePath = u"\\\\?\\C:\\Deploy\\ssdprep-deploy.exe"; }, 0, "RTA", "ssdprep-deploy 9.8.7.6 in C:\\Deploy, options", "done"},
        {"--work-dir resolved", u" --work-dir C:\\\\Deploy\\", [](M) {}, 0, "RTA", "ssdprep-deploy 9.8.7.6 in C:\\Deploy, options", "done"},
        {"--work-dir a drive's root", u" --work-dir C:\\", [](M) {}, 0, "RTA", "ssdprep-deploy 9.8.7.6 in C:\\, options|wrote C:\\ssdprep-deploy.state and the record", "done", u"C:\\"},
        {"report missing", u"", [](M m) { m.existingPaths.erase(u"C:\\Deploy\\ssdprep-inspect.exe"); }, 3, "", "C:\\Deploy\\ssdprep-inspect.exe is missing", ""},
        {"state file of an earlier run", u"", [](M m) { m.existingPaths.insert(u"C:\\Deploy\\ssdprep-deploy.state"); }, 0, "A", "evidence of an earlier run: the file C:\\Deploy\\ssdprep-deploy.state, last written 2026-12-07 16:42:15|ssdprep.exe is not started again", ""},
        {"record of another disk: replaced", u"", [](M m) { OtherDiskRecord(m); }, 0, "RTA", "names MBR disk signature 0x11D0CAFE, and drive 0 is MBR disk signature 0x55D0CAFE: it came from another disk", "done"},
        {"GPT drive 0, an MBR record: replaced, the state file held at the end", u"", [](M m) { m.drives[0].replies[0x70050] = fake::Reply{kGptStyle}; OtherDiskRecord(m); m.opensLeft[fake::FileKey(kState)] = 1; }, 0, "RTA", "drive 0 is the disk of GPT disk GUID {00112233-4455-6677-8899-AABBCCDDEEFF}|error 32 (0x00000020) (to", "started"},
        {"RAW drive 0", u"", [](M m) { m.drives[0].replies[0x70050] = fake::Reply{{2, 0, 0, 0}}; }, 0, "RTA", "drive 0's identity cannot be read (a RAW disk, or no answer)", "done"},
        {"record cannot be written", u"", [](M m) { m.registryWriteFails = true; }, 3, "R", "cannot write the record HKLM\\SOFTWARE\\ssdprep: error 5 (0x00000005): Access is denied\r\n|removed the state file and the record again", ""},
        {"state file cannot be flushed, nor it or the record removed", u"", [](M m) { m.flushFails = true; m.opensLeft[fake::FileKey(kState)] = 1; OtherDiskRecord(m); m.registryWriteFails = true; }, 3, "R", "the state file or the record could not be written|cannot remove C:\\Deploy\\ssdprep-deploy.state: error 32 (0x00000020); cannot remove the record HKLM\\SOFTWARE\\ssdprep: error 5 (0x00000005): Access is denied: delete it by hand", "started"},
        {"done on this disk, --after now fails", u"", [](M m) { State(m, "started 2026-12-01 10:00:00\r\ndisk MBR 0x55D0CAFE\r\ndone 2026-12-01 10:00:30\r\n"); m.programs[u"ssdprep-inspect.exe --after"] = {Ends(1)}; }, 0, "A", "ends with 0: done by an earlier run at 2026-12-01 10:00:30; ssdprep-inspect.exe --after ended with exit code 1", "done"},
        {"system volume on another disk", u"", [](M m) { m.volumes[u'C'] = fake::VolumeOn({1}); }, 3, "", "ends with 3: drive 0 is not the disk Windows runs from: the system volume C: lies on disk 1; ssdprep.exe was not started", ""},
        {"system directory in lower case, its volume spanning disks 1 and 0", u"", [](M m) { m.systemDirectory = u"c:\\windows\\system32"; m.volumes[u'C'] = fake::VolumeOn({1, 0}); }, 0, "RTA", "the system volume C: lies on disks 1, 0: drive 0 is the disk Windows runs from", "done"},
        {"system volume's extents unreadable: going on", u"", [](M m) { m.volumes.erase(u'C'); }, 0, "RTA", "where the system volume C: lies cannot be read, so whether drive 0 is the disk Windows runs from cannot be told; going on", "done"},
        {"no system directory: going on", u"", [](M m) { m.systemDirectoryAnswers = false; }, 0, "RTA", "the system directory cannot be read, so whether drive 0 is the disk Windows runs from cannot be told; going on", "done"},
        {"--forget, done on this disk", u" --forget", [](M m) { State(m, "started 2026-12-01 10:00:00\r\ndisk MBR 0x55D0CAFE\r\ndone 2026-12-01 10:00:30\r\n"); m.existingPaths.insert(u"C:\\Deploy\\CreatePartition.VELK"); OtherDiskRecord(m); }, 0, "", "options: --forget|removed C:\\Deploy\\ssdprep-deploy.state|removed C:\\Deploy\\CreatePartition.VELK|removed the record|ends with 0: forgotten", ""},
        {"--forget, half changed", u" --forget", [](M m) { State(m, "started 2026-12-01 10:00:00\r\ndisk MBR 0x55D0CAFE\r\n"); }, 3, "", "ends with 3: --forget: a run started on this disk and did not end done; nothing was removed|!removed C:", "started"},
        {"--forget, scripts and --after done", u" --forget", [](M m) { m.existingPaths.insert(u"C:\\Deploy\\deletePartition.VELK"); }, 0, "A", "removed C:\\Deploy\\deletePartition.VELK", ""},
        {"--forget, a script as a folder", u" --forget", [](M m) { m.existingPaths.insert(u"C:\\Deploy\\deletePartition.VELK"); m.fileAttributes[fake::FileKey(u"C:\\Deploy\\deletePartition.VELK")] = platform::kFileAttributeDirectory; }, 3, "A", "cannot remove C:\\Deploy\\deletePartition.VELK: error 5|--forget could not remove everything", ""},
        {"--forget, the record cannot be removed", u" --forget", [](M m) { State(m, "started 2026-12-01 10:00:00\r\ndisk MBR 0x55D0CAFE\r\ndone 2026-12-01 10:00:30\r\n"); OtherDiskRecord(m); m.registryWriteFails = true; }, 3, "", "removed C:\\Deploy\\ssdprep-deploy.state|cannot remove the record HKLM\\SOFTWARE\\ssdprep: error 5|--forget could not remove everything", ""},
        {"--forget, system volume elsewhere", u" --forget", [](M m) { State(m, "done 2026-12-01 10:00:30\r\n"); m.volumes[u'C'] = fake::VolumeOn({1}); }, 3, "", "drive 0 is not the disk Windows runs from: the system volume C: lies on disk 1; nothing was removed", "done"},
        {"--forget with --timeout", u" --forget --timeout 60", [](M) {}, 3, "", "--forget takes no option but --work-dir", ""},
        {"log held by another copy", u"", [](M m) { m.lockedFiles.insert(kLog); }, 3, "", "cannot open the log C:\\Deploy\\ssdprep-deploy.log: error 32", ""},
        {"--work-dir on a share", u" --work-dir \\\\server\\share", [](M) {}, 3, "", "not the network path \\\\server\\share|usage: ssdprep-deploy", ""},
        {"program on a network drive", u"", [](M m) { m.modulePath = u"N:\\Deploy\\ssdprep-deploy.exe"; m.driveTypes[u"N:\\"] = platform::kDriveRemote; }, 3, "", "the work dir N:\\Deploy is on a network drive (N:\\), not a local fixed drive; give --work-dir with a folder on a local fixed drive", ""},
        {"program on a network drive, --work-dir C:\\Deploy", u" --work-dir C:\\Deploy", [](M m) { m.modulePath = u"N:\\D\\ssdprep-deploy.exe"; m.driveTypes[u"N:\\"] = platform::kDriveRemote; m.existingPaths = {u"N:\\D\\ssdprep.exe", u"N:\\D\\ssdprep-inspect.exe"}; }, 0, "RTA", "ssdprep-deploy 9.8.7.6 in C:\\Deploy, options: --timeout 600", "done"},
        {"program on a share, temp folder read-only", u"", [](M m) { m.modulePath = u"\\\\?\\UNC\\server\\share\\ssdprep-deploy.exe"; m.readOnlyFolders.insert(u"C:\\WINDOWS\\TEMP"); }, 3, "", "is not on a local drive; give --work-dir", ""},
        {"--work-dir on a removable drive", u" --work-dir E:\\Work", [](M m) { m.driveTypes[u"E:\\"] = platform::kDriveRemovable; }, 3, "", "the work dir E:\\Work is on a removable drive (E:\\), not a local fixed drive", ""},
        {"--work-dir under a removable volume's mount point", u" --work-dir C:\\Mnt\\Stick\\Work", [](M m) { m.mountPoints.insert(u"C:\\MNT\\STICK\\"); m.driveTypes[u"C:\\MNT\\STICK\\"] = platform::kDriveRemovable; }, 3, "", "is on a removable drive (C:\\MNT\\STICK\\)", ""},
        {"--work-dir of 239 characters", u" --work-dir C:\\Deploy\\xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", [](M) {}, 3, "", "has 239 characters, and ssdprep.exe's scripts need it to have at most 238", ""},
        {"--work-dir of 238 characters", u" --work-dir C:\\Deploy\\xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", [](M) {}, 0, "RTA", "done", "done", u"C:\\Deploy\\xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
        {"temp folder is the refused one", u"", [](M m) { m.modulePath = u"N:\\Deploy\\ssdprep-deploy.exe"; m.driveTypes[u"N:\\"] = platform::kDriveRemote; m.tempDirectory = u"n:\\deploy\\"; }, 3, "", "the work dir N:\\Deploy is on a network drive", ""},
        {"no temp folder", u"", [](M m) { m.modulePath = u"N:\\Deploy\\ssdprep-deploy.exe"; m.driveTypes[u"N:\\"] = platform::kDriveRemote; m.tempDirectory = u""; }, 3, "", "the work dir N:\\Deploy is on a network drive", ""},
        {"--work-dir of 300 characters", u" --work-dir C:\\Deploy\\yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy", [](M) {}, 3, "", "has 300 characters", ""},
        {"work dir read-only", u"", [](M m) { m.readOnlyFolders.insert(u"C:\\DEPLOY"); }, 3, "", "cannot write in the work dir C:\\Deploy: error 5", ""},
    };
    // clang-format on
    for (const Row& row : rows) {
        fake::Reset();
        Standard(machine());
        machine().errorMode = 0x0004;  // inherited: kept
        row.arrange(machine());
        const auto before = machine().files;
        const std::u16string arguments = row.arguments;
        const int code = ssdprep::deploy::RunDeploy(u"ssdprep-deploy.exe" + arguments, "9.8.7.6");
        const fake::Machine& m = machine();
        EXPECT_EQ(code, row.exitCode) << row.name;
        EXPECT_EQ(Starts(m), row.starts) << row.name;
        const std::u16string logKey = fake::FileKey(row.dir + u"\\ssdprep-deploy.log");
        const bool logged = m.files.count(logKey) != 0;
        const std::string log = logged ? Text(m.files.at(logKey)) : m.stderrText + m.stdoutText;
        ExpectSays(log, row.says, row.name);
        if (std::string_view(row.name) == "done") {
            EXPECT_EQ(log, kDoneLog);
            EXPECT_EQ(Text(m.files.at(fake::FileKey(kState))),
                      "started 2026-12-07 16:42:16\r\ndisk MBR 0x55D0CAFE\r\ndone 2026-12-07 "
                      "16:42:37\r\n");
        }
        const bool refused = !logged && m.stderrText.starts_with("ssdprep-deploy: ");
        if (refused && m.tempDirectory == u"C:\\Windows\\Temp\\" &&
            m.readOnlyFolders.count(u"C:\\WINDOWS\\TEMP") == 0) {
            const std::string temp = Text(m.files.at(kTempLog));
            EXPECT_TRUE(
                temp.starts_with("2026-12-07 16:42:15 ssdprep-deploy 9.8.7.6 ends with 3: "))
                << row.name << temp;
            EXPECT_NE(temp.find(row.says.substr(0, row.says.find('|'))), std::string::npos)
                << row.name;
        }
        // Only the work dir's files and the temp log are written, each
        // shared as it should be, only the work dir's log inheritable; the
        // drives are only read.
        std::u16string folder = fake::FileKey(row.dir + u"\\x");
        folder.pop_back();
        for (const auto& [key, bytes] : m.files) {
            const bool ours = key.starts_with(logged ? folder : kTempLog);
            EXPECT_TRUE(ours || before.count(key) != 0) << row.name << ": " << fake::Narrow(key);
        }
        for (const fake::FileCreate& open : m.fileCreates) {
            const bool logFile = fake::FileKey(open.path).ends_with(u"\\SSDPREP-DEPLOY.LOG");
            const bool shared = logFile || open.access == platform::kGenericRead;
            EXPECT_EQ(open.share, shared ? platform::kFileShareRead : 0u) << row.name;
            EXPECT_EQ(open.inheritable, fake::FileKey(open.path) == logKey) << row.name;
        }
        for (const fake::DriveOpen& open : m.driveOpens) {
            EXPECT_EQ(open.access, 0u) << row.name;
        }
        if (logged) {  // its own lines on standard output too
            EXPECT_NE(m.stdoutText.find("ssdprep-deploy ends with " + std::to_string(code) + ": "),
                      std::string::npos)
                << row.name;
        }
        // No dialog, a console-less child without SW_HIDE, in the work dir,
        // waited for as long as it may take, its output in the log, and
        // none left running.
        const bool parsed = std::count(m.calls.begin(), m.calls.end(), "GetModuleFileName") != 0;
        EXPECT_EQ(m.errorMode, parsed ? 0x8007u : 0x0004u) << row.name;
        const std::size_t timeout = arguments.find(u"--timeout ");
        const std::uint32_t seconds =
            timeout == std::u16string::npos
                ? 600
                : std::stoul(fake::Narrow(arguments.substr(timeout + 10)));
        for (const fake::ChildStart& start : m.childStarts) {
            EXPECT_EQ(start.errorMode, 0x8007u) << row.name;
            EXPECT_EQ(start.startupFlags, platform::kStartfUseStdHandles) << row.name;
            EXPECT_EQ(start.creationFlags, platform::kCreateNoWindow) << row.name;
            EXPECT_EQ(start.directory, row.dir) << row.name;
            EXPECT_FALSE(start.running) << row.name;
            if (m.programs.count(start.key) == 0) {
                continue;  // could not start
            }
            const std::uint32_t limit = start.key == u"ssdprep.exe" ? seconds * 1000 : 60000;
            const auto& script = m.programs.at(start.key);
            const bool hangs = script.front().end == End::Hangs;  // then ended, and waited for
            const std::vector<std::uint32_t> waits = hangs
                                                         ? std::vector<std::uint32_t>{limit, 10000}
                                                         : std::vector<std::uint32_t>{limit};
            EXPECT_EQ(start.waits, waits) << row.name;
            EXPECT_NE(log.find(script.front().output), std::string::npos) << row.name;
        }
        // The state file and the record say the same.
        const std::u16string stateKey = fake::FileKey(row.dir + u"\\ssdprep-deploy.state");
        const std::string state = m.files.count(stateKey) != 0 ? Text(m.files.at(stateKey)) : "";
        std::string last;  // the last line's first word, the disk's line left out
        for (std::size_t at = 0; at < state.size(); at = state.find('\n', at) + 1) {
            last = state.compare(at, 5, "disk ") == 0 ? last
                                                      : state.substr(at, state.find(' ', at) - at);
        }
        EXPECT_EQ(last, row.state) << row.name << "\n" << state;
        // A record made anew: the identity of this drive 0 alone.
        const std::uint8_t style = m.drives.at(0).replies.at(0x70050).bytes[0];
        if (*row.state != 0 && row.says.find("record") == std::string::npos &&
            std::string_view(row.starts).find('T') != std::string_view::npos) {
            const auto& values = m.registry.at(kRecord);
            EXPECT_EQ(values.at(u"DeployState"),
                      fake::Utf16Bytes(std::u16string(state.begin(), state.end())))
                << row.name;
            EXPECT_EQ(values.count(u"DeployDiskSignature") != 0 ? values.at(u"DeployDiskSignature")
                                                                : std::vector<std::uint8_t>{},
                      style == 0 ? kSignature : std::vector<std::uint8_t>{})
                << row.name;
            EXPECT_EQ(values.count(u"DeployDiskGuid") != 0 ? values.at(u"DeployDiskGuid")
                                                           : std::vector<std::uint8_t>{},
                      style == 1 ? fake::Utf16Bytes(kGuid) : std::vector<std::uint8_t>{})
                << row.name;
        }
    }
}

// A run that never started the tool leaves nothing a later run would stop
// on: the next one starts it.
TEST_F(DeployProgram, ARecordNotWrittenStopsNoLaterRun) {
    Standard(machine());
    machine().registryWriteFails = true;
    EXPECT_EQ(ssdprep::deploy::RunDeploy(u"ssdprep-deploy.exe", "9.8.7.6"), 3);
    machine().registryWriteFails = false;
    EXPECT_EQ(ssdprep::deploy::RunDeploy(u"ssdprep-deploy.exe", "9.8.7.6"), 0);
    EXPECT_EQ(Starts(machine()), "RRTA");
}

}  // namespace

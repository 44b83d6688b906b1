// The whole run, with each platform operation of a successful run failing in
// turn, and with hostile answers from everything that returns data. Whatever
// happens, nothing may leak, the partitioning tool may only ever see a
// complete, closed script naming drive 0, and the output and exit code must
// be the ones the tool gives for that failure.
#include <cstdio>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "app/run.h"
#include "fake/machine_test.h"
#include "partition/scripts.h"

namespace {

const std::string kBanner =
    "This program is used to configure HDD environment after iRST driver installation.\n"
    "\t- Delete the hibernate partition.\n"
    "\t- Create D partition again.\n";
const std::string kAuditVerdict = "This program only runs on audit model. Return.\n";
const std::string kSsdVerdict =
    "This is not SSD-only model, don't need to be configured. Return.\n";
const std::u16string kDeleteNotice = u"Fail to create delete DISKPART file.";
const std::u16string kCreateNotice = u"Fail to create create DISKPART file.";

std::vector<std::uint8_t> StandardLayout() {
    std::vector<std::uint8_t> layout(8 + 2 * 32, 0);
    layout[0] = 2;
    layout[8 + 20] = 1, layout[8 + 24] = 0x07, layout[8 + 26] = 1;
    layout[40 + 20] = 2, layout[40 + 24] = 0x84, layout[40 + 26] = 1;
    return layout;
}

// A machine on which the run succeeds: audit mode, one solid-state drive,
// the hibernation partition at number 2.
void DescribeStandardMachine() {
    fake::Machine& m = fake::Current();
    m.registry[fake::kSetupStateKey][u"ImageState"] = fake::Utf16Bytes(u"IMAGE_STATE_UNDEPLOYABLE");
    fake::Drive drive = fake::InternalDrive();
    drive.replies[0x7C088] = fake::IdentifyReply(1);
    drive.replies[0x7400C] = fake::Reply{StandardLayout()};
    m.drives[0] = drive;
}

int RunProcess() {
    static_cast<void>(ssdprep::InitializeProcess());
    return ssdprep::RunSsdPrep();
}

struct Outcome {
    int exitCode = 0;
    std::string verdict;                  // printed after the banner
    std::optional<int> deletedPartition;  // from the delete script the tool was started on
    std::vector<std::u16string> notices;
    std::size_t debugLines = 0;
};

// Checks what must hold after any run, and reads back what happened.
Outcome Observe(int exitCode) {
    const fake::Machine& m = fake::Current();
    Outcome outcome;
    outcome.exitCode = exitCode;
    EXPECT_EQ(m.OpenResourceCount(), 0u) << "leaked";
    EXPECT_TRUE(m.releaseErrors.empty()) << "released twice";
    EXPECT_LE(m.maxOpenDrives, 1u);
    EXPECT_EQ(m.stdoutText.substr(0, kBanner.size()), kBanner);
    outcome.verdict = m.stdoutText.substr(std::min(kBanner.size(), m.stdoutText.size()));
    for (const fake::MessageBox& box : m.messageBoxes) {
        outcome.notices.push_back(box.text);
        EXPECT_EQ(box.type, 0x30u);
    }
    outcome.debugLines = m.debugStrings.size();
    for (const std::u16string& line : m.debugStrings) {
        EXPECT_EQ(line, u"Get Partition Number failed.");
    }

    static const std::regex deleteScript(
        "rescan \r\r\nselect disk 0\r\r\nselect part (-?[0-9]+)\r\r\ndelete part override\r\r\n"
        "exit\r\r\n");
    const std::string createScript = ssdprep::ComposeCreateScript(0, u"TEMP_PART01", u"ntfs");
    for (const fake::ProcessStart& start : m.processStarts) {
        EXPECT_EQ(start.openFilesAtStart, 0u) << "script still open when the tool started";
        EXPECT_EQ(start.commandLine.rfind(u"Diskpart /s \"", 0), 0u);
        EXPECT_EQ(start.applicationName, u"C:\\Windows\\system32\\diskpart.exe");
        // The script the command line names, as it was on disk at the start.
        const auto file = start.filesAtStart.find(fake::FileKey(start.commandLine.substr(13)));
        if (file == start.filesAtStart.end()) {
            ADD_FAILURE() << "the tool was given a script that does not exist";
            continue;
        }
        const std::string text(file->second.begin(), file->second.end());
        std::smatch match;
        if (std::regex_match(text, match, deleteScript)) {
            outcome.deletedPartition = std::stoi(match[1]);
        } else {
            EXPECT_EQ(text, createScript) << "the tool was given an incomplete script";
        }
    }
    return outcome;
}

struct Expected {
    const char* operation;  // the seam call that fails
    int occurrence;         // its 1-based count among calls of that name
    Outcome outcome;
};

Outcome Done(int partition = 2, std::size_t debugLines = 0) {
    return Outcome{0, "", partition, {}, debugLines};
}
Outcome Declined(const std::string& verdict) { return Outcome{1, verdict, std::nullopt, {}, 0}; }
Outcome DeleteNotWritten() { return Outcome{2, "", std::nullopt, {kDeleteNotice}, 0}; }
Outcome CreateNotWritten() { return Outcome{2, "", 2, {kCreateNotice}, 0}; }
// The tool not started: never asked to (nullopt), or asked and refused;
// or started on the script and not seen to end.
Outcome ToolNotRun(std::optional<int> handedPartition) {
    return Outcome{2, "", handedPartition, {}, 0};
}

// Every operation not listed here leaves the run as it was: its failure is
// either folded into a result that changes nothing or has no consumer.
const std::vector<Expected> kExpected = {
    {"GetVersionEx", 1, Declined(kAuditVerdict)},  // file form; no sysprep files
    {"OpenDrive", 1, Declined(kSsdVerdict)},       // drive 0 not present: no internal drive
    {"OpenDrive", 11, Declined(kSsdVerdict)},      // drive 0 not confirmed internal
    {"DeviceIoControl", 2, Declined(kSsdVerdict)},
    {"OpenDrive", 12, Declined(kSsdVerdict)},  // identify open
    {"GlobalAlloc", 1, Declined(kSsdVerdict)},
    {"GlobalAlloc", 2, Declined(kSsdVerdict)},
    {"DeviceIoControl", 3, Declined(kSsdVerdict)},  // identify exchange
    {"OpenDrive", 13, Done(-1)},                    // layout count
    {"DeviceIoControl", 4, Done(-1, 1)},
    {"OpenDrive", 14, Done(2)},  // type of partition 1: skipped
    {"DeviceIoControl", 5, Done(2, 1)},
    {"OpenDrive", 15, Done(-1)},  // type of partition 2
    {"DeviceIoControl", 6, Done(-1, 1)},
    {"GetCurrentDirectory", 1, DeleteNotWritten()},
    {"GetFullPathName", 1, DeleteNotWritten()},
    {"PathStripToRoot", 1, DeleteNotWritten()},
    {"GetVolumeInformation", 1, DeleteNotWritten()},
    {"CreateFile", 1, DeleteNotWritten()},
    {"WriteFile", 1, DeleteNotWritten()},
    {"CloseHandle", 1, DeleteNotWritten()},  // the delete script's close
    {"GetSystemDirectory", 1, ToolNotRun(std::nullopt)},
    {"SysAllocStringLen", 1, ToolNotRun(std::nullopt)},
    {"CreateProcess", 1, ToolNotRun(2)},
    {"WaitForSingleObject", 1, ToolNotRun(2)},
    {"GetCurrentDirectory", 2, CreateNotWritten()},
    {"GetFullPathName", 2, CreateNotWritten()},
    {"PathStripToRoot", 2, CreateNotWritten()},
    {"GetVolumeInformation", 2, CreateNotWritten()},
    {"CreateFile", 2, CreateNotWritten()},
    {"WriteFile", 2, CreateNotWritten()},
    {"CloseHandle", 4, CreateNotWritten()},  // the create script's close
    {"GetSystemDirectory", 2, ToolNotRun(2)},
    {"SysAllocStringLen", 2, ToolNotRun(2)},
    {"CreateProcess", 2, ToolNotRun(2)},
    {"WaitForSingleObject", 2, ToolNotRun(2)},
};

void ExpectOutcome(const Outcome& actual, const Outcome& expected, const std::string& label) {
    EXPECT_EQ(actual.exitCode, expected.exitCode) << label;
    EXPECT_EQ(actual.verdict, expected.verdict) << label;
    EXPECT_EQ(actual.deletedPartition, expected.deletedPartition) << label;
    EXPECT_EQ(actual.notices, expected.notices) << label;
    EXPECT_EQ(actual.debugLines, expected.debugLines) << label;
}

TEST(FaultInjection, EveryOperationOfASuccessfulRunFailingInTurn) {
    fake::Reset();
    DescribeStandardMachine();
    ASSERT_EQ(RunProcess(), 0);
    const std::vector<std::string> operations = fake::Current().calls;
    ExpectOutcome(Observe(0), Done(), "standard run");
    ASSERT_EQ(fake::Current().processStarts.size(), 2u);

    std::map<std::string, int> seen;
    std::size_t listedHit = 0;
    for (std::size_t k = 1; k <= operations.size(); ++k) {
        const std::string& name = operations[k - 1];
        const int occurrence = ++seen[name];
        fake::Reset();
        DescribeStandardMachine();
        fake::Current().failOperation = k;
        const int exitCode = RunProcess();
        const std::string label =
            "operation " + std::to_string(k) + ": " + name + " #" + std::to_string(occurrence);
        ASSERT_EQ(fake::Current().calls.at(k - 1), name)
            << label << " (the run diverged before it)";

        Outcome expected = Done();
        for (const Expected& e : kExpected) {
            if (e.operation == name && e.occurrence == occurrence) {
                expected = e.outcome;
                ++listedHit;
            }
        }
        ExpectOutcome(Observe(exitCode), expected, label);
    }
    EXPECT_EQ(listedHit, kExpected.size()) << "a listed failure was never injected";
    std::printf("fault injection: %zu operations failed in turn\n", operations.size());
    ::testing::Test::RecordProperty("fault_cases", static_cast<int>(operations.size()));
}

// Answers no sane machine gives, from every operation that returns data.
TEST(FaultInjection, HostileAnswersNeverBreakTheRun) {
    std::mt19937 random(20261207);
    auto bytes = [&](std::size_t n) {
        std::vector<std::uint8_t> out(n);
        for (auto& b : out) {
            b = static_cast<std::uint8_t>(random());
        }
        return out;
    };
    constexpr int kRounds = 200;
    int cases = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Registry value of any length and content.
        fake::Reset();
        DescribeStandardMachine();
        fake::Current().registry[fake::kSetupStateKey][u"ImageState"] = bytes(random() % 601);
        Outcome o = Observe(RunProcess());
        EXPECT_EQ(o.exitCode, 0);
        ++cases;

        // Bus reply: USB at drive 0 declines, anything else is internal.
        fake::Reset();
        DescribeStandardMachine();
        std::vector<std::uint8_t> bus = bytes(37);
        if (round % 4 == 0) {
            bus[28] = 7, bus[29] = bus[30] = bus[31] = 0;
        }
        const bool usb = bus[28] == 7 && bus[29] == 0 && bus[30] == 0 && bus[31] == 0;
        fake::Current().drives[0].replies[0x2D1400].bytes = bus;
        o = Observe(RunProcess());
        ExpectOutcome(o, usb ? Declined(kSsdVerdict) : Done(),
                      "bus round " + std::to_string(round));
        ++cases;

        // Identify data: solid-state only with word 217 exactly 1.
        fake::Reset();
        DescribeStandardMachine();
        std::vector<std::uint8_t> identify = bytes(528);
        if (round % 4 == 0) {
            identify[16 + 434] = 1, identify[16 + 435] = 0;
        }
        const bool ssd = identify[16 + 434] == 1 && identify[16 + 435] == 0;
        fake::Current().drives[0].replies[0x7C088].bytes = identify;
        o = Observe(RunProcess());
        ExpectOutcome(o, ssd ? Done() : Declined(kSsdVerdict),
                      "identify round " + std::to_string(round));
        ++cases;

        // Layout of any count and entries: whatever number is chosen is a
        // recognised 0x84 entry among the first sixteen, or -1.
        fake::Reset();
        DescribeStandardMachine();
        std::vector<std::uint8_t> layout = bytes(520);
        for (std::size_t k = 0; k < 16; ++k) {
            layout[8 + 32 * k + 20 + 1] = layout[8 + 32 * k + 20 + 2] =
                layout[8 + 32 * k + 20 + 3] = 0;
            layout[8 + 32 * k + 20] %= 20;
            layout[8 + 32 * k + 24] = (layout[8 + 32 * k + 24] & 1) != 0 ? 0x84 : 0x07;
            layout[8 + 32 * k + 26] %= 3;
        }
        if (round % 2 == 0) {
            layout[0] = layout[1] = layout[2] = layout[3] = 0xFF;
        }
        fake::Current().drives[0].replies[0x7400C].bytes = layout;
        o = Observe(RunProcess());
        EXPECT_EQ(o.exitCode, 0);
        ASSERT_TRUE(o.deletedPartition.has_value());
        if (*o.deletedPartition != -1) {
            bool found = false;
            const std::uint32_t count = layout[0] | layout[1] << 8 | layout[2] << 16 |
                                        static_cast<std::uint32_t>(layout[3]) << 24;
            for (std::size_t k = 0; k < std::min<std::uint32_t>(count, 16); ++k) {
                const std::uint8_t* entry = layout.data() + 8 + 32 * k;
                found |= entry[20] == *o.deletedPartition && entry[24] == 0x84 && entry[26] == 1;
            }
            EXPECT_TRUE(found) << "chose partition " << *o.deletedPartition;
        }
        ++cases;
    }

    // Current directories: too long for the scripts, too long for the
    // buffer (never the root of the current drive instead), odd characters.
    const Outcome notWritten{2, "", std::nullopt, {kDeleteNotice, kCreateNotice}, 0};
    for (const auto& [directory, expected] : std::vector<std::pair<std::u16string, Outcome>>{
             {u"C:\\" + std::u16string(300, u'x'), notWritten},
             {u"C:\\" + std::u16string(1020, u'x'), notWritten},
             {u"C:\\a \"b\" %d & ^c", Done()}}) {
        fake::Reset();
        DescribeStandardMachine();
        fake::Current().currentDirectory = directory;
        ExpectOutcome(Observe(RunProcess()), expected, fake::Narrow(directory.substr(0, 20)));
        ++cases;
    }
    std::printf("hostile answers: %d runs\n", cases);
    ::testing::Test::RecordProperty("hostile_cases", cases);
}

}  // namespace

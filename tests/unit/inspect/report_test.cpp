#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake/machine_test.h"
#include "inspect/inspection.h"
#include "inspect/program.h"

namespace {

using InspectionTest = MachineTest;

TEST_F(InspectionTest, OnlyAReportReadsTheMachine) {
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        const char* stdoutStart;
        const char* stderrText;
    };
    const Case cases[] = {
        {{"--help"}, 0, "usage: ssdprep-inspect", ""},
        {{"--version"}, 0, "ssdprep-inspect 9.8.7.6\n", ""},
        {{"--json", "--delete"},
         2,
         "",
         "usage: ssdprep-inspect [--json | --after | --help | --version]\n"},
        {{"json"}, 2, "", "usage: ssdprep-inspect [--json | --after | --help | --version]\n"},
        {{"/?"}, 0, "usage: ssdprep-inspect", ""},
        {{"--json", "--after"},
         2,
         "",
         "ssdprep-inspect: --after has no JSON form\n"
         "usage: ssdprep-inspect [--json | --after | --help | --version]\n"},
    };
    for (const Case& c : cases) {
        fake::Reset();
        EXPECT_EQ(ssdprep::RunInspector(c.arguments, "9.8.7.6"), c.exitCode) << c.arguments[0];
        EXPECT_EQ(machine().stdoutText.rfind(c.stdoutStart, 0), 0u) << c.arguments[0];
        EXPECT_EQ(machine().stderrText, c.stderrText) << c.arguments[0];
        EXPECT_TRUE(machine().driveOpens.empty()) << c.arguments[0];
        EXPECT_TRUE(machine().keyOpens.empty()) << c.arguments[0];
    }
}

TEST_F(InspectionTest, JsonQuotesWhatTheMachineSaysAndShowsTheFileForm) {
    // Text from the registry is quoted so that nothing in it breaks the object.
    machine().registry[fake::kSetupStateKey][u"ImageState"] =
        fake::Utf16Bytes(u"a\"b\\c\u00e9\n\u0001" + std::u16string(1, char16_t{0xD800}));
    EXPECT_EQ(ssdprep::RunInspector({"--json"}, "1.0.0.1"), 1);  // no drive: declined
    EXPECT_NE(
        machine().stdoutText.find("\"image_state\": \"a\\\"b\\\\c\\u00E9\\n\\u0001\\uD800\",\n"),
        std::string::npos)
        << machine().stdoutText;
    EXPECT_NE(machine().stdoutText.find("\"verdict\": \"not-ssd-only\",\n"), std::string::npos);
    EXPECT_NE(machine().stdoutText.find("\"drive0_usb\": null,\n"), std::string::npos);

    fake::Reset();
    machine().majorVersion = 5;
    machine().existingPaths = {u"C:\\SYSPREP\\SYSPRP.EXE"};
    ssdprep::RunInspector({"--json"}, "1.0.0.1");
    EXPECT_NE(machine().stdoutText.find("\"audit_form\": \"files\",\n  \"image_state\": null,\n"
                                        "  \"sysprep_files\": {\"C:\\\\SYSPREP\\\\SYSPREP.EXE\": "
                                        "false, \"C:\\\\SYSPREP\\\\SYSPRP.EXE\": true},\n"
                                        "  \"audit_mode\": true,\n"),
              std::string::npos)
        << machine().stdoutText;
}

// The report's verdicts, from plain values: each reason and number as an
// engineer reads them, and the exit code that goes with them.
TEST(FormatReport, NamesEachVerdictWithItsReasonAndExitCode) {
    using ssdprep::SsdOnlyOutcome;
    using ssdprep::Verdict;
    struct Row {
        Verdict gates;
        SsdOnlyOutcome ssdOnly;
        int hibernation;
        std::uint32_t layoutError;  // 0: the layout was read
        std::uint32_t style;
        bool toolMissing;
        const char* verdict;
        int exitCode;
    };
    const Row rows[] = {
        {Verdict::NotAuditMode, SsdOnlyOutcome::SsdOnly, 3, 0, 0, false,
         "declined, not in audit mode: ImageState is IMAGE_STATE_COMPLETE: Windows setup has "
         "completed.",
         1},
        {Verdict::NotSsdOnly, SsdOnlyOutcome::NotOneInternalDrive, 3, 0, 0, false,
         "declined, not an SSD-only model: 2 internal drives among drives 0 to 4, and exactly 1 "
         "is needed.",
         1},
        {Verdict::NotSsdOnly, SsdOnlyOutcome::Drive0OnUsb, 3, 0, 0, false,
         "declined, not an SSD-only model: drive 0 is on USB, so the one internal drive is "
         "another.",
         1},
        {Verdict::NotSsdOnly, SsdOnlyOutcome::Drive0Unconfirmed, 3, 0, 0, false,
         "declined, not an SSD-only model: drive 0 could not be confirmed internal: no "
         "read-write access.",
         1},
        {Verdict::NotSsdOnly, SsdOnlyOutcome::NotSolidState, 3, 0, 0, false,
         "declined, not an SSD-only model: drive 0 reports rotation rate 7200 (identify word "
         "217), and only 1 means solid-state.",
         1},
        {Verdict::WouldChange, SsdOnlyOutcome::SsdOnly, 3, 0, 0, false,
         "ssdprep.exe would change drive 0. The delete script selects hibernation partition 3.", 0},
        {Verdict::WouldChange, SsdOnlyOutcome::SsdOnly, 3, 0, 0, true,
         "ssdprep.exe would not carry out its partition steps: partitioning tool: no file at "
         "C:\\diskpart.exe. It would end with exit code 2.\n",
         3},
        {Verdict::WouldChange, SsdOnlyOutcome::SsdOnly, -1, 122, 0, false,
         "nothing to delete: drive 0's layout cannot be read: more than 16 layout entries (four "
         "or more logical drives) (error 122).",
         4},
        {Verdict::WouldChange, SsdOnlyOutcome::SsdOnly, -1, 1, ssdprep::kPartitionStyleGpt, false,
         "nothing to delete: drive 0's layout cannot be read: not an MBR disk (GPT) (error 1).", 4},
    };
    for (const Row& row : rows) {
        ssdprep::Inspection in;
        in.audit.majorVersion = 10;
        in.verdict = row.gates;
        in.ssdOnly = row.ssdOnly;
        in.internalDrives = 2;
        in.drive0Identify = {true, true, {}};
        in.drive0Identify.data[434] = 0x20, in.drive0Identify.data[435] = 0x1C;  // 7200
        in.hibernationPartition = row.hibernation;
        in.layout = {true, row.layoutError == 0, row.layoutError, {}};
        in.style = {true, 0, row.style};
        if (row.toolMissing) {
            in.steps.push_back({"partitioning tool", false, "no file at C:\\diskpart.exe", false});
        }
        const std::string report = ssdprep::FormatReport(in, "1.0.0.1");
        EXPECT_NE(report.find(std::string("\nVerdict: ") + row.verdict), std::string::npos)
            << report;
        EXPECT_NE(report.find("\nExit code: " + std::to_string(row.exitCode) + "\n"),
                  std::string::npos)
            << report;
    }
}

}  // namespace

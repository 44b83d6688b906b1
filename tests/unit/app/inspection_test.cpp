#include "app/inspection.h"

#include <string>
#include <vector>

#include "fake/machine_test.h"

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
        {{"--json", "--delete"}, 2, "", "usage: ssdprep-inspect [--json | --help | --version]\n"},
        {{"json"}, 2, "", "usage: ssdprep-inspect [--json | --help | --version]\n"},
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
    machine().registry[fake::kSetupStateKey][u"ImageState"] = fake::Utf16Bytes(u"a\"b\\c\u00e9\n");
    EXPECT_EQ(ssdprep::RunInspector({"--json"}, "1.0.0.1"), 1);  // no drive: declined
    EXPECT_NE(machine().stdoutText.find("\"image_state\": \"a\\\"b\\\\c\\u00E9\\n\",\n"),
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

}  // namespace

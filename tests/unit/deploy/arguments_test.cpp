#include "deploy/arguments.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace {

using ssdprep::deploy::Arguments;
using Kind = Arguments::Kind;

TEST(DeployArguments, SplitsAsTheCStartupCodeDoes) {
    const std::pair<std::u16string, std::vector<std::u16string>> rows[] = {
        {u"\"C:\\Program Files\\x.exe\" --work-dir \"C:\\My Deploy\"\t--timeout 5  ",
         {u"--work-dir", u"C:\\My Deploy", u"--timeout", u"5"}},
        {u"x.exe a\\\\\\\"b \"c\\\\\" d\\e", {u"a\\\"b", u"c\\", u"d\\e"}},
        {u"x.exe a\"b\"\" c \"\"", {u"ab\"", u"c", u""}},
        {u"x.exe C:\\Deploy\\", {u"C:\\Deploy\\"}},
        {u"x.exe", {}},
    };
    for (const auto& [line, arguments] : rows) {
        EXPECT_EQ(ssdprep::deploy::SplitCommandLine(line), arguments);
    }
}

TEST(DeployArguments, TakesEachOptionOnceWithAGoodValue) {
    struct Row {
        std::vector<std::u16string> arguments;
        Kind kind;
        std::u16string workDir;
        std::uint32_t timeout;
        const char* says = "";  // in the usage error
    };
    const Row rows[] = {
        {{}, Kind::Run, u"", 600},
        {{u"--decline-stops", u"--create-without-hibernation", u"--work-dir", u"c:\\D",
          u"--timeout", u"86400"},
         Kind::Run,
         u"c:\\D",
         86400},
        {{u"--work-dir", u"C:\\", u"--timeout", u"1"}, Kind::Run, u"C:\\", 1},
        {{u"--work-dir", u"\\\\server\\share"}, Kind::Usage, u"", 600, "not the network path"},
        {{u"--work-dir", u"\\\\?\\C:\\Deploy"}, Kind::Usage, u"", 600, "not a \\\\?\\ or"},
        {{u"--work-dir", u"\\\\.\\C:\\Deploy"}, Kind::Usage, u"", 600, "not a \\\\?\\ or"},
        {{u"--work-dir", u"\\?\\C:\\Deploy"}, Kind::Usage, u"", 600, "needs an absolute path"},
        {{u"--work-dir", u"Z:\\", u"--timeout", u"9"}, Kind::Run, u"Z:\\", 9},
        {{u"--timeout", u"5", u"--help"}, Kind::Help, u"", 5},
        {{u"--version"}, Kind::Version, u"", 600},
        {{u"--timeout", u"0"}, Kind::Usage, u"", 600},
        {{u"--timeout", u"86401"}, Kind::Usage, u"", 600},
        {{u"--timeout", u"99999999999999999999"}, Kind::Usage, u"", 600},
        {{u"--timeout", u"5s"}, Kind::Usage, u"", 600},
        {{u"--timeout", u""}, Kind::Usage, u"", 600},
        {{u"--timeout"}, Kind::Usage, u"", 600},
        {{u"--work-dir", u"Deploy"}, Kind::Usage, u"", 600},
        {{u"--work-dir", u"C:Deploy"}, Kind::Usage, u"", 600},
        {{u"--work-dir", u"1:\\Deploy"}, Kind::Usage, u"", 600},
        {{u"--work-dir", u"@:\\Deploy"}, Kind::Usage, u"", 600},
        {{u"--work-dir", u"[:\\Deploy"}, Kind::Usage, u"", 600},
        {{u"--work-dir", u"{:\\Deploy"}, Kind::Usage, u"", 600},
        {{u"--work-dir", u"z:/Deploy"}, Kind::Usage, u"", 600},
        {{u"--decline-stops", u"--decline-stops"}, Kind::Usage, u"", 600},
        {{u"/decline-stops"}, Kind::Usage, u"", 600},
    };
    for (const Row& row : rows) {
        const Arguments parsed = ssdprep::deploy::ParseArguments(row.arguments);
        const std::string name = row.arguments.empty() ? "" : ssdprep::Bytes(row.arguments[0]);
        EXPECT_EQ(parsed.kind, row.kind) << name;
        EXPECT_EQ(parsed.error.empty(), row.kind != Kind::Usage) << name;
        EXPECT_NE(parsed.error.find(row.says), std::string::npos) << name;
        if (row.kind == Kind::Run) {
            EXPECT_EQ(parsed.settings.workDir, row.workDir) << name;
            EXPECT_EQ(parsed.settings.timeoutSeconds, row.timeout) << name;
            EXPECT_EQ(parsed.settings.options.declineStops, row.arguments.size() == 6) << name;
            EXPECT_EQ(parsed.settings.options.createWithoutHibernation, row.arguments.size() == 6)
                << name;
        }
    }
}

}  // namespace

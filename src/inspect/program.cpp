#include "inspect/program.h"

#include "app/plan.h"
#include "inspect/after.h"
#include "inspect/inspection.h"
#include "platform/platform.h"

namespace ssdprep {
namespace {

constexpr char kUsageLine[] = "usage: ssdprep-inspect [--json | --after | --help | --version]\n";
constexpr char kHelp[] =
    "usage: ssdprep-inspect [--json | --after | --help | --version]\n"
    "\n"
    "Shows what ssdprep.exe reads on this machine, what it decides from it and\n"
    "what it would do. It only reads: it changes no drive, writes no file and\n"
    "starts no program. Run it elevated, as ssdprep.exe is run.\n"
    "\n"
    "  --json     one JSON object instead of the report\n"
    "  --after    after a run: exit code 0 when drive 0 has no hibernation\n"
    "             partition left and a volume labelled TEMP_PART01 exists,\n"
    "             1 otherwise, with a line saying which part failed\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n";

}  // namespace

int RunInspector(const std::vector<std::string>& arguments, std::string_view version) {
    bool json = false;
    bool after = false;
    for (const std::string& argument : arguments) {
        if (argument == "--json") {
            json = true;
        } else if (argument == "--after") {
            after = true;
        } else if (argument == "--help" || argument == "-h" || argument == "/?") {
            platform::PrintToStdout((std::string(kHelp) + kExitCodeTable).c_str());
            return 0;
        } else if (argument == "--version") {
            platform::PrintToStdout(("ssdprep-inspect " + std::string(version) + "\n").c_str());
            return 0;
        } else {
            platform::PrintToStderr(kUsageLine);
            return static_cast<int>(Outcome::Usage);
        }
    }
    if (json && after) {
        platform::PrintToStderr("ssdprep-inspect: --after has no JSON form\n");
        platform::PrintToStderr(kUsageLine);
        return static_cast<int>(Outcome::Usage);
    }
    AddCriticalErrorFlags();
    if (after) {
        const AfterInspection inspection = InspectAfter();
        platform::PrintToStdout(FormatAfter(inspection, version).c_str());
        return IsDone(inspection) ? 0 : 1;
    }
    const Inspection inspection = Inspect();
    platform::PrintToStdout(
        (json ? FormatJson(inspection, version) : FormatReport(inspection, version)).c_str());
    return static_cast<int>(Decide(inspection));
}

}  // namespace ssdprep

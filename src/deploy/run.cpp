// ssdprep-deploy: runs ssdprep.exe once, unattended, and ends with 0 (set-up
// may go on) or 3 (stop set-up); with --forget, removes what a run left
// before an image is captured. The order of its steps is here; the children,
// the log, the work dir, the evidence, the state file and the record have
// units of their own, and every decision is in decision.cpp.
#include "deploy/run.h"

#include <exception>

#include "app/plan.h"
#include "common/module_path.h"
#include "common/text.h"
#include "deploy/arguments.h"
#include "deploy/child.h"
#include "deploy/evidence.h"
#include "deploy/identity.h"
#include "deploy/log.h"
#include "deploy/record.h"
#include "deploy/state.h"
#include "deploy/work_dir.h"
#include "partition/script_text.h"
#include "platform/deploy.h"
#include "platform/platform.h"

namespace ssdprep::deploy {
namespace {

constexpr char16_t kToolName[] = u"ssdprep.exe";
constexpr char16_t kReportName[] = u"ssdprep-inspect.exe";
constexpr std::uint32_t kReportMilliseconds = 60 * 1000;
// A crash of a child raises no Windows Error Reporting dialog, a drive not
// ready no critical-error box: nobody would answer them. Children inherit it.
constexpr std::uint32_t kNoDialogs = platform::kSemFailCriticalErrors |
                                     platform::kSemNoGpFaultErrorBox |
                                     platform::kSemNoOpenFileErrorBox;

// Why a program beside this one is missing, or empty.
std::string CheckBeside(const std::u16string& path) {
    std::uint32_t attributes{};
    if (platform::QueryFileAttributes(path.c_str(), &attributes) == 0 ||
        (attributes & platform::kFileAttributeDirectory) != 0) {
        return Utf8(path) + " is missing: keep it beside ssdprep-deploy.exe";
    }
    return "";
}

std::string OptionsText(const Settings& settings) {
    if (settings.options.forget) {
        return " --forget";
    }
    return std::string(settings.options.declineStops ? " --decline-stops" : "") +
           (settings.options.createWithoutHibernation ? " --create-without-hibernation" : "") +
           " --timeout " + Decimal(settings.timeoutSeconds);
}

// A run that never started the tool leaves nothing that a later run would
// take for an earlier run's trace.
void Undo(const Log& log, const Paths& paths) {
    std::string problem = RemoveFile(paths.state);
    if (const std::string record = RemoveRecord(); !record.empty()) {
        problem += (problem.empty() ? "" : "; ") + record;
    }
    Say(log, problem.empty() ? "removed the state file and the record again: ssdprep.exe never "
                               "started, so the next run starts clean"
                             : problem + ": delete it by hand before the next run");
}

// --forget's removal: each item that is there, logged. True when none is left.
bool RemoveAll(const Log& log, const Paths& paths) {
    bool all = true;
    for (const std::u16string_view name :
         {std::u16string_view(kStateName), kDeleteScriptName, kCreateScriptName}) {
        const std::u16string path = Within(paths.workDir, name);
        if (platform::QueryFileAttributes(path.c_str()) == 0) {
            continue;
        }
        const std::string problem = RemoveFile(path);
        Say(log, problem.empty() ? "removed " + Utf8(path) : problem);
        all = all && problem.empty();
    }
    if (ReadRecord().present) {
        const std::string problem = RemoveRecord();
        Say(log, problem.empty() ? std::string("removed the record ") + kRecordName : problem);
        all = all && problem.empty();
    }
    return all;
}

// The checks past the log, the evidence, then the steps DecideNext (or,
// with --forget, DecideForget) chooses.
Next Deploy(const Log& log, const Settings& settings, const Paths& paths) {
    const bool forget = settings.options.forget;
    for (const std::string& problem : {CheckBeside(paths.tool), CheckBeside(paths.report)}) {
        if (!problem.empty()) {
            return Next{Step::Finish, kStop, problem};
        }
    }
    int member{};
    if (platform::CheckAdministratorsMembership(&member) == 0 || member == 0) {
        return Next{Step::Finish, kStop,
                    "not run with administrator rights (an elevated prompt, the built-in "
                    "Administrator or SYSTEM): ssdprep.exe could not read the drives"};
    }
    const std::optional<DiskIdentity> drive0 = ReadDrive0Identity();
    Say(log, drive0 ? "drive 0 is the disk of " + IdentityText(*drive0)
                    : std::string("drive 0's identity cannot be read (a RAW disk, or no "
                                  "answer): what this run writes names no disk"));
    // Drive 0 is a number: a USB disk can take it. The evidence of a run on
    // the disk Windows runs from would then be passed over as another disk's.
    const SystemDisk system = FindSystemDisk();
    Say(log, system.line);
    if (system.elsewhere) {
        return Next{Step::Finish, kStop,
                    "drive 0 is not the disk Windows runs from: " + system.line +
                        (forget ? "; nothing was removed" : "; ssdprep.exe was not started")};
    }
    const Evidence evidence = GatherEvidence(paths.workDir, drive0);
    for (const std::string& line : evidence.lines) {
        Say(log, line);
    }
    if (evidence.found && !forget) {
        Say(log,
            "ssdprep.exe is not started again; only ssdprep-inspect.exe --after runs. To "
            "run again, see \"Repairing and running again\" in the operator's guide");
    }
    Facts facts;
    facts.evidence = evidence.found;
    facts.doneHere = evidence.doneHere;
    facts.unfinished = evidence.unfinished;
    std::string started;
    std::uint32_t toolEnded{};
    const auto after = [&](Facts& f) {
        Say(log, "ssdprep-inspect.exe --after: did ssdprep.exe leave drive 0 as intended?");
        f.after.push_back(RunChild(log, paths, paths.report, u" --after", kReportMilliseconds));
        // Counted only once the tool ran (DecideNext reads it then).
        f.sinceToolEnded = platform::TickCount() - toolEnded;
        Say(log, "ssdprep-inspect.exe --after " + Describe(f.after.back()));
    };
    Next next = RunSteps(settings.options, facts, [&](Step step, Facts& f) {
        switch (step) {
            case Step::Finish:  // never taken: RunSteps ends there
                return;
            case Step::Report:
                Say(log, "ssdprep-inspect.exe: what would ssdprep.exe do here?");
                f.report = RunChild(log, paths, paths.report, u"", kReportMilliseconds);
                Say(log, "ssdprep-inspect.exe " + Describe(*f.report));
                break;
            case Step::WriteState: {
                started = StartedText(Stamp(platform::CurrentLocalTime()), drive0);
                const std::string failure = WriteState(paths.state, started, drive0, true);
                f.stateWritten = failure.empty();
                Say(log, failure.empty() ? "wrote " + Utf8(paths.state) + " and the record " +
                                               kRecordName + ": started"
                                         : failure);
                if (!failure.empty()) {
                    Undo(log, paths);
                }
                break;
            }
            case Step::RunTool:
                Say(log, "ssdprep.exe: changing drive 0");
                f.tool = RunChild(log, paths, paths.tool, u"", settings.timeoutSeconds * 1000);
                toolEnded = platform::TickCount();
                Say(log, "ssdprep.exe " + Describe(*f.tool));
                if (f.tool->kind == ChildOutcome::Kind::TimedOut) {
                    Say(log,
                        "the partitioning tool ssdprep.exe started (diskpart.exe) may still "
                        "be running: wait for it, or restart, before any repair");
                }
                break;
            case Step::Remove:
                f.removed = RemoveAll(log, paths);
                break;
            case Step::PollAfter:
                platform::Pause(kPollMilliseconds);
                [[fallthrough]];
            case Step::After:
                after(f);
        }
    });
    if (facts.stateWritten.value_or(false)) {
        const std::string state = next.exitCode == kGoOn ? "done" : "failed";
        const std::string failure = WriteState(
            paths.state, started + state + " " + Stamp(platform::CurrentLocalTime()) + "\r\n",
            drive0, false);
        if (!failure.empty()) {
            Say(log, failure + " (to record " + state + ")");
        }
    }
    return next;
}

int RunDeploySteps(std::u16string_view commandLine, std::string_view version) {
    const Arguments parsed = ParseArguments(SplitCommandLine(commandLine));
    switch (parsed.kind) {
        case Arguments::Kind::Help:
            WriteAll(platform::StandardOutput(), std::string(kUsage) + kHelp);
            return kGoOn;
        case Arguments::Kind::Version:
            WriteAll(platform::StandardOutput(), "ssdprep-deploy " + std::string(version) + "\n");
            return kGoOn;
        case Arguments::Kind::Usage:
            Refuse(parsed.error, version, u"");
            WriteAll(platform::StandardError(), kUsage);
            return kStop;
        case Arguments::Kind::Run:
            break;
    }
    AddErrorModeFlags(kNoDialogs);
    std::u16string program = QueryModulePath();
    // A path the loader gave as \\?\C:\... is the local C:\...
    if (program.starts_with(u"\\\\?\\") && program.find(u':') == 5) {
        program.erase(0, 4);
    }
    const std::u16string programDir = program.substr(0, program.find_last_of(u'\\') + 1);
    Paths paths;
    paths.workDir = ResolveWorkDir(parsed.settings.workDir, programDir);
    if (const std::string problem = CheckWorkDir(paths.workDir, !parsed.settings.workDir.empty());
        !problem.empty()) {
        Refuse(problem, version, paths.workDir);
        return kStop;
    }
    const std::u16string logPath = Within(paths.workDir, kLogName);
    const Log log = OpenLog(logPath);
    if (!log.file.valid()) {
        Refuse("cannot open the log " + Utf8(logPath) + ": " + ErrorText(platform::LastError()),
               version, paths.workDir);
        return kStop;
    }
    paths.tool = programDir + kToolName;
    paths.report = programDir + kReportName;
    paths.state = Within(paths.workDir, kStateName);
    Say(log, "ssdprep-deploy " + std::string(version) + " in " + Utf8(paths.workDir) +
                 ", options:" + OptionsText(parsed.settings));
    if (parsed.settings.timeoutSeconds < kShortestSafeTimeoutSeconds) {
        Say(log,
            "warning: --timeout " + Decimal(parsed.settings.timeoutSeconds) +
                " is under 60 seconds: ssdprep.exe waits 15 seconds between its two runs of "
                "the partitioning tool, and ended inside that pause it leaves drive 0 with the "
                "hibernation partition deleted and no new partition");
    }
    Next next;
    try {
        next = Deploy(log, parsed.settings, paths);
    } catch (const std::exception& error) {
        next = Next{Step::Finish, kStop, std::string("internal error: ") + error.what()};
    }
    Say(log, "ssdprep-deploy ends with " + Decimal(next.exitCode) + ": " + next.why);
    return next.exitCode;
}

}  // namespace

int RunDeploy(std::u16string_view commandLine, std::string_view version) {
    try {
        return RunDeploySteps(commandLine, version);
    } catch (...) {
        // Not even the log's last line could be written (no memory, say).
        return kStop;
    }
}

}  // namespace ssdprep::deploy

// ssdprep-deploy: runs ssdprep.exe once, unattended, and ends with 0 (set-up
// may go on) or 3 (stop set-up). The children it starts and the order of its
// steps are here; the log, the work dir, the evidence and the record have
// units of their own, and every decision is in decision.cpp.
#include "deploy/run.h"

#include <exception>

#include "app/plan.h"
#include "common/module_path.h"
#include "common/text.h"
#include "deploy/arguments.h"
#include "deploy/evidence.h"
#include "deploy/log.h"
#include "deploy/record.h"
#include "deploy/work_dir.h"
#include "disk/layout.h"
#include "platform/deploy.h"
#include "platform/platform.h"

namespace ssdprep::deploy {
namespace {

constexpr char16_t kToolName[] = u"ssdprep.exe";
constexpr char16_t kReportName[] = u"ssdprep-inspect.exe";
constexpr std::uint32_t kReportMilliseconds = 60 * 1000;
constexpr std::uint32_t kEndWaitMilliseconds = 10 * 1000;
// A crash of a child raises no Windows Error Reporting dialog, a drive not
// ready no critical-error box: nobody would answer them. Children inherit it.
constexpr std::uint32_t kNoDialogs = platform::kSemFailCriticalErrors |
                                     platform::kSemNoGpFaultErrorBox |
                                     platform::kSemNoOpenFileErrorBox;

struct Paths {
    std::u16string workDir;  // full path
    std::u16string tool;
    std::u16string report;
    std::u16string state;
};

// Starts one program with the work dir as its current directory and its
// output in the log, and waits at most `milliseconds` for it. No
// STARTF_USESHOWWINDOW: CREATE_NO_WINDOW hides the console, and a window the
// child shows keeps its own show state instead of SW_HIDE's.
ChildOutcome RunChild(const Log& log, const Paths& paths, const std::u16string& program,
                      const std::u16string& arguments, std::uint32_t milliseconds) {
    std::u16string commandLine = u"\"" + program + u"\"" + arguments;
    platform::ChildProcess child{nullptr, nullptr};
    if (platform::StartChild(program.c_str(), commandLine.data(), platform::kCreateNoWindow,
                             platform::kStartfUseStdHandles, paths.workDir.c_str(), log.file.get(),
                             &child) == 0) {
        Say(log, "cannot start " + Utf8(program) + ": " + ErrorText(platform::LastError()));
        return ChildOutcome{ChildOutcome::Kind::NotStarted};
    }
    const platform::OwnObject process(child.process);
    const platform::OwnObject thread(child.thread);
    const std::uint32_t waited = platform::WaitForHandle(process.get(), milliseconds);
    std::uint32_t code{};
    if (waited == platform::kWaitObject0 && platform::ProcessExitCode(process.get(), &code) != 0) {
        return ChildOutcome{ChildOutcome::Kind::Ended, static_cast<std::int32_t>(code)};
    }
    Say(log, waited == platform::kWaitTimeoutResult
                 ? Utf8(program) + " did not end within " + Decimal(milliseconds / 1000) +
                       " seconds: ending it"
                 : "cannot wait for " + Utf8(program) + ": " + ErrorText(platform::LastError()) +
                       ": ending it");
    platform::EndProcess(process.get(), kStop);
    platform::WaitForHandle(process.get(), kEndWaitMilliseconds);
    return ChildOutcome{ChildOutcome::Kind::TimedOut};
}

// Writes the state file anew with these lines and flushes it, then the
// record: empty when both reached the disk, else why not (the file's error
// taken before its close, which may set it anew).
std::string WriteState(const Paths& paths, const std::string& lines,
                       std::optional<std::uint32_t> signature) {
    const platform::OwnFile file(platform::OpenFile(paths.state.c_str(), platform::kGenericWrite, 0,
                                                    false, platform::kCreateAlways,
                                                    platform::kFileAttributeNormal));
    std::uint32_t written{};
    if (!file.valid() ||
        platform::WriteHandle(file.get(), lines.data(), static_cast<std::uint32_t>(lines.size()),
                              &written) == 0 ||
        written != lines.size() || platform::FlushHandle(file.get()) == 0) {
        return "cannot write " + Utf8(paths.state) + ": " + ErrorText(platform::LastError());
    }
    return WriteRecord(lines, signature);
}

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
    return std::string(settings.options.declineStops ? " --decline-stops" : "") +
           (settings.options.createWithoutHibernation ? " --create-without-hibernation" : "") +
           " --timeout " + Decimal(settings.timeoutSeconds);
}

// Drive 0's MBR disk signature, from the style read that needs no access.
std::optional<std::uint32_t> Drive0Signature(const Log& log) {
    const std::optional<std::uint32_t> signature =
        MbrSignature(QueryPartitionStyle(Disk(kTargetDrive)));
    Say(log, signature ? "drive 0's disk signature: 0x" + Hex(*signature, 8)
                       : std::string("drive 0's disk signature cannot be read (not an MBR disk, "
                                     "or no answer): the record goes without it"));
    return signature;
}

// The checks past the log, the evidence, then the steps DecideNext chooses.
Next Deploy(const Log& log, const Settings& settings, const Paths& paths) {
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
    const std::optional<std::uint32_t> signature = Drive0Signature(log);
    const Evidence evidence = GatherEvidence(paths.workDir, signature);
    for (const std::string& line : evidence.lines) {
        Say(log, line);
    }
    if (evidence.found) {
        Say(log,
            "ssdprep.exe is not started again; only ssdprep-inspect.exe --after runs. To "
            "run again, see \"Repairing and running again\" in the operator's guide");
    }
    Facts facts;
    facts.evidence = evidence.found;
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
                started = "started " + Stamp(platform::CurrentLocalTime()) + "\r\n";
                const std::string failure = WriteState(paths, started, signature);
                f.stateWritten = failure.empty();
                Say(log, failure.empty() ? "wrote " + Utf8(paths.state) + " and the record " +
                                               kRecordName + ": started"
                                         : failure);
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
            paths, started + state + " " + Stamp(platform::CurrentLocalTime()) + "\r\n", signature);
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

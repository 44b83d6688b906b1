// ssdprep-deploy: runs ssdprep.exe once, unattended, and ends with 0 (set-up
// may go on) or 3 (stop set-up). Reading and running here; every decision
// is in decision.cpp.
#include "deploy/run.h"

#include <array>
#include <exception>

#include "app/plan.h"
#include "common/module_path.h"
#include "common/text.h"
#include "deploy/arguments.h"
#include "partition/script_text.h"
#include "platform/deploy.h"
#include "platform/platform.h"

namespace ssdprep::deploy {
namespace {

constexpr char16_t kLogName[] = u"\\ssdprep-deploy.log";
constexpr char16_t kStateName[] = u"\\ssdprep-deploy.state";
constexpr char16_t kProbeName[] = u"\\ssdprep-deploy.probe";
constexpr char16_t kToolName[] = u"ssdprep.exe";
constexpr char16_t kReportName[] = u"ssdprep-inspect.exe";
// The tool's script paths must stay under 260 characters.
constexpr std::size_t kLongestWorkDir = 238;
constexpr std::uint32_t kReportMilliseconds = 60 * 1000;
constexpr std::uint32_t kEndWaitMilliseconds = 10 * 1000;

// A file in a folder; the folder ends in a backslash only when it is a
// drive's root.
std::u16string Within(const std::u16string& folder, std::u16string_view backslashName) {
    return folder +
           std::u16string(folder.back() == u'\\' ? backslashName.substr(1) : backslashName);
}

std::string TwoDigits(unsigned value) {
    return std::string(1, static_cast<char>('0' + value / 10 % 10)) +
           static_cast<char>('0' + value % 10);
}

// YYYY-MM-DD HH:MM:SS, whatever the locale.
std::string Stamp(const platform::LocalTime& t) {
    return Decimal(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " +
           TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

void WriteAll(platform::Handle handle, const std::string& text) {
    std::uint32_t written = 0;
    if (handle != nullptr && handle != platform::InvalidHandle()) {
        platform::WriteHandle(handle, text.data(), static_cast<std::uint32_t>(text.size()),
                              &written);
    }
}

// The system's words for an error, after its number in decimal and hex.
std::string ErrorText(std::uint32_t error) {
    std::array<char16_t, 512> buffer{};
    std::uint32_t length =
        platform::SystemMessage(error, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    while (length > 0 && (buffer[length - 1] == u'\r' || buffer[length - 1] == u'\n' ||
                          buffer[length - 1] == u' ' || buffer[length - 1] == u'.')) {
        --length;
    }
    return "error " + CodeText(error) + (length > 0 ? ": " + Utf8({buffer.data(), length}) : "");
}

// The log in the work dir, opened for appending and inheritable, so that
// the programs it starts write their output into it between its lines.
struct Log {
    platform::OwnFile file;
};

// One line of its own, stamped, in the log and on standard output.
void Say(const Log& log, const std::string& text) {
    const std::string line = Stamp(platform::CurrentLocalTime()) + " " + text + "\r\n";
    WriteAll(log.file.get(), line);
    WriteAll(platform::StandardOutput(), line);
}

struct Paths {
    std::u16string workDir;  // full path
    std::u16string tool;
    std::u16string report;
    std::u16string state;
};

// Starts one program with the work dir as its current directory and its
// output in the log, and waits at most `milliseconds` for it.
ChildOutcome RunChild(const Log& log, const Paths& paths, const std::u16string& program,
                      const std::u16string& arguments, std::uint32_t milliseconds) {
    std::u16string commandLine = u"\"" + program + u"\"" + arguments;
    platform::ChildProcess child{nullptr, nullptr};
    if (platform::StartChild(program.c_str(), commandLine.data(), platform::kCreateNoWindow,
                             paths.workDir.c_str(), log.file.get(), &child) == 0) {
        Say(log, "cannot start " + Utf8(program) + ": " + ErrorText(platform::LastError()));
        return ChildOutcome{ChildOutcome::Kind::NotStarted, 0};
    }
    const platform::OwnObject process(child.process);
    const platform::OwnObject thread(child.thread);
    const std::uint32_t waited = platform::WaitForHandle(process.get(), milliseconds);
    std::uint32_t code = 0;
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
    return ChildOutcome{ChildOutcome::Kind::TimedOut, 0};
}

// Writes the state file anew with these lines, and flushes it: empty when
// all of it reached the disk, else why not (the error taken before the
// close, which may set it anew).
std::string WriteState(const Paths& paths, const std::string& lines) {
    const platform::OwnFile file(platform::OpenFile(paths.state.c_str(), platform::kGenericWrite, 0,
                                                    false, platform::kCreateAlways,
                                                    platform::kFileAttributeNormal));
    std::uint32_t written = 0;
    if (file.valid() &&
        platform::WriteHandle(file.get(), lines.data(), static_cast<std::uint32_t>(lines.size()),
                              &written) != 0 &&
        written == lines.size() && platform::FlushHandle(file.get()) != 0) {
        return "";
    }
    return "cannot write " + Utf8(paths.state) + ": " + ErrorText(platform::LastError());
}

// Why the work dir cannot serve, or empty.
std::string CheckWorkDir(const std::u16string& fullPath) {
    if (fullPath.size() < 3 || fullPath[1] != u':' || fullPath[2] != u'\\') {
        return "the work dir " + Utf8(fullPath) + " is not on a local drive";
    }
    const std::u16string root = fullPath.substr(0, 3);
    if (platform::DriveType(root.c_str()) == platform::kDriveRemote) {
        return "the work dir " + Utf8(fullPath) + " is on a network drive";
    }
    if (fullPath.size() > kLongestWorkDir) {
        return "the work dir " + Utf8(fullPath) + " has " + Decimal(fullPath.size()) +
               " characters, and ssdprep.exe's scripts need it to have at most 238";
    }
    const std::u16string probe = Within(fullPath, kProbeName);
    const platform::OwnFile file(platform::OpenFile(
        probe.c_str(), platform::kGenericWrite, 0, false, platform::kCreateAlways,
        platform::kFileAttributeTemporary | platform::kFileFlagDeleteOnClose));
    if (!file.valid()) {
        return "cannot write in the work dir " + Utf8(fullPath) + ": " +
               ErrorText(platform::LastError());
    }
    return "";
}

// Why a program beside this one is missing, or empty.
std::string CheckBeside(const std::u16string& path) {
    std::uint32_t attributes = 0;
    if (platform::QueryFileAttributes(path.c_str(), &attributes) == 0 ||
        (attributes & platform::kFileAttributeDirectory) != 0) {
        return Utf8(path) + " is missing: keep it beside ssdprep-deploy.exe";
    }
    return "";
}

// An earlier run's traces: each logged, true when there is any.
bool FindEvidence(const Log& log, const Paths& paths) {
    bool found = false;
    for (const std::u16string_view name :
         {std::u16string_view(kStateName), kDeleteScriptName, kCreateScriptName}) {
        const std::u16string path = Within(paths.workDir, name);
        std::uint32_t attributes = 0;
        platform::LocalTime written{};
        if (platform::QueryLastWrite(path.c_str(), &attributes, &written) != 0) {
            Say(log, std::string("evidence of an earlier run: ") +
                         ((attributes & platform::kFileAttributeDirectory) != 0 ? "the folder "
                                                                                : "the file ") +
                         Utf8(path) + ", last written " + Stamp(written));
            found = true;
        }
    }
    const std::uint32_t letters = platform::LogicalDrives();
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        const std::u16string root = {letter, u':', u'\\'};
        std::array<char16_t, platform::kMaxPath + 1> label{};
        if ((letters & (1u << (letter - u'A'))) != 0 &&
            platform::QueryVolumeInformation(root.c_str(), label.data(),
                                             static_cast<std::uint32_t>(label.size())) != 0 &&
            std::u16string_view(label.data()) == kNewPartitionLabel) {
            Say(log, "evidence of an earlier run: drive " + Utf8(root.substr(0, 2)) +
                         " is labelled TEMP_PART01");
            found = true;
        }
    }
    if (found) {
        Say(log,
            "ssdprep.exe is not started again; only ssdprep-inspect.exe --after runs. To "
            "run again, see \"Repairing and running again\" in the operator's guide");
    }
    return found;
}

std::string OptionsText(const Settings& settings) {
    return std::string(settings.options.declineStops ? " --decline-stops" : "") +
           (settings.options.createWithoutHibernation ? " --create-without-hibernation" : "") +
           " --timeout " + Decimal(settings.timeoutSeconds);
}

// Steps 2 to 7, once the log is open.
Next Deploy(const Log& log, const Settings& settings, const Paths& paths) {
    for (const std::string& problem :
         {CheckWorkDir(paths.workDir), CheckBeside(paths.tool), CheckBeside(paths.report)}) {
        if (!problem.empty()) {
            return Next{Step::Finish, kStop, problem};
        }
    }
    int member = 0;
    if (platform::CheckAdministratorsMembership(&member) == 0 || member == 0) {
        return Next{Step::Finish, kStop,
                    "not run with administrator rights (an elevated prompt, the built-in "
                    "Administrator or SYSTEM): ssdprep.exe could not read the drives"};
    }
    std::string started;
    Facts facts;
    facts.evidence = FindEvidence(log, paths);
    std::uint32_t toolEnded = 0;
    const auto after = [&](Facts& f) {
        Say(log, "ssdprep-inspect.exe --after: did ssdprep.exe leave drive 0 as intended?");
        f.after.push_back(RunChild(log, paths, paths.report, u" --after", kReportMilliseconds));
        f.sinceToolEnded = f.tool ? platform::TickCount() - toolEnded : 0;
        Say(log, "ssdprep-inspect.exe --after " + Describe(f.after.back()));
    };
    Next next = RunSteps(settings.options, facts, [&](Step step, Facts& f) {
        switch (step) {
            case Step::Report:
                Say(log, "ssdprep-inspect.exe: what would ssdprep.exe do here?");
                f.report = RunChild(log, paths, paths.report, u"", kReportMilliseconds);
                Say(log, "ssdprep-inspect.exe " + Describe(*f.report));
                break;
            case Step::WriteState: {
                started = "started " + Stamp(platform::CurrentLocalTime()) + "\r\n";
                const std::string failure = WriteState(paths, started);
                f.stateWritten = failure.empty();
                Say(log, failure.empty() ? "wrote " + Utf8(paths.state) + ": started" : failure);
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
                after(f);
                break;
            case Step::After:
                after(f);
                break;
            case Step::Finish:
                break;
        }
    });
    if (facts.stateWritten.value_or(false)) {
        const std::string state = next.exitCode == kGoOn ? "done" : "failed";
        const std::string failure =
            WriteState(paths, started + state + " " + Stamp(platform::CurrentLocalTime()) + "\r\n");
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
            WriteAll(platform::StandardError(),
                     "ssdprep-deploy: " + parsed.error + "\n" + std::string(kUsage));
            return kStop;
        case Arguments::Kind::Run:
            break;
    }
    AddCriticalErrorFlags();
    std::u16string program = QueryModulePath();
    // A path the loader gave as \\?\C:\... is the local C:\...
    if (program.rfind(u"\\\\?\\", 0) == 0 && program.size() > 6 && program[5] == u':') {
        program.erase(0, 4);
    }
    const std::u16string programDir = program.substr(0, program.find_last_of(u'\\') + 1);
    Paths paths;
    const std::u16string& given = parsed.settings.workDir;
    paths.workDir = given.empty() ? programDir : given;
    std::array<char16_t, 1024> full{};
    const std::uint32_t length = platform::GetFullPath(
        paths.workDir.c_str(), static_cast<std::uint32_t>(full.size()), full.data());
    if (length != 0 && length < full.size()) {
        paths.workDir.assign(full.data(), length);
    }
    while (paths.workDir.size() > 3 && paths.workDir.back() == u'\\') {
        paths.workDir.pop_back();
    }
    const std::u16string logPath = Within(paths.workDir, kLogName);
    // Shared for reading only: a second copy running at the same time cannot
    // open it, and stops there.
    const Log log{platform::OwnFile(
        platform::OpenFile(logPath.c_str(), platform::kFileAppendData, platform::kFileShareRead,
                           true, platform::kOpenAlways, platform::kFileAttributeNormal))};
    if (!log.file.valid()) {
        WriteAll(platform::StandardError(), "ssdprep-deploy: cannot open the log " + Utf8(logPath) +
                                                ": " + ErrorText(platform::LastError()) + "\n");
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

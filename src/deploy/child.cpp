#include "deploy/child.h"

#include "common/text.h"
#include "platform/deploy.h"

namespace ssdprep::deploy {
namespace {

constexpr std::uint32_t kEndWaitMilliseconds = 10 * 1000;

}  // namespace

// No STARTF_USESHOWWINDOW: CREATE_NO_WINDOW hides the console, and a window
// the child shows keeps its own show state instead of SW_HIDE's.
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

}  // namespace ssdprep::deploy

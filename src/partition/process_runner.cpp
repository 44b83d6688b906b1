#include "partition/process_runner.h"

#include "platform/changes.h"

namespace ssdprep {

int RunProcessAndWait(const std::u16string& applicationName, const std::u16string& commandLine,
                      std::uint32_t timeoutMilliseconds) {
    // CreateProcessW may write into its command line: hand it a copy.
    const platform::UniqueSysString writable(platform::AllocateSysString(
        commandLine.c_str(), static_cast<std::uint32_t>(commandLine.size())));
    if (!writable.valid()) {
        return 0;
    }
    const platform::StartParameters parameters{platform::kStartfUseShowWindow, platform::kSwHide, 0,
                                               0};
    platform::StartedProcess started{nullptr, nullptr};
    if (platform::StartProcess(applicationName.c_str(), writable.get(), parameters, &started) ==
        0) {
        return 0;
    }
    platform::UniqueKernelObject process(started.process);
    platform::UniqueKernelObject thread(started.thread);
    const std::uint32_t waited = platform::WaitForObject(process.get(), timeoutMilliseconds);
    process.reset();
    thread.reset();
    // Only a wait that saw the program end counts: after a failed one the
    // next script could be run while this one still is.
    return waited == platform::kWaitObject0 ? 1 : 0;
}

int RunDiskpartScript(const std::u16string& scriptPath) {
    const std::optional<std::u16string> diskpart = DiskpartApplicationPath();
    if (!diskpart) {
        return 0;
    }
    return RunProcessAndWait(*diskpart, ComposeDiskpartCommandLine(scriptPath),
                             platform::kInfinite);
}

}  // namespace ssdprep

#include "partition/process_runner.h"

#include "platform/changes.h"

namespace ssdprep {

int RunProcessAndWait(const std::u16string& applicationName, const std::u16string& commandLine,
                      std::uint32_t timeoutMilliseconds, bool* started) {
    // CreateProcessW may write into its command line: hand it a copy.
    const platform::UniqueSysString writable(platform::AllocateSysString(
        commandLine.c_str(), static_cast<std::uint32_t>(commandLine.size())));
    if (!writable.valid()) {
        return 0;
    }
    const platform::StartParameters parameters{platform::kStartfUseShowWindow, platform::kSwHide, 0,
                                               0};
    platform::StartedProcess child{nullptr, nullptr};
    if (platform::StartProcess(applicationName.c_str(), writable.get(), parameters, &child) == 0) {
        return 0;
    }
    if (started != nullptr) {
        *started = true;
    }
    platform::UniqueKernelObject process(child.process);
    platform::UniqueKernelObject thread(child.thread);
    const std::uint32_t waited = platform::WaitForObject(process.get(), timeoutMilliseconds);
    process.reset();
    thread.reset();
    // Only a wait that saw the program end counts: after a failed one the
    // next script could be run while this one still is.
    return waited == platform::kWaitObject0 ? 1 : 0;
}

int RunDiskpartScript(const std::u16string& scriptPath, bool* started) {
    const std::optional<std::u16string> diskpart = DiskpartApplicationPath();
    if (!diskpart) {
        return 0;
    }
    return RunProcessAndWait(*diskpart, ComposeDiskpartCommandLine(scriptPath), platform::kInfinite,
                             started);
}

}  // namespace ssdprep

// The fake machine's side of platform/deploy.h: files with their sharing,
// attributes and times, inheritable handles, children that end, hang, crash
// or cannot start, the registry record, drive types and the clock.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "fake/fake_internal.h"
#include "platform/deploy.h"

namespace fake {
namespace {

const platform::Handle kStdout = reinterpret_cast<platform::Handle>(std::uintptr_t{0x10});
const platform::Handle kStderr = reinterpret_cast<platform::Handle>(std::uintptr_t{0x20});
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;

platform::LocalTime TimeAt(std::uint32_t clock) {
    const std::uint32_t seconds = 16 * 3600 + 42 * 60 + 15 + clock / 1000;
    return platform::LocalTime{2026,
                               12,
                               7,
                               static_cast<std::uint16_t>(seconds / 3600 % 24),
                               static_cast<std::uint16_t>(seconds / 60 % 60),
                               static_cast<std::uint16_t>(seconds % 60)};
}

}  // namespace
}  // namespace fake

namespace platform {

using fake::Call;
using fake::Current;

Handle OpenFile(const char16_t* path, std::uint32_t access, std::uint32_t share, bool inheritable,
                std::uint32_t disposition, std::uint32_t flags) {
    const bool injected = Call("OpenFile");
    return fake::OpenFakeFile(injected,
                              {fake::Text(path), access, share, disposition, flags, inheritable});
}

int WriteHandle(Handle handle, const void* data, std::uint32_t size, std::uint32_t* written) {
    fake::Machine& m = Current();
    if (handle == fake::kStdout || handle == fake::kStderr) {
        (handle == fake::kStdout ? m.stdoutText : m.stderrText)
            .append(static_cast<const char*>(data), size);
        *written = size;
        return 1;
    }
    if (m.openFiles.count(handle) != 0) {
        m.writeTimes[m.filePaths.at(handle)] = m.clock;
    }
    return WriteToFile(handle, data, size, written);
}

// From the file's start: the programs read a file whole, in one call.
int ReadHandle(Handle handle, void* data, std::uint32_t size, std::uint32_t* read) {
    fake::Machine& m = Current();
    *read = 0;
    if (Call("ReadFile") || m.openFiles.count(handle) == 0) {
        m.lastError = kErrorAccessDenied;
        return 0;
    }
    const auto& content = m.files[m.filePaths.at(handle)];
    *read = static_cast<std::uint32_t>(std::min<std::size_t>(size, content.size()));
    std::copy_n(content.begin(), *read, static_cast<std::uint8_t*>(data));
    return 1;
}

// Refused where a write would be (a read-only folder, a file held open
// elsewhere, which a delete counts among the opens before it is held) and
// for a folder of that name.
int DeletePath(const char16_t* path) {
    constexpr std::uint32_t kErrorSharingViolation = 32;
    fake::Machine& m = Current();
    const std::u16string key = fake::FileKey(fake::Text(path));
    const bool injected = Call("DeleteFile");
    if (m.opensLeft.count(key) != 0 && m.opensLeft[key]-- == 0) {
        m.lockedFiles.insert(key);
    }
    if (!fake::Exists(key)) {
        m.lastError = kErrorFileNotFound;
    } else if (m.lockedFiles.count(key) != 0) {
        m.lastError = kErrorSharingViolation;
    } else if (injected || m.readOnlyFolders.count(key.substr(0, key.find_last_of(u'\\'))) != 0 ||
               (fake::Attributes(key) & kFileAttributeDirectory) != 0) {
        m.lastError = kErrorAccessDenied;
    } else {
        m.files.erase(key);
        std::erase_if(m.existingPaths,
                      [&](const std::u16string& p) { return fake::FileKey(p) == key; });
        return 1;
    }
    return 0;
}

int FlushHandle(Handle handle) {
    Call("FlushFileBuffers");
    if (Current().flushFails || Current().openFiles.count(handle) == 0) {
        Current().lastError = kErrorAccessDenied;
        return 0;
    }
    return 1;
}

int CloseOwnHandle(Handle handle) {
    fake::Machine& m = Current();
    if (m.deleteOnClose.erase(handle) != 0) {
        m.files.erase(m.filePaths.at(handle));
    }
    m.inheritableFiles.erase(handle);
    return CloseHandle(handle);
}

Handle StandardOutput() { return fake::kStdout; }
Handle StandardError() { return fake::kStderr; }

int StartChild(const char16_t* application, char16_t* commandLine, std::uint32_t flags,
               std::uint32_t startupFlags, const char16_t* directory, Handle output,
               ChildProcess* child) {
    fake::Machine& m = Current();
    Call("CreateProcess");
    *child = ChildProcess{nullptr, nullptr};
    const std::u16string app = fake::Text(application);
    const std::u16string line = fake::Text(commandLine);
    // "C:\path\name.exe" arguments: the key is name.exe and the arguments.
    const std::u16string key =
        app.substr(app.find_last_of(u'\\') + 1) + line.substr(app.size() + 2);
    if (m.childStarts.size() == m.childStartLimit) {
        throw std::runtime_error("more programs started than the fake allows: a loop?");
    }
    m.childStarts.push_back(
        {key, fake::Text(directory), flags, startupFlags, m.errorMode, true, {}});
    const auto script = m.programs.find(key);
    const std::size_t taken = static_cast<std::size_t>(
        std::count_if(m.childStarts.begin(), m.childStarts.end() - 1,
                      [&](const fake::ChildStart& s) { return s.key == key; }));
    if (script == m.programs.end() || script->second.empty() ||
        script->second[std::min(taken, script->second.size() - 1)].end ==
            fake::Child::End::CannotStart) {
        m.childStarts.back().running = false;
        m.lastError = kErrorFileNotFound;
        return 0;
    }
    const fake::Child run = script->second[std::min(taken, script->second.size() - 1)];
    // A handle that is not inheritable is no handle in the child: its output is lost.
    if (m.inheritableFiles.count(output) != 0) {
        auto& log = m.files[m.filePaths.at(output)];
        log.insert(log.end(), run.output.begin(), run.output.end());
    }
    child->process = fake::NewHandle();
    child->thread = fake::NewHandle();
    m.openProcessHandles.insert(child->process);
    m.openProcessHandles.insert(child->thread);
    m.children[child->process] = {m.childStarts.size() - 1, run};
    return 1;
}

std::uint32_t WaitForHandle(Handle handle, std::uint32_t milliseconds) {
    fake::Machine& m = Current();
    Call("WaitForSingleObject");
    const auto found = m.children.find(handle);
    if (found == m.children.end() || m.openProcessHandles.count(handle) == 0) {
        return fake::kWaitFailed;
    }
    fake::ChildStart& start = m.childStarts[found->second.first];
    const fake::Child& run = found->second.second;
    start.waits.push_back(milliseconds);
    if (!start.running) {
        return kWaitObject0;
    }
    if (run.end == fake::Child::End::Exits && run.milliseconds <= milliseconds) {
        m.clock += run.milliseconds;
        start.running = false;
        return kWaitObject0;
    }
    m.clock += milliseconds;
    return kWaitTimeoutResult;
}

int ProcessExitCode(Handle process, std::uint32_t* code) {
    const auto found = Current().children.find(process);
    *code = found != Current().children.end() ? found->second.second.exitCode : 0;
    return found != Current().children.end() ? 1 : 0;
}

int EndProcess(Handle process, std::uint32_t code) {
    fake::Machine& m = Current();
    Call("TerminateProcess");
    const auto found = m.children.find(process);
    if (found == m.children.end()) {
        return 0;
    }
    m.childStarts[found->second.first].running = false;
    found->second.second.exitCode = code;
    return 1;
}

int CheckAdministratorsMembership(int* member) {
    Call("CheckTokenMembership");
    *member = Current().administrator ? 1 : 0;
    return 1;
}

LocalTime CurrentLocalTime() { return fake::TimeAt(Current().clock); }

int QueryLastWrite(const char16_t* path, std::uint32_t* attributes, LocalTime* written) {
    const fake::Machine& m = Current();
    const std::u16string key = fake::FileKey(fake::Text(path));
    if (Call("QueryLastWrite") || !fake::Exists(key)) {
        return 0;
    }
    *attributes = fake::Attributes(key);
    *written = fake::TimeAt(m.writeTimes.count(key) != 0 ? m.writeTimes.at(key) : 0);
    return 1;
}

std::uint32_t TickCount() { return Current().clock; }

int GetVolumePath(const char16_t* path, char16_t* buffer, std::uint32_t size) {
    Call("GetVolumePathName");
    std::u16string full = fake::Upper(fake::FullPath(fake::Text(path)));
    full += full.back() == u'\\' ? u"" : u"\\";
    std::u16string volume = full.substr(0, 3);
    for (const std::u16string& mount : Current().mountPoints) {
        if (full.rfind(mount, 0) == 0 && mount.size() > volume.size()) {
            volume = mount;
        }
    }
    return fake::CopyOut(volume, buffer, size) < size ? 1 : 0;
}

std::uint32_t GetTempDir(std::uint32_t size, char16_t* buffer) {
    Call("GetTempPath");
    return fake::CopyOut(Current().tempDirectory, buffer, size);
}

std::uint32_t SystemMessage(std::uint32_t error, char16_t* buffer, std::uint32_t size) {
    const std::u16string text = error == kErrorAccessDenied ? u"Access is denied.\r\n" : u"";
    return text.empty() ? 0 : fake::CopyOut(text, buffer, size);
}

std::int32_t CreateLocalMachineKey(const char16_t* subKey, std::uint32_t access, Handle* key) {
    fake::Machine& m = Current();
    *key = nullptr;
    m.keyOpens.emplace_back(fake::Text(subKey), access);
    if (Call("RegCreateKeyEx") || m.registryWriteFails) {
        return kErrorAccessDenied;
    }
    m.registry[fake::Text(subKey)];
    *key = fake::NewHandle();
    m.openKeys.insert(*key);
    m.filePaths[*key] = fake::Text(subKey);
    return kErrorSuccess;
}

std::int32_t SetRegistryValue(Handle key, const char16_t* name, std::uint32_t type,
                              const void* data, std::uint32_t size) {
    fake::Machine& m = Current();
    if (Call("RegSetValueEx") || m.openKeys.count(key) == 0) {
        return kErrorAccessDenied;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m.registry[m.filePaths.at(key)][fake::Text(name)].assign(bytes, bytes + size);
    m.registryTypes[m.filePaths.at(key)][fake::Text(name)] = type;
    return kErrorSuccess;
}

std::int32_t DeleteLocalMachineKey(const char16_t* subKey, std::uint32_t view) {
    fake::Machine& m = Current();
    m.keyOpens.emplace_back(fake::Text(subKey), view);
    if (Call("RegDeleteKeyEx") ||
        (m.registry.count(fake::Text(subKey)) != 0 && m.registryWriteFails)) {
        return kErrorAccessDenied;
    }
    return m.registry.erase(fake::Text(subKey)) != 0 ? kErrorSuccess : kErrorFileNotFound;
}

std::int32_t FlushRegistryKey(Handle key) {
    fake::Machine& m = Current();
    if (Call("RegFlushKey") || m.openKeys.count(key) == 0) {
        return kErrorAccessDenied;
    }
    return kErrorSuccess;
}

}  // namespace platform

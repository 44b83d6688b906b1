// The Win32 layer for the calls that change the machine: files, the message
// box and the partitioning tool's process. The read-only report does not link
// this unit, so it holds no user32 or oleaut32 name and imports none of these.
#include <windows.h>
// After windows.h, which it builds on.
#include <oleauto.h>

#include "platform/changes.h"
#include "platform/win32_common.h"

static_assert(platform::kCreateAlways == CREATE_ALWAYS);
static_assert(platform::kInfinite == INFINITE);
static_assert(platform::kWaitObject0 == WAIT_OBJECT_0);
static_assert(platform::kStartfUseShowWindow == STARTF_USESHOWWINDOW);
static_assert(platform::kSwHide == SW_HIDE);
static_assert(platform::kMbOk == MB_OK);
static_assert(platform::kMbIconExclamation == MB_ICONEXCLAMATION);
static_assert(sizeof(STARTUPINFOW) == 104);

namespace {

using platform::win32::SystemLibrary;
using platform::win32::Wide;

SystemLibrary& User32() {
    static SystemLibrary library(L"user32.dll");
    return library;
}
SystemLibrary& OleAut32() {
    static SystemLibrary library(L"oleaut32.dll");
    return library;
}

}  // namespace

namespace platform {

Handle CreateFileHandle(const char16_t* path, std::uint32_t access, std::uint32_t share,
                        std::uint32_t disposition, std::uint32_t flags) {
    return ::CreateFileW(Wide(path), access, share, nullptr, disposition, flags, nullptr);
}

int WriteToFile(Handle file, const void* data, std::uint32_t size, std::uint32_t* written) {
    DWORD count = 0;
    const BOOL ok = ::WriteFile(file, data, size, &count, nullptr);
    *written = count;
    return ok;
}

int CloseHandle(Handle handle) { return ::CloseHandle(handle); }

int ShowMessageBox(const char16_t* text, const char16_t* caption, std::uint32_t type) {
    auto* show = User32().Find<decltype(::MessageBoxW)>("MessageBoxW");
    return show != nullptr ? show(nullptr, Wide(text), Wide(caption), type) : 0;
}

char16_t* AllocateSysString(const char16_t* text, std::uint32_t length) {
    auto* allocate = OleAut32().Find<decltype(::SysAllocStringLen)>("SysAllocStringLen");
    return allocate != nullptr ? reinterpret_cast<char16_t*>(allocate(Wide(text), length))
                               : nullptr;
}

void FreeSysString(char16_t* text) {
    // Only ever given what AllocateSysString obtained, so oleaut32 is loaded.
    auto* release = OleAut32().Find<decltype(::SysFreeString)>("SysFreeString");
    if (release != nullptr) {
        release(Wide(text));
    }
}

int StartProcess(const char16_t* applicationName, char16_t* commandLine,
                 const StartParameters& parameters, StartedProcess* started) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = parameters.startupFlags;
    startup.wShowWindow = parameters.showWindow;
    PROCESS_INFORMATION info{};
    const BOOL ok = ::CreateProcessW(Wide(applicationName), Wide(commandLine), nullptr, nullptr,
                                     parameters.inheritHandles, parameters.creationFlags, nullptr,
                                     nullptr, &startup, &info);
    started->process = info.hProcess;
    started->thread = info.hThread;
    return ok;
}

std::uint32_t WaitForObject(Handle handle, std::uint32_t milliseconds) {
    return ::WaitForSingleObject(handle, milliseconds);
}

}  // namespace platform

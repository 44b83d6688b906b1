// The Win32 layer of ssdprep-deploy.exe's own calls: files, the programs it
// starts, the administrator check and the clock. Thin calls, raw results.
#include <windows.h>

#include "platform/deploy.h"
#include "platform/win32_common.h"

static_assert(platform::kFileAppendData == FILE_APPEND_DATA);
static_assert(platform::kOpenAlways == OPEN_ALWAYS);
static_assert(platform::kFileAttributeTemporary == FILE_ATTRIBUTE_TEMPORARY);
static_assert(platform::kFileFlagDeleteOnClose == FILE_FLAG_DELETE_ON_CLOSE);
static_assert(platform::kCreateNoWindow == CREATE_NO_WINDOW);
static_assert(platform::kWaitTimeoutResult == WAIT_TIMEOUT);
static_assert(platform::kStartfUseStdHandles == STARTF_USESTDHANDLES);
static_assert(platform::kKeyQueryValue == KEY_QUERY_VALUE);
static_assert(platform::kKeySetValue == KEY_SET_VALUE);
static_assert(platform::kErrorFileExists == ERROR_FILE_EXISTS);

namespace {

using platform::win32::Wide;

platform::LocalTime FromSystemTime(const SYSTEMTIME& time) {
    return platform::LocalTime{time.wYear, time.wMonth,  time.wDay,
                               time.wHour, time.wMinute, time.wSecond};
}

}  // namespace

namespace platform {

Handle OpenFile(const char16_t* path, std::uint32_t access, std::uint32_t share, bool inheritable,
                std::uint32_t disposition, std::uint32_t flags) {
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof(security);
    security.bInheritHandle = inheritable ? TRUE : FALSE;
    return ::CreateFileW(Wide(path), access, share, &security, disposition, flags, nullptr);
}

int WriteHandle(Handle handle, const void* data, std::uint32_t size, std::uint32_t* written) {
    DWORD count = 0;
    const BOOL ok = ::WriteFile(handle, data, size, &count, nullptr);
    *written = count;
    return ok;
}

int ReadHandle(Handle handle, void* data, std::uint32_t size, std::uint32_t* read) {
    DWORD count = 0;
    const BOOL ok = ::ReadFile(handle, data, size, &count, nullptr);
    *read = count;
    return ok;
}

int DeletePath(const char16_t* path) { return ::DeleteFileW(Wide(path)); }

int FlushHandle(Handle handle) { return ::FlushFileBuffers(handle); }

int CloseOwnHandle(Handle handle) { return ::CloseHandle(handle); }

Handle StandardOutput() { return ::GetStdHandle(STD_OUTPUT_HANDLE); }

Handle StandardError() { return ::GetStdHandle(STD_ERROR_HANDLE); }

int StartChild(const char16_t* application, char16_t* commandLine, std::uint32_t flags,
               std::uint32_t startupFlags, const char16_t* directory, Handle output,
               ChildProcess* child) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = startupFlags;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info{};
    const BOOL ok = ::CreateProcessW(Wide(application), Wide(commandLine), nullptr, nullptr, TRUE,
                                     flags, nullptr, Wide(directory), &startup, &info);
    child->process = info.hProcess;
    child->thread = info.hThread;
    return ok;
}

std::uint32_t WaitForHandle(Handle handle, std::uint32_t milliseconds) {
    return ::WaitForSingleObject(handle, milliseconds);
}

int ProcessExitCode(Handle process, std::uint32_t* code) {
    DWORD exitCode = 0;
    const BOOL ok = ::GetExitCodeProcess(process, &exitCode);
    *code = exitCode;
    return ok;
}

int EndProcess(Handle process, std::uint32_t code) { return ::TerminateProcess(process, code); }

int CheckAdministratorsMembership(int* member) {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    *member = 0;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
        return FALSE;
    }
    BOOL isMember = FALSE;
    const BOOL ok = ::CheckTokenMembership(nullptr, administrators, &isMember);
    ::FreeSid(administrators);
    *member = ok && isMember ? 1 : 0;
    return ok;
}

LocalTime CurrentLocalTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return FromSystemTime(now);
}

int QueryLastWrite(const char16_t* path, std::uint32_t* attributes, LocalTime* written) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    const BOOL ok = ::GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data) &&
                    ::FileTimeToSystemTime(&data.ftLastWriteTime, &universal) &&
                    ::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local);
    *attributes = data.dwFileAttributes;
    *written = FromSystemTime(local);
    return ok;
}

std::uint32_t TickCount() { return ::GetTickCount(); }

int GetVolumePath(const char16_t* path, char16_t* buffer, std::uint32_t size) {
    return ::GetVolumePathNameW(Wide(path), Wide(buffer), size);
}

std::uint32_t GetTempDir(std::uint32_t size, char16_t* buffer) {
    return ::GetTempPathW(size, Wide(buffer));
}

std::int32_t CreateLocalMachineKey(const char16_t* subKey, std::uint32_t access, Handle* key) {
    HKEY created = nullptr;
    const LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(subKey), 0, nullptr, 0,
                                             access, nullptr, &created, nullptr);
    *key = created;
    return status;
}

std::int32_t SetRegistryValue(Handle key, const char16_t* name, std::uint32_t type,
                              const void* data, std::uint32_t size) {
    return ::RegSetValueExW(static_cast<HKEY>(key), Wide(name), 0, type,
                            static_cast<const BYTE*>(data), size);
}

std::int32_t FlushRegistryKey(Handle key) { return ::RegFlushKey(static_cast<HKEY>(key)); }

std::int32_t DeleteLocalMachineKey(const char16_t* subKey, std::uint32_t view) {
    return ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Wide(subKey), view, 0);
}

std::uint32_t SystemMessage(std::uint32_t error, char16_t* buffer, std::uint32_t size) {
    return ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            error, 0, Wide(buffer), size, nullptr);
}

}  // namespace platform

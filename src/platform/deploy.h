// The calls ssdprep-deploy.exe makes beyond the reading ones in platform.h:
// its log, state file and registry record, the programs it starts and waits
// for, the administrator check, drive types and the clock. Their Win32 unit
// (win32_deploy.cpp) names neither user32 nor oleaut32, so the program loads
// neither.
#pragma once

#include <cstdint>

#include "platform/unique.h"

namespace platform {

inline constexpr std::uint32_t kFileAppendData = 0x00000004u;
inline constexpr std::uint32_t kOpenAlways = 4u;
inline constexpr std::uint32_t kFileAttributeTemporary = 0x00000100u;
inline constexpr std::uint32_t kFileFlagDeleteOnClose = 0x04000000u;
inline constexpr std::uint32_t kCreateNoWindow = 0x08000000u;
inline constexpr std::uint32_t kWaitTimeoutResult = 0x00000102u;
inline constexpr std::uint32_t kStartfUseStdHandles = 0x00000100u;
inline constexpr std::uint32_t kKeyQueryValue = 0x0001u;
inline constexpr std::uint32_t kKeySetValue = 0x0002u;
inline constexpr std::uint32_t kErrorFileExists = 80u;

// CreateFileW(path, access, share, security attributes whose bInheritHandle
// is `inheritable`, disposition, flags, NULL).
Handle OpenFile(const char16_t* path, std::uint32_t access, std::uint32_t share, bool inheritable,
                std::uint32_t disposition, std::uint32_t flags);
// WriteFile(handle, data, size, written, NULL).
int WriteHandle(Handle handle, const void* data, std::uint32_t size, std::uint32_t* written);
// ReadFile(handle, data, size, read, NULL).
int ReadHandle(Handle handle, void* data, std::uint32_t size, std::uint32_t* read);
// DeleteFileW(path).
int DeletePath(const char16_t* path);
int FlushHandle(Handle handle);     // FlushFileBuffers
int CloseOwnHandle(Handle handle);  // CloseHandle
// GetStdHandle(STD_OUTPUT_HANDLE) and GetStdHandle(STD_ERROR_HANDLE).
Handle StandardOutput();
Handle StandardError();

struct ChildProcess {
    Handle process;
    Handle thread;
};
// CreateProcessW(application, commandLine, NULL, NULL, TRUE, flags, NULL,
// directory, startup information, process information): inheriting
// handles, with a STARTUPINFOW whose dwFlags are `startupFlags` and whose
// standard output and error are `output`, with no standard input.
int StartChild(const char16_t* application, char16_t* commandLine, std::uint32_t flags,
               std::uint32_t startupFlags, const char16_t* directory, Handle output,
               ChildProcess* child);
std::uint32_t WaitForHandle(Handle handle, std::uint32_t milliseconds);  // WaitForSingleObject
int ProcessExitCode(Handle process, std::uint32_t* code);                // GetExitCodeProcess
int EndProcess(Handle process, std::uint32_t code);                      // TerminateProcess

// CheckTokenMembership(NULL, Administrators, member), the group's SID made
// with AllocateAndInitializeSid and freed with FreeSid: the call's result.
int CheckAdministratorsMembership(int* member);

struct LocalTime {
    std::uint16_t year, month, day, hour, minute, second;
};
LocalTime CurrentLocalTime();  // GetLocalTime
// GetFileAttributesExW, then the last write time in local time
// (FileTimeToSystemTime, SystemTimeToTzSpecificLocalTime).
int QueryLastWrite(const char16_t* path, std::uint32_t* attributes, LocalTime* written);
std::uint32_t TickCount();  // GetTickCount
// GetVolumePathNameW(path, buffer, size).
int GetVolumePath(const char16_t* path, char16_t* buffer, std::uint32_t size);
// GetTempPathW(size, buffer).
std::uint32_t GetTempDir(std::uint32_t size, char16_t* buffer);

// RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, NULL, 0, access, NULL, key,
// NULL): created when missing, opened when there.
std::int32_t CreateLocalMachineKey(const char16_t* subKey, std::uint32_t access, Handle* key);
// RegSetValueExW(key, name, 0, type, data, size).
std::int32_t SetRegistryValue(Handle key, const char16_t* name, std::uint32_t type,
                              const void* data, std::uint32_t size);
std::int32_t FlushRegistryKey(Handle key);  // RegFlushKey
// RegDeleteKeyExW(HKEY_LOCAL_MACHINE, subKey, view, 0): a key without
// subkeys, in the registry view KEY_WOW64_64KEY names.
std::int32_t DeleteLocalMachineKey(const char16_t* subKey, std::uint32_t view);
// FormatMessageW(FROM_SYSTEM | IGNORE_INSERTS, NULL, error, 0, buffer, size,
// NULL): the characters written.
std::uint32_t SystemMessage(std::uint32_t error, char16_t* buffer, std::uint32_t size);

struct OwnFileTraits {
    static Handle Invalid() { return InvalidHandle(); }
    static void Close(Handle h) { CloseOwnHandle(h); }
};
// Process and thread handles are NULL when absent.
struct OwnObjectTraits {
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseOwnHandle(h); }
};
using OwnFile = Unique<Handle, OwnFileTraits>;
using OwnObject = Unique<Handle, OwnObjectTraits>;

}  // namespace platform

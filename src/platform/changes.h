// The calls that change the machine: creating and writing files, starting
// and waiting for programs, and the message box. Kept apart from platform.h
// so that the read-only report cannot link them.
#pragma once

#include <cstdint>

#include "platform/unique.h"

namespace platform {

// --- Files ---------------------------------------------------------------

// CreateFileW(path, access, share, NULL, disposition, flags, NULL).
Handle CreateFileHandle(const char16_t* path, std::uint32_t access, std::uint32_t share,
                        std::uint32_t disposition, std::uint32_t flags);
// WriteFile(file, data, size, written, NULL).
int WriteToFile(Handle file, const void* data, std::uint32_t size, std::uint32_t* written);
int CloseHandle(Handle handle);  // CloseHandle for files, processes and threads

// --- User interface --------------------------------------------------------

// MessageBoxW(NULL, text, caption, type).
int ShowMessageBox(const char16_t* text, const char16_t* caption, std::uint32_t type);

// --- Processes -----------------------------------------------------------

char16_t* AllocateSysString(const char16_t* text, std::uint32_t length);  // SysAllocStringLen
void FreeSysString(char16_t* text);                                       // SysFreeString

struct StartParameters {
    std::uint32_t startupFlags;   // STARTUPINFOW.dwFlags
    std::uint16_t showWindow;     // STARTUPINFOW.wShowWindow
    int inheritHandles;           // bInheritHandles
    std::uint32_t creationFlags;  // dwCreationFlags
};
struct StartedProcess {
    Handle process;
    Handle thread;
};
// CreateProcessW(applicationName, commandLine, NULL, NULL, inheritHandles,
// creationFlags, NULL, NULL, startup info, process information), with a
// zeroed STARTUPINFOW whose size, flags and show state are set; the result is
// the call's return value, and `started` holds the handles it filled in.
int StartProcess(const char16_t* applicationName, char16_t* commandLine,
                 const StartParameters& parameters, StartedProcess* started);
std::uint32_t WaitForObject(Handle handle, std::uint32_t milliseconds);  // WaitForSingleObject

// --- Owners of what these calls hand out -----------------------------------

struct FileTraits {
    static Handle Invalid() { return InvalidHandle(); }
    static void Close(Handle h) { CloseHandle(h); }
};
// Process and thread handles are NULL when absent, not INVALID_HANDLE_VALUE.
struct KernelObjectTraits {
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct SysStringTraits {
    static char16_t* Invalid() { return nullptr; }
    static void Close(char16_t* s) { FreeSysString(s); }
};

using UniqueFile = Unique<Handle, FileTraits>;
using UniqueKernelObject = Unique<Handle, KernelObjectTraits>;
using UniqueSysString = Unique<char16_t*, SysStringTraits>;

}  // namespace platform

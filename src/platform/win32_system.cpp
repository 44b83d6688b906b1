// The Win32 layer for everything but physical-drive I/O: thin calls, raw
// results, no decisions.
#include <windows.h>
// After windows.h, which they build on.
#include <oleauto.h>
#include <shlwapi.h>

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is passed to the wide API as is");

static_assert(platform::kGenericRead == GENERIC_READ);
static_assert(platform::kGenericWrite == GENERIC_WRITE);
static_assert(platform::kGenericAll == GENERIC_ALL);
static_assert(platform::kFileShareRead == FILE_SHARE_READ);
static_assert(platform::kFileShareWrite == FILE_SHARE_WRITE);
static_assert(platform::kCreateAlways == CREATE_ALWAYS);
static_assert(platform::kOpenExisting == OPEN_EXISTING);
static_assert(platform::kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(platform::kSemFailCriticalErrors == SEM_FAILCRITICALERRORS);
static_assert(platform::kSemNoOpenFileErrorBox == SEM_NOOPENFILEERRORBOX);
static_assert(platform::kErrorSuccess == ERROR_SUCCESS);
static_assert(platform::kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(platform::kKeyRead == KEY_READ);
static_assert(platform::kGmemZeroInit == GMEM_ZEROINIT);
static_assert(platform::kInfinite == INFINITE);
static_assert(platform::kWaitObject0 == WAIT_OBJECT_0);
static_assert(platform::kStartfUseShowWindow == STARTF_USESHOWWINDOW);
static_assert(platform::kSwHide == SW_HIDE);
static_assert(platform::kMbOk == MB_OK);
static_assert(platform::kMbIconExclamation == MB_ICONEXCLAMATION);
static_assert(platform::kMaxPath == MAX_PATH);

static_assert(sizeof(OSVERSIONINFOW) == 276);
static_assert(offsetof(OSVERSIONINFOW, dwMajorVersion) == 4);
#ifdef _WIN64
static_assert(sizeof(STARTUPINFOW) == 104);
#else
static_assert(sizeof(STARTUPINFOW) == 68);
#endif

namespace {

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

// user32, oleaut32 and shlwapi serve only the partition steps (and the
// presence test of systems before Vista). Imported, they would be loaded on
// every start, declined runs included; this loads one on the first call that
// needs it, which saves a declined run their start-up cost. (All three are
// KnownDLLs, so the system's copy is the one loaded whatever the path.) A
// library or function that cannot be had is that call's failure. Nothing is
// freed: the process ends soon after its last use, which frees it anyway.
class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* fileName) : m_fileName(fileName) {}
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    // The function's address, or null.
    template <typename Function>
    Function* Find(const char* name) {
        if (!m_tried) {
            m_tried = true;
            m_module = Load();
        }
        if (m_module == nullptr) {
            return nullptr;
        }
        // Through the generic function pointer type, to which and from
        // which any other converts.
        return reinterpret_cast<Function*>(
            reinterpret_cast<void (*)()>(::GetProcAddress(m_module, name)));
    }

private:
    HMODULE Load() const {
        wchar_t directory[MAX_PATH];
        const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return nullptr;
        }
        const std::wstring path = std::wstring(directory, length) + L'\\' + m_fileName;
        return ::LoadLibraryW(path.c_str());
    }

    const wchar_t* const m_fileName;
    bool m_tried = false;
    HMODULE m_module = nullptr;
};

SystemLibrary& User32() {
    static SystemLibrary library(L"user32.dll");
    return library;
}
SystemLibrary& OleAut32() {
    static SystemLibrary library(L"oleaut32.dll");
    return library;
}
SystemLibrary& ShlwApi() {
    static SystemLibrary library(L"shlwapi.dll");
    return library;
}

}  // namespace

namespace platform {

std::uint32_t SetProcessErrorMode(std::uint32_t mode) { return ::SetErrorMode(mode); }

Handle GetOwnModuleHandle() { return ::GetModuleHandleW(nullptr); }

const char16_t* GetProcessCommandLine() {
    return reinterpret_cast<const char16_t*>(::GetCommandLineW());
}

std::uint32_t GetOwnModuleFileName(char16_t* buffer, std::uint32_t size) {
    return ::GetModuleFileNameW(nullptr, Wide(buffer), size);
}

void PrintToStdout(const char* text) { std::printf("%s", text); }

void PrintToStderr(const char* text) { std::fprintf(stderr, "%s", text); }

VersionQuery QueryVersion(std::uint32_t structureSize) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = structureSize;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // deprecated, and still what the check needs
#endif
    const BOOL result = ::GetVersionExW(&info);
    return VersionQuery{result, info.dwMajorVersion};
}

std::int32_t OpenLocalMachineKey(const char16_t* subKey, std::uint32_t options,
                                 std::uint32_t access, Handle* key) {
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(subKey), options, access, &opened);
    *key = opened;
    return status;
}

std::int32_t QueryRegistryValue(Handle key, const char16_t* name, std::uint8_t* data,
                                std::uint32_t* byteCount) {
    DWORD count = *byteCount;
    const LSTATUS status =
        ::RegQueryValueExW(static_cast<HKEY>(key), Wide(name), nullptr, nullptr, data, &count);
    *byteCount = count;
    return status;
}

std::int32_t CloseRegistryKey(Handle key) { return ::RegCloseKey(static_cast<HKEY>(key)); }

std::uint32_t GetFullPath(const char16_t* path, std::uint32_t size, char16_t* buffer) {
    return ::GetFullPathNameW(Wide(path), size, Wide(buffer), nullptr);
}

int StripPathToRoot(char16_t* path) {
    auto* strip = ShlwApi().Find<decltype(::PathStripToRootW)>("PathStripToRootW");
    return strip != nullptr ? strip(Wide(path)) : FALSE;
}

int IsUncPath(const char16_t* path) {
    auto* isUnc = ShlwApi().Find<decltype(::PathIsUNCW)>("PathIsUNCW");
    return isUnc != nullptr ? isUnc(Wide(path)) : FALSE;
}

int QueryVolumeInformation(const char16_t* root) {
    return ::GetVolumeInformationW(Wide(root), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0);
}

int QueryFileAttributes(const char16_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return ::GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data);
}

std::uint32_t GetCurrentDir(std::uint32_t size, char16_t* buffer) {
    return ::GetCurrentDirectoryW(size, Wide(buffer));
}

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

std::uint32_t LastError() { return ::GetLastError(); }

void* AllocateGlobal(std::uint32_t flags, std::size_t bytes) { return ::GlobalAlloc(flags, bytes); }

void* FreeGlobal(void* block) { return ::GlobalFree(block); }

void SendDebugString(const char16_t* text) { ::OutputDebugStringW(Wide(text)); }

int ShowMessageBox(const char16_t* text, const char16_t* caption, std::uint32_t type) {
    auto* show = User32().Find<decltype(::MessageBoxW)>("MessageBoxW");
    return show != nullptr ? show(nullptr, Wide(text), Wide(caption), type) : 0;
}

std::uint32_t GetSystemDir(char16_t* buffer, std::uint32_t size) {
    return ::GetSystemDirectoryW(Wide(buffer), size);
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

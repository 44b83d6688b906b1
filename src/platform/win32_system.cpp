// The Win32 layer for the calls that only read the machine, but physical-
// drive I/O and shlwapi's path calls: thin calls, raw results, no decisions.
#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "platform/platform.h"
#include "platform/win32_common.h"

static_assert(platform::kGenericRead == GENERIC_READ);
static_assert(platform::kGenericWrite == GENERIC_WRITE);
static_assert(platform::kGenericAll == GENERIC_ALL);
static_assert(platform::kFileShareRead == FILE_SHARE_READ);
static_assert(platform::kFileShareWrite == FILE_SHARE_WRITE);
static_assert(platform::kOpenExisting == OPEN_EXISTING);
static_assert(platform::kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(platform::kFileAttributeReadOnly == FILE_ATTRIBUTE_READONLY);
static_assert(platform::kFileAttributeHidden == FILE_ATTRIBUTE_HIDDEN);
static_assert(platform::kFileAttributeSystem == FILE_ATTRIBUTE_SYSTEM);
static_assert(platform::kFileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(platform::kFileReadOnlyVolume == FILE_READ_ONLY_VOLUME);
static_assert(platform::kSemFailCriticalErrors == SEM_FAILCRITICALERRORS);
static_assert(platform::kSemNoOpenFileErrorBox == SEM_NOOPENFILEERRORBOX);
static_assert(platform::kSemNoGpFaultErrorBox == SEM_NOGPFAULTERRORBOX);
static_assert(platform::kErrorSuccess == ERROR_SUCCESS);
static_assert(platform::kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(platform::kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(platform::kErrorInvalidFunction == ERROR_INVALID_FUNCTION);
static_assert(platform::kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(platform::kErrorMoreData == ERROR_MORE_DATA);
static_assert(platform::kKeyRead == KEY_READ);
static_assert(platform::kKeyWow64_64Key == KEY_WOW64_64KEY);
static_assert(platform::kRegSz == REG_SZ && platform::kRegDword == REG_DWORD);
static_assert(platform::kGmemZeroInit == GMEM_ZEROINIT);
static_assert(platform::kMaxPath == MAX_PATH);
static_assert(platform::kDriveUnknown == DRIVE_UNKNOWN &&
              platform::kDriveNoRootDir == DRIVE_NO_ROOT_DIR);
static_assert(platform::kDriveRemovable == DRIVE_REMOVABLE && platform::kDriveFixed == DRIVE_FIXED);
static_assert(platform::kDriveRemote == DRIVE_REMOTE && platform::kDriveCdrom == DRIVE_CDROM);
static_assert(platform::kDriveRamdisk == DRIVE_RAMDISK);

static_assert(sizeof(OSVERSIONINFOW) == 276);
static_assert(offsetof(OSVERSIONINFOW, dwMajorVersion) == 4);

namespace {

using platform::win32::Wide;

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
                                std::uint32_t* byteCount, std::uint32_t* type) {
    DWORD count = *byteCount;
    DWORD valueType = 0;
    const LSTATUS status = ::RegQueryValueExW(static_cast<HKEY>(key), Wide(name), nullptr,
                                              type != nullptr ? &valueType : nullptr, data, &count);
    *byteCount = count;
    if (type != nullptr) {
        *type = valueType;
    }
    return status;
}

std::int32_t CloseRegistryKey(Handle key) { return ::RegCloseKey(static_cast<HKEY>(key)); }

std::uint32_t GetFullPath(const char16_t* path, std::uint32_t size, char16_t* buffer) {
    return ::GetFullPathNameW(Wide(path), size, Wide(buffer), nullptr);
}

int QueryVolumeInformation(const char16_t* root, char16_t* label, std::uint32_t labelSize,
                           std::uint32_t* flags, char16_t* fileSystem,
                           std::uint32_t fileSystemSize) {
    DWORD systemFlags = 0;
    const BOOL ok = ::GetVolumeInformationW(Wide(root), Wide(label), labelSize, nullptr, nullptr,
                                            flags != nullptr ? &systemFlags : nullptr,
                                            Wide(fileSystem), fileSystemSize);
    if (flags != nullptr) {
        *flags = systemFlags;
    }
    return ok;
}

int QueryFileAttributes(const char16_t* path, std::uint32_t* attributes) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const BOOL ok = ::GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data);
    if (attributes != nullptr) {
        *attributes = data.dwFileAttributes;
    }
    return ok;
}

std::uint32_t LogicalDrives() { return ::GetLogicalDrives(); }

std::uint32_t DriveType(const char16_t* root) { return ::GetDriveTypeW(Wide(root)); }

std::uint32_t GetCurrentDir(std::uint32_t size, char16_t* buffer) {
    return ::GetCurrentDirectoryW(size, Wide(buffer));
}

std::uint32_t LastError() { return ::GetLastError(); }

void* AllocateGlobal(std::uint32_t flags, std::size_t bytes) { return ::GlobalAlloc(flags, bytes); }

void* FreeGlobal(void* block) { return ::GlobalFree(block); }

void SendDebugString(const char16_t* text) { ::OutputDebugStringW(Wide(text)); }

std::uint32_t GetSystemDir(char16_t* buffer, std::uint32_t size) {
    return ::GetSystemDirectoryW(Wide(buffer), size);
}

}  // namespace platform

// The seam between the tool's logic and Windows.
//
// Every function here does one Win32 call's worth of work with the arguments
// it is given and hands back the raw result; none of them decides anything.
// The product links the Win32 implementation (win32_system.cpp and, for
// physical drives alone, win32_drive.cpp); unit tests link a fake machine.
// This header holds what only reads the machine; the calls that change it
// (write a file, start a program, show a window) are in changes.h, which the
// read-only report never links.
//
// Text crosses the seam as UTF-16 (char16_t), which is what the Windows wide
// functions take; wchar_t is 32 bits wide off Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// An opaque Win32 HANDLE, HKEY, HINSTANCE or HGLOBAL.
using Handle = void*;

// Win32 constants as plain numbers, so that portable code can pass them and
// tests can check them. The Win32 layer asserts each against the SDK.
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kGenericAll = 0x10000000u;
inline constexpr std::uint32_t kFileShareRead = 0x00000001u;
inline constexpr std::uint32_t kFileShareWrite = 0x00000002u;
inline constexpr std::uint32_t kCreateAlways = 2u;
inline constexpr std::uint32_t kOpenExisting = 3u;
inline constexpr std::uint32_t kFileAttributeNormal = 0x00000080u;
inline constexpr std::uint32_t kFileAttributeReadOnly = 0x00000001u;
inline constexpr std::uint32_t kFileAttributeHidden = 0x00000002u;
inline constexpr std::uint32_t kFileAttributeSystem = 0x00000004u;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x00000010u;
inline constexpr std::uint32_t kFileReadOnlyVolume = 0x00080000u;

inline constexpr std::uint32_t kSemFailCriticalErrors = 0x0001u;
inline constexpr std::uint32_t kSemNoOpenFileErrorBox = 0x8000u;
inline constexpr std::uint32_t kSemNoGpFaultErrorBox = 0x0002u;

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidFunction = 1;
inline constexpr std::int32_t kErrorInsufficientBuffer = 122;
inline constexpr std::int32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kKeyRead = 0x00020019u;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100u;
inline constexpr std::uint32_t kRegSz = 1u;
inline constexpr std::uint32_t kRegDword = 4u;

inline constexpr std::uint32_t kGmemZeroInit = 0x0040u;

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kWaitObject0 = 0x00000000u;
inline constexpr std::uint32_t kStartfUseShowWindow = 0x00000001u;
inline constexpr std::uint16_t kSwHide = 0;

inline constexpr std::uint32_t kMbOk = 0x00000000u;
inline constexpr std::uint32_t kMbIconExclamation = 0x00000030u;

// The classic MAX_PATH, the size of most path buffers the tool uses.
inline constexpr std::uint32_t kMaxPath = 260;

// INVALID_HANDLE_VALUE, the failure result of CreateFileW.
inline Handle InvalidHandle() { return reinterpret_cast<Handle>(~std::uintptr_t{0}); }

// --- Process -------------------------------------------------------------

std::uint32_t SetProcessErrorMode(std::uint32_t mode);  // SetErrorMode
Handle GetOwnModuleHandle();                            // GetModuleHandleW(NULL)
const char16_t* GetProcessCommandLine();                // GetCommandLineW
// GetModuleFileNameW(NULL, buffer, size): the characters written.
std::uint32_t GetOwnModuleFileName(char16_t* buffer, std::uint32_t size);
// One formatted print of the text to standard output.
void PrintToStdout(const char* text);
// The same to standard error.
void PrintToStderr(const char* text);

// --- Version and registry ------------------------------------------------

struct VersionQuery {
    int result;                  // GetVersionExW's return value
    std::uint32_t majorVersion;  // dwMajorVersion of the structure afterwards
};
// GetVersionExW on an OSVERSIONINFOW zeroed whole, with the given size set.
VersionQuery QueryVersion(std::uint32_t structureSize);

// RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, options, access, key).
std::int32_t OpenLocalMachineKey(const char16_t* subKey, std::uint32_t options,
                                 std::uint32_t access, Handle* key);
// RegQueryValueExW(key, name, NULL, type, data, byteCount): the value's
// type only where asked for.
std::int32_t QueryRegistryValue(Handle key, const char16_t* name, std::uint8_t* data,
                                std::uint32_t* byteCount, std::uint32_t* type = nullptr);
std::int32_t CloseRegistryKey(Handle key);  // RegCloseKey

// --- File system ---------------------------------------------------------

// GetFullPathNameW(path, size, buffer, NULL).
std::uint32_t GetFullPath(const char16_t* path, std::uint32_t size, char16_t* buffer);
int StripPathToRoot(char16_t* path);  // PathStripToRootW
int IsUncPath(const char16_t* path);  // PathIsUNCW
// The most a volume label or file system name takes, terminator included,
// as GetVolumeInformationW documents it.
inline constexpr std::uint32_t kVolumeNameCapacity = kMaxPath + 1;
// GetVolumeInformationW(root, label, labelSize, NULL, NULL, flags,
// fileSystem, fileSystemSize): the label, the file system flags and the file
// system's name only where asked for.
int QueryVolumeInformation(const char16_t* root, char16_t* label = nullptr,
                           std::uint32_t labelSize = 0, std::uint32_t* flags = nullptr,
                           char16_t* fileSystem = nullptr, std::uint32_t fileSystemSize = 0);
// GetFileAttributesExW(path, GetFileExInfoStandard, ...); of the data, only
// the attributes, and only where asked for.
int QueryFileAttributes(const char16_t* path, std::uint32_t* attributes = nullptr);
// GetLogicalDrives: bit 0 is A:, bit 25 Z:.
std::uint32_t LogicalDrives();
// GetDriveTypeW's answers.
inline constexpr std::uint32_t kDriveUnknown = 0u;
inline constexpr std::uint32_t kDriveNoRootDir = 1u;
inline constexpr std::uint32_t kDriveRemovable = 2u;
inline constexpr std::uint32_t kDriveFixed = 3u;
inline constexpr std::uint32_t kDriveRemote = 4u;
inline constexpr std::uint32_t kDriveCdrom = 5u;
inline constexpr std::uint32_t kDriveRamdisk = 6u;
std::uint32_t DriveType(const char16_t* root);  // GetDriveTypeW
// GetCurrentDirectoryW(size, buffer).
std::uint32_t GetCurrentDir(std::uint32_t size, char16_t* buffer);

// --- Physical drives (their own unit, so a test build can swap it) -------

// CreateFileW(path, access, share, NULL, disposition, flags, NULL).
Handle OpenDrive(const char16_t* path, std::uint32_t access, std::uint32_t share,
                 std::uint32_t disposition, std::uint32_t flags);
// DeviceIoControl(drive, code, in, inSize, out, outSize, returned, NULL).
int DeviceControl(Handle drive, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                  std::uint32_t outSize, std::uint32_t* returned);
int CloseDrive(Handle drive);  // CloseHandle on a drive handle

// GetLastError: why the call just made on this thread failed.
std::uint32_t LastError();

// --- Time ------------------------------------------------------------------

// Sleep. Its own unit, chosen beside the drive unit: the simulated twins
// shorten it.
void Pause(std::uint32_t milliseconds);

// --- Memory --------------------------------------------------------------

void* AllocateGlobal(std::uint32_t flags, std::size_t bytes);  // GlobalAlloc
void* FreeGlobal(void* block);                                 // GlobalFree: NULL on success

// --- Diagnostics ---------------------------------------------------------

void SendDebugString(const char16_t* text);  // OutputDebugStringW

// --- System folder ---------------------------------------------------------

// GetSystemDirectoryW(buffer, size).
std::uint32_t GetSystemDir(char16_t* buffer, std::uint32_t size);

}  // namespace platform

// Test-only physical-drive unit for ssdprep-sim.exe: serves
// \\.\PHYSICALDRIVE<N> from files under %SSDPREP_SIM_DRIVES%\<N> instead of
// real disks, and logs every call to %SSDPREP_SIM_DRIVES%\calls.log so that
// end-to-end tests can check exactly what the tool asked of which drive.
// A program named ssdprep-deploy.exe logs to deploy-calls.log instead, so
// that its own requests stand apart from those of the programs it starts.
//
// Drive folder <N>:
//   deny-rw      opens asking for any access fail
//   deny-all     opens asking for GENERIC_ALL fail
//   storage.bin  reply to IOCTL_STORAGE_QUERY_PROPERTY
//   smart.bin    reply to SMART_RCV_DRIVE_DATA
//   layout.bin   reply to IOCTL_DISK_GET_DRIVE_LAYOUT
//   layout-ex.bin  reply to IOCTL_DISK_GET_DRIVE_LAYOUT_EX
//   geometry.bin reply to IOCTL_DISK_GET_DRIVE_GEOMETRY_EX
//   disk.img     a raw disk image, never written; without layout.bin or
//                layout-ex.bin that layout reply is made from it at every
//                call (see LayoutReply): an MBR image gives its partitions,
//                one with a GPT protective MBR (a slot of type 0xEE) the GPT
//                style with no entries, whose legacy request fails, and one
//                without the 0x55AA signature the RAW style; without
//                geometry.bin the geometry reply gives the image's size
// A reply file's bytes go to the start of the output buffer, cut at its
// length; without the file the call fails and the buffer is left alone.
//
// The volume \\.\X: whose letter FAKE_DISKPART_VOLUME names (the folder the
// stand-in partitioning tool labels, M:\ say) is served too: its extents
// request answers one extent on disk 0, where the stand-in made it (its
// .ssdprep-extent there). Any other volume is Wine's own, as in the shipped
// programs: Wine answers its extents request with no extent. Those calls
// are logged too, under the volume's letter.
#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <string>

#include "mbr_image.h"
#include "platform/platform.h"
#include "read_all.h"
#include "sim_image.h"

namespace {

constexpr std::uint32_t kStorageQueryProperty = 0x002D1400;
constexpr std::uint32_t kSmartReceiveDriveData = 0x0007C088;
constexpr std::uint32_t kDiskGetDriveLayout = 0x0007400C;
static_assert(kDiskGetDriveLayout == IOCTL_DISK_GET_DRIVE_LAYOUT);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry) == 8 &&
              sizeof(PARTITION_INFORMATION) == 32);
constexpr std::uint32_t kDiskGetDriveLayoutEx = 0x00070050;
static_assert(kDiskGetDriveLayoutEx == IOCTL_DISK_GET_DRIVE_LAYOUT_EX);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) == 48 &&
              sizeof(PARTITION_INFORMATION_EX) == 144);

constexpr std::uint32_t kDiskGetDriveGeometryEx = 0x000700A0;
static_assert(kDiskGetDriveGeometryEx == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX);

constexpr wchar_t kDrivePrefix[] = L"\\\\.\\PHYSICALDRIVE";
constexpr std::uint32_t kVolumeGetDiskExtents = 0x00560000;
static_assert(kVolumeGetDiskExtents == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == 8 && sizeof(DISK_EXTENT) == 24);

static_assert(sizeof(void*) == 8, "handle values below are 64-bit");
// Handle values no kernel hands out (Windows and Wine use 32 significant
// bits), so CloseHandle or DeviceIoControl on one fails instead of acting
// on some other object.
constexpr std::uintptr_t kHandleBase = 0x51D0000000000000u;

// Open simulated drives by handle value: the drive number as logged.
std::map<std::uintptr_t, std::string>& OpenDrives() {
    static std::map<std::uintptr_t, std::string> drives;
    return drives;
}
// Wine's own volumes by handle: their letter as logged.
std::map<HANDLE, std::string>& WineVolumes() {
    static std::map<HANDLE, std::string> volumes;
    return volumes;
}
std::uintptr_t g_handlesIssued = 0;

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[1024];
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 1024);
    if (length == 0 || length >= 1024) {
        return std::wstring();
    }
    return std::wstring(buffer, length);
}

std::wstring SimFolder() {
    std::wstring folder = Environment(L"SSDPREP_SIM_DRIVES");
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return folder;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bytes.clear();
    const bool ok = ReadAll(file, bytes);
    ::CloseHandle(file);
    return ok;
}

// One line per call; the log is opened and closed each time so that it is
// complete whenever the tool stops.
void AppendLog(const std::string& line) {
    const std::wstring folder = SimFolder();
    if (folder.empty()) {
        return;
    }
    wchar_t module[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    constexpr wchar_t kDeploy[] = L"\\ssdprep-deploy.exe";
    const std::size_t tail = std::wcslen(kDeploy);
    const bool deploy = length >= tail && ::_wcsicmp(module + length - tail, kDeploy) == 0;
    const HANDLE log = ::CreateFileW(
        (folder + (deploy ? L"\\deploy-calls.log" : L"\\calls.log")).c_str(), FILE_APPEND_DATA,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = line + "\n";
    DWORD written = 0;
    ::WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(log);
}

std::string Hex32(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

std::string HexBytes(const void* data, std::uint32_t size) {
    if (data == nullptr || size == 0) {
        return "-";
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    text.reserve(2 * size);
    for (std::uint32_t i = 0; i < size; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}

// The drive number of a \\.\PHYSICALDRIVE<N> path as decimal text, or empty
// when the path names no physical drive.
std::string DriveNumber(const wchar_t* path) {
    const std::size_t prefixLength = std::wcslen(kDrivePrefix);
    if (path == nullptr || ::_wcsnicmp(path, kDrivePrefix, prefixLength) != 0) {
        return std::string();
    }
    const wchar_t* digits = path + prefixLength;
    if (*digits == L'\0' || std::wcslen(digits) > 9) {
        return std::string();
    }
    unsigned long number = 0;
    for (const wchar_t* c = digits; *c != L'\0'; ++c) {
        if (*c < L'0' || *c > L'9') {
            return std::string();
        }
        number = number * 10 + static_cast<unsigned long>(*c - L'0');
    }
    return std::to_string(number);
}

// "M:" for a volume path \\.\M:, else empty.
std::string VolumeOf(const wchar_t* path) {
    if (path == nullptr || std::wcslen(path) != 6 || std::wcsncmp(path, L"\\\\.\\", 4) != 0 ||
        path[5] != L':' || path[4] > 0x7F) {
        return std::string();
    }
    return std::string(1, static_cast<char>(::towupper(path[4]))) + ":";
}

// The volume's letter when FAKE_DISKPART_VOLUME names its drive, else empty.
std::string StandInVolume(const wchar_t* path) {
    const std::wstring volume = Environment(L"FAKE_DISKPART_VOLUME");
    const std::string letter = VolumeOf(path);
    if (letter.empty() || volume.size() < 2 || volume[1] != L':' ||
        ::towupper(volume[0]) != static_cast<wint_t>(letter[0])) {
        return std::string();
    }
    return letter;
}

// VOLUME_DISK_EXTENTS with one extent, on disk 0, where the stand-in's
// .ssdprep-extent in the volume says it made it; without that file, none.
DWORD VolumeExtents(void* out, std::uint32_t outSize, std::uint32_t* returned) {
    std::string where;
    unsigned long long offset = 0;
    unsigned long long length = 0;
    if (!ReadWholeFile(Environment(L"FAKE_DISKPART_VOLUME").substr(0, 2) + L"\\.ssdprep-extent",
                       where) ||
        std::sscanf(where.c_str(), "%llu %llu", &offset, &length) != 2) {
        return ERROR_FILE_NOT_FOUND;
    }
    VOLUME_DISK_EXTENTS extents{};
    extents.NumberOfDiskExtents = 1;
    extents.Extents[0].DiskNumber = 0;
    extents.Extents[0].StartingOffset.QuadPart = static_cast<LONGLONG>(offset);
    extents.Extents[0].ExtentLength.QuadPart = static_cast<LONGLONG>(length);
    if (outSize < sizeof extents) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(out, &extents, sizeof extents);
    if (returned != nullptr) {
        *returned = sizeof extents;
    }
    return ERROR_SUCCESS;
}

const wchar_t* ReplyFileFor(std::uint32_t code) {
    switch (code) {
        case kStorageQueryProperty:
            return L"storage.bin";
        case kSmartReceiveDriveData:
            return L"smart.bin";
        case kDiskGetDriveLayout:
            return L"layout.bin";
        case kDiskGetDriveLayoutEx:
            return L"layout-ex.bin";
        case kDiskGetDriveGeometryEx:
            return L"geometry.bin";
        default:
            return nullptr;
    }
}

}  // namespace

namespace platform {

Handle OpenDrive(const char16_t* path, std::uint32_t access, std::uint32_t share,
                 std::uint32_t disposition, std::uint32_t flags) {
    const auto* wide = reinterpret_cast<const wchar_t*>(path);
    if (!VolumeOf(wide).empty() && StandInVolume(wide).empty()) {
        const HANDLE handle =
            ::CreateFileW(wide, access, share, nullptr, disposition, flags, nullptr);
        const DWORD error = ::GetLastError();
        if (handle != INVALID_HANDLE_VALUE) {
            WineVolumes()[handle] = VolumeOf(wide);
        }
        AppendLog("open " + VolumeOf(wide) + " access=" + Hex32(access) + " share=" + Hex32(share) +
                  " disposition=" + Hex32(disposition) + " flags=" + Hex32(flags) +
                  (handle != INVALID_HANDLE_VALUE ? " ok" : " fail"));
        ::SetLastError(error);
        return handle;
    }
    const std::string volume = StandInVolume(wide);
    const std::string number =
        volume.empty() ? DriveNumber(reinterpret_cast<const wchar_t*>(path)) : volume;
    const std::wstring folder = SimFolder();
    DWORD error = ERROR_SUCCESS;
    if (!volume.empty()) {
        error = access == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    } else if (number.empty() || folder.empty() || !FolderExists(folder + L"\\" + Widen(number))) {
        error = ERROR_FILE_NOT_FOUND;
    } else {
        const std::wstring drive = folder + L"\\" + Widen(number);
        if (access != 0 && FileExists(drive + L"\\deny-rw")) {
            error = ERROR_ACCESS_DENIED;
        } else if ((access & GENERIC_ALL) != 0 && FileExists(drive + L"\\deny-all")) {
            error = ERROR_ACCESS_DENIED;
        }
    }
    Handle handle = InvalidHandle();
    if (error == ERROR_SUCCESS) {
        const std::uintptr_t value = kHandleBase + (++g_handlesIssued << 4);
        OpenDrives()[value] = number;
        handle = reinterpret_cast<Handle>(value);
    }
    AppendLog("open " + (number.empty() ? std::string("?") : number) + " access=" + Hex32(access) +
              " share=" + Hex32(share) + " disposition=" + Hex32(disposition) +
              " flags=" + Hex32(flags) + (error == ERROR_SUCCESS ? " ok" : " fail"));
    ::SetLastError(error);
    return handle;
}

int DeviceControl(Handle drive, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                  std::uint32_t outSize, std::uint32_t* returned) {
    if (const auto wine = WineVolumes().find(drive); wine != WineVolumes().end()) {
        DWORD bytes = 0;
        const BOOL ok = ::DeviceIoControl(drive, code, const_cast<void*>(in), inSize, out, outSize,
                                          &bytes, nullptr);
        const DWORD error = ::GetLastError();
        *returned = bytes;
        AppendLog("ioctl " + wine->second + " code=" + Hex32(code) + " in=" + HexBytes(in, inSize) +
                  " outlen=" + std::to_string(outSize) + (ok ? " ok" : " fail"));
        ::SetLastError(error);
        return ok;
    }
    const auto open = OpenDrives().find(reinterpret_cast<std::uintptr_t>(drive));
    const bool known = open != OpenDrives().end();
    DWORD error = known ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE;
    const wchar_t* replyFile = ReplyFileFor(code);
    const std::wstring folder = known ? SimFolder() + L"\\" + Widen(open->second) : std::wstring();
    const bool ex = code == kDiskGetDriveLayoutEx;
    if (known && open->second.back() == ':') {
        error = code == kVolumeGetDiskExtents ? VolumeExtents(out, outSize, returned)
                                              : ERROR_INVALID_FUNCTION;
    } else if (known && (code == kDiskGetDriveLayout || ex) &&
               !FileExists(folder + L"\\" + replyFile) && FileExists(folder + L"\\disk.img")) {
        error = sim::LayoutReply(folder + L"\\disk.img", ex, out, outSize, returned);
    } else if (known && code == kDiskGetDriveGeometryEx &&
               !FileExists(folder + L"\\" + replyFile) && FileExists(folder + L"\\disk.img")) {
        error = sim::GeometryReply(folder + L"\\disk.img", out, outSize, returned);
    } else if (known && replyFile != nullptr) {
        std::string reply;
        if (ReadWholeFile(folder + L"\\" + replyFile, reply)) {
            const std::size_t copied = reply.size() < outSize ? reply.size() : outSize;
            if (copied != 0) {
                std::memcpy(out, reply.data(), copied);
            }
            if (returned != nullptr) {
                *returned = static_cast<std::uint32_t>(copied);
            }
            error = ERROR_SUCCESS;
        } else {
            error = ERROR_NOT_SUPPORTED;
        }
    }
    AppendLog("ioctl " + (known ? open->second : std::string("?")) + " code=" + Hex32(code) +
              " in=" + HexBytes(in, inSize) + " outlen=" + std::to_string(outSize) +
              (error == ERROR_SUCCESS ? " ok" : " fail"));
    if (error != ERROR_SUCCESS) {
        ::SetLastError(error);
        return 0;
    }
    return 1;
}

int CloseDrive(Handle drive) {
    if (const auto wine = WineVolumes().find(drive); wine != WineVolumes().end()) {
        AppendLog("close " + wine->second);
        WineVolumes().erase(wine);
        return ::CloseHandle(drive);
    }
    const auto open = OpenDrives().find(reinterpret_cast<std::uintptr_t>(drive));
    if (open == OpenDrives().end()) {
        // Not a handle this unit gave out (or one closed already).
        AppendLog("close ?");
        ::SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    AppendLog("close " + open->second);
    OpenDrives().erase(open);
    return 1;
}

}  // namespace platform

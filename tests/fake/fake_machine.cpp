#include "fake/fake_machine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "fake/fake_internal.h"
#include "platform/deploy.h"

namespace fake {
namespace {

constexpr std::int32_t kErrorFileNotFound = 2;

std::unique_ptr<Machine>& Storage() {
    static std::unique_ptr<Machine> machine = std::make_unique<Machine>();
    return machine;
}

}  // namespace

// Distinct, never-dereferenced handle values.
platform::Handle NewHandle() {
    static std::uintptr_t next = 0x1000;
    next += 4;
    return reinterpret_cast<platform::Handle>(next);
}

// Records the call; true when fault injection makes this one fail.
bool Call(const char* name) {
    Machine& m = Current();
    m.calls.emplace_back(name);
    return m.failOperation && *m.failOperation == m.calls.size();
}

std::u16string Text(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

std::u16string Upper(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return text;
}

// Windows' resolution, as far as the tool's paths need it: relative to the
// current directory, a leading backslash to its drive, runs of backslashes
// after the first character read as one.
std::u16string FullPath(const std::u16string& path) {
    const std::u16string& cwd = Current().currentDirectory;
    std::u16string full;
    const bool unc = path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\';
    const bool drive = path.size() >= 2 && path[1] == u':';
    if (unc || drive) {
        full = path;
    } else if (!path.empty() && path[0] == u'\\') {
        full = cwd.substr(0, 2) + path;
    } else {
        full = cwd + u"\\" + path;
    }
    std::u16string collapsed;
    for (std::size_t i = 0; i < full.size(); ++i) {
        if (i > 1 && full[i] == u'\\' && collapsed.back() == u'\\') {
            continue;
        }
        collapsed.push_back(full[i]);
    }
    return collapsed;
}

// The Win32 convention for text returned into a caller's buffer: the length
// when it fits with its terminator, else the size it needs and nothing written.
std::uint32_t CopyOut(const std::u16string& text, char16_t* buffer, std::uint32_t size) {
    if (text.size() >= size) {
        return static_cast<std::uint32_t>(text.size() + 1);
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = u'\0';
    return static_cast<std::uint32_t>(text.size());
}

Machine& Current() { return *Storage(); }

bool Exists(const std::u16string& key) {
    const Machine& m = Current();
    return m.files.count(key) != 0 ||
           std::any_of(m.existingPaths.begin(), m.existingPaths.end(),
                       [&](const std::u16string& p) { return FileKey(p) == key; });
}

std::uint32_t Attributes(const std::u16string& key) {
    const auto found = Current().fileAttributes.find(key);
    return found != Current().fileAttributes.end() ? found->second : platform::kFileAttributeNormal;
}

platform::Handle OpenFakeFile(bool injected, const FileCreate& request) {
    constexpr std::uint32_t kErrorSharingViolation = 32;
    Machine& m = Current();
    m.fileCreates.push_back(request);
    const std::u16string key = FileKey(request.path);
    if (m.opensLeft.count(key) != 0 && m.opensLeft[key]-- == 0) {
        m.lockedFiles.insert(key);
    }
    std::uint32_t error = 0;
    if (injected || m.fileCreateFails || request.path.size() >= platform::kMaxPath ||
        m.readOnlyFolders.count(key.substr(0, key.find_last_of(u'\\'))) != 0 ||
        (Exists(key) && (Attributes(key) & platform::kFileAttributeDirectory) != 0)) {
        error = platform::kErrorAccessDenied;
    } else if (m.lockedFiles.count(key) != 0) {
        error = kErrorSharingViolation;
    } else if (request.disposition == platform::kOpenExisting && !Exists(key)) {
        error = platform::kErrorFileNotFound;
    }
    if (error != 0) {
        m.lastError = error;
        return platform::InvalidHandle();
    }
    if (request.disposition == platform::kCreateAlways) {
        m.files[key].clear();
    }
    m.files[key];  // created when missing
    const platform::Handle handle = NewHandle();
    m.openFiles.insert(handle);
    m.filePaths[handle] = key;
    if (request.inheritable) {
        m.inheritableFiles.insert(handle);
    }
    if ((request.flags & platform::kFileFlagDeleteOnClose) != 0) {
        m.deleteOnClose.insert(handle);
    }
    return handle;
}

std::u16string FileKey(const std::u16string& path) { return Upper(FullPath(path)); }

void Reset() {
    Machine& old = Current();
    for (const auto& [block, size] : old.liveGlobals) {
        std::free(block);
    }
    for (char16_t* text : old.liveSysStrings) {
        delete[] text;
    }
    Storage() = std::make_unique<Machine>();
}

std::size_t Machine::OpenResourceCount() const {
    return openDrives.size() + openFiles.size() + openKeys.size() + openProcessHandles.size() +
           liveGlobals.size() + liveSysStrings.size();
}

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text, bool terminator) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (terminator) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

std::string Narrow(const std::u16string& text) {
    std::string narrow;
    for (char16_t c : text) {
        narrow.push_back(static_cast<char>(c));
    }
    return narrow;
}

Drive InternalDrive(std::uint32_t busType) {
    Drive drive;
    Reply bus;
    bus.bytes.assign(37, 0);
    bus.bytes[4] = 37;
    for (int i = 0; i < 4; ++i) {
        bus.bytes[28 + i] = static_cast<std::uint8_t>(busType >> (8 * i));
    }
    drive.replies[0x2D1400] = bus;
    return drive;
}

Reply IdentifyReply(std::uint16_t rotationRate, bool ok) {
    Reply reply;
    reply.ok = ok;
    reply.bytes.assign(528, 0);
    reply.bytes[0] = 0x00;
    reply.bytes[1] = 0x02;  // cBufferSize 512
    reply.bytes[16 + 434] = static_cast<std::uint8_t>(rotationRate & 0xFF);
    reply.bytes[16 + 435] = static_cast<std::uint8_t>(rotationRate >> 8);
    return reply;
}

Reply LayoutReply(const std::vector<std::pair<std::uint32_t, std::uint8_t>>& entries) {
    Reply layout;
    layout.bytes.assign(8 + 32 * entries.size(), 0);
    layout.bytes[0] = static_cast<std::uint8_t>(entries.size());
    for (std::size_t k = 0; k < entries.size(); ++k) {
        layout.bytes[8 + 32 * k + 20] = static_cast<std::uint8_t>(entries[k].first);
        layout.bytes[8 + 32 * k + 24] = entries[k].second;
        layout.bytes[8 + 32 * k + 26] = 1;
    }
    return layout;
}

void SetSpan(Reply& layout, std::size_t entry, std::uint64_t offset, std::uint64_t length) {
    for (int i = 0; i < 8; ++i) {
        layout.bytes.at(8 + 32 * entry + i) = static_cast<std::uint8_t>(offset >> (8 * i));
        layout.bytes.at(8 + 32 * entry + 8 + i) = static_cast<std::uint8_t>(length >> (8 * i));
    }
}

Reply GeometryReply(std::uint64_t diskSize, std::uint32_t bytesPerSector, std::uint32_t heads,
                    std::uint32_t sectorsPerTrack) {
    const std::uint64_t cylinders =
        diskSize / (std::uint64_t{heads} * sectorsPerTrack * bytesPerSector);
    Reply geometry;
    geometry.bytes.assign(32, 0);
    for (int i = 0; i < 8; ++i) {
        geometry.bytes[i] = static_cast<std::uint8_t>(cylinders >> (8 * i));
        geometry.bytes[24 + i] = static_cast<std::uint8_t>(diskSize >> (8 * i));
    }
    for (int i = 0; i < 4; ++i) {
        geometry.bytes[12 + i] = static_cast<std::uint8_t>(heads >> (8 * i));
        geometry.bytes[16 + i] = static_cast<std::uint8_t>(sectorsPerTrack >> (8 * i));
        geometry.bytes[20 + i] = static_cast<std::uint8_t>(bytesPerSector >> (8 * i));
    }
    return geometry;
}

Drive VolumeOn(const std::vector<std::uint32_t>& disks, std::uint64_t extentLength) {
    // VOLUME_DISK_EXTENTS: the count, then 24-byte extents, DiskNumber first.
    Reply extents;
    extents.bytes.assign(8 + 24 * disks.size(), 0);
    extents.bytes[0] = static_cast<std::uint8_t>(disks.size());
    for (std::size_t i = 0; i < disks.size(); ++i) {
        extents.bytes[8 + 24 * i] = static_cast<std::uint8_t>(disks[i]);
        for (int b = 0; b < 8; ++b) {
            extents.bytes[8 + 24 * i + 16 + b] = static_cast<std::uint8_t>(extentLength >> (8 * b));
        }
    }
    Drive volume;
    volume.opensReadWrite = false;
    volume.replies[0x560000] = extents;
    return volume;
}

}  // namespace fake

// --- The seam, served from the fake machine ------------------------------

namespace platform {

using fake::Call;
using fake::Current;

std::uint32_t SetProcessErrorMode(std::uint32_t mode) {
    Call("SetErrorMode");
    return std::exchange(Current().errorMode, mode);
}

Handle GetOwnModuleHandle() {
    Call("GetModuleHandle");
    return reinterpret_cast<Handle>(std::uintptr_t{0x400000});
}

const char16_t* GetProcessCommandLine() {
    Call("GetCommandLine");
    return Current().commandLine.c_str();
}

std::uint32_t GetOwnModuleFileName(char16_t* buffer, std::uint32_t size) {
    if (Call("GetModuleFileName") || size == 0) {
        return 0;
    }
    const std::u16string& path = Current().modulePath;
    // Like Windows: a path that does not fit is cut to the buffer, which is
    // then full, and the result is the buffer's size.
    if (path.size() >= size) {
        std::copy_n(path.begin(), size - 1, buffer);
        buffer[size - 1] = u'\0';
        return size;
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = u'\0';
    return static_cast<std::uint32_t>(path.size());
}

void PrintToStdout(const char* text) {
    Call("Print");
    Current().stdoutText += text;
}

void PrintToStderr(const char* text) {
    Call("PrintError");
    Current().stderrText += text;
}

VersionQuery QueryVersion(std::uint32_t structureSize) {
    fake::Machine& m = Current();
    if (Call("GetVersionEx") || structureSize != 276 || m.versionResult == 0) {
        return VersionQuery{0, 0};
    }
    return VersionQuery{m.versionResult, m.majorVersion};
}

std::int32_t OpenLocalMachineKey(const char16_t* subKey, std::uint32_t options,
                                 std::uint32_t access, Handle* key) {
    fake::Machine& m = Current();
    *key = nullptr;
    const bool injected = Call("RegOpenKeyEx");
    m.keyOpens.emplace_back(fake::Text(subKey), access);
    if (injected) {
        return 5;  // ERROR_ACCESS_DENIED
    }
    if (options != 0 || m.registry.count(fake::Text(subKey)) == 0) {
        return fake::kErrorFileNotFound;
    }
    if (m.keyOpenStatus != kErrorSuccess) {
        return m.keyOpenStatus;
    }
    *key = fake::NewHandle();
    m.openKeys.insert(*key);
    m.filePaths[*key] = fake::Text(subKey);
    return kErrorSuccess;
}

std::int32_t QueryRegistryValue(Handle key, const char16_t* name, std::uint8_t* data,
                                std::uint32_t* byteCount, std::uint32_t* type) {
    fake::Machine& m = Current();
    const bool injected = Call("RegQueryValueEx");
    m.valueQueries.push_back(fake::Text(name));
    m.valueQueryLimits.push_back(*byteCount);
    if (injected || m.openKeys.count(key) == 0) {
        return 6;  // ERROR_INVALID_HANDLE
    }
    const auto& values = m.registry.at(m.filePaths.at(key));
    const auto value = values.find(fake::Text(name));
    if (value == values.end()) {
        return fake::kErrorFileNotFound;
    }
    const std::vector<std::uint8_t>& bytes = value->second;
    const std::uint32_t limit = *byteCount;
    if (type != nullptr) {
        const auto& types = m.registryTypes[m.filePaths.at(key)];
        *type = types.count(fake::Text(name)) != 0 ? types.at(fake::Text(name)) : kRegSz;
    }
    *byteCount = static_cast<std::uint32_t>(bytes.size());
    // A value too large for the buffer: the part that fits is what a
    // careless reader would see, so that is what the fake leaves behind.
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), limit), data);
    return bytes.size() > limit ? kErrorMoreData : kErrorSuccess;
}

std::int32_t CloseRegistryKey(Handle key) {
    Call("RegCloseKey");
    fake::Release(Current().openKeys, key, "registry key");
    return kErrorSuccess;
}

std::uint32_t GetFullPath(const char16_t* path, std::uint32_t size, char16_t* buffer) {
    if (Call("GetFullPathName")) {
        return 0;
    }
    return fake::CopyOut(fake::FullPath(fake::Text(path)), buffer, size);
}

int StripPathToRoot(char16_t* path) {
    if (Call("PathStripToRoot")) {
        return 0;
    }
    std::u16string text = fake::Text(path);
    std::size_t end;
    if (text.rfind(u"\\\\", 0) == 0) {
        // \\server\share
        const std::size_t server = text.find(u'\\', 2);
        end = server == std::u16string::npos ? text.size() : text.find(u'\\', server + 1);
    } else {
        end = text.size() >= 3 && text[1] == u':' ? 3 : 0;
    }
    if (end != std::u16string::npos && end < text.size()) {
        path[end] = u'\0';
    }
    return end != 0 ? 1 : 0;
}

int IsUncPath(const char16_t* path) {
    if (Call("PathIsUNC")) {
        return 0;
    }
    return fake::Text(path).rfind(u"\\\\", 0) == 0 ? 1 : 0;
}

int QueryVolumeInformation(const char16_t* root, char16_t* label, std::uint32_t labelSize,
                           std::uint32_t* flags, char16_t* fileSystem,
                           std::uint32_t fileSystemSize) {
    fake::Machine& m = Current();
    const std::u16string key = fake::Upper(fake::Text(root));
    m.volumeQueries.push_back(key);
    if (Call("GetVolumeInformation") || m.readableVolumes.count(key) == 0) {
        return 0;
    }
    if (label != nullptr && fake::CopyOut(m.volumeLabels[key], label, labelSize) >= labelSize) {
        return 0;
    }
    if (flags != nullptr) {
        *flags = m.volumeFlags[key];
    }
    if (fileSystem != nullptr &&
        fake::CopyOut(m.volumeFileSystems[key], fileSystem, fileSystemSize) >= fileSystemSize) {
        return 0;
    }
    return 1;
}

int QueryFileAttributes(const char16_t* path, std::uint32_t* attributes) {
    fake::Machine& m = Current();
    const bool injected = Call("GetFileAttributesEx");
    m.attributeQueries.push_back(fake::Text(path));
    if (injected) {
        return 0;
    }
    const std::u16string key = fake::FileKey(fake::Text(path));
    const bool exists =
        std::any_of(m.existingPaths.begin(), m.existingPaths.end(),
                    [&](const std::u16string& p) { return fake::FileKey(p) == key; });
    if (!exists && m.files.count(key) == 0) {
        return 0;
    }
    if (attributes != nullptr) {
        const auto found = m.fileAttributes.find(key);
        *attributes = found != m.fileAttributes.end() ? found->second : kFileAttributeNormal;
    }
    return 1;
}

std::uint32_t LogicalDrives() {
    Call("GetLogicalDrives");
    return Current().logicalDrives;
}

std::uint32_t DriveType(const char16_t* root) {
    Call("GetDriveType");
    const auto found = Current().driveTypes.find(fake::Upper(fake::Text(root)));
    return found != Current().driveTypes.end() ? found->second : kDriveFixed;
}

std::uint32_t GetCurrentDir(std::uint32_t size, char16_t* buffer) {
    fake::Machine& m = Current();
    if (Call("GetCurrentDirectory") || !m.currentDirectoryAnswers) {
        return 0;
    }
    return fake::CopyOut(m.currentDirectory, buffer, size);
}

Handle CreateFileHandle(const char16_t* path, std::uint32_t access, std::uint32_t share,
                        std::uint32_t disposition, std::uint32_t flags) {
    const bool injected = Call("CreateFile");
    return fake::OpenFakeFile(injected,
                              {fake::Text(path), access, share, disposition, flags, false});
}

int WriteToFile(Handle file, const void* data, std::uint32_t size, std::uint32_t* written) {
    fake::Machine& m = Current();
    *written = 0;
    if (fake::Call("WriteFile") || m.writeFails || m.openFiles.count(file) == 0) {
        return 0;
    }
    std::uint32_t take = size;
    if (m.writeLimit) {
        take = std::min(take, *m.writeLimit);
        *m.writeLimit -= take;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    auto& content = m.files[m.filePaths.at(file)];
    content.insert(content.end(), bytes, bytes + take);
    *written = take;
    return 1;
}

int CloseHandle(Handle handle) {
    fake::Machine& m = Current();
    const bool injected = Call("CloseHandle");
    if (m.openFiles.count(handle) != 0) {
        m.openFiles.erase(handle);
        return injected || m.fileCloseFails ? 0 : 1;
    }
    if (m.filePaths.count(handle) != 0) {
        m.kernelCloses.push_back(m.filePaths.at(handle));
    }
    fake::Release(m.openProcessHandles, handle, "kernel handle");
    return injected ? 0 : 1;
}

Handle OpenDrive(const char16_t* path, std::uint32_t access, std::uint32_t share,
                 std::uint32_t disposition, std::uint32_t flags) {
    fake::Machine& m = Current();
    const bool injected = Call("OpenDrive");
    const std::u16string text = fake::Text(path);
    const std::u16string prefix = u"\\\\.\\PHYSICALDRIVE";
    bool ok = false;
    std::uint32_t number = 0;
    const bool volume = text.size() == 6 && text.rfind(u"\\\\.\\", 0) == 0 && text[5] == u':';
    if (volume) {
        const auto found = m.volumes.find(fake::Upper(text.substr(4, 1))[0]);
        ok = !injected && found != m.volumes.end() && disposition == kOpenExisting &&
             (access == 0 ? found->second.opensWithoutAccess : found->second.opensReadWrite);
        m.lastError = found != m.volumes.end() ? kErrorAccessDenied : kErrorFileNotFound;
    } else if (!injected && text.rfind(prefix, 0) == 0 && text.size() > prefix.size() &&
               disposition == kOpenExisting) {
        const std::string digits = fake::Narrow(text.substr(prefix.size()));
        number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
        const auto drive = m.drives.find(number);
        if (drive != m.drives.end() && std::to_string(number) == digits) {
            const fake::Drive& d = drive->second;
            if (access == 0) {
                ok = d.opensWithoutAccess;
            } else if (access == kGenericAll) {
                ok = d.opensAll;
            } else {
                ok = d.opensReadWrite;
            }
        }
    }
    m.driveOpens.push_back({text, access, share, disposition, flags, ok});
    if (!ok) {
        // Access denied to a drive that is there, else no such drive.
        if (!volume) {
            m.lastError =
                !injected && m.drives.count(number) != 0 ? kErrorAccessDenied : kErrorFileNotFound;
        }
        return InvalidHandle();
    }
    Handle handle = fake::NewHandle();
    m.openDrives.insert(handle);
    if (volume) {
        m.volumeLetters[handle] = fake::Upper(text.substr(4, 1))[0];
    } else {
        m.driveNumbers[handle] = number;
    }
    m.maxOpenDrives = std::max(m.maxOpenDrives, m.openDrives.size());
    return handle;
}

int DeviceControl(Handle drive, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                  std::uint32_t outSize, std::uint32_t* returned) {
    fake::Machine& m = Current();
    const bool injected = Call("DeviceIoControl");
    const auto* input = static_cast<const std::uint8_t*>(in);
    fake::DeviceRequest request{
        0, code,
        input ? std::vector<std::uint8_t>(input, input + inSize) : std::vector<std::uint8_t>{},
        outSize, false};
    // No input buffer with a length: Windows refuses the request.
    if (m.openDrives.count(drive) != 0 && (in != nullptr || inSize == 0)) {
        const bool volume = m.volumeLetters.count(drive) != 0;
        request.drive = volume ? m.volumeLetters.at(drive) : m.driveNumbers.at(drive);
        const auto& replies =
            (volume ? m.volumes.at(m.volumeLetters.at(drive)) : m.drives.at(request.drive)).replies;
        const auto reply = replies.find(code);
        if (!injected && reply != replies.end()) {
            const std::size_t count = std::min<std::size_t>(reply->second.bytes.size(), outSize);
            if (count != 0) {  // an empty reply has no data to copy from
                std::memcpy(out, reply->second.bytes.data(), count);
            }
            *returned = static_cast<std::uint32_t>(count);
            request.ok = reply->second.ok;
            m.lastError = reply->second.error;
        } else {
            m.lastError = kErrorInvalidFunction;
        }
    }
    m.deviceRequests.push_back(request);
    return request.ok ? 1 : 0;
}

// Not a call on the machine: it only tells what the last one did.
std::uint32_t LastError() { return Current().lastError; }

int CloseDrive(Handle drive) {
    fake::Machine& m = Current();
    Call("CloseDrive");
    fake::Release(m.openDrives, drive, "drive handle");
    // A close may set the last error anew: whatever a failure left there is gone.
    m.lastError = 0;
    return 1;
}

void* AllocateGlobal(std::uint32_t flags, std::size_t bytes) {
    fake::Machine& m = Current();
    if (Call("GlobalAlloc") || m.globalAllocFails) {
        return nullptr;
    }
    void* block = std::malloc(bytes);
    // Without GMEM_ZEROINIT the block is left dirty, so a missing flag shows.
    std::memset(block, (flags & kGmemZeroInit) != 0 ? 0 : 0xCD, bytes);
    m.liveGlobals[block] = bytes;
    m.allocatedGlobalSizes.push_back(bytes);
    return block;
}

void* FreeGlobal(void* block) {
    Call("GlobalFree");
    fake::Machine& m = Current();
    const auto live = m.liveGlobals.find(block);
    if (live == m.liveGlobals.end()) {
        m.releaseErrors.emplace_back("global block");
        return block;
    }
    m.freedGlobalSizes.push_back(live->second);
    m.liveGlobals.erase(live);
    std::free(block);
    return nullptr;
}

void SendDebugString(const char16_t* text) {
    Call("OutputDebugString");
    Current().debugStrings.push_back(fake::Text(text));
}

int ShowMessageBox(const char16_t* text, const char16_t* caption, std::uint32_t type) {
    Call("MessageBox");
    Current().messageBoxes.push_back({fake::Text(text), fake::Text(caption), type});
    return 1;  // IDOK
}

std::uint32_t GetSystemDir(char16_t* buffer, std::uint32_t size) {
    fake::Machine& m = Current();
    if (Call("GetSystemDirectory") || !m.systemDirectoryAnswers) {
        return 0;
    }
    return fake::CopyOut(m.systemDirectory, buffer, size);
}

char16_t* AllocateSysString(const char16_t* text, std::uint32_t length) {
    if (Call("SysAllocStringLen")) {
        return nullptr;
    }
    auto* copy = new char16_t[length + 1];
    std::copy_n(text, length, copy);
    copy[length] = u'\0';
    Current().liveSysStrings.insert(copy);
    return copy;
}

void FreeSysString(char16_t* text) {
    Call("SysFreeString");
    fake::Machine& m = Current();
    if (m.liveSysStrings.erase(text) == 0) {
        m.releaseErrors.emplace_back("system string");
        return;
    }
    delete[] text;
}

int StartProcess(const char16_t* applicationName, char16_t* commandLine,
                 const StartParameters& parameters, StartedProcess* started) {
    fake::Machine& m = Current();
    const bool injected = Call("CreateProcess");
    *started = StartedProcess{nullptr, nullptr};
    // The child sees the files as they are on disk at this moment.
    m.processStarts.push_back({fake::Text(applicationName), fake::Text(commandLine), parameters,
                               m.openFiles.size(), m.files});
    if (injected || !m.processStartSucceeds) {
        return 0;
    }
    started->process = fake::NewHandle();
    started->thread = fake::NewHandle();
    m.openProcessHandles.insert(started->process);
    m.openProcessHandles.insert(started->thread);
    m.filePaths[started->process] = u"process";
    m.filePaths[started->thread] = u"thread";
    return 1;
}

std::uint32_t WaitForObject(Handle handle, std::uint32_t milliseconds) {
    fake::Machine& m = Current();
    const bool injected = Call("WaitForSingleObject");
    m.waitTimeouts.push_back(milliseconds);
    if (injected || m.openProcessHandles.count(handle) == 0) {
        return 0xFFFFFFFFu;  // WAIT_FAILED
    }
    return m.waitResult;
}

void Pause(std::uint32_t milliseconds) {
    Call("Sleep");
    Current().pauses.push_back(milliseconds);
    Current().clock += milliseconds;
}

}  // namespace platform

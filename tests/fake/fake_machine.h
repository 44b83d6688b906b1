// A fake Windows machine behind the platform seam, for the unit tests.
//
// Tests describe the machine (registry, version, files, drives and their
// answers, the partitioning tool's behaviour), run the logic, and read back
// what it did: every call in order, every handle still open, every file
// written, every process started.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/changes.h"
#include "platform/platform.h"

namespace fake {

// What a device I/O control request answers: the bytes copied into the
// output buffer from its first byte (at most its length), and the result.
struct Reply {
    std::vector<std::uint8_t> bytes;
    bool ok = true;
    std::uint32_t error = platform::kErrorInvalidFunction;  // GetLastError after a failure
};

struct Drive {
    bool opensWithoutAccess = true;  // access 0: the presence test
    bool opensReadWrite = true;      // GENERIC_READ | GENERIC_WRITE
    bool opensAll = true;            // GENERIC_ALL
    // Keyed by control code; a code with no reply fails and leaves the
    // output buffer as it was.
    std::map<std::uint32_t, Reply> replies;
};

struct DriveOpen {
    std::u16string path;
    std::uint32_t access, share, disposition, flags;
    bool ok;
};

struct DeviceRequest {
    std::uint32_t drive;
    std::uint32_t code;
    std::vector<std::uint8_t> input;
    std::uint32_t outputSize;
    bool ok;
};

struct FileCreate {
    std::u16string path;
    std::uint32_t access, share, disposition, flags;
    bool inheritable = false;
};

struct ProcessStart {
    std::u16string applicationName;  // empty for a null application name
    std::u16string commandLine;
    platform::StartParameters parameters;
    std::size_t openFilesAtStart;  // file handles the tool still held
    std::map<std::u16string, std::vector<std::uint8_t>> filesAtStart;
};

struct MessageBox {
    std::u16string text, caption;
    std::uint32_t type;
};

// What one start of a program by ssdprep-deploy does.
struct Child {
    enum class End { Exits, Hangs, CannotStart };
    End end = End::Exits;
    std::uint32_t exitCode = 0;
    std::string output;                 // to its standard output, when inheritable
    std::uint32_t milliseconds = 1000;  // how long it runs: the clock moves
};

struct ChildStart {
    std::u16string key;  // the program's file name and arguments
    std::u16string directory;
    std::uint32_t creationFlags, startupFlags, errorMode;
    bool running = true;               // neither waited to its end nor ended
    std::vector<std::uint32_t> waits;  // each wait's time-out, in order
};

struct Machine {
    // Process.
    std::uint32_t errorMode = 0;
    std::u16string modulePath = u"C:\\Tools\\ssdprep.exe";
    std::u16string commandLine = u"ssdprep.exe";
    std::string stdoutText;
    std::string stderrText;

    // Version and registry.
    int versionResult = 1;
    std::uint32_t majorVersion = 10;
    std::map<std::u16string, std::map<std::u16string, std::vector<std::uint8_t>>> registry;
    std::int32_t keyOpenStatus = platform::kErrorSuccess;  // forced result for an existing key

    // File system. Paths are compared as full paths.
    std::u16string currentDirectory = u"C:\\Work";
    bool currentDirectoryAnswers = true;
    std::set<std::u16string> existingPaths;
    std::set<std::u16string> readableVolumes = {u"C:\\"};
    std::map<std::u16string, std::uint32_t> volumeFlags;         // by root, upper case
    std::map<std::u16string, std::u16string> volumeLabels;       // by root, upper case
    std::map<std::u16string, std::u16string> volumeFileSystems;  // by root, upper case
    std::map<std::u16string, std::uint32_t> fileAttributes;      // by FileKey; else NORMAL
    std::uint32_t logicalDrives = 1u << 2;                       // C:
    std::map<std::u16string, std::vector<std::uint8_t>> files;
    bool fileCreateFails = false;
    std::optional<std::uint32_t> writeLimit;  // bytes a write takes before it stops short
    bool writeFails = false;
    bool fileCloseFails = false;

    // Physical drives by number, and volumes (\\.\X:) by upper-case letter.
    std::map<std::uint32_t, Drive> drives;
    std::map<char16_t, Drive> volumes;

    // Memory.
    bool globalAllocFails = false;

    // Processes.
    std::u16string systemDirectory = u"C:\\Windows\\system32";
    bool systemDirectoryAnswers = true;
    bool processStartSucceeds = true;
    std::uint32_t waitResult = 0;  // WAIT_OBJECT_0

    // The clock, in milliseconds: pauses and children move it. Local time
    // is 2026-12-07 16:42:15 at 0.
    std::uint32_t clock = 0;

    // ssdprep-deploy's calls. Registry value types by key and name (REG_SZ
    // where none is given); drive types by root or mount point, upper case
    // with a trailing backslash (fixed where none is given).
    std::map<std::u16string, std::map<std::u16string, std::uint32_t>> registryTypes;
    bool registryWriteFails = false;
    std::map<std::u16string, std::uint32_t> driveTypes;
    std::set<std::u16string> mountPoints;
    std::u16string tempDirectory = u"C:\\Windows\\Temp\\";
    std::set<std::u16string> lockedFiles;      // by FileKey: held by another process
    std::map<std::u16string, int> opensLeft;   // by FileKey: opens before it is held
    std::set<std::u16string> readOnlyFolders;  // by FileKey: nothing can be written in them
    bool flushFails = false;
    std::map<std::u16string, std::uint32_t> writeTimes;  // by FileKey: the clock then
    bool administrator = true;
    // By file name and arguments ("ssdprep-inspect.exe --after"): each start
    // takes the next, the last again when they run out; none: cannot start.
    std::map<std::u16string, std::vector<Child>> programs;
    std::vector<ChildStart> childStarts;
    std::size_t childStartLimit = 16;           // past it a start throws: a loop without its pause
    std::vector<std::u16string> volumeQueries;  // roots asked for their label

    // GetLastError: set by the drive calls that fail, reset by a close.
    std::uint32_t lastError = 0;

    // Fault injection: the operation with this 1-based number fails.
    std::optional<std::size_t> failOperation;

    // What happened.
    std::vector<std::string> calls;  // every seam call by name, in order
    std::vector<std::pair<std::u16string, std::uint32_t>> keyOpens;  // sub key, access
    std::vector<std::u16string> valueQueries;
    std::vector<std::uint32_t> valueQueryLimits;
    std::vector<std::u16string> attributeQueries;
    std::vector<DriveOpen> driveOpens;
    std::vector<DeviceRequest> deviceRequests;
    std::vector<FileCreate> fileCreates;
    std::vector<ProcessStart> processStarts;
    std::vector<std::uint32_t> waitTimeouts;
    std::vector<std::uint32_t> pauses;
    std::vector<std::u16string> kernelCloses;  // "process" or "thread", in order
    std::vector<MessageBox> messageBoxes;
    std::vector<std::u16string> debugStrings;
    std::vector<std::string> releaseErrors;  // double or unknown releases
    std::size_t maxOpenDrives = 0;

    // Live resources, by kind.
    std::set<platform::Handle> openDrives, openFiles, openKeys, openProcessHandles;
    std::map<void*, std::size_t> liveGlobals;       // block, size
    std::vector<std::size_t> allocatedGlobalSizes;  // in the order obtained
    std::vector<std::size_t> freedGlobalSizes;      // in the order freed
    std::set<char16_t*> liveSysStrings;
    std::map<platform::Handle, std::uint32_t> driveNumbers;
    std::map<platform::Handle, char16_t> volumeLetters;
    std::map<platform::Handle, std::u16string> filePaths;
    std::set<platform::Handle> inheritableFiles, deleteOnClose;
    std::map<platform::Handle, std::pair<std::size_t, Child>> children;  // start, script

    [[nodiscard]] std::size_t OpenResourceCount() const;
    [[nodiscard]] std::string Stdout() const { return stdoutText; }
};

// The machine the seam works on; Reset() gives a fresh one.
Machine& Current();
void Reset();

// The key under which `files` holds a path: its full path, upper-cased.
std::u16string FileKey(const std::u16string& path);

// Helpers for describing a machine.
std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text, bool terminator = true);
std::string Narrow(const std::u16string& text);  // ASCII only
// A drive present and internal: a bus reply with the given bus type.
Drive InternalDrive(std::uint32_t busType = 11 /* SATA */);
// The 528-byte identify reply block with word 217 set.
Reply IdentifyReply(std::uint16_t rotationRate, bool ok = true);
// A layout reply whose only entries are recognised (number, type) pairs.
Reply LayoutReply(const std::vector<std::pair<std::uint32_t, std::uint8_t>>& entries);
// Entry `entry` of a layout reply starts at `offset` and is `length` long.
void SetSpan(Reply& layout, std::size_t entry, std::uint64_t offset, std::uint64_t length);
// The reply to IOCTL_DISK_GET_DRIVE_GEOMETRY_EX: whole cylinders of these
// heads and sectors a track up to the disk's size.
Reply GeometryReply(std::uint64_t diskSize, std::uint32_t bytesPerSector = 512,
                    std::uint32_t heads = 255, std::uint32_t sectorsPerTrack = 63);
// A volume whose extents lie on these disks, in order; it opens only
// asking for no access, as the extents request needs none.
Drive VolumeOn(const std::vector<std::uint32_t>& disks, std::uint64_t extentLength = 24 << 20);

inline const std::u16string kSetupStateKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\State";

}  // namespace fake

// Test-only stand-in for diskpart.exe, installed into the Wine prefix's
// system folder. It records how it was started and the script it was given.
// When the disk the script first selects has an image
// (%SSDPREP_SIM_DRIVES%\<N>\disk.img, as ssdprep-sim.exe serves it), it also
// carries the script out on that image; otherwise it changes nothing and
// exits with the code the test asks for.
//
// Environment:
//   FAKE_DISKPART_RECORD  folder (Windows path) for the records; without it
//                         nothing is recorded
//   FAKE_DISKPART_EXIT    exit code without an image, decimal or 0x-hex
//                         (default 0)
//   FAKE_DISKPART_DELAY   milliseconds to wait before the last record and the
//                         exit (default 0)
//   FAKE_DISKPART_VOLUME  folder (Windows path) standing for the new volume's
//                         drive letter: a format writes its label into
//                         .windows-label there (where Wine reads a volume
//                         label from), and the partition's offset and length
//                         in bytes into .ssdprep-extent (which the simulated
//                         drives answer the extents request from); deleting
//                         the partition whose file system carries that label,
//                         as blkid reads it, removes both. When the folder is a drive's root
//                         (M:\), Wine is then made to read that drive's label
//                         again (see RereadLabel)
//   FAKE_DISKPART_NOCHANGE  1: a script on an image is recorded but not
//                         carried out; runN.log says "not carried out:
//                         FAKE_DISKPART_NOCHANGE=1" and the exit code is 0
//   SSDPREP_SIM_DRIVES    the simulated drives' folder, inherited from the tool
//
// Each start takes the next free number N and writes, in that folder:
//   runN.cmdline  the command line as GetCommandLineW gives it (UTF-8)
//   runN.startup  "flags=XXXXXXXX show=N" and a line end: STARTUPINFO's
//                 dwFlags (8 upper-case hex digits) and wShowWindow (decimal)
//                 as GetStartupInfoW gives them
//   runN.script   the script's bytes, when it could be read
//   runN.open     "ok" when the script opened with no sharing (so no one
//                 else held it open), "fail <error>" when not, "no script"
//                 when the command line names none; then a line end
//   runN.exe      the path of the program that ran (UTF-8)
//   runN.cwd      its current directory (UTF-8)
//   runN.log      with an image only: one line per command carried out,
//                 "<command>: ok, <what it did>" or "<command>: failed, <why>"
//   runN.dir      the names in the script's folder, one a line (UTF-8),
//                 listed after the delay, just before the exit: a caller
//                 that did not wait for this run to end would have written
//                 its next script by then
//   runN.exit     the exit code, in decimal; written last
//
// On an image (512-byte sectors, MBR) it follows Microsoft's documentation
// of the partitioning tool for the commands ssdprep writes; the table edits
// are sfdisk's and the file system is mkntfs's, run on the Linux side
// through Wine's __wine_unix_spawnvp:
//   - One command a line, any mix of CR and LF ending them; words are
//     separated by blanks and compared without case; blank lines are skipped.
//   - A failing command ends the script with a non-zero exit code and
//     nothing after it runs, unless it carries noerr; an unknown command
//     ends it even with noerr ("diskpart scripts and examples"). Exit codes
//     as the tool's documentation lists them: 4 when a service failed, 5
//     when a command was invalid or its object improperly selected.
//   - rescan: does nothing. exit: ends the script with 0.
//   - select disk N: fails when disk N has no image; no partition selected.
//   - select part[ition] N: N counts the non-container partitions in table
//     order (see mbr_image.h), as the layout request reports them; fails
//     when there is no partition N or no disk selected.
//   - delete part[ition] override: removes the selected partition's entry
//     (a logical drive is unlinked from its chain) and leaves its bytes;
//     afterwards no partition is selected.
//   - create part[ition] primary: takes the first free MBR slot and the
//     largest unallocated extent outside any extended partition ("the
//     partition will start at the beginning of the largest disk extent that
//     is large enough to hold it"), aligned as the running Windows version
//     aligns (see stand_in_place.h), type 0x06 ("If this parameter is not
//     specified for an MBR disk, the command creates a partition of type
//     0x06"); the new partition is selected ("the focus automatically shifts
//     to the new partition"). Fails without a free slot, or when that extent
//     holds less than 1 MiB once aligned (on XP, no whole cylinder).
//   - format quick fs=ntfs label=L: a new NTFS file system labelled L over
//     exactly the selected partition's sectors, type then 0x07. Any other
//     file system fails. mkntfs cannot write at an offset, so it formats a
//     scratch file of the partition's size in a private temporary folder,
//     which is copied in and removed.
//   - assign: changes nothing; notes the first free drive letter from D
//     ("the next available drive letter is assigned").
//   - deleting, formatting or assigning with no partition selected fails.
// Apart from that scratch file it touches no file but the records, the
// script, the selected image and .windows-label.
#include <windows.h>
// After windows.h, which it builds on.
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "mbr_image.h"
#include "read_all.h"
#include "stand_in_place.h"

namespace {

// Exit codes as Microsoft lists them for the partitioning tool.
constexpr int kServiceFailed = 4;
constexpr int kInvalidCommand = 5;

constexpr char kNtfsType[] = "7";
// Writes table sectors only: no signature wiping, no asking the kernel to
// re-read a "device" that is a file.
constexpr char kSfdisk[] =
    "sfdisk --no-reread --no-tell-kernel --wipe never --wipe-partitions never -q";

std::wstring Environment(const wchar_t* name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return std::wstring();
    }
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);
    return bytes;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Writes a whole file; CREATE_NEW fails when the file is there already,
// OPEN_ALWAYS appends.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes, DWORD disposition) {
    const DWORD access = disposition == OPEN_ALWAYS ? FILE_APPEND_DATA : GENERIC_WRITE;
    const HANDLE file = ::CreateFileW(path.c_str(), access, 0, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        bytes.empty() || (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                                      &written, nullptr) != 0 &&
                          written == bytes.size());
    return ::CloseHandle(file) != 0 && ok;
}

// The bytes of a whole file; empty when it cannot be read.
std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ReadAll(file, bytes);
        ::CloseHandle(file);
    }
    return bytes;
}

// A folder from the environment, without trailing separators.
std::wstring FolderFromEnvironment(const wchar_t* name) {
    std::wstring folder = Environment(name);
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return folder;
}

// The records of one start; an empty stem records nothing.
struct Records {
    std::wstring stem;
    void Write(const wchar_t* part, const std::string& bytes) const {
        if (!stem.empty()) {
            WriteWholeFile(stem + part, bytes, CREATE_ALWAYS);
        }
    }
    void Append(const wchar_t* part, const std::string& line) const {
        if (!stem.empty()) {
            WriteWholeFile(stem + part, line + "\n", OPEN_ALWAYS);
        }
    }
};

// Claiming the number by creating its first file keeps every run of one
// tool run, in the order they came.
Records ClaimRecords(const std::wstring& folder, const std::wstring& commandLine) {
    if (folder.empty()) {
        return Records{};
    }
    for (unsigned number = 1;; ++number) {
        const std::wstring stem = folder + L"\\run" + std::to_wstring(number);
        if (WriteWholeFile(stem + L".cmdline", Utf8(commandLine), CREATE_NEW)) {
            return Records{stem};
        }
        if (::GetLastError() != ERROR_FILE_EXISTS || number == 10000) {
            return Records{};
        }
    }
}

// The text after `/s "` up to the end of the line: the tool composes the
// command line without a closing quotation mark.
bool ScriptPath(const std::wstring& commandLine, std::wstring& path) {
    const std::size_t at = commandLine.find(L"/s \"");
    if (at == std::wstring::npos) {
        return false;
    }
    path = commandLine.substr(at + 4);
    return true;
}

std::wstring ModulePath() {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), 32768);
    path.resize(length < 32768 ? length : 0);
    return path;
}

std::wstring CurrentDirectory() {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(32768, path.data());
    path.resize(length < 32768 ? length : 0);
    return path;
}

std::string StartupRecord() {
    STARTUPINFOW info{};
    info.cb = sizeof info;
    ::GetStartupInfoW(&info);
    char text[40];
    std::snprintf(text, sizeof text, "flags=%08lX show=%u\n",
                  static_cast<unsigned long>(info.dwFlags),
                  static_cast<unsigned>(info.wShowWindow));
    return text;
}

unsigned long NumberFromEnvironment(const wchar_t* name) {
    const std::wstring text = Environment(name);
    return text.empty() ? 0 : std::wcstoul(text.c_str(), nullptr, 0);
}

// The names in a folder, "." and ".." left out, each ending in a line end.
std::string FolderListing(const std::wstring& folder) {
    std::string listing;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return listing;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            listing += Utf8(name) + "\n";
        }
    } while (::FindNextFileW(search, &found) != 0);
    ::FindClose(search);
    return listing;
}

// Reads the script; the outcome is what runN.open records.
std::string ReadScript(const std::wstring& script, std::string& bytes, bool& read) {
    // No sharing at all: this open fails while any other handle to the
    // script is open, so "ok" shows the tool had closed it.
    HANDLE file = ::CreateFileW(script.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string outcome = "ok\n";
    if (file == INVALID_HANDLE_VALUE) {
        outcome = "fail " + std::to_string(::GetLastError()) + "\n";
        // Still copy what is there, for the test to compare.
        file = ::CreateFileW(script.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file != INVALID_HANDLE_VALUE) {
        read = ReadAll(file, bytes);
        ::CloseHandle(file);
    }
    return outcome;
}

// --- the script ----------------------------------------------------------

struct Command {
    std::string text;                // as written, blanks trimmed
    std::vector<std::string> words;  // lower case, noerr left out
    std::vector<std::string> raw;    // as written, noerr left out
    bool noerr = false;
};

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::vector<Command> ParseScript(const std::string& bytes) {
    std::vector<Command> commands;
    Command command;
    std::string word;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        const char c = i < bytes.size() ? bytes[i] : '\n';
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            word.push_back(c);
            continue;
        }
        if (!word.empty()) {
            command.text += (command.text.empty() ? "" : " ") + word;
            if (Lower(word) == "noerr") {
                command.noerr = true;
            } else {
                command.words.push_back(Lower(word));
                command.raw.push_back(word);
            }
            word.clear();
        }
        if ((c == '\r' || c == '\n') && !command.text.empty()) {
            commands.push_back(command);
            command = Command{};
        }
    }
    return commands;
}

// The command's words exactly; "" stands for part or partition, "*" for
// any word.
bool Matches(const Command& command, std::initializer_list<std::string> words) {
    if (command.words.size() != words.size()) {
        return false;
    }
    std::size_t i = 0;
    for (const std::string& word : words) {
        const std::string& given = command.words[i++];
        if (word.empty() ? given != "part" && given != "partition" : word != "*" && given != word) {
            return false;
        }
    }
    return true;
}

// Decimal digits with an optional leading minus, nothing else.
bool ParseNumber(const std::string& text, long& number) {
    char* end = nullptr;
    number = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && text[0] != '+' && *end == '\0';
}

// --- the Linux side --------------------------------------------------------

std::string UnixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    const FARPROC proc = kernel32 ? ::GetProcAddress(kernel32, "wine_get_unix_file_name") : nullptr;
    if (proc == nullptr) {
        return std::string();
    }
    char* name = reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(proc))(path.c_str());
    if (name == nullptr) {
        return std::string();
    }
    std::string unixPath = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return unixPath;
}

// Wine's mount manager reads a drive's .windows-label when it learns of the
// drive and keeps what it read, where Windows shows a volume's new label at
// once. Defining the drive anew, on the folder it has, makes Wine read the
// label again. The requests are Wine's own, as its ddk/mountmgr.h has them.
constexpr DWORD kMountManagerType = 0x6D;  // MOUNTMGRCONTROLTYPE
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(kMountManagerType, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
constexpr DWORD kQueryUnixDrive =
    CTL_CODE(kMountManagerType, 33, METHOD_BUFFERED, FILE_READ_ACCESS);
struct UnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};

void RereadLabel(wchar_t letter) {
    const HANDLE manager =
        ::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) {
        return;
    }
    UnixDrive query{};
    query.size = sizeof query;
    query.letter = static_cast<WCHAR>(std::towlower(letter));
    std::vector<char> reply(4096, '\0');
    DWORD got = 0;
    UnixDrive drive{};
    if (::DeviceIoControl(manager, kQueryUnixDrive, &query, sizeof query, reply.data(),
                          static_cast<DWORD>(reply.size() - 1), &got, nullptr) != 0 &&
        got >= sizeof drive) {
        std::memcpy(&drive, reply.data(), sizeof drive);
    }
    if (drive.mountPointOffset != 0 && drive.mountPointOffset < got) {
        const std::string mountPoint = reply.data() + drive.mountPointOffset;
        UnixDrive define{};
        define.size = static_cast<ULONG>(sizeof define + mountPoint.size() + 1);
        define.type = drive.type;
        define.letter = query.letter;
        define.mountPointOffset = sizeof define;
        std::vector<char> request(define.size, '\0');
        std::memcpy(request.data(), &define, sizeof define);
        std::memcpy(request.data() + sizeof define, mountPoint.c_str(), mountPoint.size());
        ::DeviceIoControl(manager, kDefineUnixDrive, request.data(), define.size, nullptr, 0, &got,
                          nullptr);
    }
    ::CloseHandle(manager);
}

// After the label file changed: the drive it is the root of, if any.
void RereadLabelOf(const std::wstring& labelFile) {
    if (labelFile.size() > 2 && labelFile[1] == L':' && labelFile[2] == L'\\' &&
        labelFile.find(L'\\', 3) == std::wstring::npos) {
        RereadLabel(labelFile[0]);
    }
}

// Runs a POSIX shell script with the given $1, $2... and waits for it: its
// exit status, or a Wine status when it could not start. Its output goes
// nowhere: the tool's console must show only the tool's own.
long RunShell(const std::string& script, const std::vector<std::string>& args) {
    using Spawn = LONG(WINAPI*)(char* const*, int);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const FARPROC proc = ntdll ? ::GetProcAddress(ntdll, "__wine_unix_spawnvp") : nullptr;
    if (proc == nullptr) {
        return -1;
    }
    std::vector<std::string> argv = {
        "/bin/sh", "-c", "set -e; PATH=/usr/sbin:/sbin:$PATH; exec >/dev/null 2>&1; " + script,
        "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    return reinterpret_cast<Spawn>(reinterpret_cast<void (*)()>(proc))(pointers.data(), 1);
}

// --- carrying the script out -------------------------------------------------

struct Outcome {
    int code;  // 0, kServiceFailed or kInvalidCommand
    std::string text;
    bool syntax = false;  // ends the script even with noerr
    bool exit = false;
};

Outcome Done(const std::string& text) { return Outcome{0, text}; }
Outcome Failed(int code, const std::string& text) { return Outcome{code, text}; }

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string Describe(const mbr::Slot& slot) {
    return "partition " + std::to_string(slot.number) + " (type " + Hex2(slot.type) + ", sectors " +
           std::to_string(slot.start) + "-" + std::to_string(slot.start + slot.sectors - 1) + ")";
}

// sfdisk's number for a partition: MBR slots are 1 to 4, logical drives
// count on from 5, one per extended boot record that holds one. 0 for a
// second data entry in one record, which sfdisk does not list.
int ToolNumber(const mbr::Table& table, const mbr::Slot& selected) {
    if (selected.chainIndex == 0) {
        return selected.slot + 1;
    }
    int number = 4;
    int chain = 0;
    for (const mbr::Slot& slot : table.slots) {
        if (slot.chainIndex == 0 || slot.number == 0) {
            continue;
        }
        const bool second = slot.chainIndex == chain;
        chain = slot.chainIndex;
        number += second ? 0 : 1;
        if (slot.number == selected.number) {
            return second ? 0 : number;
        }
    }
    return 0;
}

// The image of disk `number` (decimal text), when it has one.
bool DiskImage(const std::wstring& drives, const std::string& number, std::wstring& image) {
    long disk = 0;
    image = drives + L"\\" + Widen(number) + L"\\disk.img";
    const DWORD attributes = ::GetFileAttributesW(image.c_str());
    return !drives.empty() && ParseNumber(number, disk) && disk >= 0 &&
           attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

class ImageSession {
public:
    ImageSession(std::wstring drives, std::wstring labelFile)
        : m_drives(std::move(drives)), m_labelFile(std::move(labelFile)) {}

    Outcome Run(const Command& command) {
        if (Matches(command, {"rescan"})) {
            return Done("nothing to rescan");
        }
        if (Matches(command, {"exit"})) {
            Outcome outcome = Done("end of script");
            outcome.exit = true;
            return outcome;
        }
        if (Matches(command, {"select", "disk", "*"})) {
            return SelectDisk(command.words[2]);
        }
        if (Matches(command, {"select", "", "*"})) {
            return SelectPartition(command.words[2]);
        }
        if (Matches(command, {"delete", "", "override"})) {
            return DeletePartition();
        }
        if (Matches(command, {"create", "", "primary"})) {
            return CreatePrimary();
        }
        if (!command.words.empty() && command.words[0] == "format") {
            return Format(command);
        }
        if (Matches(command, {"assign"})) {
            return Assign();
        }
        Outcome outcome = Failed(kInvalidCommand, "not a command this stand-in knows");
        outcome.syntax = true;
        return outcome;
    }

private:
    Outcome SelectDisk(const std::string& number) {
        m_selected = false;
        if (!DiskImage(m_drives, number, m_image)) {
            m_image.clear();
            return Failed(kInvalidCommand, "disk " + number + " has no image");
        }
        m_unixImage = UnixPath(m_image);
        return Done("disk " + number + " selected");
    }

    Outcome SelectPartition(const std::string& text) {
        long number = 0;
        mbr::Table table;
        if (m_image.empty()) {
            return Failed(kInvalidCommand, "no disk selected");
        }
        if (!mbr::ReadTable(m_image, table)) {
            return Failed(kServiceFailed, "the image's partition table cannot be read");
        }
        m_selected = false;
        for (const mbr::Slot& slot : table.slots) {
            if (slot.number != 0 && ParseNumber(text, number) && slot.number == number) {
                m_selected = true;
                m_partition = slot;
                m_toolNumber = ToolNumber(table, slot);
                return Done(Describe(slot) + " selected");
            }
        }
        return Failed(kInvalidCommand, "there is no partition " + text);
    }

    Outcome DeletePartition() {
        if (!m_selected) {
            return Failed(kInvalidCommand, "no partition selected");
        }
        if (m_toolNumber == 0) {
            return Failed(kServiceFailed, "a second partition in one extended boot record");
        }
        const long status = RunShell(std::string(kSfdisk) + " --delete \"$1\" \"$2\"",
                                     {m_unixImage, std::to_string(m_toolNumber)});
        if (status != 0) {
            return Failed(kServiceFailed, "sfdisk ended with " + std::to_string(status));
        }
        m_selected = false;
        // The volume is gone, and with it the label Wine shows for it.
        const std::string label = m_labelFile.empty() ? std::string() : FileBytes(m_labelFile);
        const std::string offset = std::to_string(m_partition.start * mbr::kSectorSize);
        const bool labelled =
            !label.empty() &&
            RunShell("l=$(blkid -p -O \"$2\" -s LABEL -o value \"$1\"); test \"$l\" = \"$3\"",
                     {m_unixImage, offset, label}) == 0;
        if (labelled &&
            (::DeleteFileW(m_labelFile.c_str()) == 0 || ::DeleteFileW(ExtentFile().c_str()) == 0)) {
            return Failed(kServiceFailed, "deleted, but its label file stays");
        }
        if (labelled) {
            RereadLabelOf(m_labelFile);
        }
        return Done(Describe(m_partition) + " deleted");
    }

    Outcome CreatePrimary() {
        mbr::Table table;
        if (m_image.empty()) {
            return Failed(kInvalidCommand, "no disk selected");
        }
        if (!mbr::ReadTable(m_image, table)) {
            return Failed(kServiceFailed, "the image's partition table cannot be read");
        }
        std::size_t free = 0;
        while (free < mbr::kSlotsPerTable && table.slots[free].type != 0) {
            ++free;
        }
        std::uint64_t start = 0;
        std::uint64_t sectors = 0;
        std::string why;
        if (free == mbr::kSlotsPerTable) {
            return Failed(kServiceFailed, "no free MBR slot");
        }
        if (!place::LargestExtent(table, place::ReadRules(table.diskSectors), start, sectors,
                                  why)) {
            return Failed(kServiceFailed, why);
        }
        const long status = RunShell("printf 'start=%s, size=%s, type=6\\n' \"$3\" \"$4\" | " +
                                         std::string(kSfdisk) + " -N \"$2\" \"$1\"",
                                     {m_unixImage, std::to_string(free + 1), std::to_string(start),
                                      std::to_string(sectors)});
        if (status != 0) {
            return Failed(kServiceFailed, "sfdisk ended with " + std::to_string(status));
        }
        // The new partition gets the focus, under the number it now has.
        if (!mbr::ReadTable(m_image, table) || table.slots[free].type != 0x06 ||
            table.slots[free].start != start || table.slots[free].sectors != sectors) {
            return Failed(kServiceFailed, "the new entry is not the one asked for");
        }
        const mbr::Slot made = table.slots[free];
        m_selected = true;
        m_partition = made;
        m_toolNumber = static_cast<int>(free) + 1;
        return Done(Describe(made) + " created in MBR slot " + std::to_string(free + 1) +
                    " and selected");
    }

    Outcome Format(const Command& command) {
        bool quick = false;
        std::string fileSystem;
        std::string label;
        for (std::size_t i = 1; i < command.words.size(); ++i) {
            const std::string& word = command.words[i];
            if (word == "quick") {
                quick = true;
            } else if (word.rfind("fs=", 0) == 0) {
                fileSystem = word.substr(3);
            } else if (word.rfind("label=", 0) == 0) {
                label = command.raw[i].substr(6);
            } else {
                Outcome outcome = Failed(kInvalidCommand, "unknown parameter " + command.raw[i]);
                outcome.syntax = true;
                return outcome;
            }
        }
        if (!m_selected) {
            return Failed(kInvalidCommand, "no partition selected");
        }
        if (!quick || fileSystem != "ntfs") {
            return Failed(kServiceFailed, "only a quick NTFS format is carried out");
        }
        const long status = RunShell(
            "t=$(mktemp -d); trap 'rm -rf \"$t\"' EXIT; size=$(($4 * 512)); "
            "truncate -s \"$size\" \"$t/part\"; "
            "mkntfs -F -Q -q -s 512 -H 255 -S 63 -p \"$3\" -L \"$5\" \"$t/part\"; "
            "test \"$(stat -c %s \"$t/part\")\" -eq \"$size\"; "
            "dd if=\"$t/part\" of=\"$1\" bs=1M seek=$(($3 * 512)) oflag=seek_bytes "
            "conv=notrunc status=none; " +
                std::string(kSfdisk) + " --part-type \"$1\" \"$2\" " + kNtfsType,
            {m_unixImage, std::to_string(m_toolNumber), std::to_string(m_partition.start),
             std::to_string(m_partition.sectors), label});
        if (status != 0) {
            return Failed(kServiceFailed, "formatting ended with " + std::to_string(status));
        }
        m_partition.type = 0x07;
        // Where the volume lies, for the simulated drives' extents answer.
        const std::string extent = std::to_string(m_partition.start * mbr::kSectorSize) + " " +
                                   std::to_string(m_partition.sectors * mbr::kSectorSize) + "\n";
        if (!m_labelFile.empty() && (!WriteWholeFile(m_labelFile, label, CREATE_ALWAYS) ||
                                     !WriteWholeFile(ExtentFile(), extent, CREATE_ALWAYS))) {
            return Failed(kServiceFailed, "formatted, but the label file cannot be written");
        }
        if (!m_labelFile.empty()) {
            RereadLabelOf(m_labelFile);
        }
        return Done(Describe(m_partition) + " formatted NTFS, label " + label);
    }

    Outcome Assign() {
        if (!m_selected) {
            return Failed(kInvalidCommand, "no partition selected");
        }
        const DWORD used = ::GetLogicalDrives();
        for (int letter = 'D' - 'A'; letter < 26; ++letter) {
            if ((used & (1u << letter)) == 0) {
                return Done(std::string("letter ") + static_cast<char>('A' + letter) +
                            ": noted, nothing changed");
            }
        }
        return Failed(kServiceFailed, "no free drive letter");
    }

    // Beside the label: the formatted partition's offset and length in bytes.
    std::wstring ExtentFile() const {
        return m_labelFile.substr(0, m_labelFile.find_last_of(L'\\')) + L"\\.ssdprep-extent";
    }

    std::wstring m_drives;
    std::wstring m_labelFile;  // empty without FAKE_DISKPART_VOLUME
    std::wstring m_image;
    std::string m_unixImage;
    bool m_selected = false;
    mbr::Slot m_partition{};
    int m_toolNumber = 0;
};

// Whether the disk the script first selects has an image.
bool HasImage(const std::vector<Command>& commands, const std::wstring& drives) {
    for (const Command& command : commands) {
        if (Matches(command, {"select", "disk", "*"})) {
            std::wstring image;
            return DiskImage(drives, command.words[2], image);
        }
    }
    return false;
}

int CarryOut(const std::vector<Command>& commands, const std::wstring& drives,
             const std::wstring& labelFile, const Records& records) {
    ImageSession session(drives, labelFile);
    for (const Command& command : commands) {
        const Outcome outcome = session.Run(command);
        std::string line =
            command.text + (outcome.code == 0 ? ": ok, " : ": failed, ") + outcome.text;
        const bool ends = outcome.code != 0 && (outcome.syntax || !command.noerr);
        if (outcome.code != 0) {
            line += ends ? "; the script ends with exit code " + std::to_string(outcome.code)
                         : "; noerr, going on";
        }
        records.Append(L".log", line);
        if (ends) {
            return outcome.code;
        }
        if (outcome.exit) {
            return 0;
        }
    }
    return 0;
}

}  // namespace

int main() {
    const int fixedExit = static_cast<int>(NumberFromEnvironment(L"FAKE_DISKPART_EXIT"));
    const DWORD delay = static_cast<DWORD>(NumberFromEnvironment(L"FAKE_DISKPART_DELAY"));
    const std::wstring drives = FolderFromEnvironment(L"SSDPREP_SIM_DRIVES");
    const std::wstring volume = FolderFromEnvironment(L"FAKE_DISKPART_VOLUME");
    const std::wstring commandLine = ::GetCommandLineW();
    const Records records = ClaimRecords(Environment(L"FAKE_DISKPART_RECORD"), commandLine);
    records.Write(L".startup", StartupRecord());
    records.Write(L".exe", Utf8(ModulePath()));
    records.Write(L".cwd", Utf8(CurrentDirectory()));

    std::wstring script;
    if (!ScriptPath(commandLine, script)) {
        records.Write(L".open", "no script\n");
        ::Sleep(delay);
        records.Write(L".exit", std::to_string(fixedExit));
        return fixedExit;
    }
    int exitCode = fixedExit;
    if (!records.stem.empty() || !drives.empty()) {
        std::string bytes;
        bool read = false;
        const std::string opened = ReadScript(script, bytes, read);
        if (read) {
            records.Write(L".script", bytes);
        }
        records.Write(L".open", opened);
        const std::vector<Command> commands = ParseScript(bytes);
        if (read && HasImage(commands, drives)) {
            if (Environment(L"FAKE_DISKPART_NOCHANGE") == L"1") {
                records.Append(L".log", "not carried out: FAKE_DISKPART_NOCHANGE=1");
                exitCode = 0;
            } else {
                exitCode =
                    CarryOut(commands, drives,
                             volume.empty() ? volume : volume + L"\\.windows-label", records);
            }
        }
    }
    ::Sleep(delay);
    const std::size_t separator = script.find_last_of(L'\\');
    if (separator != std::wstring::npos) {
        records.Write(L".dir", FolderListing(script.substr(0, separator)));
    }
    records.Write(L".exit", std::to_string(exitCode));
    return exitCode;
}

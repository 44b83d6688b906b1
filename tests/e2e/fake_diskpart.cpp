// Test-only stand-in for diskpart.exe, installed into the Wine prefix's
// system folder. It changes no disk: it records how it was started and the
// script it was given, then exits with the code the test asks for.
//
// Environment:
//   FAKE_DISKPART_RECORD  folder (Windows path) for the records; without it
//                         nothing is recorded
//   FAKE_DISKPART_EXIT    exit code, decimal or 0x-hex (default 0)
//   FAKE_DISKPART_DELAY   milliseconds to wait before the last record and the
//                         exit (default 0)
//
// Each start takes the next free number N and writes, in that folder:
//   runN.cmdline  the command line as GetCommandLineW gives it (UTF-8)
//   runN.script   the script's bytes, when it could be read
//   runN.open     "ok" when the script opened with no sharing (so no one
//                 else held it open), "fail <error>" when not, "no script"
//                 when the command line names none; then a line end
//   runN.exe      the path of the program that ran (UTF-8)
//   runN.cwd      its current directory (UTF-8)
//   runN.dir      the names in the script's folder, one a line (UTF-8),
//                 listed after the delay, just before the exit: a caller
//                 that did not wait for this run to end would have written
//                 its next script by then
//   runN.exit     the exit code, in decimal; written last
#include <windows.h>

#include <cwchar>
#include <string>

#include "read_all.h"

namespace {

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

// Writes a whole file; CREATE_NEW fails when the file is there already.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes, DWORD disposition) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
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

void Record(const std::wstring& folder, int exitCode, DWORD delay) {
    const std::wstring commandLine = ::GetCommandLineW();
    // Claiming the number by creating its first file keeps every run of one
    // tool run, in the order they came.
    std::wstring stem;
    for (unsigned number = 1;; ++number) {
        stem = folder + L"\\run" + std::to_wstring(number);
        if (WriteWholeFile(stem + L".cmdline", Utf8(commandLine), CREATE_NEW)) {
            break;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS || number == 10000) {
            return;
        }
    }
    WriteWholeFile(stem + L".exe", Utf8(ModulePath()), CREATE_ALWAYS);
    WriteWholeFile(stem + L".cwd", Utf8(CurrentDirectory()), CREATE_ALWAYS);

    std::wstring script;
    if (!ScriptPath(commandLine, script)) {
        WriteWholeFile(stem + L".open", "no script\n", CREATE_ALWAYS);
        ::Sleep(delay);
        WriteWholeFile(stem + L".exit", std::to_string(exitCode), CREATE_ALWAYS);
        return;
    }
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
        std::string bytes;
        if (ReadAll(file, bytes)) {
            WriteWholeFile(stem + L".script", bytes, CREATE_ALWAYS);
        }
        ::CloseHandle(file);
    }
    WriteWholeFile(stem + L".open", outcome, CREATE_ALWAYS);

    ::Sleep(delay);
    const std::size_t separator = script.find_last_of(L'\\');
    if (separator != std::wstring::npos) {
        WriteWholeFile(stem + L".dir", FolderListing(script.substr(0, separator)), CREATE_ALWAYS);
    }
    WriteWholeFile(stem + L".exit", std::to_string(exitCode), CREATE_ALWAYS);
}

}  // namespace

int main() {
    const int exitCode = static_cast<int>(NumberFromEnvironment(L"FAKE_DISKPART_EXIT"));
    const DWORD delay = static_cast<DWORD>(NumberFromEnvironment(L"FAKE_DISKPART_DELAY"));
    const std::wstring folder = Environment(L"FAKE_DISKPART_RECORD");
    if (folder.empty()) {
        ::Sleep(delay);
    } else {
        Record(folder, exitCode, delay);
    }
    return exitCode;
}

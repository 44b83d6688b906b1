#include "partition/scripts.h"

#include <array>
#include <charconv>
#include <initializer_list>
#include <iterator>

#include "disk/disk.h"
#include "partition/notice.h"
#include "partition/path_checks.h"
#include "partition/process_runner.h"
#include "platform/unique.h"

namespace ssdprep {
namespace {

// Every line ends in CR CR LF: composed ending in CR LF, then given the CR a
// text-mode stream puts before each LF. The bytes are written as they are.
constexpr char kLineEnd[] = "\r\r\n";
constexpr std::size_t kCurrentDirectoryCapacity = 1024;
constexpr char16_t kDeleteFailure[] = u"Fail to create delete DISKPART file.";
constexpr char16_t kCreateFailure[] = u"Fail to create create DISKPART file.";

std::string Lines(std::initializer_list<std::string> lines) {
    std::string script;
    for (const std::string& line : lines) {
        script += line + kLineEnd;
    }
    return script;
}

int WriteAndRunScript(std::u16string_view fileName, const std::string& script,
                      const char16_t* failureText) {
    const std::optional<std::u16string> path = ComposeScriptPath(fileName);
    if (!path || !WriteScriptFile(*path, script)) {
        ShowFailureNotice(failureText);
        return 0;
    }
    return RunDiskpartScript(*path);
}

}  // namespace

std::string Decimal(long long value) {
    char digits[24];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), value);
    static_cast<void>(error);  // cannot fail: 24 characters hold any 64-bit number
    return std::string(std::begin(digits), end);
}

std::string Bytes(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return bytes;
}

std::string ComposeDeleteScript(std::uint32_t driveNumber, int partitionNumber) {
    return Lines({"rescan ", "select disk " + Decimal(driveNumber),
                  "select part " + Decimal(partitionNumber), "delete part override", "exit"});
}

std::string ComposeCreateScript(std::uint32_t driveNumber, const std::u16string& label,
                                const std::u16string& fileSystem) {
    return Lines({"rescan ", "select disk " + Decimal(driveNumber) + " ",
                  "create partition PRIMARY noerr",
                  "format quick fs=" + Bytes(fileSystem) + " label=" + Bytes(label) + " noerr",
                  "assign ", "exit"});
}

std::optional<std::u16string> ComposeScriptPath(std::u16string_view fileName) {
    std::array<char16_t, kCurrentDirectoryCapacity> directory{};
    const std::uint32_t size = kCurrentDirectoryCapacity - 1;
    const std::uint32_t length = platform::GetCurrentDir(size, directory.data());
    // Nothing written, or only the size it would need: an empty directory
    // part would put the script in the root of the current drive.
    if (length == 0 || length >= size) {
        return std::nullopt;
    }
    return std::u16string(directory.data()) + std::u16string(fileName);
}

bool WriteScriptFile(const std::u16string& path, const std::string& bytes) {
    if (!IsPathReachable(path)) {
        return false;
    }
    platform::UniqueFile file(platform::CreateFileHandle(path.c_str(), platform::kGenericWrite, 0,
                                                         platform::kCreateAlways,
                                                         platform::kFileAttributeNormal));
    if (!file.valid()) {
        return false;
    }
    // A cut script could still parse ("select part 1" for "select part 12"):
    // only a whole, closed file may reach the tool.
    std::uint32_t written = 0;
    const int ok = platform::WriteToFile(file.get(), bytes.data(),
                                         static_cast<std::uint32_t>(bytes.size()), &written);
    const bool closed = platform::CloseHandle(file.release()) != 0;
    return ok != 0 && written == bytes.size() && closed;
}

int Disk::DeletePartition(int partitionNumber) const {
    return WriteAndRunScript(kDeleteScriptName, ComposeDeleteScript(m_driveNumber, partitionNumber),
                             kDeleteFailure);
}

int Disk::CreatePartition(const std::u16string& label, const std::u16string& fileSystem) const {
    return WriteAndRunScript(kCreateScriptName,
                             ComposeCreateScript(m_driveNumber, label, fileSystem), kCreateFailure);
}

}  // namespace ssdprep

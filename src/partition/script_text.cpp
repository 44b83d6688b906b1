#include "partition/script_text.h"

#include <array>
#include <initializer_list>

#include "common/text.h"
#include "platform/platform.h"

namespace ssdprep {
namespace {

// Every line ends in CR CR LF: composed ending in CR LF, then given the CR a
// text-mode stream puts before each LF. The bytes are written as they are.
constexpr char kLineEnd[] = "\r\r\n";
constexpr std::size_t kCurrentDirectoryCapacity = 1024;

std::string Lines(std::initializer_list<std::string> lines) {
    std::string script;
    for (const std::string& line : lines) {
        script += line + kLineEnd;
    }
    return script;
}

}  // namespace

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

}  // namespace ssdprep

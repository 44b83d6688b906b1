#include "partition/command_line.h"

#include <array>

#include "platform/platform.h"

namespace ssdprep {
namespace {

constexpr char16_t kDiskpartCommand[] = u"Diskpart /s \"";
constexpr char16_t kDiskpartFileName[] = u"\\diskpart.exe";

}  // namespace

std::u16string ComposeDiskpartCommandLine(const std::u16string& scriptPath) {
    return kDiskpartCommand + scriptPath;
}

std::optional<std::u16string> DiskpartApplicationPath() {
    std::array<char16_t, platform::kMaxPath> directory{};
    const std::uint32_t length = platform::GetSystemDir(directory.data(), platform::kMaxPath);
    if (length == 0 || length >= platform::kMaxPath) {
        return std::nullopt;
    }
    return std::u16string(directory.data(), length) + kDiskpartFileName;
}

}  // namespace ssdprep

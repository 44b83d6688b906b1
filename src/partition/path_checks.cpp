#include "partition/path_checks.h"

#include <array>

#include "platform/platform.h"

namespace ssdprep {

bool IsPathReachable(const std::u16string& path) {
    if (path.size() >= platform::kMaxPath) {
        return false;
    }
    std::array<char16_t, platform::kMaxPath> full{};
    const std::uint32_t length =
        platform::GetFullPath(path.c_str(), platform::kMaxPath, full.data());
    if (length == 0 || length >= platform::kMaxPath) {
        return false;
    }
    std::array<char16_t, platform::kMaxPath> root = full;
    platform::StripPathToRoot(root.data());
    if (platform::IsUncPath(root.data()) != 0) {
        return true;
    }
    return platform::QueryVolumeInformation(root.data()) != 0;
}

}  // namespace ssdprep

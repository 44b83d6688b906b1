#include "partition/path_checks.h"

#include <array>

#include "platform/platform.h"

namespace ssdprep {

PathCheck CheckPath(const std::u16string& path) {
    PathCheck check;
    if (path.size() >= platform::kMaxPath) {
        return check;
    }
    std::array<char16_t, platform::kMaxPath> full{};
    const std::uint32_t length =
        platform::GetFullPath(path.c_str(), platform::kMaxPath, full.data());
    if (length == 0 || length >= platform::kMaxPath) {
        check.status = length == 0 ? PathStatus::NotResolved : PathStatus::FullPathTooLong;
        return check;
    }
    std::array<char16_t, platform::kMaxPath> root = full;
    platform::StripPathToRoot(root.data());
    check.root = root.data();
    check.network = platform::IsUncPath(root.data()) != 0;
    check.status = check.network || platform::QueryVolumeInformation(root.data()) != 0
                       ? PathStatus::Reachable
                       : PathStatus::VolumeUnreadable;
    return check;
}

bool IsPathReachable(const std::u16string& path) {
    return CheckPath(path).status == PathStatus::Reachable;
}

}  // namespace ssdprep

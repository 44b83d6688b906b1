#include "deploy/work_dir.h"

#include <array>

#include "common/text.h"
#include "deploy/log.h"
#include "platform/deploy.h"

namespace ssdprep::deploy {
namespace {

constexpr char16_t kProbeName[] = u"\\ssdprep-deploy.probe";
// The tool's script paths must stay under 260 characters.
constexpr std::size_t kLongestWorkDir = 238;
// Enough for any work dir that can serve, which is shorter still.
constexpr std::size_t kFullPathCapacity = platform::kMaxPath;

// GetDriveTypeW's answers other than a fixed drive, in words.
const char* DriveKind(std::uint32_t type) {
    switch (type) {
        case platform::kDriveUnknown:
            return "a drive whose type cannot be told";
        case platform::kDriveNoRootDir:
            return "no mounted volume";
        case platform::kDriveRemovable:
            return "a removable drive";
        case platform::kDriveRemote:
            return "a network drive";
        case platform::kDriveCdrom:
            return "a CD-ROM drive";
        case platform::kDriveRamdisk:
            return "a RAM disk";
        default:
            return "a drive of an unknown type";
    }
}

// Why the folder is not on a local fixed drive, or empty.
std::string NotLocalFixed(const std::u16string& fullPath) {
    if (!IsDrivePath(fullPath)) {
        return "is not on a local drive";
    }
    std::array<char16_t, kFullPathCapacity> root{};
    if (platform::GetVolumePath(fullPath.c_str(), root.data(),
                                static_cast<std::uint32_t>(root.size())) == 0) {
        return "is on a volume that cannot be told: " + ErrorText(platform::LastError());
    }
    const std::uint32_t type = platform::DriveType(root.data());
    if (type != platform::kDriveFixed) {
        return "is on " + std::string(DriveKind(type)) + " (" + Utf8(root.data()) +
               "), not a local fixed drive";
    }
    return "";
}

}  // namespace

bool IsDrivePath(const std::u16string& path) {
    const char16_t letter = path.empty() ? u'\0' : static_cast<char16_t>(path[0] | 0x20);
    return letter >= u'a' && letter <= u'z' && path.substr(1, 2) == u":\\";
}

std::u16string ResolveWorkDir(const std::u16string& given, const std::u16string& programDir) {
    std::u16string workDir = given.empty() ? programDir : given;
    std::array<char16_t, kFullPathCapacity> full{};
    const std::uint32_t length = platform::GetFullPath(
        workDir.c_str(), static_cast<std::uint32_t>(full.size()), full.data());
    // A path too long for the buffer stays as given; the length check refuses it.
    if (length != 0 && length < full.size()) {
        workDir = full.data();
    }
    while (workDir.size() > 3 && workDir.back() == u'\\') {
        workDir.pop_back();
    }
    return workDir;
}

std::string CheckWorkDir(const std::u16string& fullPath, bool given) {
    const std::string where = "the work dir " + Utf8(fullPath);
    if (const std::string why = NotLocalFixed(fullPath); !why.empty()) {
        return where + " " + why +
               (given ? ""
                      : "; give --work-dir with a folder on a local fixed drive, such as "
                        "--work-dir C:\\ssdprep");
    }
    if (fullPath.size() > kLongestWorkDir) {
        return where + " has " + Decimal(static_cast<long long>(fullPath.size())) +
               " characters, and ssdprep.exe's scripts need it to have at most 238";
    }
    const std::u16string probe = Within(fullPath, kProbeName);
    const platform::OwnFile file(platform::OpenFile(
        probe.c_str(), platform::kGenericWrite, 0, false, platform::kCreateAlways,
        platform::kFileAttributeTemporary | platform::kFileFlagDeleteOnClose));
    if (!file.valid()) {
        return "cannot write in " + where + ": " + ErrorText(platform::LastError());
    }
    return "";
}

}  // namespace ssdprep::deploy

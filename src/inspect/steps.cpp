#include "inspect/steps.h"

#include <optional>

#include "common/text.h"
#include "partition/command_line.h"
#include "partition/path_checks.h"
#include "partition/script_text.h"
#include "platform/platform.h"

namespace ssdprep {
namespace {

std::string Characters(const std::u16string& text) {
    return Decimal(static_cast<long long>(text.size())) + " characters";
}

// The tool creates its script with CREATE_ALWAYS and normal attributes,
// which Windows refuses (access denied) where a hidden or system file of
// that name exists; a read-only file refuses write access, and a folder is
// no file. A plain file it empties and rewrites.
std::string Unreplaceable(const std::u16string& path) {
    std::uint32_t attributes = 0;
    if (platform::QueryFileAttributes(path.c_str(), &attributes) == 0) {
        return "";
    }
    if ((attributes & platform::kFileAttributeDirectory) != 0) {
        return "a folder";
    }
    std::string names;
    for (const auto& [flag, name] : {std::pair{platform::kFileAttributeHidden, "hidden"},
                                     std::pair{platform::kFileAttributeSystem, "system"},
                                     std::pair{platform::kFileAttributeReadOnly, "read-only"}}) {
        if ((attributes & flag) != 0) {
            names += (names.empty() ? "a " : ", ") + std::string(name);
        }
    }
    return names.empty() ? "" : names + " file";
}

StepCheck CheckScriptPath(std::u16string_view fileName, const std::u16string& path,
                          const PathCheck& check) {
    StepCheck step{Bytes(fileName.substr(1)), false, ""};
    switch (check.status) {
        case PathStatus::Reachable:
            if (const std::string what = Unreplaceable(path); !what.empty()) {
                step.reason = Bytes(path) + " is " + what + ", which ssdprep.exe cannot replace";
                break;
            }
            step.ok = true;
            step.reason = Bytes(path) + " (" + Characters(path) + ")";
            break;
        case PathStatus::TooLong:
            step.reason = Bytes(path) + " has " + Characters(path) + ", and 259 is the most";
            break;
        case PathStatus::NotResolved:
            step.reason = "the full path of " + Bytes(path) + " cannot be resolved";
            break;
        case PathStatus::FullPathTooLong:
            step.reason = "the full path of " + Bytes(path) + " has 260 characters or more";
            break;
        case PathStatus::VolumeUnreadable:
            step.reason = "the volume " + Bytes(check.root) + " does not answer";
            break;
    }
    return step;
}

// Only writing would tell for sure; what can be read is whether the volume
// is read-only. The read-only attribute of a folder is shown too, though
// Windows does not honour it on folders.
StepCheck CheckWritable(const std::u16string& directory, const PathCheck& check) {
    StepCheck step{"writable", true, "not checked: only writing can tell"};
    std::uint32_t flags = 0;
    if (check.status == PathStatus::Reachable && !check.network &&
        platform::QueryVolumeInformation(check.root.c_str(), nullptr, 0, &flags) != 0 &&
        (flags & platform::kFileReadOnlyVolume) != 0) {
        step.ok = false;
        step.reason = "the volume " + Bytes(check.root) + " is read-only";
        return step;
    }
    std::uint32_t attributes = 0;
    if (platform::QueryFileAttributes(directory.c_str(), &attributes) != 0 &&
        (attributes & platform::kFileAttributeReadOnly) != 0) {
        step.reason +=
            " (the folder has the read-only attribute, which Windows does not "
            "honour on folders)";
    }
    return step;
}

StepCheck CheckPartitioningTool() {
    StepCheck step{"partitioning tool", false, "", false};
    const std::optional<std::u16string> path = DiskpartApplicationPath();
    std::uint32_t attributes = 0;
    if (!path) {
        step.reason = "the system directory cannot be read";
    } else if (platform::QueryFileAttributes(path->c_str(), &attributes) == 0 ||
               (attributes & platform::kFileAttributeDirectory) != 0) {
        step.reason = "no file at " + Bytes(*path);
    } else {
        step.ok = true;
        step.reason = Bytes(*path);
    }
    return step;
}

}  // namespace

std::vector<StepCheck> CheckPartitionSteps() {
    std::vector<StepCheck> steps;
    const std::optional<std::u16string> deletePath = ComposeScriptPath(kDeleteScriptName);
    if (!deletePath) {
        steps.push_back(
            {"current directory", false, "cannot be read whole, so no script can be written"});
    } else {
        const std::u16string directory =
            deletePath->substr(0, deletePath->size() - kDeleteScriptName.size());
        const std::u16string createPath = directory + std::u16string(kCreateScriptName);
        const PathCheck deleteCheck = CheckPath(*deletePath);
        steps.push_back({"current directory", true, Bytes(directory)});
        steps.push_back(CheckScriptPath(kDeleteScriptName, *deletePath, deleteCheck));
        steps.push_back(CheckScriptPath(kCreateScriptName, createPath, CheckPath(createPath)));
        steps.push_back(CheckWritable(directory, deleteCheck));
    }
    steps.push_back(CheckPartitioningTool());
    return steps;
}

}  // namespace ssdprep

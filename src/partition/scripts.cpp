#include "partition/scripts.h"

#include "disk/disk.h"
#include "partition/notice.h"
#include "partition/path_checks.h"
#include "partition/process_runner.h"
#include "platform/changes.h"

namespace ssdprep {
namespace {

constexpr char16_t kDeleteFailure[] = u"Fail to create delete DISKPART file.";
constexpr char16_t kCreateFailure[] = u"Fail to create create DISKPART file.";

int WriteAndRunScript(std::u16string_view fileName, const std::string& script,
                      const char16_t* failureText, bool* toolStarted) {
    const std::optional<std::u16string> path = ComposeScriptPath(fileName);
    if (!path || !WriteScriptFile(*path, script)) {
        ShowFailureNotice(failureText);
        return 0;
    }
    return RunDiskpartScript(*path, toolStarted);
}

}  // namespace

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

int Disk::DeletePartition(int partitionNumber, bool* toolStarted) const {
    return WriteAndRunScript(kDeleteScriptName, ComposeDeleteScript(m_driveNumber, partitionNumber),
                             kDeleteFailure, toolStarted);
}

int Disk::CreatePartition(const std::u16string& label, const std::u16string& fileSystem) const {
    return WriteAndRunScript(kCreateScriptName,
                             ComposeCreateScript(m_driveNumber, label, fileSystem), kCreateFailure,
                             nullptr);
}

}  // namespace ssdprep

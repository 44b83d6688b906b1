#include "deploy/state.h"

#include "common/text.h"
#include "deploy/identity.h"
#include "deploy/log.h"
#include "deploy/record.h"
#include "platform/deploy.h"

namespace ssdprep::deploy {

RunState ParseState(const std::string& text) {
    RunState state;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, end - start);
        while (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        start = end + 1;
        if (const std::optional<DiskIdentity> disk = ParseIdentityLine(line)) {
            state.disk = disk;
        } else if (!line.empty()) {
            const std::size_t blank = line.find(' ');
            state.last = line.substr(0, blank);
            state.at = blank == std::string::npos ? "" : line.substr(blank + 1);
        }
    }
    return state;
}

std::string StartedText(const std::string& when, const std::optional<DiskIdentity>& disk) {
    return "started " + when + "\r\n" + (disk ? IdentityLine(*disk) + "\r\n" : "");
}

std::string WriteState(const std::u16string& path, const std::string& text,
                       const std::optional<DiskIdentity>& disk, bool fresh) {
    const platform::OwnFile file(platform::OpenFile(path.c_str(), platform::kGenericWrite, 0, false,
                                                    platform::kCreateAlways,
                                                    platform::kFileAttributeNormal));
    std::uint32_t written{};
    // The error is taken before the close, which may set it anew.
    if (!file.valid() ||
        platform::WriteHandle(file.get(), text.data(), static_cast<std::uint32_t>(text.size()),
                              &written) == 0 ||
        written != text.size() || platform::FlushHandle(file.get()) == 0) {
        return "cannot write " + Utf8(path) + ": " + ErrorText(platform::LastError());
    }
    if (fresh) {
        if (std::string problem = RemoveRecord(); !problem.empty()) {
            return problem;
        }
    }
    return WriteRecord(text, disk);
}

std::string RemoveFile(const std::u16string& path) {
    if (platform::DeletePath(path.c_str()) != 0) {
        return "";
    }
    const std::uint32_t error = platform::LastError();
    return error == static_cast<std::uint32_t>(platform::kErrorFileNotFound)
               ? ""
               : "cannot remove " + Utf8(path) + ": " + ErrorText(error);
}

}  // namespace ssdprep::deploy

// Traces an earlier run of ssdprep-deploy.exe or ssdprep.exe left on this
// machine: the tool is never started again where there is one. Reading only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ssdprep::deploy {

inline constexpr char16_t kStateName[] = u"\\ssdprep-deploy.state";

struct Evidence {
    bool found = false;
    std::vector<std::string> lines;  // for the log: what was found, and what was passed over
};

// The state file and the tool's two scripts in the work dir; the registry
// record, unless its disk signature and drive 0's (`signature`) are both
// known and differ; and every volume labelled TEMP_PART01 on a fixed drive
// letter, when it lies on drive 0 or where it lies cannot be read. Network,
// removable and CD-ROM letters are never asked for a label.
Evidence GatherEvidence(const std::u16string& workDir, std::optional<std::uint32_t> signature);

}  // namespace ssdprep::deploy

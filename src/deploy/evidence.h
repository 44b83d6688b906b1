// Traces an earlier run of ssdprep-deploy.exe or ssdprep.exe left on this
// machine, weighed by the disk they belong to: the tool is never started
// again where one of them counts. Reading only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "disk/layout.h"

namespace ssdprep::deploy {

struct Evidence {
    bool found = false;  // something counts
    // A state file or the record says "done" and names drive 0: when.
    std::optional<std::string> doneHere;
    // A state file or the record that counts says a run started and did
    // not end "done".
    bool unfinished = false;
    std::vector<std::string> lines;  // for the log: what was found, and what was passed over
};

// The one rule. The state file in the work dir and the registry record
// each count unless both they and drive 0 (`drive0`) have a known identity
// and the two differ (an image captured after a run, applied to another
// disk); one without an identity counts. The tool's two scripts in the work
// dir count unless the state file beside them came from another disk. A
// volume labelled TEMP_PART01 on a fixed drive letter counts when it lies
// on drive 0 or where it lies cannot be read.
Evidence GatherEvidence(const std::u16string& workDir, const std::optional<DiskIdentity>& drive0);

}  // namespace ssdprep::deploy

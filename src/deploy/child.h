// The programs ssdprep-deploy starts, and where they find and leave things.
#pragma once

#include <cstdint>
#include <string>

#include "deploy/decision.h"
#include "deploy/log.h"

namespace ssdprep::deploy {

struct Paths {
    std::u16string workDir;  // full path
    std::u16string tool;
    std::u16string report;
    std::u16string state;
};

// Starts one program with the work dir as its current directory and its
// output in the log, and waits at most `milliseconds` for it; one that runs
// longer is ended.
ChildOutcome RunChild(const Log& log, const Paths& paths, const std::u16string& program,
                      const std::u16string& arguments, std::uint32_t milliseconds);

}  // namespace ssdprep::deploy

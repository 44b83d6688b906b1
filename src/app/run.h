// The whole life of the process: initialisation, banner, gates, partition
// changes and the exit code.
#pragma once

#include <string>

#include "app/plan.h"
#include "platform/platform.h"

namespace ssdprep {

// 0: both partition changes carried out; 1: a gate declined; 2: a partition
// change could not be carried out (its script could not be written, or the
// partitioning tool could not be started or did not end).
inline constexpr int kExitDone = 0;
inline constexpr int kExitDeclined = 1;
inline constexpr int kExitNotCarriedOut = 2;

inline constexpr char kBannerPurpose[] =
    "This program is used to configure HDD environment after iRST driver installation.\n";
inline constexpr char kBannerDelete[] = "\t- Delete the hibernate partition.\n";
inline constexpr char kBannerCreate[] = "\t- Create D partition again.\n";
inline constexpr char kNotAuditMode[] = "This program only runs on audit model. Return.\n";
inline constexpr char kNotSsdOnly[] =
    "This is not SSD-only model, don't need to be configured. Return.\n";

struct ProcessIdentity {
    platform::Handle instance;
    const char16_t* commandLine;
    std::u16string title;
};

// AddCriticalErrorFlags, then fetches what identifies the process.
ProcessIdentity InitializeProcess();
// The run from the banner to the exit code.
int RunSsdPrep();

}  // namespace ssdprep

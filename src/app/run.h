// The whole life of the process: initialisation, banner, gates, partition
// changes and the exit code.
#pragma once

#include <string>

#include "platform/platform.h"

namespace ssdprep {

// 0: both partition changes carried out; 1: a gate declined; 2: a partition
// change could not be carried out (its script could not be written, or the
// partitioning tool could not be started or did not end).
inline constexpr int kExitDone = 0;
inline constexpr int kExitDeclined = 1;
inline constexpr int kExitNotCarriedOut = 2;

inline constexpr char16_t kNewPartitionLabel[] = u"TEMP_PART01";
inline constexpr char16_t kNewPartitionFileSystem[] = u"ntfs";

inline constexpr char kBannerPurpose[] =
    "This program is used to configure HDD environment after iRST driver installation.\n";
inline constexpr char kBannerDelete[] = "\t- Delete the hibernate partition.\n";
inline constexpr char kBannerCreate[] = "\t- Create D partition again.\n";
inline constexpr char kNotAuditMode[] = "This program only runs on audit model. Return.\n";
inline constexpr char kNotSsdOnly[] =
    "This is not SSD-only model, don't need to be configured. Return.\n";

enum class Verdict { NotAuditMode, NotSsdOnly, WouldChange };

// The gates in their order: the second is asked only when the first passes.
template <typename AuditGate, typename SsdOnlyGate>
Verdict DecideGates(AuditGate isAuditMode, SsdOnlyGate isSsdOnlyModel) {
    if (isAuditMode() == 0) {
        return Verdict::NotAuditMode;
    }
    if (isSsdOnlyModel() == 0) {
        return Verdict::NotSsdOnly;
    }
    return Verdict::WouldChange;
}

struct ProcessIdentity {
    platform::Handle instance;
    const char16_t* commandLine;
    std::u16string title;
};

// Adds the critical-error flags to the process's error mode: critical
// errors (a drive not ready, say) come back as failed calls instead of
// message boxes, and the programs it starts inherit this.
void AddCriticalErrorFlags();
// AddCriticalErrorFlags, then fetches what identifies the process.
ProcessIdentity InitializeProcess();
// The run from the banner to the exit code.
int RunSsdPrep();

}  // namespace ssdprep

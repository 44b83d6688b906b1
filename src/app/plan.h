// What both the tool and its report decide the same way: the gates in their
// order, the new partition's fixed label and file system, and the error mode
// both programs run with.
#pragma once

#include <cstdint>

namespace ssdprep {

inline constexpr char16_t kNewPartitionLabel[] = u"TEMP_PART01";
inline constexpr char16_t kNewPartitionFileSystem[] = u"ntfs";

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

// Adds the critical-error flags to the process's error mode: critical
// errors (a drive not ready, say) come back as failed calls instead of
// message boxes, and the programs it starts inherit this.
void AddCriticalErrorFlags();
// Adds these flags to the error mode the process has, keeping the rest.
void AddErrorModeFlags(std::uint32_t flags);

}  // namespace ssdprep

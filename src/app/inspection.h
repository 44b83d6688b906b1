// ssdprep-inspect: what ssdprep.exe reads on this machine, what it decides
// from it and what it would do, read the same way and decided by the same
// functions, changing nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/audit_mode.h"
#include "app/run.h"
#include "disk/disk.h"
#include "disk/layout.h"
#include "disk/solid_state.h"

namespace ssdprep {

inline constexpr int kInspectWouldChange = 0;
inline constexpr int kInspectDeclined = 1;
inline constexpr int kInspectUsage = 2;

struct Inspection {
    AuditFacts audit;
    int auditMode = 0;
    DrivePresence presence{};
    DriveBuses buses{};
    int internalDrives = 0;
    BusAnswer drive0Bus;
    IdentifyAnswer drive0Identify;
    SsdOnlyOutcome ssdOnly = SsdOnlyOutcome::NotOneInternalDrive;
    LayoutAnswer layout;  // the search's first read
    int hibernationPartition = kNoPartition;
    Verdict verdict = Verdict::NotAuditMode;
    std::string deleteScript;
    std::string createScript;
};

// Reads everything the tool reads, in its order, whatever the gates decide:
// the audit facts, drives 0 to 4, drive 0's bus, identify data and layout.
Inspection Inspect();

std::string FormatReport(const Inspection& inspection, std::string_view version);
std::string FormatJson(const Inspection& inspection, std::string_view version);

// The whole program: arguments, report, exit code.
int RunInspector(const std::vector<std::string>& arguments, std::string_view version);

}  // namespace ssdprep

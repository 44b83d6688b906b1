// ssdprep-inspect: what ssdprep.exe reads on this machine, what it decides
// from it and what it would do, read the same way and decided by the same
// functions, changing nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/audit_mode.h"
#include "app/plan.h"
#include "disk/disk.h"
#include "disk/layout.h"
#include "disk/solid_state.h"
#include "inspect/rules.h"
#include "inspect/steps.h"

namespace ssdprep {

// The report's exit codes, each with its own verdict.
enum class Outcome {
    WouldChange = 0,      // deletes hibernation partition N, creates the new one
    Declined = 1,         // a gate declines
    Usage = 2,            // an argument it does not know
    WouldStop = 3,        // the gates pass, a step's check fails: the tool ends with 2
    NothingToDelete = 4,  // the gates pass, no hibernation partition: it only adds one
    WouldHalfChange = 5,  // it would delete the hibernation partition, and could not create
};

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
    StyleAnswer style;        // the report's own reads, after all of the tool's
    GeometryAnswer geometry;  // the second of them
    PlacementRules rules;     // then the version and alignment the placement follows
    Verdict verdict = Verdict::NotAuditMode;
    std::vector<StepCheck> steps;  // only when both gates pass
    std::string deleteScript;
    std::string createScript;
};

// Reads everything the tool reads, in its order, whatever the gates decide:
// the audit facts, drives 0 to 4, drive 0's bus, identify data and layout;
// then drive 0's partition style and geometry, the placement's rules and,
// when both gates pass, the checks the tool makes before the partition
// steps.
Inspection Inspect();
Outcome Decide(const Inspection& inspection);

std::string FormatReport(const Inspection& inspection, std::string_view version);
std::string FormatJson(const Inspection& inspection, std::string_view version);

// Why a layout could not be read, in words an engineer can act on.
std::string LayoutFailure(const LayoutAnswer& layout, const StyleAnswer& style);
// The exit codes, as the report and --help list them.
extern const char kExitCodeTable[];

}  // namespace ssdprep

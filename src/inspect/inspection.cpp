// The report's gathering and deciding: every fact the tool reads, read the
// same way, and the exit code that foretells the tool's.
#include "inspect/inspection.h"

#include "common/text.h"
#include "inspect/create.h"
#include "inspect/shared.h"
#include "partition/script_text.h"
#include "platform/platform.h"

namespace ssdprep {

std::string LayoutFailure(const LayoutAnswer& layout, const StyleAnswer& style) {
    const std::string code = " (error " + Decimal(layout.error) + ")";
    if (!layout.opened) {
        return (layout.error == platform::kErrorAccessDenied ? "no read access"
                                                             : "drive 0 did not open") +
               code;
    }
    if (style.read && style.style == kPartitionStyleGpt) {
        return "not an MBR disk (GPT)" + code;
    }
    if (layout.error == platform::kErrorInsufficientBuffer) {
        return "more than 16 layout entries (four or more logical drives)" + code;
    }
    return "the layout request failed" + code;
}

Inspection Inspect() {
    Inspection in;
    in.audit = ReadAuditFacts();
    in.auditMode = DecideAuditMode(in.audit);
    in.presence = ReadDrivePresence();
    in.buses = ReadDriveBuses();
    in.internalDrives = CountInternal(in.presence, in.buses);

    const Disk disk(kTargetDrive);
    in.drive0Bus = QueryBus(disk);
    in.drive0Identify = QueryIdentify(disk);
    in.ssdOnly = DecideSsdOnly(
        in.internalDrives, [&] { return ClassifyBus(in.drive0Bus); },
        [&] { return IdentifyAnswerIsSolidState(in.drive0Identify); });
    in.hibernationPartition = SearchHibernationPartition(
        [&] {
            in.layout = QueryLayout(disk);
            return RecognizedCountOrZero(in.layout);
        },
        [&](int number) { return PartitionTypeOrNone(QueryLayout(disk), number); });
    in.style = QueryPartitionStyle(disk);
    in.geometry = QueryGeometry(disk);
    in.rules = ReadPlacementRules(in.audit.majorVersion);

    in.verdict = DecideGates([&] { return in.auditMode; },
                             [&] { return in.ssdOnly == SsdOnlyOutcome::SsdOnly ? 1 : 0; });
    if (in.verdict == Verdict::WouldChange) {
        in.steps = CheckPartitionSteps();
    }
    in.deleteScript = ComposeDeleteScript(kTargetDrive, in.hibernationPartition);
    in.createScript =
        ComposeCreateScript(kTargetDrive, kNewPartitionLabel, kNewPartitionFileSystem);
    return in;
}

Outcome Decide(const Inspection& in) {
    if (in.verdict != Verdict::WouldChange) {
        return Outcome::Declined;
    }
    if (FirstFailedStep(in) != nullptr) {
        return Outcome::WouldStop;
    }
    if (in.hibernationPartition == kNoPartition) {
        return Outcome::NothingToDelete;
    }
    return CannotCreate(ModelCreate(in)) ? Outcome::WouldHalfChange : Outcome::WouldChange;
}

}  // namespace ssdprep

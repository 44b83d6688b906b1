// The report as one JSON object, for a record to keep.
#include "common/text.h"
#include "inspect/create.h"
#include "inspect/inspection.h"
#include "inspect/shared.h"

namespace ssdprep {
namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }

// "offset": N, "length": N, in bytes.
std::string Where(std::uint64_t offset, std::uint64_t length) {
    return "\"offset\": " + Decimal(static_cast<long long>(offset)) +
           ", \"length\": " + Decimal(static_cast<long long>(length));
}

const char* VerdictName(Outcome outcome, Verdict verdict) {
    switch (outcome) {
        case Outcome::Declined:
            return verdict == Verdict::NotAuditMode ? "not-audit" : "not-ssd-only";
        case Outcome::WouldStop:
            return "would-stop";
        case Outcome::NothingToDelete:
            return "nothing-to-delete";
        case Outcome::WouldHalfChange:
            return "would-half-change";
        case Outcome::WouldChange:
        case Outcome::Usage:
            break;
    }
    return "would-change";
}

}  // namespace

std::string FormatJson(const Inspection& in, std::string_view version) {
    const AuditFacts& audit = in.audit;
    const bool fileForm = UsesFileForm(audit.majorVersion);
    std::string j = "{\n";
    j += "  \"version\": " + Quoted(version) + ",\n";
    j += "  \"windows_major\": " + Decimal(audit.majorVersion) + ",\n";
    j += std::string("  \"audit_form\": ") + (fileForm ? "\"files\"" : "\"registry\"") + ",\n";
    j += "  \"image_state\": " +
         (fileForm ? std::string("null") : Quoted(ImageStateText(audit.imageState.buffer))) + ",\n";
    j += "  \"sysprep_files\": " +
         (fileForm
              ? "{" + Quoted(std::u16string_view(kSysprepPath)) + ": " +
                    Bool(audit.sysprepPresent) + ", " + Quoted(std::u16string_view(kSysprpPath)) +
                    ": " + Bool(audit.sysprpPresent) + "}"
              : std::string("null")) +
         ",\n";
    j += std::string("  \"audit_mode\": ") + Bool(in.auditMode != 0) + ",\n";
    j += "  \"drives\": [\n";
    for (std::uint32_t n = 0; n < kProbedDriveCount; ++n) {
        const BusAnswer& bus = in.buses[n];
        j += "    {\"number\": " + Decimal(n) + ", \"present\": " + Bool(in.presence[n]) +
             ", \"bus_type\": " +
             (bus.answered ? Decimal(BusTypeOf(bus.reply)) : std::string("null")) +
             ", \"usb\": " + Bool(ClassifyBus(bus) == DriveBus::Usb) + "}" +
             (n + 1 < kProbedDriveCount ? ",\n" : "\n");
    }
    j += "  ],\n";
    j += "  \"internal_drives\": " + Decimal(in.internalDrives) + ",\n";
    const DriveBus drive0 = ClassifyBus(in.drive0Bus);
    j += std::string("  \"drive0_usb\": ") +
         (drive0 == DriveBus::Unconfirmed ? "null" : Bool(drive0 == DriveBus::Usb)) + ",\n";
    const std::optional<int> word = Word217(in.drive0Identify);
    j += "  \"word217\": " + (word ? Decimal(*word) : std::string("null")) + ",\n";
    j += std::string("  \"ssd_only\": ") + Bool(in.ssdOnly == SsdOnlyOutcome::SsdOnly) + ",\n";
    j += std::string("  \"layout_readable\": ") + Bool(in.layout.read) + ",\n";
    j +=
        "  \"layout_error\": " + (in.layout.read ? std::string("null") : Decimal(in.layout.error)) +
        ",\n";
    const char* style = StyleName(in.style);
    j += "  \"partition_style\": " +
         (style != nullptr ? Quoted(std::string_view(style)) : std::string("null")) + ",\n";
    j += "  \"disk_size\": " +
         (in.geometry.read ? Decimal(static_cast<long long>(in.geometry.diskSize))
                           : std::string("null")) +
         ",\n";
    j += "  \"partitions\": [";
    std::string extended = "null";
    std::string separator;
    for (const LayoutEntry& entry : ShownEntries(in)) {
        if (!entry.recognized) {
            extended = "{" + Where(entry.offset, entry.length) + "}";
            continue;
        }
        j += separator + "{\"number\": " + Decimal(entry.number) +
             ", \"type\": " + Decimal(entry.type) + ", " + Where(entry.offset, entry.length) +
             ", \"kind\": \"" + Kind(entry) + "\"}";
        separator = ", ";
    }
    j += "],\n";
    j += "  \"extended\": " + extended + ",\n";
    j += "  \"hibernation_partition\": " + Decimal(in.hibernationPartition) + ",\n";
    const CreateModel model = ModelCreate(in);
    const bool placed = model.placement && model.placement->partition;
    j +=
        "  \"new_partition\": " +
        (placed
             ? "{" + Where(model.placement->partition->offset, model.placement->partition->length) +
                   "}"
             : std::string("null")) +
        ",\n";
    const std::string problem = CreateProblem(model);
    j += "  \"create_problem\": " + (problem.empty() ? std::string("null") : Quoted(problem)) +
         ",\n";
    j += "  \"steps\": [";
    for (std::size_t i = 0; i < in.steps.size(); ++i) {
        j += (i == 0 ? "" : ", ") + std::string("{\"name\": ") + Quoted(in.steps[i].name) +
             ", \"ok\": " + Bool(in.steps[i].ok) + ", \"reason\": " + Quoted(in.steps[i].reason) +
             "}";
    }
    j += "],\n";
    j += std::string("  \"verdict\": \"") + VerdictName(Decide(in), in.verdict) + "\",\n";
    const bool gatesPass = in.verdict == Verdict::WouldChange;
    j += "  \"delete_script\": " + (gatesPass ? Quoted(in.deleteScript) : "null") + ",\n";
    j += "  \"create_script\": " + (gatesPass ? Quoted(in.createScript) : "null") + "\n";
    return j + "}\n";
}

}  // namespace ssdprep

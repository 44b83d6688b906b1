// The report as one JSON object, for a record to keep.
#include "common/text.h"
#include "inspect/create.h"
#include "inspect/inspection.h"
#include "inspect/shared.h"

namespace ssdprep {
namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }

// A number, or null when it was not read.
std::string Number(bool read, std::uint64_t value) {
    return read ? Decimal(static_cast<long long>(value)) : "null";
}

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
    std::string j = Cat(
        {"{\n  \"version\": ", Quoted(version),
         ",\n  \"windows_major\": ", Decimal(audit.majorVersion),
         ",\n  \"audit_form\": ", fileForm ? "\"files\"" : "\"registry\"", ",\n  \"image_state\": ",
         fileForm ? "null" : Quoted(ImageStateText(audit.imageState.buffer)),
         ",\n  \"sysprep_files\": ",
         fileForm ? Cat({"{", Quoted(std::u16string_view(kSysprepPath)), ": ",
                         Bool(audit.sysprepPresent), ", ", Quoted(std::u16string_view(kSysprpPath)),
                         ": ", Bool(audit.sysprpPresent), "}"})
                  : "null",
         ",\n  \"audit_mode\": ", Bool(in.auditMode != 0), ",\n"});
    j += "  \"drives\": [\n";
    for (std::uint32_t n = 0; n < kProbedDriveCount; ++n) {
        const BusAnswer& bus = in.buses[n];
        j += Cat({"    {\"number\": ", Decimal(n), ", \"present\": ", Bool(in.presence[n]),
                  ", \"bus_type\": ", Number(bus.answered, BusTypeOf(bus.reply)),
                  ", \"usb\": ", Bool(ClassifyBus(bus) == DriveBus::Usb), "}",
                  n + 1 < kProbedDriveCount ? ",\n" : "\n"});
    }
    const DriveBus drive0 = ClassifyBus(in.drive0Bus);
    const std::optional<int> word = Word217(in.drive0Identify);
    const char* style = StyleName(in.style);
    const Geometry& geometry = in.geometry.geometry;
    j += Cat(
        {"  ],\n  \"internal_drives\": ", Decimal(in.internalDrives), ",\n  \"drive0_usb\": ",
         drive0 == DriveBus::Unconfirmed ? "null" : Bool(drive0 == DriveBus::Usb),
         ",\n  \"word217\": ", Number(word.has_value(), word.value_or(0)),
         ",\n  \"ssd_only\": ", Bool(in.ssdOnly == SsdOnlyOutcome::SsdOnly),
         ",\n  \"layout_readable\": ", Bool(in.layout.read),
         ",\n  \"layout_error\": ", Number(!in.layout.read, in.layout.error),
         ",\n  \"partition_style\": ", style != nullptr ? Quoted(std::string_view(style)) : "null",
         ",\n  \"disk_size\": ", Number(in.geometry.read, geometry.diskSize),
         ",\n  \"bytes_per_sector\": ", Number(in.geometry.read, geometry.bytesPerSector), ",\n"});
    j += "  \"partitions\": [";
    std::string extended = "null";
    std::string containers;
    std::string separator;
    for (const LayoutEntry& entry :
         in.layout.read ? LayoutEntries(in.layout.reply) : std::vector<LayoutEntry>{}) {
        const bool primary = entry.index < kPrimaryEntries;
        if (entry.type == 0) {
            continue;
        }
        const std::string where = Where(entry.offset, entry.length);
        if (IsContainer(entry.type)) {
            extended = primary && extended == "null" ? Cat({"{", where, "}"}) : extended;
            containers +=
                Cat({containers.empty() ? "" : ", ", "{\"type\": ", Decimal(entry.type), ", ",
                     where, ", \"kind\": \"", primary ? "extended" : "link", "\"}"});
            continue;
        }
        j += Cat({separator, "{\"number\": ", Decimal(entry.number),
                  ", \"type\": ", Decimal(entry.type), ", ", where, ", \"kind\": \"", Kind(entry),
                  "\", \"recognized\": ", Bool(entry.recognized), "}"});
        separator = ", ";
    }
    j += "],\n";
    j += "  \"containers\": [" + containers + "],\n";
    j += "  \"extended\": " + extended + ",\n";
    j += "  \"hibernation_partition\": " + Decimal(in.hibernationPartition) + ",\n";
    const CreateModel model = ModelCreate(in);
    const WindowsVersion& windows = in.rules.version;
    j += Cat({"  \"placement_windows\": {\"major\": ", Decimal(windows.major),
              ", \"minor\": ", Number(windows.fromRegistry, windows.minor), ", \"from\": \"",
              windows.fromRegistry ? "registry" : "GetVersionExW", "\"},\n"});
    const Alignment& alignment = model.alignment;
    j += Cat({"  \"alignment\": ",
              model.bytesPerSector == 0
                  ? "null"
                  : Cat({"{\"cylinders\": ", Bool(alignment.cylinders), ", \"bytes\": ",
                         Number(true, alignment.cylinders ? CylinderBytes(geometry)
                                                          : alignment.startAlignment),
                         "}"}),
              ",\n  \"free_extents\": "});
    const bool room = model.placement && model.placement->roomModelled;
    separator = "[";
    for (const FreeExtent& f : room ? model.placement->free : std::vector<FreeExtent>{}) {
        static constexpr const char* kWhere[] = {"outside", "extended", "past_end"};
        j += Cat({separator, "{", Where(f.raw.offset, f.raw.length), ", \"where\": \"",
                  kWhere[static_cast<int>(f.where)], "\", \"usable\": ",
                  f.usable ? "{" + Where(f.usable->offset, f.usable->length) + "}" : "null", "}"});
        separator = ", ";
    }
    j += Cat({room ? (separator == "[" ? "[]" : "]") : "null", ",\n"});
    const bool placed = StatusOf(model) == CreateStatus::Fits;
    j +=
        "  \"new_partition\": " +
        (placed
             ? "{" + Where(model.placement->partition->offset, model.placement->partition->length) +
                   "}"
             : std::string("null")) +
        ",\n";
    j += std::string("  \"create_status\": \"") + StatusName(StatusOf(model)) + "\",\n";
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

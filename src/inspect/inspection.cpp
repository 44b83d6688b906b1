#include "inspect/inspection.h"

#include <array>
#include <optional>
#include <type_traits>

#include "partition/script_text.h"
#include "partition/text.h"
#include "platform/platform.h"

namespace ssdprep {

const char kExitCodeTable[] =
    "Exit codes:\n"
    "  0  ssdprep.exe would delete hibernation partition N and create the new one,\n"
    "     and every check before its partition steps passes\n"
    "  1  one of its checks would decline (not-audit, not-ssd-only)\n"
    "  2  usage error\n"
    "  3  its checks pass, but a partition step could not be carried out:\n"
    "     ssdprep.exe would end with exit code 2\n"
    "  4  its checks pass, but there is no hibernation partition it can find (none,\n"
    "     an unreadable layout, or not MBR): it would delete nothing and still add a\n"
    "     partition. A second run is this case.\n";

namespace {

// Upper-case hexadecimal, at least `digits` of them.
std::string Hex(unsigned value, std::size_t digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0 || text.size() < digits);
    return text;
}

// A JSON string literal; also how the report quotes text read from the
// machine, so that nothing in it can pass for something else.
template <typename Text>
std::string Quoted(const Text& text) {
    std::string out = "\"";
    for (const auto c : text) {
        const auto unit =
            static_cast<std::uint16_t>(static_cast<std::make_unsigned_t<decltype(c)>>(c));
        switch (unit) {
            case u'"':
                out += "\\\"";
                break;
            case u'\\':
                out += "\\\\";
                break;
            case u'\r':
                out += "\\r";
                break;
            case u'\n':
                out += "\\n";
                break;
            case u'\t':
                out += "\\t";
                break;
            default:
                if (unit >= 0x20 && unit < 0x7F) {
                    out.push_back(static_cast<char>(unit));
                } else {
                    out += "\\u" + Hex(unit, 4);
                }
        }
    }
    return out + "\"";
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }
const char* Bool(bool value) { return value ? "true" : "false"; }

// The text the gate decides from, and how its read went.
std::string ImageStateLine(const ImageStateReading& reading) {
    std::string status;
    if (!reading.keyOpened) {
        status = "the Setup\\State key could not be opened, error " + Decimal(reading.openStatus);
    } else if (reading.status == platform::kErrorSuccess) {
        status = "read";
    } else if (reading.status == platform::kErrorFileNotFound) {
        status = "no such value, error " + Decimal(reading.status);
    } else if (reading.status == platform::kErrorMoreData) {
        status = "longer than the 256 bytes read, error " + Decimal(reading.status) +
                 ": what was read counts";
    } else {
        status = "not read, error " + Decimal(reading.status);
    }
    return Quoted(ImageStateText(reading.buffer)) + " (" + status + ")";
}

// Names from STORAGE_BUS_TYPE, for the report; only 7 (USB) matters to
// the tool.
std::string BusTypeName(std::uint32_t busType) {
    static constexpr std::array<const char*, 20> kNames = {"unknown",
                                                           "SCSI",
                                                           "ATAPI",
                                                           "ATA",
                                                           "1394",
                                                           "SSA",
                                                           "Fibre Channel",
                                                           "USB",
                                                           "RAID",
                                                           "iSCSI",
                                                           "SAS",
                                                           "SATA",
                                                           "SD",
                                                           "MMC",
                                                           "virtual",
                                                           "file-backed virtual",
                                                           "Storage Spaces",
                                                           "NVMe",
                                                           "SCM",
                                                           "UFS"};
    const std::string number = Decimal(busType);
    return busType < kNames.size() ? number + " (" + kNames[busType] + ")" : number;
}

// Why a bus query gave no answer.
const char* BusFailure(const BusAnswer& answer) {
    return answer.opened ? "the bus query failed" : "no read-write access";
}

std::optional<int> Word217(const IdentifyAnswer& answer) {
    return answer.exchanged ? std::optional<int>(RotationRate(answer.data)) : std::nullopt;
}

std::vector<PartitionEntry> Partitions(const Inspection& in) {
    return in.layout.read ? RecognizedPartitions(in.layout.reply) : std::vector<PartitionEntry>{};
}

const char* StyleName(const StyleAnswer& style) {
    if (!style.read) {
        return nullptr;
    }
    switch (style.style) {
        case kPartitionStyleMbr:
            return "MBR";
        case kPartitionStyleGpt:
            return "GPT";
        case kPartitionStyleRaw:
            return "RAW";
        default:
            return "unknown";
    }
}

std::string AuditReason(const Inspection& in) {
    if (UsesFileForm(in.audit.majorVersion)) {
        return "neither " + Bytes(kSysprepPath) + " nor " + Bytes(kSysprpPath) + " is there";
    }
    return "ImageState is IMAGE_STATE_COMPLETE: Windows setup has completed";
}

std::string SsdOnlyReason(const Inspection& in) {
    switch (in.ssdOnly) {
        case SsdOnlyOutcome::NotOneInternalDrive:
            return Decimal(in.internalDrives) +
                   " internal drives among drives 0 to 4, and exactly 1 is needed";
        case SsdOnlyOutcome::Drive0OnUsb:
            return "drive 0 is on USB, so the one internal drive is another";
        case SsdOnlyOutcome::Drive0Unconfirmed:
            return std::string("drive 0 could not be confirmed internal: ") +
                   BusFailure(in.drive0Bus);
        case SsdOnlyOutcome::NotSolidState:
            if (!in.drive0Identify.opened) {
                return "drive 0 did not open for the identify request";
            }
            if (!in.drive0Identify.exchanged) {
                return "drive 0 did not answer the ATA identify request";
            }
            return "drive 0 reports rotation rate " +
                   Decimal(RotationRate(in.drive0Identify.data)) +
                   " (identify word 217), and only 1 means solid-state";
        case SsdOnlyOutcome::SsdOnly:
            break;
    }
    return "";
}

const char* VerdictName(Outcome outcome, Verdict verdict) {
    switch (outcome) {
        case Outcome::Declined:
            return verdict == Verdict::NotAuditMode ? "not-audit" : "not-ssd-only";
        case Outcome::WouldStop:
            return "would-stop";
        case Outcome::NothingToDelete:
            return "nothing-to-delete";
        case Outcome::WouldChange:
        case Outcome::Usage:
            break;
    }
    return "would-change";
}

// The check the tool would stop at, or null.
const StepCheck* FirstFailedStep(const Inspection& in) {
    for (const StepCheck& step : in.steps) {
        if (!step.ok) {
            return &step;
        }
    }
    return nullptr;
}

// Why no hibernation partition is found.
std::string NothingToDeleteReason(const Inspection& in) {
    if (!in.layout.read) {
        return "drive 0's layout cannot be read: " + LayoutFailure(in.layout, in.style);
    }
    return "drive 0 has no recognised partition of type 0x84";
}

std::string ScriptLines(const std::string& script) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t end; (end = script.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = script.substr(start, end - start);
        while (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out += "    " + line + "\n";
    }
    return out;
}

}  // namespace

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
    return in.hibernationPartition == kNoPartition ? Outcome::NothingToDelete
                                                   : Outcome::WouldChange;
}

std::string FormatReport(const Inspection& in, std::string_view version) {
    std::string r = "ssdprep-inspect " + std::string(version) +
                    ": what ssdprep.exe sees here and would do. Nothing is changed.\n";
    const AuditFacts& audit = in.audit;
    const bool fileForm = UsesFileForm(audit.majorVersion);
    r += "Windows major version: " + Decimal(audit.majorVersion) +
         (fileForm ? " (before Vista: audit mode is told by the sysprep files)\n"
                   : " (audit mode is told by the registry's ImageState)\n");
    if (fileForm) {
        r += Bytes(kSysprepPath) + ": " + (audit.sysprepPresent ? "present\n" : "absent\n");
        r += Bytes(kSysprpPath) + ": " + (audit.sysprpPresent ? "present\n" : "absent\n");
    } else {
        r += "ImageState: " + ImageStateLine(audit.imageState) + "\n";
    }
    r += std::string("Audit mode: ") + YesNo(in.auditMode != 0) + "\n";

    for (std::uint32_t n = 0; n < kProbedDriveCount; ++n) {
        const BusAnswer& bus = in.buses[n];
        r += "Drive " + Decimal(n) + ": " + (in.presence[n] ? "present" : "not present");
        if (bus.answered) {
            r += ", bus type " + BusTypeName(BusTypeOf(bus.reply)) +
                 (ClassifyBus(bus) == DriveBus::Usb ? ", USB" : ", internal");
        } else if (in.presence[n]) {
            r += std::string(", ") + BusFailure(bus) + ", counted as internal";
        }
        r += "\n";
    }
    r += "Internal drives among 0 to 4: " + Decimal(in.internalDrives) + "\n";
    switch (ClassifyBus(in.drive0Bus)) {
        case DriveBus::Internal:
            r += "Drive 0 on USB: no\n";
            break;
        case DriveBus::Usb:
            r += "Drive 0 on USB: yes\n";
            break;
        case DriveBus::Unconfirmed:
            r += std::string("Drive 0 on USB: unknown (") + BusFailure(in.drive0Bus) + ")\n";
            break;
    }
    if (const std::optional<int> word = Word217(in.drive0Identify)) {
        r += "Drive 0 rotation rate (identify word 217): " + Decimal(*word) +
             (*word == 1 ? " (solid-state)\n" : " (not solid-state)\n");
    } else {
        r += "Drive 0 rotation rate (identify word 217): no answer to the identify request\n";
    }
    r += std::string("SSD-only model: ") + YesNo(in.ssdOnly == SsdOnlyOutcome::SsdOnly) + "\n";

    if (in.layout.read) {
        const std::vector<PartitionEntry> partitions = Partitions(in);
        r += "Drive 0 layout: " + Decimal(static_cast<long long>(partitions.size())) +
             " recognised partitions\n";
        for (const PartitionEntry& p : partitions) {
            r += "  partition " + Decimal(p.number) + ": type " + "0x" +
                 Hex(static_cast<unsigned>(p.type), 2) +
                 (p.type == kHibernationPartitionType ? " (hibernation)\n" : "\n");
        }
    } else {
        r += "Drive 0 layout: not readable: " + LayoutFailure(in.layout, in.style) + "\n";
    }
    const char* style = StyleName(in.style);
    r += std::string("Drive 0 partition style (this report's own extra read): ") +
         (style != nullptr ? style : "not read, error " + Decimal(in.style.error)) + "\n";
    r += "Hibernation partition: " +
         (in.hibernationPartition == kNoPartition ? std::string("none (-1)")
                                                  : Decimal(in.hibernationPartition)) +
         "\n";
    if (!in.steps.empty()) {
        r += "Before the partition steps, ssdprep.exe checks:\n";
        for (const StepCheck& step : in.steps) {
            r += "  " + step.name + ": " + (step.ok ? "ok, " : "fails, ") + step.reason + "\n";
        }
    }

    const Outcome outcome = Decide(in);
    switch (outcome) {
        case Outcome::Declined:
            r += in.verdict == Verdict::NotAuditMode
                     ? "Verdict: declined, not in audit mode: " + AuditReason(in) + ".\n"
                     : "Verdict: declined, not an SSD-only model: " + SsdOnlyReason(in) + ".\n";
            break;
        case Outcome::WouldStop: {
            const StepCheck& step = *FirstFailedStep(in);
            r += "Verdict: ssdprep.exe would not carry out its partition steps: " + step.name +
                 ": " + step.reason +
                 (step.notice ? ". It would show a message box that waits for OK, then end with "
                                "exit code 2.\n"
                              : ". It would end with exit code 2.\n");
            break;
        }
        case Outcome::NothingToDelete:
            r += "Verdict: nothing to delete: " + NothingToDeleteReason(in) +
                 ". ssdprep.exe would delete nothing (the delete script selects partition -1) "
                 "and still add a partition in any free space.\n";
            break;
        case Outcome::WouldChange:
        case Outcome::Usage:
            r += "Verdict: ssdprep.exe would change drive 0. The delete script selects "
                 "hibernation partition " +
                 Decimal(in.hibernationPartition) + ".\n";
            break;
    }
    if (in.verdict == Verdict::WouldChange) {
        r += "deletePartition.VELK:\n" + ScriptLines(in.deleteScript);
        r += "CreatePartition.VELK:\n" + ScriptLines(in.createScript);
    }
    r += "Exit code: " + Decimal(static_cast<int>(outcome)) + "\n";
    return r + kExitCodeTable;
}

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
    j += "  \"partitions\": [";
    const std::vector<PartitionEntry> partitions = Partitions(in);
    for (std::size_t i = 0; i < partitions.size(); ++i) {
        j += (i == 0 ? "" : ", ") + std::string("{\"number\": ") + Decimal(partitions[i].number) +
             ", \"type\": " + Decimal(partitions[i].type) + "}";
    }
    j += "],\n";
    j += "  \"hibernation_partition\": " + Decimal(in.hibernationPartition) + ",\n";
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

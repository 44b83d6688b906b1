// The report as text: one line per fact, in the order the tool decides.
#include <algorithm>
#include <array>

#include "common/text.h"
#include "inspect/create.h"
#include "inspect/disk_map.h"
#include "inspect/inspection.h"
#include "inspect/shared.h"
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
    "     partition. A second run is this case.\n"
    "  5  its checks pass and it would delete the hibernation partition, but after\n"
    "     the delete there is no free primary slot, or the largest unallocated\n"
    "     extent outside the extended partition holds less than 1 MiB once aligned:\n"
    "     it would leave drive 0 with the hibernation partition deleted and no new\n"
    "     partition\n";

namespace {

// After a verdict that runs both partition steps.
constexpr char kSettleNote[] =
    " Its run takes about 15 seconds more than the partitioning tool's two runs: it waits 15 "
    "seconds between them, as Microsoft asks.";

const char* YesNo(bool value) { return value ? "yes" : "no"; }

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

std::string FormatReport(const Inspection& in, std::string_view version) {
    const AuditFacts& audit = in.audit;
    const bool fileForm = UsesFileForm(audit.majorVersion);
    std::string r = Cat(
        {"ssdprep-inspect ", version,
         ": what ssdprep.exe sees here and would do. Nothing is changed.\nWindows major version: ",
         Decimal(audit.majorVersion),
         fileForm ? " (before Vista: audit mode is told by the sysprep files)\n"
                  : " (audit mode is told by the registry's ImageState)\n",
         fileForm ? Cat({Bytes(kSysprepPath), ": ", audit.sysprepPresent ? "present\n" : "absent\n",
                         Bytes(kSysprpPath), ": ", audit.sysprpPresent ? "present\n" : "absent\n"})
                  : "ImageState: " + ImageStateLine(audit.imageState) + "\n",
         "Audit mode: ", YesNo(in.auditMode != 0), "\n"});

    for (std::uint32_t n = 0; n < kProbedDriveCount; ++n) {
        const BusAnswer& bus = in.buses[n];
        r += Cat({"Drive ", Decimal(n), ": ", in.presence[n] ? "present" : "not present",
                  bus.answered     ? Cat({", bus type ", BusTypeName(BusTypeOf(bus.reply)),
                                      ClassifyBus(bus) == DriveBus::Usb ? ", USB" : ", internal"})
                  : in.presence[n] ? Cat({", ", BusFailure(bus), ", counted as internal"})
                                   : "",
                  "\n"});
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
    const std::optional<int> word = Word217(in.drive0Identify);
    r += Cat({"Drive 0 rotation rate (identify word 217): ",
              word ? Decimal(*word) + (*word == 1 ? " (solid-state)\n" : " (not solid-state)\n")
                   : "no answer to the identify request\n",
              "SSD-only model: ", YesNo(in.ssdOnly == SsdOnlyOutcome::SsdOnly), "\n"});

    const CreateModel model = ModelCreate(in);
    if (in.layout.read) {
        const std::vector<LayoutEntry> entries = LayoutEntries(in.layout.reply);
        r += "Drive 0 layout: " +
             Decimal(std::count_if(entries.begin(), entries.end(),
                                   [](const LayoutEntry& e) { return e.recognized; })) +
             " recognised partitions\n";
    } else {
        r += "Drive 0 layout: not readable: " + LayoutFailure(in.layout, in.style) + "\n";
    }
    const char* style = StyleName(in.style);
    r += std::string("Drive 0 partition style (this report's own extra read): ") +
         (style != nullptr ? style : "not read, error " + Decimal(in.style.error)) + "\n";
    const Geometry& geometry = in.geometry.geometry;
    r += Cat({"Drive 0 size (this report's own extra read): ",
              in.geometry.read
                  ? Cat({BinarySize(geometry.diskSize), ", ", Decimal(geometry.bytesPerSector),
                         "-byte sectors, ", Decimal(static_cast<long long>(geometry.cylinders)),
                         " cylinders of ", Decimal(geometry.tracksPerCylinder), " x ",
                         Decimal(geometry.sectorsPerTrack), " sectors"})
                  : "not read, error " + Decimal(in.geometry.error),
              "\nPlacement follows: ", VersionText(in.rules.version), "\n"});
    r += in.layout.read ? DiskMap(in, model) : "";
    r += "Hibernation partition: " +
         (in.hibernationPartition == kNoPartition ? std::string("none (-1)")
                                                  : Decimal(in.hibernationPartition)) +
         "\n";
    r += NewPartitionLine(in, model);
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
            r += Cat({"Verdict: ssdprep.exe would not carry out its partition steps: ", step.name,
                      ": ", step.reason,
                      step.notice ? ". It would show a message box that waits for OK, then end "
                                    "with exit code 2.\n"
                                  : ". It would end with exit code 2.\n"});
            break;
        }
        case Outcome::NothingToDelete:
            r += Cat({"Verdict: nothing to delete: ", NothingToDeleteReason(in),
                      ". ssdprep.exe would delete nothing (the delete script selects partition -1)",
                      " and still add a partition in any free space.",
                      CannotCreate(model) ? " The create step could not succeed either: " +
                                                CreateProblem(model) + "."
                                          : "",
                      kSettleNote, "\n"});
            break;
        case Outcome::WouldHalfChange:
            r += Cat({"Verdict: ssdprep.exe would leave drive 0 half changed: after the delete of",
                      " hibernation partition ", Decimal(in.hibernationPartition), " ",
                      CreateProblem(model),
                      ", so the create step would fail unseen (noerr). It would leave the",
                      " hibernation partition deleted and no new partition.\n"});
            break;
        case Outcome::WouldChange:
        case Outcome::Usage:
            r += Cat({"Verdict: ssdprep.exe would change drive 0. The delete script selects",
                      " hibernation partition ", Decimal(in.hibernationPartition), ".", kSettleNote,
                      "\n"});
            break;
    }
    if (in.verdict == Verdict::WouldChange) {
        r += "deletePartition.VELK:\n" + ScriptLines(in.deleteScript);
        r += "CreatePartition.VELK:\n" + ScriptLines(in.createScript);
    }
    r += "Exit code: " + Decimal(static_cast<int>(outcome)) + "\n";
    return r + kExitCodeTable;
}

}  // namespace ssdprep

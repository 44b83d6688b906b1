#include "deploy/evidence.h"

#include <array>

#include "app/plan.h"
#include "common/text.h"
#include "deploy/identity.h"
#include "deploy/log.h"
#include "deploy/record.h"
#include "deploy/state.h"
#include "disk/volume.h"
#include "partition/script_text.h"
#include "platform/deploy.h"

namespace ssdprep::deploy {
namespace {

constexpr char kFound[] = "evidence of an earlier run: ";
// A state file of ours holds three short lines; more is not ours.
constexpr std::uint32_t kStateFileCapacity = 1024;

// The state file's lines as one: "started ..., done ...".
std::string OneLine(const std::string& state) {
    std::string line;
    for (const char c : state) {
        if (c == '\n') {
            line += ", ";
        } else if (c != '\r') {
            line.push_back(c);
        }
    }
    return line.ends_with(", ") ? line.substr(0, line.size() - 2) : line;
}

// Why a piece that names `disk` belongs to another disk than drive 0, or
// empty when it counts.
std::string OtherDisk(const std::optional<DiskIdentity>& disk,
                      const std::optional<DiskIdentity>& drive0) {
    if (!disk || !drive0 || *disk == *drive0) {
        return "";
    }
    return " names " + IdentityText(*disk) + ", and drive 0 is " + IdentityText(*drive0) +
           ": it came from another disk";
}

// A state file or the record, once read: counted, or logged as passed over.
void Weigh(const std::string& what, const RunState& state,
           const std::optional<DiskIdentity>& drive0, Evidence& evidence) {
    if (const std::string other = OtherDisk(state.disk, drive0); !other.empty()) {
        evidence.lines.push_back("not evidence: " + what + other + ", and is passed over");
        return;
    }
    evidence.found = true;
    evidence.lines.push_back(
        kFound + what +
        (!state.disk ? ", which names no disk (an older version's)"
         : drive0    ? ", which names this disk"
                  : ", which names " + IdentityText(*state.disk) + ", and drive 0's is unknown"));
    if (state.last == "done" && state.disk && drive0) {
        evidence.doneHere = state.at;
    } else if (state.last != "done") {
        evidence.unfinished = true;
    }
}

// The state file: counted, passed over, or not there. The disk it names
// when it came from another disk, and the scripts beside it with it.
std::optional<DiskIdentity> StateFile(const std::u16string& workDir,
                                      const std::optional<DiskIdentity>& drive0,
                                      Evidence& evidence) {
    const std::u16string path = Within(workDir, kStateName);
    std::uint32_t attributes{};
    platform::LocalTime written{};
    if (platform::QueryLastWrite(path.c_str(), &attributes, &written) == 0) {
        return std::nullopt;
    }
    const std::string where = Utf8(path) + ", last written " + Stamp(written);
    const platform::OwnFile file(platform::OpenFile(path.c_str(), platform::kGenericRead,
                                                    platform::kFileShareRead, false,
                                                    platform::kOpenExisting, 0));
    std::array<char, kStateFileCapacity> text{};
    std::uint32_t read{};
    if ((attributes & platform::kFileAttributeDirectory) != 0 || !file.valid() ||
        platform::ReadHandle(file.get(), text.data(), kStateFileCapacity, &read) == 0) {
        evidence.found = true;
        evidence.lines.push_back(
            kFound + std::string((attributes & platform::kFileAttributeDirectory) != 0
                                     ? "the folder " + where
                                     : "the file " + where + ", which cannot be read: " +
                                           ErrorText(platform::LastError())));
        return std::nullopt;
    }
    const std::string content(text.data(), read);
    const RunState state = ParseState(content);
    Weigh("the file " + where + " (" + OneLine(content) + ")", state, drive0, evidence);
    return OtherDisk(state.disk, drive0).empty() ? std::nullopt : state.disk;
}

void Scripts(const std::u16string& workDir, const std::optional<DiskIdentity>& otherDisk,
             const std::optional<DiskIdentity>& drive0, Evidence& evidence) {
    for (const std::u16string_view name : {kDeleteScriptName, kCreateScriptName}) {
        const std::u16string path = Within(workDir, name);
        std::uint32_t attributes{};
        platform::LocalTime written{};
        if (platform::QueryLastWrite(path.c_str(), &attributes, &written) == 0) {
            continue;
        }
        const std::string what =
            std::string((attributes & platform::kFileAttributeDirectory) != 0 ? "the folder "
                                                                              : "the file ") +
            Utf8(path) + ", last written " + Stamp(written);
        if (otherDisk) {
            evidence.lines.push_back("not evidence: " + what + ": the state file beside it" +
                                     OtherDisk(otherDisk, drive0) + ", and so did this");
            continue;
        }
        evidence.lines.push_back(kFound + what);
        evidence.found = true;
    }
}

void RecordOf(const std::optional<DiskIdentity>& drive0, Evidence& evidence) {
    const Record record = ReadRecord();
    const std::string name = std::string("the record ") + kRecordName;
    if (!record.present) {
        return;
    }
    if (!record.problem.empty()) {
        evidence.lines.push_back(kFound + name +
                                 ", which cannot be read as written: " + record.problem);
        evidence.found = true;
        return;
    }
    RunState state = ParseState(record.state);
    state.disk = record.disk;
    Weigh(name + " (" + OneLine(record.state) + ")", state, drive0, evidence);
}

void Labels(Evidence& evidence) {
    for (const LabelledLetter& labelled : FixedLettersLabelled(kNewPartitionLabel)) {
        const char letter = labelled.letter;
        const std::optional<std::vector<VolumeExtent>> extents = ReadVolumeExtents(letter);
        const std::string drive = std::string("drive ") + letter + ": is labelled TEMP_PART01";
        if (extents && !LiesOn(*extents, kTargetDrive)) {
            evidence.lines.push_back("not evidence: " + drive + " and lies on other disks only");
            continue;
        }
        evidence.lines.push_back(
            kFound + drive +
            (extents ? " and lies on drive 0" : ", and whether it lies on drive 0 cannot be read"));
        evidence.found = true;
    }
}

}  // namespace

Evidence GatherEvidence(const std::u16string& workDir, const std::optional<DiskIdentity>& drive0) {
    Evidence evidence;
    const std::optional<DiskIdentity> otherDisk = StateFile(workDir, drive0, evidence);
    Scripts(workDir, otherDisk, drive0, evidence);
    RecordOf(drive0, evidence);
    Labels(evidence);
    return evidence;
}

}  // namespace ssdprep::deploy

#include "deploy/evidence.h"

#include <array>

#include "app/plan.h"
#include "common/text.h"
#include "deploy/log.h"
#include "deploy/record.h"
#include "disk/disk.h"
#include "disk/volume.h"
#include "partition/script_text.h"
#include "platform/deploy.h"

namespace ssdprep::deploy {
namespace {

constexpr char kFound[] = "evidence of an earlier run: ";

std::string SignatureText(std::uint32_t signature) { return "0x" + Hex(signature, 8); }

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

void Files(const std::u16string& workDir, Evidence& evidence) {
    for (const std::u16string_view name :
         {std::u16string_view(kStateName), kDeleteScriptName, kCreateScriptName}) {
        const std::u16string path = Within(workDir, name);
        std::uint32_t attributes{};
        platform::LocalTime written{};
        if (platform::QueryLastWrite(path.c_str(), &attributes, &written) != 0) {
            evidence.lines.push_back(
                kFound +
                std::string((attributes & platform::kFileAttributeDirectory) != 0 ? "the folder "
                                                                                  : "the file ") +
                Utf8(path) + ", last written " + Stamp(written));
            evidence.found = true;
        }
    }
}

void RecordOf(std::optional<std::uint32_t> signature, Evidence& evidence) {
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
    const std::string what = name + " (" + OneLine(record.state) + ")";
    if (record.signature && signature && *record.signature != *signature) {
        evidence.lines.push_back(
            "not evidence: " + what + " names disk signature " + SignatureText(*record.signature) +
            ", and drive 0's is " + SignatureText(*signature) +
            ": it came from another disk (an image captured after a run), is ignored, and is "
            "replaced when ssdprep.exe starts");
        return;
    }
    evidence.lines.push_back(kFound + what +
                             (record.signature
                                  ? ", disk signature " + SignatureText(*record.signature)
                                  : std::string(", no disk signature")));
    evidence.found = true;
}

void Labels(Evidence& evidence) {
    char letter = 'A';
    for (std::uint32_t letters = platform::LogicalDrives(); letters != 0; letters >>= 1, ++letter) {
        const char16_t root[] = {static_cast<char16_t>(letter), u':', u'\\', u'\0'};
        std::array<char16_t, platform::kVolumeNameCapacity> label{};
        if ((letters & 1u) == 0 || platform::DriveType(root) != platform::kDriveFixed ||
            platform::QueryVolumeInformation(root, label.data(), platform::kVolumeNameCapacity) ==
                0 ||
            std::u16string_view(label.data()) != kNewPartitionLabel) {
            continue;
        }
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

Evidence GatherEvidence(const std::u16string& workDir, std::optional<std::uint32_t> signature) {
    Evidence evidence;
    Files(workDir, evidence);
    RecordOf(signature, evidence);
    Labels(evidence);
    return evidence;
}

}  // namespace ssdprep::deploy

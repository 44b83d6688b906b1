#include "deploy/evidence.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fake/machine_test.h"
#include "platform/deploy.h"

namespace {

using M = fake::Machine&;
using EvidenceTest = MachineTest;

const std::u16string kRecord = u"SOFTWARE\\ssdprep";

// A letter (E: unless named) labelled TEMP_PART01, of this drive type,
// lying on these disks (none: its extents cannot be read).
void Labelled(M m, std::uint32_t type, const std::vector<std::uint32_t>& disks,
              char16_t letter = u'E') {
    const std::u16string root = {letter, u':', u'\\'};
    m.logicalDrives |= 1u << (letter - u'A');
    m.readableVolumes.insert(root);
    m.volumeLabels[root] = u"TEMP_PART01";
    m.driveTypes[root] = type;
    if (!disks.empty()) {
        m.volumes[letter] = fake::VolumeOn(disks);
    }
}

void Record(M m, std::vector<std::uint8_t> signature, std::uint32_t signatureType) {
    m.registry[kRecord][u"DeployState"] =
        fake::Utf16Bytes(u"started 2026-12-01 10:00:00\r\nfailed 2026-12-01 10:00:30\r\n");
    m.registry[kRecord][u"DeployDiskSignature"] = std::move(signature);
    m.registryTypes[kRecord][u"DeployDiskSignature"] = signatureType;
}

// The evidence of an earlier run, for drive 0 with MBR signature 1, and
// what the log says of each piece.
TEST_F(EvidenceTest, CountsWhatFollowsDrive0AndPassesOverTheRest) {
    using platform::kDriveFixed;
    struct Row {
        const char* name;
        void (*arrange)(M);
        bool found;
        const char* says;
    };
    // clang-format off
    const Row rows[] = {
        {"nothing", [](M) {}, false, ""},
        {"fixed volume on drive 0", [](M m) { Labelled(m, kDriveFixed, {0}); }, true, "evidence of an earlier run: drive E: is labelled TEMP_PART01 and lies on drive 0"},
        {"fixed volume spanning drives 1 and 0", [](M m) { Labelled(m, kDriveFixed, {1, 0}); }, true, "and lies on drive 0"},
        {"fixed volume at A:, on drive 0", [](M m) { Labelled(m, kDriveFixed, {0}, u'A'); m.driveTypes[u"E:\\"] = 0; }, true, "evidence of an earlier run: drive A: is labelled TEMP_PART01 and lies on drive 0"},
        {"fixed volume at Z:, on drive 0", [](M m) { Labelled(m, kDriveFixed, {0}, u'Z'); m.driveTypes[u"E:\\"] = 0; }, true, "drive Z: is labelled TEMP_PART01 and lies on drive 0"},
        {"fixed volume on drive 1", [](M m) { Labelled(m, kDriveFixed, {1}); }, false, "not evidence: drive E: is labelled TEMP_PART01 and lies on other disks only"},
        {"fixed volume whose extents cannot be read", [](M m) { Labelled(m, kDriveFixed, {}); }, true, "drive E: is labelled TEMP_PART01, and whether it lies on drive 0 cannot be read"},
        {"removable volume", [](M m) { Labelled(m, platform::kDriveRemovable, {0}); }, false, ""},
        {"network letter", [](M m) { Labelled(m, platform::kDriveRemote, {}); }, false, ""},
        {"letter not in use", [](M m) { Labelled(m, kDriveFixed, {0}); m.logicalDrives = 1u << 2; }, false, ""},
        {"record of drive 0", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); }, true, "evidence of an earlier run: the record HKLM\\SOFTWARE\\ssdprep (started 2026-12-01 10:00:00, failed 2026-12-01 10:00:30), disk signature 0x00000001"},
        {"record of another disk", [](M m) { Record(m, {2, 0, 0, 0}, platform::kRegDword); }, false, "not evidence: the record HKLM\\SOFTWARE\\ssdprep (started 2026-12-01 10:00:00, failed 2026-12-01 10:00:30) names disk signature 0x00000002, and drive 0's is 0x00000001"},
        {"record whose state has no terminator", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); m.registry[kRecord][u"DeployState"] = fake::Utf16Bytes(u"started 2026-12-01 10:00:00", false); }, true, "the record HKLM\\SOFTWARE\\ssdprep (started 2026-12-01 10:00:00), disk signature"},
        {"record without a signature", [](M m) { Record(m, {}, platform::kRegDword); m.registry[kRecord].erase(u"DeployDiskSignature"); }, true, "(started 2026-12-01 10:00:00, failed 2026-12-01 10:00:30), no disk signature"},
        {"record whose signature is no REG_DWORD", [](M m) { Record(m, {2, 0, 0, 0}, platform::kRegSz); }, true, "cannot be read as written: DeployDiskSignature is not a REG_DWORD (type 1, 4 bytes)"},
        {"record whose signature is too long", [](M m) { Record(m, {2, 0, 0, 0, 0}, platform::kRegDword); }, true, "DeployDiskSignature cannot be read: error 234"},
        {"record whose state is no REG_SZ", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); m.registryTypes[kRecord][u"DeployState"] = platform::kRegDword; }, true, "cannot be read as written: DeployState is not a REG_SZ (type 4, "},
        {"record without its state", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); m.registry[kRecord].erase(u"DeployState"); }, true, "DeployState cannot be read: error 2"},
        {"record that cannot be opened", [](M m) { Record(m, {2, 0, 0, 0}, platform::kRegDword); m.keyOpenStatus = platform::kErrorAccessDenied; }, true, "cannot be read as written: it cannot be opened: error 5"},
        {"the tool's script as a folder", [](M m) { m.existingPaths.insert(u"C:\\Work\\CreatePartition.VELK"); m.fileAttributes[fake::FileKey(u"C:\\Work\\CreatePartition.VELK")] = platform::kFileAttributeDirectory; }, true, "evidence of an earlier run: the folder C:\\Work\\CreatePartition.VELK, last written 2026-12-07 16:42:15"},
    };
    // clang-format on
    for (const Row& row : rows) {
        fake::Reset();
        row.arrange(machine());
        const ssdprep::deploy::Evidence evidence = ssdprep::deploy::GatherEvidence(u"C:\\Work", 1u);
        EXPECT_EQ(evidence.found, row.found) << row.name;
        const auto line = std::find_if(
            evidence.lines.begin(), evidence.lines.end(),
            [&](const std::string& l) { return l.find(row.says) != std::string::npos; });
        EXPECT_TRUE(*row.says == 0 ? evidence.lines.empty() : line != evidence.lines.end())
            << row.name;
        // Only fixed letters are asked for a label; the record is read in
        // the 64-bit view.
        const std::vector<std::u16string>& asked = machine().volumeQueries;
        EXPECT_EQ(std::count(asked.begin(), asked.end(), u"E:\\"),
                  machine().driveTypes[u"E:\\"] == kDriveFixed &&
                      (machine().logicalDrives & 1u << 4) != 0)
            << row.name;
        for (const auto& [key, access] : machine().keyOpens) {
            EXPECT_EQ(access, platform::kKeyRead | platform::kKeyWow64_64Key) << row.name;
        }
    }
    // Drive 0's signature unknown: a record that names one still counts.
    fake::Reset();
    Record(machine(), {2, 0, 0, 0}, platform::kRegDword);
    EXPECT_TRUE(ssdprep::deploy::GatherEvidence(u"C:\\Work", std::nullopt).found);
}

}  // namespace

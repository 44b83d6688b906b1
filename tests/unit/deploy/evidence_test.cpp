#include "deploy/evidence.h"

#include <algorithm>
#include <string>
#include <vector>

#include "deploy/identity.h"
#include "disk/layout.h"
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

const std::u16string kGuid = u"{00112233-4455-6677-8899-AABBCCDDEEFF}";
const ssdprep::DiskIdentity kMbr1{ssdprep::kPartitionStyleMbr, 1, {}};
const ssdprep::DiskIdentity kGpt{ssdprep::kPartitionStyleGpt,
                                 0,
                                 {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA,
                                  0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};

// The state file in C:\Work, with these lines.
void State(M m, const std::string& text) {
    m.files[fake::FileKey(u"C:\\Work\\ssdprep-deploy.state")].assign(text.begin(), text.end());
}

// The evidence of an earlier run, for drive 0 with MBR signature 1 unless a
// row says otherwise, what the log says of each piece, and whether a run is
// recorded done on this disk (d) or started and not done (u).
TEST_F(EvidenceTest, CountsWhatFollowsDrive0AndPassesOverTheRest) {
    using platform::kDriveFixed;
    struct Row {
        const char* name;
        void (*arrange)(M);
        bool found;
        const char* says;
        char state = '-';
        std::optional<ssdprep::DiskIdentity> drive0 = kMbr1;
    };
    // clang-format off
    const Row rows[] = {
        {"nothing", [](M) {}, false, ""},
        {"fixed volume on drive 0", [](M m) { Labelled(m, kDriveFixed, {0}); }, true, "evidence of an earlier run: drive E: is labelled TEMP_PART01 and lies on drive 0"},
        {"fixed volume spanning drives 1 and 0", [](M m) { Labelled(m, kDriveFixed, {1, 0}); }, true, "and lies on drive 0"},
        {"fixed volume of 8 extents, the last on drive 0", [](M m) { Labelled(m, kDriveFixed, {1, 1, 1, 1, 1, 1, 1, 0}); }, true, "and lies on drive 0"},
        {"fixed volume at A:, on drive 0", [](M m) { Labelled(m, kDriveFixed, {0}, u'A'); m.driveTypes[u"E:\\"] = 0; }, true, "evidence of an earlier run: drive A: is labelled TEMP_PART01 and lies on drive 0"},
        {"fixed volume at Z:, on drive 0", [](M m) { Labelled(m, kDriveFixed, {0}, u'Z'); m.driveTypes[u"E:\\"] = 0; }, true, "drive Z: is labelled TEMP_PART01 and lies on drive 0"},
        {"fixed volume on drive 1", [](M m) { Labelled(m, kDriveFixed, {1}); }, false, "not evidence: drive E: is labelled TEMP_PART01 and lies on other disks only"},
        {"fixed volume whose extents cannot be read", [](M m) { Labelled(m, kDriveFixed, {}); }, true, "drive E: is labelled TEMP_PART01, and whether it lies on drive 0 cannot be read"},
        {"fixed volume whose extents reply names none", [](M m) { Labelled(m, kDriveFixed, {}); m.volumes[u'E'] = fake::VolumeOn({}); }, true, "drive E: is labelled TEMP_PART01, and whether it lies on drive 0 cannot be read"},
        {"fixed volume whose reply is shorter than its count", [](M m) { Labelled(m, kDriveFixed, {1}); m.volumes[u'E'].replies[0x560000].bytes[0] = 2; }, true, "whether it lies on drive 0 cannot be read"},
        {"removable volume", [](M m) { Labelled(m, platform::kDriveRemovable, {0}); }, false, ""},
        {"network letter", [](M m) { Labelled(m, platform::kDriveRemote, {}); }, false, ""},
        {"letter not in use", [](M m) { Labelled(m, kDriveFixed, {0}); m.logicalDrives = 1u << 2; }, false, ""},
        {"record of drive 0", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); }, true, "evidence of an earlier run: the record HKLM\\SOFTWARE\\ssdprep (started 2026-12-01 10:00:00, failed 2026-12-01 10:00:30), which names this disk", 'u'},
        {"record of another disk", [](M m) { Record(m, {2, 0, 0, 0}, platform::kRegDword); }, false, "not evidence: the record HKLM\\SOFTWARE\\ssdprep (started 2026-12-01 10:00:00, failed 2026-12-01 10:00:30) names MBR disk signature 0x00000002, and drive 0 is MBR disk signature 0x00000001: it came from another disk"},
        {"GPT drive 0, an MBR record", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); }, false, "names MBR disk signature 0x00000001, and drive 0 is GPT disk GUID {00112233-4455-6677-8899-AABBCCDDEEFF}: it came from another disk", '-', kGpt},
        {"GPT record of drive 0, done", [](M m) { m.registry[kRecord][u"DeployState"] = fake::Utf16Bytes(u"started 2026-12-01 10:00:00\r\ndone 2026-12-01 10:00:30\r\n"); m.registry[kRecord][u"DeployDiskGuid"] = fake::Utf16Bytes(kGuid); }, true, "done 2026-12-01 10:00:30), which names this disk", 'd', kGpt},
        {"record whose GUID is too long", [](M m) { Record(m, {}, 0); m.registry[kRecord].erase(u"DeployDiskSignature"); m.registry[kRecord][u"DeployDiskGuid"] = fake::Utf16Bytes(kGuid + u"0"); }, true, "DeployDiskGuid cannot be read: error 234"},
        {"record with both identities", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); m.registry[kRecord][u"DeployDiskGuid"] = fake::Utf16Bytes(kGuid); }, true, "cannot be read as written: it holds both DeployDiskSignature and DeployDiskGuid"},
        {"record whose GUID is no GUID", [](M m) { Record(m, {}, 0); m.registry[kRecord].erase(u"DeployDiskSignature"); m.registry[kRecord][u"DeployDiskGuid"] = fake::Utf16Bytes(u"{00112233}"); }, true, "DeployDiskGuid is not a GUID (type 1, 22 bytes)"},
        {"record whose state has no terminator", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); m.registry[kRecord][u"DeployState"] = fake::Utf16Bytes(u"started 2026-12-01 10:00:00", false); }, true, "the record HKLM\\SOFTWARE\\ssdprep (started 2026-12-01 10:00:00), which names this disk", 'u'},
        {"record without a signature, done, drive 0 unknown", [](M m) { Record(m, {}, platform::kRegDword); m.registry[kRecord].erase(u"DeployDiskSignature"); m.registry[kRecord][u"DeployState"] = fake::Utf16Bytes(u"done 2026-12-01 10:00:30\r\n"); }, true, "(done 2026-12-01 10:00:30), which names no disk (an older version's)", '-', std::nullopt},
        {"record of a disk, drive 0 unknown", [](M m) { Record(m, {2, 0, 0, 0}, platform::kRegDword); }, true, "evidence of an earlier run: the record", 'u', std::nullopt},
        {"done on a disk, drive 0 unknown: not done here", [](M m) { State(m, "started 2026-12-01 10:00:00\r\ndisk MBR 0x00000001\r\ndone 2026-12-01 10:00:30\r\n"); }, true, "(started 2026-12-01 10:00:00, disk MBR 0x00000001, done 2026-12-01 10:00:30), which names MBR disk signature 0x00000001, and drive 0's is unknown", '-', std::nullopt},
        {"record whose signature is no REG_DWORD", [](M m) { Record(m, {2, 0, 0, 0}, platform::kRegSz); }, true, "cannot be read as written: DeployDiskSignature is not a REG_DWORD (type 1, 4 bytes)"},
        {"record whose signature is too short", [](M m) { Record(m, {2, 0}, platform::kRegDword); }, true, "cannot be read as written: DeployDiskSignature is not a REG_DWORD (type 4, 2 bytes)"},
        {"record whose signature is too long", [](M m) { Record(m, {2, 0, 0, 0, 0}, platform::kRegDword); }, true, "DeployDiskSignature cannot be read: error 234"},
        {"record whose state is no REG_SZ", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); m.registryTypes[kRecord][u"DeployState"] = platform::kRegDword; }, true, "cannot be read as written: DeployState is not a REG_SZ (type 4, "},
        {"record without its state", [](M m) { Record(m, {1, 0, 0, 0}, platform::kRegDword); m.registry[kRecord].erase(u"DeployState"); }, true, "DeployState cannot be read: error 2"},
        {"record that cannot be opened", [](M m) { Record(m, {2, 0, 0, 0}, platform::kRegDword); m.keyOpenStatus = platform::kErrorAccessDenied; }, true, "cannot be read as written: it cannot be opened: error 5"},
        {"state file of another disk", [](M m) { State(m, "started 2026-12-01 10:00:00\r\ndisk MBR 0x00000002\r\n"); }, false, "not evidence: the file C:\\Work\\ssdprep-deploy.state, last written 2026-12-07 16:42:15 (started 2026-12-01 10:00:00, disk MBR 0x00000002) names MBR disk signature 0x00000002, and drive 0 is MBR disk signature 0x00000001: it came from another disk"},
        {"scripts beside it", [](M m) { State(m, "started 2026-12-01 10:00:00\r\ndisk MBR 0x00000002\r\n"); m.existingPaths.insert(u"C:\\Work\\deletePartition.VELK"); }, false, "not evidence: the file C:\\Work\\deletePartition.VELK, last written 2026-12-07 16:42:15: the state file beside it names MBR disk signature 0x00000002, and drive 0 is MBR disk signature 0x00000001: it came from another disk"},
        {"state file without identity", [](M m) { State(m, "started 2026-12-01 10:00:00\r\ndone 2026-12-01 10:00:30\r\n"); }, true, "(started 2026-12-01 10:00:00, done 2026-12-01 10:00:30), which names no disk"},
        {"state file of this disk, done", [](M m) { State(m, "started 2026-12-01 10:00:00\r\ndisk MBR 0x00000001\r\ndone 2026-12-01 10:00:30\r\n"); m.existingPaths.insert(u"C:\\Work\\CreatePartition.VELK"); }, true, "evidence of an earlier run: the file C:\\Work\\CreatePartition.VELK", 'd'},
        {"state file that cannot be read", [](M m) { State(m, "started"); m.lockedFiles.insert(u"C:\\WORK\\SSDPREP-DEPLOY.STATE"); }, true, "ssdprep-deploy.state, last written 2026-12-07 16:42:15, which cannot be read: error 32"},
        {"the tool's script as a folder", [](M m) { m.existingPaths.insert(u"C:\\Work\\CreatePartition.VELK"); m.fileAttributes[fake::FileKey(u"C:\\Work\\CreatePartition.VELK")] = platform::kFileAttributeDirectory; }, true, "evidence of an earlier run: the folder C:\\Work\\CreatePartition.VELK, last written 2026-12-07 16:42:15"},
    };
    // clang-format on
    for (const Row& row : rows) {
        fake::Reset();
        row.arrange(machine());
        const ssdprep::deploy::Evidence evidence =
            ssdprep::deploy::GatherEvidence(u"C:\\Work", row.drive0);
        EXPECT_EQ(evidence.found, row.found) << row.name;
        EXPECT_EQ(evidence.doneHere ? 'd' : evidence.unfinished ? 'u' : '-', row.state) << row.name;
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
}

// The state file's disk line read back as written, in either case; any
// other form names no disk.
TEST(DiskIdentity, LinesReadBackAsWritten) {
    const std::pair<const char*, const char*> rows[] = {
        {"disk MBR 0x55D0CAFE", "disk MBR 0x55D0CAFE"},
        {"disk MBR 0x55d0cafe", "disk MBR 0x55D0CAFE"},
        {"disk MBR 0x55D0CAF", nullptr},
        {"disk MBR 0x55D0CAFEE", nullptr},
        {"disk MBR 0x55D0CAFG", nullptr},
        {"disk mbr 0x55D0CAFE", nullptr},
        {"disk GPT {00112233-4455-6677-8899-AABBCCDDEEFF}",
         "disk GPT {00112233-4455-6677-8899-AABBCCDDEEFF}"},
        {"disk GPT {00112233-4455-6677-8899-aabbccddeeff}",
         "disk GPT {00112233-4455-6677-8899-AABBCCDDEEFF}"},
        {"disk GPT {00112233-4455-6677-8899-AABBCCDDEEF}", nullptr},
        {"disk GPT {00112233+4455-6677-8899-AABBCCDDEEFF}", nullptr},
        {"disk GPT (00112233-4455-6677-8899-AABBCCDDEEFF)", nullptr},
        {"disk GPT {0011223g-4455-6677-8899-AABBCCDDEEFF}", nullptr},
    };
    for (const auto& [line, written] : rows) {
        const auto disk = ssdprep::deploy::ParseIdentityLine(line);
        ASSERT_EQ(disk.has_value(), written != nullptr) << line;
        if (disk) {
            EXPECT_EQ(ssdprep::deploy::IdentityLine(*disk), written) << line;
        }
    }
    EXPECT_EQ(ssdprep::deploy::ParseIdentityLine("disk GPT {00112233-4455-6677-8899-AABBCCDDEEFF}"),
              kGpt);
}

}  // namespace

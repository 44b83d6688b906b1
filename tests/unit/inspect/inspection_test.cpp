#include "inspect/inspection.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fake/machine_test.h"
#include "inspect/program.h"

namespace {

using InspectionTest = MachineTest;

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr std::uint64_t kCylinder = 255 * 63 * 512;

// An SSD-only machine in audit mode whose drive 0, an MBR disk of 64 MiB
// like the run command's, has hibernation partition 2 at its end; C:\Work
// is the current directory.
void SsdOnly(fake::Machine& m) {
    fake::Drive drive = fake::InternalDrive();
    drive.replies[0x7C088] = fake::IdentifyReply(1);
    drive.replies[0x7400C] = fake::LayoutReply({{1, 0x07}, {2, 0x84}});
    fake::SetSpan(drive.replies[0x7400C], 0, MiB, 39 * MiB);
    fake::SetSpan(drive.replies[0x7400C], 1, 40 * MiB, 24 * MiB);
    drive.replies[0x70050] = fake::Reply{{0, 0, 0, 0}};  // PARTITION_STYLE_MBR
    drive.replies[0x700A0] = fake::GeometryReply(64 * MiB);
    m.drives[0] = drive;
    m.existingPaths.insert(u"C:\\Windows\\system32\\diskpart.exe");
}

void Label(fake::Machine& m, char16_t letter, const std::vector<std::uint32_t>& disks) {
    const std::u16string root = {letter, u':', u'\\'};
    m.logicalDrives |= 1u << (letter - u'A');
    m.readableVolumes.insert(root);
    m.volumeLabels[root] = u"TEMP_PART01";
    m.volumeFileSystems[root] = u"NTFS";
    if (!disks.empty()) {
        m.volumes[letter] = fake::VolumeOn(disks);
    }
}

// After a run: no hibernation partition, and E: labelled TEMP_PART01 on drive 0.
void Done(fake::Machine& m) {
    m.drives[0].replies[0x7400C] = fake::LayoutReply({{1, 0x07}, {2, 0x07}});
    Label(m, u'E', {0});
}

// Drive 0's layout as (entry, start MiB, size MiB, number, type), the
// extended partition (type 5) and entries numbered 0 not recognised.
void Layout(fake::Machine& m, const std::vector<std::array<std::uint32_t, 5>>& entries) {
    fake::Reply layout = fake::LayoutReply(
        std::vector<std::pair<std::uint32_t, std::uint8_t>>(entries.back()[0] + 1, {0, 0}));
    for (std::size_t entry = 0; entry <= entries.back()[0]; ++entry) {
        layout.bytes[8 + 32 * entry + 26] = 0;  // empty unless listed
    }
    for (const auto& [entry, start, size, number, type] : entries) {
        fake::SetSpan(layout, entry, start * MiB, size * MiB);
        layout.bytes[8 + 32 * entry + 20] = static_cast<std::uint8_t>(number);
        layout.bytes[8 + 32 * entry + 24] = static_cast<std::uint8_t>(type);
        layout.bytes[8 + 32 * entry + 26] = type != 5 && type != 0 && number != 0 ? 1 : 0;
    }
    m.drives[0].replies[0x7400C] = layout;
}

// The registry's CurrentVersion as this text, of this type.
void Version(fake::Machine& m, const std::u16string& text, std::uint32_t type = platform::kRegSz) {
    const std::u16string key = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    m.registry[key][u"CurrentVersion"] = fake::Utf16Bytes(text);
    m.registryTypes[key][u"CurrentVersion"] = type;
}

// A VDS\Alignment value, REG_DWORD.
void Vds(fake::Machine& m, const std::u16string& name, std::uint32_t bytes) {
    const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\VDS\\Alignment";
    m.registry[key][name] = {
        static_cast<std::uint8_t>(bytes), static_cast<std::uint8_t>(bytes >> 8),
        static_cast<std::uint8_t>(bytes >> 16), static_cast<std::uint8_t>(bytes >> 24)};
    m.registryTypes[key][name] = platform::kRegDword;
}

// C:\Work, or a file in it, with these attributes.
void Script(fake::Machine& m, const char16_t* name, std::uint32_t attributes) {
    const std::u16string path = u"C:\\Work" + std::u16string(name);
    m.existingPaths.insert(path);
    m.fileAttributes[fake::FileKey(path)] = attributes;
}

// The report and --after through the seam, on machines Wine cannot make:
// each row fails when a check the report makes is turned round.
TEST_F(InspectionTest, ReportAndAfterCheckWhatWineCannotShow) {
    using M = fake::Machine&;
    using platform::kFileAttributeReadOnly, platform::kFileAttributeHidden;
    struct Row {
        const char* name;
        std::vector<std::string> arguments;
        void (*arrange)(M);
        int exitCode;
        std::string says;
    };
    // clang-format off
    const std::vector<Row> rows = {
        {"would change", {}, [](M) {}, 0,
         "  deletePartition.VELK: ok, C:\\Work\\deletePartition.VELK (28 characters)\n"},
        {"GPT", {}, [](M m) { m.drives[0].replies[0x7400C] = {{}, false, 1}; m.drives[0].replies[0x70050] = {{1, 0, 0, 0}}; }, 4,
         "not an MBR disk (GPT) (error 1)\nDrive 0 partition style (this report's own extra read): GPT\n"},
        {"bus type 20, past the named ones", {}, [](M m) { m.drives[1] = fake::InternalDrive(20); }, 1,
         "Drive 1: present, bus type 20, internal\n"},
        {"no read access", {}, [](M m) { m.drives[0].opensAll = false; }, 4,
         "Drive 0 layout: not readable: no read access (error 5)\n"},
        {"error taken before the close", {}, [](M m) { m.drives[0].replies[0x7400C] = {{}, false, 122}; }, 4,
         "more than 16 layout entries (four or more logical drives) (error 122)"},
        {"3 wins over 4", {}, [](M m) { m.drives[0].replies[0x7400C] = fake::LayoutReply({{1, 7}}); m.currentDirectory = u"C:\\" + std::u16string(242, u'd'); }, 3,
         " has 266 characters, and 259 is the most\n"},
        {"volume does not answer", {}, [](M m) { m.currentDirectory = u"D:\\Work"; }, 3,
         "deletePartition.VELK: fails, the volume D:\\ does not answer\n"},
        {"current directory unreadable", {}, [](M m) { m.currentDirectoryAnswers = false; }, 3,
         "current directory: fails, cannot be read whole"},
        {"read-only volume", {}, [](M m) { m.volumeFlags[u"C:\\"] = platform::kFileReadOnlyVolume; }, 3,
         "  writable: fails, the volume C:\\ is read-only\n"},
        {"read-only folder", {}, [](M m) { Script(m, u"", kFileAttributeReadOnly); }, 0,
         "the folder has the read-only attribute, which Windows does not honour on folders"},
        {"no partitioning tool", {}, [](M m) { m.existingPaths.clear(); }, 3,
         "Verdict: ssdprep.exe would not carry out its partition steps: partitioning tool: no file at "
         "C:\\Windows\\system32\\diskpart.exe. It would end with exit code 2.\n"},
        {"a folder named diskpart.exe", {}, [](M m) { m.fileAttributes[fake::FileKey(u"C:\\Windows\\system32\\diskpart.exe")] = platform::kFileAttributeDirectory; }, 3,
         "no file at C:\\Windows\\system32\\diskpart.exe"},
        {"no system directory", {}, [](M m) { m.systemDirectoryAnswers = false; }, 3,
         "partitioning tool: fails, the system directory cannot be read\n"},
        {"plain scripts of an earlier run", {}, [](M m) { Script(m, u"\\deletePartition.VELK", platform::kFileAttributeNormal); }, 0,
         "  deletePartition.VELK: ok, "},
        {"hidden read-only delete script", {}, [](M m) { Script(m, u"\\deletePartition.VELK", kFileAttributeHidden | kFileAttributeReadOnly); }, 3,
         "  deletePartition.VELK: fails, C:\\Work\\deletePartition.VELK is a hidden, read-only file, which ssdprep.exe cannot replace\n"},
        {"system create script", {}, [](M m) { Script(m, u"\\CreatePartition.VELK", platform::kFileAttributeSystem); }, 3,
         "  CreatePartition.VELK: fails, C:\\Work\\CreatePartition.VELK is a system file,"},
        {"a folder named CreatePartition.VELK", {}, [](M m) { Script(m, u"\\CreatePartition.VELK", platform::kFileAttributeDirectory | kFileAttributeHidden); }, 3,
         "CreatePartition.VELK is a folder, which"},
        {"--after, on drive 1", {"--after"}, [](M m) { Done(m); m.volumes[u'E'] = fake::VolumeOn({1}); }, 1,
         "E: (not on drive 0), 24.0 MiB, NTFS\nResult: not done: no volume labelled TEMP_PART01 is on drive 0.\n"},
        {"--after, spanned over drives 1 and 2", {"--after"}, [](M m) { Done(m); m.volumes[u'E'] = fake::VolumeOn({1, 2}); }, 1,
         "E: (not on drive 0), 48.0 MiB, NTFS\n"},
        {"--after, a labelled USB stick at A:", {"--after"}, [](M m) { Done(m); Label(m, u'A', {2}); }, 0,
         "A: (not on drive 0), 24.0 MiB, NTFS\nVolume labelled TEMP_PART01: E: (on drive 0), 24.0 MiB, NTFS\nResult: done.\n"},
        {"--after, twice on drive 0", {"--after"}, [](M m) { Done(m); Label(m, u'F', {0}); }, 0,
         "F: (on drive 0), 24.0 MiB, NTFS\nMore than one volume carries the label: the tool may have run more than once.\n"},
        {"--after, extents unreadable", {"--after"}, [](M m) { Done(m); m.volumes.clear(); }, 0,
         "E: (whether it is on drive 0 cannot be read), NTFS\nResult: done.\n"},
        {"--after, an extents reply that names none", {"--after"}, [](M m) { Done(m); m.volumes[u'E'] = fake::VolumeOn({}); }, 0,
         "E: (whether it is on drive 0 cannot be read), NTFS\n"},
        {"--after, a network letter is not asked", {"--after"}, [](M m) { Done(m); Label(m, u'N', {0}); m.driveTypes[u"N:\\"] = platform::kDriveRemote; }, 0,
         "!N:"},
        {"--after, no volume", {"--after"}, [](M m) { Done(m); m.logicalDrives = 1u << 2; }, 1,
         "Volumes labelled TEMP_PART01: none among the fixed drive letters\nResult: not done: no volume is labelled TEMP_PART01.\n"},
        {"--after, hibernation partition left", {"--after"}, [](M m) { Label(m, u'E', {0}); }, 1,
         "Result: not done: drive 0 still has a hibernation partition (number 2).\n"},
        {"--after, GPT, no read-write access", {"--after"}, [](M m) { Done(m); m.drives[0].opensReadWrite = false; m.drives[0].replies[0x7400C] = {{}, false, 1}; m.drives[0].replies[0x70050] = {{1, 0, 0, 0}}; }, 1,
         "Result: not done: drive 0's layout cannot be read: not an MBR disk (GPT) (error 1).\n"},
        {"--after, no read access", {"--after"}, [](M m) { Done(m); m.drives[0].opensAll = false; }, 1,
         "Drive 0 layout: not readable: no read access (error 5)\n"},
        {"logical hibernation partition, no room: 5", {}, [](M m) { Layout(m, {{0, 1, 8, 1, 7}, {1, 9, 55, 0, 5}, {4, 10, 6, 2, 7}, {8, 17, 6, 3, 0x84}}); }, 5,
         "  sectors 18432-131071            55.0 MiB    extended partition: type 0x05\n    sectors 18432-20479           1.0 MiB     unallocated in the extended partition: no primary partition can go here\n    sectors 20480-32767           6.0 MiB     partition 2: type 0x07, logical\n|(hibernation partition 3 until the delete): no primary|before the delete: [.11111111:222222:HHHHHH::|after the create:  [.11111111:222222::::::::|New partition: none: after the delete the largest unallocated extent outside the primary partitions and the extended partition, sectors 1-2047 (1023.5 KiB), holds less than 1 MiB once its start is aligned to 64.0 KiB\n"},
        {"the same, as JSON", {"--json"}, [](M m) { Layout(m, {{0, 1, 8, 1, 7}, {1, 9, 55, 0, 5}, {4, 10, 6, 2, 7}, {8, 17, 6, 3, 0x84}}); }, 5,
         "\"containers\": [{\"type\": 5, \"offset\": 9437184, \"length\": 57671680, \"kind\": \"extended\"}],\n  \"extended\": {\"offset\": 9437184, \"length\": 57671680},\n  \"hibernation_partition\": 3,|{\"offset\": 16777216, \"length\": 50331648, \"where\": \"extended\", \"usable\": null}]|\"new_partition\": null,\n  \"create_status\": \"no_room\",\n  \"create_problem\": \"the largest unallocated extent"},
        {"no slot, no room and no hibernation partition: 4", {}, [](M m) { Layout(m, {{0, 1, 8, 1, 7}, {1, 9, 8, 2, 7}, {2, 17, 8, 3, 7}, {3, 25, 39, 4, 7}}); }, 4,
         "New partition: none: there is no free primary slot (the MBR's four entries are in use) and the largest unallocated extent|. The create step could not succeed either: there is no free primary slot"},
        {"a 3 TiB disk", {}, [](M m) { m.drives[0].replies[0x700A0] = fake::GeometryReply(std::uint64_t{3} << 40); }, 0,
         "Drive 0 size (this report's own extra read): 3.0 TiB, 512-byte sectors, 401024 cylinders of 255 x 63 sectors\n|  sectors 4294967296-6442450943   1.0 TiB     unallocated past 2^32 sectors, which an MBR cannot address: not used\n|before the delete: [H..........................................#####################]|after the create:  [NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN#####################]|New partition: sectors 81920-4294967295, 2.0 TiB at 40.0 MiB"},
        {"an entry of no length, as a damaged table may hold", {}, [](M m) { Layout(m, {{0, 1, 39, 1, 7}, {1, 40, 24, 2, 0x84}, {2, 30, 0, 3, 7}}); }, 0,
         "  sector 61440                    0 bytes     partition 3: type 0x07, primary\n"},
        {"a partition numbered 10 draws as +", {}, [](M m) { Layout(m, {{0, 1, 39, 10, 7}, {1, 40, 24, 2, 0x84}}); }, 0,
         "before the delete: [.+++++++++++++++++++++++++++++++++++++++HHHH"},
        {"geometry unreadable, four slots in use after the delete: 5", {}, [](M m) { Layout(m, {{0, 1, 8, 1, 7}, {1, 9, 8, 2, 7}, {2, 17, 8, 3, 7}, {3, 25, 39, 0, 5}, {4, 26, 6, 4, 0x84}, {6, 0, 0, 0, 0}}); m.drives[0].replies.erase(0x700A0); }, 5,
         "  extended partition: type 0x05, 39.0 MiB at 25.0 MiB\n  partition 4: type 0x84 (hibernation), logical, 6.0 MiB at 26.0 MiB\n|!type 0x00|New partition: none: after the delete there is no free primary slot (the MBR's four entries are in use)\n"},
        {"geometry unreadable, as JSON", {"--json"}, [](M m) { m.drives[0].replies.erase(0x700A0); }, 0,
         "\"disk_size\": null,\n  \"bytes_per_sector\": null,|\"alignment\": null,\n  \"free_extents\": null,\n  \"new_partition\": null,\n  \"create_status\": \"not_modelled\",\n  \"create_problem\": \"not modelled: drive 0's size cannot be read (error 1)\""},
        {"a 0xDE primary Windows does not recognise", {}, [](M m) { Layout(m, {{0, 1, 8, 1, 7}, {1, 9, 8, 0, 0xDE}, {2, 17, 8, 2, 7}, {3, 25, 39, 3, 0x84}}); }, 0,
         "Drive 0 layout: 3 recognised partitions\n|  sectors 18432-34815             8.0 MiB     not recognised: type 0xDE, primary\n|[.11111111????????22222222HHHH"},
        {"the same, as JSON", {"--json"}, [](M m) { Layout(m, {{0, 1, 8, 1, 7}, {1, 9, 8, 0, 0xDE}, {2, 17, 8, 2, 7}, {3, 25, 39, 3, 0x84}}); }, 0,
         "{\"number\": 0, \"type\": 222, \"offset\": 9437184, \"length\": 8388608, \"kind\": \"primary\", \"recognized\": false}"},
        {"exactly 16 layout entries: modelled", {}, [](M m) { Layout(m, {{0, 1, 39, 1, 7}, {1, 40, 24, 2, 0x84}, {15, 0, 0, 0, 0}}); }, 0,
         "New partition: sectors 81920-131071|!type 0x00"},
        {"17 layout entries: not modelled", {}, [](M m) { Layout(m, {{0, 1, 39, 1, 7}, {1, 40, 24, 2, 0x84}, {15, 0, 0, 0, 0}}); m.drives[0].replies[0x7400C].bytes[0] = 17; }, 0,
         "New partition: not modelled: drive 0 has more than 16 layout entries\n"},
        {"Windows 5.2 by the registry: whole cylinders", {}, [](M m) { Version(m, u"5.2"); m.drives[0].replies[0x700A0] = fake::GeometryReply(64 * kCylinder); Layout(m, {{0, 1, 39, 1, 7}, {1, 40, 24, 2, 0x84}}); }, 0,
         "Placement follows: Windows 5.2 (the registry's CurrentVersion)\n|(whole cylinders of 255 x 63 sectors (7.8 MiB), the first one track in, as Windows XP and Server 2003 place partitions)|New partition: sectors 96390-1028159, "},
        {"version 10.0", {}, [](M m) { Version(m, u"10.0"); }, 0, "Placement follows: Windows 10.0 (the registry's CurrentVersion)"},
        {"version 9999.19", {}, [](M m) { Version(m, u"9999.19"); }, 0, "Placement follows: Windows 9999.19 (the registry's"},
        {"version 10000.0: GetVersionExW's", {}, [](M m) { Version(m, u"10000.0"); }, 0, "Placement follows: Windows 10 (GetVersionExW"},
        {"version 6: GetVersionExW's", {}, [](M m) { Version(m, u"6"); }, 0, "Placement follows: Windows 10 (GetVersionExW"},
        {"version .3: GetVersionExW's", {}, [](M m) { Version(m, u".3"); }, 0, "Placement follows: Windows 10 (GetVersionExW"},
        {"version 6.: GetVersionExW's", {}, [](M m) { Version(m, u"6."); }, 0, "Placement follows: Windows 10 (GetVersionExW"},
        {"version 6.x: GetVersionExW's", {}, [](M m) { Version(m, u"6.x"); }, 0, "Placement follows: Windows 10 (GetVersionExW"},
        {"version 6.3 as REG_BINARY: GetVersionExW's", {}, [](M m) { Version(m, u"6.3", 3); }, 0, "Placement follows: Windows 10 (GetVersionExW"},
        {"a VDS alignment for the disk's size", {}, [](M m) { Vds(m, u"LessThan4GB", 2 << 20); }, 0,
         "(the start on a 2.0 MiB boundary, the registry's VDS\\Alignment\\LessThan4GB)|New partition: sectors 81920-131071"},
        {"a VDS alignment of 0: the default", {}, [](M m) { Vds(m, u"LessThan4GB", 0); }, 0, "(the start on a 64.0 KiB boundary, Vista"},
        {"a VDS alignment of no whole sector: the default", {}, [](M m) { Vds(m, u"LessThan4GB", 1000); }, 0, "(the start on a 64.0 KiB boundary, Vista"},
        {"a VDS alignment of 4 KiB", {}, [](M m) { Vds(m, u"LessThan4GB", 4096); }, 0, "(the start on a 4.0 KiB boundary, the registry's"},
        {"a disk of 4,000,000,000 bytes: 1 MiB", {}, [](M m) { m.drives[0].replies[0x700A0] = fake::GeometryReply(4000000000); }, 0,
         "(the start on a 1.0 MiB boundary, Vista and later's default for a disk of 4 GB or more)"},
        {"512 bytes less: 64 KiB", {}, [](M m) { m.drives[0].replies[0x700A0] = fake::GeometryReply(3999999488); }, 0,
         "(the start on a 64.0 KiB boundary, Vista and later's default for a disk under 4 GB)"},
        {"512 bytes under 8 GB: Between4_8GB", {}, [](M m) { Vds(m, u"Between4_8GB", 2 << 20); m.drives[0].replies[0x700A0] = fake::GeometryReply(7999999488); }, 0, "(the start on a 2.0 MiB boundary, the registry's VDS\\Alignment\\Between4_8GB)"},
        {"8 GB: not Between4_8GB", {}, [](M m) { Vds(m, u"Between4_8GB", 2 << 20); m.drives[0].replies[0x700A0] = fake::GeometryReply(8000000000); }, 0, "(the start on a 1.0 MiB boundary, Vista"},
        {"8 GB: Between8_32GB", {}, [](M m) { Vds(m, u"Between8_32GB", 2 << 20); m.drives[0].replies[0x700A0] = fake::GeometryReply(8000000000); }, 0, "VDS\\Alignment\\Between8_32GB)"},
        {"512 bytes under 32 GB: not GreaterThan32GB", {}, [](M m) { Vds(m, u"GreaterThan32GB", 2 << 20); m.drives[0].replies[0x700A0] = fake::GeometryReply(31999999488); }, 0, "(the start on a 1.0 MiB boundary, Vista"},
        {"32 GB: GreaterThan32GB", {}, [](M m) { Vds(m, u"GreaterThan32GB", 2 << 20); m.drives[0].replies[0x700A0] = fake::GeometryReply(32000000000); }, 0, "VDS\\Alignment\\GreaterThan32GB)"},
        {"GPT: nothing modelled", {}, [](M m) { m.drives[0].replies[0x7400C] = {{}, false, 1}; m.drives[0].replies[0x70050] = {{1, 0, 0, 0}}; }, 4,
         "New partition: not modelled: drive 0's layout cannot be read: not an MBR disk (GPT) (error 1)\n"},
        {"geometry unreadable: the room not modelled", {}, [](M m) { m.drives[0].replies.erase(0x700A0); }, 0,
         "Drive 0 size (this report's own extra read): not read, error 1\n|  partition 2: type 0x84 (hibernation), primary, 24.0 MiB at 40.0 MiB\nHibernation partition: 2\nNew partition: not modelled: drive 0's size cannot be read (error 1)\n"},
    };
    // clang-format on
    for (const Row& row : rows) {
        fake::Reset();
        SsdOnly(machine());
        row.arrange(machine());
        EXPECT_EQ(ssdprep::RunInspector(row.arguments, "1.0.0.1"), row.exitCode) << row.name;
        ExpectSays(machine().stdoutText, row.says, row.name);
        // The new partition is foreseen only where the tool would reach its
        // partition steps.
        if (row.arguments.empty()) {
            const int code = row.exitCode;
            EXPECT_EQ(machine().stdoutText.find("\nNew partition: ") != std::string::npos,
                      code == 0 || code == 4 || code == 5)
                << row.name;
        }
        // The critical-error flags come before the first drive or volume is asked.
        const std::vector<std::string>& calls = machine().calls;
        const auto asked = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
            return call == "OpenDrive" || call == "GetVolumeInformation";
        });
        EXPECT_EQ(std::find(asked, calls.end(), "SetErrorMode"), calls.end()) << row.name;
        EXPECT_EQ(machine().errorMode, 0x8001u) << row.name;
        EXPECT_TRUE(machine().fileCreates.empty() && machine().processStarts.empty()) << row.name;
    }
}

// The README's sample block that follows `lead`, without the blanks that end
// its lines (a script line's own, which Markdown does not keep).
std::string ReadmeSample(const std::string& lead) {
    std::ifstream file(SSDPREP_SOURCE_DIR "/README.md", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    const std::size_t start = text.find("```\n", text.find(lead)) + 4;
    return text.substr(start, text.find("```\n", start) - start);
}

std::string WithoutTrailingBlanks(std::string text) {
    for (std::size_t at; (at = text.find(" \n")) != std::string::npos;) {
        text.erase(at, 1);
    }
    return text;
}

// The README shows what the report prints on the run command's sample
// machine; the same machine, made here, must print exactly that.
TEST_F(InspectionTest, PrintsTheReadmeSamples) {
    struct Sample {
        std::vector<std::string> arguments;
        const char* lead;
        const char* tail;
    };
    const Sample samples[] = {{{}, "the report prints what follows", ssdprep::kExitCodeTable},
                              {{"--json"}, "With `--json` on that machine", ""},
                              {{"--after"}, "after the run, `--after` prints", ""}};
    for (const Sample& sample : samples) {
        fake::Reset();
        SsdOnly(machine());
        machine().majorVersion = 6;
        machine().currentDirectory = u"Z:\\work\\main\\build\\demo\\cwd";
        machine().readableVolumes.insert(u"Z:\\");
        machine().existingPaths = {u"Z:\\work\\main\\build\\demo\\cwd",
                                   u"C:\\windows\\system32\\diskpart.exe"};
        machine().systemDirectory = u"C:\\windows\\system32";
        Version(machine(), u"6.1");  // Wine's default, Windows 7
        if (sample.arguments == std::vector<std::string>{"--after"}) {
            machine().drives[0].replies[0x7400C] = fake::LayoutReply({{1, 0x07}, {2, 0x07}});
            Label(machine(), u'M', {0});
        }
        ssdprep::RunInspector(sample.arguments, "1.0.0.1");
        EXPECT_EQ(WithoutTrailingBlanks(machine().stdoutText),
                  ReadmeSample(sample.lead) + sample.tail);
    }
}

}  // namespace

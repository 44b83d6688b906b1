#include "app/audit_mode.h"

#include <string>
#include <vector>

#include "fake/machine_test.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class AuditModeTest : public MachineTest {
protected:
    void SetImageState(const Bytes& value) {
        machine().registry[fake::kSetupStateKey][u"ImageState"] = value;
    }
};

struct ImageStateCase {
    const char* name;
    Bytes value;
    int expected;
};

void PrintTo(const ImageStateCase& c, std::ostream* os) { *os << c.name; }

class ImageStateTable : public AuditModeTest,
                        public ::testing::WithParamInterface<ImageStateCase> {};

TEST_P(ImageStateTable, DecidesOnTextUpToFirstZeroUnit) {
    SetImageState(GetParam().value);
    EXPECT_EQ(ssdprep::IsAuditMode(), GetParam().expected);
    ASSERT_EQ(machine().keyOpens.size(), 1u);
    EXPECT_EQ(machine().keyOpens[0].first, fake::kSetupStateKey);
    EXPECT_EQ(machine().keyOpens[0].second, 0x20019u);
    ASSERT_EQ(machine().valueQueryLimits.size(), 1u);
    EXPECT_EQ(machine().valueQueryLimits[0], 256u);
    EXPECT_EQ(machine().valueQueries[0], u"ImageState");
    EXPECT_TRUE(machine().attributeQueries.empty()) << "the file form is not used from version 6";
}

INSTANTIATE_TEST_SUITE_P(
    RegistryValues, ImageStateTable,
    ::testing::Values(
        ImageStateCase{"Complete", fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE"), 0},
        ImageStateCase{"CompleteWithoutTerminator",
                       fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE", false), 0},
        ImageStateCase{"LowerCase", fake::Utf16Bytes(u"image_state_complete"), 1},
        ImageStateCase{"TrailingSpace", fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE "), 1},
        ImageStateCase{"LeadingSpace", fake::Utf16Bytes(u" IMAGE_STATE_COMPLETE"), 1},
        ImageStateCase{"Prefix", fake::Utf16Bytes(u"IMAGE_STATE_COMPLET"), 1},
        ImageStateCase{"Unattend", fake::Utf16Bytes(u"IMAGE_STATE_UNDEPLOYABLE"), 1},
        ImageStateCase{"Empty", fake::Utf16Bytes(u""), 1}, ImageStateCase{"NoBytes", Bytes{}, 1},
        ImageStateCase{"MultiStringFirstComplete",
                       Concat(fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE"),
                              Concat(fake::Utf16Bytes(u"OTHER"), Bytes{0, 0})),
                       0},
        ImageStateCase{"MultiStringSecondComplete",
                       Concat(fake::Utf16Bytes(u"OTHER"),
                              Concat(fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE"), Bytes{0, 0})),
                       1},
        ImageStateCase{"Dword", Bytes{7, 0, 0, 0}, 1},
        ImageStateCase{"DwordZero", Bytes{0, 0, 0, 0}, 1},
        // One byte more than the text: the odd byte forms a unit with the
        // zero behind it and lengthens the text.
        ImageStateCase{"OddLengthExtraByte",
                       Concat(fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE", false), Bytes{'X'}), 1},
        ImageStateCase{"OddLengthZeroByte",
                       Concat(fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE", false), Bytes{0}), 0},
        // Longer than the 256-byte limit: whatever is left of it is at most
        // 128 units, never the completed state. (Windows leaves the buffer
        // undefined then; the fake leaves the part that fits, in which a
        // careless reader could find the completed state.)
        ImageStateCase{"OversizeStartingWithComplete",
                       Concat(fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE", false), Bytes(580, 'A')),
                       1},
        ImageStateCase{"OversizeCompleteThenZero",
                       Concat(fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE"), Bytes(560, 'A')), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AuditModeTest, RegistryValueOfEveryLengthUpTo600BytesIsReadAndReleased) {
    // Whatever the length, nothing is left open and the value, all 'A', is
    // never the completed state.
    for (std::size_t length = 0; length <= 600; ++length) {
        fake::Reset();
        SetImageState(Bytes(length, 0x41));
        EXPECT_EQ(ssdprep::IsAuditMode(), 1) << length;
        EXPECT_EQ(machine().OpenResourceCount(), 0u) << length;
    }
}

TEST_F(AuditModeTest, MissingKeyOrValueOrRefusedKeyMeansAuditMode) {
    EXPECT_EQ(ssdprep::IsAuditMode(), 1);
    EXPECT_TRUE(machine().valueQueries.empty()) << "no read without an open key";

    fake::Reset();
    machine().registry[fake::kSetupStateKey][u"Other"] = fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE");
    EXPECT_EQ(ssdprep::IsAuditMode(), 1);

    fake::Reset();
    SetImageState(fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE"));
    machine().keyOpenStatus = 5;  // access denied
    EXPECT_EQ(ssdprep::IsAuditMode(), 1);
    EXPECT_TRUE(machine().valueQueries.empty());
}

TEST_F(AuditModeTest, EveryVersionFromSixOnReadsTheRegistry) {
    for (std::uint32_t major : {6u, 10u, 0xFFFFFFFFu}) {
        fake::Reset();
        machine().majorVersion = major;
        machine().existingPaths = {u"C:\\SYSPREP\\SYSPREP.EXE", u"C:\\SYSPREP\\SYSPRP.EXE"};
        SetImageState(fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE"));
        EXPECT_EQ(ssdprep::IsAuditMode(), 0) << major;
        EXPECT_TRUE(machine().attributeQueries.empty()) << major;
    }
}

struct FileFormCase {
    const char* name;
    std::vector<std::u16string> existing;
    int expected;
};

void PrintTo(const FileFormCase& c, std::ostream* os) { *os << c.name; }

class FileFormTable : public AuditModeTest, public ::testing::WithParamInterface<FileFormCase> {};

TEST_P(FileFormTable, ProbesBothPathsInOrderAndIgnoresTheRegistry) {
    machine().majorVersion = 5;
    // An image state that the registry form would read as "not audit".
    SetImageState(fake::Utf16Bytes(u"IMAGE_STATE_COMPLETE"));
    for (const auto& path : GetParam().existing) {
        machine().existingPaths.insert(path);
    }
    EXPECT_EQ(ssdprep::IsAuditMode(), GetParam().expected);
    EXPECT_TRUE(machine().keyOpens.empty());
    const std::vector<std::u16string> probed = {u"C:\\SYSPREP\\SYSPREP.EXE",
                                                u"C:\\SYSPREP\\SYSPRP.EXE"};
    EXPECT_EQ(machine().attributeQueries, probed);
}

INSTANTIATE_TEST_SUITE_P(
    Version5, FileFormTable,
    ::testing::Values(FileFormCase{"Neither", {}, 0},
                      FileFormCase{"SysprepOnly", {u"C:\\SYSPREP\\SYSPREP.EXE"}, 1},
                      FileFormCase{"SysprpOnly", {u"C:\\SYSPREP\\SYSPRP.EXE"}, 1},
                      FileFormCase{
                          "Both", {u"C:\\SYSPREP\\SYSPREP.EXE", u"C:\\SYSPREP\\SYSPRP.EXE"}, 1},
                      FileFormCase{"OtherFolder", {u"C:\\WINDOWS\\SYSPREP.EXE"}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AuditModeTest, FailedVersionQueryTakesTheFileForm) {
    machine().versionResult = 0;
    machine().existingPaths.insert(u"C:\\SYSPREP\\SYSPRP.EXE");
    EXPECT_EQ(ssdprep::IsAuditMode(), 1);
    EXPECT_TRUE(machine().keyOpens.empty());
}

TEST_F(AuditModeTest, UnreadableSystemVolumeHidesTheFiles) {
    machine().majorVersion = 5;
    machine().existingPaths.insert(u"C:\\SYSPREP\\SYSPREP.EXE");
    machine().readableVolumes.clear();
    EXPECT_EQ(ssdprep::IsAuditMode(), 0);
    EXPECT_TRUE(machine().attributeQueries.empty()) << "attributes are read only on a live volume";
}

TEST_F(AuditModeTest, PathPresenceStepsStopAtTheFirstFailure) {
    const std::u16string longest(259, u'a');
    const std::u16string tooLong(260, u'a');
    machine().currentDirectory = u"C:";
    machine().existingPaths.insert(u"C:\\" + longest.substr(0, 200));

    // 260 characters: not even resolved.
    EXPECT_FALSE(ssdprep::IsPathPresent(tooLong));
    EXPECT_TRUE(machine().calls.empty());

    // Short enough, but its full path is not.
    EXPECT_FALSE(ssdprep::IsPathPresent(longest));
    EXPECT_EQ(machine().calls, std::vector<std::string>{"GetFullPathName"});

    // A full path that resolves on a readable volume, and exists.
    EXPECT_TRUE(ssdprep::IsPathPresent(longest.substr(0, 200)));

    // A network path skips the volume test.
    machine().calls.clear();
    machine().existingPaths.insert(u"\\\\SERVER\\SHARE\\FILE");
    EXPECT_TRUE(ssdprep::IsPathPresent(u"\\\\server\\share\\file"));
    const std::vector<std::string> unc = {"GetFullPathName", "PathStripToRoot", "PathIsUNC",
                                          "GetFileAttributesEx"};
    EXPECT_EQ(machine().calls, unc);
}

}  // namespace

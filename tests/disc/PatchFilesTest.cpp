// Patches made and applied through MakePatchFile and ApplyPatchFile: made
// and applied they give the modified image, taken back the original one;
// hand-made patches of every version apply; the checksums of touched
// sectors follow the rule; and every refusal leaves the image as it was.

#include "disc/DiscImage.h"
#include "disc/ImageJournal.h"
#include "disc/PatchFiles.h"
#include "disc/PpfPatch.h"
#include "disc/SectorChecksum.h"
#include "shell/FileLayer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "tools/PpfBuilder.h"
#include "tools/RawSectorWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using tools::EncodePpf;
using tools::PpfBuild;
using test::MessageRecorder;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kRaw = 2352;
constexpr std::size_t kSectors = 40;

// A raw image of valid Mode 2 Form 1 sectors.
Bytes RawImage(std::size_t sectors, std::uint32_t seed) {
    return tools::WrapIntoRawSectors(tools::PatternBytes(sectors * 2048, seed));
}

// The user bytes [from, from + count) of `sector` changed, and the sector
// given checksums of its new bytes, as a modder's tools leave it.
void Edit(Bytes& image, std::size_t sector, std::size_t from, std::size_t count, std::uint8_t seed) {
    for (std::size_t i = 0; i < count; ++i) image[sector * kRaw + 24 + from + i] ^= static_cast<std::uint8_t>(seed + i);
    sector::EncodeForm1(&image[sector * kRaw]);
}

bool NoJournal(const std::string& image) { return !fs::exists(JournalPathFor(image)); }

std::size_t FilesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

bool ShowedOnly(const MessageRecorder& messages, Outcome outcome) {
    const auto notices = messages.Notices();
    return notices.size() == 1 && notices[0].outcome == outcome;
}

struct ModCase {
    const char* name;
    void (*edit)(Bytes&);
};

void PrintTo(const ModCase& c, std::ostream* os) { *os << c.name; }

const ModCase kMods[] = {
    {"AFewBytes", [](Bytes& b) { Edit(b, 30, 100, 5, 1); }},
    {"TwoSectorsApart", [](Bytes& b) {
         Edit(b, 20, 0, 2048, 3);
         Edit(b, 33, 2000, 48, 4);
     }},
    {"TheValidatedSector", [](Bytes& b) { Edit(b, 16, 0, 600, 5); }},
    {"TheVeryLastByte", [](Bytes& b) { b.back() ^= 0x5A; }},
    {"TheVeryFirstByte", [](Bytes& b) { b.front() ^= 0x01; }},
    {"EverySector", [](Bytes& b) {
         for (std::size_t s = 0; s < kSectors; ++s) Edit(b, s, s * 37, 300, static_cast<std::uint8_t>(s));
     }},
};

class MakeAndApply : public ::testing::TestWithParam<ModCase> {
protected:
    void SetUp() override {
        m_original = RawImage(kSectors, 11);
        m_modified = m_original;
        GetParam().edit(m_modified);
        ASSERT_NE(m_modified, m_original);
        WriteFileBytes(m_originalPath, m_original);
        WriteFileBytes(m_modifiedPath, m_modified);
    }
    TempDir m_dir;
    std::string m_originalPath = m_dir / "original.bin";
    std::string m_modifiedPath = m_dir / "modified.bin";
    std::string m_patch = m_dir / "mod.ppf";
    Bytes m_original;
    Bytes m_modified;
};

TEST_P(MakeAndApply, GivesTheModifiedImageAndUndoGivesTheOriginal) {
    for (const bool undo : {false, true}) {
        SCOPED_TRACE(undo ? "with undo data" : "without undo data");
        MessageRecorder messages;
        ASSERT_TRUE(MakePatchFile(m_originalPath, m_modifiedPath, m_patch, {"my mod", undo}, messages))
            << testing::PrintToString(messages.Texts());
        EXPECT_TRUE(ShowedOnly(messages, Outcome::Success)) << testing::PrintToString(messages.Texts());
        EXPECT_EQ(ReadFileBytes(m_originalPath), m_original) << "making a patch changes neither image";
        EXPECT_EQ(ReadFileBytes(m_modifiedPath), m_modified);
        EXPECT_EQ(FilesIn(m_dir.Path()), 3u) << "no temporary is left";

        const std::string target = m_dir / "target.bin";
        WriteFileBytes(target, m_original);
        messages.Clear();
        ASSERT_TRUE(ApplyPatchFile(target, m_patch, false, messages)) << testing::PrintToString(messages.Texts());
        EXPECT_TRUE(ShowedOnly(messages, Outcome::Success));
        EXPECT_EQ(ReadFileBytes(target), m_modified);
        EXPECT_TRUE(NoJournal(target));

        messages.Clear();
        EXPECT_EQ(ApplyPatchFile(target, m_patch, true, messages), undo) << testing::PrintToString(messages.Texts());
        EXPECT_EQ(ReadFileBytes(target), undo ? m_original : m_modified);
        EXPECT_TRUE(NoJournal(target));
        fs::remove(target);
    }
}

INSTANTIATE_TEST_SUITE_P(Mods, MakeAndApply, ::testing::ValuesIn(kMods),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(MakePatch, WritesOnlyTheChangedRunsAndTheOriginalsValidationBlock) {
    TempDir dir;
    Bytes original = RawImage(kSectors, 2);
    Bytes modified = original;
    modified[1000] ^= 1;
    for (std::size_t i = 5000; i < 5600; ++i) modified[i] ^= 0xFF; // 600 bytes: 255 + 255 + 90
    WriteFileBytes(dir / "a.bin", original);
    WriteFileBytes(dir / "b.bin", modified);
    MessageRecorder messages;
    ASSERT_TRUE(MakePatchFile(dir / "a.bin", dir / "b.bin", dir / "p.ppf", {"", true}, messages));
    EXPECT_EQ(messages.Texts(),
              std::vector<std::string>{"The patch was written:\n" + (dir / "p.ppf") +
                                       "\nIt changes 601 bytes in 4 records, with undo data."});
    const Bytes file = ReadFileBytes(dir / "p.ppf");
    ASSERT_EQ(file.size(), 60 + 1024 + 4 * 9 + 2 * 601u);
    EXPECT_EQ(Bytes(file.begin() + 60, file.begin() + 1084), tools::ValidationBlockOf(original));
    const auto parsed = ppf::Parse(file);
    ASSERT_EQ(parsed.problem, ppf::Problem::None);
    const std::vector<std::pair<std::uint64_t, std::size_t>> expected = {{1000, 1}, {5000, 255}, {5255, 255}, {5510, 90}};
    ASSERT_EQ(parsed.patch.records.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const auto& r = parsed.patch.records[k];
        EXPECT_EQ(r.offset, expected[k].first);
        EXPECT_TRUE(std::equal(r.newBytes.begin(), r.newBytes.end(), modified.begin() + static_cast<std::ptrdiff_t>(r.offset)));
        EXPECT_TRUE(std::equal(r.oldBytes.begin(), r.oldBytes.end(), original.begin() + static_cast<std::ptrdiff_t>(r.offset)));
    }
}

TEST(MakePatch, RunsAcrossTheComparedPiecesAreFound) {
    // A run that straddles two of the pieces read at once makes one record
    // per 255 bytes, as one inside a piece does.
    TempDir dir;
    Bytes original(kCompareRun * 2 + 4096, 0);
    Bytes modified = original;
    for (std::size_t i = kCompareRun - 100; i < kCompareRun + 155; ++i) modified[i] = 0xEE;
    WriteFileBytes(dir / "a.bin", original);
    WriteFileBytes(dir / "b.bin", modified);
    MessageRecorder messages;
    ASSERT_TRUE(MakePatchFile(dir / "a.bin", dir / "b.bin", dir / "p.ppf", {}, messages));
    const Bytes file = ReadFileBytes(dir / "p.ppf");
    const auto parsed = ppf::Parse(file);
    ASSERT_EQ(parsed.patch.records.size(), 1u);
    EXPECT_EQ(parsed.patch.records[0].offset, kCompareRun - 100);
    EXPECT_EQ(parsed.patch.records[0].newBytes.size(), 255u);
}

TEST(MakePatch, TwoSameImagesMakeAPatchOfNoRecords) {
    TempDir dir;
    const Bytes image = RawImage(20, 4);
    WriteFileBytes(dir / "a.bin", image);
    WriteFileBytes(dir / "b.bin", image);
    MessageRecorder messages;
    ASSERT_TRUE(MakePatchFile(dir / "a.bin", dir / "b.bin", dir / "p.ppf", {}, messages));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"The patch was written:\n" + (dir / "p.ppf") +
                                                         "\nIt changes nothing: the two images are the same."});
    EXPECT_EQ(fs::file_size(dir / "p.ppf"), 1084u);
}

// An image that ends before the validation block ends: the block is the
// bytes it has and zeros, and tells it from an image of other bytes there.
TEST(MakePatch, AnImageShorterThanTheValidationBlockIsCheckedAsFarAsItGoes) {
    for (const std::size_t length : {std::size_t{10 * kRaw}, std::size_t{0x9320 + 100}}) {
        SCOPED_TRACE(length);
        TempDir dir;
        Bytes original = tools::PatternBytes(length, 9);
        Bytes modified = original;
        modified[500] ^= 0x33;
        WriteFileBytes(dir / "a.bin", original);
        WriteFileBytes(dir / "b.bin", modified);
        MessageRecorder messages;
        ASSERT_TRUE(MakePatchFile(dir / "a.bin", dir / "b.bin", dir / "p.ppf", {}, messages));
        const auto notices = messages.Notices();
        ASSERT_EQ(notices.size(), 2u);
        EXPECT_EQ(notices[0].outcome, Outcome::Warning);
        EXPECT_EQ(notices[0].text.rfind("The original image ends before byte 38688 (0x9720)", 0), 0u) << notices[0].text;
        EXPECT_EQ(notices[1].outcome, Outcome::Success);
        const Bytes file = ReadFileBytes(dir / "p.ppf");
        EXPECT_EQ(Bytes(file.begin() + 60, file.begin() + 1084), tools::ValidationBlockOf(original));

        const std::string target = dir / "t.bin";
        WriteFileBytes(target, original);
        EXPECT_TRUE(ApplyPatchFile(target, dir / "p.ppf", false, messages));
        EXPECT_EQ(ReadFileBytes(target), modified);
        if (length > 0x9320) {
            Bytes other = original;
            other[0x9320 + 50] ^= 1;
            WriteFileBytes(target, other);
            EXPECT_FALSE(ApplyPatchFile(target, dir / "p.ppf", false, messages));
            EXPECT_EQ(ReadFileBytes(target), other);
        }
    }
}

struct MakeRefusal {
    const char* name;
    std::string original, modified, patch;
    PatchMakeOptions options;
    std::string begins;
};

TEST(MakePatch, RefusesAndWritesNothing) {
    TempDir dir;
    const Bytes image = RawImage(kSectors, 5);
    Bytes longer = image;
    longer.push_back(0);
    WriteFileBytes(dir / "a.bin", image);
    WriteFileBytes(dir / "long.bin", longer);
    const Bytes oldPatch = {'o', 'l', 'd'};
    WriteFileBytes(dir / "old.ppf", oldPatch);
    const std::vector<MakeRefusal> cases = {
        {"LengthsDiffer", dir / "a.bin", dir / "long.bin", dir / "p.ppf", {},
         "The two images differ in length:\n" + (dir / "a.bin") + "\nhas 94080 bytes,\n" + (dir / "long.bin") +
             "\nhas 94081 bytes."},
        {"LengthsDifferOverAnOldPatch", dir / "long.bin", dir / "a.bin", dir / "old.ppf", {},
         "The two images differ in length:"},
        {"MissingOriginal", dir / "none.bin", dir / "a.bin", dir / "p.ppf", {}, "can not read file\n" + (dir / "none.bin")},
        {"MissingModified", dir / "a.bin", dir / "none.bin", dir / "p.ppf", {}, "can not read file\n" + (dir / "none.bin")},
        {"DescriptionOf51Bytes", dir / "a.bin", dir / "a.bin", dir / "p.ppf", {std::string(51, 'd'), false},
         "The description has 51 bytes; a patch holds at most 50.\nNothing was written."},
        {"OverTheOriginal", dir / "a.bin", dir / "long.bin", dir / "a.bin", {},
         "The patch would be written over an image:\n" + (dir / "a.bin")},
        {"OverTheModified", dir / "long.bin", dir / "a.bin", dir / "a.bin", {}, "The patch would be written over an image:"},
        {"IntoAMissingFolder", dir / "a.bin", dir / "a.bin", dir / "no/p.ppf", {},
         "can not write file\n" + (dir / "no/p.ppf") + "\nNothing was written."},
        {"OverAFolder", dir / "a.bin", dir / "a.bin", dir.Path().string(), {}, "can not write file\n"},
    };
    for (const MakeRefusal& c : cases) {
        SCOPED_TRACE(c.name);
        MessageRecorder messages;
        EXPECT_FALSE(MakePatchFile(c.original, c.modified, c.patch, c.options, messages));
        const auto texts = messages.Texts();
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back().rfind(c.begins, 0), 0u) << texts.back();
        EXPECT_EQ(messages.Notices().back().outcome, Outcome::Failure);
        EXPECT_FALSE(fs::exists(dir / "p.ppf"));
        EXPECT_EQ(ReadFileBytes(dir / "old.ppf"), oldPatch);
        EXPECT_EQ(ReadFileBytes(dir / "a.bin"), image);
        EXPECT_EQ(ReadFileBytes(dir / "long.bin"), longer);
        EXPECT_EQ(FilesIn(dir.Path()), 3u) << "no temporary is left";
    }
}

TEST(MakePatch, ReplacesAnOldPatchWhole) {
    TempDir dir;
    const Bytes image = RawImage(kSectors, 5);
    Bytes modified = image;
    Edit(modified, 25, 0, 10, 1);
    WriteFileBytes(dir / "a.bin", image);
    WriteFileBytes(dir / "b.bin", modified);
    WriteFileBytes(dir / "p.ppf", Bytes(100000, 'x'));
    MessageRecorder messages;
    ASSERT_TRUE(MakePatchFile(dir / "a.bin", dir / "b.bin", dir / "p.ppf", {}, messages));
    const Bytes file = ReadFileBytes(dir / "p.ppf");
    EXPECT_EQ(ppf::Parse(file).problem, ppf::Problem::None);
    EXPECT_LT(file.size(), 100000u);
    EXPECT_EQ(FilesIn(dir.Path()), 3u);
}

// Hand-made patches of each version that turn `original` into `modified`.
PpfBuild HandMade(int version, bool validation, bool undo, bool diz, const Bytes& original, const Bytes& modified) {
    PpfBuild p;
    p.version = version;
    p.description = "by hand";
    p.validation = validation;
    p.undo = undo;
    p.block = tools::ValidationBlockOf(original);
    p.originalSize = static_cast<std::uint32_t>(original.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        if (original[i] == modified[i]) continue;
        // Each differing byte its own record, and runs of up to 100 bytes.
        if (!p.records.empty() && p.records.back().offset + p.records.back().newBytes.size() == i &&
            p.records.back().newBytes.size() < 100) {
            p.records.back().newBytes.push_back(modified[i]);
            p.records.back().oldBytes.push_back(original[i]);
        } else {
            p.records.push_back({i, {modified[i]}, {original[i]}});
        }
    }
    if (diz) p.fileIdDiz = "Some Mod v1\r\nby somebody";
    return p;
}

struct HandCase {
    const char* name;
    int version;
    bool validation, undo, diz;
};

void PrintTo(const HandCase& c, std::ostream* os) { *os << c.name; }

class HandMadePatches : public ::testing::TestWithParam<HandCase> {};

TEST_P(HandMadePatches, ApplyAndWhenTheyCanTakeThemselvesBack) {
    const HandCase& c = GetParam();
    TempDir dir;
    const Bytes original = RawImage(kSectors, 21);
    Bytes modified = original;
    Edit(modified, 16, 10, 40, 7);
    Edit(modified, 39, 2000, 48, 8);
    const std::string image = dir / "disc.bin";
    const std::string patch = dir / "hand.ppf";
    WriteFileBytes(image, original);
    WriteFileBytes(patch, EncodePpf(HandMade(c.version, c.validation, c.undo, c.diz, original, modified)));
    MessageRecorder messages;
    ASSERT_TRUE(ApplyPatchFile(image, patch, false, messages)) << testing::PrintToString(messages.Texts());
    EXPECT_EQ(ReadFileBytes(image), modified);
    const bool canUndo = c.version == 3 && c.undo;
    messages.Clear();
    EXPECT_EQ(ApplyPatchFile(image, patch, true, messages), canUndo);
    EXPECT_EQ(ReadFileBytes(image), canUndo ? original : modified);
    if (!canUndo) {
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"The patch carries no undo data, so it can not be taken "
                                                             "back:\n" + patch + "\nNothing was changed."});
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, HandMadePatches,
                         ::testing::Values(HandCase{"Ppf1", 1, false, false, false},
                                           HandCase{"Ppf2", 2, true, false, false},
                                           HandCase{"Ppf2FileIdDiz", 2, true, false, true},
                                           HandCase{"Ppf3Plain", 3, false, false, false},
                                           HandCase{"Ppf3Validation", 3, true, false, false},
                                           HandCase{"Ppf3Undo", 3, false, true, false},
                                           HandCase{"Ppf3ValidationUndo", 3, true, true, false},
                                           HandCase{"Ppf3FileIdDiz", 3, false, false, true},
                                           HandCase{"Ppf3ValidationUndoFileIdDiz", 3, true, true, true}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ApplyPatch, OverlappingRecordsApplyInOrderAndComeBackInReverse) {
    // A plain image (no sector checksums), so every byte is the patch's.
    TempDir dir;
    const Bytes original = tools::PatternBytes(40 * 2048, 3);
    const std::string image = dir / "disc.iso";
    WriteFileBytes(image, original);
    PpfBuild p;
    p.undo = true;
    p.validation = false;
    p.records = {{100, {1, 2, 3}, {original[100], original[101], original[102]}}, {101, {9}, {2}}};
    WriteFileBytes(dir / "p.ppf", EncodePpf(p));
    MessageRecorder messages;
    ASSERT_TRUE(ApplyPatchFile(image, dir / "p.ppf", false, messages));
    Bytes expected = original;
    expected[100] = 1;
    expected[101] = 9;
    expected[102] = 3;
    EXPECT_EQ(ReadFileBytes(image), expected);
    ASSERT_TRUE(ApplyPatchFile(image, dir / "p.ppf", true, messages));
    EXPECT_EQ(ReadFileBytes(image), original);
}

// What a sector was before the patch, and what the patch writes into it.
struct ChecksumCase {
    const char* name;
    void (*prepare)(std::uint8_t* sector); // the sector before the patch
    std::vector<tools::PpfBuildRecord> writes;  // offsets within the sector
    bool renewed;                          // its checksums are those of its new bytes
};

void PrintTo(const ChecksumCase& c, std::ostream* os) { *os << c.name; }

class ChecksumsOfPatchedSectors : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(ChecksumsOfPatchedSectors, AreRenewedOnlyByTheRule) {
    const ChecksumCase& c = GetParam();
    constexpr std::size_t kSector = 30;
    TempDir dir;
    Bytes original = RawImage(kSectors, 17);
    c.prepare(&original[kSector * kRaw]);
    PpfBuild p;
    p.block = tools::ValidationBlockOf(original);
    Bytes expected = original;
    for (auto r : c.writes) {
        for (std::size_t i = 0; i < r.newBytes.size(); ++i) expected[kSector * kRaw + r.offset + i] = r.newBytes[i];
        r.offset += kSector * kRaw;
        p.records.push_back(r);
    }
    const std::string image = dir / "disc.bin";
    WriteFileBytes(image, original);
    WriteFileBytes(dir / "p.ppf", EncodePpf(p));
    MessageRecorder messages;
    ASSERT_TRUE(ApplyPatchFile(image, dir / "p.ppf", false, messages)) << testing::PrintToString(messages.Texts());
    const Bytes after = ReadFileBytes(image);
    const auto* got = &after[kSector * kRaw];
    const auto* want = &expected[kSector * kRaw];
    if (c.renewed) {
        EXPECT_EQ(sector::Classify(got), sector::Kind::Form1Valid);
        EXPECT_TRUE(std::equal(got, got + 2072, want)) << "header and user data as the patch leaves them";
    } else {
        EXPECT_TRUE(std::equal(got, got + kRaw, want)) << "every byte as the patch leaves it";
    }
    // The sectors around it are untouched.
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + kSector * kRaw, expected.begin()));
    EXPECT_TRUE(std::equal(after.begin() + (kSector + 1) * kRaw, after.end(), expected.begin() + (kSector + 1) * kRaw));
}

void Valid(std::uint8_t*) {}

INSTANTIATE_TEST_SUITE_P(
    Rule, ChecksumsOfPatchedSectors,
    ::testing::Values(
        ChecksumCase{"UserDataOfAValidSector", Valid, {{24 + 100, {1, 2, 3, 4}, {}}}, true},
        ChecksumCase{"UserDataAtBothEnds", Valid, {{24, {7}, {}}, {2071, {7}, {}}}, true},
        ChecksumCase{"TheAddressOfAValidSector", Valid, {{12, {0x99}, {}}}, true},
        ChecksumCase{"TheSubheaderStillForm1", Valid, {{16, {5}, {}}, {20, {5}, {}}}, true},
        ChecksumCase{"UserDataAndItsOwnEdc", Valid, {{24 + 100, {1, 2}, {}}, {2072, {0, 0, 0, 0}, {}}}, false},
        ChecksumCase{"OneParityByte", Valid, {{24 + 100, {1, 2}, {}}, {2351, {0x42}, {}}}, false},
        ChecksumCase{"ARunIntoTheEdc", Valid, {{2060, std::vector<std::uint8_t>(20, 0xAB), {}}}, false},
        ChecksumCase{"TheSyncBroken", Valid, {{0, {0x01}, {}}, {24, {9}, {}}}, false},
        ChecksumCase{"TurnedIntoForm2", Valid, {{18, {0x28}, {}}, {22, {0x28}, {}}, {24, {9}, {}}}, false},
        ChecksumCase{"AForm2Sector",
                     [](std::uint8_t* s) {
                         s[18] |= 0x20;
                         s[22] |= 0x20;
                     },
                     {{24 + 5, {1}, {}}}, false},
        ChecksumCase{"ZeroChecksums", [](std::uint8_t* s) { std::fill(s + 2072, s + kRaw, 0); }, {{24 + 5, {1}, {}}},
                     false},
        ChecksumCase{"AlreadyWrong", [](std::uint8_t* s) { s[2072] ^= 0x5A; }, {{24 + 5, {1}, {}}}, false}),
    [](const auto& p) { return std::string(p.param.name); });

struct Refusal {
    const char* name;
    Bytes patch;
    bool undo;
    std::string begins; // the message
};

TEST(ApplyPatch, RefusalsLeaveTheImageAsItWas) {
    TempDir dir;
    const Bytes original = RawImage(kSectors, 31);
    Bytes modified = original;
    Edit(modified, 16, 0, 100, 3);
    Edit(modified, 25, 0, 100, 4);
    const Bytes other = RawImage(kSectors, 32);
    const std::string image = dir / "disc.bin";
    const std::string patchPath = dir / "p.ppf";

    const PpfBuild v3 = HandMade(3, true, true, false, original, modified);
    const PpfBuild v2 = HandMade(2, true, false, false, original, modified);
    PpfBuild v2Longer = v2;
    v2Longer.originalSize += 2352;
    PpfBuild pastTheEnd = v3;
    pastTheEnd.records.push_back({original.size() - 2, {1, 2, 3}, {4, 5, 6}});
    PpfBuild farPastTheEnd = v3;
    farPastTheEnd.records.push_back({UINT64_MAX - 1, {1, 2, 3}, {4, 5, 6}});
    PpfBuild gi = v3;
    gi.imageType = 1;
    Bytes cut = EncodePpf(v3);
    cut.resize(cut.size() - 7);

    const std::string another = "The patch was made for another image:\n" + image + "\n";
    const std::vector<std::pair<Bytes, Refusal>> cases = {
        {other, {"ValidationOfAnotherImage", EncodePpf(v3), false,
                 another + "The 1024 bytes it checks at byte 37664 (0x9320) differ from the image's.\nNothing was "
                           "changed."}},
        {other, {"Ppf2OfAnotherImage", EncodePpf(v2), false, another + "The 1024 bytes it checks"}},
        {original, {"Ppf2ForALongerImage", EncodePpf(v2Longer), false,
                    another + "It is for an image of 96432 bytes; this one has 94080.\nNothing was changed."}},
        {other, {"UndoOnAnotherImage", EncodePpf(v3), true,
                    another + "The 1024 bytes it checks at byte 37664 (0x9320) differ from what the image would hold "
                              "without the patch."}},
        {original, {"ARecordPastTheEnd", EncodePpf(pastTheEnd), false,
                    "The patch changes bytes past the end of the image:\n" + image +
                        "\nThe image has 94080 bytes; a record of the patch writes 3 at byte 94078 (0x16F7E).\n"
                        "Nothing was changed."}},
        {original, {"ARecordAtTheLargestOffset", EncodePpf(farPastTheEnd), false,
                    "The patch changes bytes past the end of the image:"}},
        {original, {"CutShort", cut, false, "The patch is damaged or cut short:\n" + patchPath +
                                                "\nIt ends inside the part that begins at byte "}},
        {original, {"ForAGiImage", EncodePpf(gi), false,
                    "The patch is for another kind of image (image type 1), not a raw image:\n" + patchPath}},
        {original, {"NoPatchAtAll", Bytes(2000, 'P'), false, "This is not a PPF patch:\n" + patchPath +
                                                                 "\nNothing was changed."}},
        {original, {"UndoWithoutUndoData", EncodePpf(v2), true,
                    "The patch carries no undo data, so it can not be taken back:"}},
    };
    for (const auto& [before, c] : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(image, before);
        WriteFileBytes(patchPath, c.patch);
        MessageRecorder messages;
        EXPECT_FALSE(ApplyPatchFile(image, patchPath, c.undo, messages));
        const auto texts = messages.Texts();
        ASSERT_EQ(texts.size(), 1u) << testing::PrintToString(texts);
        EXPECT_EQ(texts[0].rfind(c.begins, 0), 0u) << texts[0];
        EXPECT_EQ(messages.Notices()[0].outcome, Outcome::Failure);
        EXPECT_EQ(ReadFileBytes(image), before);
        EXPECT_TRUE(NoJournal(image));
    }
    // A patch that is not there.
    MessageRecorder messages;
    EXPECT_FALSE(ApplyPatchFile(image, dir / "none.ppf", false, messages));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"can not read file\n" + (dir / "none.ppf") + "\nNothing was changed."});
}

TEST(ApplyPatch, ThroughACueSheetChangesItsDataFile) {
    TempDir dir;
    const Bytes original = RawImage(kSectors, 41);
    Bytes modified = original;
    Edit(modified, 22, 5, 5, 1);
    WriteFileBytes(dir / "game.bin", original);
    const std::string sheet = "FILE \"game.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";
    WriteFileBytes(dir / "game.cue", Bytes(sheet.begin(), sheet.end()));
    WriteFileBytes(dir / "p.ppf", EncodePpf(HandMade(3, true, true, false, original, modified)));
    MessageRecorder messages;
    ASSERT_TRUE(ApplyPatchFile(dir / "game.cue", dir / "p.ppf", false, messages));
    EXPECT_EQ(ReadFileBytes(dir / "game.bin"), modified);
    EXPECT_EQ(messages.Texts()[0].rfind("The patch was applied:\n" + (dir / "game.cue") + "\n", 0), 0u);
}

TEST(ApplyPatch, AnImageThatAnotherProgramChangesIsWaitedForThenRefused) {
    TempDir dir;
    const Bytes original = RawImage(kSectors, 51);
    Bytes modified = original;
    Edit(modified, 22, 5, 5, 1);
    const std::string image = dir / "disc.bin";
    WriteFileBytes(image, original);
    WriteFileBytes(dir / "p.ppf", EncodePpf(HandMade(3, true, false, false, original, modified)));
    FileHandle other;
    ASSERT_TRUE(other.Open(image, FileHandle::Mode::ReadWrite));
    ASSERT_TRUE(other.TryLock(LockKind::Exclusive));
    MessageRecorder messages;
    EXPECT_FALSE(ApplyPatchFile(image, dir / "p.ppf", false, messages));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{ImageInUse(image)});
    EXPECT_EQ(ReadFileBytes(image), original);
    other.Close();
    EXPECT_TRUE(ApplyPatchFile(image, dir / "p.ppf", false, messages));
    EXPECT_EQ(ReadFileBytes(image), modified);
}

} // namespace
} // namespace qorlu

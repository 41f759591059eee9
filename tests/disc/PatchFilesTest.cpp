// PPF patches: made and applied they give the modified image, taken back
// the original; hand-made ones (put together from the format's
// description) of every version and flag are read and apply; patched
// sectors' checksums follow the rule; every refusal leaves the image (and
// an old patch) as it was.

#include "disc/ImageJournal.h"
#include "disc/PatchFiles.h"
#include "disc/PpfPatch.h"
#include "disc/SectorChecksum.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "tools/PpfBuilder.h"
#include "tools/RawSectorWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <tuple>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kRaw = 2352;

// 40 valid Mode 2 Form 1 sectors.
Bytes RawImage(std::uint32_t seed) { return tools::WrapIntoRawSectors(tools::PatternBytes(40 * 2048, seed)); }

// User bytes of `sector` changed and its checksums renewed, as a modder's tools leave it.
void Edit(Bytes& image, std::size_t sector, std::size_t from, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        image[sector * kRaw + 24 + from + i] ^= static_cast<std::uint8_t>(1 + i % 255);
    sector::EncodeForm1(&image[sector * kRaw]);
}

// The records that turn `a` into `b`, a differing byte at a time.
tools::PpfBuild HandMade(int version, bool validation, bool undo, const Bytes& a, const Bytes& b) {
    tools::PpfBuild p;
    p.version = version;
    p.validation = validation;
    p.undo = undo;
    p.block = tools::ValidationBlockOf(a);
    p.originalSize = static_cast<std::uint32_t>(a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) p.records.push_back({i, {b[i]}, {a[i]}});
    return p;
}

struct Fixture {
    test::TempDir dir;
    std::string image = dir / "disc.bin";
    std::string patch = dir / "p.ppf";
    test::MessageRecorder messages;
};

TEST(PatchFiles, MadeAppliedAndTakenBackGiveTheModifiedThenTheOriginalImage) {
    const std::vector<void (*)(Bytes&)> mods = {
        [](Bytes& b) { Edit(b, 30, 100, 5); },
        [](Bytes& b) { Edit(b, 16, 0, 2048), Edit(b, 33, 2000, 48); }, // the validated sector too
        [](Bytes& b) { b.front() ^= 1, b.back() ^= 1; },               // a sync byte, a parity byte
    };
    for (std::size_t m = 0; m < mods.size(); ++m) {
        for (const bool undo : {false, true}) {
            SCOPED_TRACE(std::to_string(m) + (undo ? " with undo data" : ""));
            Fixture f;
            const Bytes original = RawImage(11);
            Bytes modified = original;
            mods[m](modified);
            WriteFileBytes(f.dir / "a.bin", original);
            WriteFileBytes(f.dir / "b.bin", modified);
            ASSERT_TRUE(MakePatchFile(f.dir / "a.bin", f.dir / "b.bin", f.patch, {"my mod", undo}, f.messages));
            WriteFileBytes(f.image, original);
            ASSERT_TRUE(ApplyPatchFile(f.image, f.patch, false, f.messages));
            EXPECT_EQ(ReadFileBytes(f.image), modified);
            EXPECT_EQ(ApplyPatchFile(f.image, f.patch, true, f.messages), undo);
            EXPECT_EQ(ReadFileBytes(f.image), undo ? original : modified);
            EXPECT_EQ(ReadFileBytes(f.dir / "a.bin"), original);
            EXPECT_EQ(std::distance(fs::directory_iterator(f.dir.Path()), fs::directory_iterator()), 4)
                << "no temporary and no journal left";
        }
    }
}

TEST(PatchFiles, AnImageShorterThanTheValidationBlockIsCheckedAsFarAsItGoes) {
    Fixture f;
    const Bytes original = tools::PatternBytes(0x9320 + 100, 9);
    Bytes modified = original;
    modified[500] ^= 0x33;
    WriteFileBytes(f.dir / "a.bin", original);
    WriteFileBytes(f.dir / "b.bin", modified);
    ASSERT_TRUE(MakePatchFile(f.dir / "a.bin", f.dir / "b.bin", f.patch, {}, f.messages));
    const auto notices = f.messages.Notices();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].outcome, Outcome::Warning);
    EXPECT_EQ(notices[0].text.rfind("The original image ends before byte 38688 (0x9720)", 0), 0u) << notices[0].text;
    const Bytes file = ReadFileBytes(f.patch);
    EXPECT_EQ(Bytes(file.begin() + 60, file.begin() + 1084), tools::ValidationBlockOf(original)); // 100 bytes, zeros
    Bytes other = original;
    other[0x9320 + 50] ^= 1;
    for (const Bytes* image : {static_cast<const Bytes*>(&other), &original}) {
        WriteFileBytes(f.image, *image);
        EXPECT_EQ(ApplyPatchFile(f.image, f.patch, false, f.messages), image == &original);
        EXPECT_EQ(ReadFileBytes(f.image), image == &original ? modified : other);
    }
}

TEST(PatchFiles, MakeRefusesAndWritesNothing) {
    Fixture f;
    const Bytes image = RawImage(5);
    WriteFileBytes(f.dir / "a.bin", image);
    WriteFileBytes(f.dir / "long.bin", Bytes(image.size() + 1, 0));
    WriteFileBytes(f.patch, Bytes{'o', 'l', 'd'});
    const std::string a = f.dir / "a.bin";
    const std::string longer = f.dir / "long.bin";
    const std::vector<std::tuple<std::string, std::string, std::string, std::string, std::string>> cases = {
        {a, longer, f.patch, "", "The two images differ in length:\n" + a + "\nhas 94080 bytes,\n" + longer},
        {a, a, f.patch, std::string(51, 'd'), "The description has 51 bytes; a patch holds at most 50."},
        {a, longer, a, "", "The patch would be written over an image:\n" + a},
        {a, a, f.dir / "no/p.ppf", "", "can not write file\n" + (f.dir / "no/p.ppf")},
    };
    for (const auto& [from, to, patch, description, begins] : cases) {
        f.messages.Clear();
        EXPECT_FALSE(MakePatchFile(from, to, patch, {description, false}, f.messages));
        ASSERT_EQ(f.messages.Texts().size(), 1u);
        EXPECT_EQ(f.messages.Texts()[0].rfind(begins, 0), 0u) << f.messages.Texts()[0];
        EXPECT_EQ(ReadFileBytes(f.patch), (Bytes{'o', 'l', 'd'}));
        EXPECT_EQ(ReadFileBytes(a), image);
        EXPECT_EQ(std::distance(fs::directory_iterator(f.dir.Path()), fs::directory_iterator()), 3);
    }
}

TEST(PatchFiles, HandMadePatchesOfEveryVersionAndFlagAreReadAndApply) {
    const Bytes original = RawImage(21);
    Bytes modified = original;
    Edit(modified, 16, 10, 40);
    Edit(modified, 39, 2000, 48);
    for (const auto& [version, validation, undo, diz] :
         std::vector<std::tuple<int, bool, bool, bool>>{{1, false, false, false},
                                                        {2, true, false, false},
                                                        {2, true, false, true},
                                                        {3, false, false, false},
                                                        {3, true, false, false},
                                                        {3, false, true, false},
                                                        {3, true, true, false},
                                                        {3, false, false, true},
                                                        {3, true, false, true},
                                                        {3, false, true, true},
                                                        {3, true, true, true}}) {
        SCOPED_TRACE(version * 1000 + validation * 100 + undo * 10 + diz);
        Fixture f;
        tools::PpfBuild hand = HandMade(version, validation, undo, original, modified);
        hand.description = "Some Mod v1";
        if (diz) hand.fileIdDiz = "Some Mod v1\r\nby somebody";
        // The first record again at the end: undo must go from the last record back.
        hand.records.push_back({hand.records[0].offset, hand.records[0].newBytes, hand.records[0].newBytes});
        const Bytes file = tools::EncodePpf(hand);
        const ppf::ParseResult parsed = ppf::Parse(file);
        ASSERT_EQ(parsed.problem, ppf::Problem::None);
        EXPECT_EQ(parsed.patch.description, "Some Mod v1");
        EXPECT_EQ(parsed.patch.fileIdDiz, hand.fileIdDiz);
        EXPECT_EQ(parsed.patch.validation.size(), version == 2 || (version == 3 && validation) ? 1024u : 0u);
        EXPECT_EQ(parsed.patch.originalSize.has_value(), version == 2);
        EXPECT_EQ(parsed.patch.records.size(), hand.records.size());
        WriteFileBytes(f.image, original);
        WriteFileBytes(f.patch, file);
        ASSERT_TRUE(ApplyPatchFile(f.image, f.patch, false, f.messages)) << f.messages.Texts().back();
        EXPECT_EQ(ReadFileBytes(f.image), modified);
        EXPECT_EQ(ApplyPatchFile(f.image, f.patch, true, f.messages), undo);
        EXPECT_EQ(ReadFileBytes(f.image), undo ? original : modified);
    }
}

// `bytes` at `offset` and the sector's checksums renewed, as applying a
// record of user data leaves a valid sector.
Bytes With(Bytes image, std::size_t offset, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    sector::EncodeForm1(&image[offset / kRaw * kRaw]);
    return image;
}

// One apply of a patch: the patch, the direction, and the image it must
// leave (unused for a refusal, which must leave the image as it was).
struct ApplyStep {
    const Bytes* patch;
    bool undo;
    bool ok;
    Bytes after;
    std::string message;
};

TEST(PatchFiles, RecordsAreCheckedAgainstTheBytesTheyFindAsTheRecordsBeforeThemLeaveThem) {
    Fixture f;
    const Bytes o = RawImage(41);
    const std::size_t a = 20 * kRaw + 124, b = 33 * kRaw + 600, v = 0x9320 + 10; // v: in the validation block
    const Bytes x = tools::PatternBytes(8, 1), y = tools::PatternBytes(8, 2), z = tools::PatternBytes(8, 3);
    const Bytes w = tools::PatternBytes(8, 4);
    const auto at = [](const Bytes& image, std::size_t from) {
        const auto first = image.begin() + static_cast<std::ptrdiff_t>(from);
        return Bytes(first, first + 8);
    };
    const auto encode = [&](bool undo, std::vector<tools::PpfBuildRecord> records) {
        tools::PpfBuild p;
        p.undo = undo;
        p.block = tools::ValidationBlockOf(o);
        p.records = std::move(records);
        return tools::EncodePpf(p);
    };
    const Bytes v1 = encode(true, {{a, x, at(o, a)}});
    const Bytes v2 = encode(true, {{a, y, at(o, a)}, {b, z, at(o, b)}});
    const Bytes v2Bare = encode(false, {{a, y, {}}, {b, z, {}}});
    // The second record over the first one's last 4 bytes; one of no bytes at the image's end.
    const Bytes over = encode(true, {{a, x, at(o, a)}, {a + 4, y, at(With(o, a, x), a + 4)}, {o.size(), {}, {}}});
    const Bytes block = encode(true, {{v, y, at(o, v)}});
    const Bytes blockBare = encode(false, {{v, y, {}}});
    const Bytes m1 = With(o, a, x), m2 = With(With(o, a, y), b, z), mOver = With(m1, a + 4, y);
    const std::string applied = "The patch was applied:\n" + f.image + "\n";
    const std::string takenBack = "The patch was taken back:\n" + f.image + "\n";
    const std::string two = "16 bytes in 2 records, 2 sectors written.";
    const std::string one = "8 bytes in 1 record, 1 sector written.";
    const std::string rest = one + "\n1 record was in place already.";
    const std::string already = "The patch is already applied:\n" + f.image +
                                "\nThe image holds every byte the patch writes.\nNothing was changed.";
    const std::string alreadyBack = "The patch is already taken back:\n" + f.image +
                                    "\nThe image holds every byte the patch replaces.\nNothing was changed.";
    const auto neither = [&](const char* where, bool undo) {
        return std::string(undo ? "The image holds other bytes than the patch writes:\n"
                                : "The image holds other bytes than the patch replaces:\n") +
               f.image + "\nAt byte " + where +
               (undo ? " it holds neither the bytes the patch writes there nor the ones it replaces."
                     : " it holds neither the bytes the patch replaces there nor the ones it writes.") +
               "\nNothing was changed.";
    };
    const std::vector<std::tuple<const char*, Bytes, std::vector<ApplyStep>>> cases = {
        {"taken back, never applied", o, {{&v2, true, true, o, alreadyBack}}},
        {"applied twice", o, {{&v2, false, true, m2, applied + two}, {&v2, false, true, m2, already}}},
        {"taken back twice", m2, {{&v2, true, true, o, takenBack + two}, {&v2, true, true, o, alreadyBack}}},
        {"applied over other bytes", With(o, b, w), {{&v2, false, false, {}, neither("78216 (0x13188)", false)}}},
        {"taken back over other bytes", With(m2, b, w), {{&v2, true, false, {}, neither("78216 (0x13188)", true)}}},
        {"v2 applied, v1 taken back",
         o,
         {{&v2, false, true, m2, applied + two}, {&v1, true, false, {}, neither("47164 (0xB83C)", true)}}},
        {"v1 applied, v2 over it",
         o,
         {{&v1, false, true, m1, applied + one}, {&v2, false, false, {}, neither("47164 (0xB83C)", false)}}},
        {"partly applied", With(o, b, z), {{&v2, false, true, m2, applied + rest}}},
        {"no undo data, applied twice",
         o,
         {{&v2Bare, false, true, m2, applied + two}, {&v2Bare, false, true, m2, already}}},
        {"no undo data, over other bytes", With(o, b, w), {{&v2Bare, false, true, m2, applied + two}}},
        {"records over each other",
         o,
         {{&over, false, true, mOver, applied + "16 bytes in 2 records, 1 sector written."},
          {&over, false, true, mOver, already},
          {&over, true, true, o, takenBack + "16 bytes in 2 records, 1 sector written."},
          {&over, true, true, o, alreadyBack}}},
        {"records over each other, the first in place", m1, {{&over, false, true, mOver, applied + rest}}},
        {"validation bytes changed, applied twice",
         o,
         {{&block, false, true, With(o, v, y), applied + one},
          {&block, false, true, With(o, v, y), already},
          {&block, true, true, o, takenBack + one}}},
        {"validation bytes changed, no undo data, applied twice",
         o,
         {{&blockBare, false, true, With(o, v, y), applied + one}, {&blockBare, false, true, With(o, v, y), already}}},
        {"validation bytes other under the record",
         With(o, v, w),
         {{&block, false, false, {}, neither("37674 (0x932A)", false)}}},
        {"validation bytes other under the record, no undo data",
         With(o, v, w),
         {{&blockBare,
           false,
           false,
           {},
           "The patch was made for another image:\n" + f.image +
               "\nThe 1024 bytes it checks at byte 37664 (0x9320) differ from the image's.\nNothing was changed."}}},
    };
    for (const auto& [name, image, steps] : cases) {
        SCOPED_TRACE(name);
        WriteFileBytes(f.image, image);
        for (std::size_t k = 0; k < steps.size(); ++k) {
            SCOPED_TRACE(k);
            const ApplyStep& step = steps[k];
            const Bytes before = ReadFileBytes(f.image);
            WriteFileBytes(f.patch, *step.patch);
            f.messages.Clear();
            EXPECT_EQ(ApplyPatchFile(f.image, f.patch, step.undo, f.messages), step.ok);
            ASSERT_EQ(f.messages.Texts().size(), 1u);
            EXPECT_EQ(f.messages.Texts()[0], step.message);
            EXPECT_EQ(f.messages.Notices()[0].outcome, step.ok ? Outcome::Success : Outcome::Failure);
            EXPECT_EQ(ReadFileBytes(f.image), step.ok ? step.after : before);
            EXPECT_FALSE(fs::exists(JournalPathFor(f.image)));
        }
    }
}

constexpr std::string_view kDiz = "Some Mod v1\r\nby somebody";

// The trailer's forms: 2.0's 4-byte length, 3.0's 2-byte one, alone or
// followed by 2 zero bytes. `at` counts back from the end of the file.
struct TrailerCase {
    const char* name;
    int version;
    bool padded;
    void (*damage)(Bytes&);
    ppf::Problem problem;
    std::size_t at;
};

void BreakBeginMarker(Bytes& file) {
    const std::string_view begin = "@BEGIN_FILE_ID.DIZ";
    const auto at = std::search(file.begin(), file.end(), begin.begin(), begin.end());
    ASSERT_NE(at, file.end());
    *at = '#';
}

TEST(PatchFiles, FileIdDizTrailersOfEitherLengthFormAreReadAndDamagedOnesRefused) {
    const Bytes original = RawImage(23);
    Bytes modified = original;
    Edit(modified, 30, 5, 3);
    const std::size_t trailer = 18 + kDiz.size() + 16; // both markers and the text
    const std::vector<TrailerCase> cases = {
        {"2.0", 2, false, nullptr, ppf::Problem::None, 0},
        {"3.0", 3, false, nullptr, ppf::Problem::None, 0},
        {"3.0 padded", 3, true, nullptr, ppf::Problem::None, 0},
        {"3.0 padded, the text counted otherwise", 3, true, [](Bytes& b) { b[b.size() - 4] += 1; }, ppf::Problem::None,
         0},
        {"2.0 no beginning", 2, false, BreakBeginMarker, ppf::Problem::DamagedTrailer, 16 + 4},
        {"3.0 no beginning", 3, false, BreakBeginMarker, ppf::Problem::DamagedTrailer, 16 + 2},
        {"3.0 padded, no beginning", 3, true, BreakBeginMarker, ppf::Problem::DamagedTrailer, 16 + 4},
        {"3.0 padded, not with zeros", 3, true, [](Bytes& b) { b.back() = 1; }, ppf::Problem::DamagedTrailer,
         trailer + 4},
        {"3.0 padded, cut by one", 3, true, [](Bytes& b) { b.pop_back(); }, ppf::Problem::DamagedTrailer, trailer + 3},
        {"3.0, cut by one", 3, false, [](Bytes& b) { b.pop_back(); }, ppf::Problem::DamagedTrailer, trailer + 1},
    };
    for (const TrailerCase& c : cases) {
        SCOPED_TRACE(c.name);
        tools::PpfBuild hand = HandMade(c.version, true, c.version == 3, original, modified);
        hand.description = "Some Mod v1";
        hand.fileIdDiz = std::string(kDiz);
        hand.dizLengthPadded = c.padded;
        Bytes file = tools::EncodePpf(hand);
        if (c.damage) c.damage(file);
        const ppf::ParseResult parsed = ppf::Parse(file);
        EXPECT_EQ(parsed.problem, c.problem);
        if (c.problem != ppf::Problem::None) {
            EXPECT_EQ(parsed.at, file.size() - c.at);
            EXPECT_TRUE(parsed.patch.records.empty());
            continue;
        }
        EXPECT_EQ(parsed.patch.description, "Some Mod v1");
        EXPECT_EQ(parsed.patch.fileIdDiz, hand.fileIdDiz);
        ASSERT_EQ(parsed.patch.records.size(), hand.records.size());
        EXPECT_EQ(parsed.patch.records.back().offset, hand.records.back().offset);
        EXPECT_TRUE(std::ranges::equal(parsed.patch.records.back().newBytes, hand.records.back().newBytes));
    }
}

// What the patch writes into sector 30 (offsets within it) of a valid image,
// and whether the sector gets checksums of its new bytes; otherwise it
// holds exactly what the patch leaves.
struct ChecksumCase {
    const char* name;
    std::vector<tools::PpfBuildRecord> writes;
    bool renewed;
};
void PrintTo(const ChecksumCase& c, std::ostream* os) { *os << c.name; }

class PatchedChecksums : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(PatchedChecksums, AreRenewedOnlyWhenTheSectorStaysValidForm1AndThePatchLeavesThem) {
    Fixture f;
    const Bytes original = RawImage(17);
    tools::PpfBuild p;
    p.block = tools::ValidationBlockOf(original);
    Bytes expected = original;
    for (auto r : GetParam().writes) {
        r.offset += 30 * kRaw;
        std::copy(r.newBytes.begin(), r.newBytes.end(), expected.begin() + static_cast<std::ptrdiff_t>(r.offset));
        p.records.push_back(r);
    }
    WriteFileBytes(f.image, original);
    WriteFileBytes(f.patch, tools::EncodePpf(p));
    ASSERT_TRUE(ApplyPatchFile(f.image, f.patch, false, f.messages));
    const Bytes after = ReadFileBytes(f.image);
    const std::size_t kept = GetParam().renewed ? 2072 : kRaw; // bytes exactly as the patch leaves them
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 30 * kRaw + kept, expected.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 31 * kRaw, after.end(), expected.begin() + 31 * kRaw));
    EXPECT_EQ(sector::Classify(&after[30 * kRaw]) == sector::Kind::Form1Valid, GetParam().renewed);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, PatchedChecksums,
    ::testing::Values(ChecksumCase{"UserData", {{124, {1, 2, 3}, {}}, {2071, {7}, {}}}, true},
                      ChecksumCase{"SubheaderStillForm1", {{16, {5}, {}}, {20, {5}, {}}}, true},
                      ChecksumCase{"UserDataAndItsOwnEdc", {{124, {1}, {}}, {2072, {0, 0, 0, 0}, {}}}, false},
                      ChecksumCase{"UserDataAndOneParityByte", {{124, {1}, {}}, {2351, {0x42}, {}}}, false},
                      ChecksumCase{"SyncBroken", {{0, {1}, {}}, {124, {9}, {}}}, false},
                      ChecksumCase{"TurnedIntoForm2", {{18, {0x28}, {}}, {22, {0x28}, {}}, {124, {9}, {}}}, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PatchFiles, ApplyRefusalsLeaveTheImageAsItWas) {
    const Bytes original = RawImage(31);
    Bytes modified = original;
    Edit(modified, 25, 0, 100);
    const Bytes other = RawImage(32);
    Fixture f;
    const tools::PpfBuild v3 = HandMade(3, true, true, original, modified);
    tools::PpfBuild v2 = HandMade(2, true, false, original, modified);
    tools::PpfBuild pastTheEnd = v3;
    pastTheEnd.records.push_back({original.size() - 2, {1, 2, 3}, {4, 5, 6}});
    Bytes cut = tools::EncodePpf(v3);
    cut.pop_back();
    tools::PpfBuild withDiz = v2;
    withDiz.fileIdDiz = "text";
    Bytes dizCut = tools::EncodePpf(withDiz);
    dizCut.resize(dizCut.size() - 3);
    Bytes otherMethod = tools::EncodePpf(v3);
    otherMethod[5] = 1;
    Bytes imageType1 = tools::EncodePpf(v3);
    imageType1[56] = 1;
    const std::string another = "The patch was made for another image:\n" + f.image + "\n";
    const std::vector<std::tuple<const Bytes*, Bytes, bool, std::string>> cases = {
        {&other, tools::EncodePpf(v3), false, another + "The 1024 bytes it checks at byte 37664 (0x9320) differ"},
        {&other, tools::EncodePpf(v3), true, another + "The 1024 bytes it checks"},
        {&original,
         [&] {
             v2.originalSize += 1;
             return tools::EncodePpf(v2);
         }(),
         false, another + "It is for an image of 94081 bytes; this one has 94080.\nNothing was changed."},
        {&original, tools::EncodePpf(pastTheEnd), false,
         "The patch changes bytes past the end of the image:\n" + f.image +
             "\nThe image has 94080 bytes; a record of the patch writes 3 at byte 94078 (0x16F7E)."},
        {&original, cut, false, "The patch is damaged or cut short:\n" + f.patch + "\nIt ends inside the part"},
        {&original, dizCut, false, "The patch is damaged or cut short:\n" + f.patch + "\nIts file_id.diz text"},
        {&original, otherMethod, false, "The patch is damaged or cut short:\n" + f.patch + "\nIts header does not"},
        {&original, imageType1, false, "The patch is for another kind of image (image type 1), not a raw image:"},
        {&original, Bytes(2000, 'P'), false, "This is not a PPF patch:\n" + f.patch + "\nNothing was changed."},
        {&modified, tools::EncodePpf(HandMade(1, false, false, original, modified)), true,
         "The patch carries no undo data, so it can not be taken back:\n" + f.patch + "\nNothing was changed."},
    };
    for (const auto& [image, patch, undo, begins] : cases) {
        f.messages.Clear();
        WriteFileBytes(f.image, *image);
        WriteFileBytes(f.patch, patch);
        EXPECT_FALSE(ApplyPatchFile(f.image, f.patch, undo, f.messages));
        ASSERT_EQ(f.messages.Texts().size(), 1u);
        EXPECT_EQ(f.messages.Texts()[0].rfind(begins, 0), 0u) << f.messages.Texts()[0];
        EXPECT_EQ(f.messages.Notices()[0].outcome, Outcome::Failure);
        EXPECT_EQ(ReadFileBytes(f.image), *image);
        EXPECT_FALSE(fs::exists(JournalPathFor(f.image)));
    }
}

} // namespace
} // namespace qorlu

// Writing a modified file back over an entry inside the image, and matching
// files to entries by name.

#include "archive/AfsArchive.h"
#include "disc/SectorChecksum.h"
#include "archive/ImportMatching.h"
#include "disc/ImageJournal.h"
#include "format/ByteOrder.h"
#include "base/Text.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

namespace qorlu {
namespace {

using test::MessageRecorder;
using test::TempDir;
using tools::PatternBytes;

constexpr std::uint32_t kStart = 40;

struct Image {
    TempDir dir;
    MessageRecorder messages;
    CAfsArchive archive{messages};
    tools::AfsLayout layout;
    std::string bin = dir / "disc.bin";

    explicit Image(const std::vector<tools::AfsBuildEntry>& entries, tools::AfsBuildOptions options = {}) {
        layout = tools::BuildAfs(entries, options);
        test::WriteImageWithArchive(bin, layout.bytes, kStart);
        EXPECT_TRUE(archive.LocateArchive(bin, "filedata.afs") && archive.LoadIndex());
        messages.Clear(); // the size warning of a small sample archive
    }
    std::string Replacement(std::size_t size, std::uint32_t seed = 99) {
        const std::string path = dir / ("new" + std::to_string(size) + ".bin");
        test::WriteFileBytes(path, PatternBytes(size, seed));
        return path;
    }
    // Archive bytes as they are in the image now.
    std::vector<std::uint8_t> ArchiveBytes() {
        const auto raw = test::ReadFileBytes(bin);
        std::vector<std::uint8_t> out(layout.bytes.size());
        for (std::size_t o = 0; o < out.size(); ++o) out[o] = raw[(kStart + o / 2048) * 2352 + 24 + o % 2048];
        return out;
    }
};

// Entry 1: slot space 6144, old size 5000.
const std::vector<tools::AfsBuildEntry> kEntries = {{"A/FIRST.BIN", PatternBytes(3000, 1), 0},
                                                    {"B/VOICE.ADX", PatternBytes(5000, 2), 0},
                                                    {"C/LAST.BIN", PatternBytes(700, 3), 0}};

TEST(ImportEntry, TheSlotSpaceRuleAndTheRecordedSize) {
    struct Case {
        std::size_t length;
        bool accepted;
        std::uint32_t recorded;
    } cases[] = {{5000, true, 5000}, {6144, true, 6144}, {4097, true, 4097}, {6143, true, 6143},
                 {5500, true, 5500}, {100, true, 4097},  {6145, false, 5000}};
    for (const auto& c : cases) {
        Image image(kEntries);
        ASSERT_EQ(image.archive.GetEntrySpace(1), 6144u);
        const auto before = image.ArchiveBytes();
        const auto rawBefore = test::ReadFileBytes(image.bin);
        const std::string path = image.Replacement(c.length);

        EXPECT_EQ(image.archive.ImportEntry(path, 1), c.accepted ? 1 : 0) << c.length;
        EXPECT_EQ(image.archive.GetEntrySize(1), c.recorded) << "updated in memory at once";

        auto expected = before;
        if (c.accepted) {
            const auto data = PatternBytes(c.length, 99);
            std::copy(data.begin(), data.end(), expected.begin() + image.layout.offsets[1]);
            if (c.length != 5000) {
                WriteLE32(&expected[12 + 8], c.recorded);
                WriteLE32(&expected[image.layout.nameDirOffset + 48 + 44], c.recorded);
            }
            EXPECT_TRUE(image.messages.Texts().empty());
        } else {
            EXPECT_EQ(image.messages.Texts(), std::vector<std::string>{"file size too large!"});
            EXPECT_EQ(test::ReadFileBytes(image.bin), rawBefore) << "image untouched";
        }
        EXPECT_EQ(image.ArchiveBytes(), expected) << c.length << ": the slot beyond the data keeps its bytes";

        // Headers of every sector keep their bytes; a trailer changes only
        // with its sector's user data, to checksums that match it.
        const auto rawAfter = test::ReadFileBytes(image.bin);
        ASSERT_EQ(rawAfter.size(), rawBefore.size());
        for (std::size_t s = 0; s < rawAfter.size() / 2352; ++s) {
            const auto* a = &rawAfter[s * 2352];
            const auto* b = &rawBefore[s * 2352];
            ASSERT_TRUE(std::equal(a, a + 24, b)) << "header of sector " << s;
            if (!std::equal(a + 2072, a + 2352, b + 2072)) {
                EXPECT_FALSE(std::equal(a + 24, a + 2072, b + 24)) << "trailer of unwritten sector " << s;
            }
            EXPECT_EQ(sector::Classify(a), sector::Classify(b)) << "sector " << s;
        }

        CAfsArchive fresh(image.messages);
        ASSERT_TRUE(fresh.LocateArchive(image.bin, "filedata.afs") && fresh.LoadIndex());
        EXPECT_EQ(fresh.GetEntrySize(1), c.recorded) << "a fresh load agrees";
    }
}

// The name directory is found after the end of the last entry in the table:
// whatever the last entry's new size, the next load finds the same directory
// and the same names, and the slot beyond the recorded size is cleared.
TEST(ImportEntry, TheLastEntryChangedInSizeKeepsTheNameDirectoryWhereItIs) {
    // The last entry: 5000 bytes in a slot of 6144 that ends at the names.
    const std::vector<tools::AfsBuildEntry> entries = {{"A/FIRST.BIN", PatternBytes(3000, 1), 0},
                                                       {"C/LAST.BIN", PatternBytes(5000, 3), 0}};
    struct Case {
        std::size_t length;
        std::uint32_t recorded;
    } cases[] = {{100, 4097}, {0, 4097}, {4500, 4500}, {6000, 6000}, {6144, 6144}, {5000, 5000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        tools::AfsBuildOptions options;
        options.gapBeforeNames = 1144;
        Image image(entries, options);
        ASSERT_EQ(image.archive.GetEntrySpace(1), 6144u);
        const std::uint32_t dir = image.archive.m_nNameDirOffset;
        ASSERT_EQ(image.archive.ImportEntry(image.Replacement(c.length), 1), 1);
        EXPECT_TRUE(image.messages.Texts().empty());

        CAfsArchive fresh(image.messages);
        ASSERT_TRUE(fresh.LocateArchive(image.bin, "filedata.afs") && fresh.LoadIndex());
        EXPECT_EQ(fresh.m_nNameDirOffset, dir);
        EXPECT_EQ(fresh.GetEntryName(0), image.archive.GetEntryName(0));
        EXPECT_EQ(fresh.GetEntryName(1), image.archive.GetEntryName(1));
        EXPECT_EQ(fresh.GetEntrySize(1), c.recorded);
        const auto bytes = image.ArchiveBytes();
        const std::size_t end = image.layout.offsets[1] + std::max<std::size_t>(c.recorded, c.length);
        EXPECT_TRUE(std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(end), bytes.begin() + dir,
                                [](std::uint8_t b) { return b == 0; }));
    }
}

TEST(ImportEntry, BelowA2047ByteSlotTheLengthIsRecorded) {
    tools::AfsBuildOptions options;
    options.alignment = 16;
    Image image({{"SMALL.BIN", PatternBytes(100, 1), 0}, {"NEXT.BIN", PatternBytes(10, 2), 0}}, options);
    ASSERT_EQ(image.archive.GetEntrySpace(0), 112u);
    EXPECT_EQ(image.archive.ImportEntry(image.Replacement(20), 0), 1);
    EXPECT_EQ(image.archive.GetEntrySize(0), 20u);
}

TEST(ImportEntry, TheLastEntryMayGrowUpToTheNameDirectoryButNotOverIt) {
    tools::AfsBuildOptions options;
    options.gapBeforeNames = 3000;
    Image image({{"ONLY.BIN", PatternBytes(1000, 1), 0}}, options);
    ASSERT_EQ(image.archive.GetEntrySpace(0), 4000u);
    EXPECT_EQ(image.archive.ImportEntry(image.Replacement(4001), 0), 0);
    ASSERT_TRUE(image.archive.LastImportFailure().has_value());
    EXPECT_EQ(image.archive.LastImportFailure()->kind, ImportFailureKind::TooLarge);
    EXPECT_EQ(image.archive.ImportEntry(image.Replacement(4000), 0), 1);
    EXPECT_FALSE(image.archive.LastImportFailure().has_value()) << "a success leaves no failure";
    CAfsArchive fresh(image.messages);
    ASSERT_TRUE(fresh.LocateArchive(image.bin, "filedata.afs") && fresh.LoadIndex());
    EXPECT_EQ(fresh.GetEntryName(0), "ONLY.BIN") << "the name directory is intact";
    EXPECT_EQ(fresh.GetEntrySize(0), 4000u);
}

TEST(ImportEntry, FailuresLeaveTheImageUntouched) {
    Image image(kEntries);
    const auto rawBefore = test::ReadFileBytes(image.bin);
    // Each refusal is kept with its kind and where it happened.
    const auto refused = [&](const std::string& file, std::uint32_t entry, ImportFailureKind kind,
                             std::uint64_t fileSize) {
        SCOPED_TRACE(file);
        EXPECT_EQ(image.archive.ImportEntry(file, entry), 0);
        ASSERT_TRUE(image.archive.LastImportFailure().has_value());
        const ImportFailure& f = *image.archive.LastImportFailure();
        EXPECT_EQ(f.kind, kind);
        EXPECT_EQ(f.entry, entry);
        EXPECT_EQ(f.offset, image.archive.GetEntryOffset(entry));
        EXPECT_EQ(f.space, image.archive.GetEntrySpace(entry));
        EXPECT_EQ(f.fileSize, fileSize);
        EXPECT_EQ(f.file, file);
        EXPECT_EQ(f.image, image.bin);
        EXPECT_FALSE(image.archive.LastImportFoundImageChanged());
    };
    refused(image.dir / "missing.bin", 1, ImportFailureKind::CannotOpenFile, 0);
    refused(image.dir.Path().string(), 1, ImportFailureKind::CannotOpenFile, 0); // a folder is not a file
    const std::string path = image.Replacement(10);
    std::filesystem::rename(image.bin, image.dir / "moved.bin");
    refused(path, 1, ImportFailureKind::CannotOpenImage, 10);
    refused(image.Replacement(1), 9, ImportFailureKind::TooLarge, 1); // outside the table: slot space 0
    EXPECT_EQ(image.messages.Texts(),
              (std::vector<std::string>{"can not open file\n" + image.dir / "missing.bin",
                                        "can not open file\n" + image.dir.Path().string(), "Can not open ISO file!",
                                        "can not open ISO file!", "file size too large!"}));
    EXPECT_EQ(test::ReadFileBytes(image.dir / "moved.bin"), rawBefore);
    EXPECT_EQ(image.archive.GetEntrySize(1), 5000u);
}

TEST(ImportEntry, AWriteThatFailsAfterTheImageWasOpenedIsAFailure) {
    Image image(kEntries);
    const std::string path = image.Replacement(5500);
    int result = -1;
    {
        // The disk is "full" from the middle of entry 1's data on.
        test::FileSizeLimit full((kStart + image.layout.offsets[1] / 2048 + 1) * 2352);
        QORLU_ASSERT_FILE_SIZE_LIMIT(full);
        result = image.archive.ImportEntry(path, 1);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(image.messages.Texts(), std::vector<std::string>{"can not write ISO file!"});
    EXPECT_EQ(image.archive.GetEntrySize(1), 5000u) << "no size is recorded for data that did not arrive";
}

TEST(ImportEntry, AnImportThatFailsHalfWayIsPutBackAtOnce) {
    Image image(kEntries);
    const auto rawBefore = test::ReadFileBytes(image.bin);
    const std::string journal = JournalPathFor(image.bin);
    {
        // Writes fail from the middle of entry 1's data on; the sectors
        // written before that are put back from the journal.
        test::FileSizeLimit full((kStart + image.layout.offsets[1] / 2048 + 1) * 2352);
        QORLU_ASSERT_FILE_SIZE_LIMIT(full);
        EXPECT_EQ(image.archive.ImportEntry(image.Replacement(5500), 1), 0);
    }
    EXPECT_EQ(image.messages.Texts(), std::vector<std::string>{"can not write ISO file!"});
    EXPECT_EQ(test::ReadFileBytes(image.bin), rawBefore);
    EXPECT_FALSE(std::filesystem::exists(journal));
    image.messages.Clear();
    CAfsArchive next(image.messages);
    ASSERT_TRUE(next.LocateArchive(image.bin, "filedata.afs") && next.LoadIndex());
    for (const auto& text : image.messages.Texts())
        EXPECT_EQ(text.find("interrupted import"), std::string::npos) << "nothing was left to undo: " << text;

    // A complete import leaves no journal; a refused one makes none.
    EXPECT_EQ(next.ImportEntry(image.Replacement(5500), 1), 1);
    EXPECT_EQ(next.ImportEntry(image.Replacement(7000), 1), 0);
    EXPECT_FALSE(std::filesystem::exists(journal));
}

TEST(ImportMatching, FilesMatchEntriesByTheirLastNameInAnyCase) {
    std::string full32 = "VOICE/JP/ABCDEFGHIJKLMNOPQRSTUVW";
    Image image({{"BGM/TITLE.ADX", PatternBytes(10, 1), 0},
                 {"SE/TITLE.ADX", PatternBytes(10, 2), 0},
                 {"README.TXT", PatternBytes(10, 3), 0},
                 {full32, PatternBytes(10, 4), 0}});
    const std::string s(1, kPathSeparator);
    struct Case {
        std::string path;
        std::optional<std::uint32_t> index;
    } cases[] = {
        {s + "mods" + s + "title.adx", 0u},            // any case; the lower index wins over SE/TITLE.ADX
        {s + "other" + s + "TITLE.ADX", 0u},           // the same name from another folder
        {s + "mods" + s + "readme.txt", 2u},           // an entry at the archive's root
        {s + "x" + s + "ABCDEFGHIJKLMNOPQRSTUVW", 3u}, // the 32 stored bytes
        {s + "x" + s + "ABCDEFGHIJKLMNOPQRSTUVWX", std::nullopt},
        {s + "x" + s + "TITLE.ADX.bak", std::nullopt},
        {s + "BGM", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchEntry(image.archive.m_pNameRecords.get(), image.archive.m_nEntryCount, c.path), c.index)
            << c.path;
    EXPECT_EQ(MatchEntry(nullptr, 4, "x"), std::nullopt);
}

TEST(ImportMatching, ConfirmAsksWithTheEntrysFiguresAndImportsOnYes) {
    Image image(kEntries);
    const std::string path = image.Replacement(5500);
    image.messages.AnswerNext(Answer::No);
    EXPECT_EQ(ConfirmAndImport(image.archive, image.messages, 1, path), std::nullopt);
    image.messages.AnswerNext(Answer::Yes);
    EXPECT_EQ(ConfirmAndImport(image.archive, image.messages, 1, path), true);
    const auto notices = image.messages.Notices();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].text, "index = 1\nsize = 5000\navailable space = 6144\n" + path + "\n\n Import this file ?");
    EXPECT_EQ(notices[0].buttons, Buttons::YesNo);
    EXPECT_EQ(notices[0].icon, Icon::Question);
    EXPECT_EQ(notices[0].title, "");
    EXPECT_EQ(notices[2].text, "file import OK!");
    EXPECT_FALSE(notices[2].title.has_value());

    image.messages.AnswerNext(Answer::Yes);
    EXPECT_EQ(ConfirmAndImport(image.archive, image.messages, 1, image.Replacement(7000)), false);
    EXPECT_EQ(image.messages.Texts().back(), "file import error!");
}

} // namespace
} // namespace qorlu

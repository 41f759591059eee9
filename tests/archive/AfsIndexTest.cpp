#include "archive/AfsArchive.h"
#include "archive/ArchiveLoading.h"
#include "format/ByteOrder.h"
#include "base/Text.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

namespace qorlu {
namespace {

using test::MessageRecorder;
using test::TempDir;
using tools::AfsBuildEntry;
using tools::BuildAfs;
using tools::PatternBytes;

std::string Sep(std::string s) {
    for (char& c : s)
        if (c == '\\') c = kPathSeparator;
    return s;
}

struct Loaded {
    TempDir dir;
    MessageRecorder messages;
    CAfsArchive archive{messages};
    bool ok = false;
    explicit Loaded(const std::vector<std::uint8_t>& afs, std::uint32_t start = 40) {
        test::WriteImageWithArchive(dir / "disc.bin", afs, start);
        ok = archive.LocateArchive(dir / "disc.bin", "filedata.afs") && archive.LoadIndex();
    }
};

TEST(ArchiveIndex, AnswersNameOffsetSizeAndSlotSpaceOfEveryEntry) {
    const std::vector<AfsBuildEntry> entries = {
        {"BGM/TITLE.ADX", PatternBytes(5000, 1), 4096}, // successor 6144 + 4096 later
        {"se/Click.adx", PatternBytes(2048, 2), 0},
        {"A/B/C.BIN", PatternBytes(1, 3), 0},
        {"ROOT.TXT", PatternBytes(100, 4), 0},
    };
    tools::AfsBuildOptions options;
    options.gapBeforeNames = 2048;
    const auto afs = BuildAfs(entries, options);
    Loaded l(afs.bytes);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.archive.m_nEntryCount, 4u);
    EXPECT_EQ(l.archive.m_nNameDirOffset, afs.nameDirOffset);
    const struct {
        std::string name;
        std::uint32_t space;
    } expected[] = {{Sep("BGM\\TITLE.ADX"), 10240},
                    {Sep("se\\Click.adx"), 2048},
                    {Sep("A\\B\\C.BIN"), 2048},
                    {"ROOT.TXT", 100 + 2048}};
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(l.archive.GetEntryName(i), expected[i].name);
        EXPECT_EQ(l.archive.GetEntryOffset(i), afs.offsets[i]);
        EXPECT_EQ(l.archive.GetEntrySize(i), entries[i].data.size());
        EXPECT_EQ(l.archive.GetEntrySpace(i), expected[i].space) << i;
    }
    // Out of range: 0 and the empty string, never a failure.
    for (std::uint32_t i : {4u, 5u, 0xFFFFFFFFu}) {
        EXPECT_EQ(l.archive.GetEntryName(i), "");
        EXPECT_EQ(l.archive.GetEntryOffset(i), 0u);
        EXPECT_EQ(l.archive.GetEntrySize(i), 0u);
        EXPECT_EQ(l.archive.GetEntrySpace(i), 0u);
    }
    EXPECT_FALSE(l.archive.IsOpen());
}

TEST(ArchiveIndex, TheNameDirectoryIsTheFirstNonZeroByteWithin32768BytesOfTheLastEntrysEnd) {
    for (std::uint32_t gap : {0u, 1u, 2048u, 32767u, 32768u, 40000u}) {
        tools::AfsBuildOptions options;
        options.gapBeforeNames = gap;
        const auto afs =
            BuildAfs({{"ONE.BIN", PatternBytes(3000, 1), 0}, {"TWO.BIN", PatternBytes(10, 2), 0}}, options);
        Loaded l(afs.bytes);
        ASSERT_TRUE(l.ok) << gap;
        const std::uint32_t end = afs.offsets[1] + 10;
        EXPECT_EQ(l.archive.m_nNameDirOffset, end + std::min(gap, 32768u)) << gap;
        EXPECT_EQ(l.archive.GetEntrySpace(1), 10 + std::min(gap, 32768u)) << "the zero run belongs to the last slot";
        EXPECT_EQ(l.archive.GetEntryName(0), gap <= 32768 ? "ONE.BIN" : "") << gap;
    }
}

TEST(ArchiveIndex, NamesStopAt32BytesAndKeepTheirCase) {
    const std::string full32 = "VOICE/JP/ABCDEFGHIJKLMNOPQRSTUVW"; // 32 bytes, no zero byte
    ASSERT_EQ(full32.size(), 32u);
    auto afs = BuildAfs({{full32, PatternBytes(10, 1), 0}, {"x/y/lower.adx", PatternBytes(10, 2), 0}});
    // Bytes after the name field are not part of the name.
    afs.bytes[afs.nameDirOffset + 32] = 'Z';
    Loaded l(afs.bytes);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.archive.GetEntryName(0), Sep("VOICE\\JP\\ABCDEFGHIJKLMNOPQRSTUVW"));
    EXPECT_EQ(l.archive.GetEntryName(1), Sep("x\\y\\lower.adx"));
}

// Read calls this process has made so far, as Linux counts them (its
// syscr); nothing elsewhere. (Under Wine the count is the Wine process's,
// whose own traffic with its server outnumbers the program's reads.)
std::optional<std::uint64_t> ReadCallsSoFar() {
#ifndef _WIN32
    std::ifstream io("/proc/self/io");
    for (std::string key; io >> key;) {
        std::uint64_t value = 0;
        if (!(io >> value)) break;
        if (key == "syscr:") return value;
    }
#endif
    return std::nullopt;
}

// One-field corruptions of a valid archive: each is refused when the index
// is loaded, without reading entry after entry, without a huge allocation, and the index is empty.
TEST(ArchiveIndex, RefusesCountsAndTablesThatCannotLieInsideTheImage) {
    const auto valid = BuildAfs({{"A.BIN", PatternBytes(100, 1), 0}, {"B.BIN", PatternBytes(100, 2), 0}});
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        IndexFailureKind kind;
        std::uint64_t offset; // where the failure says the refused part lies
    } cases[] = {
        {"count of zero", 4, 0, IndexFailureKind::NoEntries, 4},
        {"count of 0xFFFFFFFF", 4, 0xFFFFFFFFu, IndexFailureKind::TablePastImage, 8},
        {"count whose names run past the image", 4, 300, IndexFailureKind::NameDirPastImage, 0},
        {"last entry beyond the image", 8 + 8 + 4, 0x7FFFFFFF, IndexFailureKind::LastEntryPastImage,
         std::uint64_t{valid.offsets[1]} + 0x7FFFFFFF},
        {"last entry offset beyond the image", 8 + 8, 0xFFFFF000, IndexFailureKind::LastEntryPastImage,
         std::uint64_t{0xFFFFF000} + 100},
    };
    for (const auto& c : cases) {
        auto bytes = valid.bytes;
        WriteLE32(&bytes[c.at], c.value);
        Loaded l(bytes);
        // Refused from the count and the table alone, not by reading (or
        // trying to read past the image) entry after entry.
        const auto readsBefore = ReadCallsSoFar();
        EXPECT_FALSE(l.archive.LoadIndex()) << c.what;
        const auto readsAfter = ReadCallsSoFar();
        if (readsBefore && readsAfter) {
            EXPECT_LT(*readsAfter - *readsBefore, 100u) << c.what;
        }
        ASSERT_TRUE(l.archive.LastLoadFailure().has_value()) << c.what;
        const IndexFailure& f = *l.archive.LastLoadFailure();
        EXPECT_EQ(f.kind, c.kind) << c.what << ": " << l.archive.LastLoadProblem();
        if (c.offset) {
            EXPECT_EQ(f.offset, c.offset) << c.what;
        }
        EXPECT_GE(f.available, bytes.size()) << c.what << ": the archive bytes the image holds";
        EXPECT_NE(l.archive.LastLoadProblem().find(std::to_string(f.offset)), std::string::npos)
            << c.what << ": the line says where: " << l.archive.LastLoadProblem();
        EXPECT_EQ(l.archive.m_nEntryCount, 0u) << c.what;
        EXPECT_EQ(l.archive.m_pEntries, nullptr) << c.what;
        EXPECT_FALSE(l.archive.IsOpen()) << c.what;
    }
}

// A last entry that ends inside the count or the table puts the name
// directory over the table, where its size fields are other entries' sizes:
// such an index is refused, so no import can write one entry's size into another.
TEST(ArchiveIndex, RefusesANameDirectoryOverTheEntryTable) {
    const auto valid = BuildAfs({{"A.BIN", PatternBytes(100, 1), 0}, {"B.BIN", PatternBytes(100, 2), 0}});
    struct Case {
        const char* what;
        std::uint32_t offset;
        std::uint32_t size;
    } cases[] = {{"a null last entry", 0, 0}, {"a last entry ending in the table", 8, 4}, {"at the count", 0, 4}};
    for (const auto& c : cases) {
        auto bytes = valid.bytes;
        WriteLE32(&bytes[8 + 8], c.offset);
        WriteLE32(&bytes[8 + 8 + 4], c.size);
        Loaded l(bytes);
        EXPECT_FALSE(l.archive.LoadIndex()) << c.what;
        const std::uint64_t nameDir = std::uint64_t{c.offset} + c.size;
        EXPECT_EQ(l.archive.LastLoadProblem(),
                  "the name directory overlaps the entry table (it starts at archive offset " +
                      std::to_string(nameDir) + ", the table ends at 24)")
            << c.what;
        ASSERT_TRUE(l.archive.LastLoadFailure().has_value());
        EXPECT_EQ(l.archive.LastLoadFailure()->kind, IndexFailureKind::NameDirOverTable);
        EXPECT_EQ(l.archive.LastLoadFailure()->offset, nameDir) << c.what;
        EXPECT_EQ(l.archive.m_nEntryCount, 0u) << c.what;
    }
}

TEST(ArchiveIndex, AnEntryMovedIntoTheTableHasNoRoomAndEndsNoSlot) {
    auto afs = BuildAfs(
        {{"A.BIN", PatternBytes(100, 1), 0}, {"B.BIN", PatternBytes(100, 2), 0}, {"C.BIN", PatternBytes(100, 3), 0}});
    WriteLE32(&afs.bytes[8 + 8], afs.offsets[0] - 2048); // entry 1 before entry 0, inside the table
    Loaded l(afs.bytes);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.archive.GetEntrySpace(1), 0u);
    EXPECT_EQ(l.archive.GetEntrySpace(0), afs.offsets[2] - afs.offsets[0]) << "up to the next entry by offset";
}

TEST(ArchiveIndex, AnImageThatCannotBeOpenedLeavesTheIndexAsItWas) {
    Loaded l(BuildAfs({{"A.BIN", PatternBytes(100, 1), 0}}).bytes);
    ASSERT_TRUE(l.ok);
    std::filesystem::remove(l.dir / "disc.bin");
    EXPECT_FALSE(l.archive.LoadIndex());
    EXPECT_EQ(l.archive.m_nEntryCount, 1u);
    EXPECT_EQ(l.archive.GetEntryName(0), "A.BIN");
}

TEST(ArchiveLoading, ALoadFailureShowsTheWindowsMessageAfterTheLocatorsOwn) {
    auto afs = BuildAfs({{"A.BIN", PatternBytes(100, 1), 0}});
    WriteLE32(&afs.bytes[4], 0);
    TempDir dir;
    test::WriteImageWithArchive(dir / "disc.bin", afs.bytes, 40, 465819648);
    MessageRecorder messages;
    CAfsArchive archive(messages);
    EXPECT_FALSE(LocateAndLoadIndex(archive, dir / "disc.bin", messages));
    ASSERT_EQ(messages.Texts(), std::vector<std::string>{"filedata.afs load error!"});
    EXPECT_FALSE(messages.Notices()[0].systemModal);
    EXPECT_FALSE(messages.Notices()[0].title.has_value()) << "titled with the program's name";
}

} // namespace
} // namespace qorlu

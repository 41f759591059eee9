// qorlu verify on authored raw discs: sectors damaged on purpose are found
// and named, nothing is changed, and a disc written by qorlu import passes.

#include "disc/ImageJournal.h"
#include "base/Text.h"
#include "tests/support/LinuxTools.h"
#include "tests/support/IndependentReader.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "tools/IsoAuthoring.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::RunProgram;
using test::TempDir;
using tools::PatternBytes;

const std::string kQorlu = QORLU_CLI_PATH;

const std::vector<tools::AfsBuildEntry> kEntries = {
    {"BGM/TITLE.ADX", PatternBytes(30000, 1), 0}, {"SE/click.adx", PatternBytes(3000, 2), 4096},
    {"DATA/STAGE.BIN", PatternBytes(9000, 3), 0}, {"VOICE/A.ADX", PatternBytes(100, 4), 0},
    {"VOICE/B.ADX", PatternBytes(100, 5), 0},     {"README.TXT", PatternBytes(700, 6), 0},
};

std::string Native(std::string name) {
    for (char& c : name)
        if (c == '/') c = kPathSeparator;
    return name;
}

class Verify : public ::testing::Test {
protected:
    virtual std::uint32_t Alignment() const { return 2048; }
    void SetUp() override {
        tools::AfsBuildOptions options;
        options.alignment = Alignment();
        m_afs = tools::BuildAfs(kEntries, options);
        QORLU_NEED_LINUX_TOOL(test::HaveProgram("genisoimage") || test::HaveProgram("xorriso"),
                              "genisoimage or xorriso (to author the disc)");
        const fs::path stage = m_dir.Path() / "stage";
        fs::create_directories(stage);
        test::WriteFileBytes(stage / "FILEDATA.AFS", m_afs.bytes);
        test::WriteFileBytes(stage / "OTHER.DAT", PatternBytes(7000, 9));
        std::string error;
        ASSERT_TRUE(tools::AuthorRawImage(stage.string(), m_bin, error)) << error;
        const auto list = RunProgram(kQorlu, {"list", m_bin});
        ASSERT_EQ(list.exitCode, 0) << list.err;
        const auto lines = test::SplitLines(list.out);
        ASSERT_GE(lines.size(), 2u);
        m_start = std::stoul(lines[1].substr(lines[1].find('\t') + 1));
    }
    // The image sector holding archive byte `offset`.
    std::size_t SectorOf(std::size_t offset) const { return m_start + offset / 2048; }
    void Damage(std::size_t sector, std::size_t byte) {
        auto raw = test::ReadFileBytes(m_bin);
        raw[sector * 2352 + byte] ^= 0x10;
        test::WriteFileBytes(m_bin, raw);
    }

    TempDir m_dir;
    tools::AfsLayout m_afs;
    std::string m_bin = m_dir / "disc.bin";
    std::size_t m_start = 0;
};

TEST_F(Verify, FindsAndNamesDamagedSectorsInsideAndOutsideTheArchive) {
    struct Place {
        const char* what;
        std::size_t sector;
        std::size_t byte; // within the raw sector
        std::string where;
    };
    const std::vector<Place> places = {
        {"in the system area", 3, 500, "outside filedata.afs"},
        {"in an entry's user data", SectorOf(m_afs.offsets[0] + 5000), 24 + 100,
         "filedata.afs: " + Native("BGM/TITLE.ADX")},
        {"in an entry's parity", SectorOf(m_afs.offsets[2]), 2300, "filedata.afs: " + Native("DATA/STAGE.BIN")},
        {"in the entry table", SectorOf(0), 24 + 9, "filedata.afs: entry table"},
        // An unused byte of the first name record, so that the names still read.
        {"in the name directory", SectorOf(m_afs.nameDirOffset + 40), 24 + (m_afs.nameDirOffset + 40) % 2048,
         "filedata.afs: README.TXT, name directory"},
    };
    ASSERT_NE(SectorOf(m_afs.offsets[0]), SectorOf(m_afs.offsets[2]));

    const auto clean = RunProgram(kQorlu, {"verify", m_bin});
    EXPECT_EQ(clean.exitCode, 0) << clean.out << clean.err;
    EXPECT_NE(clean.out.find("wrong Form 1\t0\n"), std::string::npos) << clean.out;

    for (std::size_t k = 0; k < places.size(); ++k) {
        Damage(places[k].sector, places[k].byte);
        const auto before = test::ReadFileBytes(m_bin);
        const auto r = RunProgram(kQorlu, {"verify", m_bin});
        EXPECT_EQ(r.exitCode, 1) << places[k].what;
        // Every damaged sector so far is listed, in sector order.
        std::vector<Place> sofar(places.begin(), places.begin() + static_cast<std::ptrdiff_t>(k) + 1);
        std::sort(sofar.begin(), sofar.end(), [](const Place& a, const Place& b) { return a.sector < b.sector; });
        std::string listed = "layout\traw 2352-byte sectors\n";
        for (const auto& p : sofar) listed += "wrong sector " + std::to_string(p.sector) + "\t" + p.where + "\n";
        EXPECT_EQ(r.out.substr(0, listed.size()), listed) << places[k].what << "\n" << r.out;
        EXPECT_NE(r.out.find("wrong Form 1\t" + std::to_string(k + 1) + "\n"), std::string::npos) << r.out;
        EXPECT_EQ(test::ReadFileBytes(m_bin), before) << "verify changes nothing";
    }
}

// Entries packed 512 bytes apart, so that small ones share a sector.
class VerifyPacked : public Verify {
protected:
    std::uint32_t Alignment() const override { return 512; }
};

TEST_F(VerifyPacked, ASectorSharedByEntriesNamesTheFirstAndCountsTheOthers) {
    const std::size_t s = SectorOf(m_afs.offsets[3]);
    ASSERT_EQ(s, SectorOf(m_afs.offsets[4])) << "the fixture packs two entries in one sector";
    // The entries with bytes in sector s, in index order.
    std::vector<std::size_t> inside;
    for (std::size_t i = 0; i < kEntries.size(); ++i) {
        const std::size_t first = SectorOf(m_afs.offsets[i]);
        const std::size_t last = SectorOf(m_afs.offsets[i] + kEntries[i].data.size() - 1);
        if (first <= s && s <= last) inside.push_back(i);
    }
    ASSERT_GE(inside.size(), 2u);
    Damage(s, 2080);
    const auto r = RunProgram(kQorlu, {"verify", m_bin});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("wrong sector " + std::to_string(s) + "\tfiledata.afs: " + Native(kEntries[inside[0]].name) +
                         " and " + std::to_string(inside.size() - 1) + " more entries"),
              std::string::npos)
        << r.out;
}

TEST_F(Verify, ReportsAPartialLastSectorAndAnInterruptedImportWithoutTouchingEither) {
    auto raw = test::ReadFileBytes(m_bin);
    raw.resize(raw.size() + 100, 0xEE);
    test::WriteFileBytes(m_bin, raw);
    auto r = RunProgram(kQorlu, {"verify", m_bin});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("partial last sector\t100 bytes, not checked\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("sectors\t" + std::to_string(raw.size() / 2352) + "\n"), std::string::npos) << r.out;

    // A file that merely has the journal's name is somebody's, not an import's.
    const std::string journal = JournalPathFor(m_bin);
    const auto foreign = PatternBytes(2352 + 64, 3);
    test::WriteFileBytes(journal, foreign);
    r = RunProgram(kQorlu, {"verify", m_bin});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("interrupted import"), std::string::npos) << r.err;
    std::filesystem::remove(journal);

    SectorPlan plan;
    plan.rawSectorSize = 2352;
    plan.sectors = {0};
    plan.before.assign(raw.begin(), raw.begin() + 2352);
    plan.after = plan.before;
    ASSERT_TRUE(CImageJournal(journal, raw.size(), *IdentityOf(m_bin)).Write(plan));
    const auto journalBytes = test::ReadFileBytes(journal);
    r = RunProgram(kQorlu, {"verify", m_bin});
    EXPECT_EQ(r.exitCode, 1) << "the image is between two states";
    EXPECT_NE(r.err.find("an interrupted import left its journal\n" + journal), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFileBytes(journal), journalBytes) << "the journal is not rolled back";
    EXPECT_EQ(test::ReadFileBytes(m_bin), raw);
}

TEST_F(Verify, APlainIsoHasNoChecksumsAndACueSheetIsFollowed) {
    const std::string iso = m_dir / "plain.iso";
    std::string error;
    ASSERT_TRUE(tools::AuthorIso((m_dir.Path() / "stage").string(), iso, error)) << error;
    auto r = RunProgram(kQorlu, {"verify", iso});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "layout\tplain 2048-byte sectors\n" + iso +
                         ": a plain image of 2048-byte sectors carries no sector checksums\n");

    const std::string cue = m_dir / "disc.cue";
    test::WriteRawCueSheet(cue, m_bin);
    Damage(SectorOf(m_afs.offsets[2]), 24);
    r = RunProgram(kQorlu, {"verify", cue});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("wrong sector " + std::to_string(SectorOf(m_afs.offsets[2])) +
                         "\tfiledata.afs: " + Native("DATA/STAGE.BIN") + "\n"),
              std::string::npos)
        << r.out;
}

TEST_F(Verify, ADiscWrittenByImportPassesAndIsReadBackByCdRead) {
    QORLU_NEED_LINUX_TOOL(test::HaveProgram("cd-read") && test::HaveProgram("cd-info"),
                          "cd-read and cd-info (libcdio-utils)");
    const fs::path edits = m_dir.Path() / "edits";
    fs::create_directories(edits);
    struct Edit {
        const char* file;
        std::size_t index;
        std::vector<std::uint8_t> bytes;
    } edits_[] = {
        {"TITLE.ADX", 0, PatternBytes(30700, 70)}, // crosses fifteen sectors, grows
        {"click.adx", 1, PatternBytes(4100, 71)},  // grows over a sector boundary
        {"STAGE.BIN", 2, PatternBytes(8000, 72)},  // ends mid-sector
        {"B.ADX", 4, PatternBytes(1, 73)},         // a single byte
    };
    std::vector<std::string> args = {"import", m_bin};
    for (const auto& e : edits_) {
        test::WriteFileBytes(edits / e.file, e.bytes);
        args.push_back((edits / e.file).string());
    }
    args.push_back("--yes");
    const auto imported = RunProgram(kQorlu, args);
    ASSERT_EQ(imported.exitCode, 0) << imported.out << imported.err;

    const auto v = RunProgram(kQorlu, {"verify", m_bin});
    EXPECT_EQ(v.exitCode, 0) << v.out << v.err;
    EXPECT_NE(v.out.find("wrong Form 1\t0\n"), std::string::npos) << v.out;

    const std::string cue = m_dir / "disc.cue";
    test::WriteRawCueSheet(cue, m_bin);
    const auto afs = test::ReadFileThroughCue(cue, "filedata.afs", m_dir / "read.afs");
    ASSERT_EQ(afs.size(), m_afs.bytes.size());
    for (const auto& e : edits_) {
        EXPECT_TRUE(std::equal(e.bytes.begin(), e.bytes.end(), afs.begin() + m_afs.offsets[e.index])) << e.file;
    }
    EXPECT_TRUE(std::equal(kEntries[3].data.begin(), kEntries[3].data.end(), afs.begin() + m_afs.offsets[3]))
        << "an entry not imported keeps its bytes";
}

} // namespace
} // namespace qorlu

namespace qorlu {
namespace {

// The layout is told by the sectors across the image, not by sector 0 and
// the volume descriptor alone: with both damaged, and a length that is a
// multiple of 2048, the image is still raw and its damage is reported.
TEST_F(Verify, ARawImageWithDamagedFirstSectorsIsStillCheckedAsRaw) {
    auto raw = test::ReadFileBytes(m_bin);
    ASSERT_EQ(raw.size() % 2352, 0u);
    // Whole copies of a valid sector up to a multiple of 128 sectors: 2352
    // x 128 is a multiple of 2048.
    const std::vector<std::uint8_t> valid(raw.begin() + 20 * 2352, raw.begin() + 21 * 2352);
    while ((raw.size() / 2352) % 128 != 0) raw.insert(raw.end(), valid.begin(), valid.end());
    raw[1] ^= 0xFF;                  // sector 0's sync
    raw[16 * 2352 + 24 + 1] ^= 0x01; // "CD001" of the volume descriptor
    test::WriteFileBytes(m_bin, raw);
    ASSERT_EQ(raw.size() % 2048, 0u);
    const auto r = RunProgram(kQorlu, {"verify", m_bin});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("layout\traw 2352-byte sectors\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("wrong sector 16\t"), std::string::npos) << r.out;
}

} // namespace
} // namespace qorlu

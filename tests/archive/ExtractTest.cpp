// Extracting entries to files, and the extraction job that walks them.

#include "archive/AfsArchive.h"
#include "archive/ExtractJob.h"
#include "base/Text.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "archive/ExtractProgress.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::MessageRecorder;
using test::TempDir;
using tools::AfsBuildEntry;
using tools::PatternBytes;

std::string Native(std::string s) {
    for (char& c : s)
        if (c == '/') c = kPathSeparator;
    return s;
}

// A loaded archive in a raw image, and an output folder.
struct Fixture {
    TempDir dir;
    MessageRecorder messages;
    CAfsArchive archive{messages};
    std::string out = dir / "out";
    std::vector<AfsBuildEntry> entries;

    explicit Fixture(std::vector<AfsBuildEntry> e) : entries(std::move(e)) {
        test::WriteImageWithArchive(dir / "disc.bin", tools::BuildAfs(entries).bytes);
        fs::create_directory(out);
        EXPECT_TRUE(archive.LocateArchive(dir / "disc.bin", "filedata.afs"));
        EXPECT_TRUE(archive.LoadIndex());
        messages.Clear();
    }
    std::vector<std::string> FilesOut() const {
        std::vector<std::string> files;
        for (const auto& f : fs::recursive_directory_iterator(out))
            if (f.is_regular_file()) files.push_back(fs::relative(f.path(), out).generic_string());
        std::sort(files.begin(), files.end());
        return files;
    }
    std::vector<std::uint8_t> Bytes(const std::string& relative) const {
        return test::ReadFileBytes(fs::path(out) / Native(relative));
    }
};

TEST(ExtractEntry, RebuildsFoldersAndWritesEveryByte) {
    Fixture f({{"VOICE/JP/HELLO.ADX", PatternBytes(5000, 1), 0},
               {"ROOT.BIN", PatternBytes(2048, 2), 0},
               {"EMPTY.DAT", {}, 0},
               {"BIG/LARGE.BIN", PatternBytes(10'000'001 + 4 * 1024 * 1024, 3), 0}});
    ASSERT_TRUE(f.archive.OpenImage(CDiscImage::OpenMode::ReadOnly));
    // With and without a trailing separator: the same paths.
    EXPECT_EQ(f.archive.ExtractEntry(f.out, 0), 1);
    EXPECT_EQ(f.archive.ExtractEntry(f.out + kPathSeparator, 1), 1);
    EXPECT_EQ(f.archive.ExtractEntry(f.out, 2), 1);
    EXPECT_EQ(f.archive.ExtractEntry(f.out, 3), 1) << "larger than 10,000,000 bytes, written whole";
    EXPECT_EQ(f.archive.ExtractEntry(f.out, 0), 1) << "a second extraction overwrites";
    EXPECT_EQ(f.archive.ExtractEntry(f.out, 4), 0) << "out of range";
    f.archive.CloseImage();
    EXPECT_EQ(f.FilesOut(), (std::vector<std::string>{"BIG/LARGE.BIN", "EMPTY.DAT", "ROOT.BIN", "VOICE/JP/HELLO.ADX"}));
    for (std::size_t i = 0; i < f.entries.size(); ++i)
        EXPECT_EQ(f.Bytes(f.entries[i].name), f.entries[i].data) << f.entries[i].name;
}

TEST(ExtractEntry, NamesThatReachOutsideTheFolderAreNotWritten) {
    const char* names[] = {"../EVIL.BIN", "A/../../EVIL.BIN", "/ROOTED.BIN", "C:EVIL.BIN", "..", "DIR/"};
    std::vector<AfsBuildEntry> entries;
    for (const char* n : names) entries.push_back({n, PatternBytes(10, 1), 0});
    Fixture f(entries);
    ASSERT_TRUE(f.archive.OpenImage(CDiscImage::OpenMode::ReadOnly));
    for (std::uint32_t i = 0; i < entries.size(); ++i) EXPECT_EQ(f.archive.ExtractEntry(f.out, i), 0) << names[i];
    f.archive.CloseImage();
    EXPECT_TRUE(f.FilesOut().empty());
    EXPECT_FALSE(fs::exists(f.dir.Path() / "EVIL.BIN"));
}

// Records what the job asks of its progress window.
class RecordingProgress final : public IExtractProgress {
public:
    int cancelAtText = -1; // set the flag when this many texts were shown
    bool cancelled = false;
    std::vector<int> positions;
    std::vector<std::string> texts;
    int rangeUpper = -1;
    int closes = 0;

    bool IsCancelled() override { return cancelled; }
    void SetRange(int lower, int upper) override {
        EXPECT_EQ(lower, 0);
        rangeUpper = upper;
    }
    void SetPos(int p) override { positions.push_back(p); }
    void SetText(std::string t) override {
        texts.push_back(std::move(t));
        if (static_cast<int>(texts.size()) == cancelAtText) cancelled = true;
    }
    void Close() override { ++closes; }
};

std::uint32_t RunJob(Fixture& f, std::int32_t mode, RecordingProgress& progress) {
    f.archive.m_strOutputDir = f.out;
    f.archive.m_nFilterMode = mode;
    return f.archive.RunExtractJob(progress, f.archive.Messages());
}

const std::vector<AfsBuildEntry> kThree = {{"se/first.adx", PatternBytes(100, 1), 0},
                                           {"DATA/SECOND.BIN", PatternBytes(200, 2), 0},
                                           {"THIRD.ADX", PatternBytes(300, 3), 0},
                                           {"AB", PatternBytes(5, 4), 0}};

TEST(ExtractJob, FiltersByTheUpperCasedEnding) {
    struct Case {
        std::int32_t mode;
        std::vector<int> positions;
        std::vector<std::string> texts;
        std::vector<std::string> files;
    } cases[] = {
        {kFilterAdxOnly, {0, 2}, {Native("SE/FIRST.ADX"), "THIRD.ADX"}, {"THIRD.ADX", "se/first.adx"}},
        {kFilterOthers, {1, 3}, {Native("DATA/SECOND.BIN"), "AB"}, {"AB", "DATA/SECOND.BIN"}},
        {kFilterAll, {0, 1, 2, 3}, {}, {"AB", "DATA/SECOND.BIN", "THIRD.ADX", "se/first.adx"}},
        {7, {0, 1, 2, 3}, {}, {"AB", "DATA/SECOND.BIN", "THIRD.ADX", "se/first.adx"}},
    };
    for (const auto& c : cases) {
        Fixture f(kThree);
        RecordingProgress progress;
        EXPECT_EQ(RunJob(f, c.mode, progress), 2u);
        EXPECT_EQ(progress.rangeUpper, 4);
        EXPECT_EQ(progress.positions, c.positions) << c.mode;
        if (!c.texts.empty()) {
            EXPECT_EQ(progress.texts, c.texts) << c.mode;
        }
        EXPECT_EQ(f.FilesOut(), c.files) << c.mode;
        EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Extract complete!"});
        const Notice end = f.messages.Notices()[0];
        EXPECT_EQ(end.title, "");
        EXPECT_EQ(end.icon, Icon::Information);
        EXPECT_TRUE(end.systemModal);
        EXPECT_EQ(progress.closes, 1);
        EXPECT_FALSE(f.archive.IsOpen());
    }
}

TEST(ExtractJob, CancelTakesEffectBetweenEntries) {
    {
        Fixture f(kThree);
        RecordingProgress progress;
        progress.cancelled = true; // before the first entry
        EXPECT_EQ(RunJob(f, kFilterAll, progress), 1u);
        EXPECT_TRUE(f.FilesOut().empty());
        EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Extract aborted!"});
        EXPECT_EQ(progress.closes, 1);
    }
    {
        Fixture f(kThree);
        RecordingProgress progress;
        progress.cancelAtText = 2; // pressed while the second entry is extracted
        EXPECT_EQ(RunJob(f, kFilterAll, progress), 1u);
        EXPECT_EQ(f.FilesOut(), (std::vector<std::string>{"DATA/SECOND.BIN", "se/first.adx"}));
        EXPECT_EQ(f.Bytes("DATA/SECOND.BIN"), kThree[1].data) << "the entry under way is finished";
        EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Extract aborted!"});
    }
}

TEST(ExtractJob, EveryEntrySkippedStillCompletes) {
    Fixture f({{"A.BIN", PatternBytes(10, 1), 0}});
    RecordingProgress progress;
    EXPECT_EQ(RunJob(f, kFilterAdxOnly, progress), 2u);
    EXPECT_TRUE(progress.positions.empty());
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Extract complete!"});
}

TEST(ExtractJob, EntriesThatCouldNotBeWrittenAreCountedAfterTheEndMessage) {
    Fixture f({{"GOOD.BIN", PatternBytes(10, 1), 0},
               {"../EVIL.BIN", PatternBytes(10, 2), 0},
               {"BLOCKED/X.BIN", PatternBytes(10, 3), 0}});
    test::WriteFileBytes(fs::path(f.out) / "BLOCKED", PatternBytes(1, 1)); // a file where a folder must go
    RecordingProgress progress;
    EXPECT_EQ(RunJob(f, kFilterAll, progress), 2u);
    EXPECT_EQ(f.FilesOut(), (std::vector<std::string>{"BLOCKED", "GOOD.BIN"}));
    EXPECT_EQ(f.messages.Texts(),
              (std::vector<std::string>{"Extract complete!",
                                        "2 entries could not be written. The first:\n" + Native("../EVIL.BIN")}));
    EXPECT_EQ(progress.closes, 1);
    // Each with why, where it was found.
    const auto& failures = f.archive.FailuresOfLastJob();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].kind, ExtractFailureKind::NameLeavesFolder);
    EXPECT_EQ(failures[0].entry, 1u);
    EXPECT_EQ(failures[1].kind, ExtractFailureKind::CannotCreate);
    EXPECT_EQ(failures[1].entry, 2u);
    EXPECT_EQ(failures[1].path, f.out + kPathSeparator + Native("BLOCKED/X.BIN"));
}

TEST(WindowsCanHoldName, RefusesDevicesReservedCharactersAndTrailingDotsOrSpaces) {
    const struct {
        const char* name;
        bool holds;
    } rows[] = {
        {"README.TXT", true},
        {"BGM/TITLE.ADX", true},
        {"CONSOLE.BIN", true},
        {"COM0", true},
        {"COM10.BIN", true},
        {"LPT", true},
        {"CON", false},
        {"con", false},
        {"Nul.txt", false},
        {"AUX.tar.gz", false},
        {"PRN", false},
        {"COM1", false},
        {"lpt9.dat", false},
        {"DATA/COM3/X.BIN", false},
        {"DATA\\AUX", false},
        {"A:B", false},
        {"NAME.", false},
        {"NAME ", false},
        {"DIR./X", false},
        {"TAB\tX", false},
        {"Q?.BIN", false},
        {"A*", false},
        {"<A>", false},
        {"A|B", false},
        {"SAY\"HI\"", false},
        {"\x7f"
         "DEL",
         true},
        {"\xc3\xa9t\xc3\xa9.adx", true},
    };
    for (const auto& row : rows) EXPECT_EQ(WindowsCanHoldName(row.name), row.holds) << row.name;
}

// Names that Windows cannot hold are valid POSIX names: refused by Windows
// builds only. Two names that differ only in letter case are one file on
// Windows (and under Wine): the first entry keeps it.
TEST(ExtractJob, NamesThatWindowsCannotHoldAndNamesThatDifferOnlyInCase) {
    Fixture f({{"GOOD.BIN", PatternBytes(10, 1), 0},
               {"CON", PatternBytes(10, 2), 0},
               {"DIR/AUX.TXT", PatternBytes(10, 3), 0},
               {"TIME 12:00", PatternBytes(10, 4), 0},
               {"TRAIL.", PatternBytes(10, 5), 0},
               {"se/click.adx", PatternBytes(10, 6), 0},
               {"SE/CLICK.ADX", PatternBytes(10, 7), 0}});
    RecordingProgress progress;
    EXPECT_EQ(RunJob(f, kFilterAll, progress), 2u);
#ifdef _WIN32
    EXPECT_EQ(f.FilesOut(), (std::vector<std::string>{"GOOD.BIN", "se/click.adx"}));
    EXPECT_EQ(f.Bytes("se/click.adx"), PatternBytes(10, 6)) << "the first of the two keeps the file";
    EXPECT_EQ(f.archive.WrittenByLastJob(), 2u);
    EXPECT_EQ(f.messages.Texts(),
              (std::vector<std::string>{"Extract complete!", "5 entries could not be written. The first:\nCON"}));
#else
    EXPECT_EQ(f.FilesOut(), (std::vector<std::string>{"CON", "DIR/AUX.TXT", "GOOD.BIN", "SE/CLICK.ADX", "TIME 12:00",
                                                      "TRAIL.", "se/click.adx"}));
    EXPECT_EQ(f.Bytes("SE/CLICK.ADX"), PatternBytes(10, 7));
    EXPECT_EQ(f.archive.WrittenByLastJob(), 7u);
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Extract complete!"});
#endif
}

TEST(ExtractJob, AFileFromAnEarlierRunIsWrittenOverAndTheSameNameTwiceStaysTheLastOne) {
    Fixture f({{"A.BIN", PatternBytes(10, 1), 0}, {"A.BIN", PatternBytes(10, 2), 0}});
    test::WriteFileBytes(fs::path(f.out) / "a.bin", PatternBytes(3, 9));
    RecordingProgress progress;
    EXPECT_EQ(RunJob(f, kFilterAll, progress), 2u);
    EXPECT_EQ(f.Bytes("A.BIN"), PatternBytes(10, 2));
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Extract complete!"});
}

TEST(ExtractJob, AnImageThatCannotBeOpenedStillClosesTheProgressWindow) {
    Fixture f(kThree);
    fs::remove(f.dir.Path() / "disc.bin");
    RecordingProgress progress;
    EXPECT_EQ(RunJob(f, kFilterAll, progress), 0u);
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Can not open ISO file!"});
    EXPECT_EQ(progress.rangeUpper, -1);
    EXPECT_EQ(progress.closes, 1);
}

TEST(ExtractJob, StartRunsOnAWorkerAndRefusesAnEmptyIndex) {
    Fixture f(kThree);
    RecordingProgress progress;
    CExtractJob job(f.archive);
    EXPECT_EQ(job.StartExtract(f.out, kFilterAll, &progress), 1);
    job.Wait();
    EXPECT_EQ(progress.closes, 1);
    EXPECT_EQ(f.FilesOut().size(), 4u);

    MessageRecorder messages;
    CAfsArchive empty(messages);
    RecordingProgress unused;
    CExtractJob emptyJob(empty);
    EXPECT_EQ(emptyJob.StartExtract(f.out, kFilterAll, &unused), 0);
    EXPECT_EQ(unused.closes, 0);
}

} // namespace
} // namespace qorlu

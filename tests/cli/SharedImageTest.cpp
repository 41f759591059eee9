// One image and two programs: real qorlu processes, one stopped by strace
// at a chosen system call while the other runs, imports killed and the
// image then opened through another of its names, and files under the
// journal's name that are not this image's journal. Each case ends with the
// image old or new, never mixed, and with a message that says which.

#include "disc/ImageJournal.h"
#include "tests/support/LinuxTools.h"
#include "tests/support/CrashMatrix.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/RunCommand.h"
#include "tests/support/StoppedRun.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::ReadFileBytes;
using test::RunProgram;
using test::StoppedRun;
using test::TempDir;
using test::WriteFileBytes;
using tools::PatternBytes;

const std::string kQorlu = QORLU_CLI_PATH;
const std::string kInUse = "The image is in use by another program:\n";
const std::string kChanged = "The image was changed by another program since it was loaded:\n";
const std::string kUndone = "An interrupted import was undone: ";

// Entry 1 (VOICE.ADX) has 5000 bytes in a slot of 6144.
const std::vector<tools::AfsBuildEntry> kEntries = {{"A/FIRST.BIN", PatternBytes(3000, 1), 0},
                                                    {"B/VOICE.ADX", PatternBytes(5000, 2), 0},
                                                    {"C/LAST.BIN", PatternBytes(700, 3), 0}};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Disc {
    TempDir dir;
    std::string bin = dir / "disc.bin";
    std::vector<std::uint8_t> before;

    Disc() {
        test::WriteImageWithArchive(bin, tools::BuildAfs(kEntries).bytes);
        before = ReadFileBytes(bin);
        fs::create_directories(dir.Path() / "a");
        fs::create_directories(dir.Path() / "b");
    }
    // A replacement for VOICE.ADX in folder `who`.
    std::string Replacement(const std::string& who, std::size_t size, std::uint8_t seed) {
        const std::string path = (dir.Path() / who / "VOICE.ADX").string();
        WriteFileBytes(path, PatternBytes(size, seed));
        return path;
    }
    // The image after the imports of `files`, one after the other, into a
    // fresh copy of the disc.
    std::vector<std::uint8_t> After(const std::vector<std::string>& files) {
        TempDir other;
        const std::string copy = other / "disc.bin";
        WriteFileBytes(copy, before);
        for (const auto& f : files) EXPECT_EQ(RunProgram(kQorlu, {"import", copy, f, "--yes"}).exitCode, 0);
        return ReadFileBytes(copy);
    }
    std::vector<std::string> Import(const std::string& file) const { return {"import", bin, file, "--yes"}; }
};

// The moments of an import at which a second program comes: just after the
// journal was written, flushed, the image written, flushed, and the journal
// deleted (the import still holds the image then).
struct Moment {
    const char* name;
    const char* syscall;
    int n;
};
void PrintTo(const Moment& m, std::ostream* os) { *os << m.name; }

const Moment kMoments[] = {
    {"JournalWritten", "pwrite64", 1}, {"JournalFlushed", "fsync", 1},  {"ImageWritten", "pwrite64", 2},
    {"ImageFlushed", "fsync", 3},      {"JournalDeleted", "unlink", 1},
};

class OpenDuringImport : public ::testing::TestWithParam<Moment> {};

// Every read-only command waits for the import's lock and then says the
// image is busy; nothing it does touches the journal or the image.
TEST_P(OpenDuringImport, IsRefusedAsBusyAndTheImportEndsWhole) {
    QORLU_NEED_LINUX_TOOL(test::HaveStrace(), "strace");
    Disc disc;
    const std::string mine = disc.Replacement("a", 5500, 50);
    const auto after = disc.After({mine});
    StoppedRun import(kQorlu, disc.Import(mine), GetParam().syscall, GetParam().n);
    ASSERT_TRUE(import.WaitUntilStopped());
    const auto held = ReadFileBytes(disc.bin);
    for (const char* command : {"list", "verify"}) {
        const CommandResult r = RunProgram(kQorlu, {command, disc.bin});
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_TRUE(Has(r.err, kInUse + disc.bin)) << command << ": " << r.err;
        EXPECT_FALSE(Has(r.err, kUndone)) << command;
    }
    EXPECT_EQ(ReadFileBytes(disc.bin), held) << "nobody else wrote";
    const CommandResult done = import.Finish();
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_TRUE(Has(done.out, "file import OK!")) << done.out;
    EXPECT_EQ(ReadFileBytes(disc.bin), after);
    EXPECT_FALSE(fs::exists(JournalPathFor(disc.bin)));
    const CommandResult list = RunProgram(kQorlu, {"list", disc.bin});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_TRUE(Has(list.out, "\t5500\t6144\tB/VOICE.ADX")) << list.out;
}

INSTANTIATE_TEST_SUITE_P(Moments, OpenDuringImport, ::testing::ValuesIn(kMoments),
                         [](const ::testing::TestParamInfo<Moment>& p) { return std::string(p.param.name); });

// Two imports into one entry, the second started while the first holds
// the image: the second waits, then loads the index the first left and
// imports over it. Both orders of a longer and a shorter file.
TEST(TwoImports, IntoOneEntryRunOneAfterTheOther) {
    QORLU_NEED_LINUX_TOOL(test::HaveStrace(), "strace");
    for (const bool longerFirst : {true, false}) {
        SCOPED_TRACE(longerFirst ? "longer first" : "shorter first");
        Disc disc;
        const std::string longer = disc.Replacement("a", 6000, 60);
        const std::string shorter = disc.Replacement("b", 4500, 45);
        const std::string first = longerFirst ? longer : shorter;
        const std::string second = longerFirst ? shorter : longer;
        StoppedRun one(kQorlu, disc.Import(first), "pwrite64", 2);
        ASSERT_TRUE(one.WaitUntilStopped());
        StoppedRun two(kQorlu, disc.Import(second), "pwrite64", 1000); // never stops
        const CommandResult a = one.Finish();
        const CommandResult b = two.Finish();
        EXPECT_EQ(a.exitCode, 0) << a.err;
        EXPECT_EQ(b.exitCode, 0) << b.err;
        EXPECT_EQ(ReadFileBytes(disc.bin), disc.After({first, second}));
    }
}

// An import whose index was loaded before another program changed the
// entry: it reads the index again under the lock, finds it changed, and
// writes nothing.
TEST(StaleIndex, AnImportAfterAnotherProgramChangedTheEntryIsRefused) {
    QORLU_NEED_LINUX_TOOL(test::HaveStrace(), "strace");
    for (const bool longerFirst : {true, false}) {
        SCOPED_TRACE(longerFirst ? "the other program writes the longer file" : "it writes the shorter one");
        Disc disc;
        const std::string longer = disc.Replacement("a", 6000, 60);
        const std::string shorter = disc.Replacement("b", 4500, 45);
        const std::string theirs = longerFirst ? longer : shorter;
        const std::string mine = longerFirst ? shorter : longer;
        // Stopped when it opens its file, after the index was loaded.
        StoppedRun late(kQorlu, disc.Import(mine), "openat", 1, mine);
        ASSERT_TRUE(late.WaitUntilStopped());
        const CommandResult other = RunProgram(kQorlu, disc.Import(theirs));
        EXPECT_EQ(other.exitCode, 0) << other.err;
        const CommandResult r = late.Finish();
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(Has(r.err, kChanged + disc.bin + "\nNothing was written.")) << r.err;
        EXPECT_TRUE(Has(r.out + r.err, "file import error!"));
        EXPECT_EQ(ReadFileBytes(disc.bin), disc.After({theirs}));
    }
}

// The same image under another name: an import through one name is killed
// after it wrote the image, and the next open through the other name undoes
// it (the journal lies beside the file, whichever name was used).
struct OtherName {
    const char* name;
    // Makes the second name of `disc.bin`; returns (name used by the
    // import, name used afterwards).
    std::pair<std::string, std::string> (*make)(Disc& disc);
};
void PrintTo(const OtherName& o, std::ostream* os) { *os << o.name; }

std::string CueSheetFor(Disc& disc) {
    const std::string cue = disc.dir / "disc.cue";
    const std::string text = "FILE \"disc.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";
    WriteFileBytes(cue, std::vector<std::uint8_t>(text.begin(), text.end()));
    return cue;
}

const OtherName kOtherNames[] = {
    {"SymbolicLinkThenFile",
     [](Disc& d) {
         fs::create_symlink(d.bin, d.dir / "alias.bin");
         return std::pair{d.dir / "alias.bin", d.bin};
     }},
    {"FileThenSymbolicLink",
     [](Disc& d) {
         fs::create_symlink(d.bin, d.dir / "alias.bin");
         return std::pair{d.bin, d.dir / "alias.bin"};
     }},
    {"HardLinkThenFile",
     [](Disc& d) {
         fs::create_hard_link(d.bin, d.dir / "hard.bin");
         return std::pair{d.dir / "hard.bin", d.bin};
     }},
    {"CueSheetThenFile",
     [](Disc& d) {
         return std::pair{CueSheetFor(d), d.bin};
     }},
    {"FileThenCueSheet",
     [](Disc& d) {
         return std::pair{d.bin, CueSheetFor(d)};
     }},
};

class KilledImportUnderAnotherName : public ::testing::TestWithParam<OtherName> {};

TEST_P(KilledImportUnderAnotherName, IsUndoneByTheNextOpenThroughAnyName) {
    QORLU_NEED_LINUX_TOOL(test::HaveStrace(), "strace");
    Disc disc;
    const auto [used, next] = GetParam().make(disc);
    const std::string mine = disc.Replacement("a", 5500, 50);
    // Killed before the image's flush: its sectors are written, the journal
    // is complete.
    const auto killed = test::RunKilledAt(kQorlu, {"import", used, mine, "--yes"}, {"fsync", 3});
    ASSERT_TRUE(killed.killed) << killed.result.err;
    ASSERT_NE(ReadFileBytes(disc.bin), disc.before) << "the kill came after the image was written";
    const CommandResult list = RunProgram(kQorlu, {"list", next});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_TRUE(Has(list.err, kUndone + next)) << list.err;
    EXPECT_EQ(ReadFileBytes(disc.bin), disc.before);
    for (const auto& e : fs::directory_iterator(disc.dir.Path()))
        EXPECT_EQ(e.path().string().find(kJournalSuffix), std::string::npos) << e.path();

    // An import through the second name then stands: no stale journal
    // undoes it at a later open through the first.
    const CommandResult again = RunProgram(kQorlu, {"import", next, mine, "--yes"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    const CommandResult later = RunProgram(kQorlu, {"list", used});
    EXPECT_FALSE(Has(later.err, kUndone)) << later.err;
    EXPECT_EQ(ReadFileBytes(disc.bin), disc.After({mine}));
}

INSTANTIATE_TEST_SUITE_P(Names, KilledImportUnderAnotherName, ::testing::ValuesIn(kOtherNames),
                         [](const ::testing::TestParamInfo<OtherName>& p) { return std::string(p.param.name); });

// A journal made by a killed import, then undone while the undo itself is
// killed at every write, flush and deletion: the next open finishes it.
TEST(RecoveryCrash, AKilledUndoIsFinishedByTheNextOpen) {
    QORLU_NEED_LINUX_TOOL(test::HaveStrace(), "strace");
    Disc disc;
    const std::string mine = disc.Replacement("a", 5500, 50);
    const std::string journal = JournalPathFor(disc.bin);
    std::vector<std::uint8_t> halfDone;
    std::vector<std::uint8_t> journalBytes;
    {
        const auto killed = test::RunKilledAt(kQorlu, disc.Import(mine), {"fsync", 3});
        ASSERT_TRUE(killed.killed);
        halfDone = ReadFileBytes(disc.bin);
        journalBytes = ReadFileBytes(journal);
        ASSERT_FALSE(journalBytes.empty());
    }
    int undone = 0;
    const int kills = test::RunCrashMatrix(
        kQorlu, {"list", disc.bin},
        [&] {
            WriteFileBytes(disc.bin, halfDone);
            WriteFileBytes(journal, journalBytes);
        },
        [&](const test::CrashPoint& point, const test::KilledRun& run) {
            const std::string at = point.syscall + " #" + std::to_string(point.n);
            if (!run.killed) {
                EXPECT_EQ(run.result.exitCode, 0) << at << ": " << run.result.err;
            }
            const CommandResult list = RunProgram(kQorlu, {"list", disc.bin});
            EXPECT_EQ(list.exitCode, 0) << at << ": " << list.err;
            if (Has(list.err, kUndone)) ++undone;
            EXPECT_EQ(ReadFileBytes(disc.bin), disc.before) << at;
            EXPECT_FALSE(fs::exists(journal)) << at;
        });
    EXPECT_GT(kills, 0);
    EXPECT_GT(undone, 0) << "some kill fell inside the undo, which the next open finished";
}

// Files under the journal's name that this program must not apply: one that
// is no journal at all (left alone, not reported) and one of a later
// release (kept, and every open refused, naming both files).
TEST(JournalName, AForeignFileAndAFutureJournalAreNeitherAppliedNorDeleted) {
    for (const bool future : {false, true}) {
        SCOPED_TRACE(future ? "future version" : "foreign file");
        Disc disc;
        const std::string journal = JournalPathFor(disc.bin);
        std::vector<std::uint8_t> bytes = PatternBytes(3000, 9);
        if (future) {
            const std::string head = "QORLUJNL";
            std::copy(head.begin(), head.end(), bytes.begin());
            bytes[8] = 9; // version 9
            bytes[9] = bytes[10] = bytes[11] = 0;
        }
        WriteFileBytes(journal, bytes);
        const CommandResult list = RunProgram(kQorlu, {"list", disc.bin});
        const CommandResult verify = RunProgram(kQorlu, {"verify", disc.bin});
        EXPECT_EQ(list.exitCode, future ? 1 : 0) << list.err;
        EXPECT_EQ(verify.exitCode, future ? 1 : 0) << verify.err;
        if (future) {
            EXPECT_TRUE(Has(list.err, "another version of qorlu:\n" + journal)) << list.err;
            EXPECT_TRUE(Has(list.err, disc.bin)) << list.err;
            EXPECT_TRUE(Has(verify.err, "an interrupted import left its journal")) << verify.err;
        } else {
            EXPECT_FALSE(Has(list.err + verify.err, "interrupted import")) << list.err << verify.err;
        }
        EXPECT_EQ(ReadFileBytes(journal), bytes);
        EXPECT_EQ(ReadFileBytes(disc.bin), disc.before);
    }
}

} // namespace
} // namespace qorlu

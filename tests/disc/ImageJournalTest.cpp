// The rollback journal of an import: written whole or not at all, written
// back when complete, thrown away when not, and applied by every open of
// the image.

#include "disc/DiscImage.h"
#include "disc/ImageJournal.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <zlib.h>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

struct Geometry {
    const char* name;
    std::uint32_t rawSectorSize;
    std::uint64_t imageLength; // need not be whole sectors
};

void PrintTo(const Geometry& g, std::ostream* os) { *os << g.name; }

const Geometry kGeometries[] = {
    {"RawSectors", 2352, 2352 * 10},
    {"PlainSectors", 2048, 2048 * 10},
    {"ShortLastSector", 2352, 2352 * 9 + 1000},
};

// Writes `bytes` over the file in place, so that it stays the same file.
void Overwrite(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    FileHandle file;
    ASSERT_TRUE(file.Open(path, FileHandle::Mode::ReadWrite));
    ASSERT_TRUE(file.WriteAt(0, bytes.data(), bytes.size()));
    ASSERT_TRUE(file.Truncate(bytes.size()));
}

RecoveryResult Recover(const std::string& image) {
    FileHandle file;
    if (!file.Open(image, FileHandle::Mode::ReadWrite)) return RecoveryResult::RestoreFailed;
    return RecoverFromJournal(LocateJournal(image), file);
}

// The plan of a change of `sectors` of `before`: each byte of those sectors
// flipped, as far as the image reaches.
SectorPlan PlanOf(const std::vector<std::uint8_t>& before, std::uint32_t raw, std::vector<std::uint64_t> sectors) {
    SectorPlan plan;
    plan.rawSectorSize = raw;
    plan.sectors = std::move(sectors);
    for (const std::uint64_t s : plan.sectors) {
        for (std::uint32_t i = 0; i < raw; ++i) {
            const std::uint64_t at = s * raw + i;
            plan.before.push_back(at < before.size() ? before[at] : 0);
            plan.after.push_back(at < before.size() ? before[at] ^ 0xFF : 0);
        }
    }
    return plan;
}

// The image with the plan's new bytes at every position before `end`, as a
// write of the whole plan stopped there leaves it.
std::vector<std::uint8_t> WrittenUpTo(std::vector<std::uint8_t> image, const SectorPlan& plan, std::uint64_t end) {
    for (std::size_t k = 0; k < plan.sectors.size(); ++k)
        for (std::uint32_t i = 0; i < plan.rawSectorSize; ++i) {
            const std::uint64_t at = plan.sectors[k] * plan.rawSectorSize + i;
            if (at < end && at < image.size()) image[at] = plan.after[k * plan.rawSectorSize + i];
        }
    return image;
}

// The image with `done` of the plan's sectors changed (in plan order).
std::vector<std::uint8_t> Applied(std::vector<std::uint8_t> image, const SectorPlan& plan, std::size_t done) {
    for (std::size_t k = 0; k < done && k < plan.sectors.size(); ++k)
        for (std::uint32_t i = 0; i < plan.rawSectorSize; ++i) {
            const std::uint64_t at = plan.sectors[k] * plan.rawSectorSize + i;
            if (at < image.size()) image[at] = plan.after[k * plan.rawSectorSize + i];
        }
    return image;
}

// An image of ten sectors, the journal of a change of sectors 2, 3 and the
// last, and the image as the whole change leaves it.
struct Interrupted {
    test::TempDir dir;
    std::string image = dir / "disc.bin";
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> changed;
    SectorPlan plan;

    explicit Interrupted(const Geometry& g) {
        before = tools::PatternBytes(g.imageLength, 5);
        WriteFileBytes(image, before);
        plan = PlanOf(before, g.rawSectorSize, {2, 3, (g.imageLength - 1) / g.rawSectorSize});
        CImageJournal journal(JournalPathFor(image), g.imageLength, *IdentityOf(image));
        EXPECT_TRUE(journal.Write(plan));
        changed = Applied(before, plan, plan.sectors.size());
        Overwrite(image, changed);
    }
    std::string Journal() const { return JournalPathFor(image); }
};

class CompleteJournal : public ::testing::TestWithParam<Geometry> {};

TEST_P(CompleteJournal, PutsBackEverySector) {
    Interrupted run(GetParam());
    EXPECT_EQ(InspectJournal(run.image), JournalState::Complete);
    EXPECT_EQ(Recover(run.image), RecoveryResult::Restored);
    EXPECT_EQ(ReadFileBytes(run.image), run.before);
    EXPECT_FALSE(fs::exists(run.Journal()));
    EXPECT_EQ(Recover(run.image), RecoveryResult::NothingToDo);
}

INSTANTIATE_TEST_SUITE_P(Geometries, CompleteJournal, ::testing::ValuesIn(kGeometries),
                         [](const ::testing::TestParamInfo<Geometry>& p) { return std::string(p.param.name); });

// What the image may hold when its journal is found: the import (or an
// earlier recovery) stopped after any sector, or another program changed it.
struct ImageState {
    const char* name;
    void (*make)(Interrupted& run);
    RecoveryResult result;
    bool restored; // the image is `before` afterwards; otherwise as it was made
};

void PrintTo(const ImageState& s, std::ostream* os) { *os << s.name; }

const ImageState kImageStates[] = {
    {"NothingWrittenYet", [](Interrupted& r) { Overwrite(r.image, r.before); }, RecoveryResult::Restored, true},
    {"OneSectorWritten", [](Interrupted& r) { Overwrite(r.image, Applied(r.before, r.plan, 1)); },
     RecoveryResult::Restored, true},
    {"TwoSectorsWritten", [](Interrupted& r) { Overwrite(r.image, Applied(r.before, r.plan, 2)); },
     RecoveryResult::Restored, true},
    // A write stopped at a page or device-block boundary inside a sector.
    {"TornAtAPageBoundary", [](Interrupted& r) { Overwrite(r.image, WrittenUpTo(r.before, r.plan, 2 * 4096)); },
     RecoveryResult::Restored, true},
    {"TornAtABlockBoundary", [](Interrupted& r) { Overwrite(r.image, WrittenUpTo(r.before, r.plan, 11 * 512)); },
     RecoveryResult::Restored, true},
    // A device may tear inside a block: the same file still gets its journal.
    {"TornInsideABlock", [](Interrupted& r) { Overwrite(r.image, WrittenUpTo(r.before, r.plan, 11 * 512 + 100)); },
     RecoveryResult::Restored, true},
    {"ABlockChangedInTheSameFile",
     [](Interrupted& r) {
         auto bytes = r.changed;
         bytes[3 * 2352 + 100] ^= 0x55;
         Overwrite(r.image, bytes);
     },
     RecoveryResult::Restored, true},
    {"LengthChanged",
     [](Interrupted& r) {
         auto bytes = r.changed;
         bytes.push_back(0);
         Overwrite(r.image, bytes);
     },
     RecoveryResult::ImageChanged, false},
    // Another file under the image's name (a copy to another drive, FAT's
    // file numbers made up at each mount): its bytes decide. (The old file
    // stays, so that its number is not given to the new one.)
    {"ACopyOfTheChangedImage",
     [](Interrupted& r) {
         fs::rename(r.image, r.dir / "moved.bin");
         WriteFileBytes(r.image, r.changed);
     },
     RecoveryResult::Restored, true},
    {"ACopyTornAtABlockBoundary",
     [](Interrupted& r) {
         fs::rename(r.image, r.dir / "moved.bin");
         WriteFileBytes(r.image, WrittenUpTo(r.before, r.plan, 13 * 512));
     },
     RecoveryResult::Restored, true},
    {"ACopyTornInsideABlock",
     [](Interrupted& r) {
         fs::rename(r.image, r.dir / "moved.bin");
         WriteFileBytes(r.image, WrittenUpTo(r.before, r.plan, 13 * 512 + 300));
     },
     RecoveryResult::OtherFile, false},
    {"AnotherFileWithOtherBytes",
     [](Interrupted& r) {
         fs::rename(r.image, r.dir / "moved.bin");
         auto bytes = r.changed;
         bytes[3 * 2352 + 100] ^= 0x55;
         WriteFileBytes(r.image, bytes);
     },
     RecoveryResult::OtherFile, false},
};

class JournalAgainstImage : public ::testing::TestWithParam<ImageState> {};

TEST_P(JournalAgainstImage, RestoresWhenEveryBlockIsOldOrNewOrTheFileIsTheSame) {
    Interrupted run(kGeometries[0]);
    GetParam().make(run);
    const auto made = ReadFileBytes(run.image);
    {
        FileHandle file;
        ASSERT_TRUE(file.Open(run.image, FileHandle::Mode::Read));
        EXPECT_EQ(PredictRecovery(run.Journal(), file), GetParam().result) << "what verify says the open will do";
    }
    EXPECT_EQ(ReadFileBytes(run.image), made);
    EXPECT_EQ(Recover(run.image), GetParam().result);
    EXPECT_EQ(ReadFileBytes(run.image), GetParam().restored ? run.before : made);
    EXPECT_EQ(fs::exists(run.Journal()), !GetParam().restored) << "a journal that does not fit is kept";
}

INSTANTIATE_TEST_SUITE_P(States, JournalAgainstImage, ::testing::ValuesIn(kImageStates),
                         [](const ::testing::TestParamInfo<ImageState>& p) { return std::string(p.param.name); });

// One-step damages of a complete journal: each makes it incomplete, so it
// is thrown away and the image left exactly as it is.
struct Damage {
    const char* name;
    void (*apply)(std::vector<std::uint8_t>& journal);
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

constexpr std::size_t kRecords = 48;                   // where the first record begins
constexpr std::size_t kRecordBytes = 8 + 4 * 6 + 2352; // a raw sector's record: number, block CRCs, old bytes
const Damage kDamages[] = {
    {"Empty", [](std::vector<std::uint8_t>& j) { j.clear(); }},
    {"HeaderOnly", [](std::vector<std::uint8_t>& j) { j.resize(kRecords); }},
    {"LastByteMissing", [](std::vector<std::uint8_t>& j) { j.pop_back(); }},
    {"OneRecordMissing",
     [](std::vector<std::uint8_t>& j) { j.erase(j.begin() + kRecords, j.begin() + kRecords + kRecordBytes); }},
    {"ByteAppended", [](std::vector<std::uint8_t>& j) { j.push_back(0); }},
    {"SectorByteFlipped", [](std::vector<std::uint8_t>& j) { j[kRecords + 12 + 1000] ^= 1; }},
    {"SectorNumberChanged", [](std::vector<std::uint8_t>& j) { j[kRecords] ^= 1; }},
    {"NewBlockCrcChanged", [](std::vector<std::uint8_t>& j) { j[kRecords + 8] ^= 1; }},
    {"BlockSizeChanged", [](std::vector<std::uint8_t>& j) { j[28] ^= 1; }},
    {"IdentityChanged", [](std::vector<std::uint8_t>& j) { j[40] ^= 1; }},
    {"ChecksumChanged", [](std::vector<std::uint8_t>& j) { j.back() ^= 0x80; }},
    {"CutWithinTheMagic", [](std::vector<std::uint8_t>& j) { j.resize(5); }},
    {"CutWithinTheVersion", [](std::vector<std::uint8_t>& j) { j.resize(10); }},
    {"SectorCountRaised", [](std::vector<std::uint8_t>& j) { j[24] += 1; }},
};

class IncompleteJournal : public ::testing::TestWithParam<Damage> {};

TEST_P(IncompleteJournal, IsDeletedAndTheImageLeftAlone) {
    Interrupted run(kGeometries[0]);
    auto journal = ReadFileBytes(run.Journal());
    GetParam().apply(journal);
    WriteFileBytes(run.Journal(), journal);
    EXPECT_EQ(InspectJournal(run.image), JournalState::Incomplete);
    EXPECT_EQ(Recover(run.image), RecoveryResult::DiscardedIncomplete);
    EXPECT_EQ(ReadFileBytes(run.image), run.changed);
    EXPECT_FALSE(fs::exists(run.Journal()));
}

INSTANTIATE_TEST_SUITE_P(Damages, IncompleteJournal, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& p) { return std::string(p.param.name); });

// A later release's journal may hold an import only it can undo: no open
// applies it or throws it away, and every open refuses, naming both files.
TEST(ImageJournal, AJournalOfAnotherVersionIsKeptAndRefused) {
    Interrupted run(kGeometries[0]);
    auto journal = ReadFileBytes(run.Journal());
    journal[8] = 4;
    WriteFileBytes(run.Journal(), journal);
    EXPECT_EQ(InspectJournal(run.image), JournalState::UnknownVersion);
    EXPECT_EQ(Recover(run.image), RecoveryResult::UnknownVersion);
    test::MessageRecorder messages;
    CDiscImage disc(messages);
    disc.m_strImagePath = run.image;
    EXPECT_FALSE(disc.OpenImage(CDiscImage::OpenMode::ReadOnly));
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_NE(messages.Texts()[0].find("another version"), std::string::npos) << messages.Texts()[0];
    EXPECT_NE(messages.Texts()[0].find(run.Journal()), std::string::npos);
    EXPECT_NE(messages.Texts()[0].find(run.image), std::string::npos);
    EXPECT_EQ(ReadFileBytes(run.Journal()), journal);
    EXPECT_EQ(ReadFileBytes(run.image), run.changed);
}

// Journals of the release before carry no identity and no new-sector CRCs;
// one left by a crash before an upgrade is still undone as that release did.
TEST(ImageJournal, AVersionOneJournalIsStillUndone) {
    test::TempDir dir;
    const std::string image = dir / "disc.bin";
    const auto before = tools::PatternBytes(2352 * 4, 7);
    std::vector<std::uint8_t> j = {'Q', 'O', 'R', 'L', 'U', 'J', 'N', 'L', 1, 0, 0, 0};
    const auto le32 = [&j](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) j.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    le32(2352);
    le32(static_cast<std::uint32_t>(before.size()));
    le32(0);
    le32(1); // one record
    le32(0);
    le32(1); // sector 1
    le32(0);
    j.insert(j.end(), before.begin() + 2352, before.begin() + 2 * 2352);
    le32(static_cast<std::uint32_t>(crc32(0, j.data(), static_cast<uInt>(j.size()))));
    auto changed = before;
    for (std::size_t i = 2352; i < 2 * 2352; ++i) changed[i] ^= 0x0F;
    WriteFileBytes(image, changed);
    WriteFileBytes(JournalPathFor(image), j);
    EXPECT_EQ(InspectJournal(image), JournalState::Complete);
    EXPECT_EQ(Recover(image), RecoveryResult::Restored);
    EXPECT_EQ(ReadFileBytes(image), before);
    EXPECT_FALSE(fs::exists(JournalPathFor(image)));
}

// The release before wrote one CRC of each whole new sector: its journals
// are still played back as it did, to the file they were written for and
// only over sectors that hold their old or their new bytes.
TEST(ImageJournal, AVersionTwoJournalIsStillUndoneAsBefore) {
    struct Case {
        const char* name;
        bool copy;        // the image replaced by a copy of itself
        std::size_t torn; // bytes of the changed sector written (2352: all)
        RecoveryResult result;
    };
    const Case cases[] = {
        {"WholeSectorInTheSameFile", false, 2352, RecoveryResult::Restored},
        {"WholeSectorInACopy", true, 2352, RecoveryResult::OtherFile},
        {"TornSectorInTheSameFile", false, 1000, RecoveryResult::ImageChanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string image = dir / "disc.bin";
        const auto before = tools::PatternBytes(2352 * 4, 7);
        auto changed = before;
        for (std::size_t i = 2352; i < 2 * 2352; ++i) changed[i] ^= 0x0F;
        WriteFileBytes(image, before);
        const FileIdentity identity = *IdentityOf(image);
        std::vector<std::uint8_t> j = {'Q', 'O', 'R', 'L', 'U', 'J', 'N', 'L'};
        const auto le32 = [&j](std::uint32_t v) {
            for (int i = 0; i < 4; ++i) j.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        };
        const auto le64 = [&](std::uint64_t v) {
            le32(static_cast<std::uint32_t>(v));
            le32(static_cast<std::uint32_t>(v >> 32));
        };
        le32(2);
        le32(2352);
        le64(before.size());
        le32(1); // one record
        le32(0);
        le64(identity.volume);
        le64(identity.file);
        le64(1); // sector 1
        le32(static_cast<std::uint32_t>(crc32(0, changed.data() + 2352, 2352)));
        j.insert(j.end(), before.begin() + 2352, before.begin() + 2 * 2352);
        le32(static_cast<std::uint32_t>(crc32(0, j.data(), static_cast<uInt>(j.size()))));
        auto now = before;
        std::copy_n(changed.begin() + 2352, c.torn, now.begin() + 2352);
        if (c.copy) {
            fs::rename(image, dir / "moved.bin");
            WriteFileBytes(image, now);
        } else {
            Overwrite(image, now);
        }
        WriteFileBytes(JournalPathFor(image), j);
        EXPECT_EQ(InspectJournal(image), JournalState::Complete);
        EXPECT_EQ(Recover(image), c.result);
        const bool restored = c.result == RecoveryResult::Restored;
        EXPECT_EQ(ReadFileBytes(image), restored ? before : now);
        EXPECT_EQ(fs::exists(JournalPathFor(image)), !restored);
    }
}

TEST(ImageJournal, EveryOpenOfTheImageUndoesAnInterruptedImportAndSaysSoOnce) {
    for (const auto mode : {CDiscImage::OpenMode::ReadOnly, CDiscImage::OpenMode::ReadWrite}) {
        Interrupted run(kGeometries[0]);
        test::MessageRecorder messages;
        CDiscImage disc(messages);
        disc.m_strImagePath = run.image;
        ASSERT_TRUE(disc.OpenImage(mode));
        disc.CloseImage();
        ASSERT_TRUE(disc.OpenImage(mode));
        disc.CloseImage();
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"An interrupted import was undone: " + run.image});
        EXPECT_EQ(ReadFileBytes(run.image), run.before);
        EXPECT_FALSE(fs::exists(run.Journal()));
    }
}

// The journal follows the file, not the name it was opened by: symbolic
// links are resolved, and a hard link's journal in the same folder is found
// through the file's other names.
TEST(ImageJournal, IsFoundThroughEveryNameOfTheImage) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine cannot make the symbolic link this needs";
#endif
    for (const bool hardLink : {false, true}) {
        SCOPED_TRACE(hardLink ? "hard link" : "symbolic link");
        Interrupted run(kGeometries[0]);
        const std::string other = run.dir / "alias.bin";
        if (hardLink)
            fs::create_hard_link(run.image, other);
        else
            fs::create_symlink(run.image, other);
        if (hardLink) fs::rename(run.Journal(), JournalPathFor(other)); // as an import through the alias left it
        EXPECT_EQ(LocateJournal(hardLink ? run.image : other), hardLink ? JournalPathFor(other) : run.Journal());
        EXPECT_EQ(InspectJournal(hardLink ? run.image : other), JournalState::Complete);
        EXPECT_EQ(Recover(hardLink ? run.image : other), RecoveryResult::Restored);
        EXPECT_EQ(ReadFileBytes(run.image), run.before);
    }
}

TEST(ImageJournal, AJournalThatCannotBeWrittenLeavesNothingBehind) {
    test::TempDir dir;
    const std::string image = dir / "disc.bin";
    const auto bytes = tools::PatternBytes(2352 * 4, 1);
    WriteFileBytes(image, bytes);
    const std::string nowhere = dir / "missing-folder/disc.bin.qorlu-undo";
    CImageJournal journal(nowhere, bytes.size(), *IdentityOf(image));
    EXPECT_FALSE(journal.Write(PlanOf(bytes, 2352, {0, 1})));
    EXPECT_FALSE(fs::exists(nowhere));
}

// A file under the journal's name that does not begin as a journal does is
// somebody's: no open deletes it, and an import does not empty it.
TEST(ImageJournal, AFileThatIsNoJournalIsLeftAlone) {
    for (const std::string content : {"notes of mine", "QORLUJNX and more", "Q"}) {
        SCOPED_TRACE(content);
        test::TempDir dir;
        const std::string image = dir / "disc.bin";
        const auto imageBytes = tools::PatternBytes(2352 * 4, 1);
        WriteFileBytes(image, imageBytes);
        const std::vector<std::uint8_t> theirs(content.begin(), content.end());
        WriteFileBytes(JournalPathFor(image), theirs);
        const bool looksLikeTheMagic = content == "Q";
        EXPECT_EQ(InspectJournal(image), looksLikeTheMagic ? JournalState::Incomplete : JournalState::Foreign);
        if (looksLikeTheMagic) continue; // a journal cut within its first bytes: deleted, as it should be
        EXPECT_EQ(Recover(image), RecoveryResult::NothingToDo);
        CImageJournal journal(JournalPathFor(image), imageBytes.size(), *IdentityOf(image));
        EXPECT_FALSE(journal.Write(PlanOf(imageBytes, 2352, {0})));
        EXPECT_EQ(ReadFileBytes(JournalPathFor(image)), theirs);
        EXPECT_EQ(ReadFileBytes(image), imageBytes);
    }
}

// An image name with a NUL byte would reach the system as a shorter name:
// the image file itself, under a journal's name.
TEST(ImageJournal, ANameWithANulByteNeverNamesAnotherFile) {
    test::TempDir dir;
    const std::string image = dir / "disc.bin";
    const auto imageBytes = tools::PatternBytes(2352 * 2, 3);
    WriteFileBytes(image, imageBytes);
    const std::string cut = image + std::string(1, '\0') + "rest";
    EXPECT_EQ(InspectJournal(cut), JournalState::None);
    CImageJournal journal(JournalPathFor(cut), imageBytes.size(), *IdentityOf(image));
    EXPECT_FALSE(journal.Write(PlanOf(imageBytes, 2352, {0})));
    BinaryFile file;
    EXPECT_FALSE(file.Open(cut, BinaryFile::Mode::ReadWrite));
    EXPECT_EQ(ReadFileBytes(image), imageBytes);
}

#ifndef _WIN32
// (POSIX: a running program's file, which Windows has no counterpart of
// that a test can make.)
// A file that nobody may open for writing while it runs as a program, even
// with every privilege.
class RunningProgram {
public:
    explicit RunningProgram(const std::string& path) {
        m_pid = fork();
        if (m_pid == 0) {
            execl(path.c_str(), path.c_str(), "60", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~RunningProgram() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

private:
    pid_t m_pid = -1;
};

TEST(ImageJournal, AnImageThatCannotBeWrittenIsNotReadWhileItsJournalWaits) {
    test::TempDir dir;
    const std::string image = dir / "disc.bin";
    std::error_code ec;
    fs::copy_file("/bin/sleep", image, ec);
    if (ec) GTEST_SKIP() << "no /bin/sleep to run as a file that can not be written: " << ec.message();
    fs::permissions(image, fs::perms::owner_all, fs::perm_options::add);
    const auto bytes = ReadFileBytes(image);
    CImageJournal journal(JournalPathFor(image), bytes.size(), *IdentityOf(image));
    ASSERT_TRUE(journal.Write(PlanOf(bytes, 2352, {0})));

    RunningProgram running(image);
    // Until exec has happened the file may still open for writing.
    for (int i = 0; i < 500; ++i) {
        const int fd = open(image.c_str(), O_RDWR);
        if (fd < 0) break;
        close(fd);
        usleep(10000);
    }

    test::MessageRecorder messages;
    CDiscImage disc(messages);
    EXPECT_FALSE(disc.LocateArchive(image, "filedata.afs"));
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_NE(messages.Texts()[0].find(JournalPathFor(image)), std::string::npos) << messages.Texts()[0];
    EXPECT_EQ(messages.Notices()[0].outcome, Outcome::Failure);
    EXPECT_FALSE(disc.IsOpen());
    EXPECT_TRUE(fs::exists(JournalPathFor(image))) << "kept for an open that can write the image";
    EXPECT_EQ(ReadFileBytes(image), bytes);
}
#endif

} // namespace
} // namespace qorlu

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
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

// An image of ten sectors, a journal of sectors 2, 3 and the last, and the
// image as an import leaves it: those sectors changed, the file grown.
struct Interrupted {
    test::TempDir dir;
    std::string image = dir / "disc.bin";
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> changed;

    explicit Interrupted(const Geometry& g) {
        before = tools::PatternBytes(g.imageLength, 5);
        WriteFileBytes(image, before);
        const std::uint64_t lastSector = (g.imageLength - 1) / g.rawSectorSize;
        CImageJournal journal(image, g.rawSectorSize, g.imageLength);
        journal.AddRange(2 * g.rawSectorSize + 100, g.rawSectorSize); // sectors 2 and 3
        journal.AddRange(2 * g.rawSectorSize + 5, 4);                 // sector 2 again
        journal.AddRange(lastSector * g.rawSectorSize + 10, 8);
        EXPECT_EQ(journal.Sectors(), (std::vector<std::uint64_t>{2, 3, lastSector}));
        EXPECT_TRUE(journal.Write([&](std::uint64_t sector, std::uint8_t* buffer) {
            for (std::uint32_t i = 0; i < g.rawSectorSize; ++i) {
                const std::uint64_t at = sector * g.rawSectorSize + i;
                buffer[i] = at < before.size() ? before[at] : 0;
            }
            return true;
        }));
        changed = before;
        for (std::uint64_t at = 2 * g.rawSectorSize; at < 4 * g.rawSectorSize; ++at) changed[at] ^= 0xFF;
        changed.resize(changed.size() + 3000, 0xAB); // whole last sector rewritten, and more
        WriteFileBytes(image, changed);
    }
    std::string Journal() const { return JournalPathFor(image); }
};

class CompleteJournal : public ::testing::TestWithParam<Geometry> {};

TEST_P(CompleteJournal, PutsBackEverySectorAndTheLength) {
    Interrupted run(GetParam());
    EXPECT_EQ(InspectJournal(run.image), JournalState::Complete);
    EXPECT_EQ(RecoverFromJournal(run.image), RecoveryResult::Restored);
    EXPECT_EQ(ReadFileBytes(run.image), run.before);
    EXPECT_FALSE(fs::exists(run.Journal()));
    EXPECT_EQ(RecoverFromJournal(run.image), RecoveryResult::NothingToDo);
}

INSTANTIATE_TEST_SUITE_P(Geometries, CompleteJournal, ::testing::ValuesIn(kGeometries),
                         [](const ::testing::TestParamInfo<Geometry>& p) { return std::string(p.param.name); });

// One-step damages of a complete journal: each makes it incomplete, so it
// is thrown away and the image left exactly as it is.
struct Damage {
    const char* name;
    void (*apply)(std::vector<std::uint8_t>& journal);
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

const Damage kDamages[] = {
    {"Empty", [](std::vector<std::uint8_t>& j) { j.clear(); }},
    {"HeaderOnly", [](std::vector<std::uint8_t>& j) { j.resize(32); }},
    {"LastByteMissing", [](std::vector<std::uint8_t>& j) { j.pop_back(); }},
    {"OneRecordMissing", [](std::vector<std::uint8_t>& j) { j.erase(j.begin() + 32, j.begin() + 32 + 8 + 2352); }},
    {"ByteAppended", [](std::vector<std::uint8_t>& j) { j.push_back(0); }},
    {"SectorByteFlipped", [](std::vector<std::uint8_t>& j) { j[32 + 8 + 1000] ^= 1; }},
    {"SectorNumberChanged", [](std::vector<std::uint8_t>& j) { j[32] ^= 1; }},
    {"ChecksumChanged", [](std::vector<std::uint8_t>& j) { j.back() ^= 0x80; }},
    {"CutWithinTheMagic", [](std::vector<std::uint8_t>& j) { j.resize(5); }},
    {"OtherVersion", [](std::vector<std::uint8_t>& j) { j[8] ^= 2; }},
    {"SectorCountRaised", [](std::vector<std::uint8_t>& j) { j[24] += 1; }},
};

class IncompleteJournal : public ::testing::TestWithParam<Damage> {};

TEST_P(IncompleteJournal, IsDeletedAndTheImageLeftAlone) {
    Interrupted run(kGeometries[0]);
    auto journal = ReadFileBytes(run.Journal());
    GetParam().apply(journal);
    WriteFileBytes(run.Journal(), journal);
    EXPECT_EQ(InspectJournal(run.image), JournalState::Incomplete);
    EXPECT_EQ(RecoverFromJournal(run.image), RecoveryResult::DiscardedIncomplete);
    EXPECT_EQ(ReadFileBytes(run.image), run.changed);
    EXPECT_FALSE(fs::exists(run.Journal()));
}

INSTANTIATE_TEST_SUITE_P(Damages, IncompleteJournal, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& p) { return std::string(p.param.name); });

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

TEST(ImageJournal, AJournalThatCannotBeWrittenLeavesNothingBehind) {
    test::TempDir dir;
    const std::string image = dir / "disc.bin";
    WriteFileBytes(image, tools::PatternBytes(2352 * 4, 1));
    CImageJournal journal(image, 2352, 2352 * 4);
    journal.AddRange(0, 2352 * 3);
    int calls = 0;
    EXPECT_FALSE(journal.Write([&](std::uint64_t, std::uint8_t*) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(fs::exists(JournalPathFor(image)));
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
        EXPECT_EQ(RecoverFromJournal(image), RecoveryResult::NothingToDo);
        CImageJournal journal(image, 2352, imageBytes.size());
        journal.AddRange(0, 2352);
        EXPECT_FALSE(journal.Write([](std::uint64_t, std::uint8_t*) { return true; }));
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
    EXPECT_EQ(RecoverFromJournal(cut), RecoveryResult::NothingToDo);
    CImageJournal journal(cut, 2352, imageBytes.size());
    journal.AddRange(0, 2352);
    EXPECT_FALSE(journal.Write([](std::uint64_t, std::uint8_t*) { return true; }));
    BinaryFile file;
    EXPECT_FALSE(file.Open(cut, BinaryFile::Mode::ReadWrite));
    EXPECT_EQ(ReadFileBytes(image), imageBytes);
}

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
    CImageJournal journal(image, 2352, bytes.size());
    journal.AddRange(0, 10);
    ASSERT_TRUE(journal.Write([&](std::uint64_t, std::uint8_t* buffer) {
        std::copy(bytes.begin(), bytes.begin() + 2352, buffer);
        return true;
    }));

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

} // namespace
} // namespace qorlu

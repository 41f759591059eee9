// Extraction of archives with damaged entries, and into the image's own
// folder: no entry's file reaches past what the image holds, and the image
// being read is never written.

#include "archive/AfsArchive.h"
#include "format/ByteOrder.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/QuietProgress.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "archive/ExtractProgress.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using tools::PatternBytes;

using test::QuietProgress;

// Runs the extraction job of `archive` into `folder`, on this thread.
std::uint32_t ExtractAll(CAfsArchive& archive, const std::string& folder) {
    QuietProgress progress;
    archive.m_strOutputDir = folder;
    archive.m_nFilterMode = kFilterAll;
    return archive.RunExtractJob(progress, archive.Messages());
}

std::map<std::string, std::vector<std::uint8_t>> Tree(const fs::path& root) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& f : fs::recursive_directory_iterator(root))
        if (f.is_regular_file()) files[fs::relative(f.path(), root).generic_string()] = test::ReadFileBytes(f.path());
    return files;
}

const std::vector<tools::AfsBuildEntry> kEntries = {{"FIRST.BIN", PatternBytes(3000, 1), 0},
                                                    {"DATA/HURT.BIN", PatternBytes(5000, 2), 0},
                                                    {"THIRD.BIN", PatternBytes(700, 3), 0},
                                                    {"LAST.BIN", PatternBytes(100, 4), 0}};
constexpr std::uint32_t kHurtOffset = 6144;    // entry 1
constexpr std::uint32_t kArchiveBytes = 16384; // archive bytes that the image holds

struct Damage {
    const char* name;
    std::uint32_t offset;
    std::uint32_t size;
    bool extracted; // the damaged entry still lies inside the image
};

const Damage kDamage[] = {
    {"SizeNear4GiB", kHurtOffset, 0xFFFFFFF0u, false},
    {"OffsetPlusSizeWraps", 0xFFFFF000u, 0x2000u, false},
    {"OffsetPastTheImage", kArchiveBytes + 4096, 10, false},
    {"EndsOneBytePastTheImage", kHurtOffset, kArchiveBytes - kHurtOffset + 1, false},
    {"EndsAtTheImagesLastByte", kHurtOffset, kArchiveBytes - kHurtOffset, true},
};

// Shown by name in test listings.
void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class DamagedEntry : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedEntry, GetsNoFileAndTheOthersComeOutExact) {
    const Damage& d = GetParam();
    test::TempDir dir;
    auto afs = tools::BuildAfs(kEntries);
    WriteLE32(&afs.bytes[8 + 8], d.offset);
    WriteLE32(&afs.bytes[8 + 12], d.size);
    const std::string bin = dir / "disc.bin";
    test::WriteImageWithArchive(bin, afs.bytes);
    test::MessageRecorder messages;
    CAfsArchive archive(messages);
    ASSERT_TRUE(archive.LocateArchive(bin, "filedata.afs") && archive.LoadIndex());
    ASSERT_EQ(archive.ArchiveBytesAtLoad(), kArchiveBytes);
    messages.Clear();

    const std::string out = dir / "out";
    fs::create_directory(out);
    EXPECT_EQ(ExtractAll(archive, out), 2u);
    const auto files = Tree(out);
    for (std::size_t i : {0u, 2u, 3u}) {
        ASSERT_EQ(files.count(kEntries[i].name), 1u) << kEntries[i].name;
        EXPECT_EQ(files.at(kEntries[i].name), kEntries[i].data) << kEntries[i].name;
    }
    std::uintmax_t total = 0;
    for (const auto& [name, bytes] : files) total += bytes.size();
    EXPECT_LE(total, fs::file_size(bin));
    if (d.extracted) {
        EXPECT_EQ(files.at("DATA/HURT.BIN").size(), d.size);
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Extract complete!"});
    } else {
        EXPECT_EQ(files.count("DATA/HURT.BIN"), 0u);
        EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Extract complete!", "1 entry could not be written:\n" +
                                                                                       archive.GetEntryName(1)}));
        ASSERT_EQ(archive.FailuresOfLastJob().size(), 1u);
        const ExtractFailure& failure = archive.FailuresOfLastJob()[0];
        EXPECT_EQ(failure.kind, ExtractFailureKind::PastTheImage);
        EXPECT_EQ(failure.offset, d.offset);
        EXPECT_EQ(failure.size, d.size);
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, DamagedEntry, ::testing::ValuesIn(kDamage),
                         [](const ::testing::TestParamInfo<Damage>& p) { return std::string(p.param.name); });

// How the target of an entry is the image: its own name, a hard link or a
// symbolic link to it beside it, or a link in a folder that was there before
// the extraction.
enum class SameFile { Name, HardLink, SymbolicLink, LinkInAnOldFolder };

struct SameFileRow {
    const char* name;
    SameFile how;
};

void PrintTo(const SameFileRow& r, std::ostream* os) { *os << r.name; }

class ExtractBesideTheImage : public ::testing::TestWithParam<SameFileRow> {};

TEST_P(ExtractBesideTheImage, LeavesTheImageByteIdentical) {
    const SameFileRow& row = GetParam();
    test::TempDir dir;
#ifdef _WIN32
    if (row.how == SameFile::SymbolicLink || row.how == SameFile::LinkInAnOldFolder)
        GTEST_SKIP() << "Wine cannot make symbolic links";
#endif
    const std::string bin = dir / "disc.bin";
    const std::string entryName = row.how == SameFile::Name                ? "disc.bin"
                                  : row.how == SameFile::LinkInAnOldFolder ? "OLD/alias.bin"
                                                                           : "alias.bin";
    const std::vector<tools::AfsBuildEntry> entries = {{"BEFORE.BIN", PatternBytes(3000, 1), 0},
                                                       {entryName, PatternBytes(4000, 2), 0},
                                                       {"AFTER/LATER.BIN", PatternBytes(5000, 3), 0}};
    test::WriteImageWithArchive(bin, tools::BuildAfs(entries).bytes);
    if (row.how == SameFile::HardLink) fs::create_hard_link(bin, dir / "alias.bin");
    if (row.how == SameFile::SymbolicLink) fs::create_symlink("disc.bin", dir / "alias.bin");
    if (row.how == SameFile::LinkInAnOldFolder) {
        fs::create_directory(dir.Path() / "OLD");
        fs::create_symlink("../disc.bin", dir.Path() / "OLD" / "alias.bin");
    }
    const auto image = test::ReadFileBytes(bin);

    test::MessageRecorder messages;
    CAfsArchive archive(messages);
    ASSERT_TRUE(archive.LocateArchive(bin, "filedata.afs") && archive.LoadIndex());
    messages.Clear();
    EXPECT_EQ(ExtractAll(archive, dir.Path().string()), 2u);
    EXPECT_EQ(test::ReadFileBytes(bin), image);
    EXPECT_EQ(test::ReadFileBytes(dir / "BEFORE.BIN"), entries[0].data);
    EXPECT_EQ(test::ReadFileBytes(dir.Path() / "AFTER" / "LATER.BIN"), entries[2].data);
    EXPECT_EQ(messages.Texts(),
              (std::vector<std::string>{"Extract complete!", "1 entry could not be written:\n" + entryName}));
    ASSERT_EQ(archive.FailuresOfLastJob().size(), 1u);
    EXPECT_EQ(archive.FailuresOfLastJob()[0].kind, ExtractFailureKind::IsTheImage);
}

INSTANTIATE_TEST_SUITE_P(Targets, ExtractBesideTheImage,
                         ::testing::Values(SameFileRow{"ItsOwnName", SameFile::Name},
                                           SameFileRow{"AHardLink", SameFile::HardLink},
                                           SameFileRow{"ASymbolicLink", SameFile::SymbolicLink},
                                           SameFileRow{"ALinkInAnOldFolder", SameFile::LinkInAnOldFolder}),
                         [](const ::testing::TestParamInfo<SameFileRow>& p) { return std::string(p.param.name); });

// A file system that ignores letter case, mounted for the test's life.
class CaseBlindFolder {
public:
    explicit CaseBlindFolder(const test::TempDir& dir) : m_mount(dir.Path() / "mnt") {
        fs::create_directory(m_mount);
        const std::string fsImage = dir / "fat.img";
        if (test::RunProgram("truncate", {"-s", "4M", fsImage}).exitCode != 0) {
            m_why = "truncate failed";
            return;
        }
        if (test::RunProgram("mkfs.vfat", {fsImage}).exitCode != 0) {
            m_why = "mkfs.vfat (dosfstools) is not available";
            return;
        }
        const auto mounted = test::RunProgram("mount", {"-o", "loop", fsImage, m_mount.string()});
        if (mounted.exitCode != 0) {
            m_why = "can not mount a vfat file system here: " + mounted.err;
            return;
        }
        m_mounted = true;
    }
    ~CaseBlindFolder() {
        if (m_mounted) test::RunProgram("umount", {m_mount.string()});
    }
    bool Ok() const { return m_mounted; }
    const std::string& Why() const { return m_why; }
    const fs::path& Path() const { return m_mount; }

private:
    fs::path m_mount;
    bool m_mounted = false;
    std::string m_why;
};

TEST(ExtractBesideTheImageOnACaseBlindFileSystem, AnotherLetterCaseIsTheSameFile) {
    test::TempDir dir;
    CaseBlindFolder folder(dir);
    if (!folder.Ok()) GTEST_SKIP() << "no case-blind file system: " << folder.Why();
    const std::string bin = (folder.Path() / "disc.bin").string();
    const std::vector<tools::AfsBuildEntry> entries = {{"DISC.BIN", PatternBytes(4000, 2), 0},
                                                       {"OTHER.BIN", PatternBytes(5000, 3), 0}};
    test::WriteImageWithArchive(bin, tools::BuildAfs(entries).bytes);
    const auto image = test::ReadFileBytes(bin);
    test::MessageRecorder messages;
    CAfsArchive archive(messages);
    ASSERT_TRUE(archive.LocateArchive(bin, "filedata.afs") && archive.LoadIndex());
    EXPECT_EQ(ExtractAll(archive, folder.Path().string()), 2u);
    EXPECT_EQ(test::ReadFileBytes(bin), image);
    EXPECT_EQ(test::ReadFileBytes(folder.Path() / "OTHER.BIN"), entries[1].data);
    EXPECT_EQ(messages.Texts().back(), "1 entry could not be written:\nDISC.BIN");
}

} // namespace
} // namespace qorlu

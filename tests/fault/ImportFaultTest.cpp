// An import whose image changed between choosing it and the import: made
// read-only, removed, or moved away. The import fails with its messages and
// the image stays byte for byte as it was.

#include "archive/AfsArchive.h"
#include "disc/ImageJournal.h"
#include "tests/fault/SmallDisk.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <memory>
#include <optional>

#include <unistd.h>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::MessageRecorder;
using tools::PatternBytes;

std::vector<tools::AfsBuildEntry> Entries() {
    return {{"BGM/TITLE.ADX", PatternBytes(5000, 1), 0}, {"README.TXT", PatternBytes(7, 2), 0}};
}

enum class Change { ReadOnly, Removed, MovedAway };

struct ImportFaultCase {
    const char* name;
    Change change;
};
// Failures name the case, not its bytes.
void PrintTo(const ImportFaultCase& c, std::ostream* os) { *os << c.name; }

class ImageChangedBeforeImport : public testing::TestWithParam<ImportFaultCase> {};

TEST_P(ImageChangedBeforeImport, FailsAndLeavesTheImageAsItWas) {
    const ImportFaultCase& c = GetParam();
    test::TempDir dir;
    // Root writes through a file's permissions: a read-only image for root
    // is one on a file system mounted read-only.
    std::unique_ptr<test::SmallDisk> disk;
    fs::path folder = dir.Path();
    if (c.change == Change::ReadOnly && geteuid() == 0) {
        disk = std::make_unique<test::SmallDisk>(1024 * 1024);
        if (!disk->Mounted()) GTEST_SKIP() << disk->WhyNot();
        folder = disk->Path();
    }
    const std::string image = (folder / "disc.bin").string();
    test::WriteImageWithArchive(image, tools::BuildAfs(Entries()).bytes);
    const auto before = test::ReadFileBytes(image);
    const std::string replacement = dir / "TITLE.ADX";
    test::WriteFileBytes(replacement, PatternBytes(4000, 9));

    MessageRecorder messages;
    CAfsArchive archive(messages);
    ASSERT_TRUE(archive.LocateArchive(image, "filedata.afs"));
    ASSERT_TRUE(archive.LoadIndex());
    messages.Clear();

    std::string kept = image; // where the image's bytes are afterwards
    switch (c.change) {
    case Change::ReadOnly:
        if (disk)
            ASSERT_TRUE(disk->SetReadOnly(true));
        else
            fs::permissions(image, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        break;
    case Change::Removed:
        fs::remove(image);
        break;
    case Change::MovedAway:
        kept = dir / "elsewhere.bin";
        fs::rename(image, kept);
        break;
    }

    EXPECT_EQ(archive.ImportEntry(replacement, 0), 0);
    const auto texts = messages.Texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Can not open ISO file!"), texts.end());
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "can not open ISO file!");

    if (c.change == Change::Removed) {
        EXPECT_FALSE(fs::exists(image)) << "the import made a new image";
    } else {
        EXPECT_EQ(test::ReadFileBytes(kept), before);
    }
    if (c.change == Change::MovedAway) {
        EXPECT_FALSE(fs::exists(image)) << "the import made a new image";
    }
    EXPECT_FALSE(fs::exists(JournalPathFor(image)));
    EXPECT_EQ(archive.GetEntrySize(0), 5000u) << "the index in memory changed";
    if (disk) disk->SetReadOnly(false);
}

INSTANTIATE_TEST_SUITE_P(Changes, ImageChangedBeforeImport,
                         testing::Values(ImportFaultCase{"ReadOnly", Change::ReadOnly},
                                         ImportFaultCase{"Removed", Change::Removed},
                                         ImportFaultCase{"MovedAway", Change::MovedAway}),
                         [](const testing::TestParamInfo<ImportFaultCase>& p) { return std::string(p.param.name); });

// The disk fills, or the file-size limit is reached, while the import
// writes its journal: the image is never touched, the journal is gone, and
// the import says it failed.
enum class JournalFault { FullDisk, FileSizeLimit };

struct JournalFaultCase {
    const char* name;
    JournalFault fault;
};

// Failures name the case, not its bytes.
void PrintTo(const JournalFaultCase& c, std::ostream* os) { *os << c.name; }

class JournalCannotBeWritten : public testing::TestWithParam<JournalFaultCase> {};

TEST_P(JournalCannotBeWritten, LeavesTheImageUntouched) {
    const JournalFaultCase& c = GetParam();
    test::TempDir dir;
    const auto archiveBytes = tools::BuildAfs(Entries()).bytes;
    // The image alone, in whole pages: a small disk of exactly that size
    // holds the image and not one journal sector more.
    std::string image = dir / "disc.bin";
    test::WriteImageWithArchive(image, archiveBytes);
    const auto before = test::ReadFileBytes(image);
    std::unique_ptr<test::SmallDisk> disk;
    if (c.fault == JournalFault::FullDisk) {
        const std::size_t pages = (before.size() + 4095) / 4096;
        disk = std::make_unique<test::SmallDisk>(pages * 4096);
        if (!disk->Mounted()) GTEST_SKIP() << disk->WhyNot();
        image = *disk / "disc.bin";
        test::WriteFileBytes(image, before);
    }
    const std::string replacement = dir / "TITLE.ADX";
    test::WriteFileBytes(replacement, PatternBytes(4000, 9));

    MessageRecorder messages;
    CAfsArchive archive(messages);
    ASSERT_TRUE(archive.LocateArchive(image, "filedata.afs"));
    ASSERT_TRUE(archive.LoadIndex());
    messages.Clear();
    int imported = -1;
    {
        std::optional<test::FileSizeLimit> limit;
        if (c.fault == JournalFault::FileSizeLimit) {
            limit.emplace(4096); // the journal of this import is longer; the image is not grown
            ASSERT_TRUE(limit->Ok());
        }
        imported = archive.ImportEntry(replacement, 0);
    }

    EXPECT_EQ(imported, 0);
    const auto texts = messages.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "can not write ISO file!");
    EXPECT_EQ(test::ReadFileBytes(image), before);
    EXPECT_FALSE(fs::exists(JournalPathFor(image)));
    EXPECT_EQ(archive.GetEntrySize(0), 5000u) << "the index in memory changed";
}

INSTANTIATE_TEST_SUITE_P(Faults, JournalCannotBeWritten,
                         testing::Values(JournalFaultCase{"FullDisk", JournalFault::FullDisk},
                                         JournalFaultCase{"FileSizeLimit", JournalFault::FileSizeLimit}),
                         [](const testing::TestParamInfo<JournalFaultCase>& p) { return std::string(p.param.name); });

} // namespace
} // namespace qorlu

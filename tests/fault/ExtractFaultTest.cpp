// Extraction when the disk fills or a write fails part way: the entries not
// written are reported after "Extract complete!", no partial file stays, and
// every other entry arrives whole.

#include "archive/AfsArchive.h"
#include "archive/ExtractJob.h"
#include "base/Text.h"
#include "tests/fault/SmallDisk.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/QuietProgress.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "archive/ExtractProgress.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <memory>
#include <optional>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::MessageRecorder;
using tools::PatternBytes;

using test::QuietProgress;

std::string Native(std::string s) {
    for (char& c : s)
        if (c == '/') c = kPathSeparator;
    return s;
}

enum class Fault {
    FileSizeLimit, // writes past 16 KiB fail with EFBIG
    FullDisk,      // the output folder is a tmpfs of 40 KiB
};

struct ExtractFaultCase {
    const char* name;
    Fault fault;
    std::vector<tools::AfsBuildEntry> entries;
    std::string unwritten; // the one entry that cannot be written
};
// Failures name the case, not its bytes.
void PrintTo(const ExtractFaultCase& c, std::ostream* os) { *os << c.name; }

class ExtractFault : public testing::TestWithParam<ExtractFaultCase> {};

TEST_P(ExtractFault, ReportsTheEntryAndLeavesNoPartialFile) {
    const ExtractFaultCase& c = GetParam();
    test::TempDir dir;
    test::WriteImageWithArchive(dir / "disc.bin", tools::BuildAfs(c.entries).bytes);
    const auto image = test::ReadFileBytes(dir / "disc.bin");

    std::unique_ptr<test::SmallDisk> disk;
    std::string out = dir / "out";
    if (c.fault == Fault::FullDisk) {
        disk = std::make_unique<test::SmallDisk>(40 * 1024);
        if (!disk->Mounted()) GTEST_SKIP() << disk->WhyNot();
        out = disk->Path().string();
    } else {
        fs::create_directory(out);
    }

    MessageRecorder messages;
    CAfsArchive archive(messages);
    ASSERT_TRUE(archive.LocateArchive(dir / "disc.bin", "filedata.afs"));
    ASSERT_TRUE(archive.LoadIndex());
    messages.Clear();
    QuietProgress progress;
    {
        std::optional<test::FileSizeLimit> limit;
        if (c.fault == Fault::FileSizeLimit) {
            limit.emplace(16 * 1024);
            ASSERT_TRUE(limit->Ok());
        }
        CExtractJob job(archive);
        ASSERT_EQ(job.StartExtract(out, kFilterAll, &progress), 1);
        job.Wait();
    }

    const auto texts = messages.Texts();
    ASSERT_EQ(texts.size(), 2u) << "never \"Extract complete!\" alone";
    EXPECT_EQ(texts[0], "Extract complete!");
    EXPECT_EQ(texts[1], "1 entry could not be written:\n" + Native(c.unwritten));
    for (const auto& entry : c.entries) {
        const fs::path file = fs::path(out) / Native(entry.name);
        if (entry.name == c.unwritten) {
            EXPECT_FALSE(fs::exists(file)) << "a partial file of " << entry.name << " stayed";
        } else {
            ASSERT_TRUE(fs::exists(file)) << entry.name;
            EXPECT_EQ(test::ReadFileBytes(file), entry.data) << entry.name;
        }
    }
    EXPECT_EQ(test::ReadFileBytes(dir / "disc.bin"), image);
}

std::vector<tools::AfsBuildEntry> Entries() {
    return {{"BGM/A.ADX", PatternBytes(12000, 1), 0},
            {"BGM/B.ADX", PatternBytes(30000, 2), 0},
            {"C.TXT", PatternBytes(100, 3), 0},
            {"D/E.BIN", PatternBytes(9000, 4), 0}};
}

INSTANTIATE_TEST_SUITE_P(Faults, ExtractFault,
                         testing::Values(ExtractFaultCase{"FileSizeLimit", Fault::FileSizeLimit, Entries(),
                                                          "BGM/B.ADX"},
                                         ExtractFaultCase{"FullDisk", Fault::FullDisk, Entries(), "BGM/B.ADX"}),
                         [](const testing::TestParamInfo<ExtractFaultCase>& p) { return std::string(p.param.name); });

} // namespace
} // namespace qorlu

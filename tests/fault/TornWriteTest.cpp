// A real qorlu import and patch-apply stopped in the middle of their one
// large image write, at page and device-block boundaries and inside a block,
// as a kill or a power cut leaves the file: the next program that opens the
// image puts it back as it was, also after the image and its journal were
// moved to another file system (which gives the file other numbers, as FAT
// does at every mount). A stand-in for pwrite, loaded with LD_PRELOAD, cuts
// the write; nothing inside qorlu knows about it.

#include "disc/ImageJournal.h"
#include "disc/SectorChecksum.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::RunProgram;
using test::WriteFileBytes;

const std::string kQorlu = QORLU_CLI_PATH;
const std::string kTearLibrary = QORLU_TEAR_WRITE_LIB;

// The environment of one torn run, set for the programs this test starts
// and taken away again.
class TearEnvironment {
public:
    TearEnvironment(const std::string& file, const std::string& log, long long at, int error) {
        Set("LD_PRELOAD", kTearLibrary);
        Set("QORLU_TEAR_FILE", file);
        Set("QORLU_TEAR_LOG", log);
        if (at >= 0) Set("QORLU_TEAR_AT", std::to_string(at));
        if (error != 0) Set("QORLU_TEAR_ERRNO", std::to_string(error));
        // A sanitized qorlu wants its runtime loaded first; the stand-in comes first here.
        const char* asan = std::getenv("ASAN_OPTIONS");
        Set("ASAN_OPTIONS", std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "verify_asan_link_order=0");
        m_asan = asan ? std::optional<std::string>(asan) : std::nullopt;
    }
    ~TearEnvironment() {
        for (const char* name :
             {"LD_PRELOAD", "QORLU_TEAR_FILE", "QORLU_TEAR_LOG", "QORLU_TEAR_AT", "QORLU_TEAR_ERRNO"})
            unsetenv(name);
        if (m_asan)
            setenv("ASAN_OPTIONS", m_asan->c_str(), 1);
        else
            unsetenv("ASAN_OPTIONS");
    }
    TearEnvironment(const TearEnvironment&) = delete;
    TearEnvironment& operator=(const TearEnvironment&) = delete;

private:
    static void Set(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }
    std::optional<std::string> m_asan;
};

struct ImageWrite {
    long long position = 0;
    long long count = 0;
};

// The writes to the image that a run made, from the stand-in's log, and
// whether one was cut.
std::vector<ImageWrite> LoggedWrites(const std::string& log, bool& torn) {
    std::vector<ImageWrite> writes;
    torn = false;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("torn", 0) == 0) {
            torn = true;
            continue;
        }
        std::istringstream fields(line);
        ImageWrite w;
        if (fields >> w.position >> w.count) writes.push_back(w);
    }
    return writes;
}

// One operation on an image: an import of one entry's new contents, or a
// patch that changes the same sectors.
struct Operation {
    const char* name;
    bool patch;
};

void PrintTo(const Operation& o, std::ostream* os) { *os << o.name; }

// A disc with one entry of 30 sectors, the operation's input files, and the
// image as the whole operation leaves it.
class TornOperation {
public:
    explicit TornOperation(const Operation& operation) : m_operation(operation) {
        test::WriteImageWithArchive(m_bin, tools::BuildAfs({{"A/FIRST.BIN", tools::PatternBytes(60000, 1), 0}}).bytes);
        m_before = ReadFileBytes(m_bin);
        WriteFileBytes(m_dir / "FIRST.BIN", tools::PatternBytes(60000, 2));
        if (operation.patch) {
            auto modded = m_before;
            for (std::size_t s = 41; s < 71; ++s) {
                for (std::size_t i = 0; i < 2048; ++i)
                    modded[s * 2352 + 24 + i] ^= static_cast<std::uint8_t>(s * 7 + i);
                sector::EncodeForm1(&modded[s * 2352]);
            }
            WriteFileBytes(m_dir / "modded.bin", modded);
            EXPECT_EQ(RunProgram(kQorlu, {"patch-make", m_bin, m_dir / "modded.bin", m_dir / "mod.ppf"}).exitCode, 0);
        }
    }

    const std::string& Image() const { return m_bin; }
    const std::vector<std::uint8_t>& Before() const { return m_before; }
    std::string Folder() const { return m_dir.Path().string(); }

    // Runs the operation with the stand-in: to be cut at `at` (a file
    // position), or only logged when `at` is negative.
    test::CommandResult Run(long long at, int error, std::vector<ImageWrite>& writes, bool& torn) {
        const std::string log = m_dir / "writes.log";
        fs::remove(log);
        test::CommandResult r;
        {
            TearEnvironment tear(m_bin, log, at, error);
            r = m_operation.patch ? RunProgram(kQorlu, {"patch-apply", m_bin, m_dir / "mod.ppf"})
                                  : RunProgram(kQorlu, {"import", m_bin, m_dir / "FIRST.BIN", "--yes"});
        }
        writes = LoggedWrites(log, torn);
        return r;
    }

    // The largest write the whole operation makes to the image.
    ImageWrite LargestWrite() {
        std::vector<ImageWrite> writes;
        bool torn = false;
        const auto r = Run(-1, 0, writes, torn);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        ImageWrite largest;
        for (const ImageWrite& w : writes)
            if (w.count > largest.count) largest = w;
        WriteFileBytes(m_bin, m_before);
        return largest;
    }

private:
    Operation m_operation;
    test::TempDir m_dir;
    std::string m_bin = m_dir / "disc.bin";
    std::vector<std::uint8_t> m_before;
};

// Moves the image and its journal into a new folder on another file system
// (/dev/shm, where there is one): the same bytes under other file numbers.
std::string MovedElsewhere(const std::string& image, const test::TempDir& fallback) {
    fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fallback.Path();
    std::string pattern = (base / "qorlu-moved-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return {};
    const std::string moved = (fs::path(pattern) / "disc.bin").string();
    fs::copy_file(image, moved);
    if (fs::exists(JournalPathFor(image))) fs::copy_file(JournalPathFor(image), JournalPathFor(moved));
    fs::remove(image);
    fs::remove(JournalPathFor(image));
    return moved;
}

// Where, relative to the write, the cut falls: every page boundary, the
// first device-block boundaries, or inside blocks.
struct Cut {
    const char* name;
    long long unit;   // boundaries of this many bytes of the file
    long long inside; // bytes past the boundary
    int count;        // how many boundaries (0: all inside the write)
    bool moved;       // image and journal moved to another file system before the next open
    int error;        // the write fails with this error number instead of the process being killed
    bool restored;    // the next open puts the image back
};

void PrintTo(const Cut& c, std::ostream* os) { *os << c.name; }

const Cut kCuts[] = {
    {"AtEveryPageBoundary", 4096, 0, 0, false, 0, true},
    {"AtBlockBoundaries", 512, 0, 24, false, 0, true},
    {"InsideABlock", 512, 200, 4, false, 0, true},
    {"AtPageBoundariesThenMoved", 4096, 0, 6, true, 0, true},
    {"AtBlockBoundariesThenMoved", 512, 0, 12, true, 0, true},
    // A block torn in its middle on a file that is no longer the journal's:
    // nothing tells whether another program wrote it, so nothing is written.
    {"InsideABlockThenMoved", 512, 200, 2, true, 0, false},
    // The write fails part way (a device error, a full disk): the program
    // undoes it at once, from the journal it just wrote.
    {"FailingWithAnIoErrorAtABlockBoundary", 512, 0, 6, false, EIO, true},
    {"FailingWithAFullDiskInsideABlock", 512, 100, 3, false, ENOSPC, true},
};

const Operation kOperations[] = {{"Import", false}, {"PatchApply", true}};

class TornWrite : public testing::TestWithParam<std::tuple<Operation, Cut>> {};

TEST_P(TornWrite, TheNextOpenPutsTheImageBackOrRefusesAndKeepsTheJournal) {
    const auto& [operation, cut] = GetParam();
    TornOperation op(operation);
    const ImageWrite largest = op.LargestWrite();
    ASSERT_GT(largest.count, 20 * 2352) << "the operation writes its sectors in one large write";

    int cuts = 0;
    for (long long boundary = (largest.position / cut.unit + 1) * cut.unit;
         boundary + cut.inside < largest.position + largest.count && (cut.count == 0 || cuts < cut.count);
         boundary += cut.unit, ++cuts) {
        const long long at = boundary + cut.inside;
        SCOPED_TRACE("cut at image position " + std::to_string(at));
        WriteFileBytes(op.Image(), op.Before());
        std::vector<ImageWrite> writes;
        bool torn = false;
        const auto run = op.Run(at, cut.error, writes, torn);
        ASSERT_TRUE(torn) << "the stand-in cut the write";
        EXPECT_NE(run.exitCode, 0);
        const auto left = ReadFileBytes(op.Image());
        if (cut.error != 0) {
            // Undone by the program itself, before it gave up.
            EXPECT_EQ(left, op.Before()) << run.err;
            EXPECT_FALSE(fs::exists(JournalPathFor(op.Image())));
            continue;
        }
        ASSERT_NE(left, op.Before()) << "the image was torn";
        ASSERT_TRUE(fs::exists(JournalPathFor(op.Image())));

        test::TempDir fallback;
        const std::string image = cut.moved ? MovedElsewhere(op.Image(), fallback) : op.Image();
        ASSERT_FALSE(image.empty());
        const auto journal = ReadFileBytes(JournalPathFor(image));
        const auto verify = RunProgram(kQorlu, {"verify", image});
        EXPECT_NE(verify.err.find(cut.restored ? "the next open of the image (list, extract, import, patch-apply or "
                                                 "a window) puts its old sectors back"
                                               : "the next open of the image refuses it and changes nothing"),
                  std::string::npos)
            << verify.err;
        EXPECT_EQ(ReadFileBytes(image), left) << "verify changes nothing";
        const auto list = RunProgram(kQorlu, {"list", image});
        if (cut.restored) {
            EXPECT_EQ(list.exitCode, 0) << list.err;
            EXPECT_NE(list.err.find("An interrupted import was undone: " + image), std::string::npos) << list.err;
            EXPECT_EQ(ReadFileBytes(image), op.Before());
            EXPECT_FALSE(fs::exists(JournalPathFor(image)));
        } else {
            EXPECT_EQ(list.exitCode, 1);
            EXPECT_NE(list.err.find("its journal was written for another file"), std::string::npos) << list.err;
            EXPECT_EQ(ReadFileBytes(image), left) << "a journal that does not fit writes nothing";
            EXPECT_EQ(ReadFileBytes(JournalPathFor(image)), journal) << "and is kept";
        }
        if (cut.moved) fs::remove_all(fs::path(image).parent_path());
    }
    if (cut.count != 0)
        EXPECT_EQ(cuts, cut.count) << "every cut fell inside the write";
    else
        EXPECT_GE(cuts, largest.count / cut.unit - 1);
}

INSTANTIATE_TEST_SUITE_P(Cuts, TornWrite, testing::Combine(testing::ValuesIn(kOperations), testing::ValuesIn(kCuts)),
                         [](const testing::TestParamInfo<std::tuple<Operation, Cut>>& p) {
                             return std::string(std::get<0>(p.param).name) + "_" + std::get<1>(p.param).name;
                         });

} // namespace
} // namespace qorlu

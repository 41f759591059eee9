// The three container rewrites (texture import, flag-sheet import, block
// import) under faults made with the operating system's own tools: killed
// at every write, flush, rename and deletion (strace), a full disk (a small
// tmpfs, as root) and a file-size limit, a memory limit on huge input, and
// the temporaries that killed runs leave behind.

#include "cli/Commands.h"
#include "io/BinaryFile.h"
#include "tests/packer/BlockFixture.h"
#include "tests/support/LinuxTools.h"
#include "tests/support/CrashMatrix.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/RunCommand.h"
#include "tests/support/StoppedRun.h"
#include "tests/support/TempDir.h"
#include "tests/texture/TextureFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <tuple>
#include <unistd.h>

namespace qorlu::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kQorlu = QORLU_CLI_PATH;
// Looks like a temporary of an earlier, killed rewrite of the container.
const std::string kLeftoverSuffix = ".qorlu-rewrite-00000000deadbeef";

// One import that rewrites a container: the files it needs and how it ends.
struct RewriteCase {
    std::string name;
    std::string subcommand; // texture-import or block-import
    std::string container;  // file names inside the test's folder
    std::string dropped;
    std::function<Bytes(std::size_t padding)> makeContainer;
    std::function<Bytes()> makeDropped;
    // What a full disk or a file-size limit prints on stderr; %s: container.
    std::function<std::string(const std::string&)> writeFailure;
};

Bytes TextureContainer(std::size_t padding) {
    Bytes c;
    AppendFiller(c, 48);
    AppendBlock(c, {.depthCode = 4, .width = 16, .height = 8, .seed = 5});
    AppendFiller(c, 24 + padding);
    return c;
}

Bytes Sheet(std::size_t padding) {
    Bytes s = BuildSheet({.count = 2, .width = 8, .height = 4});
    s.insert(s.end(), padding + 16, 0xAB); // bytes after the last image stay as they are
    return s;
}

Bytes BlockContainer(std::size_t padding) {
    FixtureContainer plan;
    plan.extraEntry = true;
    plan.trailer = NoiseBytes(64 + padding, 3);
    for (std::uint32_t k = 0; k < 3; ++k) plan.blocks.push_back({SampleText(600 + 200 * k, 40 + k)});
    return BuildIndexedContainer(plan).bytes;
}

// Rows that differ from the texture's, so that an import changes the file.
Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + seed);
    return b;
}

std::vector<RewriteCase> Cases() {
    return {
        {"texture", "texture-import", "STAGE.TEX", "STAGE.TEX_000.bmp", TextureContainer,
         [] { return Pattern(1078 + 16 * 8, 9); },
         [](const std::string& c) { return "can not write file\n" + c + "\n"; }},
        {"flagsheet", "texture-import", "NATIONS.FLG", "NATIONS.FLG_001.bmp", Sheet,
         [] { return Pattern(1078 + 8 * 4, 21); },
         [](const std::string& c) { return "can not write file\n" + c + "\n"; }},
        {"block", "block-import", "DATA.BIN", "DATA.BIN_001", BlockContainer, [] { return NoiseBytes(900, 77); },
         [](const std::string&) { return std::string("can not open original compressed file!\n"); }},
    };
}

std::string CaseName(const ::testing::TestParamInfo<RewriteCase>& info) { return info.param.name; }
void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.name; }

// Names in `folder` that belong to a rewrite's temporary.
std::vector<std::string> Temporaries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.find(".qorlu-rewrite") != std::string::npos) names.push_back(name);
    }
    return names;
}

std::set<std::string> FileNames(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

struct InProcessRun {
    int status;
    std::string out, err;
};

InProcessRun RunInProcess(const RewriteCase& c, const std::string& dropped) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status =
        c.subcommand == "block-import" ? cli::RunBlockImport({dropped}) : cli::RunTextureImport({dropped});
    InProcessRun r{status, "", ""};
    r.out = ::testing::internal::GetCapturedStdout();
    r.err = ::testing::internal::GetCapturedStderr();
    return r;
}

class ContainerRewrite : public ::testing::TestWithParam<RewriteCase> {
protected:
    // Writes the case's files into `folder`; returns the container's bytes.
    Bytes Prepare(const fs::path& folder, std::size_t padding = 0) {
        const RewriteCase& c = GetParam();
        const Bytes container = c.makeContainer(padding);
        WriteFileBytes(folder / c.container, container);
        WriteFileBytes(folder / c.dropped, c.makeDropped());
        return container;
    }
    // The container after a complete import, made in a folder of its own.
    Bytes After() {
        TempDir other;
        Prepare(other.Path());
        const InProcessRun r = RunInProcess(GetParam(), other / GetParam().dropped);
        EXPECT_EQ(r.status, 0) << r.err;
        return ReadFileBytes(other / GetParam().container);
    }
};

// Killed before each write, flush, rename and deletion in turn, with a
// leftover of an earlier killed run waiting in the folder: the container is
// the old or the new file, never anything between, and the next run leaves
// the new file and no temporary.
TEST_P(ContainerRewrite, KilledAtEveryStepLeavesOldOrNewContainer) {
    QORLU_NEED_LINUX_TOOL(HaveStrace(), "strace (the crash matrix)");
    const RewriteCase& c = GetParam();
    TempDir dir;
    const Bytes before = c.makeContainer(0);
    const Bytes after = After();
    ASSERT_NE(before, after);
    const std::string container = dir / c.container;
    const std::string dropped = dir / c.dropped;
    const std::set<std::string> files = {c.container, c.dropped};

    int oldSeen = 0, newSeen = 0;
    const int killed = RunCrashMatrix(
        kQorlu, {c.subcommand, dropped},
        [&] {
            for (const auto& name : FileNames(dir.Path())) fs::remove(dir.Path() / name);
            Prepare(dir.Path());
            WriteFileBytes(container + kLeftoverSuffix, Bytes(100, 0x11));
        },
        [&](const CrashPoint& point, const KilledRun& run) {
            const std::string at = point.syscall + " #" + std::to_string(point.n);
            const Bytes now = ReadFileBytes(container);
            EXPECT_TRUE(now == before || now == after) << "killed at " << at;
            if (!run.killed) {
                EXPECT_EQ(run.result.exitCode, 0) << at << ": " << run.result.err;
                EXPECT_EQ(now, after) << at;
                EXPECT_EQ(Temporaries(dir.Path()), std::vector<std::string>{}) << at;
                return;
            }
            (now == before ? oldSeen : newSeen)++;
            // The next run on the same container clears up and completes.
            const CommandResult next = RunProgram(kQorlu, {c.subcommand, dropped});
            EXPECT_EQ(next.exitCode, 0) << "after a kill at " << at << ": " << next.err;
            EXPECT_EQ(next.out, "OK!\n") << at;
            EXPECT_EQ(ReadFileBytes(container), after) << "after a kill at " << at;
            EXPECT_EQ(Temporaries(dir.Path()), std::vector<std::string>{}) << "after a kill at " << at;
            EXPECT_EQ(FileNames(dir.Path()), files) << "after a kill at " << at;
        });
    std::cout << "[ crash matrix ] " << c.name << ": " << killed << " killed runs, " << oldSeen
              << " left the old container, " << newSeen << " the new one\n";
    // At least the temporary's write, its flush, the rename and the
    // leftover's removal are reached; kills before and after the rename
    // must both have happened.
    EXPECT_GE(killed, 4);
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
}

// Two rewrites of one container at once: while the first has its
// temporary written and flushed, the second waits for the container's lock
// and then says the file is busy; it neither replaces the container nor
// removes the first one's temporary, and the first completes.
TEST_P(ContainerRewrite, ASecondRewriteWaitsForTheFirstAndChangesNothing) {
    QORLU_NEED_LINUX_TOOL(HaveStrace(), "strace");
    const RewriteCase& c = GetParam();
    TempDir dir;
    const Bytes before = Prepare(dir.Path());
    const Bytes after = After();
    const std::string container = dir / c.container;
    const std::string dropped = dir / c.dropped;
    StoppedRun first(kQorlu, {c.subcommand, dropped}, "fsync", 1);
    ASSERT_TRUE(first.WaitUntilStopped());
    ASSERT_EQ(Temporaries(dir.Path()).size(), 1u);
    const CommandResult second = RunProgram(kQorlu, {c.subcommand, dropped});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("The file is in use by another program:\n" + container + "\nNothing was changed."),
              std::string::npos)
        << second.err;
    EXPECT_EQ(ReadFileBytes(container), before);
    EXPECT_EQ(Temporaries(dir.Path()).size(), 1u) << "the first rewrite's temporary is left to it";
    const CommandResult done = first.Finish();
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_EQ(ReadFileBytes(container), after);
    EXPECT_EQ(Temporaries(dir.Path()), std::vector<std::string>{});
}

// Writes past the limit fail with EFBIG: the copy cannot be written whole.
TEST_P(ContainerRewrite, FileSizeLimitLeavesContainerWhole) {
    const RewriteCase& c = GetParam();
    TempDir dir;
    const Bytes before = Prepare(dir.Path(), 8192);
    const std::set<std::string> files = FileNames(dir.Path());
    InProcessRun r{};
    {
        FileSizeLimit limit(before.size() / 2);
        ASSERT_TRUE(limit.Ok());
        r = RunInProcess(c, dir / c.dropped);
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.writeFailure(dir / c.container));
    EXPECT_EQ(ReadFileBytes(dir / c.container), before);
    EXPECT_EQ(FileNames(dir.Path()), files);
}

// A tmpfs of a few pages: the container and the dropped file fit, a second
// copy of the container does not.
class SmallTmpfs {
public:
    explicit SmallTmpfs(const std::string& size) {
        const std::string command = "mount -t tmpfs -o size=" + size + " qorlu-test '" + m_dir.Path().string() + "'";
        m_mounted = std::system(command.c_str()) == 0;
    }
    ~SmallTmpfs() {
        if (m_mounted) (void)std::system(("umount '" + m_dir.Path().string() + "'").c_str());
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;
    bool Mounted() const { return m_mounted; }
    const fs::path& Path() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    bool m_mounted = false;
};

TEST_P(ContainerRewrite, FullDiskLeavesContainerWhole) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    SmallTmpfs disk("128k");
    if (!disk.Mounted()) GTEST_SKIP() << "mount -t tmpfs failed (no right to mount here?)";
    const RewriteCase& c = GetParam();
    // 80 KiB: container and dropped file fill 88 of the 128 KiB.
    const Bytes before = Prepare(disk.Path(), 80 * 1024);
    const std::set<std::string> files = FileNames(disk.Path());
    const InProcessRun r = RunInProcess(c, (disk.Path() / c.dropped).string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.writeFailure((disk.Path() / c.container).string()));
    EXPECT_EQ(ReadFileBytes(disk.Path() / c.container), before);
    EXPECT_EQ(FileNames(disk.Path()), files);
}

// A temporary is never read as the container: the import of a bitmap or
// block file named after one is refused, and the temporary stays untouched.
TEST_P(ContainerRewrite, TemporaryIsNeverTakenForTheContainer) {
    const RewriteCase& c = GetParam();
    TempDir dir;
    const Bytes container = c.makeContainer(0);
    const std::string temp = c.container + kLeftoverSuffix;
    WriteFileBytes(dir / temp, container);
    const std::string dropped = dir / (temp + c.dropped.substr(c.container.size()));
    WriteFileBytes(dropped, c.makeDropped());
    const InProcessRun r = RunInProcess(c, dropped);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.subcommand == "block-import" ? "can not read original compressed file!\n"
                                                    : "can not read original texture file!\n");
    EXPECT_EQ(ReadFileBytes(dir / temp), container);
}

INSTANTIATE_TEST_SUITE_P(Rewrites, ContainerRewrite, ::testing::ValuesIn(Cases()), CaseName);

// Exports of a temporary's name are refused too, with nothing written.
TEST(RewriteTemporary, ExportsRefuseATemporary) {
    TempDir dir;
    const std::string texture = dir / ("STAGE.TEX" + kLeftoverSuffix);
    WriteFileBytes(texture, TextureContainer(0));
    const std::string sheet = dir / ("NATIONS.FLG" + kLeftoverSuffix);
    WriteFileBytes(sheet, Sheet(0));
    const std::string blocks = dir / ("DATA.BIN" + kLeftoverSuffix);
    WriteFileBytes(blocks, BlockContainer(0));
    const std::set<std::string> files = FileNames(dir.Path());
    for (const auto& [path, run] : std::vector<std::pair<std::string, int (*)(const cli::Args&)>>{
             {texture, cli::RunTextureExport}, {sheet, cli::RunTextureExport}, {blocks, cli::RunBlockExport}}) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(run({path}), 1) << path;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "can not read file\n" + path + "\n");
    }
    EXPECT_EQ(FileNames(dir.Path()), files);
}

// An export is a run on the container too: it clears what a killed import
// left behind and writes its files as usual.
TEST(RewriteTemporary, ExportsClearLeftovers) {
    TempDir dir;
    const std::vector<std::tuple<std::string, Bytes, int (*)(const cli::Args&), std::string>> cases = {
        {"STAGE.TEX", TextureContainer(0), cli::RunTextureExport, "STAGE.TEX_000.bmp"},
        {"NATIONS.FLG", Sheet(0), cli::RunTextureExport, "NATIONS.FLG_001.bmp"},
        {"DATA.BIN", BlockContainer(0), cli::RunBlockExport, "DATA.BIN_002"},
    };
    for (const auto& [name, bytes, run, output] : cases) {
        WriteFileBytes(dir / name, bytes);
        WriteFileBytes(dir / (name + kLeftoverSuffix), Bytes(10, 1));
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(run({dir / name}), 0) << name;
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "OK!\n") << name;
        EXPECT_TRUE(fs::exists(dir / output)) << name;
        EXPECT_EQ(ReadFileBytes(dir / name), bytes) << name;
    }
    EXPECT_EQ(Temporaries(dir.Path()), std::vector<std::string>{});
}

// Under a memory limit, a file too large to hold is refused with its name
// and status 1; nothing is written and nothing aborts (status 134).
struct HugeInputCase {
    std::string name;
    std::string subcommand;
    std::string argument; // a name inside the folder
    std::string huge;     // the file made huge, inside the folder
    std::string small;    // a file of the case's ordinary size, or empty
    std::function<Bytes()> makeSmall;
};

void PrintTo(const HugeInputCase& c, std::ostream* os) { *os << c.name; }
std::string HugeCaseName(const ::testing::TestParamInfo<HugeInputCase>& info) { return info.param.name; }

class HugeInput : public ::testing::TestWithParam<HugeInputCase> {};

// AddressSanitizer maps its shadow memory at start, far beyond any useful
// address-space limit, so a sanitized qorlu cannot start under one.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

TEST_P(HugeInput, RefusedWithTheFileNamedUnderAMemoryLimit) {
    if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer cannot run under a memory limit (ulimit -v)";
    const HugeInputCase& c = GetParam();
    TempDir dir;
    const std::string huge = dir / c.huge;
    { std::ofstream(huge, std::ios::binary) << "x"; }
    fs::resize_file(huge, std::uint64_t{3} << 30); // 3 GiB, sparse
    if (!c.small.empty()) WriteFileBytes(dir / c.small, c.makeSmall());
    const std::set<std::string> files = FileNames(dir.Path());
    std::vector<std::string> args = {"-c", "ulimit -v 262144 || exit 99; exec \"$@\"", "sh", kQorlu};
    args.push_back(c.subcommand);
    args.push_back(dir / c.argument);
    const CommandResult r = RunProgram("sh", args);
    if (r.exitCode == 99) GTEST_SKIP() << "the shell cannot set a memory limit (ulimit -v)";
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "can not read file\n" + huge + "\n");
    EXPECT_EQ(FileNames(dir.Path()), files);
    EXPECT_EQ(fs::file_size(huge), std::uint64_t{3} << 30);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, HugeInput,
    ::testing::Values(HugeInputCase{"TextureExport", "texture-export", "HUGE.TEX", "HUGE.TEX", "", nullptr},
                      HugeInputCase{"FlagSheetExport", "texture-export", "HUGE.FLG", "HUGE.FLG", "", nullptr},
                      HugeInputCase{"TextureImportContainer", "texture-import", "HUGE.TEX_000.bmp", "HUGE.TEX",
                                    "HUGE.TEX_000.bmp", [] { return Pattern(1078 + 64, 1); }},
                      HugeInputCase{"FlagSheetImportContainer", "texture-import", "HUGE.FLG_000.bmp", "HUGE.FLG",
                                    "HUGE.FLG_000.bmp", [] { return Pattern(1078 + 64, 1); }},
                      HugeInputCase{"BlockExport", "block-export", "HUGE.BIN", "HUGE.BIN", "", nullptr},
                      HugeInputCase{"BlockImportContainer", "block-import", "HUGE.BIN_001", "HUGE.BIN", "HUGE.BIN_001",
                                    [] { return NoiseBytes(100, 1); }},
                      HugeInputCase{"BlockImportDroppedFile", "block-import", "DATA.BIN_001", "DATA.BIN_001",
                                    "DATA.BIN", [] { return BlockContainer(0); }}),
    HugeCaseName);

} // namespace
} // namespace qorlu::test

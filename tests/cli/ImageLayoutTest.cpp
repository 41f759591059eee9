// One archive on the images users have: the plain ISO that genisoimage
// writes, the same blocks wrapped into raw sectors, and a cue sheet for
// each. Every command gives the same results on all of them, and what an
// import writes is read back by tools that share no code with the kit.

#include "base/Text.h"
#include "tests/support/LinuxTools.h"
#include "tests/support/IndependentReader.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "tools/IsoAuthoring.h"
#include "tools/RawSectorWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::RunProgram;
using test::SplitLines;
using test::TempDir;
using tools::PatternBytes;

const std::string kQorlu = QORLU_CLI_PATH;

const std::vector<tools::AfsBuildEntry> kEntries = {
    {"BGM/TITLE.ADX", PatternBytes(30000, 1), 0},
    {"SE/click.adx", PatternBytes(3000, 2), 4096},
    {"DATA/STAGE.BIN", PatternBytes(9000, 3), 0},
    {"README.TXT", PatternBytes(700, 5), 0},
};

enum class Form { Plain, Raw, RawCue, PlainCue };

struct FormCase {
    const char* name;
    Form form;
};

const FormCase kForms[] = {{"PlainIso", Form::Plain},
                           {"RawBin", Form::Raw},
                           {"RawThroughCue", Form::RawCue},
                           {"PlainThroughCue", Form::PlainCue}};

bool IsRaw(Form f) { return f == Form::Raw || f == Form::RawCue; }

// The authored disc in all four forms, in a folder of its own.
struct Discs {
    TempDir dir;
    tools::AfsLayout afs = tools::BuildAfs(kEntries);
    std::string iso = dir / "Plain Disc.iso";
    std::string bin = dir / "Raw Disc.bin";
    // cd-info looks for the data file beside the sheet under the sheet's own name.
    std::string rawCue = dir / "Raw Disc.cue";
    std::string plainCue = dir / "plain.cue";
    bool made = false;

    Discs() {
        const fs::path stage = dir.Path() / "stage";
        fs::create_directories(stage / "MOVIE");
        test::WriteFileBytes(stage / "MOVIE" / "OPEN.SFD", PatternBytes(5000, 10));
        test::WriteFileBytes(stage / "FILEDATA.AFS", afs.bytes);
        std::string error;
        if (!tools::AuthorIso(stage.string(), iso, error)) return;
        fs::remove_all(stage);
        if (!tools::WriteRawImage(bin, test::ReadFileBytes(iso))) return;
        test::WriteRawCueSheet(rawCue, bin);
        // Unquoted and in another letter case than the file: found case-blind.
        std::ofstream(plainCue) << "FILE \"plain disc.ISO\" BINARY\n  TRACK 01 MODE1/2048\n";
        made = true;
    }
    std::string PathOf(Form f) const {
        switch (f) {
        case Form::Plain:
            return iso;
        case Form::Raw:
            return bin;
        case Form::RawCue:
            return rawCue;
        case Form::PlainCue:
            return plainCue;
        }
        return {};
    }
    // The archive as the independent tools read it out of the form's file.
    std::vector<std::uint8_t> ArchiveIndependently(Form f) {
        if (IsRaw(f)) return test::ReadFileThroughCue(rawCue, "filedata.afs", dir / "read.afs");
        return test::ReadFileFromIso(iso, "/FILEDATA.AFS;1", dir / "read.afs");
    }
};

class ImageForms : public ::testing::TestWithParam<FormCase> {
protected:
    void SetUp() override {
        QORLU_NEED_LINUX_TOOL(test::HaveProgram("genisoimage") || test::HaveProgram("xorriso"),
                              "genisoimage or xorriso (to author the disc)");
        const char* reader = IsRaw(GetParam().form) ? "cd-read" : "iso-read";
        QORLU_NEED_LINUX_TOOL(test::HaveProgram(reader) && test::HaveProgram("cd-info"),
                              std::string(reader) + " and cd-info (libcdio-utils, to read the disc back)");
        ASSERT_TRUE(m_discs.made) << "the disc could not be authored";
    }
    Discs m_discs;
};

using test::Tree;

TEST_P(ImageForms, ListShowsTheLayoutAndTheSameIndex) {
    const Form f = GetParam().form;
    const auto r = RunProgram(kQorlu, {"list", m_discs.PathOf(f)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), 6 + kEntries.size()) << r.out;
    EXPECT_EQ(lines[0], IsRaw(f) ? "layout\traw 2352-byte sectors" : "layout\tplain 2048-byte sectors");
    // Everything after the layout line is the same for every form.
    const auto reference = RunProgram(kQorlu, {"list", m_discs.iso});
    auto expected = SplitLines(reference.out);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              std::vector<std::string>(expected.begin() + 1, expected.end()));
    EXPECT_EQ(lines[3], "entry count\t4");
}

TEST_P(ImageForms, ExtractWritesTheSameTree) {
    const std::string out = m_discs.dir / "out";
    const auto r = RunProgram(kQorlu, {"extract", m_discs.PathOf(GetParam().form), out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Tree(out), (std::vector<std::string>{"BGM/TITLE.ADX", "DATA/STAGE.BIN", "README.TXT", "SE/click.adx"}));
    for (const auto& e : kEntries) EXPECT_EQ(test::ReadFileBytes(fs::path(out) / e.name), e.data) << e.name;
}

TEST_P(ImageForms, ImportWritesBytesThatOtherReadersSee) {
    const Form f = GetParam().form;
    const fs::path edits = m_discs.dir.Path() / "edits";
    fs::create_directories(edits);
    const auto title = PatternBytes(29001, 60); // many sectors, ends mid-sector
    const auto click = PatternBytes(5000, 61);  // grows into its slot
    const auto readme = PatternBytes(20, 62);   // shrinks inside one sector
    test::WriteFileBytes(edits / "TITLE.ADX", title);
    test::WriteFileBytes(edits / "click.adx", click);
    test::WriteFileBytes(edits / "README.TXT", readme);
    const auto r = RunProgram(kQorlu, {"import", m_discs.PathOf(f), (edits / "TITLE.ADX").string(),
                                       (edits / "click.adx").string(), (edits / "README.TXT").string(), "--yes"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

    // The archive as a reader of the untouched disc would expect it now.
    auto expected = m_discs.afs.bytes;
    const std::vector<std::uint8_t>* data[] = {&title, &click, nullptr, &readme};
    for (std::size_t i = 0; i < 4; ++i) {
        if (data[i] == nullptr) continue;
        std::copy(data[i]->begin(), data[i]->end(), expected.begin() + m_discs.afs.offsets[i]);
    }
    const auto afs = m_discs.ArchiveIndependently(f);
    ASSERT_EQ(afs.size(), expected.size());
    for (std::size_t i = 0; i < 4; ++i) {
        if (data[i] == nullptr) continue;
        EXPECT_TRUE(std::equal(data[i]->begin(), data[i]->end(), afs.begin() + m_discs.afs.offsets[i])) << i;
    }

    // The same import through the other forms leaves the same archive bytes.
    Discs other;
    ASSERT_TRUE(other.made);
    const Form twin = f == Form::Plain ? Form::RawCue : Form::Plain;
    ASSERT_EQ(RunProgram(kQorlu, {"import", other.PathOf(twin), (edits / "TITLE.ADX").string(),
                                  (edits / "click.adx").string(), (edits / "README.TXT").string(), "--yes"})
                  .exitCode,
              0);
    EXPECT_EQ(other.ArchiveIndependently(twin), afs);

    // A raw image keeps valid checksums; a plain one has none to check.
    const auto v = RunProgram(kQorlu, {"verify", m_discs.PathOf(f)});
    EXPECT_EQ(v.exitCode, 0) << v.out << v.err;
    if (IsRaw(f)) {
        EXPECT_NE(v.out.find("wrong Form 1\t0\n"), std::string::npos) << v.out;
    } else {
        EXPECT_NE(v.out.find("carries no sector checksums"), std::string::npos) << v.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Images, ImageForms, ::testing::ValuesIn(kForms),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ImageFormsRefused, ASheetWithoutAUsableFileSaysWhichOnEveryCommand) {
    TempDir dir;
    std::ofstream(dir / "audio.cue") << "FILE \"music.bin\" BINARY\n  TRACK 01 AUDIO\n";
    std::ofstream(dir / "gone.cue") << "FILE gone.bin BINARY\n  TRACK 01 MODE2/2352\n";
    for (const std::string& command : std::vector<std::string>{"list", "verify", "extract", "import"}) {
        for (const std::string& sheet : std::vector<std::string>{dir / "audio.cue", dir / "gone.cue"}) {
            std::vector<std::string> args = {command, sheet};
            if (command == "extract") args.push_back(dir / "out");
            if (command == "import") args.push_back(dir / "gone.cue");
            const auto r = RunProgram(kQorlu, args);
            EXPECT_EQ(r.exitCode, 1) << command << " " << sheet;
            EXPECT_NE(r.err.find(sheet), std::string::npos) << command << ": " << r.err;
            if (sheet == dir / "gone.cue") {
                EXPECT_NE(r.err.find("gone.bin"), std::string::npos) << command << ": " << r.err;
            }
            EXPECT_EQ(r.err.find("Can not open ISO file!"), std::string::npos) << "nothing is opened: " << r.err;
        }
    }
}

} // namespace
} // namespace qorlu

// The main window on the three kinds of image a user may have: a raw
// ".bin", a plain ".iso" and a ".cue" sheet for either. Each loads, shows the
// chosen path, extracts the same files and takes an import the same way.

#include "disc/SectorChecksum.h"
#include "tests/unpacker/UnpackerFixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qorlu::test {
namespace {

enum class Form { Raw, Plain, RawCue, PlainCue };

struct FormCase {
    const char* name;
    Form form;
};

const FormCase kForms[] = {{"RawBin", Form::Raw},
                           {"PlainIso", Form::Plain},
                           {"RawThroughCue", Form::RawCue},
                           {"PlainThroughCue", Form::PlainCue}};

bool IsRaw(Form f) { return f == Form::Raw || f == Form::RawCue; }

// The sample archive in the form asked for; `chosen` is what the user picks,
// `file` the file that holds the sectors.
struct FormImage {
    SampleImage sample;
    std::string chosen;
    std::string file;
    explicit FormImage(Form f) {
        file = sample.path;
        if (!IsRaw(f)) {
            file = sample.dir / "Game Disc.iso";
            DirectoryRecordSpec record;
            record.dataLength = CDiscImage::kExpectedArchiveSize;
            auto logical = LogicalImageWithRecord(40 + (sample.layout.bytes.size() + 2047) / 2048, record);
            std::copy(sample.layout.bytes.begin(), sample.layout.bytes.end(), logical.begin() + 40 * 2048);
            WriteFileBytes(file, logical);
        }
        chosen = file;
        if (f == Form::RawCue || f == Form::PlainCue) {
            chosen = sample.dir / "game.cue";
            std::ofstream(chosen) << "FILE \"" << std::filesystem::path(file).filename().string() << "\" BINARY\n"
                                  << "  TRACK 01 " << (IsRaw(f) ? "MODE2/2352" : "MODE1/2048") << "\n";
        }
    }
};

class WindowForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(WindowForms, LoadExtractAndImportAlike) {
    const Form f = GetParam().form;
    FormImage image(f);
    Window w;
    w.dlg.show();
    ASSERT_TRUE(w.ChooseImage(image.chosen)) << ::testing::PrintToString(w.system.Texts());
    EXPECT_EQ(w.dlg.m_controller.m_strImagePath, image.chosen);
    EXPECT_EQ(w.EditText(res::kIdcImagePath), image.chosen) << "the window shows the file the user chose";
    EXPECT_EQ(w.dlg.m_controller.m_archive.CurrentLayout(),
              IsRaw(f) ? CDiscImage::Layout::Raw : CDiscImage::Layout::Plain);
    EXPECT_EQ(w.dlg.m_controller.m_archive.m_nEntryCount, image.sample.entries.size());

    const std::string out = image.sample.dir / "out";
    std::filesystem::create_directory(out);
    ASSERT_TRUE(w.ChooseFolder(out));
    w.Start()->click();
    ASSERT_TRUE(w.dlg.m_progressDlg.IsOpen());
    ASSERT_TRUE(ProcessUntil([&] { return !w.dlg.m_progressDlg.IsOpen(); }));
    std::map<std::string, std::vector<std::uint8_t>> expected;
    for (const auto& e : image.sample.entries) expected[e.name] = e.data;
    EXPECT_EQ(FileTree(out), expected);

    // A drop's matches, imported as the window does after the drop.
    const std::string mod = image.sample.dir / "TITLE.ADX";
    const auto title = tools::PatternBytes(5900, 77);
    WriteFileBytes(mod, title);
    auto& target = w.dlg.m_dropTarget;
    target.m_pMatchIndex = {0};
    target.m_strMatchPaths = {mod};
    target.m_nMatchCount = 1;
    w.owned.AnswerNext(Answer::Yes);
    w.dlg.OnImportDropped();
    ASSERT_EQ(w.owned.Texts().size(), 2u);
    EXPECT_EQ(w.owned.Texts()[1], "file import OK!");

    const auto bytes = ReadFileBytes(image.file);
    const std::size_t sector = IsRaw(f) ? 2352 : 2048;
    const std::size_t header = IsRaw(f) ? 24 : 0;
    const std::size_t at = image.sample.layout.offsets[0];
    for (std::size_t i = 0; i < title.size(); ++i) {
        const std::size_t o = at + i;
        ASSERT_EQ(bytes[(40 + o / 2048) * sector + header + o % 2048], title[i]) << "byte " << i;
    }
    if (IsRaw(f)) {
        for (std::size_t s = 0; s < bytes.size() / 2352; ++s)
            ASSERT_EQ(sector::Classify(&bytes[s * 2352]), sector::Kind::Form1Valid) << "sector " << s;
    }
}

INSTANTIATE_TEST_SUITE_P(Images, WindowForms, ::testing::ValuesIn(kForms),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WindowForms, ASheetNamingAMissingFileLoadsNothingAndSaysSo) {
    SampleImage sample;
    const std::string sheet = sample.dir / "broken.cue";
    std::ofstream(sheet) << "FILE \"elsewhere.bin\" BINARY\n  TRACK 01 MODE2/2352\n";
    Window w;
    EXPECT_FALSE(w.ChooseImage(sheet));
    EXPECT_EQ(w.EditText(res::kIdcImagePath), "");
    ASSERT_EQ(w.system.Texts().size(), 1u);
    EXPECT_NE(w.system.Texts()[0].find(sheet), std::string::npos);
    EXPECT_NE(w.system.Texts()[0].find("elsewhere.bin"), std::string::npos);
    EXPECT_FALSE(w.Start()->isEnabled());
}

} // namespace
} // namespace qorlu::test

// Whole extractions through the windows: choose image and folder, press
// Start, let the progress window and the job run, and look at the output
// folder; Cancel, the recoveries, and a run inside the main window's modal loop.

#include "tests/unpacker/UnpackerFixture.h"
#include "tests/shell/ModalHelper.h"

#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>

#include <gtest/gtest.h>

namespace qorlu::test {
namespace {

using Tree = std::map<std::string, std::vector<std::uint8_t>>;

Tree ExpectedTree(const SampleImage& image, const std::vector<int>& indices) {
    Tree tree;
    for (int i : indices)
        tree[image.entries[static_cast<std::size_t>(i)].name] = image.entries[static_cast<std::size_t>(i)].data;
    return tree;
}

Tree TreeOrEmpty(const std::string& folder) { return std::filesystem::exists(folder) ? FileTree(folder) : Tree{}; }

// Presses Start and runs the loop until the progress window has closed.
bool RunJob(Window& w) {
    w.Start()->click();
    if (!w.dlg.m_progressDlg.IsOpen()) return false;
    return ProcessUntil([&] { return !w.dlg.m_progressDlg.IsOpen(); });
}

struct Loaded : Window {
    SampleImage image;
    std::string out = image.dir / "out";
    Loaded() {
        std::filesystem::create_directory(out);
        dlg.show();
        EXPECT_TRUE(ChooseImage(image.path));
        EXPECT_TRUE(ChooseFolder(out));
    }
};

TEST(ExtractFlow, EachFilterModeWritesExactlyItsEntries) {
    struct Row {
        bool adx, other;
        std::vector<int> entries;
        int lastPos;
        std::string lastText;
    } rows[] = {
        {true, false, {0, 1, 4, 6}, 6, "BGM2\\CLICK.ADX"},
        {false, true, {2, 3, 5, 7, 8}, 8, "DATA\\EMPTY.BIN"},
        {true, true, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 8, "DATA\\EMPTY.BIN"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "adx " << row.adx << " other " << row.other);
        Loaded w;
        if (!row.adx) w.AdxBox()->click();
        if (!row.other) w.OtherBox()->click();
        ASSERT_TRUE(w.Start()->isEnabled());
        ASSERT_TRUE(RunJob(w));
        EXPECT_EQ(FileTree(w.out), ExpectedTree(w.image, row.entries));
        ASSERT_EQ(w.system.Notices().size(), 1u);
        const Notice end = w.system.Notices()[0];
        EXPECT_EQ(end.text, "Extract complete!");
        EXPECT_EQ(end.title, std::optional<std::string>(""));
        EXPECT_TRUE(end.systemModal);
        EXPECT_TRUE(w.owned.Texts().empty());
        // The window is back as it was, ready for the same job again.
        EXPECT_TRUE(w.dlg.isVisible());
        EXPECT_FALSE(w.dlg.m_progressDlg.isVisible());
        EXPECT_TRUE(w.Start()->isEnabled());
        EXPECT_EQ(w.EditText(res::kIdcImagePath), w.image.path);
        EXPECT_EQ(w.EditText(res::kIdcOutputDir), w.out);
        // The bar ran over all entries and stopped at the last one extracted;
        // the text showed its name in upper case.
        EXPECT_EQ(w.dlg.m_progressDlg.m_progress->maximum(), static_cast<int>(w.image.entries.size()));
        EXPECT_EQ(w.dlg.m_progressDlg.m_progress->value(), row.lastPos);
        EXPECT_EQ(w.dlg.m_progressDlg.m_strText, Native(row.lastText));
        EXPECT_EQ(w.dlg.m_controller.m_archive.m_nFilterMode, w.dlg.FilterModeFromBoxes());
        EXPECT_EQ(w.dlg.m_controller.m_archive.m_strOutputDir, w.out);
    }
}

TEST(ExtractFlow, CancelBeforeTheFirstEntryExtractsNothingAndTheNextJobRunsWhole) {
    Loaded w;
    w.Start()->click();
    // Pressed before the window has even painted: the job sees it at its first poll.
    gui::FindControlAs<QPushButton>(&w.dlg.m_progressDlg, res::kIdcCancel)->click();
    ASSERT_TRUE(ProcessUntil([&] { return !w.dlg.m_progressDlg.IsOpen(); }));
    EXPECT_EQ(w.system.Texts(), std::vector<std::string>{"Extract aborted!"});
    EXPECT_TRUE(TreeOrEmpty(w.out).empty());
    EXPECT_TRUE(w.dlg.isVisible());
    EXPECT_TRUE(w.Start()->isEnabled());

    w.system.Clear();
    ASSERT_TRUE(RunJob(w));
    EXPECT_EQ(w.system.Texts(), std::vector<std::string>{"Extract complete!"});
    EXPECT_EQ(FileTree(w.out), ExpectedTree(w.image, {0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(ExtractFlow, AnImageThatCannotBeOpenedAnyMoreStillGivesTheMainWindowBack) {
    Loaded w;
    std::filesystem::remove(w.image.path);
    ASSERT_TRUE(RunJob(w));
    EXPECT_EQ(w.system.Texts(), std::vector<std::string>{"Can not open ISO file!"});
    EXPECT_TRUE(w.dlg.isVisible());
    EXPECT_FALSE(w.dlg.m_progressDlg.isVisible());
    EXPECT_TRUE(TreeOrEmpty(w.out).empty());
}

// LoadIndex refuses an archive without entries, so an empty index can only
// be made by hand here; no job starts and nothing would close the progress window.
TEST(ExtractFlow, AStartWithAnEmptyIndexClosesTheProgressWindowAndShowsTheMainWindow) {
    Loaded w;
    w.dlg.m_controller.m_archive.m_nEntryCount = 0;
    ASSERT_TRUE(RunJob(w));
    EXPECT_TRUE(w.dlg.isVisible());
    EXPECT_FALSE(w.dlg.m_progressDlg.isVisible());
    EXPECT_TRUE(w.system.Texts().empty());
    EXPECT_TRUE(w.owned.Texts().empty());
    EXPECT_TRUE(TreeOrEmpty(w.out).empty());
    EXPECT_TRUE(w.Start()->isEnabled());
}

// The program runs the main window modally. Hiding it for the job must not
// end that modal loop (and with it the program); the job's end box is a
// real one, closed here as the user would.
TEST(ExtractFlow, AJobInsideTheMainWindowsModalLoopEndsWithTheWindowShownAgain) {
    SampleImage image;
    FakePlatform platform;
    platform.image = image.path;
    platform.folder = image.dir / "out";
    std::filesystem::create_directory(*platform.folder);
    unpacker::CUnpackerDlg dlg(nullptr, &platform);
    MessageRecorder owned;
    dlg.SetMessageSink(&owned);

    std::string boxText, boxTitle;
    bool shownAgain = false;
    bool acceptedHere = false;
    QTimer::singleShot(0, &dlg, [&] {
        dlg.OnSelectImage();
        dlg.OnSelectOutputDir();
        auto* start = gui::FindControlAs<QPushButton>(&dlg, res::kIdcStartExtract);
        if (!start || !start->isEnabled()) {
            dlg.reject();
            return;
        }
        WhenModalShows<QMessageBox>(
            [&](QMessageBox& box) {
                boxText = box.text().toStdString();
                boxTitle = box.windowTitle().toStdString();
                box.button(QMessageBox::Ok)->click();
            },
            20000);
        start->click();
        auto* poll = new QTimer(&dlg);
        QObject::connect(poll, &QTimer::timeout, &dlg, [&, poll] {
            if (dlg.m_progressDlg.IsOpen() || !dlg.isVisible()) return;
            poll->stop();
            shownAgain = true;
            acceptedHere = true;
            dlg.accept();
        });
        poll->start(20);
        QTimer::singleShot(30000, &dlg, [&] { dlg.reject(); });
    });
    dlg.exec();
    EXPECT_TRUE(acceptedHere) << "the modal loop ended before the job gave the window back";
    EXPECT_TRUE(shownAgain);
    EXPECT_EQ(boxText, "Extract complete!");
    EXPECT_EQ(boxTitle, "");
    EXPECT_EQ(FileTree(image.dir / "out").size(), image.entries.size());
    EXPECT_TRUE(owned.Texts().empty());
}

TEST(ExtractFlow, ClosingTheWindowDuringAJobStopsItWithinASecondAndLeavesOnlyWholeFiles) {
    // Large enough that the job is still running when the window closes.
    constexpr int kEntries = 300;
    TempDir dir;
    std::vector<tools::AfsBuildEntry> entries;
    for (int i = 0; i < kEntries; ++i)
        entries.push_back({"DATA/F" + std::to_string(i) + ".BIN", tools::PatternBytes(60000, i), 0});
    const std::string image = dir / "big.bin";
    WriteImageWithArchive(image, tools::BuildAfs(entries).bytes, 40, CDiscImage::kExpectedArchiveSize);
    const std::string out = dir / "out";
    std::filesystem::create_directory(out);

    Window w;
    w.dlg.show();
    ASSERT_TRUE(w.ChooseImage(image));
    ASSERT_TRUE(w.ChooseFolder(out));
    auto* text = gui::FindControlAs<QPlainTextEdit>(&w.dlg.m_progressDlg, res::kIdcProgressText);
    ASSERT_NE(text, nullptr);
    // The window closes as soon as the first name shows, from a posted
    // event: the event queue is in the middle of its posted events then.
    bool closed = false;
    bool asked = false;
    QObject::connect(text, &QPlainTextEdit::textChanged, &w.dlg, [&] {
        if (asked || text->toPlainText().isEmpty()) return;
        asked = true;
        QTimer::singleShot(0, &w.dlg, [&] {
            w.dlg.done(0);
            closed = true;
        });
    });
    w.Start()->click();
    // done() returns once the job has stopped, long before its last entry.
    ASSERT_TRUE(ProcessUntil([&] { return closed; }));
    EXPECT_FALSE(w.dlg.m_controller.JobRunning());
    const Tree written = FileTree(out);
    EXPECT_GE(written.size(), 1u);
    EXPECT_LT(written.size(), static_cast<std::size_t>(kEntries));
    for (const auto& [name, bytes] : written) EXPECT_EQ(bytes.size(), 60000u) << name << " is a partial file";
    EXPECT_EQ(written.size(), w.dlg.m_controller.m_job.WrittenByLastJob());
    // Nobody is left to read the job's end box.
    EXPECT_TRUE(w.system.Texts().empty());
}

} // namespace
} // namespace qorlu::test

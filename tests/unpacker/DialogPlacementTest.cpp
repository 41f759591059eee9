// Where the unpacker's dialogs open and where its main window comes back:
// the start folders the window hands to the dialogs over a run, the real
// dialogs opened in them (nothing typed in), and the main window's position
// after a job.

#include "tests/shell/ModalHelper.h"
#include "tests/unpacker/UnpackerFixture.h"

#include <QDir>
#include <QGuiApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>

#include <gtest/gtest.h>

namespace qorlu::test {
namespace {

namespace fs = std::filesystem;

// A run of choices in one window; each step chooses an image or a folder (or
// removes one), and the row says where the next dialog of each kind opens.
struct Folders {
    TempDir dir;
    std::string images = dir / "images"; // holds a good image
    std::string others = dir / "others"; // holds a file that is no image
    std::string outA = dir / "outA";
    std::string outB = dir / "outB";
    std::string image = dir / "images/disc.bin";
    std::string notImage = dir / "others/notes.bin";
    Folders() {
        for (const auto& f : {images, others, outA, outB}) fs::create_directory(f);
        SampleImage sample;
        fs::copy_file(sample.path, image);
        WriteFileBytes(notImage, std::vector<std::uint8_t>(100, 7));
    }
};

enum class Step { Image, NotImage, FolderA, FolderB, FolderWithoutSpace, RemoveImages, RemoveOutA };

struct StartCase {
    const char* name;
    std::vector<Step> steps;
    // "home", or a member of Folders: "images", "others", "outA", "outB".
    const char* imageStart;
    const char* folderStart;
};

std::string Resolve(const Folders& f, const std::string& which) {
    if (which == "home") return unpacker::HomeFolder();
    if (which == "images") return f.images;
    if (which == "others") return f.others;
    if (which == "outA") return f.outA;
    return f.outB;
}

class DialogStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(DialogStart, FollowsTheChoicesOfThisRun) {
    Folders f;
    Window w;
    for (const Step step : GetParam().steps) {
        w.platform.available = std::uint64_t{1} << 40;
        switch (step) {
        case Step::Image:
            w.ChooseImage(f.image);
            break;
        case Step::NotImage:
            w.ChooseImage(f.notImage);
            break;
        case Step::FolderA:
            w.ChooseFolder(f.outA);
            break;
        case Step::FolderB:
            w.ChooseFolder(f.outB);
            break;
        case Step::FolderWithoutSpace:
            w.platform.available = 5;
            w.ChooseFolder(f.outB);
            break;
        case Step::RemoveImages:
            fs::remove_all(f.images);
            break;
        case Step::RemoveOutA:
            fs::remove_all(f.outA);
            break;
        }
    }
    w.platform.image.reset(); // both dialogs cancelled now: only their start is looked at
    w.platform.folder.reset();
    w.dlg.OnSelectImage();
    w.dlg.OnSelectOutputDir();
    ASSERT_FALSE(w.platform.imageStarts.empty());
    ASSERT_FALSE(w.platform.folderStarts.empty());
    EXPECT_EQ(w.platform.imageStarts.back(), Resolve(f, GetParam().imageStart));
    EXPECT_EQ(w.platform.folderStarts.back(), Resolve(f, GetParam().folderStart));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DialogStart,
    ::testing::Values(
        StartCase{"NothingChosenYet", {}, "home", "home"}, StartCase{"AnImage", {Step::Image}, "images", "images"},
        StartCase{"AFileThatIsNoImageStillCounts", {Step::Image, Step::NotImage}, "others", "others"},
        StartCase{"AFolderWinsOverTheImage", {Step::Image, Step::FolderA}, "images", "outA"},
        StartCase{"TheLastFolderWins", {Step::FolderA, Step::FolderB}, "home", "outB"},
        StartCase{"AFolderWithoutSpaceWasStillChosen", {Step::FolderA, Step::FolderWithoutSpace}, "home", "outB"},
        StartCase{
            "ARemovedFolderFallsBackToTheImage", {Step::Image, Step::FolderA, Step::RemoveOutA}, "images", "images"},
        StartCase{"RemovedFoldersFallBackToHome",
                  {Step::Image, Step::FolderA, Step::RemoveOutA, Step::RemoveImages},
                  "home",
                  "home"}),
    [](const ::testing::TestParamInfo<StartCase>& p) { return std::string(p.param.name); });

// The real dialogs, found as the active modal window and cancelled.
struct SeenDialog {
    bool shown = false;
    QString directory;
    QString typedName = QStringLiteral("<none>");
};

struct RealDialogCase {
    const char* name;
    bool folderDialog;
    bool startExists;
};

class RealDialog : public ::testing::TestWithParam<RealDialogCase> {
protected:
    void SetUp() override {
        // Qt's file dialog keeps its own view settings; here they go to a
        // folder of the test's own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(m_settings.Path().string()));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(m_settings.Path().string()));
    }
    TempDir m_settings;
};

TEST_P(RealDialog, OpensInTheStartFolderWithNothingTypedIn) {
    TempDir dir;
    const std::string start = GetParam().startExists ? (dir / "start folder") : (dir / "gone");
    if (GetParam().startExists) fs::create_directory(start);
    const QString expected =
        GetParam().startExists ? QDir(QString::fromStdString(start)).absolutePath() : QDir::home().absolutePath();

    auto seen = std::make_shared<SeenDialog>();
    WhenModalShows<QFileDialog>([seen](QFileDialog& d) {
        seen->shown = true;
        seen->directory = d.directory().absolutePath();
        if (auto* name = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) seen->typedName = name->text();
        d.reject();
    });
    unpacker::CSystemPlatform platform;
    std::string result = "untouched";
    const bool chosen =
        GetParam().folderDialog ? platform.BrowseFolder(start, result) : platform.BrowseImageFile(start, result);
    ASSERT_TRUE(seen->shown) << "no file dialog appeared";
    EXPECT_FALSE(chosen);
    EXPECT_EQ(result, "untouched");
    EXPECT_EQ(seen->directory.toStdString(), expected.toStdString());
    EXPECT_EQ(seen->typedName.toStdString(), "");
}

INSTANTIATE_TEST_SUITE_P(Dialogs, RealDialog,
                         ::testing::Values(RealDialogCase{"FolderInAnExistingFolder", true, true},
                                           RealDialogCase{"FolderInAMissingFolder", true, false},
                                           RealDialogCase{"ImageInAnExistingFolder", false, true},
                                           RealDialogCase{"ImageInAMissingFolder", false, false}),
                         [](const ::testing::TestParamInfo<RealDialogCase>& p) { return std::string(p.param.name); });

// Lets the window manager frame the window: once it has, the frame lies
// around the window and the window's place is the manager's.
void Settle(QWidget& window) {
    ProcessUntil([&] { return window.frameGeometry() != window.geometry(); });
}

// A window manager places a window that is mapped again by its frame: the
// main window, hidden during the job, would come back shifted by the frame's
// size. Only a real window manager shows this; the ctest
// UnpackerWindowPlaceUnderWindowManager runs this test on a virtual display
// with one.
TEST(MainWindowPlace, IsWhereItWasAfterAJob) {
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        GTEST_SKIP() << "needs a display with a window manager (the offscreen platform has no window frames)";
    struct Row {
        const char* what;
        bool placedFirst;
    } rows[] = {{"placed by the window system", false}, {"placed by the program", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Window w;
        SampleImage image;
        const std::string out = image.dir / "out";
        fs::create_directory(out);
        if (row.placedFirst) w.dlg.move(200, 150);
        w.dlg.show();
        ASSERT_TRUE(ProcessUntil([&] { return w.dlg.isVisible(); }));
        Settle(w.dlg);
        const QPoint before = w.dlg.pos();
        const QRect clientBefore = w.dlg.geometry();
        ASSERT_TRUE(w.ChooseImage(image.path))
            << "boxes: " << ::testing::PrintToString(w.system.Texts()) << ::testing::PrintToString(w.owned.Texts());
        ASSERT_TRUE(w.ChooseFolder(out));

        bool hidden = false;
        w.Start()->click();
        ASSERT_TRUE(w.dlg.m_progressDlg.IsOpen());
        ASSERT_TRUE(ProcessUntil([&] {
            hidden = hidden || !w.dlg.isVisible();
            return !w.dlg.m_progressDlg.IsOpen();
        }));
        ASSERT_TRUE(hidden) << "the main window was never hidden";
        ASSERT_TRUE(w.dlg.isVisible());
        Settle(w.dlg);
        // The manager may place the window again a moment later; it must end
        // up where it was (a shift by the frame stays for good).
        ProcessUntil([&] { return w.dlg.pos() == before; }, 5000);
        EXPECT_EQ(w.dlg.pos(), before) << "from " << before.x() << "," << before.y() << " to " << w.dlg.pos().x() << ","
                                       << w.dlg.pos().y() << " client " << clientBefore.x() << "," << clientBefore.y()
                                       << " to " << w.dlg.geometry().x() << "," << w.dlg.geometry().y();
    }
}

} // namespace
} // namespace qorlu::test

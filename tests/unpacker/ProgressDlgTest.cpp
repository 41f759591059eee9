// The progress window on its own: opening, the start request on the first
// paint, Cancel in its three forms, the closing command, and the requests
// of a job's thread.

#include "tests/unpacker/UnpackerFixture.h"
#include "ui/qt/PrivateMessage.h"
#include "unpacker/qt/ProgressDlg.h"

#include <QKeyEvent>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qorlu::test {
namespace {

using unpacker::CProgressDlg;

// Stands in for the main window: counts the start requests it is posted.
class MainStandIn : public QWidget {
public:
    int beginRequests = 0;
    bool event(QEvent* e) override {
        if (static_cast<int>(e->type()) == gui::kWmBeginExtract) {
            ++beginRequests;
            return true;
        }
        return QWidget::event(e);
    }
};

struct Opened {
    MainStandIn main;
    CProgressDlg progress;
    Opened() {
        main.resize(200, 100);
        main.show();
        progress.m_pMainDlg = &main;
    }
    ~Opened() {
        // Close it as a job would, so no window stays behind.
        if (progress.IsOpen()) {
            progress.Close();
            ProcessUntil([this] { return !progress.IsOpen(); }, 2000);
        }
    }
    void Open() { progress.Create(&main); }
    bool WaitForBegin(int count) {
        return ProcessUntil([&] { return main.beginRequests >= count; }, 5000);
    }
    QPlainTextEdit* Text() { return gui::FindControlAs<QPlainTextEdit>(&progress, res::kIdcProgressText); }
    QPushButton* Cancel() { return gui::FindControlAs<QPushButton>(&progress, res::kIdcCancel); }
};

TEST(ProgressWindow, IsBuiltFromItsTemplate) {
    CProgressDlg progress;
    EXPECT_EQ(progress.windowTitle().toStdString(), "Progress Info");
    auto* cancel = gui::FindControlAs<QPushButton>(&progress, res::kIdcCancel);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text().toStdString(), "Cancel");
    EXPECT_TRUE(cancel->isDefault());
    EXPECT_NE(gui::FindControlAs<QPlainTextEdit>(&progress, res::kIdcProgressText), nullptr);
    EXPECT_EQ(progress.m_progress, gui::FindControlAs<QProgressBar>(&progress, res::kIdcProgressBar));
    EXPECT_NE(progress.m_progress, nullptr);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.IsOpen());
}

TEST(ProgressWindow, OpeningHidesTheMainWindowAtOnceAndAsksForTheJobOnceAfterPainting) {
    Opened o;
    o.Open();
    EXPECT_FALSE(o.main.isVisible());
    EXPECT_TRUE(o.progress.isVisible());
    EXPECT_TRUE(o.progress.IsOpen());
    EXPECT_FALSE(o.progress.IsCancelled());
    EXPECT_EQ(o.main.beginRequests, 0) << "posted from the first paint, never at opening";
    ASSERT_TRUE(o.WaitForBegin(1));
    EXPECT_FALSE(o.progress.m_bFirstPaint);
    // Repaints (another window covered it) do not ask again.
    o.progress.repaint();
    o.progress.update();
    ProcessUntil([] { return false; }, 200);
    EXPECT_EQ(o.main.beginRequests, 1);
}

TEST(ProgressWindow, CancelButtonEscapeAndCloseBoxOnlySetTheFlag) {
    const std::function<void(Opened&)> ways[] = {
        [](Opened& o) { o.Cancel()->click(); },
        [](Opened& o) {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&o.progress, &esc);
        },
        [](Opened& o) { o.progress.close(); },
        [](Opened& o) {
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(&o.progress, &enter);
        },
    };
    int way = 0;
    for (const auto& cancel : ways) {
        SCOPED_TRACE(way++);
        Opened o;
        o.Open();
        ASSERT_TRUE(o.WaitForBegin(1));
        cancel(o);
        ProcessUntil([] { return false; }, 50);
        EXPECT_TRUE(o.progress.IsCancelled());
        EXPECT_TRUE(o.progress.isVisible()) << "the job closes the window, Cancel never does";
        EXPECT_TRUE(o.progress.IsOpen());
        EXPECT_FALSE(o.main.isVisible());
        // Again: nothing more happens.
        cancel(o);
        EXPECT_TRUE(o.progress.IsCancelled());
        EXPECT_TRUE(o.progress.isVisible());
    }
}

TEST(ProgressWindow, TheClosingCommandIsPostedAndShowsTheMainWindowAgain) {
    Opened o;
    o.Open();
    ASSERT_TRUE(o.WaitForBegin(1));
    o.progress.SetText("BGM/TITLE.ADX");
    std::thread job([&] { o.progress.Close(); });
    job.join();
    EXPECT_TRUE(o.progress.IsOpen()) << "posted: nothing happens before the queue runs";
    EXPECT_FALSE(o.main.isVisible());
    ASSERT_TRUE(ProcessUntil([&] { return !o.progress.IsOpen(); }, 5000));
    EXPECT_FALSE(o.progress.isVisible());
    EXPECT_TRUE(o.main.isVisible());
    EXPECT_EQ(o.progress.m_strText, "BGM/TITLE.ADX");
    // A stray second command changes nothing.
    o.main.hide();
    o.progress.Close();
    ProcessUntil([] { return false; }, 50);
    EXPECT_FALSE(o.main.isVisible());
}

TEST(ProgressWindow, ASecondOpeningStartsWithTheFlagClearedAndANewWindowsControls) {
    Opened o;
    o.Open();
    ASSERT_TRUE(o.WaitForBegin(1));
    o.progress.SetRange(0, 40);
    o.progress.SetPos(17);
    o.progress.SetText("SE/CLICK.ADX");
    o.Cancel()->click();
    o.progress.Close();
    ASSERT_TRUE(ProcessUntil([&] { return !o.progress.IsOpen(); }, 5000));
    EXPECT_TRUE(o.progress.IsCancelled()) << "stays set until the next opening";

    o.Open();
    EXPECT_FALSE(o.progress.IsCancelled());
    EXPECT_EQ(o.Text()->toPlainText().toStdString(), "");
    EXPECT_EQ(o.progress.m_progress->minimum(), 0);
    EXPECT_EQ(o.progress.m_progress->maximum(), 100);
    EXPECT_EQ(o.progress.m_progress->value(), 0);
    EXPECT_FALSE(o.main.isVisible());
    ASSERT_TRUE(o.WaitForBegin(2)) << "each opening asks once";
    ProcessUntil([] { return false; }, 100);
    EXPECT_EQ(o.main.beginRequests, 2);
}

// From the job's thread each request has reached the controls when it
// returns; the thread reads the control right after its own call.
TEST(ProgressWindow, RequestsFromTheJobsThreadAreAppliedBeforeTheyReturn) {
    Opened o;
    o.Open();
    ASSERT_TRUE(o.WaitForBegin(1));
    std::atomic<bool> done{false};
    int seenMax = -1, seenPos = -1;
    QString seenText;
    std::thread job([&] {
        o.progress.SetRange(0, 9);
        seenMax = o.progress.m_progress->maximum();
        o.progress.SetPos(4);
        seenPos = o.progress.m_progress->value();
        o.progress.SetText("DATA/A/B.BIN");
        seenText = o.Text()->toPlainText();
        done = true;
    });
    const bool finished = ProcessUntil([&] { return done.load(); }, 5000);
    job.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(seenMax, 9);
    EXPECT_EQ(seenPos, 4);
    EXPECT_EQ(seenText.toStdString(), "DATA/A/B.BIN");
}

} // namespace
} // namespace qorlu::test

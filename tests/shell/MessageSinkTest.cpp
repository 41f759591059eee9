// Message boxes: title, buttons, icon, owner and modality of the box a
// notice becomes, and boxes asked for from a worker thread.

#include "ModalHelper.h"
#include "ui/qt/QtMessageSink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace qorlu::gui {
namespace {

using test::WhenModalShows;

// What the box looked like when it came up.
struct SeenBox {
    bool shown = false;
    std::string title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    bool onTop = false;
    bool onGuiThread = false;
};

// Answers the next message box with the given button (NoButton: the Escape
// key) and records it.
void AnswerNextBox(SeenBox& seen, QMessageBox::StandardButton answer) {
    WhenModalShows<QMessageBox>([&seen, answer](QMessageBox& box) {
        seen.shown = true;
        seen.title = box.windowTitle().toStdString();
        seen.text = box.text().toStdString();
        seen.icon = box.icon();
        seen.buttons = box.standardButtons();
        seen.parent = box.parentWidget();
        seen.modality = box.windowModality();
        seen.onTop = box.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        seen.onGuiThread = QThread::currentThread() == qApp->thread();
        QAbstractButton* b = box.button(answer);
        if (answer == QMessageBox::NoButton) {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&box, &esc);
            if (box.isVisible()) box.reject();
        } else if (b) {
            b->click();
        } else {
            box.reject();
        }
    });
}

class MessageSink : public ::testing::Test {
protected:
    void SetUp() override { QCoreApplication::setApplicationName("qorlu_packer"); }
};

TEST_F(MessageSink, WindowBoxIsOwnedAndTitledWithTheProgramName) {
    QWidget window;
    CQtMessageSink sink(&window);
    SeenBox seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(sink.Show(WindowNotice("Export complete!", Outcome::Success)), Answer::Ok);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, "qorlu_packer");
    EXPECT_EQ(seen.text, "Export complete!");
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.parent, &window);
    EXPECT_FALSE(seen.onTop);
}

TEST_F(MessageSink, SystemBoxHasNoOwnerAndStaysOnTopWithItsOwnTitle) {
    QWidget window;
    CQtMessageSink sink(&window);
    struct Case {
        std::string title;
    };
    for (const Case& c : {Case{"ERROR"}, Case{""}}) {
        SeenBox seen;
        AnswerNextBox(seen, QMessageBox::Ok);
        EXPECT_EQ(sink.Show(SystemNotice("Extract complete!", c.title, Outcome::Success, Icon::Information)),
                  Answer::Ok);
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.title, c.title) << "a given title, even an empty one, stands";
        EXPECT_EQ(seen.parent, nullptr);
        EXPECT_EQ(seen.modality, Qt::ApplicationModal);
        EXPECT_TRUE(seen.onTop);
        EXPECT_EQ(seen.icon, QMessageBox::Information);
    }
}

struct QuestionCase {
    const char* name;
    QMessageBox::StandardButton click;
    Answer expected;
};

class Question : public MessageSink, public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(Question, YesNoBoxReturnsTheAnswerFromAWorkerThread) {
    CQtMessageSink sink(nullptr);
    Notice q = WindowNotice("Import entry 12?", Outcome::Question);
    q.buttons = Buttons::YesNo;
    q.icon = Icon::Question;

    SeenBox seen;
    AnswerNextBox(seen, GetParam().click);
    std::atomic<bool> done{false};
    Answer answer = Answer::Ok;
    std::thread worker([&] {
        answer = sink.Show(q);
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();

    ASSERT_TRUE(seen.shown);
    EXPECT_TRUE(seen.onGuiThread);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.text, "Import entry 12?");
    EXPECT_EQ(answer, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Answers, Question,
                         ::testing::Values(QuestionCase{"Yes", QMessageBox::Yes, Answer::Yes},
                                           QuestionCase{"No", QMessageBox::No, Answer::No},
                                           // Escape dismisses the box without a Yes.
                                           QuestionCase{"Escape", QMessageBox::NoButton, Answer::No}),
                         [](const ::testing::TestParamInfo<QuestionCase>& p) { return std::string(p.param.name); });

TEST_F(MessageSink, OwnerDestroyedBeforeTheBoxFallsBackToNoOwner) {
    auto* window = new QWidget;
    CQtMessageSink sink(window);
    delete window;
    SeenBox seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(sink.Show(WindowNotice("Import complete!", Outcome::Success)), Answer::Ok);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.parent, nullptr);
}

} // namespace
} // namespace qorlu::gui

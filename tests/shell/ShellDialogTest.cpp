// The main windows' shell: About entry and box, private message dispatch,
// the minimised icon, the window's message sink, the application's names.

#include "ModalHelper.h"
#include "resources/BitmapperResources.h"
#include "resources/PackerResources.h"
#include "resources/UnpackerResources.h"
#include "ui/qt/ControlId.h"
#include "ui/qt/PrivateMessage.h"
#include "ui/qt/ShellDialog.h"
#include "tests/support/MessageRecorder.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorlu::gui {
namespace {

using test::WhenModalShows;

namespace un = qorlu::resources::unpacker;
namespace bm = qorlu::resources::bitmapper;
namespace pk = qorlu::resources::packer;

// A main window that records what the shell hands it instead of opening
// modal boxes.
class RecordingDialog : public CShellDialog {
public:
    RecordingDialog(const ProgramResources& res, const DialogTemplate& tmpl) : CShellDialog(res, tmpl) {}
    int aboutBoxes = 0;
    std::vector<int> messages;
    bool handle = true;

protected:
    void RunAboutBox() override { ++aboutBoxes; }
    bool OnPrivateMessage(int number) override {
        messages.push_back(number);
        return handle;
    }
};

struct SysCommandCase {
    unsigned id;
    bool opensAbout;
};

class SysCommand : public ::testing::TestWithParam<SysCommandCase> {};

TEST_P(SysCommand, OnlyIdentifiers16To31OpenTheAboutBox) {
    RecordingDialog dialog(un::Program(), un::kMainTemplate);
    dialog.OnSysCommand(GetParam().id);
    EXPECT_EQ(dialog.aboutBoxes, GetParam().opensAbout ? 1 : 0) << "id " << GetParam().id;
}

INSTANTIATE_TEST_SUITE_P(Identifiers, SysCommand,
                         ::testing::Values(SysCommandCase{16, true}, SysCommandCase{17, true}, SysCommandCase{31, true},
                                           SysCommandCase{15, false}, SysCommandCase{32, false},
                                           SysCommandCase{0, false}, SysCommandCase{0xF010, false}, // move
                                           SysCommandCase{0xF060, false},                           // close
                                           SysCommandCase{0xF020, false}),                          // minimise
                         [](const ::testing::TestParamInfo<SysCommandCase>& p) {
                             return "Id" + std::to_string(p.param.id);
                         });

TEST(ShellDialog, InitShellAddsTheAboutEntryAfterASeparatorAndSetsTheIcon) {
    struct Case {
        const ProgramResources* res;
        const DialogTemplate* tmpl;
        const char* entry;
    };
    const Case cases[] = {{&un::Program(), &un::kMainTemplate, "&About qorlu_unpacker..."},
                          {&bm::Program(), &bm::kMainTemplate, "&About qorlu_bitmapper..."},
                          {&pk::Program(), &pk::kMainTemplate, "&About qorlu_packer..."}};
    for (const Case& c : cases) {
        RecordingDialog dialog(*c.res, *c.tmpl);
        EXPECT_EQ(dialog.AboutAction(), nullptr);
        dialog.InitShell();
        const auto actions = dialog.actions();
        ASSERT_EQ(actions.size(), 2) << c.entry;
        EXPECT_TRUE(actions[0]->isSeparator());
        EXPECT_EQ(actions[1], dialog.AboutAction());
        EXPECT_EQ(actions[1]->text().toStdString(), c.entry);
        EXPECT_EQ(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
        EXPECT_FALSE(dialog.m_hIcon.isNull());
        EXPECT_EQ(dialog.windowIcon().cacheKey(), dialog.m_hIcon.cacheKey());

        dialog.AboutAction()->trigger();
        EXPECT_EQ(dialog.aboutBoxes, 1) << c.entry;
        dialog.InitShell(); // a second run adds nothing
        EXPECT_EQ(dialog.actions().size(), 2);
    }
}

TEST(ShellDialog, AboutBoxOpensModallyAndOkEndsIt) {
    CShellDialog dialog(bm::Program(), bm::kMainTemplate);
    std::string caption;
    bool okIsDefault = false;
    int pictures = 0;
    WhenModalShows<QDialog>([&](QDialog& about) {
        caption = about.windowTitle().toStdString();
        auto* ok = FindControlAs<QPushButton>(&about, kIdOk);
        if (!ok) {
            about.reject();
            return;
        }
        okIsDefault = ok->isDefault();
        for (auto* l : about.findChildren<QLabel*>()) pictures += l->pixmap().isNull() ? 0 : 1;
        ok->click();
    });
    dialog.OnSysCommand(17);
    ASSERT_FALSE(caption.empty()) << "no About box came up";
    EXPECT_EQ(caption, "About qorlu_bitmapper");
    EXPECT_TRUE(okIsDefault);
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the About box is gone";
    EXPECT_TRUE(dialog.findChildren<CAboutDlg*>().isEmpty()) << "destroyed after it ends";
}

TEST(ShellDialog, EscapeEndsTheAboutBox) {
    CShellDialog dialog(pk::Program(), pk::kMainTemplate);
    bool shown = false;
    WhenModalShows<QDialog>([&](QDialog& about) {
        shown = true;
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&about, &esc);
    });
    dialog.OnSysCommand(16);
    EXPECT_TRUE(shown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(ShellDialog, PrivateMessagesArriveThroughTheQueue) {
    RecordingDialog dialog(pk::Program(), pk::kMainTemplate);
    PostPrivateMessage(&dialog, kWmDropExport);
    PostPrivateMessage(&dialog, kWmDropImport);
    PostPrivateMessage(&dialog, kWmImportDropped);
    PostPrivateMessage(&dialog, 2026); // not a shell message
    EXPECT_TRUE(dialog.messages.empty()) << "posted, not sent";
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.messages, (std::vector<int>{2024, 2025, 3024}));
}

struct IconCase {
    QSize client, icon;
    QPoint expected;
};

class MinimizedIcon : public ::testing::TestWithParam<IconCase> {};

TEST_P(MinimizedIcon, IsCentredWithTruncatingRounding) {
    EXPECT_EQ(MinimizedIconPosition(GetParam().client, GetParam().icon), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MinimizedIcon,
                         ::testing::Values(IconCase{{32, 32}, {32, 32}, {0, 0}},
                                           IconCase{{100, 60}, {32, 32}, {34, 14}},
                                           IconCase{{101, 61}, {32, 32}, {35, 15}}, // the +1 rounds an odd gap up
                                           IconCase{{160, 36}, {48, 48}, {56, -5}}, // -11 / 2 truncates to -5, not -6
                                           IconCase{{0, 0}, {32, 32}, {-15, -15}}),
                         [](const ::testing::TestParamInfo<IconCase>& p) {
                             const auto size = [](QSize z) {
                                 return std::to_string(z.width()) + "x" + std::to_string(z.height());
                             };
                             return "Client" + size(p.param.client) + "Icon" + size(p.param.icon);
                         });

TEST(ShellDialog, MessagesGoToTheWindowsOwnSinkUntilReplaced) {
    CShellDialog dialog(un::Program(), un::kMainTemplate);
    EXPECT_NE(dynamic_cast<CQtMessageSink*>(&dialog.Messages()), nullptr);
    test::MessageRecorder recorder;
    recorder.AnswerNext(Answer::Yes);
    dialog.SetMessageSink(&recorder);
    Notice q = WindowNotice("Import?", Outcome::Question);
    q.buttons = Buttons::YesNo;
    EXPECT_EQ(dialog.Messages().Show(q), Answer::Yes);
    EXPECT_EQ(recorder.Texts(), std::vector<std::string>{"Import?"});
    dialog.SetMessageSink(nullptr);
    EXPECT_NE(dynamic_cast<CQtMessageSink*>(&dialog.Messages()), nullptr);
}

TEST(ShellDialog, EnterEndsAWindowWithoutButtonsButPressesADefaultButton) {
    {
        CShellDialog packer(pk::Program(), pk::kMainTemplate);
        packer.show();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(&packer, &enter);
        EXPECT_EQ(packer.result(), QDialog::Accepted);
        EXPECT_FALSE(packer.isVisible());
    }
    {
        const ControlTemplate controls[] = {
            {7, ControlKind::PushButton, "Go", kStyleDefaultButton | kStyleTabStop, 5, 5, 40, 14}};
        const DialogTemplate tmpl{102, "t", 60, 30, "MS Sans Serif", 8, controls};
        CShellDialog dialog(pk::Program(), tmpl);
        int clicks = 0;
        QObject::connect(FindControlAs<QPushButton>(&dialog, 7), &QPushButton::clicked, [&] { ++clicks; });
        dialog.show();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(&dialog, &enter);
        EXPECT_EQ(clicks, 1);
        EXPECT_TRUE(dialog.isVisible());
    }
}

TEST(Application, IsNamedAfterTheProgramAndCarriesItsVersion) {
    ConfigureApplication(bm::Program());
    EXPECT_EQ(QCoreApplication::applicationName(), "qorlu_bitmapper");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "qorlu_bitmapper");
    EXPECT_EQ(QCoreApplication::applicationVersion(), "1.0.0.1");
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    ConfigureApplication(un::Program());
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "qorlu_unpacker");
}

} // namespace
} // namespace qorlu::gui

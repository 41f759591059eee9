// Dialog templates: dialog-unit conversion and the windows built from each
// program's templates (IDs, kinds, texts, styles, places, tab order).

#include "resources/BitmapperResources.h"
#include "resources/PackerResources.h"
#include "resources/UnpackerResources.h"
#include "ui/qt/ControlId.h"
#include "ui/qt/DialogTemplate.h"
#include "ui/qt/DropStatic.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <string>
#include <vector>

namespace qorlu::gui {
namespace {

namespace un = qorlu::resources::unpacker;
namespace bm = qorlu::resources::bitmapper;
namespace pk = qorlu::resources::packer;

QFont TestFont(int points) {
    QFont f = QApplication::font();
    f.setPointSize(points);
    return f;
}

TEST(DialogUnits, FourHorizontalUnitsAreOneAverageCharacterAndEightVerticalOneLine) {
    const QFont font = TestFont(10);
    const QFontMetrics fm(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double average = fm.horizontalAdvance(alphabet) / 52.0;

    const QRect r = DialogUnitsToPixels(font, 4, 8, 4, 8);
    EXPECT_NEAR(r.x(), average, 0.5 + 1e-9);
    EXPECT_EQ(r.y(), fm.height());
    EXPECT_EQ(r.width(), r.x());
    EXPECT_EQ(r.height(), fm.height());
}

TEST(DialogUnits, ControlsThatTouchInDialogUnitsTouchInPixels) {
    const QFont font = TestFont(8);
    // Widths and heights that do not divide evenly by the base units.
    for (int x = 0; x < 40; ++x) {
        const QRect left = DialogUnitsToPixels(font, x, x, 7, 5);
        const QRect right = DialogUnitsToPixels(font, x + 7, x + 5, 3, 3);
        EXPECT_EQ(left.x() + left.width(), right.x()) << "x " << x;
        EXPECT_EQ(left.y() + left.height(), right.y()) << "y " << x;
    }
}

TEST(DialogFont, MissingFamilyFallsBackToTheDefaultFamilyAtTheTemplatesSize) {
    ASSERT_FALSE(QFontDatabase::families().contains("qorlu no such font"));
    const ControlTemplate none[] = {{-1, ControlKind::StaticText, "x", 0, 0, 0, 1, 1}};
    const DialogTemplate t{1, "t", 10, 10, "qorlu no such font", 11, none};
    const QFont f = DialogFont(t);
    EXPECT_EQ(f.family(), QApplication::font().family());
    EXPECT_EQ(f.pointSize(), 11);
}

// What each control of a template must become.
struct ExpectedControl {
    int id;
    const char* widgetClass;
    std::string text;
};

struct TemplateCase {
    const char* name;
    const DialogTemplate* tmpl;
    int templateId;
    std::string caption;
    int width, height;
    std::vector<ExpectedControl> controls; // template order, only those with an ID
};

QString TextOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
    return {};
}

class TemplateBuild : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(TemplateBuild, EveryControlHasItsIdKindTextAndPlace) {
    const TemplateCase& tc = GetParam();
    QDialog dialog;
    BuildFromTemplate(dialog, *tc.tmpl);

    EXPECT_EQ(tc.tmpl->id, tc.templateId);
    EXPECT_EQ(dialog.windowTitle().toStdString(), tc.caption);
    const QRect client = DialogUnitsToPixels(dialog.font(), 0, 0, tc.width, tc.height);
    EXPECT_EQ(dialog.size(), client.size());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";

    for (const ExpectedControl& e : tc.controls) {
        QWidget* w = FindControl(&dialog, e.id);
        ASSERT_NE(w, nullptr) << "control " << e.id;
        EXPECT_STREQ(w->metaObject()->className(), e.widgetClass) << "control " << e.id;
        EXPECT_EQ(TextOf(w).toStdString(), e.text) << "control " << e.id;
        EXPECT_EQ(w->objectName(), QString::number(e.id));
    }
    // Every template control, ID or not, became one child placed where the
    // template puts it; children are created in template order.
    const auto children = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(children.size(), static_cast<qsizetype>(tc.tmpl->controls.size()));
    for (size_t i = 0; i < tc.tmpl->controls.size(); ++i) {
        const ControlTemplate& c = tc.tmpl->controls[i];
        QWidget* w = children[static_cast<qsizetype>(i)];
        EXPECT_EQ(ControlIdOf(w), c.id) << "position " << i;
        EXPECT_EQ(w->geometry(), DialogUnitsToPixels(dialog.font(), c.x, c.y, c.w, c.h)) << "position " << i;
        EXPECT_TRUE(dialog.rect().contains(w->geometry())) << "control " << c.id << " lies outside its window";
    }
}

const char* kButton = "QPushButton";
const char* kEdit = "QPlainTextEdit";
const char* kCheck = "QCheckBox";
const char* kZoneClass = "qorlu::gui::CDropStatic";

INSTANTIATE_TEST_SUITE_P(
    AllPrograms, TemplateBuild,
    ::testing::Values(
        TemplateCase{"UnpackerMain",
                     &un::kMainTemplate,
                     102,
                     "qorlu_unpacker",
                     228,
                     180,
                     {{1000, kButton, "Select CD Image"},
                      {1002, kEdit, ""},
                      {1001, kButton, "Select Output Directory"},
                      {1003, kEdit, ""},
                      {1005, kCheck, "extract *.adx files"},
                      {1006, kButton, "Start Extract"},
                      {1008, kCheck, "extract other files"}}},
        TemplateCase{"UnpackerProgress",
                     &un::kProgressTemplate,
                     103,
                     "Progress Info",
                     248,
                     95,
                     {{2, kButton, "Cancel"}, {1007, kEdit, ""}, {1008, "QProgressBar", ""}}},
        TemplateCase{"UnpackerAbout", &un::kAboutTemplate, 100, "About qorlu_unpacker", 235, 55, {{1, kButton, "OK"}}},
        TemplateCase{"BitmapperMain",
                     &bm::kMainTemplate,
                     102,
                     "qorlu_bitmapper",
                     115,
                     113,
                     {{1000, kZoneClass, "Texture ==> Bitmap\n\ndrag and drop texture file here"},
                      {1001, kZoneClass, "Bitmap==>Texture\n\ndrag and drop bitmap file here"}}},
        TemplateCase{
            "BitmapperAbout", &bm::kAboutTemplate, 100, "About qorlu_bitmapper", 235, 55, {{1, kButton, "OK"}}},
        TemplateCase{"PackerMain",
                     &pk::kMainTemplate,
                     102,
                     "qorlu_packer",
                     110,
                     100,
                     {{1002, kZoneClass, "Export\n\ndrag and drop compressed file here"},
                      {1003, kZoneClass, "Import\n\ndrag and drop exported file here"}}},
        TemplateCase{"PackerAbout", &pk::kAboutTemplate, 100, "About qorlu_packer", 235, 55, {{1, kButton, "OK"}}}),
    [](const ::testing::TestParamInfo<TemplateCase>& p) { return std::string(p.param.name); });

TEST(UnpackerMainTemplate, StylesBecomeWidgetStates) {
    QDialog dialog;
    BuildFromTemplate(dialog, un::kMainTemplate);
    for (int id : {1002, 1003}) {
        auto* edit = FindControlAs<QPlainTextEdit>(&dialog, id);
        ASSERT_NE(edit, nullptr);
        EXPECT_TRUE(edit->isReadOnly()) << id;
        edit->setPlainText("C:/some/path");
        EXPECT_EQ(edit->toPlainText(), "C:/some/path");
    }
    EXPECT_FALSE(FindControl(&dialog, 1006)->isEnabled()) << "Start Extract is disabled in the template";
    EXPECT_TRUE(FindControl(&dialog, 1000)->isEnabled());
    for (auto* b : dialog.findChildren<QPushButton*>()) EXPECT_FALSE(b->isDefault()) << "no default button";
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
}

TEST(UnpackerMainTemplate, TabOrderFollowsTemplateOrder) {
    QDialog dialog;
    BuildFromTemplate(dialog, un::kMainTemplate);
    // 1008 ("extract other files") comes last in the template although it sits
    // above "Start Extract" on the screen.
    const std::vector<int> expected = {1000, 1002, 1001, 1003, 1005, 1006, 1008};
    QWidget* w = FindControl(&dialog, expected.front());
    for (size_t i = 1; i < expected.size(); ++i) {
        w = w->nextInFocusChain();
        while (w && ControlIdOf(w) == -1) w = w->nextInFocusChain(); // inner widgets of the edits
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(ControlIdOf(w), expected[i]) << "tab step " << i;
    }
}

TEST(ProgressTemplate, CancelIsTheDefaultButtonAndTheTextDoesNotWrap) {
    QDialog dialog;
    BuildFromTemplate(dialog, un::kProgressTemplate);
    EXPECT_TRUE(FindControlAs<QPushButton>(&dialog, 2)->isDefault());
    auto* text = FindControlAs<QPlainTextEdit>(&dialog, 1007);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
    auto* bar = FindControlAs<QProgressBar>(&dialog, 1008);
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isTextVisible());
}

struct ZoneCase {
    const char* name;
    const DialogTemplate* tmpl;
    int upperId, lowerId;
};

class DropZoneTemplate : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(DropZoneTemplate, ZonesAcceptDropsHaveASunkenFrameAndExportSitsAboveImport) {
    const ZoneCase& zc = GetParam();
    QDialog dialog;
    BuildFromTemplate(dialog, *zc.tmpl);
    auto* upper = FindControlAs<CDropStatic>(&dialog, zc.upperId);
    auto* lower = FindControlAs<CDropStatic>(&dialog, zc.lowerId);
    ASSERT_NE(upper, nullptr);
    ASSERT_NE(lower, nullptr);
    for (auto* zone : {upper, lower}) {
        EXPECT_TRUE(zone->acceptDrops());
        EXPECT_EQ(zone->frameShadow(), QFrame::Sunken);
        EXPECT_TRUE(zone->m_strPath.empty());
        EXPECT_EQ(zone->m_pOwner, nullptr);
        EXPECT_EQ(zone->m_nMessage, 0u);
    }
    EXPECT_LT(upper->geometry().bottom(), lower->geometry().top());
    EXPECT_FALSE(dialog.acceptDrops()) << "drops outside the zones do nothing";
}

INSTANTIATE_TEST_SUITE_P(Programs, DropZoneTemplate,
                         ::testing::Values(ZoneCase{"Bitmapper", &bm::kMainTemplate, 1000, 1001},
                                           ZoneCase{"Packer", &pk::kMainTemplate, 1002, 1003}),
                         [](const ::testing::TestParamInfo<ZoneCase>& p) { return std::string(p.param.name); });

TEST(AboutTemplate, IconOnlyInBitmapperAndPacker) {
    const QIcon icon{QPixmap(bm::IconXpm())};
    ASSERT_FALSE(icon.isNull());
    struct Case {
        const DialogTemplate* tmpl;
        bool hasIcon;
        std::string version;
    };
    const Case cases[] = {{&un::kAboutTemplate, false, "qorlu_unpacker Version 0.2"},
                          {&bm::kAboutTemplate, true, "qorlu_bitmapper Version 0.2"},
                          {&pk::kAboutTemplate, true, "qorlu_packer Version 0.2"}};
    for (const Case& c : cases) {
        QDialog dialog;
        BuildFromTemplate(dialog, *c.tmpl, icon);
        int pictures = 0;
        bool versionSeen = false;
        for (auto* l : dialog.findChildren<QLabel*>()) {
            if (!l->pixmap().isNull()) ++pictures;
            if (l->text().toStdString() == c.version) versionSeen = true;
        }
        EXPECT_EQ(pictures, c.hasIcon ? 1 : 0) << c.version;
        EXPECT_TRUE(versionSeen) << c.version;
        EXPECT_TRUE(FindControlAs<QPushButton>(&dialog, 1)->isDefault()) << c.version;
    }
}

TEST(AboutTemplate, ContentStartsAtTheSameLeftMarginWithOrWithoutIcon) {
    // The leftmost picture or text of each About box, in dialog units: the
    // icon where there is one, the text otherwise; never an empty gap.
    const struct {
        const char* program;
        const DialogTemplate* tmpl;
    } cases[] = {
        {"unpacker", &un::kAboutTemplate}, {"bitmapper", &bm::kAboutTemplate}, {"packer", &pk::kAboutTemplate}};
    for (const auto& c : cases) {
        int left = 1000;
        int textLeft = 1000;
        for (const ControlTemplate& control : c.tmpl->controls) {
            if (control.kind == ControlKind::PushButton) continue;
            left = std::min(left, control.x);
            if (control.kind == ControlKind::StaticText) textLeft = std::min(textLeft, control.x);
        }
        EXPECT_EQ(left, 11) << c.program;
        // Text right of the icon, or at the margin itself.
        EXPECT_TRUE(textLeft == 11 || textLeft >= 11 + 20) << c.program << " text at " << textLeft;
    }
}

TEST(ProgramIcons, EachProgramHasItsOwn32By32Icon) {
    const char* const* icons[] = {un::IconXpm(), bm::IconXpm(), pk::IconXpm()};
    std::vector<QImage> images;
    for (const char* const* xpm : icons) {
        int w = 0, h = 0, colours = 0, perPixel = 0;
        ASSERT_EQ(std::sscanf(xpm[0], "%d %d %d %d", &w, &h, &colours, &perPixel), 4);
        EXPECT_LE(colours, 16);
        const QImage image = QPixmap(xpm).toImage();
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(32, 32));
        images.push_back(image);
    }
    EXPECT_NE(images[0], images[1]);
    EXPECT_NE(images[1], images[2]);
    EXPECT_NE(images[0], images[2]);
}

} // namespace
} // namespace qorlu::gui

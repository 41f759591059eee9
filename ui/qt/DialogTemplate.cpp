#include "ui/qt/DialogTemplate.h"

#include "ui/qt/ControlId.h"
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
#include <QStyle>

namespace qorlu::gui {

namespace {

bool Has(unsigned styles, unsigned bit) { return (styles & bit) != 0; }

QWidget* MakeControl(QDialog& dialog, const ControlTemplate& c, const QIcon& icon) {
    const QString text = QString::fromUtf8(c.text ? c.text : "");
    switch (c.kind) {
    case ControlKind::PushButton: {
        auto* b = new QPushButton(text, &dialog);
        // Only the template's default button is the dialog's default; a
        // focused button still takes Enter, as buttons in dialogs do.
        b->setDefault(Has(c.styles, kStyleDefaultButton));
        return b;
    }
    case ControlKind::Edit: {
        if (Has(c.styles, kStyleMultiLine)) {
            auto* e = new QPlainTextEdit(&dialog);
            e->setPlainText(text);
            e->setReadOnly(Has(c.styles, kStyleReadOnly));
            // A multi-line edit that scrolls sideways keeps each line whole.
            e->setLineWrapMode(Has(c.styles, kStyleAutoHScroll) && !Has(c.styles, kStyleAutoVScroll)
                                   ? QPlainTextEdit::NoWrap
                                   : QPlainTextEdit::WidgetWidth);
            e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            if (!Has(c.styles, kStyleBorder)) e->setFrameShape(QFrame::NoFrame);
            e->setTabChangesFocus(true);
            return e;
        }
        auto* e = new QLineEdit(text, &dialog);
        e->setReadOnly(Has(c.styles, kStyleReadOnly));
        e->setFrame(Has(c.styles, kStyleBorder));
        return e;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(text, &dialog);
    case ControlKind::StaticText: {
        auto* l = new QLabel(text, &dialog);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (Has(c.styles, kStyleSunkenEdge)) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return l;
    }
    case ControlKind::DropZone: {
        auto* z = new CDropStatic(&dialog);
        z->setText(text);
        z->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        z->setAcceptDrops(Has(c.styles, kStyleAcceptFiles));
        return z;
    }
    case ControlKind::ProgressBar: {
        auto* p = new QProgressBar(&dialog);
        p->setRange(0, 100);
        p->setValue(0);
        p->setTextVisible(false);
        return p;
    }
    case ControlKind::IconImage: {
        auto* l = new QLabel(&dialog);
        const int size = dialog.style()->pixelMetric(QStyle::PM_LargeIconSize);
        if (!icon.isNull()) l->setPixmap(icon.pixmap(size, size));
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    }
    }
    return nullptr;
}

} // namespace

QFont DialogFont(const DialogTemplate& tmpl) {
    QFont font = QApplication::font();
    const QString family = QString::fromUtf8(tmpl.fontName ? tmpl.fontName : "");
    if (!family.isEmpty() && QFontDatabase::families().contains(family, Qt::CaseInsensitive)) {
        font = QFont(family);
    }
    if (tmpl.pointSize > 0) font.setPointSize(tmpl.pointSize);
    return font;
}

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int total = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int bx = (total + 26) / 52;
    return {bx < 1 ? 1 : bx, fm.height() < 1 ? 1 : fm.height()};
}

QRect DialogUnitsToPixels(const QFont& font, int x, int y, int w, int h) {
    const QSize base = DialogBaseUnits(font);
    const auto px = [&](int du) { return static_cast<int>(static_cast<long long>(du) * base.width() / 4); };
    const auto py = [&](int du) { return static_cast<int>(static_cast<long long>(du) * base.height() / 8); };
    const int left = px(x);
    const int top = py(y);
    return QRect(left, top, px(x + w) - left, py(y + h) - top);
}

void BuildFromTemplate(QDialog& dialog, const DialogTemplate& tmpl, const QIcon& icon) {
    dialog.setWindowTitle(QString::fromUtf8(tmpl.caption ? tmpl.caption : ""));
    const QFont font = DialogFont(tmpl);
    dialog.setFont(font);

    // Caption, system menu (close box), modal frame: no maximise box and, unless
    // the template asks for it, no minimise box.
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint;
    if (Has(tmpl.windowStyles, kDialogMinimizeBox)) flags |= Qt::WindowMinimizeButtonHint;
    if (Has(tmpl.windowStyles, kDialogSystemModal)) flags |= Qt::WindowStaysOnTopHint;
    dialog.setWindowFlags(flags);

    const QRect client = DialogUnitsToPixels(font, 0, 0, tmpl.width, tmpl.height);
    dialog.setFixedSize(client.size());

    QWidget* previous = nullptr;
    for (const ControlTemplate& c : tmpl.controls) {
        QWidget* w = MakeControl(dialog, c, icon);
        if (!w) continue;
        w->setFont(font);
        w->setGeometry(DialogUnitsToPixels(font, c.x, c.y, c.w, c.h));
        if (c.id != -1) SetControlId(w, c.id);
        if (Has(c.styles, kStyleDisabled)) w->setEnabled(false);
        const bool focusable =
            c.kind == ControlKind::PushButton || c.kind == ControlKind::Edit || c.kind == ControlKind::CheckBox;
        if (focusable) {
            w->setFocusPolicy(Has(c.styles, kStyleTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
            if (previous) QWidget::setTabOrder(previous, w);
            previous = w;
        }
    }
}

} // namespace qorlu::gui

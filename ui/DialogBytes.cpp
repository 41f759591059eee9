#include "ui/DialogBytes.h"

#include "base/Utf16.h"

#include <string>

namespace qorlu::gui {

namespace {

using namespace win32_style;

bool Has(unsigned styles, unsigned bit) { return (styles & bit) != 0; }

class Words {
public:
    void Add(std::uint16_t w) { m_words.push_back(w); }
    void Add32(std::uint32_t d) {
        Add(static_cast<std::uint16_t>(d & 0xFFFF));
        Add(static_cast<std::uint16_t>(d >> 16));
    }
    void AddText(const char* utf8) {
        for (const char16_t c : Utf16FromUtf8(utf8 ? utf8 : "")) Add(static_cast<std::uint16_t>(c));
        Add(0);
    }
    void AlignTo4Bytes() {
        if (m_words.size() % 2 != 0) Add(0);
    }
    std::vector<std::uint16_t> Take() { return std::move(m_words); }

private:
    std::vector<std::uint16_t> m_words;
};

std::uint32_t WindowStyleOf(const DialogTemplate& t) {
    std::uint32_t style = kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetFont;
    if (Has(t.windowStyles, kDialogSystemModal)) style |= kDsSysModal;
    if (Has(t.windowStyles, kDialogMinimizeBox)) style |= kMinimizeBox;
    if (Has(t.windowStyles, kDialogVisible)) style |= kVisible;
    return style;
}

std::uint32_t ControlStyleOf(const ControlTemplate& c) {
    std::uint32_t style = kChild | kVisible;
    if (Has(c.styles, kStyleTabStop)) style |= kTabStop;
    if (Has(c.styles, kStyleGroup)) style |= kGroup;
    if (Has(c.styles, kStyleDisabled)) style |= kDisabled;
    if (Has(c.styles, kStyleBorder)) style |= kBorder;
    switch (c.kind) {
    case ControlKind::PushButton:
        return style | (Has(c.styles, kStyleDefaultButton) ? kBsDefPushButton : kBsPushButton);
    case ControlKind::CheckBox:
        return style | kBsAutoCheckBox;
    case ControlKind::Edit:
        if (Has(c.styles, kStyleMultiLine)) style |= kEsMultiLine;
        if (Has(c.styles, kStyleAutoVScroll)) style |= kEsAutoVScroll;
        if (Has(c.styles, kStyleAutoHScroll)) style |= kEsAutoHScroll;
        if (Has(c.styles, kStyleReadOnly)) style |= kEsReadOnly;
        return style;
    case ControlKind::StaticText:
        return style | kSsLeft;
    case ControlKind::DropZone:
        return style | kSsLeft | kSsNotify;
    case ControlKind::ProgressBar:
        return style | (Has(c.styles, kStyleSmooth) ? kPbsSmooth : 0);
    case ControlKind::IconImage:
        return style | kSsIcon;
    }
    return style;
}

std::uint32_t ControlExStyle(const ControlTemplate& c) {
    std::uint32_t ex = 0;
    if (Has(c.styles, kStyleSunkenEdge)) ex |= kExClientEdge;
    if (Has(c.styles, kStyleAcceptFiles)) ex |= kExAcceptFiles;
    return ex;
}

} // namespace

std::vector<std::uint16_t> DialogTemplateWords(const DialogTemplate& tmpl) {
    Words w;
    w.Add32(WindowStyleOf(tmpl));
    w.Add32(Has(tmpl.windowStyles, kDialogTaskBar) ? kExAppWindow : 0);
    w.Add(static_cast<std::uint16_t>(tmpl.controls.size()));
    w.Add(0); // x: the dialog is centred on its owner or the screen
    w.Add(0); // y
    w.Add(static_cast<std::uint16_t>(tmpl.width));
    w.Add(static_cast<std::uint16_t>(tmpl.height));
    w.Add(0); // no menu
    w.Add(0); // the standard dialog class
    w.AddText(tmpl.caption);
    w.Add(static_cast<std::uint16_t>(tmpl.pointSize));
    w.AddText(tmpl.fontName);
    for (const ControlTemplate& c : tmpl.controls) {
        w.AlignTo4Bytes();
        w.Add32(ControlStyleOf(c));
        w.Add32(ControlExStyle(c));
        w.Add(static_cast<std::uint16_t>(c.x));
        w.Add(static_cast<std::uint16_t>(c.y));
        w.Add(static_cast<std::uint16_t>(c.w));
        w.Add(static_cast<std::uint16_t>(c.h));
        w.Add(static_cast<std::uint16_t>(c.id < 0 ? 0xFFFF : c.id));
        switch (c.kind) {
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
            w.Add(0xFFFF);
            w.Add(kClassButton);
            break;
        case ControlKind::Edit:
            w.Add(0xFFFF);
            w.Add(kClassEdit);
            break;
        case ControlKind::ProgressBar:
            w.AddText("msctls_progress32");
            break;
        default:
            w.Add(0xFFFF);
            w.Add(kClassStatic);
            break;
        }
        if (c.kind == ControlKind::IconImage) {
            w.Add(0xFFFF);
            w.Add(kProgramIconId);
        } else {
            w.AddText(c.text);
        }
        w.Add(0); // no creation data
    }
    return w.Take();
}

} // namespace qorlu::gui

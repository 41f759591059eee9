// The Win32 dialog templates made from the dialog tables, read back word by
// word: every control keeps its table's ID, text, place and size, and gets
// the class and styles its kind and bits ask for. And icon 128 as a .ico.

#include "resources/BitmapperResources.h"
#include "base/Utf16.h"
#include "resources/PackerResources.h"
#include "resources/UnpackerResources.h"
#include "ui/DialogBytes.h"
#include "tools/IconFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorlu::test {
namespace {

using namespace gui::win32_style;

// Reads a template back.
class Reader {
public:
    explicit Reader(std::vector<std::uint16_t> words) : m_words(std::move(words)) {}
    std::uint16_t Word() { return m_at < m_words.size() ? m_words[m_at++] : 0xDEAD; }
    std::uint32_t Dword() {
        const std::uint32_t low = Word();
        return low | (std::uint32_t{Word()} << 16);
    }
    std::u16string Text() {
        std::u16string s;
        while (m_at < m_words.size() && m_words[m_at] != 0) s.push_back(static_cast<char16_t>(m_words[m_at++]));
        ++m_at;
        return s;
    }
    void Align() {
        if (m_at % 2) ++m_at;
    }
    bool AtEnd() const { return m_at == m_words.size(); }

private:
    std::vector<std::uint16_t> m_words;
    std::size_t m_at = 0;
};

struct Named {
    const char* name;
    const gui::DialogTemplate& tmpl;
};

const Named kTemplates[] = {
    {"unpacker 102", resources::unpacker::kMainTemplate},    {"unpacker 103", resources::unpacker::kProgressTemplate},
    {"unpacker 100", resources::unpacker::kAboutTemplate},   {"bitmapper 102", resources::bitmapper::kMainTemplate},
    {"bitmapper 100", resources::bitmapper::kAboutTemplate}, {"packer 102", resources::packer::kMainTemplate},
    {"packer 100", resources::packer::kAboutTemplate},
};

TEST(DialogBytes, EveryTemplateReadsBackAsItsTable) {
    for (const Named& n : kTemplates) {
        SCOPED_TRACE(n.name);
        const gui::DialogTemplate& t = n.tmpl;
        Reader r(gui::DialogTemplateWords(t));
        const std::uint32_t style = r.Dword();
        EXPECT_EQ(style & (kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetFont),
                  kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetFont);
        EXPECT_EQ((style & kDsSysModal) != 0, (t.windowStyles & gui::kDialogSystemModal) != 0);
        EXPECT_EQ((style & kVisible) != 0, (t.windowStyles & gui::kDialogVisible) != 0);
        EXPECT_EQ((r.Dword() & kExAppWindow) != 0, (t.windowStyles & gui::kDialogTaskBar) != 0);
        ASSERT_EQ(r.Word(), t.controls.size());
        r.Word(), r.Word(); // x, y
        EXPECT_EQ(r.Word(), t.width);
        EXPECT_EQ(r.Word(), t.height);
        EXPECT_EQ(r.Word(), 0) << "menu";
        EXPECT_EQ(r.Word(), 0) << "class";
        EXPECT_EQ(r.Text(), Utf16FromUtf8(t.caption));
        EXPECT_EQ(r.Word(), t.pointSize);
        EXPECT_EQ(r.Text(), u"MS Sans Serif");
        for (const gui::ControlTemplate& c : t.controls) {
            SCOPED_TRACE(c.text);
            r.Align();
            const std::uint32_t cs = r.Dword();
            const std::uint32_t ex = r.Dword();
            EXPECT_EQ(cs & (kChild | kVisible), kChild | kVisible);
            EXPECT_EQ((cs & kTabStop) != 0, (c.styles & gui::kStyleTabStop) != 0);
            EXPECT_EQ((cs & kGroup) != 0, (c.styles & gui::kStyleGroup) != 0);
            EXPECT_EQ((cs & kDisabled) != 0, (c.styles & gui::kStyleDisabled) != 0);
            EXPECT_EQ((ex & kExAcceptFiles) != 0, (c.styles & gui::kStyleAcceptFiles) != 0);
            EXPECT_EQ((ex & kExClientEdge) != 0, (c.styles & gui::kStyleSunkenEdge) != 0);
            EXPECT_EQ(r.Word(), c.x);
            EXPECT_EQ(r.Word(), c.y);
            EXPECT_EQ(r.Word(), c.w);
            EXPECT_EQ(r.Word(), c.h);
            EXPECT_EQ(r.Word(), c.id < 0 ? 0xFFFF : c.id);
            if (c.kind == gui::ControlKind::ProgressBar) {
                EXPECT_EQ(r.Text(), u"msctls_progress32");
                EXPECT_EQ(cs & kPbsSmooth, kPbsSmooth);
            } else {
                EXPECT_EQ(r.Word(), 0xFFFF);
                const std::uint16_t cls = r.Word();
                switch (c.kind) {
                case gui::ControlKind::PushButton:
                    EXPECT_EQ(cls, kClassButton);
                    EXPECT_EQ(cs & 0xF, (c.styles & gui::kStyleDefaultButton) ? kBsDefPushButton : kBsPushButton);
                    break;
                case gui::ControlKind::CheckBox:
                    EXPECT_EQ(cls, kClassButton);
                    EXPECT_EQ(cs & 0xF, kBsAutoCheckBox);
                    break;
                case gui::ControlKind::Edit:
                    EXPECT_EQ(cls, kClassEdit);
                    EXPECT_EQ((cs & kEsReadOnly) != 0, (c.styles & gui::kStyleReadOnly) != 0);
                    EXPECT_EQ((cs & kEsMultiLine) != 0, (c.styles & gui::kStyleMultiLine) != 0);
                    break;
                default:
                    EXPECT_EQ(cls, kClassStatic);
                }
            }
            if (c.kind == gui::ControlKind::IconImage) {
                EXPECT_EQ(cs & 0xF, kSsIcon);
                EXPECT_EQ(r.Word(), 0xFFFF);
                EXPECT_EQ(r.Word(), gui::kProgramIconId);
            } else {
                EXPECT_EQ(r.Text(), Utf16FromUtf8(c.text));
            }
            EXPECT_EQ(r.Word(), 0) << "creation data";
        }
        EXPECT_TRUE(r.AtEnd());
    }
}

TEST(IconFile, EachProgramsIconBecomesA16ColourIcoWithItsPixels) {
    const char* const* icons[] = {resources::unpacker::IconXpm(), resources::bitmapper::IconXpm(),
                                  resources::packer::IconXpm()};
    for (const char* const* xpm : icons) {
        const auto pixels = tools::ReadXpm(xpm);
        ASSERT_TRUE(pixels.has_value());
        const std::vector<std::uint8_t> ico = tools::IcoFromPixels(*pixels);
        ASSERT_EQ(ico.size(), 22u + 40 + 64 + 512 + 128);
        EXPECT_EQ(ico[2], 1) << "an icon";
        EXPECT_EQ(ico[6], 32);
        EXPECT_EQ(ico[22 + 8], 64) << "colour and mask rows";
        // Every pixel back: the colour (or transparency) the XPM gives it.
        bool someTransparent = false;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const int row = 31 - y; // bottom-up
                const std::uint8_t pair = ico[126 + row * 16 + x / 2];
                const int index = x % 2 == 0 ? pair >> 4 : pair & 0xF;
                const bool masked = (ico[638 + row * 4 + x / 8] & (0x80 >> (x % 8))) != 0;
                const int want = pixels->pixels[static_cast<std::size_t>(y * 32 + x)];
                if (want < 0) {
                    someTransparent = true;
                    EXPECT_TRUE(masked) << x << "," << y;
                    continue;
                }
                EXPECT_FALSE(masked) << x << "," << y;
                ASSERT_EQ(index, want) << x << "," << y;
                const std::uint8_t* entry = &ico[62 + 4 * index];
                EXPECT_EQ(entry[0] | (entry[1] << 8) | (entry[2] << 16), static_cast<int>(pixels->palette[index]));
            }
        }
        EXPECT_TRUE(someTransparent);
    }
}

TEST(IconFile, RefusesWhatNoIcon128Is) {
    static const char* const wrongSize[] = {"2 2 1 1", "a c #000000", "aa", "aa"};
    static const char* const twoCharsPerPixel[] = {"1 1 1 2", "aa c #000000", "aa"};
    static const char* const unknownColour[] = {"1 1 1 1", "a c #000000", "b"};
    EXPECT_TRUE(tools::ReadXpm(wrongSize).has_value());
    EXPECT_TRUE(tools::IcoFromPixels(*tools::ReadXpm(wrongSize)).empty()) << "not 32 x 32";
    EXPECT_FALSE(tools::ReadXpm(twoCharsPerPixel).has_value());
    EXPECT_FALSE(tools::ReadXpm(unknownColour).has_value());
}

} // namespace
} // namespace qorlu::test

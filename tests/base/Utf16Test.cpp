// UTF-8 to UTF-16 and back: what the file layer's names, the dialog
// templates and the windows' texts all go through.
#include "base/Utf16.h"

#include <gtest/gtest.h>

namespace qorlu {
namespace {

TEST(Utf16, EachSequenceThatIsNoUtf8BecomesOneReplacementAndIsReported) {
    const struct {
        const char* what;
        std::string utf8;
        std::u16string utf16;
        bool valid;
    } cases[] = {
        {"plain text", "Texture ==> Bitmap\n", u"Texture ==> Bitmap\n", true},
        {"two-byte letters", "\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9", true},
        {"three bytes", "\xE2\x82\xAC", u"\u20AC", true},
        {"four bytes: a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600", true},
        {"U+FFFD written out", "\xEF\xBF\xBD", u"\uFFFD", true},
        {"an embedded zero stays", std::string("a\0b", 3), std::u16string(u"a\0b", 3), true},
        {"a byte that never leads",
         "a\xFF"
         "b",
         u"a\uFFFD"
         "b",
         false},
        {"a stray continuation", "\x80x", u"\uFFFDx", false},
        {"cut short at the end", "\xC3", u"\uFFFD", false},
        {"a missing continuation keeps the next letter", "\xE2\x82x", u"\uFFFDx", false},
        {"an overlong slash", "\xC0\xAF", u"\uFFFD", false},
        {"an overlong three-byte zero", "\xE0\x80\x80", u"\uFFFD", false},
        {"a surrogate in UTF-8", "\xED\xA0\x80", u"\uFFFD", false},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool valid = !c.valid;
        EXPECT_EQ(Utf16FromUtf8(c.utf8, &valid), c.utf16);
        EXPECT_EQ(valid, c.valid);
        EXPECT_EQ(Utf16FromUtf8(c.utf8), c.utf16) << "the same without the report";
    }
}

TEST(Utf16, BackToUtf8RoundTripsAndReplacesLoneSurrogates) {
    for (const char* text : {"", "disc.bin", "\xC3\xA9t\xC3\xA9/\xE2\x82\xAC", "\xF0\x9F\x98\x80 x"}) {
        bool valid = false;
        EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8(text, &valid)), text);
        EXPECT_TRUE(valid) << text;
    }
    const struct {
        std::u16string utf16;
        std::string utf8;
    } lone[] = {
        {u"a\xD800", "a\xEF\xBF\xBD"},
        {u"\xDC00z", "\xEF\xBF\xBDz"},
        {std::u16string{0xDC00, 0xD800}, "\xEF\xBF\xBD\xEF\xBF\xBD"}, // the wrong order
    };
    for (const auto& c : lone) EXPECT_EQ(Utf8FromUtf16(c.utf16), c.utf8);
}

} // namespace
} // namespace qorlu

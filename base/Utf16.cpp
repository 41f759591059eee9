#include "base/Utf16.h"

namespace qorlu {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point that starts at `p`, and how many bytes it takes (at least
// one); kReplacement for a sequence that is not UTF-8.
char32_t DecodeAt(std::string_view s, std::size_t p, std::size_t& used) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(p);
    used = 1;
    if (lead < 0x80) return lead;
    int extra = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, least = 0x10000;
    } else {
        return kReplacement; // a continuation byte or 0xF8..0xFF as a lead
    }
    for (int i = 1; i <= extra; ++i) {
        // A missing continuation ends the bad sequence before that byte,
        // which starts the next one.
        if (p + i >= s.size() || (byte(p + i) & 0xC0) != 0x80) return kReplacement;
        cp = (cp << 6) | (byte(p + i) & 0x3F);
        used = static_cast<std::size_t>(i) + 1;
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

std::u16string Utf16FromUtf8(std::string_view utf8, bool* valid) {
    std::u16string out;
    out.reserve(utf8.size());
    bool clean = true;
    for (std::size_t p = 0; p < utf8.size();) {
        std::size_t used = 1;
        char32_t cp = DecodeAt(utf8, p, used);
        // U+FFFD written out in the text is no fault; only a bad sequence is.
        if (cp == kReplacement && utf8.substr(p, used) != "\xEF\xBF\xBD") clean = false;
        p += used;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    if (valid) *valid = clean;
    return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

} // namespace qorlu

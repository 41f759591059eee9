#pragma once
// Text between UTF-8, the names and texts inside the program, and UTF-16,
// what Windows' wide calls and dialog templates take. Written once for the
// file layer, the dialog templates and the windows alike.

#include <string>
#include <string_view>

namespace qorlu {

// UTF-16 of a UTF-8 text. Each sequence that is not UTF-8 (a stray or a
// missing continuation byte, an overlong form, a surrogate, a code point past
// U+10FFFF) comes out as one U+FFFD; `valid`, when given, says whether the
// text had none.
std::u16string Utf16FromUtf8(std::string_view utf8, bool* valid = nullptr);

// UTF-8 of a UTF-16 text; a surrogate without its partner comes out as U+FFFD.
std::string Utf8FromUtf16(std::u16string_view utf16);

} // namespace qorlu

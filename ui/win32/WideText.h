#pragma once
// Texts for the wide Windows calls.

#include "base/Utf16.h"
#include <string>

namespace qorlu::win32 {

// UTF-16 for a window from a UTF-8 text (invalid bytes become U+FFFD); back
// to UTF-8 with Utf8FromWide.
inline std::wstring Wide(const std::string& utf8) {
    const std::u16string utf16 = Utf16FromUtf8(utf8);
    return std::wstring(utf16.begin(), utf16.end());
}

} // namespace qorlu::win32

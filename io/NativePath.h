#pragma once
// Names are UTF-8 strings inside the program. These turn them into the
// system's own form and back: std::filesystem paths (which on Windows hold
// UTF-16 and would otherwise read a std::string in the ANSI code page), and
// on Windows the UTF-16 names the wide system calls take.

#include <filesystem>
#include <string>
#include <string_view>

namespace qorlu {

// A path for std::filesystem from a UTF-8 name.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// The UTF-8 name of a std::filesystem path.
std::string Utf8FromPath(const std::filesystem::path& path);

#ifdef _WIN32
// UTF-16 from UTF-8; false in `ok` (and an empty result) when `utf8` is not
// valid UTF-8.
std::wstring WideFromUtf8(std::string_view utf8, bool& ok);
std::string Utf8FromWide(std::wstring_view wide);
// The name to hand to a wide file call: UTF-16 as given, or, when the full
// path the system makes of it (relative names start at the current folder)
// would exceed the plain form's limit, that full path with the "\\?\" (or
// "\\?\UNC\") prefix that lifts the limit. Empty when the name is not valid
// UTF-8 or holds a NUL.
std::wstring SystemPath(std::string_view utf8);
// A name the system gave back, without the long form's prefix.
std::wstring PlainPath(std::wstring_view name);
#endif

} // namespace qorlu

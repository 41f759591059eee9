#include "io/NativePath.h"

#include "base/Utf16.h"

#include <climits>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qorlu {

#ifdef _WIN32

std::wstring WideFromUtf8(std::string_view utf8, bool& ok) {
    // A name that is not UTF-8 is refused whole rather than opened under
    // another name.
    const std::u16string wide = Utf16FromUtf8(utf8, &ok);
    if (!ok) return {};
    return std::wstring(wide.begin(), wide.end());
}

std::string Utf8FromWide(std::wstring_view wide) { return Utf8FromUtf16(std::u16string(wide.begin(), wide.end())); }

namespace {

// Folders are made with names of up to MAX_PATH - 12 characters; past that
// the plain form fails.
constexpr std::size_t kPlainLimit = MAX_PATH - 12;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "C:\..." or "\\server\...": a name that is its own full path, unless
// it holds "." or ".." components (which only the full path resolves).
bool IsPlainAbsolute(const std::wstring& name) {
    const bool drive = name.size() >= 3 && name[1] == L':' && IsSeparator(name[2]);
    const bool unc = name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1]);
    return (drive || unc) && name.find(L"\\.") == std::wstring::npos && name.find(L"/.") == std::wstring::npos;
}

} // namespace

std::wstring SystemPath(std::string_view utf8) {
    bool ok = false;
    std::wstring wide = WideFromUtf8(utf8, ok);
    if (!ok || wide.empty() || wide.find(L'\0') != std::wstring::npos) return {};
    // Already literal: the long form, or a device.
    if (wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) return wide;
    // What counts is the full path the system makes of the name: a short
    // relative name below a deep current folder is long as well.
    if (wide.size() < kPlainLimit && IsPlainAbsolute(wide)) return wide;
    const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (need == 0) return wide;
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need) return wide;
    full.resize(got);
    // A short full path (a device's "\\.\NUL" too) is left to the system
    // as the user gave it.
    if (full.size() < kPlainLimit || full.rfind(L"\\\\.\\", 0) == 0) return wide;
    // The long form is taken literally: "." and "..", forward slashes and a
    // relative start are resolved in the full path already.
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring PlainPath(std::wstring_view name) {
    if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + std::wstring(name.substr(8));
    if (name.rfind(L"\\\\?\\", 0) == 0) return std::wstring(name.substr(4));
    return std::wstring(name);
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    bool ok = false;
    std::wstring wide = WideFromUtf8(utf8, ok);
    // Not UTF-8: the bytes as the system's code page would read them, which
    // is what any other program given this name would open.
    if (!ok) return std::filesystem::path(std::string(utf8));
    return std::filesystem::path(std::move(wide));
}

std::string Utf8FromPath(const std::filesystem::path& path) { return Utf8FromWide(path.native()); }

#else

// POSIX names are bytes: the program's UTF-8 passes through unchanged, and
// so does a name in any other encoding that the file system holds.
std::filesystem::path PathFromUtf8(std::string_view utf8) { return std::filesystem::path(std::string(utf8)); }

std::string Utf8FromPath(const std::filesystem::path& path) { return path.native(); }

#endif

} // namespace qorlu

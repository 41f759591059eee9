#pragma once
// Text rules shared by every tool: names are compared in upper case (ASCII
// letters only), and folder separators are the platform's.

#include <string>
#include <string_view>

namespace qorlu {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

inline std::string ToUpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

inline bool ContainsUpper(std::string_view haystack, std::string_view needleUpper) {
    return ToUpperAscii(haystack).find(needleUpper) != std::string::npos;
}

// Whether `s` ends in `suffixUpper` (given in upper case), in any letter case.
inline bool EndsWithUpper(std::string_view s, std::string_view suffixUpper) {
    return s.size() >= suffixUpper.size() && ToUpperAscii(s.substr(s.size() - suffixUpper.size())) == suffixUpper;
}

} // namespace qorlu

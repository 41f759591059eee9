#pragma once
// The last guard of a program: an exception that no operation handled is
// turned into a message instead of ending the program. The operations
// themselves refuse input too large for memory with a message that names the
// file; this is for whatever slips past them.

#include <functional>
#include <optional>
#include <string>

namespace qorlu {

// Texts of our own for an operation stopped by an exception.
inline constexpr const char* kStoppedNotEnoughMemory = "not enough memory\nthe operation was stopped";
inline std::string StoppedByError(const std::string& what) {
    return "unexpected error\n" + (what.empty() ? std::string("(no description)") : what) +
           "\nthe operation was stopped";
}

// Runs `work`. Nothing when it returns normally; otherwise the text that
// tells the user why it stopped (std::bad_alloc, another std::exception, or
// anything else thrown).
std::optional<std::string> RunGuarded(const std::function<void()>& work);

} // namespace qorlu

#pragma once
// Pieces of the messages that making and applying a patch both show.

#include "shell/Message.h"

#include <cstdint>
#include <string>

namespace qorlu::patch_text {

// "1 record", "2 records".
inline std::string Counted(std::uint64_t n, const char* thing) {
    std::string text = std::to_string(n);
    text += " ";
    text += thing;
    if (n != 1) text += "s";
    return text;
}

// A refusal: no owner, above every window, titled "ERROR".
inline Notice Refusal(std::string text) { return SystemNotice(std::move(text), "ERROR", Outcome::Failure); }

} // namespace qorlu::patch_text

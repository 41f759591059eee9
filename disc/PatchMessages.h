#pragma once
// Pieces of the messages that making and applying a patch both show, and
// the texts of applying one that checks the bytes its records find.

#include "base/Message.h"

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

// "byte 94078 (0x16F7E)": a position in an image file.
inline std::string BytePosition(std::uint64_t at) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::uint64_t value = at; hex.empty() || value != 0; value >>= 4) hex.insert(hex.begin(), digits[value & 15]);
    return "byte " + std::to_string(at) + " (0x" + hex + ")";
}

// Every record of the patch finds the bytes it would leave already there;
// `undo`: taking the patch back. Shown as a success.
inline std::string AlreadyDone(const std::string& image, bool undo) {
    std::string text = undo ? "The patch is already taken back:\n" : "The patch is already applied:\n";
    text += image;
    text +=
        undo ? "\nThe image holds every byte the patch replaces." : "\nThe image holds every byte the patch writes.";
    text += "\nNothing was changed.";
    return text;
}

// The record at `at` finds in the image neither the bytes it would change
// nor the ones it would leave.
inline std::string OtherBytes(const std::string& image, std::uint64_t at, bool undo) {
    std::string text = undo ? "The image holds other bytes than the patch writes:\n"
                            : "The image holds other bytes than the patch replaces:\n";
    text += image;
    text += "\nAt ";
    text += BytePosition(at);
    text += undo ? " it holds neither the bytes the patch writes there nor the ones it replaces."
                 : " it holds neither the bytes the patch replaces there nor the ones it writes.";
    text += "\nNothing was changed.";
    return text;
}

// The line a success adds for records that held their bytes already:
// "1 record was in place already."
inline std::string InPlace(std::uint64_t records) {
    return Counted(records, "record") + (records == 1 ? " was" : " were") + " in place already.";
}

// A refusal: no owner, above every window, titled "ERROR".
inline Notice Refusal(std::string text) { return SystemNotice(std::move(text), "ERROR", Outcome::Failure); }

} // namespace qorlu::patch_text

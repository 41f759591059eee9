#pragma once
// The texts of the converter's message boxes, and how they are shown: every
// box is owned by the converter window, carries the program's name as title
// and an OK button. "OK!" is the one success; every other text ends the
// operation as a failure.

#include "base/Message.h"

#include <string>
#include <string_view>

namespace qorlu::texture_messages {

inline constexpr std::string_view kOk = "OK!";
inline constexpr std::string_view kNotTextureFile = "This is not a texture file?";
inline constexpr std::string_view kCreateFileError = "Create file error!";
inline constexpr std::string_view kNotBitmapFile = "not a bitmap file!";
inline constexpr std::string_view kNotExtractedBitmap = "not a extracted bitmap file!";
inline constexpr std::string_view kCanNotReadOriginal = "can not read original texture file!";
inline constexpr std::string_view kCanNotWriteOriginal = "can not write original texture file!";
inline constexpr std::string_view kIndexError = "index error!";
inline constexpr std::string_view kSizeMismatch = "error:file size mismatch!";

// A dropped file that cannot be read, and an output that cannot be written,
// are told with qorlu::CanNotReadFile and qorlu::CanNotWriteFile.
using qorlu::CanNotReadFile;
using qorlu::CanNotWriteFile;

inline void Report(IMessageSink& owner, std::string_view text) {
    owner.Show(WindowNotice(std::string(text), text == kOk ? Outcome::Success : Outcome::Failure));
}

} // namespace qorlu::texture_messages

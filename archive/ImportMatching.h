#pragma once
// Matching modified files to archive entries by file name, and the question
// asked before each import. Shared by the unpacker window's drop target and
// `qorlu import`.
//
// Both a file's path and an entry's name are reduced to a key: the upper-case
// (ASCII letters) text after the last folder separator. An entry at the
// archive's root (a name without a folder part) therefore matches a file of
// the same name too.

#include "archive/AfsArchive.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qorlu {

std::string MatchKey(const std::string& pathOrName);

// The lowest entry index whose name has the key of `path`, if any.
std::optional<std::uint32_t> MatchEntry(const AfsNameRecord* records, std::uint32_t count, const std::string& path);

// "index = %d\nsize = %d\navailable space = %d\n" + path + "\n\n Import this file ?"
std::string ImportQuestion(std::uint32_t index, std::uint32_t size, std::uint32_t space, const std::string& path);

// The Yes/No box of that question: empty title, question icon, owned by the window.
Notice ImportQuestionNotice(std::uint32_t index, std::uint32_t size, std::uint32_t space, const std::string& path);

// Asks about one matched file and imports it on Yes, with the outcome box
// ("file import OK!" or "file import error!"). Returns nullopt when the user
// answered No, else whether the import succeeded.
std::optional<bool> ConfirmAndImport(CAfsArchive& archive, IMessageSink& owner, std::uint32_t index,
                                     const std::string& path);

} // namespace qorlu

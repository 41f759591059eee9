#include "archive/ImportMatching.h"

#include "base/Text.h"

#include <cstdio>

namespace qorlu {

std::string MatchKey(const std::string& pathOrName) {
    const std::size_t cut = pathOrName.find_last_of(std::string("/\\") + kPathSeparator);
    return ToUpperAscii(cut == std::string::npos ? pathOrName : pathOrName.substr(cut + 1));
}

std::optional<std::uint32_t> MatchEntry(const AfsNameRecord* records, std::uint32_t count, const std::string& path) {
    if (records == nullptr) return std::nullopt;
    const std::string key = MatchKey(path);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (MatchKey(NameOfRecord(records[i])) == key) return i;
    }
    return std::nullopt;
}

std::string ImportQuestion(std::uint32_t index, std::uint32_t size, std::uint32_t space, const std::string& path) {
    char head[128];
    std::snprintf(head, sizeof head, "index = %d\nsize = %d\navailable space = %d\n", static_cast<int>(index),
                  static_cast<int>(size), static_cast<int>(space));
    return head + path + "\n\n Import this file ?";
}

Notice ImportQuestionNotice(std::uint32_t index, std::uint32_t size, std::uint32_t space, const std::string& path) {
    Notice n;
    n.text = ImportQuestion(index, size, space, path);
    n.title = "";
    n.buttons = Buttons::YesNo;
    n.icon = Icon::Question;
    n.outcome = Outcome::Question;
    return n;
}

std::optional<bool> ConfirmAndImport(CAfsArchive& archive, IMessageSink& owner, std::uint32_t index,
                                     const std::string& path) {
    const Notice question =
        ImportQuestionNotice(index, archive.GetEntrySize(index), archive.GetEntrySpace(index), path);
    if (owner.Show(question) != Answer::Yes) return std::nullopt;
    const bool ok = archive.ImportEntry(path, index) != 0;
    owner.Show(WindowNotice(ok ? "file import OK!" : "file import error!", ok ? Outcome::Success : Outcome::Failure));
    return ok;
}

} // namespace qorlu

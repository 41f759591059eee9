#include "disc/CueSheet.h"
#include "io/NativePath.h"

#include "io/BinaryFile.h"
#include "base/Message.h"
#include "base/Text.h"

#include <filesystem>
#include <sstream>

namespace qorlu {

namespace fs = std::filesystem;

namespace {

// A sheet is a few lines of text; anything larger is not one.
constexpr std::uintmax_t kMaxSheetBytes = 1 << 20;

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// The file name of a FILE line's arguments: quoted, or everything up to the
// last word (the file type).
std::string FileNameOf(const std::string& rest) {
    if (!rest.empty() && rest[0] == '"') {
        const auto close = rest.find('"', 1);
        return rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    const auto space = rest.find_last_of(" \t");
    return space == std::string::npos ? rest : Trim(rest.substr(0, space));
}

// `wanted` below `folder`, each component as written when it exists, else
// the one entry of the folder whose name matches it case-blind.
fs::path FindCaseBlind(const fs::path& folder, const fs::path& wanted) {
    fs::path at = folder;
    for (const auto& part : wanted) {
        fs::path next = at / part;
        if (KindOf(Utf8FromPath(next)) == NameKind::Missing && part != ".." && part != ".") {
            const std::string upper = ToUpperAscii(Utf8FromPath(part));
            const std::string listed = at.empty() ? std::string(".") : Utf8FromPath(at);
            for (const std::string& name : NamesInFolder(listed).value_or(std::vector<std::string>{})) {
                if (ToUpperAscii(name) == upper) {
                    next = at / PathFromUtf8(name);
                    break;
                }
            }
        }
        at = next;
    }
    return at;
}

} // namespace

bool IsCueSheetPath(const std::string& path) {
    return path.size() >= 4 && ToUpperAscii(path.substr(path.size() - 4)) == ".CUE";
}

std::optional<std::string> DataFileOfCueSheet(const std::string& sheetPath, std::string& problem) {
    const auto size = FileSizeOf(sheetPath);
    const auto bytes = size && *size <= kMaxSheetBytes ? ReadWholeFile(sheetPath) : std::nullopt;
    if (!bytes) {
        problem = CanNotReadFile(sheetPath);
        return std::nullopt;
    }
    std::string text(bytes->begin(), bytes->end());
    // Editors that save UTF-8 often begin the file with a byte-order mark.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::istringstream lines(text);
    std::string line;
    std::optional<std::string> file; // the current FILE, until its first TRACK is seen
    std::optional<std::string> chosen;
    while (!chosen && std::getline(lines, line)) {
        line = Trim(line);
        const auto space = line.find_first_of(" \t");
        const std::string keyword = ToUpperAscii(line.substr(0, space));
        const std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space));
        if (keyword == "FILE") {
            file = FileNameOf(rest);
            // A name with a NUL byte names no file.
            if (file->find('\0') != std::string::npos) file.reset();
        } else if (keyword == "TRACK" && file) {
            std::istringstream words(rest);
            std::string number;
            std::string mode;
            words >> number >> mode;
            mode = ToUpperAscii(mode);
            if (mode == "MODE2/2352" || mode == "MODE1/2048") chosen = file;
            file.reset();
        }
    }
    if (!chosen || chosen->empty()) {
        problem = "no MODE2/2352 or MODE1/2048 data track in the cue sheet\n" + sheetPath;
        return std::nullopt;
    }
    std::string name = *chosen;
#ifndef _WIN32
    // Sheets written on Windows separate folders with backslashes.
    for (char& c : name)
        if (c == '\\') c = '/';
#endif
    const fs::path folder = PathFromUtf8(sheetPath).parent_path();
    fs::path data = folder / PathFromUtf8(name);
    if (KindOf(Utf8FromPath(data)) == NameKind::Missing) data = FindCaseBlind(folder, PathFromUtf8(name));
    if (KindOf(Utf8FromPath(data)) != NameKind::File) {
        problem = "the file that the cue sheet\n" + sheetPath + "\nnames does not exist:\n" +
                  Utf8FromPath(folder / PathFromUtf8(name));
        return std::nullopt;
    }
    return Utf8FromPath(data);
}

} // namespace qorlu

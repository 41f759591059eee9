#include "tools/IsoAuthoring.h"

#include "io/BinaryFile.h"
#include "tools/RawSectorWriter.h"

#include <cstdlib>
#include <filesystem>

namespace qorlu::tools {

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

bool AuthorIso(const std::string& folder, const std::string& isoPath, std::string& error) {
    const std::string args = " -quiet -V QORLU_SAMPLE -o " + Quote(isoPath) + " " + Quote(folder);
    for (const char* tool : {"genisoimage", "xorriso -as mkisofs"}) {
        const std::string command = std::string(tool) + args + " 2>/dev/null";
        if (std::system(command.c_str()) == 0 && std::filesystem::exists(isoPath)) return true;
    }
    error = "neither genisoimage nor xorriso could author " + isoPath + " (apt-get install genisoimage)";
    return false;
}

bool AuthorRawImage(const std::string& folder, const std::string& binPath, std::string& error) {
    const std::string iso = binPath + ".iso";
    if (!AuthorIso(folder, iso, error)) return false;
    const auto logical = ReadWholeFile(iso);
    std::error_code ec;
    std::filesystem::remove(iso, ec);
    if (!logical) {
        error = "cannot read " + iso;
        return false;
    }
    if (!WriteRawImage(binPath, *logical)) {
        error = "cannot write " + binPath;
        return false;
    }
    return true;
}

} // namespace qorlu::tools

// qorlu import IMAGE FILE... [--yes]: writes modified files back over the
// archive entries of the same file name, exactly as a drop on the unpacker
// window does: the lowest matching index wins, each match is asked about
// (answered y or n on stdin, or Yes for all with --yes), then imported.

#include "archive/ArchiveLoading.h"
#include "archive/ImportMatching.h"
#include "cli/Commands.h"
#include "cli/ConsoleSink.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace qorlu::cli {

int RunImport(const Args& args) {
    bool answerYes = false;
    std::vector<std::string> paths;
    for (const auto& a : args) {
        if (a == "--yes")
            answerYes = true;
        else
            paths.push_back(a);
    }
    if (paths.size() < 2) {
        std::fputs("usage: qorlu import IMAGE FILE... [--yes]\n", stderr);
        return 2;
    }
    ConsoleSink sink(answerYes);
    CAfsArchive archive(sink);
    if (!LocateAndLoadIndex(archive, paths[0], sink)) {
        if (!archive.LastLoadProblem().empty()) std::fprintf(stderr, "%s\n", archive.LastLoadProblem().c_str());
        return 1;
    }

    std::vector<std::pair<std::uint32_t, std::string>> matches;
    for (std::size_t k = 1; k < paths.size(); ++k) {
        const auto index = MatchEntry(archive.m_pNameRecords.get(), archive.m_nEntryCount, paths[k]);
        if (index)
            matches.emplace_back(*index, paths[k]);
        else
            std::fprintf(stderr, "no archive entry matches %s\n", paths[k].c_str());
    }
    bool allImported = true;
    for (const auto& [index, path] : matches) {
        const auto result = ConfirmAndImport(archive, sink, index, path);
        if (result && !*result) allImported = false;
    }
    return !matches.empty() && allImported ? 0 : 1;
}

} // namespace qorlu::cli

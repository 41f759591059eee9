// qorlu patch-make ORIGINAL MODIFIED PATCH [--description TEXT] [--undo] and
// qorlu patch-apply IMAGE PATCH [--undo]: PPF patches of whole images, made
// and applied as disc/PatchFiles.h describes.

#include "cli/Commands.h"
#include "cli/ConsoleSink.h"
#include "disc/PatchFiles.h"

#include <cstdio>
#include <string>
#include <vector>

namespace qorlu::cli {

int RunPatchMake(const Args& args) {
    PatchMakeOptions options;
    std::vector<std::string> paths;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (args[k] == "--undo") {
            options.undo = true;
        } else if (args[k] == "--description") {
            if (k + 1 == args.size()) {
                paths.clear();
                break;
            }
            options.description = args[++k];
        } else {
            paths.push_back(args[k]);
        }
    }
    if (paths.size() != 3) {
        std::fputs("usage: qorlu patch-make ORIGINAL MODIFIED PATCH [--description TEXT] [--undo]\n", stderr);
        return 2;
    }
    ConsoleSink sink;
    return MakePatchFile(paths[0], paths[1], paths[2], options, sink) ? 0 : 1;
}

int RunPatchApply(const Args& args) {
    bool undo = false;
    std::vector<std::string> paths;
    for (const auto& a : args) {
        if (a == "--undo")
            undo = true;
        else
            paths.push_back(a);
    }
    if (paths.size() != 2) {
        std::fputs("usage: qorlu patch-apply IMAGE PATCH [--undo]\n", stderr);
        return 2;
    }
    ConsoleSink sink;
    return ApplyPatchFile(paths[0], paths[1], undo, sink) ? 0 : 1;
}

} // namespace qorlu::cli

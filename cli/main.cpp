// qorlu: every operation of the three windows, from the command line.

#include "cli/Commands.h"
#include "shell/LastResort.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string_view>

namespace {

struct Command {
    std::string_view name;
    std::string_view usage;
    int (*run)(const qorlu::cli::Args&);
};

constexpr Command kCommands[] = {
    {"list", "list IMAGE                      show the layout and archive index of an image",
     qorlu::cli::RunList},
    {"extract", "extract IMAGE OUTDIR [--adx | --others]   extract archive entries",
     qorlu::cli::RunExtract},
    {"import", "import IMAGE FILE... [--yes]    write files back over matching entries",
     qorlu::cli::RunImport},
    {"verify", "verify IMAGE                    check the sector checksums; changes nothing",
     qorlu::cli::RunVerify},
    {"texture-export", "texture-export FILE             textures (or a .FLG sheet) to bitmaps",
     qorlu::cli::RunTextureExport},
    {"texture-import", "texture-import BMP              an exported bitmap back into its texture",
     qorlu::cli::RunTextureImport},
    {"block-export", "block-export FILE               zlib blocks to numbered files",
     qorlu::cli::RunBlockExport},
    {"block-import", "block-import FILE               a numbered file back into its container",
     qorlu::cli::RunBlockImport},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: qorlu <subcommand> ...\n\nsubcommands:\n");
    for (const auto& c : kCommands) std::fprintf(out, "  %.*s\n", int(c.usage.size()), c.usage.data());
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    for (const auto& c : kCommands) {
        if (c.name == name) return c.run(qorlu::cli::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "qorlu: unknown subcommand '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}

} // namespace

// Every operation refuses what it cannot hold in memory with a message of
// its own; an exception that gets past them all still ends in a message and
// status 1, never in an abort.
int main(int argc, char** argv) {
    try {
        int status = 1;
        const auto stopped = qorlu::RunGuarded([&] { status = Run(argc, argv); });
        if (!stopped) return status;
        std::fprintf(stderr, "%s\n", stopped->c_str());
    } catch (...) {
        std::fputs("not enough memory\nthe operation was stopped\n", stderr);
    }
    return 1;
}

// qorlu: every operation of the three windows, from the command line.
//
// Each subcommand is one row of kCommands: its name, its arguments, the
// options it accepts, what it does and what its exit statuses mean. The
// usage table, `qorlu SUBCOMMAND --help`, the refusal of unknown options and
// the man page (made from this help at build time) all come from that row.

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "io/NativePath.h"
#include "base/LastResort.h"
#include "base/Version.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Command {
    std::string_view name;
    std::string_view arguments;
    // One line for the usage table.
    std::string_view summary;
    // What the subcommand does, a paragraph.
    std::string_view description;
    // The options it accepts: "NAME\tmeaning" lines.
    std::string_view options;
    // Exit statuses: "STATUS\tmeaning" lines. Status 2, wrong arguments, is
    // common to all and added by the help.
    std::string_view exitStatuses;
    int (*run)(const qorlu::cli::Args&);
};

constexpr Command kCommands[] = {
    {"list", "IMAGE", "the archive index of a disc image",
     "Locates \"filedata.afs\" in the disc image IMAGE (a raw \".bin\" of 2352-byte sectors, a plain \".iso\" of "
     "2048-byte sectors, or a \".cue\" sheet naming either) and prints the layout found, its start sector, "
     "size, entry count and name directory offset, then one line per entry: index, offset, size, slot "
     "space and name. Entries that lie beyond the end of the image are warned about on stderr.",
     "", "0\tthe index was printed\n1\tthe image cannot be read, or holds no usable archive", qorlu::cli::RunList},
    {"extract", "IMAGE OUTDIR [--adx | --others]", "extract all entries, or only \".ADX\" ones, or the others",
     "Extracts the entries of the archive in IMAGE into the folder OUTDIR (created when missing), rebuilding "
     "their folders. Progress is shown on stderr when it is a terminal; Ctrl-C stops between entries. After "
     "the end message a line tells how many entries were written, and into which folder.",
     "--adx\tonly the entries whose names end in \".ADX\"\n--others\tonly the entries whose names do not",
     "0\tevery selected entry was written\n1\tthe image has no usable archive, the folder cannot be made or "
     "lacks space, an entry could not be written, or the job was stopped",
     qorlu::cli::RunExtract},
    {"import", "IMAGE FILE... [--yes]", "write edited files back over the entries of the same name",
     "Writes each FILE into IMAGE, in place, over the archive entry of the same file name (the lowest index "
     "when several match), after asking: answer y or n, a line each, on stdin. IMAGE is changed.",
     "--yes\tanswer Yes to every question",
     "0\tevery file matched an entry and every confirmed file was written\n1\tthe image has no usable "
     "archive, a file matches no entry, or a write failed",
     qorlu::cli::RunImport},
    {"verify", "IMAGE", "check the sector checksums; changes nothing",
     "Reads every sector of the raw image IMAGE (or the image a \".cue\" sheet names) and checks the "
     "error-detection and error-correction bytes of its Mode 2 Form 1 sectors. Prints how many are valid, "
     "how many are wrong (the first ones by sector number and, inside the archive, the entry they belong to) "
     "and how many are of other kinds, and reports a partial last sector and the journal of an interrupted "
     "import, with what the next open of the image will do with it (put the old sectors back, or refuse and "
     "keep both). Opens the image read-only. A plain \".iso\" image carries no sector checksums.",
     "",
     "0\tno checked sector is wrong\n1\ta sector is wrong, the image cannot be read, or an interrupted "
     "import's journal lies beside it",
     qorlu::cli::RunVerify},
    {"texture-export", "FILE", "textures (or a \".FLG\" sheet) to numbered bitmaps",
     "Writes every texture of the container FILE as FILE_000.bmp, FILE_001.bmp and so on, next to it; a "
     "\".FLG\" flag sheet is written as padded bitmaps.",
     "", "0\tthe bitmaps were written\n1\tFILE cannot be read, holds no texture, or a bitmap cannot be written",
     qorlu::cli::RunTextureExport},
    {"texture-import", "BMP", "an exported bitmap back into its texture",
     "Writes the pixels of the edited bitmap BMP (named FILE_NNN.bmp by texture-export) back into texture "
     "NNN of FILE; the container is rewritten whole through a temporary file beside it.",
     "",
     "0\tthe texture was rewritten\n1\tthe bitmap or its container cannot be read, does not fit, or "
     "cannot be written",
     qorlu::cli::RunTextureImport},
    {"block-export", "FILE", "zlib blocks to numbered files",
     "Writes every zlib block of the container FILE, decompressed, as FILE_000, FILE_001 and so on, next to it.", "",
     "0\tthe blocks were written\n1\tFILE cannot be read, holds no block, or a block cannot be written",
     qorlu::cli::RunBlockExport},
    {"block-import", "FILE", "a numbered file back into its container",
     "Compresses the edited file FILE (named CONTAINER_NNN by block-export) and writes it as block NNN of "
     "CONTAINER, rewriting the container and its index.",
     "",
     "0\tthe container was rewritten\n1\tFILE or its container cannot be read, or the container cannot "
     "be written",
     qorlu::cli::RunBlockImport},
    {"patch-make", "ORIGINAL MODIFIED PATCH [--description TEXT] [--undo]",
     "a PPF patch that turns one image into another",
     "Compares the disc image ORIGINAL with MODIFIED, a changed copy of the same length, and writes every "
     "run of changed bytes as a PPF 3.0 patch file PATCH, to be given out instead of the image. Positions are "
     "those of the image files (raw sectors whole); the patch holds the 1024 bytes of ORIGINAL at byte 37664 "
     "(0x9320) to recognise it by, zero where ORIGINAL is shorter. PATCH is written through a temporary file "
     "beside it and renamed over it; neither image is changed.",
     "--description TEXT\tthe patch's description, at most 50 bytes\n--undo\tthe records also carry the bytes "
     "they replace, so that patch-apply --undo can take the patch back",
     "0\tthe patch was written\n1\tan image cannot be read, the two differ in length, the description is "
     "too long, or PATCH cannot be written",
     qorlu::cli::RunPatchMake},
    {"patch-apply", "IMAGE PATCH [--undo]", "apply a PPF patch to an image, or take it back",
     "Applies the PPF 1.0, 2.0 or 3.0 patch PATCH to the disc image IMAGE, in place. Before anything is "
     "written, the patch's validation bytes (and for PPF 2.0 the image's length) must match IMAGE, every "
     "record must be whole and lie inside the image, and when the patch carries undo data every record must "
     "find in IMAGE either the bytes it replaces or the ones it writes (taken back: the other way round), "
     "checked in order as the records before it leave the image; otherwise IMAGE is left as it is and the "
     "position of the first record that finds other bytes is named. Records that find their bytes in place "
     "already are not written; when all of them do, the patch is said to be applied (or taken back) already "
     "and nothing is written. The change goes through the journal of an import, so that an apply cut off is "
     "undone by the next open. The checksums of each valid Mode 2 Form 1 sector written are renewed, unless "
     "the patch sets them itself.",
     "--undo\tput back the bytes the patch replaced (from its undo data), from the last record to the first",
     "0\tthe patch was applied, or taken back, or was so already\n1\tthe patch cannot be read, is damaged, "
     "was made for another image, has no undo data for --undo, reaches past the image's end, finds other "
     "bytes than it replaces or writes, or the image cannot be written",
     qorlu::cli::RunPatchApply},
};

constexpr std::string_view kWrongArguments = "2\twrong arguments: the usage is printed on stderr";

std::string Synopsis(const Command& c) {
    std::string s(c.name);
    if (!c.arguments.empty()) s.append(" ").append(c.arguments);
    return s;
}

// A synopsis too wide for the usage table's first column shows only its
// arguments there; the subcommand's own help has the options too.
constexpr std::size_t kTableSynopsisWidth = 40;

std::string TableSynopsis(const Command& c) {
    std::string s = Synopsis(c);
    const auto options = s.find(" [--");
    if (s.size() > kTableSynopsisWidth && options != std::string::npos) s.erase(options);
    return s;
}

// The "NAME\ttext" lines of a table field.
std::vector<std::pair<std::string_view, std::string_view>> Rows(std::string_view field) {
    std::vector<std::pair<std::string_view, std::string_view>> rows;
    while (!field.empty()) {
        const auto end = std::min(field.find('\n'), field.size());
        const std::string_view line = field.substr(0, end);
        const auto tab = line.find('\t');
        rows.emplace_back(line.substr(0, tab), tab == std::string_view::npos ? "" : line.substr(tab + 1));
        field.remove_prefix(std::min(end + 1, field.size()));
    }
    return rows;
}

constexpr std::size_t kLineWidth = 79;

// `text` broken at spaces into lines of at most kLineWidth characters; the
// first line starts after `used` characters already printed, the others are
// indented by `indent`.
std::string Wrap(std::string_view text, std::size_t used, std::size_t indent) {
    std::string out;
    std::size_t column = used;
    while (!text.empty()) {
        const auto space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text.remove_prefix(std::min(word.size() + 1, text.size()));
        const bool lineStart = column == used && out.empty();
        if (!lineStart && column + 1 + word.size() > kLineWidth) {
            out.append("\n").append(indent, ' ');
            column = indent;
        } else if (!lineStart) {
            out.push_back(' ');
            ++column;
        }
        out.append(word);
        column += word.size();
    }
    return out;
}

void PrintRows(std::FILE* out, const std::vector<std::pair<std::string_view, std::string_view>>& rows) {
    std::size_t width = 0;
    for (const auto& r : rows) width = std::max(width, r.first.size());
    for (const auto& r : rows)
        std::fprintf(out, "  %-*.*s  %s\n", int(width), int(r.first.size()), r.first.data(),
                     Wrap(r.second, width + 4, width + 4).c_str());
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "Usage: qorlu SUBCOMMAND [ARGUMENTS]\n"
                      "  or:  qorlu SUBCOMMAND --help\n"
                      "  or:  qorlu --version\n\n"
                      "Every operation of the three windows of the qorlu modding kit, from the command line.\n"
                      "Messages are printed with the windows' texts: successes on stdout, failures and\n"
                      "warnings on stderr.\n\nSubcommands:\n");
    std::size_t width = 0;
    for (const auto& c : kCommands) width = std::max(width, TableSynopsis(c).size());
    for (const auto& c : kCommands)
        std::fprintf(out, "  %-*s  %s\n", int(width), TableSynopsis(c).c_str(),
                     Wrap(c.summary, width + 4, width + 4).c_str());
    std::fprintf(out, "\nOptions:\n");
    PrintRows(out, Rows("-h, --help\tthis help; after a subcommand, that subcommand's help\n"
                        "--version\tthe version of the programs"));
    std::fprintf(out, "\nExit status:\n");
    PrintRows(out, Rows("0\tthe operation succeeded\n1\tit failed (see each subcommand's help)\n"
                        "2\twrong arguments or an unknown subcommand or option"));
}

void PrintCommandUsage(std::FILE* out, const Command& c) {
    std::fprintf(out, "Usage: qorlu %s\n", Synopsis(c).c_str());
}

void PrintCommandHelp(const Command& c) {
    PrintCommandUsage(stdout, c);
    std::printf("\n%s\n", Wrap(c.description, 0, 0).c_str());
    std::printf("\nOptions:\n");
    auto options = Rows(c.options);
    options.emplace_back("-h, --help", "this help");
    PrintRows(stdout, options);
    std::printf("\nExit status:\n");
    auto statuses = Rows(c.exitStatuses);
    const auto common = Rows(kWrongArguments);
    statuses.insert(statuses.end(), common.begin(), common.end());
    PrintRows(stdout, statuses);
}

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

bool IsOption(std::string_view arg) { return arg.size() > 1 && arg[0] == '-'; }

// An option row's name is the option, then the name of its value when it
// takes one ("--description TEXT").
std::string_view OptionOf(std::string_view name) { return name.substr(0, name.find(' ')); }

bool Accepts(const Command& c, std::string_view option) {
    for (const auto& [name, meaning] : Rows(c.options)) {
        if (OptionOf(name) == option) return true;
    }
    return false;
}

bool TakesValue(const Command& c, std::string_view option) {
    for (const auto& [name, meaning] : Rows(c.options)) {
        if (OptionOf(name) == option) return name.size() > option.size();
    }
    return false;
}

const Command* FindCommand(std::string_view name) {
    for (const auto& c : kCommands) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

int RunCommand(const Command& c, const qorlu::cli::Args& args) {
    // Help wins wherever it stands, so "--help" is never taken for a file.
    for (const auto& a : args) {
        if (IsHelp(a)) {
            PrintCommandHelp(c);
            return 0;
        }
    }
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        // An option's value is never taken for an option, whatever it begins with.
        if (IsOption(a) && TakesValue(c, a)) {
            ++k;
            continue;
        }
        if (IsOption(a) && !Accepts(c, a)) {
            std::fprintf(stderr, "qorlu %.*s: unknown option '%s'\n", int(c.name.size()), c.name.data(), a.c_str());
            PrintCommandUsage(stderr, c);
            std::fprintf(stderr, "Try 'qorlu %.*s --help'.\n", int(c.name.size()), c.name.data());
            return 2;
        }
    }
    return c.run(args);
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string_view first = argv[1];
    if (IsHelp(first) || first == "help") {
        if (argc > 2) {
            if (const Command* c = FindCommand(argv[2])) return RunCommand(*c, {"--help"});
            std::fprintf(stderr, "qorlu: unknown subcommand '%s'\n\n", argv[2]);
            PrintUsage(stderr);
            return 2;
        }
        PrintUsage(stdout);
        return 0;
    }
    if (first == "--version") {
        std::printf("qorlu %s\n", qorlu::kVersion);
        return 0;
    }
    if (const Command* c = FindCommand(first)) return RunCommand(*c, qorlu::cli::Args(argv + 2, argv + argc));
    if (IsOption(first))
        std::fprintf(stderr, "qorlu: unknown option '%s'\n\n", argv[1]);
    else
        std::fprintf(stderr, "qorlu: unknown subcommand '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}

// Every operation refuses what it cannot hold in memory with a message of
// its own; an exception that gets past them all still ends in a message and
// status 1, never in an abort.
int RunMain(int argc, char** argv) {
    qorlu::cli::PrepareConsole();
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

} // namespace

#ifdef _WIN32
// The arguments as the system holds them, UTF-16, turned into the UTF-8
// that every name is inside the program.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> utf8;
    std::vector<char*> pointers;
    for (int i = 0; i < argc; ++i) utf8.push_back(qorlu::Utf8FromWide(argv[i]));
    for (auto& a : utf8) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return RunMain(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return RunMain(argc, argv); }
#endif

// make_sample OUT.bin: a small raw CD image of made-up data, laid out like
// the game's disc: FILEDATA.AFS with sound, data and texture entries in
// folders, beside a few other files and a folder. No game data is used.
//
// make_sample OUT.bin --many N: the same with N more entries of 64 KiB
// ("MANY/FILE0000.BIN" on), for tests that need a job that runs a while.

#include "io/BinaryFile.h"
#include "tools/AfsBuilder.h"
#include "tools/IsoAuthoring.h"
#include "tools/SampleContainers.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace qorlu::tools;

int main(int argc, char** argv) {
    int many = 0;
    if (argc == 4 && std::string(argv[2]) == "--many") many = std::atoi(argv[3]);
    if ((argc != 2 && argc != 4) || many < 0 || many > 5000) {
        std::fprintf(stderr, "usage: make_sample OUT.bin [--many N (at most 5000)]\n");
        return 2;
    }
    const std::string out = argv[1];
    const fs::path stage = fs::path(out).string() + ".stage";
    std::error_code ec;
    fs::remove_all(stage, ec);
    fs::create_directories(stage / "MOVIE", ec);
    fs::create_directories(stage / "SYSTEM", ec);

    std::vector<AfsBuildEntry> entries = {
        {"BGM/TITLE.ADX", PatternBytes(30000, 1), 0},     {"BGM/STAGE01.ADX", PatternBytes(70001, 2), 4096},
        {"SE/click.adx", PatternBytes(3000, 3), 0},       {"VOICE/JP/HELLO.ADX", PatternBytes(12000, 4), 0},
        {"DATA/STAGE01.BIN", MakeBlockContainer(), 2048}, {"TEXTURE/FONT.TEX", MakeTextureContainer(), 0},
        {"README.TXT", PatternBytes(500, 7), 0},          {"DATA/EMPTY.DAT", {}, 0},
    };
    for (int i = 0; i < many; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "MANY/FILE%04d.BIN", i);
        entries.push_back({name, PatternBytes(65536, 10 + i), 0});
    }
    AfsBuildOptions options;
    options.gapBeforeNames = 2048;
    const AfsLayout afs = BuildAfs(entries, options);

    const std::string note = "Made-up sample disc for the qorlu tools.\n";
    bool ok = qorlu::WriteWholeFile((stage / "FILEDATA.AFS").string(), afs.bytes) &&
              qorlu::WriteWholeFile((stage / "README.TXT").string(),
                                    {reinterpret_cast<const std::uint8_t*>(note.data()), note.size()}) &&
              qorlu::WriteWholeFile((stage / "MOVIE" / "OPENING.SFD").string(), PatternBytes(6000, 8)) &&
              qorlu::WriteWholeFile((stage / "SYSTEM" / "BOOT.BIN").string(), PatternBytes(2500, 9));
    std::string error;
    ok = ok && AuthorRawImage(stage.string(), out, error);
    fs::remove_all(stage, ec);
    if (!ok) {
        std::fprintf(stderr, "make_sample: %s\n", error.empty() ? "cannot write the staging files" : error.c_str());
        return 1;
    }
    std::printf("make_sample: wrote %s\n", out.c_str());
    return 0;
}

// make_icon PROGRAM OUT.ico: writes a program's window icon (icon 128) as a
// Windows icon file, for the Windows programs' resources.

#include "tools/IconFile.h"
#include "tools/ProgramIcons.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icon PROGRAM OUT.ico\n");
        return 2;
    }
    const auto pixels = qorlu::tools::ReadXpm(qorlu::tools::ProgramIconXpm(argv[1]));
    const auto ico = pixels ? qorlu::tools::IcoFromPixels(*pixels) : std::vector<std::uint8_t>();
    if (ico.empty()) {
        std::fprintf(stderr, "make_icon: no 32 x 32 icon of 16 colours for %s\n", argv[1]);
        return 2;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    const bool written = out && std::fwrite(ico.data(), 1, ico.size(), out) == ico.size();
    const bool closed = out && std::fclose(out) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "make_icon: can not write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

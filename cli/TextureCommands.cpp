#include "cli/Commands.h"

#include <cstdio>

namespace qorlu::cli {

int RunTextureExport(const Args&) {
    std::fputs("qorlu: this subcommand is not built yet\n", stderr);
    return 2;
}

int RunTextureImport(const Args&) {
    std::fputs("qorlu: this subcommand is not built yet\n", stderr);
    return 2;
}

} // namespace qorlu::cli

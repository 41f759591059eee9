// render_icon PROGRAM SIZE OUT.png: writes a program's window icon (icon 128,
// 32 x 32) as a SIZE x SIZE PNG for the desktop's icon theme. Sizes that are
// multiples of 32 repeat each pixel, so the larger icons keep the design's
// hard edges.

#include "tools/ProgramIcons.h"

#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: render_icon PROGRAM SIZE OUT.png\n");
        return 2;
    }
    const char* const* xpm = qorlu::tools::ProgramIconXpm(argv[1]);
    const int size = std::atoi(argv[2]);
    if (xpm == nullptr || size < 16 || size > 1024) {
        std::fprintf(stderr, "render_icon: unknown program %s or size %s\n", argv[1], argv[2]);
        return 2;
    }
    const QImage icon(xpm);
    if (icon.isNull()) {
        std::fprintf(stderr, "render_icon: the icon of %s cannot be read\n", argv[1]);
        return 1;
    }
    const QImage scaled = icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!scaled.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "render_icon: %s cannot be written\n", argv[3]);
        return 1;
    }
    return 0;
}

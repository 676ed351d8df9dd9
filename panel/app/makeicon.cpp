// Writes the program's icon as a PNG of the given size (used by the build).
#include "AppIcon.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SIZE FILE.png\n", argv[0]);
        return 2;
    }
    return PaintAppIcon(std::atoi(argv[1])).save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}

// Writes the program's icon as a PNG file of the given side in pixels, for
// the desktop's application menus. Usage: ressona-icon FILE SIDE

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/qt/qt_skin.h"

int main(int argc, char** argv) {
    using namespace ressona;
    if (argc != 3) {
        std::fprintf(stderr, "usage: ressona-icon FILE SIDE\n");
        return 2;
    }
    const int side = std::atoi(argv[2]);
    int qtArgc = 1;
    const std::unique_ptr<GuiSession> session = createQtSession(qtArgc, argv);
    if (!saveQtIcon(argv[1], side)) {
        std::fprintf(stderr, "ressona-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

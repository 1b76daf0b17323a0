// Writes a drawing for the shell tests: write_drawing picture|none OUTPUT.
// "picture" stores a 64 x 32 picture, left half red and right half blue; "none" stores none.

#include <cstdio>
#include <cstring>

#include "support/dwg_builder.h"

int main(int argc, char** argv) {
    using namespace kvxtest;
    if (argc != 3 || (std::strcmp(argv[1], "picture") != 0 && std::strcmp(argv[1], "none") != 0)) {
        std::fprintf(stderr, "usage: write_drawing picture|none OUTPUT\n");
        return 64;
    }
    DwgBuilder drawing("AC1032");
    drawing.headerData();
    if (std::strcmp(argv[1], "picture") == 0) {
        Image image(64, 32, 255, 0, 0);
        image.fillRect(32, 0, 32, 32, 0x0000FF);
        drawing.png(makePng(image));
    }
    writeFile(argv[2], drawing.build());
    return 0;
}

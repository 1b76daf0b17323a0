// Writes a drawing for the shell tests: write_drawing picture|bmp|none OUTPUT.
// "picture" stores a 64 x 32 PNG picture, left half red and right half blue; "bmp" a 300 x 200
// 8-bit BMP picture of many colours, larger than a thumbnail; "none" stores none.

#include <cstdio>
#include <cstring>

#include "support/dwg_builder.h"

int main(int argc, char** argv) {
    using namespace kvxtest;
    const bool png = argc == 3 && std::strcmp(argv[1], "picture") == 0;
    const bool bmp = argc == 3 && std::strcmp(argv[1], "bmp") == 0;
    if (argc != 3 || (!png && !bmp && std::strcmp(argv[1], "none") != 0)) {
        std::fprintf(stderr, "usage: write_drawing picture|bmp|none OUTPUT\n");
        return 64;
    }
    DwgBuilder drawing("AC1032");
    drawing.headerData();
    if (png) {
        Image image(64, 32, 255, 0, 0);
        image.fillRect(32, 0, 32, 32, 0x0000FF);
        drawing.png(makePng(image));
    }
    if (bmp) {
        BmpOptions options;
        options.bits = 8;
        drawing.bmp(makeBmp(Image::pattern(300, 200, 200), options));
    }
    writeFile(argv[2], drawing.build());
    return 0;
}

// Writes the fuzzer's starting inputs into a folder: small drawings of every kind the reader
// knows, and bare bitmap and PNG entries. With a second folder, also writes the hostile
// drawings kept in crashers/, each of which the reader must refuse.
//   fuzz_seedgen SEEDS [CRASHERS]

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/dwg_builder.h"

using namespace kvxtest;

namespace {

void writeHostile(const std::string& folder) {
    std::filesystem::create_directories(folder);
    auto save = [&](const std::string& name, const Bytes& bytes) {
        writeFile(folder + "/" + name, bytes);
    };
    const Image image = Image::pattern(16, 9, 3);
    Layout l;

    // Altered bytes inside the compressed rows that still inflate: once decoded silently.
    Bytes png = makePng(image);
    for (std::size_t back = 22; back < 40; back += 3)
        png[png.size() - back] ^= 0x55;
    save("png-altered-rows.dwg", DwgBuilder("AC1032").bodyBefore(4).bodyAfter(4).png(png).build());

    // A picture of some 2000 x 2000 pixels promised by a hundred bytes.
    png = makePng(image);
    png[18] = png[22] = 0x08;
    save("png-size-bomb.dwg", DwgBuilder("AC1027").bodyBefore(4).bodyAfter(4).png(png).build());

    // Start and size that wrap around in 32 bits.
    Bytes b = DwgBuilder("AC1018").bodyBefore(4).bodyAfter(4).bmp(makeBmp(image)).build(&l);
    put32(b, l.tableAt + 1, 0xFFFFFF00u);
    put32(b, l.tableAt + 5, 0x200u);
    save("entry-wraps.dwg", b);

    // A height of -2^31, whose magnitude does not fit the field.
    b = DwgBuilder("AC1015").bodyBefore(4).bodyAfter(4).bmp(makeBmp(image)).build(&l);
    put32(b, l.starts[0] + 8, 0x80000000u);
    save("bmp-height-min.dwg", b);

    // An overall size that runs 4 GiB past the section.
    b = DwgBuilder("AC1014").bodyBefore(4).bodyAfter(4).bmp(makeBmp(image)).build(&l);
    put32(b, l.overallSizeAt, 0xFFFFFFFFu);
    save("overall-size-max.dwg", b);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seedgen SEEDS [CRASHERS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::filesystem::create_directories(folder);
    int written = 0;
    auto save = [&](const std::string& name, const Bytes& bytes) {
        writeFile(folder + "/" + name, bytes);
        ++written;
    };

    const Image small = Image::pattern(9, 5, 2);
    const Image mid = Image::pattern(13, 7, 16);
    const Image wide = Image::pattern(17, 6, 200);
    for (unsigned bits : {1u, 4u, 8u, 24u, 32u}) {
        const Image& image = bits == 1 ? small : bits == 4 ? mid : wide;
        for (bool topDown : {false, true}) {
            BmpOptions o;
            o.bits = bits;
            o.topDown = topDown;
            const Bytes bmp = makeBmp(image, o);
            const std::string tag = std::to_string(bits) + (topDown ? "-topdown" : "");
            save("bmp-" + tag, bmp);
            save("dwg-bmp-" + tag,
                 DwgBuilder("AC1015").bodyBefore(8).bodyAfter(8).headerData(16).bmp(bmp).build());
        }
    }
    BmpOptions core;
    core.bits = 8;
    core.coreHeader = true;
    save("bmp-core", makeBmp(wide, core));

    for (unsigned type : {0u, 2u, 6u}) {
        for (unsigned depth : {8u, 16u}) {
            PngOptions o;
            o.colourType = type;
            o.bitDepth = depth;
            o.interlaced = type == 6 && depth == 8;
            const std::string tag = std::to_string(type) + "-" + std::to_string(depth);
            const Bytes png = makePng(mid, o);
            save("png-" + tag, png);
            save("dwg-png-" + tag,
                 DwgBuilder("AC1032").bodyBefore(4).bodyAfter(4).headerData(16).png(png).build());
        }
    }
    // Every other colour type and depth, each row with another filter, the data in pieces.
    const unsigned typesAndDepths[][2] = {{0, 1}, {0, 2}, {0, 4}, {3, 1}, {3, 2},
                                          {3, 4}, {3, 8}, {4, 8}, {4, 16}};
    for (const auto& td : typesAndDepths) {
        PngOptions o;
        o.colourType = td[0];
        o.bitDepth = td[1];
        o.filter = -1;
        o.dataChunks = td[1] == 8 ? 3 : 1;
        const Image image = Image::pattern(11, 7, td[0] == 3 ? std::min(1u << td[1], 16u) : 40);
        const std::string tag = std::to_string(td[0]) + "-" + std::to_string(td[1]);
        save("png-filtered-" + tag, makePng(image, o));
    }
    PngOptions paeth;
    paeth.filter = 4;
    save("dwg-png-paeth",
         DwgBuilder("AC1032").bodyBefore(4).bodyAfter(4).png(makePng(mid, paeth)).build());
    save("dwg-both", DwgBuilder("AC1027")
                         .bodyBefore(4)
                         .bodyAfter(4)
                         .headerData(8)
                         .bmp(makeBmp(small, {}))
                         .png(makePng(small))
                         .build());
    save("dwg-two-bmps", DwgBuilder("AC1018")
                             .bodyBefore(4)
                             .bodyAfter(4)
                             .bmp(makeBmp(small, {}))
                             .bmp(makeBmp(mid, {}))
                             .build());
    save("dwg-wmf", DwgBuilder("AC1012").bodyBefore(4).bodyAfter(4).wmf(makeWmf()).build());
    save("dwg-header-only", DwgBuilder("AC1032").bodyBefore(4).bodyAfter(4).headerData(16).build());
    save("dwg-empty-section", DwgBuilder("AC1014").bodyBefore(4).bodyAfter(4).build());
    save("dwg-no-section",
         DwgBuilder("AC1021").withoutImageSection().bodyBefore(4).bodyAfter(4).build());
    save("dwg-r11", DwgBuilder("AC1009").withoutImageSection().bodyBefore(4).bodyAfter(4).build());
    std::printf("%d seeds written to %s\n", written, folder.c_str());
    if (argc == 3)
        writeHostile(argv[2]);
    return 0;
}

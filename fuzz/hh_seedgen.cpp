// Writes the viewer fuzzer's starting inputs into a folder: small compiled-help files, with
// and without compressed pages, an index chunk and awkward names.
//   fuzz_hh_seedgen SEEDS

#include "support/chm_sample.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_hh_seedgen SEEDS\n");
        return 2;
    }
    using kvxtest::ChmSampleEntry;
    const std::vector<ChmSampleEntry> plain = {
        {"/#SYSTEM", kvxtest::chmSystemFile("index.htm"), false},
        {"/index.htm", "<html><frameset></frameset></html>", false},
        {"/#12 plan.dwg.htm", "<html>12</html>", false},
        {"/sub/a b.jpg", std::string(300, '\xff'), false}};
    std::vector<ChmSampleEntry> packed = plain;
    for (ChmSampleEntry& e : packed)
        e.compressed = e.name != "/#SYSTEM";
    packed.push_back({"/Case.htm", "C"});
    packed.push_back({"/case.htm", "c"});
    packed.push_back({"/plan\xe9.dwg.htm", ""});
    const std::string seeds[] = {
        kvxtest::makeChm(plain).bytes,
        kvxtest::makeChm(plain, true).bytes,
        kvxtest::makeChm(packed).bytes,
    };
    std::filesystem::create_directories(argv[1]);
    int n = 0;
    for (const std::string& seed : seeds)
        std::ofstream(std::string(argv[1]) + "/chm-" + std::to_string(n++) + ".chm",
                      std::ios::binary)
            << seed;
    return 0;
}

// Runs a fuzz target over files and folders, for builds without libFuzzer.
//   fuzz_preview_replay [--expect-refused] PATH...
//   fuzz_hive_replay PATH...
// With --expect-refused every input must also be reported as damaged by the preview reader.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "preview/dwg_preview.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    bool expectRefused = false;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--expect-refused") == 0) {
            expectRefused = true;
        } else if (fs::is_directory(argv[i])) {
            for (const auto& entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                    inputs.push_back(entry.path());
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs\n");
        return 2;
    }
    int failures = 0;
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "%s: cannot read\n", path.c_str());
            ++failures;
            continue;
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        if (expectRefused) {
            kvx::MemorySource source(bytes.data(), bytes.size());
            const kvx::PreviewResult r = kvx::readPreview(source, true);
            if (r.status != kvx::PreviewStatus::Damaged) {
                std::fprintf(stderr, "%s: not refused\n", path.c_str());
                ++failures;
            } else {
                std::printf("%s: refused: %s\n", path.c_str(), r.message.c_str());
            }
        }
    }
    std::printf("%zu inputs, %d failures\n", inputs.size(), failures);
    return failures == 0 ? 0 : 1;
}

// hh.exe's unpacking on arbitrary bytes as a .chm, in process, into a private cache: it must
// end without a crash or a hang, write nothing beside the cache, leave no work folder and no
// link behind, and a file it accepts must come out with its start page in place.

#include "chm_extract.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_hh_extract: %s\n", what);
        std::abort();
    }
}

// A folder of this process's own: the input file and the cache, nothing else.
const fs::path& scratch() {
    // Never destroyed, so that the clean-up at exit can still name it.
    static const fs::path* dir = [] {
        std::string pattern = (fs::temp_directory_path() / "kvx-fuzz-hh-XXXXXX").string();
        require(::mkdtemp(pattern.data()) != nullptr, "no scratch folder");
        return new fs::path(pattern);
    }();
    static const bool cleaned = std::atexit([] { fs::remove_all(*dir); }) == 0;
    (void)cleaned;
    return *dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path input = scratch() / "in.chm";
    const fs::path cache = scratch() / "cache";
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // Far below the real limits, so that no input fills the disk.
    kvx::hh::Limits limits;
    limits.entries = 20000;
    limits.totalBytes = 16u << 20;
    limits.decodedFloor = 16u << 20;
    limits.writtenFloor = 4u << 20;
    limits.keptIndexes = 2;
    const kvx::hh::Extraction e = kvx::hh::extractToCache(input.string(), cache.string(), limits);

    for (const auto& entry : fs::directory_iterator(scratch())) {
        const std::string name = entry.path().filename().string();
        require(name == "in.chm" || name == "cache", "a file written beside the cache");
    }
    if (fs::exists(cache)) {
        int folders = 0;
        for (const auto& entry : fs::directory_iterator(cache)) {
            require(entry.path().filename().string().rfind(".unpack-", 0) != 0,
                    "a work folder left behind");
            ++folders;
        }
        require(folders <= (e.error == kvx::hh::ViewError::None ? 1 : 0),
                "a folder kept for a refused file");
        for (const auto& entry : fs::recursive_directory_iterator(cache))
            require(!entry.is_symlink(), "a link in the cache");
    }
    for (const std::string& warning : e.warnings)
        for (char c : warning)
            require(static_cast<unsigned char>(c) >= 0x20, "a control byte in a warning");
    if (e.error == kvx::hh::ViewError::None) {
        require(!e.topic.empty(), "accepted without a start page");
        require(fs::is_regular_file(fs::symlink_status(e.folder + "/" + e.topic)),
                "start page missing");
    } else {
        require(!e.message.empty(), "refused without a message");
        for (char c : e.message)
            require(static_cast<unsigned char>(c) >= 0x20, "a control byte in the message");
    }
    fs::remove_all(cache);
    return 0;
}

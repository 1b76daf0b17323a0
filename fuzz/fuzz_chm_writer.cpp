// The compiled-help writer: any set of files (names as arbitrary bytes, contents, the
// compressible flag) decoded from the input is written and read back through libmspack,
// which must list every file once and give back its bytes unchanged.

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "chm/chm_writer.h"
#include "support/chm_readers.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// Reads the input front to back; past its end, zeros.
struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    std::uint8_t byte() { return pos < size ? data[pos++] : 0; }
    bool empty() const { return pos >= size; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    std::vector<kvx::chm::ChmFile> files;
    std::map<std::string, std::string> expected;
    std::size_t total = 0;
    const int count = in.byte() % 48;
    for (int i = 0; i < count && !in.empty(); ++i) {
        // A name of 1..64 bytes after the leading "/": no NUL, no "/" at its end.
        std::string name = "/";
        const int length = 1 + in.byte() % 64;
        for (int k = 0; k < length; ++k) {
            const char c = static_cast<char>(in.byte());
            name += c == '\0' ? 'x' : c;
        }
        if (name.back() == '/')
            name += 'x';
        const std::uint8_t flags = in.byte();
        // Sizes up to 64 KiB, or up to 512 KiB in 8-byte steps, so that files cross frames
        // and reset intervals; bytes beyond the input come from a small generator.
        std::size_t bytes = in.byte() | static_cast<std::size_t>(in.byte()) << 8;
        if (flags & 2)
            bytes *= 8;
        if (total + bytes > (4u << 20))
            bytes = 0;
        total += bytes;
        std::string content;
        content.reserve(bytes);
        std::uint32_t state = flags * 2654435761u + static_cast<std::uint32_t>(i);
        for (std::size_t k = 0; k < bytes; ++k) {
            if (!in.empty() && k < 256) {
                content += static_cast<char>(in.byte());
            } else {
                state = state * 1103515245u + 12345u;
                // Text-like runs when bit 2 is set, noise otherwise.
                content += static_cast<char>((flags & 4) ? "<a href=x.htm>plan</a>\r\n"[k % 24]
                                                         : static_cast<char>(state >> 24));
            }
        }
        if (expected.count(name))
            continue;
        expected[name] = content;
        kvx::chm::ChmFile f;
        f.name = name;
        f.compressible = (flags & 1) != 0;
        f.content = std::move(content);
        files.push_back(std::move(f));
    }

    std::string chm;
    const kvx::chm::ChmResult written = kvx::chm::buildChm(std::move(files), {}, chm);
    require(static_cast<bool>(written));
    const kvxtest::ChmReadResult read = kvxtest::readWithMspack(chm);
    require(read.ok);
    require(read.files == expected);
    return 0;
}

// korvenix31-thumbnailer: the stored preview of a drawing as a PNG for file managers, and a
// one-line summary per drawing with --info.
//
//   korvenix31-thumbnailer -s SIZE INPUT OUTPUT
//   korvenix31-thumbnailer --info FILE...

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "drawing/drawing_version.h"
#include "files/whole_file.h"
#include "preview/dwg_preview.h"
#include "preview/png_writer.h"
#include "preview/rgb_picture.h"

namespace {

const char* const kProgram = "korvenix31-thumbnailer";
constexpr unsigned long kMaxSize = 4096;

enum Exit { Ok = 0, NoPicture = 1, Damaged = 2, CannotWrite = 3, Usage = 64 };

int usage() {
    std::fprintf(stderr, "usage: %s -s SIZE INPUT OUTPUT\n       %s --info FILE...\n", kProgram,
                 kProgram);
    return Usage;
}

// The reader's messages already show header bytes escaped and hold no tabs or line breaks.
std::string pictureColumn(const kvx::PreviewResult& r) {
    if (r.status == kvx::PreviewStatus::Damaged)
        return "damaged: " + r.message;
    switch (r.info.format) {
    case kvx::PictureFormat::Png:
        return "png " + std::to_string(r.info.width) + "x" + std::to_string(r.info.height);
    case kvx::PictureFormat::Bmp:
        return "bmp " + std::to_string(r.info.width) + "x" + std::to_string(r.info.height) + "x" +
               std::to_string(r.info.bits);
    case kvx::PictureFormat::Wmf:
        return "wmf";
    case kvx::PictureFormat::None:
        break;
    }
    return "none";
}

int info(int count, char** files) {
    for (int i = 0; i < count; ++i) {
        const std::string path = files[i];
        const kvx::PreviewResult r = kvx::inspectPreview(path);
        const std::string line = kvx::escapeBytes(path, true) + '\t' + kvx::escapeBytes(r.header) +
                                 '\t' + kvx::versionLabelFor(r.header) + '\t' +
                                 (kvx::offeredToPreview(r.header) ? "offered" : "not-offered") +
                                 '\t' + pictureColumn(r) + '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? Ok : CannotWrite;
}

// The output file belongs to the caller: a file manager creates it, runs us, and reads back
// that very file, making the result atomic itself. So it is written in place, never replaced.
bool writeOutput(const std::string& output, const std::vector<std::uint8_t>& bytes,
                 std::string& error) {
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = kvx::writeAll(
        fd, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!ok)
        error = std::strerror(errno);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    return ok;
}

int thumbnail(const char* sizeText, const std::string& input, const std::string& output) {
    char* end = nullptr;
    errno = 0;
    const unsigned long size = std::strtoul(sizeText, &end, 10);
    if (errno != 0 || end == sizeText || *end != '\0' || sizeText[0] == '-' || size == 0 ||
        size > kMaxSize) {
        std::fprintf(stderr, "%s: size \"%s\" (expected 1 to %lu)\n", kProgram, sizeText, kMaxSize);
        return Usage;
    }
    // A thumbnail is never larger than the stored picture; the file manager scales up. The
    // picture is reduced while it is decoded, so the full-size one is never held.
    const auto box = static_cast<std::uint32_t>(size);
    const kvx::PreviewResult r = kvx::readPreview(input, kvx::FitBox{box, box, false});
    if (r.status == kvx::PreviewStatus::NoPicture) {
        std::fprintf(stderr, "%s: %s: no picture stored\n", kProgram, input.c_str());
        return NoPicture;
    }
    if (r.status == kvx::PreviewStatus::Damaged) {
        std::fprintf(stderr, "%s: %s: damaged: %s\n", kProgram, input.c_str(), r.message.c_str());
        return Damaged;
    }
    std::vector<std::uint8_t> png;
    std::string error;
    if (!kvx::encodePng(r.picture, png, error) || !writeOutput(output, png, error)) {
        std::fprintf(stderr, "%s: %s: cannot write: %s\n", kProgram, output.c_str(), error.c_str());
        return CannotWrite;
    }
    return Ok;
}

} // namespace

int main(int argc, char** argv) {
    // The process lives for one drawing: large buffers come from the heap and stay there, so
    // the thumbnail's buffers reuse the pages the decoder touched rather than fault in new ones.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    if (argc >= 2 && std::strcmp(argv[1], "--info") == 0)
        return argc >= 3 ? info(argc - 2, argv + 2) : usage();
    if (argc == 5 && std::strcmp(argv[1], "-s") == 0)
        return thumbnail(argv[2], argv[3], argv[4]);
    return usage();
}

#pragma once
// Drawings made in code for tests, benchmarks and fuzz seeds: a drawing header, the image
// address and an image section with any mix of header data, BMP, PNG and WMF entries. The
// picture encoders here are written independently of the reader's decoders.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvxtest {

using Bytes = std::vector<std::uint8_t>;

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Bytes rgb; // rows top to bottom, three bytes per pixel

    Image() = default;
    Image(std::uint32_t w, std::uint32_t h, std::uint8_t r = 0, std::uint8_t g = 0,
          std::uint8_t b = 0);
    void set(std::uint32_t x, std::uint32_t y, std::uint8_t r, std::uint8_t g, std::uint8_t b);
    std::uint32_t at(std::uint32_t x, std::uint32_t y) const; // 0xRRGGBB
    void fillRect(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h,
                  std::uint32_t colour);

    // A picture with `colours` distinct colours laid out so that no mirror, flip or shift of it
    // looks the same.
    static Image pattern(std::uint32_t w, std::uint32_t h, unsigned colours);
};

struct BmpOptions {
    unsigned bits = 24;            // 1, 4, 8, 24 or 32
    bool topDown = false;          // negative height, first row on top
    bool coreHeader = false;       // the 12-byte header with 3-byte palette entries
    std::int64_t colourCount = -1; // stored colour count; -1 writes the palette's own size
    std::int64_t sizeImage = -1;   // stored image size; -1 writes the true one
    unsigned paletteSize = 0;      // palette entries written; 0: as many as the image needs
};

// A device-independent bitmap without file header. Palette depths need an image with at most
// 2^bits colours.
Bytes makeBmp(const Image& image, const BmpOptions& options = {});

struct PngOptions {
    // 0 grey (from the red channel), 2 RGB, 3 indexed, 4 grey and alpha, 6 RGBA. Alpha varies
    // across the picture; colours are never premultiplied by it.
    unsigned colourType = 2;
    // 1, 2 or 4 (grey and indexed: the top bits of the sample), 8, or 16 (not indexed: the
    // high byte is the sample, the low byte its complement).
    unsigned bitDepth = 8;
    bool interlaced = false; // Adam7
    int filter = 0;          // row filter 0 to 4 for every row; -1: the rows take 0 to 4 in turn
    unsigned dataChunks = 1; // IDAT chunks the compressed rows are split over
};
Bytes makePng(const Image& image, const PngOptions& options = {});

// A placeable Windows metafile holding no drawing commands.
Bytes makeWmf();

// Offsets of what build() laid out, for tests that damage one field.
struct Layout {
    std::uint64_t address = 0;         // image section (its sentinel)
    std::uint64_t overallSizeAt = 0;   // the section's overall size field
    std::uint64_t countAt = 0;         // the entry count byte
    std::uint64_t tableAt = 0;         // first entry of the table
    std::vector<std::uint64_t> starts; // each entry's data
    std::uint64_t sectionEnd = 0;      // after the closing sentinel
};

class DwgBuilder {
public:
    explicit DwgBuilder(std::string header = "AC1015");

    DwgBuilder& headerData(std::size_t size = 80);
    DwgBuilder& bmp(Bytes data) { return entry(2, std::move(data)); }
    DwgBuilder& wmf(Bytes data) { return entry(3, std::move(data)); }
    DwgBuilder& png(Bytes data) { return entry(6, std::move(data)); }
    DwgBuilder& entry(std::uint8_t code, Bytes data);

    // Drawing bytes between the file header and the image section, and after it.
    DwgBuilder& bodyBefore(std::size_t bytes);
    DwgBuilder& bodyAfter(std::size_t bytes);
    // A zero image address and no image section.
    DwgBuilder& withoutImageSection();

    Bytes build(Layout* layout = nullptr) const;

private:
    struct Entry {
        std::uint8_t code;
        Bytes data;
    };
    std::string m_header;
    std::vector<Entry> m_entries;
    std::size_t m_before = 0x40;
    std::size_t m_after = 0x40;
    bool m_section = true;
};

void put32(Bytes& bytes, std::uint64_t at, std::uint32_t value);
std::uint32_t get32(const Bytes& bytes, std::uint64_t at);

// A folder that removes itself and everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Writes `bytes` to the named file and returns its path.
    std::string write(const std::string& name, const Bytes& bytes) const;

private:
    std::string m_path;
};

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

} // namespace kvxtest

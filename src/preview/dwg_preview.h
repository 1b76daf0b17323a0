#pragma once
// Reading the preview picture a drawing stores in its own image section. Plain C++ with no
// Qt, so that the thumbnailer starts at once. Only the first bytes and the image section are
// read, never the drawing itself.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "preview/rgb_picture.h"

namespace kvx {

enum class PreviewStatus {
    Picture,   // a picture is stored and could be read
    NoPicture, // the drawing is sound but stores none
    Damaged,   // anything else
};

enum class PreviewError {
    None,
    CannotOpen,       // the file cannot be opened or is not a regular file
    CannotRead,       // a read failed or came up short
    NotADrawing,      // the header names no drawing release
    FileTooShort,     // the file ends before the image address
    AddressPastEnd,   // the image address points past the end of the file
    BadSentinel,      // no image sentinel at the image address
    SectionTruncated, // the image section or its entry table runs past the end
    EntryPastEnd,     // an entry's start and size run past the end
    TooLarge,         // a size beyond the reader's hard limits
    BadBitmap,        // a BMP entry that cannot be decoded
    BadPng,           // a PNG entry that cannot be decoded
};

enum class PictureFormat { None, Bmp, Png, Wmf };

// Entry codes of the image section.
enum : std::uint8_t {
    kEntryHeaderData = 1,
    kEntryBmp = 2,
    kEntryWmf = 3,
    kEntryPng = 6,
};

struct PictureInfo {
    PictureFormat format = PictureFormat::None;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned bits = 0;        // bits per pixel of a BMP, bit depth of a PNG
    std::uint64_t offset = 0; // the entry's start in the file
    std::uint64_t size = 0;   // the entry's size
};

struct PreviewResult {
    PreviewStatus status = PreviewStatus::Damaged;
    PreviewError error = PreviewError::None;
    std::string message; // names the field, its offset and what was expected
    std::string header;  // the header string, as the version check reads it
    PictureInfo info;    // the chosen picture; format Wmf for a metafile-only drawing
    RgbPicture picture;  // filled only when decoding and status is Picture
};

// Random access to a drawing's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly `count` bytes at `offset`; false on any failure or short read.
    virtual bool readAt(std::uint64_t offset, void* destination, std::size_t count) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint64_t size() const override { return m_size; }
    bool readAt(std::uint64_t offset, void* destination, std::size_t count) override;

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

// Hard limits: anything beyond them is refused before memory is allocated for it.
constexpr std::uint32_t kMaxPictureSide = 8192;
constexpr std::uint64_t kMaxPicturePixels = 16u * 1024u * 1024u;
constexpr std::uint64_t kMaxEntryBytes = 64u * 1024u * 1024u;

// Whether a header string names a release that can store a picture (R13, "AC1012", and
// later), a release that stores none, or no drawing release at all.
enum class ReleaseKind { StoresPicture, StoresNone, NotADrawing };
ReleaseKind releaseKindOf(const std::string& header);

// Bytes as text: printable ASCII stays, anything else (and the backslash) becomes \xNN.
// With `keepHighBytes`, bytes from 0x80 up stay too, so UTF-8 names survive.
std::string escapeBytes(const std::string& bytes, bool keepHighBytes = false);

// Finds and decodes the stored picture.
PreviewResult readPreview(const std::string& path);
// Finds the stored picture and checks its header without decoding the pixels.
PreviewResult inspectPreview(const std::string& path);
// Finds and decodes the stored picture fitted into a box, as fitInto and resampleArea would fit
// it; a PNG is reduced while it is decoded, never held at full size. `info` keeps the stored
// size.
PreviewResult readPreview(const std::string& path, const FitBox& fit);
PreviewResult readPreview(ByteSource& source, bool decode, const FitBox& fit = {});

} // namespace kvx

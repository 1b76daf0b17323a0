#include "preview/dwg_preview.h"

#include <algorithm>
#include <cstring>

#include "drawing/drawing_version.h"
#include "files/open_drawing.h"
#include "preview/byte_format.h"
#include "preview/picture_codecs.h"

namespace kvx {

namespace {

const std::uint8_t kSentinel[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                    0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};

constexpr std::uint64_t kAddressAt = 0x0D;
// The header, the bytes after it and the image address.
constexpr std::size_t kHeadBytes = 0x11;
// Sentinel, overall size and entry count.
constexpr std::size_t kSectionStart = 21;
constexpr std::size_t kEntryBytes = 9;

// The drawing file as the reader sees it.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string& path) : m_file(path) {}
    bool isOpen() const { return m_file.isOpen(); }
    const std::string& error() const { return m_file.error(); }
    std::uint64_t size() const override { return m_file.size(); }
    bool readAt(std::uint64_t offset, void* destination, std::size_t count) override {
        return m_file.readAt(offset, destination, count);
    }

private:
    DrawingFile m_file;
};

struct Entry {
    unsigned index = 0;
    std::uint8_t code = 0;
    std::uint64_t start = 0;
    std::uint64_t size = 0;
};

const char* entryKind(std::uint8_t code) {
    switch (code) {
    case kEntryHeaderData:
        return "header data";
    case kEntryBmp:
        return "BMP";
    case kEntryWmf:
        return "WMF";
    case kEntryPng:
        return "PNG";
    default:
        return "unknown";
    }
}

PreviewResult& fail(PreviewResult& r, PreviewError error, std::string message) {
    r.status = PreviewStatus::Damaged;
    r.error = error;
    r.message = std::move(message);
    r.info = {};
    r.picture = {};
    return r;
}

PreviewResult& none(PreviewResult& r, std::string message) {
    r.status = PreviewStatus::NoPicture;
    r.error = PreviewError::None;
    r.message = std::move(message);
    return r;
}

// A picture entry waiting its turn, with what its first bytes told.
struct Candidate {
    Entry entry;
    BmpLayout bmp;
    PngHeader png;
    CodecError probeError;
};

std::string readFailure(const char* what, std::uint64_t offset, std::uint64_t count) {
    return "cannot read the " + std::to_string(count) + " bytes of the " + what + " at " +
           hex(offset);
}

} // namespace

bool MemorySource::readAt(std::uint64_t offset, void* destination, std::size_t count) {
    if (offset > m_size || count > m_size - offset)
        return false;
    if (count > 0)
        std::memcpy(destination, m_data + offset, count);
    return true;
}

std::string escapeBytes(const std::string& bytes, bool keepHighBytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if ((b >= 0x20 && b < 0x7F && b != '\\') || (keepHighBytes && b >= 0x80)) {
            out.push_back(ch);
        } else {
            char text[8];
            std::snprintf(text, sizeof text, "\\x%02X", b);
            out += text;
        }
    }
    return out;
}

ReleaseKind releaseKindOf(const std::string& header) {
    if (header.size() == 6 && header[0] == 'A' && header[1] == 'C') {
        int number = 0;
        bool digits = true;
        for (std::size_t i = 2; i < 6; ++i) {
            digits = digits && header[i] >= '0' && header[i] <= '9';
            number = number * 10 + (header[i] - '0');
        }
        if (digits && number >= 1012)
            return ReleaseKind::StoresPicture;
    }
    if (releaseLabel(header) != nullptr)
        return ReleaseKind::StoresNone;
    return ReleaseKind::NotADrawing;
}

PreviewResult readPreview(ByteSource& source, bool decode, const FitBox& fit) {
    PreviewResult r;
    const std::uint64_t fileSize = source.size();

    std::uint8_t head[kHeadBytes] = {};
    const auto got = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kHeadBytes));
    if (got > 0 && !source.readAt(0, head, got))
        return fail(r, PreviewError::CannotRead, readFailure("file header", 0, got));
    r.header = headerFromBytes(head, got);

    switch (releaseKindOf(r.header)) {
    case ReleaseKind::NotADrawing:
        if (fileSize == 0)
            return fail(r, PreviewError::NotADrawing,
                        "the file is empty (expected a drawing header such as AC1015 at 0x0)");
        return fail(r, PreviewError::NotADrawing,
                    "header \"" + escapeBytes(r.header) +
                        "\" at 0x0 names no drawing release (expected AC1012 or later)");
    case ReleaseKind::StoresNone:
        return none(r, "header \"" + escapeBytes(r.header) +
                           "\" names a release before R13, which stores no picture");
    case ReleaseKind::StoresPicture:
        break;
    }

    if (fileSize < kHeadBytes)
        return fail(r, PreviewError::FileTooShort,
                    "the file ends after " + std::to_string(fileSize) +
                        " bytes (expected the 4-byte image address at " + hex(kAddressAt) + ")");
    const std::uint64_t address = le32(head + kAddressAt);
    if (address == 0)
        return none(r, "the image address at " + hex(kAddressAt) + " is zero: no picture stored");
    if (address + kSectionStart > fileSize)
        return fail(r, PreviewError::AddressPastEnd,
                    "image address " + hex(address) + " at " + hex(kAddressAt) +
                        " lies past the end of the " + std::to_string(fileSize) +
                        "-byte file (expected the image section's 21-byte start inside it)");

    std::uint8_t start[kSectionStart];
    if (!source.readAt(address, start, kSectionStart))
        return fail(r, PreviewError::CannotRead,
                    readFailure("image section start", address, kSectionStart));
    if (std::memcmp(start, kSentinel, sizeof kSentinel) != 0)
        return fail(r, PreviewError::BadSentinel,
                    "no image sentinel at " + hex(address) + ", the image address at " +
                        hex(kAddressAt) + " (expected 1F 25 6D 07 D4 36 28 28 ...)");
    const std::uint64_t overall = le32(start + 16);
    const unsigned count = start[20];
    if (address + 20 + overall > fileSize)
        return fail(r, PreviewError::SectionTruncated,
                    "image section overall size " + std::to_string(overall) + " at " +
                        hex(address + 16) + " runs to " + hex(address + 20 + overall) +
                        ", past the end of the " + std::to_string(fileSize) + "-byte file");
    const std::uint64_t tableAt = address + kSectionStart;
    if (tableAt + std::uint64_t(count) * kEntryBytes > fileSize)
        return fail(r, PreviewError::SectionTruncated,
                    "entry count " + std::to_string(count) + " at " + hex(address + 20) +
                        " needs a table to " + hex(tableAt + std::uint64_t(count) * kEntryBytes) +
                        ", past the end of the " + std::to_string(fileSize) + "-byte file");

    std::uint8_t table[255 * kEntryBytes];
    if (count > 0 && !source.readAt(tableAt, table, count * kEntryBytes))
        return fail(r, PreviewError::CannotRead,
                    readFailure("image entry table", tableAt, count * kEntryBytes));

    std::vector<Entry> entries;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t* p = table + i * kEntryBytes;
        const std::uint64_t at = tableAt + std::uint64_t(i) * kEntryBytes;
        Entry e{i, p[0], le32(p + 1), le32(p + 5)};
        if (e.start + e.size > fileSize)
            return fail(r, PreviewError::EntryPastEnd,
                        "entry " + std::to_string(i) + " (" + entryKind(e.code) + ") at " +
                            hex(at) + ": start " + hex(e.start) + " and size " +
                            std::to_string(e.size) + " run to " + hex(e.start + e.size) +
                            ", past the end of the " + std::to_string(fileSize) + "-byte file");
        if (e.size > kMaxEntryBytes &&
            (e.code == kEntryBmp || e.code == kEntryPng || e.code == kEntryWmf))
            return fail(r, PreviewError::TooLarge,
                        "entry " + std::to_string(i) + " (" + entryKind(e.code) + ") at " +
                            hex(at) + ": size " + std::to_string(e.size) + " (expected at most " +
                            std::to_string(kMaxEntryBytes) + ")");
        entries.push_back(e);
    }

    // PNG first (it is what later releases store, often beside nothing else), then the
    // bitmaps, largest first. An empty entry stores nothing.
    std::vector<Candidate> pngs, bmps;
    const Entry* metafile = nullptr;
    for (const Entry& e : entries) {
        if (e.size == 0)
            continue;
        if (e.code == kEntryPng) {
            pngs.push_back({e, {}, {}, {}});
        } else if (e.code == kEntryBmp) {
            Candidate c{e, {}, {}, {}};
            std::uint8_t probe[kBmpHeaderProbe];
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(e.size, sizeof probe));
            if (!source.readAt(e.start, probe, n))
                return fail(r, PreviewError::CannotRead, readFailure("BMP header", e.start, n));
            c.probeError = parseBmpHeader(probe, n, e.size, e.start, c.bmp);
            bmps.push_back(c);
        } else if (e.code == kEntryWmf && !metafile) {
            metafile = &e;
        }
    }
    std::stable_sort(bmps.begin(), bmps.end(), [](const Candidate& a, const Candidate& b) {
        const std::uint64_t areaA = a.probeError ? 0 : std::uint64_t(a.bmp.width) * a.bmp.height;
        const std::uint64_t areaB = b.probeError ? 0 : std::uint64_t(b.bmp.width) * b.bmp.height;
        return areaA > areaB;
    });
    std::vector<Candidate> candidates = pngs;
    candidates.insert(candidates.end(), bmps.begin(), bmps.end());

    if (candidates.empty()) {
        if (metafile) {
            // A metafile is a list of drawing commands, not pixels; it is not rendered and the
            // drawing counts as storing no picture. Releases from R13 on store a bitmap or a
            // PNG beside it anyway.
            r.info.format = PictureFormat::Wmf;
            r.info.offset = metafile->start;
            r.info.size = metafile->size;
            return none(r, "only a Windows metafile is stored, which is not rendered");
        }
        return none(r, "the image section at " + hex(address) + " holds no picture entry");
    }

    // The first picture that reads wins; a damaged one falls back to the next.
    CodecError first;
    for (const Candidate& c : candidates) {
        const Entry& e = c.entry;
        CodecError error = c.probeError;
        PictureInfo info;
        info.offset = e.start;
        info.size = e.size;
        if (!error && (decode || e.code == kEntryPng)) {
            std::vector<std::uint8_t> bytes;
            std::size_t n = static_cast<std::size_t>(e.size);
            if (!decode)
                n = std::min(n, kPngHeaderProbe);
            bytes.resize(n);
            if (!source.readAt(e.start, bytes.data(), n))
                return fail(
                    r, PreviewError::CannotRead,
                    readFailure(e.code == kEntryPng ? "PNG entry" : "BMP entry", e.start, n));
            if (e.code == kEntryPng) {
                PngHeader header;
                error = decode ? decodePng(bytes.data(), n, e.start, r.picture, &header, fit)
                               : parsePngHeader(bytes.data(), n, e.size, e.start, header);
                info.format = PictureFormat::Png;
                info.width = header.width;
                info.height = header.height;
                info.bits = header.bitDepth;
            } else {
                error = decodeBmp(bytes.data(), n, e.start, r.picture, nullptr, fit);
            }
        }
        if (!error) {
            if (e.code == kEntryBmp) {
                info.format = PictureFormat::Bmp;
                info.width = c.bmp.width;
                info.height = c.bmp.height;
                info.bits = c.bmp.bits;
            }
            r.status = PreviewStatus::Picture;
            r.error = PreviewError::None;
            r.message.clear();
            r.info = info;
            return r;
        }
        if (!first)
            first = error;
    }
    return fail(r, first.code, first.message);
}

namespace {

PreviewResult readFile(const std::string& path, bool decode, const FitBox& fit) {
    FileSource source(path);
    if (!source.isOpen()) {
        PreviewResult r;
        return fail(r, PreviewError::CannotOpen, "cannot open the file: " + source.error());
    }
    return readPreview(source, decode, fit);
}

} // namespace

PreviewResult readPreview(const std::string& path) {
    return readFile(path, true, {});
}

PreviewResult readPreview(const std::string& path, const FitBox& fit) {
    return readFile(path, true, fit);
}

PreviewResult inspectPreview(const std::string& path) {
    return readFile(path, false, {});
}

} // namespace kvx

#include "drawing/drawing_version.h"

#include "files/open_drawing.h"

#include <cstring>

namespace kvx {

namespace {

struct SignatureRow {
    const char* signature; // exactly six bytes
    const char* label;     // UTF-8
};

// The releases the program has always known, in the order they are matched.
constexpr std::size_t kSignatureRows = 25;
const SignatureRow kTable[kSignatureRows] = {
    {"MC0.0 ", "Version 1.1"},
    {"AC1.2 ", "Version 1.2"},
    {"AC1.4 ", "Version 1.4"},
    {"AC1.50", "Version 2.0"},
    {"AC2.10", "Version 2.10"},
    {"AC2.20", "Internal version 2.20"},
    {"AC2.21", "Internal version 2.21"},
    {"AC2.22", "Internal version 2.22"},
    {"AC1001", "Internal version pr\xC3\xA9-2.5"},
    {"AC1002", "Version 2.5"},
    {"AC1003", "Version 2.6"},
    {"AC1004", "Version R9"},
    {"AC1005", "Internal version pre-R10"},
    {"AC1006", "Version R10"},
    {"AC1007", "Internal version pre-R11"},
    {"AC1008", "Internal version pre-R11"},
    {"AC1009", "Version 11/12"},
    {"AC1010", "Internal version pre-R13"},
    {"AC1011", "Internal version pre-R13"},
    {"AC1012", "Version 13"},
    {"AC1013", "Version pre-14"},
    {"AC1014", "Version 14.0/14.01"},
    {"AC1500", "Version pre-2000"},
    {"AC1015", "Version 2000/2000i/2002"},
    {"AC1018", "Version 2004/2005"},
};

// Later releases, consulted only when the table above matches nothing. Their labels fit
// Label5 in a bold face.
constexpr std::size_t kFurtherRows = 5;
const SignatureRow kFurther[kFurtherRows] = {
    {"AC1.40", "Version 1.4"},
    {"AC1021", "Version 2007/2008/2009"},
    {"AC1024", "Version 2010/2011/2012"},
    {"AC1027", "Version 2013-2017"},
    {"AC1032", "Version 2018 and later"},
};

constexpr std::size_t kHeaderBytes = 6;

const char* findLabel(const SignatureRow* rows, std::size_t n, const std::string& header) {
    for (std::size_t i = 0; i < n; ++i) {
        if (header.size() == kHeaderBytes &&
            std::memcmp(header.data(), rows[i].signature, kHeaderBytes) == 0)
            return rows[i].label;
    }
    return nullptr;
}

} // namespace

const char* const kUnknownVersionLabel = "Unknown version";
std::string CurrentVersionLabel;

std::string headerFromBytes(const unsigned char* bytes, std::size_t count) {
    std::string header;
    for (std::size_t i = 0; i < count && i < kHeaderBytes && bytes[i] != 0; ++i)
        header.push_back(static_cast<char>(bytes[i]));
    return header;
}

std::string readDrawingHeader(const std::string& path) {
    unsigned char buffer[kHeaderBytes] = {};
    DrawingFile file(path);
    return headerFromBytes(buffer, file.readSome(0, buffer, kHeaderBytes));
}

const char* releaseLabel(const std::string& header) {
    if (const char* label = findLabel(kTable, kSignatureRows, header))
        return label;
    return findLabel(kFurther, kFurtherRows, header);
}

std::string versionLabelFor(const std::string& header) {
    const char* label = releaseLabel(header);
    return label ? label : kUnknownVersionLabel;
}

bool offeredToPreview(const std::string& header) {
    static const unsigned char kThreshold[] = {'A', 'C', '1', '0', '1', '1'};
    const std::size_t n = header.size() < kHeaderBytes ? header.size() : kHeaderBytes;
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(header[i]);
        if (b != kThreshold[i])
            return b > kThreshold[i];
    }
    // A prefix of "AC1011" (or "AC1011" itself) does not sort after it.
    return false;
}

DrawingIdentity IdentifyDrawingVersion(const std::string& path) {
    return IdentifyDrawingHeader(readDrawingHeader(path));
}

DrawingIdentity IdentifyDrawingHeader(const std::string& header) {
    DrawingIdentity id;
    id.header = header;
    CurrentVersionLabel = versionLabelFor(id.header);
    id.offered = offeredToPreview(id.header);
    return id;
}

} // namespace kvx

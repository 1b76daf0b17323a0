#pragma once
// Naming a drawing's release from the first six bytes of its file. No Qt here: the
// thumbnailer links this too.

#include <cstddef>
#include <string>

namespace kvx {

struct SignatureRow {
    const char* signature; // exactly six bytes
    const char* label;     // UTF-8
};

// The releases the program has always known, in the order they are matched.
constexpr std::size_t kSignatureRows = 25;
const SignatureRow* signatureTable();

// Later releases, consulted only when the table above matches nothing.
constexpr std::size_t kFurtherRows = 5;
const SignatureRow* furtherSignatureRows();

extern const char* const kUnknownVersionLabel;

// The bytes before the first zero byte of a 6-byte buffer holding `count` read bytes.
std::string headerFromBytes(const unsigned char* bytes, std::size_t count);

// One open, one read of at most six bytes, one close. Any failure gives the empty header.
std::string readDrawingHeader(const std::string& path);

// The label for a header string: a table row, then a further row, else "Unknown version".
std::string versionLabelFor(const std::string& header);

// Whether a drawing with this header goes to the preview control: the header sorts
// strictly after "AC1011" byte by byte as unsigned values.
bool offeredToPreview(const std::string& header);

// The label of the drawing shown last; empty until the first identification.
extern std::string CurrentVersionLabel;

struct DrawingIdentity {
    std::string header;
    bool offered = false;
};

// Reads the drawing's header, stores its label into CurrentVersionLabel and says whether
// the drawing is offered to the preview control. Reports no error; nothing is cached.
DrawingIdentity IdentifyDrawingVersion(const std::string& path);

} // namespace kvx

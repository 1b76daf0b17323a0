#pragma once
// Naming a drawing's release from the first six bytes of its file. No Qt here: the
// thumbnailer links this too.

#include <cstddef>
#include <string>

namespace kvx {

extern const char* const kUnknownVersionLabel;

// The bytes before the first zero byte of a 6-byte buffer holding `count` read bytes.
std::string headerFromBytes(const unsigned char* bytes, std::size_t count);

// One open, one read of at most six bytes, one close. Any failure gives the empty header.
std::string readDrawingHeader(const std::string& path);

// The label of the release a header string names (UTF-8): a row of the table the program has
// always known, then one of the later releases. Null when it names none.
const char* releaseLabel(const std::string& header);

// The label for a header string: releaseLabel, else "Unknown version".
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
// The same for a header already read.
DrawingIdentity IdentifyDrawingHeader(const std::string& header);

} // namespace kvx

#pragma once
// Text in the encodings other programs hand us: UTF-8, Windows' own code page 1252 and
// UTF-16LE, converted to and from UTF-8. No Qt: the setup command and the tools link this too.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kvx {

// The length of the well-formed UTF-8 sequence starting at `pos` (1 to 4), or 0 when the
// bytes there are no such sequence (a stray byte, an overlong form, a surrogate, a cut end).
std::size_t utf8SequenceLength(const std::string& bytes, std::size_t pos);

// The code point of the well-formed sequence of `length` bytes at `pos`.
std::uint32_t utf8CodePoint(const std::string& bytes, std::size_t pos, std::size_t length);

bool isUtf8(const std::string& bytes);

// Windows-1252 to UTF-8. Every byte has a meaning: the five the code page leaves undefined
// become the C1 controls of the same number, as Windows converts them, so the way back
// gives the same bytes.
std::string utf8FromWindows1252(const std::string& bytes);
// Nothing when `text` is not UTF-8 or holds a character the code page lacks.
std::optional<std::string> windows1252FromUtf8(const std::string& text);

// UTF-16LE (no byte-order mark) to UTF-8. Nothing for an odd number of bytes or a
// surrogate without its pair.
std::optional<std::string> utf8FromUtf16le(const std::string& bytes);
// Nothing when `text` is not UTF-8.
std::optional<std::string> utf16leFromUtf8(const std::string& text);

} // namespace kvx

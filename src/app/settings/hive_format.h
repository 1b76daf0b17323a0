#pragma once
// The registry's text export format, read and written line by line so that a change to one
// value leaves every other byte of the file as it was: comments, blank lines, other keys and
// values of types the program never uses survive untouched.
//
//   REGEDIT4                        or: Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Stalwen\Korvenix31]
//   "temp"="4"                      REG_SZ; \\ and \" escape, \n and \r too (as Wine writes)
//   "autoname"=dword:00000001       REG_DWORD, 1 to 8 hex digits
//   "blob"=hex:01,02,\              REG_BINARY, continued on the next line
//     03
//   "other"=hex(2):41,00            any type by number, little-endian bytes
//   @="..."                         the key's unnamed value
//   "gone"=-                        a value marked as removed: it does not exist
//   "x"="1" ; comment               a comment, on a line of its own or after a value
//   [-HKEY_CURRENT_USER\Software]   the key and all below it deleted, up to where it comes back
//
// The file comes in the encodings the registry editors write: UTF-8 (ours, with or without a
// byte-order mark), Windows' code page 1252 (a file that is not UTF-8 is read as such) or
// UTF-16LE with its byte-order mark; lines end with CR LF, LF or CR alone. A change keeps the
// file's encoding, header and line breaks. A file of ASCII alone takes text beyond ASCII in
// code page 1252, as REGEDIT4 has it for Windows' and Wine's registry editors, or in UTF-8
// when that code page lacks a character of it. The text of hex(1), hex(2) and hex(7) values is
// UTF-16LE under the version 5.00 header, in the file's 8-bit encoding under REGEDIT4 (code
// page 1252 in a UTF-16 file). Values are handed out with their text in UTF-8.
//
// No Qt: the setup command links this too.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvx {

// Value types by their registry numbers.
enum RegType : std::uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegMultiSz = 7,
};

// A value as the registry hands it out: its type and its bytes. A REG_SZ holds its text
// (UTF-8) followed by one zero byte, a REG_DWORD four bytes, least significant first.
struct RegValue {
    std::uint32_t type = RegNone;
    std::string data;

    static RegValue text(const std::string& text);
    static RegValue dword(std::uint32_t number);
    bool operator==(const RegValue& other) const {
        return type == other.type && data == other.data;
    }
};

struct HiveParseError {
    int line = 0; // 1-based line of the file where reading stopped
    std::string what;
    std::string describe() const;
};

// How the file's characters are stored.
enum class HiveEncoding { Utf8, Windows1252, Utf16le };

class HiveDocument {
public:
    // The largest file read: a key's export is a few hundred bytes.
    static constexpr std::size_t kMaxBytes = 4u << 20;

    // Parses a whole file. Anything that is not the format gives an error, never a guess.
    static std::optional<HiveDocument> parse(const std::string& bytes, HiveParseError& error);

    // The file's bytes: the original ones wherever nothing was changed.
    std::string serialize() const;
    HiveEncoding encoding() const { return m_encoding; }
    // The header is "Windows Registry Editor Version 5.00" rather than REGEDIT4.
    bool isVersion5() const { return m_version5; }

    // Key paths and value names compare without regard to ASCII letter case. A key exists from
    // its section line until a deletion line of it or of a key above it.
    bool hasKey(const std::string& keyPath) const;
    // The value as the registry would see it (the last definition wins), or nothing.
    std::optional<RegValue> find(const std::string& keyPath, const std::string& name) const;
    // Replaces or adds the value in an existing key; a value already holding it is left as
    // it is, byte for byte. False when the key is not in the file or the name or the value
    // cannot be written in the file's encoding (a line break or a zero byte in the name, a
    // character code page 1252 lacks, bytes that are not UTF-8 in a UTF-16 file).
    bool set(const std::string& keyPath, const std::string& name, const RegValue& value);
    // Appends a key section and its values taken from another document. False, with no line
    // added, when a value cannot be written in this file's encoding.
    bool appendKeyFrom(const HiveDocument& source, const std::string& keyPath);

    // Encodes one value line (with its line break) as written into a REGEDIT4 file in UTF-8.
    static std::string valueLine(const std::string& name, const RegValue& value,
                                 const std::string& lineBreak);

private:
    enum class Kind { Header, Blank, Comment, Section, Deleted, Value, Removed };
    // How the text of hex(1), hex(2) and hex(7) values is stored.
    enum class TextBytes { AsIs, Windows1252, Utf16le };
    struct Entry {
        Kind kind;
        std::string raw;  // the physical line(s) in UTF-8, line breaks included
        std::string name; // section, deletion: key path; value: value name
        RegValue value;
        std::string note; // a comment after the value, from its ";"
    };
    static bool covers(const Entry& deletion, const std::string& keyPath);
    bool isSection(const Entry& e, const std::string& keyPath) const;
    std::string lineBreak() const;
    TextBytes textBytes() const;
    bool representable(const std::string& text) const;
    void settleEncodingFor(const std::string& name, const RegValue& value);
    std::optional<std::string> lineFor(const std::string& name, const RegValue& value,
                                       const std::string& note, const std::string& lineBreak) const;
    static std::string render(const std::string& name, const RegValue& value,
                              const std::string& data, const std::string& lineBreak, bool mayQuote);

    std::vector<Entry> m_entries;
    std::string m_bom; // the byte-order mark the file began with
    HiveEncoding m_encoding = HiveEncoding::Utf8;
    bool m_version5 = false;
    // A REGEDIT4 file of ASCII alone: the first text beyond ASCII decides its encoding.
    bool m_undecided = false;
};

} // namespace kvx

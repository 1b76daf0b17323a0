#pragma once
// The registry's text export format (REGEDIT4), read and written line by line so that a
// change to one value leaves every other byte of the file as it was: comments, blank
// lines, other keys and values of types the program never uses survive untouched.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Stalwen\Korvenix31]
//   "temp"="4"                      REG_SZ; \\ and \" are the only escapes
//   "autoname"=dword:00000001       REG_DWORD, 1 to 8 hex digits
//   "blob"=hex:01,02,\              REG_BINARY, continued on the next line
//     03
//   "other"=hex(2):41,00            any type by number, little-endian bytes
//   @="..."                         the key's unnamed value
//   "gone"=-                        a value marked as removed: it does not exist
//   ; comment
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
};

// A value as the registry hands it out: its type and its bytes. A REG_SZ holds its text
// followed by one zero byte, a REG_DWORD four bytes, least significant first.
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

class HiveDocument {
public:
    // Parses a whole file. Anything that is not the format gives an error, never a guess.
    static std::optional<HiveDocument> parse(const std::string& text, HiveParseError& error);

    // The file's bytes: the original ones wherever nothing was changed.
    std::string serialize() const;

    // Key paths and value names compare without regard to ASCII letter case.
    bool hasKey(const std::string& keyPath) const;
    // The value as the registry would see it (the last definition wins), or nothing.
    std::optional<RegValue> find(const std::string& keyPath, const std::string& name) const;
    // Replaces or adds the value in an existing key. False when the key is not in the
    // file or the name cannot be written (it holds a line break or a zero byte).
    bool set(const std::string& keyPath, const std::string& name, const RegValue& value);
    // Appends a key section and its values taken from another document.
    void appendKeyFrom(const HiveDocument& source, const std::string& keyPath);

    // Encodes one value line (with its line break), as written after a change.
    static std::string valueLine(const std::string& name, const RegValue& value,
                                 const std::string& lineBreak);

private:
    enum class Kind { Header, Blank, Comment, Section, Value, Removed };
    struct Entry {
        Kind kind;
        std::string raw;  // the physical line(s), line breaks included
        std::string name; // section: key path; value: value name
        RegValue value;
    };
    bool isSection(const Entry& e, const std::string& keyPath) const;
    std::string lineBreak() const;

    std::vector<Entry> m_entries;
};

} // namespace kvx

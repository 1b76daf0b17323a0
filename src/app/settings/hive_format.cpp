#include "app/settings/hive_format.h"

#include "files/ascii.h"
#include "files/text_encoding.h"

#include <cstdio>

namespace kvx {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool startsNoCase(const std::string& s, std::size_t pos, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i)
        if (pos + i >= s.size() || lowerAscii(s[pos + i]) != prefix[i])
            return false;
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads a hex number of 1 to 8 digits filling all of `s`.
bool parseHex32(const std::string& s, std::uint32_t& out) {
    if (s.empty() || s.size() > 8)
        return false;
    out = 0;
    for (char c : s) {
        const int d = hexDigit(c);
        if (d < 0)
            return false;
        out = out * 16u + static_cast<std::uint32_t>(d);
    }
    return true;
}

// Reads a quoted string starting at s[pos] == '"'; leaves pos after the closing quote.
bool parseQuoted(const std::string& s, std::size_t& pos, std::string& out, std::string& what) {
    out.clear();
    ++pos;
    while (pos < s.size()) {
        const char c = s[pos++];
        if (c == '"')
            return true;
        if (c == '\\') {
            const char next = pos < s.size() ? s[pos] : '\0';
            if (next == '\\' || next == '"') {
                out += next;
            } else if (next == 'n') {
                out += '\n';
            } else if (next == 'r') {
                out += '\r';
            } else {
                what = "a backslash in quotes must be written \\\\ or come before \", n or r";
                return false;
            }
            ++pos;
            continue;
        }
        out += c;
    }
    what = "a quoted text has no closing quote";
    return false;
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

bool parseByteList(const std::string& list, std::string& bytes) {
    bytes.clear();
    const std::string all = trimmed(list);
    if (all.empty())
        return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = all.find(',', start);
        const std::string token = trimmed(
            all.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (token.empty() || token.size() > 2)
            return false;
        std::uint32_t b = 0;
        if (!parseHex32(token, b))
            return false;
        bytes += static_cast<char>(b);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

// The line break a physical line ends with: CR LF, LF, a CR alone, or none (the last line).
std::string endingOf(const std::string& raw) {
    if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\r\n") == 0)
        return "\r\n";
    if (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r'))
        return std::string(1, raw.back());
    return "";
}

std::string contentOf(const std::string& raw) {
    return raw.substr(0, raw.size() - endingOf(raw).size());
}

// Ends a last line that has no line break.
void endLine(std::string& raw, const std::string& lineBreak) {
    if (endingOf(raw).empty())
        raw += lineBreak;
}

// Every line break of `raw` (CR LF, LF or CR alone) as `lineBreak`.
std::string withLineBreaks(const std::string& raw, const std::string& lineBreak) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        if (raw[i] == '\n' || raw[i] == '\r')
            out += lineBreak;
        else
            out += raw[i];
    }
    return out;
}

// Splits off a comment that follows data written without quotes.
std::string withoutNote(const std::string& data, std::string& note) {
    const std::size_t semicolon = data.find(';');
    if (semicolon == std::string::npos)
        return data;
    note = data.substr(semicolon);
    return trimmed(data.substr(0, semicolon));
}

bool isAscii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool isTextType(std::uint32_t type) {
    return type == RegSz || type == RegExpandSz || type == RegMultiSz;
}

const char* const kVersion4 = "REGEDIT4";
const char* const kVersion5 = "Windows Registry Editor Version 5.00";

} // namespace

RegValue RegValue::text(const std::string& text) {
    return {RegSz, text + '\0'};
}

RegValue RegValue::dword(std::uint32_t number) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[static_cast<std::size_t>(i)] = static_cast<char>((number >> (8 * i)) & 0xffu);
    return {RegDword, data};
}

std::string HiveParseError::describe() const {
    return "line " + std::to_string(line) + ": " + what;
}

std::optional<HiveDocument> HiveDocument::parse(const std::string& bytes, HiveParseError& error) {
    auto fail = [&error](std::size_t index, const std::string& what) {
        error.line = static_cast<int>(index) + 1;
        error.what = what;
        return std::optional<HiveDocument>();
    };
    if (bytes.size() > kMaxBytes)
        return fail(0, "the file is larger than " + std::to_string(kMaxBytes >> 20) + " MiB");

    HiveDocument doc;
    // The text in UTF-8, as every line is kept; serialize() encodes it back.
    std::string text;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        doc.m_bom = bytes.substr(0, 2);
        doc.m_encoding = HiveEncoding::Utf16le;
        auto decoded = utf8FromUtf16le(bytes.substr(2));
        if (!decoded)
            return fail(0, "the file is marked as UTF-16 but is not UTF-16 text");
        text = std::move(*decoded);
    } else if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
        return fail(0, "the file is UTF-16 big-endian; only UTF-16LE is read");
    } else {
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
            doc.m_bom = bytes.substr(0, 3);
        text = bytes.substr(doc.m_bom.size());
        if (!isUtf8(text)) {
            doc.m_encoding = HiveEncoding::Windows1252;
            text = utf8FromWindows1252(text);
        }
        doc.m_undecided = doc.m_bom.empty() && isAscii(text);
    }

    // Physical lines with their line breaks.
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t brk = text.find_first_of("\r\n", pos);
        std::size_t end = text.size();
        if (brk != std::string::npos)
            end = text.compare(brk, 2, "\r\n") == 0 ? brk + 2 : brk + 1;
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
    }

    if (lines.empty())
        return fail(0, "the file is empty");
    const std::string header = trimmed(contentOf(lines[0]));
    if (header != kVersion4 && header != kVersion5)
        return fail(0, std::string("the first line is not ") + kVersion4 + " or " + kVersion5);
    doc.m_version5 = header == kVersion5;
    doc.m_entries.push_back({Kind::Header, lines[0], {}, {}, {}});

    bool inSection = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string t = trimmed(contentOf(lines[i]));
        if (t.empty()) {
            doc.m_entries.push_back({Kind::Blank, lines[i], {}, {}, {}});
            continue;
        }
        if (t[0] == ';') {
            doc.m_entries.push_back({Kind::Comment, lines[i], {}, {}, {}});
            continue;
        }
        if (t[0] == '[') {
            const bool deletion = t.size() > 1 && t[1] == '-';
            const std::size_t from = deletion ? 2 : 1;
            if (t.back() != ']' || t.size() < from + 2)
                return fail(i, "a key line must be [key path] or [-key path]");
            doc.m_entries.push_back({deletion ? Kind::Deleted : Kind::Section,
                                     lines[i],
                                     t.substr(from, t.size() - from - 1),
                                     {},
                                     {}});
            inSection = true;
            continue;
        }
        if (t[0] != '"' && t[0] != '@')
            return fail(i, "not a key, a value, a comment or a blank line");
        if (!inSection)
            return fail(i, "a value before the first key");

        const std::size_t first = i;
        Entry entry{Kind::Value, lines[i], {}, {}, {}};
        std::size_t pos = 0;
        std::string what;
        if (t[0] == '@') {
            pos = 1;
        } else if (!parseQuoted(t, pos, entry.name, what)) {
            return fail(i, what);
        }
        while (pos < t.size() && isBlank(t[pos]))
            ++pos;
        if (pos >= t.size() || t[pos] != '=')
            return fail(i, "a value name must be followed by =");
        ++pos;
        while (pos < t.size() && isBlank(t[pos]))
            ++pos;
        std::string data = t.substr(pos);

        if (!data.empty() && data[0] == '"') {
            std::size_t q = 0;
            std::string value;
            if (!parseQuoted(data, q, value, what))
                return fail(i, what);
            entry.note = trimmed(data.substr(q));
            if (!entry.note.empty() && entry.note[0] != ';')
                return fail(i, "text after the closing quote");
            entry.value = RegValue::text(value);
            doc.m_entries.push_back(std::move(entry));
            continue;
        }
        data = withoutNote(data, entry.note);
        if (data == "-") {
            entry.kind = Kind::Removed;
        } else if (startsNoCase(data, 0, "dword:")) {
            std::uint32_t number = 0;
            if (!parseHex32(trimmed(data.substr(6)), number))
                return fail(i, "dword: takes 1 to 8 hexadecimal digits");
            entry.value = RegValue::dword(number);
        } else if (startsNoCase(data, 0, "hex")) {
            std::size_t p = 3;
            std::uint32_t type = RegBinary;
            if (p < data.size() && data[p] == '(') {
                const std::size_t close = data.find(')', p);
                if (close == std::string::npos ||
                    !parseHex32(data.substr(p + 1, close - p - 1), type))
                    return fail(i, "hex( takes a type number in hexadecimal and )");
                p = close + 1;
            }
            if (p >= data.size() || data[p] != ':')
                return fail(i, "hex data must start with hex: or hex(type):");
            std::string list = data.substr(p + 1);
            // A trailing backslash continues the byte list on the next line.
            while (!list.empty() && list.back() == '\\') {
                list.pop_back();
                if (i + 1 >= lines.size())
                    return fail(i, "the file ends inside continued hex data");
                ++i;
                entry.raw += lines[i];
                entry.note.clear();
                list += withoutNote(trimmed(contentOf(lines[i])), entry.note);
            }
            std::string stored;
            if (!parseByteList(list, stored))
                return fail(first, "hex data must be bytes of two hex digits separated by commas");
            if (isTextType(type)) {
                if (doc.textBytes() == TextBytes::Utf16le) {
                    if (auto decoded = utf8FromUtf16le(stored))
                        stored = std::move(*decoded);
                } else if (doc.textBytes() == TextBytes::Windows1252) {
                    stored = utf8FromWindows1252(stored);
                }
            }
            entry.value = {type, std::move(stored)};
        } else {
            return fail(i, "unknown kind of value data");
        }
        doc.m_entries.push_back(std::move(entry));
    }
    return doc;
}

std::string HiveDocument::serialize() const {
    std::string text;
    for (const auto& e : m_entries)
        text += e.raw;
    // Every line was read from the encoding or checked against it before it came in.
    std::optional<std::string> bytes;
    if (m_encoding == HiveEncoding::Windows1252)
        bytes = windows1252FromUtf8(text);
    else if (m_encoding == HiveEncoding::Utf16le)
        bytes = utf16leFromUtf8(text);
    return m_bom + (bytes ? *bytes : text);
}

std::string HiveDocument::lineBreak() const {
    const std::string ending = m_entries.empty() ? "" : endingOf(m_entries.front().raw);
    return ending.empty() ? "\r\n" : ending;
}

HiveDocument::TextBytes HiveDocument::textBytes() const {
    if (m_version5)
        return TextBytes::Utf16le;
    return m_encoding == HiveEncoding::Utf8 ? TextBytes::AsIs : TextBytes::Windows1252;
}

bool HiveDocument::representable(const std::string& text) const {
    if (m_encoding == HiveEncoding::Windows1252)
        return windows1252FromUtf8(text).has_value();
    // A UTF-8 file with other bytes in it would read as code page 1252 next time.
    return isUtf8(text);
}

void HiveDocument::settleEncodingFor(const std::string& name, const RegValue& value) {
    const bool text = isTextType(value.type);
    if (!m_undecided || (isAscii(name) && (!text || isAscii(value.data))))
        return;
    // REGEDIT4 is Windows' code page, as its registry editor and Wine's read it; text the
    // code page lacks makes the file UTF-8.
    m_undecided = false;
    if (windows1252FromUtf8(name) && (!text || windows1252FromUtf8(value.data)))
        m_encoding = HiveEncoding::Windows1252;
}

bool HiveDocument::covers(const Entry& deletion, const std::string& keyPath) {
    const std::string& deleted = deletion.name;
    if (keyPath.size() < deleted.size() ||
        !equalIgnoringAsciiCase(keyPath.substr(0, deleted.size()), deleted))
        return false;
    return keyPath.size() == deleted.size() || keyPath[deleted.size()] == '\\';
}

bool HiveDocument::isSection(const Entry& e, const std::string& keyPath) const {
    return e.kind == Kind::Section && equalIgnoringAsciiCase(e.name, keyPath);
}

bool HiveDocument::hasKey(const std::string& keyPath) const {
    bool exists = false;
    for (const auto& e : m_entries) {
        if (isSection(e, keyPath))
            exists = true;
        else if (e.kind == Kind::Deleted && covers(e, keyPath))
            exists = false;
    }
    return exists;
}

std::optional<RegValue> HiveDocument::find(const std::string& keyPath,
                                           const std::string& name) const {
    std::optional<RegValue> found;
    bool inKey = false;
    for (const auto& e : m_entries) {
        if (e.kind == Kind::Section) {
            inKey = isSection(e, keyPath);
        } else if (e.kind == Kind::Deleted) {
            // Values after a deletion line belong to no key.
            inKey = false;
            if (covers(e, keyPath))
                found.reset();
        } else if (inKey && equalIgnoringAsciiCase(e.name, name)) {
            if (e.kind == Kind::Value)
                found = e.value;
            else if (e.kind == Kind::Removed)
                found.reset();
        }
    }
    return found;
}

std::string HiveDocument::render(const std::string& name, const RegValue& value,
                                 const std::string& data, const std::string& lineBreak,
                                 bool mayQuote) {
    std::string line = name.empty() ? std::string("@") : quoted(name);
    line += '=';
    const std::string& d = value.data;
    const bool plainText = mayQuote && value.type == RegSz && !d.empty() && d.back() == '\0' &&
                           d.find_first_of(std::string("\r\n\0", 3)) == d.size() - 1;
    if (plainText)
        return line + quoted(d.substr(0, d.size() - 1)) + lineBreak;
    if (value.type == RegDword && d.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | static_cast<unsigned char>(d[static_cast<std::size_t>(i)]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(n));
        return line + buf + lineBreak;
    }
    // Everything else (text with line breaks included) goes as bytes of its type.
    char buf[32];
    if (value.type == RegBinary)
        std::snprintf(buf, sizeof buf, "hex:");
    else
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
    line += buf;
    std::string out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x",
                      static_cast<unsigned>(static_cast<unsigned char>(data[i])));
        line += buf;
        if (i + 1 < data.size()) {
            line += ',';
            if (line.size() >= 76) {
                out += line + "\\" + lineBreak;
                line = "  ";
            }
        }
    }
    return out + line + lineBreak;
}

std::string HiveDocument::valueLine(const std::string& name, const RegValue& value,
                                    const std::string& lineBreak) {
    return render(name, value, value.data, lineBreak, true);
}

std::optional<std::string> HiveDocument::lineFor(const std::string& name, const RegValue& value,
                                                 const std::string& note,
                                                 const std::string& lineBreak) const {
    if (!representable(name))
        return std::nullopt;
    const std::string& d = value.data;
    // Text written in quotes must be text of the file's encoding; else it goes as bytes.
    const bool mayQuote =
        value.type != RegSz || d.empty() || representable(d.substr(0, d.size() - 1));
    std::string data = d;
    if (isTextType(value.type)) {
        std::optional<std::string> bytes = d;
        if (textBytes() == TextBytes::Utf16le)
            bytes = utf16leFromUtf8(d);
        else if (textBytes() == TextBytes::Windows1252)
            bytes = windows1252FromUtf8(d);
        if (!bytes)
            return std::nullopt;
        data = std::move(*bytes);
    }
    std::string line = render(name, value, data, lineBreak, mayQuote);
    if (!note.empty())
        line.insert(line.size() - lineBreak.size(), " " + note);
    return line;
}

bool HiveDocument::set(const std::string& keyPath, const std::string& name, const RegValue& value) {
    if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return false;
    std::size_t lastSection = m_entries.size();
    std::size_t insertAfter = m_entries.size();
    std::vector<std::size_t> matches;
    bool inKey = false;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        if (e.kind == Kind::Section) {
            inKey = isSection(e, keyPath);
            if (inKey)
                lastSection = insertAfter = i;
        } else if (e.kind == Kind::Deleted) {
            inKey = false;
            if (covers(e, keyPath)) {
                // What came before is gone with the key.
                lastSection = m_entries.size();
                matches.clear();
            }
        } else if (inKey && (e.kind == Kind::Value || e.kind == Kind::Removed)) {
            insertAfter = i;
            if (equalIgnoringAsciiCase(e.name, name))
                matches.push_back(i);
        }
    }
    if (lastSection == m_entries.size())
        return false;

    const std::string lb = lineBreak();
    if (!matches.empty()) {
        // The last definition is the live one; it keeps its place, its name's spelling and its
        // comment. A value that already holds what is asked keeps its bytes.
        Entry& live = m_entries[matches.back()];
        if (live.kind == Kind::Value && live.value == value)
            return true;
        settleEncodingFor(live.name, value);
        auto line = lineFor(live.name, value, live.note, lb);
        if (!line)
            return false;
        const std::string ending = endingOf(live.raw);
        if (ending.empty())
            line->resize(line->size() - lb.size());
        else if (ending != lb)
            line = withLineBreaks(*line, ending);
        live.kind = Kind::Value;
        live.raw = std::move(*line);
        live.value = value;
        for (std::size_t k = matches.size() - 1; k-- > 0;)
            m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(matches[k]));
        return true;
    }
    settleEncodingFor(name, value);
    auto line = lineFor(name, value, {}, lb);
    if (!line)
        return false;
    endLine(m_entries[insertAfter].raw, lb);
    m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(insertAfter) + 1,
                     Entry{Kind::Value, std::move(*line), name, value, {}});
    return true;
}

bool HiveDocument::appendKeyFrom(const HiveDocument& source, const std::string& keyPath) {
    const std::string lb = lineBreak();
    std::vector<Entry> added;
    bool inKey = false;
    for (const auto& e : source.m_entries) {
        if (e.kind == Kind::Section || e.kind == Kind::Deleted) {
            inKey = source.isSection(e, keyPath);
            if (inKey && added.empty() && m_entries.back().kind != Kind::Blank)
                added.push_back({Kind::Blank, lb, {}, {}, {}});
        }
        if (!inKey || e.kind == Kind::Header)
            continue;
        Entry copy = e;
        if (e.kind == Kind::Value) {
            // Written anew, in this file's encoding.
            settleEncodingFor(e.name, e.value);
            auto line = lineFor(e.name, e.value, e.note, lb);
            if (!line)
                return false;
            copy.raw = std::move(*line);
        } else {
            if (!representable(copy.raw))
                return false;
            // A comment beyond ASCII settles the file's encoding as it stands.
            m_undecided = m_undecided && isAscii(copy.raw);
            copy.raw = withLineBreaks(copy.raw, lb);
            endLine(copy.raw, lb);
        }
        added.push_back(std::move(copy));
    }
    if (added.empty())
        return true;
    endLine(m_entries.back().raw, lb);
    for (auto& e : added)
        m_entries.push_back(std::move(e));
    return true;
}

} // namespace kvx

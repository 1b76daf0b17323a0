#include "app/settings/hive_format.h"

#include "files/ascii.h"

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
            if (pos < s.size() && (s[pos] == '\\' || s[pos] == '"')) {
                out += s[pos++];
                continue;
            }
            what = "a backslash in quotes must be written \\\\ or come before \"";
            return false;
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

std::string endingOf(const std::string& raw) {
    if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\r\n") == 0)
        return "\r\n";
    if (!raw.empty() && raw.back() == '\n')
        return "\n";
    return "";
}

// Ends a last line that has no line break. A bare carriage return there was read as the end of
// the line, so it goes: kept before the new break, it would become part of the line's text.
void endLine(std::string& raw, const std::string& lineBreak) {
    if (!endingOf(raw).empty())
        return;
    if (!raw.empty() && raw.back() == '\r')
        raw.pop_back();
    raw += lineBreak;
}

std::string withLineBreaks(std::string raw, const std::string& lineBreak) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        if (raw[i] == '\n')
            out += lineBreak;
        else
            out += raw[i];
    }
    return out;
}

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

std::optional<HiveDocument> HiveDocument::parse(const std::string& text, HiveParseError& error) {
    // Physical lines with their line breaks.
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t nl = text.find('\n', pos);
        const std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    auto content = [](const std::string& raw) {
        std::string c = raw;
        if (!c.empty() && c.back() == '\n')
            c.pop_back();
        if (!c.empty() && c.back() == '\r')
            c.pop_back();
        return c;
    };
    auto fail = [&error](std::size_t index, const std::string& what) {
        error.line = static_cast<int>(index) + 1;
        error.what = what;
        return std::optional<HiveDocument>();
    };

    HiveDocument doc;
    if (lines.empty())
        return fail(0, "the file is empty");
    std::string header = content(lines[0]);
    if (header.compare(0, 3, "\xEF\xBB\xBF") == 0)
        header.erase(0, 3);
    if (trimmed(header) != "REGEDIT4")
        return fail(0, "the first line is not REGEDIT4");
    doc.m_entries.push_back({Kind::Header, lines[0], {}, {}});

    bool inSection = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string t = trimmed(content(lines[i]));
        if (t.empty()) {
            doc.m_entries.push_back({Kind::Blank, lines[i], {}, {}});
            continue;
        }
        if (t[0] == ';') {
            doc.m_entries.push_back({Kind::Comment, lines[i], {}, {}});
            continue;
        }
        if (t[0] == '[') {
            if (t.back() != ']' || t.size() < 3)
                return fail(i, "a key line must be [key path]");
            doc.m_entries.push_back({Kind::Section, lines[i], t.substr(1, t.size() - 2), {}});
            inSection = true;
            continue;
        }
        if (t[0] != '"' && t[0] != '@')
            return fail(i, "not a key, a value, a comment or a blank line");
        if (!inSection)
            return fail(i, "a value before the first key");

        const std::size_t first = i;
        Entry entry{Kind::Value, lines[i], {}, {}};
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
        const std::string data = t.substr(pos);

        if (data == "-") {
            entry.kind = Kind::Removed;
        } else if (!data.empty() && data[0] == '"') {
            std::size_t q = 0;
            std::string value;
            if (!parseQuoted(data, q, value, what))
                return fail(i, what);
            if (q != data.size())
                return fail(i, "text after the closing quote");
            entry.value = RegValue::text(value);
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
                list += trimmed(content(lines[i]));
            }
            if (!parseByteList(list, entry.value.data))
                return fail(first, "hex data must be bytes of two hex digits separated by commas");
            entry.value.type = type;
        } else {
            return fail(i, "unknown kind of value data");
        }
        doc.m_entries.push_back(std::move(entry));
    }
    return doc;
}

std::string HiveDocument::serialize() const {
    std::string out;
    for (const auto& e : m_entries)
        out += e.raw;
    return out;
}

std::string HiveDocument::lineBreak() const {
    const std::string ending = m_entries.empty() ? "" : endingOf(m_entries.front().raw);
    return ending.empty() ? "\r\n" : ending;
}

bool HiveDocument::isSection(const Entry& e, const std::string& keyPath) const {
    return e.kind == Kind::Section && equalIgnoringAsciiCase(e.name, keyPath);
}

bool HiveDocument::hasKey(const std::string& keyPath) const {
    for (const auto& e : m_entries)
        if (isSection(e, keyPath))
            return true;
    return false;
}

std::optional<RegValue> HiveDocument::find(const std::string& keyPath,
                                           const std::string& name) const {
    std::optional<RegValue> found;
    bool inKey = false;
    for (const auto& e : m_entries) {
        if (e.kind == Kind::Section)
            inKey = isSection(e, keyPath);
        else if (inKey && equalIgnoringAsciiCase(e.name, name)) {
            if (e.kind == Kind::Value)
                found = e.value;
            else if (e.kind == Kind::Removed)
                found.reset();
        }
    }
    return found;
}

std::string HiveDocument::valueLine(const std::string& name, const RegValue& value,
                                    const std::string& lineBreak) {
    std::string line = name.empty() ? std::string("@") : quoted(name);
    line += '=';
    const std::string& d = value.data;
    const bool plainText = value.type == RegSz && !d.empty() && d.back() == '\0' &&
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
    for (std::size_t i = 0; i < d.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x",
                      static_cast<unsigned>(static_cast<unsigned char>(d[i])));
        line += buf;
        if (i + 1 < d.size()) {
            line += ',';
            if (line.size() >= 76) {
                out += line + "\\" + lineBreak;
                line = "  ";
            }
        }
    }
    return out + line + lineBreak;
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
        // The last definition is the live one; it keeps its place and its name's spelling.
        Entry& live = m_entries[matches.back()];
        const std::string ending = endingOf(live.raw);
        std::string raw = valueLine(live.name, value, lb);
        if (ending.empty())
            raw.resize(raw.size() - lb.size());
        else if (ending != lb)
            raw = withLineBreaks(raw, ending);
        live.kind = Kind::Value;
        live.raw = raw;
        live.value = value;
        for (std::size_t k = matches.size() - 1; k-- > 0;)
            m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(matches[k]));
        return true;
    }
    endLine(m_entries[insertAfter].raw, lb);
    m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(insertAfter) + 1,
                     Entry{Kind::Value, valueLine(name, value, lb), name, value});
    return true;
}

void HiveDocument::appendKeyFrom(const HiveDocument& source, const std::string& keyPath) {
    const std::string lb = lineBreak();
    bool inKey = false;
    for (const auto& e : source.m_entries) {
        if (e.kind == Kind::Section) {
            inKey = source.isSection(e, keyPath);
            if (inKey) {
                endLine(m_entries.back().raw, lb);
                if (m_entries.back().kind != Kind::Blank)
                    m_entries.push_back({Kind::Blank, lb, {}, {}});
            }
        }
        if (inKey && e.kind != Kind::Header) {
            Entry copy = e;
            copy.raw = withLineBreaks(copy.raw, lb);
            endLine(copy.raw, lb);
            m_entries.push_back(std::move(copy));
        }
    }
}

} // namespace kvx

#include "page_text.h"

#include "files/ascii.h"

#include <cstdlib>
#include <utility>

namespace kvx::hhc {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void appendUtf8(std::string& out, unsigned long c) {
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string decodeEntities(const std::string& s) {
    static const struct {
        const char* name;
        const char* text;
    } named[] = {{"amp", "&"},   {"lt", "<"},   {"gt", ">"},
                 {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        std::size_t semi = i + 1; // a reference is short: look no further
        while (semi < s.size() && semi - i <= 12 && s[semi] != ';')
            ++semi;
        if (semi >= s.size() || s[semi] != ';') {
            out += s[i];
            continue;
        }
        const std::string ref = s.substr(i + 1, semi - i - 1);
        bool done = false;
        if (ref.size() >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            const std::string digits = ref.substr(hex ? 2 : 1);
            if (!digits.empty() &&
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") ==
                    std::string::npos) {
                appendUtf8(out, std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10));
                done = true;
            }
        } else {
            for (const auto& n : named)
                if (ref == n.name) {
                    out += n.text;
                    done = true;
                }
        }
        if (done)
            i = semi;
        else
            out += s[i];
    }
    return out;
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// A reference with a scheme ("http:", "mailto:", "javascript:") or a network path.
bool isAbsolute(const std::string& ref) {
    if (ref.rfind("//", 0) == 0 || ref[0] == '/' || ref[0] == '\\')
        return true;
    if (!isAlpha(ref[0]))
        return false;
    for (char c : ref) {
        if (c == ':')
            return true;
        if (!(isAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))
            return false;
    }
    return false;
}

// The link an attribute value stands for, or empty when it names no file of ours.
std::string linkOf(const std::string& value) {
    std::string ref = decodeEntities(value);
    std::size_t a = 0, b = ref.size();
    while (a < b && isSpace(ref[a]))
        ++a;
    while (b > a && isSpace(ref[b - 1]))
        --b;
    ref = ref.substr(a, b - a);
    const std::size_t cut = ref.find_first_of("#?");
    if (cut != std::string::npos)
        ref.erase(cut);
    if (ref.empty() || isAbsolute(ref))
        return {};
    ref = percentDecode(ref);
    if (ref.empty() || ref.back() == '/' || ref.find('\0') != std::string::npos)
        return {};
    return ref;
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

// The attributes of the tag that starts at `i` (just after its name), names in lower case and
// values as written; returns where the tag ends.
std::size_t readAttributes(const std::string& html, std::size_t i, Attributes& attributes) {
    const std::size_t n = html.size();
    while (i < n) {
        while (i < n && (isSpace(html[i]) || html[i] == '/'))
            ++i;
        if (i >= n || html[i] == '>')
            return i;
        const std::size_t nameStart = i;
        while (i < n && !isSpace(html[i]) && html[i] != '=' && html[i] != '>' && html[i] != '/')
            ++i;
        const std::string name = lowerAscii(html.substr(nameStart, i - nameStart));
        if (i == nameStart) {
            ++i; // a stray character
            continue;
        }
        std::size_t j = i;
        while (j < n && isSpace(html[j]))
            ++j;
        if (j >= n || html[j] != '=')
            continue;
        ++j;
        while (j < n && isSpace(html[j]))
            ++j;
        std::string value;
        if (j < n && (html[j] == '"' || html[j] == '\'')) {
            const char quote = html[j];
            const std::size_t end = html.find(quote, j + 1);
            const std::size_t stop = end == std::string::npos ? n : end;
            value = html.substr(j + 1, stop - j - 1);
            i = stop == n ? n : stop + 1;
        } else {
            const std::size_t start = j;
            while (j < n && !isSpace(html[j]) && html[j] != '>')
                ++j;
            value = html.substr(start, j - start);
            i = j;
        }
        attributes.emplace_back(name, std::move(value));
    }
    return i;
}

// Blanks as a reader shows them: runs of white space and no-break spaces make one blank.
class TextOut {
public:
    explicit TextOut(std::string& out) : m_out(out) {}
    void blank() { m_blank = !m_out.empty(); }
    void restart() {
        m_out.clear();
        m_blank = false;
    }
    void add(const std::string& decoded) {
        for (std::size_t i = 0; i < decoded.size(); ++i) {
            const char c = decoded[i];
            if (isSpace(c)) {
                blank();
            } else if (c == '\xC2' && i + 1 < decoded.size() && decoded[i + 1] == '\xA0') {
                blank();
                ++i;
            } else {
                if (m_blank)
                    m_out += ' ';
                m_blank = false;
                m_out += c;
            }
        }
    }

private:
    std::string& m_out;
    bool m_blank = false;
};

// Tags inside a word ("<b>p</b>lan" reads "plan"); any other tag parts words.
bool isInline(const std::string& tag) {
    static const char* const inlineTags[] = {"a",      "abbr", "b",   "big",   "code",
                                             "em",     "font", "i",   "small", "span",
                                             "strong", "sub",  "sup", "tt",    "u"};
    for (const char* t : inlineTags)
        if (tag == t)
            return true;
    return false;
}

// Where the element that holds raw text (a script, a style, a title) ends: at its end tag.
std::size_t rawTextEnd(const std::string& html, std::size_t from, const std::string& tag) {
    const std::string close = "</" + tag;
    for (std::size_t i = html.find("</", from); i != std::string::npos; i = html.find("</", i + 2))
        if (lowerAscii(html.substr(i, close.size())) == close)
            return i;
    return html.size();
}

} // namespace

std::vector<std::string> pageLinks(const std::string& html) {
    std::vector<std::string> links;
    const std::size_t n = html.size();
    std::size_t i = 0;
    while ((i = html.find('<', i)) != std::string::npos) {
        if (html.compare(i, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", i + 4);
            if (end == std::string::npos)
                break;
            i = end + 3;
            continue;
        }
        ++i;
        if (i >= n || !isAlpha(html[i]))
            continue;
        while (i < n && !isSpace(html[i]) && html[i] != '>' && html[i] != '/')
            ++i;
        Attributes attributes;
        i = readAttributes(html, i, attributes);
        for (const auto& [name, value] : attributes) {
            if (name == "href" || name == "src") {
                std::string link = linkOf(value);
                if (!link.empty())
                    links.push_back(std::move(link));
            }
        }
    }
    return links;
}

PageOutline outlinePage(const std::string& html) {
    PageOutline o;
    TextOut body(o.text);
    std::string anchorText;
    TextOut anchor(anchorText);
    bool inAnchor = false;
    const auto endAnchor = [&] {
        if (inAnchor)
            o.anchors.back().text = anchorText;
        inAnchor = false;
    };
    const std::size_t n = html.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t lt = html.find('<', i);
        const std::size_t textEnd = lt == std::string::npos ? n : lt;
        if (textEnd > i) {
            const std::string text = decodeEntities(html.substr(i, textEnd - i));
            body.add(text);
            if (inAnchor)
                anchor.add(text);
        }
        if (lt == std::string::npos)
            break;
        i = lt + 1;
        if (html.compare(lt, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", lt + 4);
            i = end == std::string::npos ? n : end + 3;
            continue;
        }
        const bool closing = i < n && html[i] == '/';
        const std::size_t nameStart = closing ? i + 1 : i;
        if (nameStart >= n || !isAlpha(html[nameStart])) {
            if (html[i] == '!' || html[i] == '?') { // a declaration or processing instruction
                const std::size_t end = html.find('>', i);
                i = end == std::string::npos ? n : end + 1;
                continue;
            }
            body.add("<");
            if (inAnchor)
                anchor.add("<");
            continue;
        }
        std::size_t j = nameStart;
        while (j < n && !isSpace(html[j]) && html[j] != '>' && html[j] != '/')
            ++j;
        const std::string tag = lowerAscii(html.substr(nameStart, j - nameStart));
        Attributes attributes;
        j = readAttributes(html, j, attributes);
        i = j < n ? j + 1 : n;
        if (!isInline(tag)) {
            body.blank();
            if (inAnchor)
                anchor.blank();
        }
        if (closing) {
            if (tag == "a")
                endAnchor();
            continue;
        }
        if (tag == "script" || tag == "style" || tag == "title") {
            const std::size_t end = rawTextEnd(html, i, tag);
            if (tag == "title" && o.title.empty())
                TextOut(o.title).add(decodeEntities(html.substr(i, end - i)));
            i = end;
            continue;
        }
        for (const auto& [name, value] : attributes) {
            if (name == "src" && (tag == "frame" || tag == "iframe")) {
                std::string link = linkOf(value);
                if (!link.empty())
                    o.frames.push_back(std::move(link));
            } else if (name == "href" && tag == "a") {
                endAnchor();
                std::string link = linkOf(value);
                if (!link.empty()) {
                    o.anchors.push_back({std::move(link), std::string()});
                    anchor.restart();
                    inAnchor = true;
                }
            }
        }
    }
    endAnchor();
    return o;
}

} // namespace kvx::hhc

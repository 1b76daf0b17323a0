// A sitemap file is an HTML page whose list items are objects of type "text/sitemap", each with
// a "Name" (the entry's text, or the keyword) and a "Local" (the page's address inside the
// compiled file), the values written as HTML attribute values.
#include "sitemap.h"

#include "chm/code_page.h"
#include "index_compile.h"

#include <set>
#include <utility>

namespace kvx::hhc {

namespace {

// `text` as an attribute value: & " < > as references; the rest in the file's code page,
// Windows-1252, which readers decode the sitemap with, and a character the code page lacks as
// a numeric character reference (readers that decode references show it).
std::string attributeValue(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t wide = chm::nextCharacter(text, i);
        switch (wide) {
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            if (const char byte = chm::windows1252Byte(wide))
                out += byte;
            else
                out += "&#" + std::to_string(static_cast<std::uint32_t>(wide)) + ";";
        }
    }
    return out;
}

// A page's name as the address readers take "Local" for, in ASCII: bytes outside it, and what
// would start an escape, a fragment, a query or a scheme, control bytes and blanks at either
// end percent-encoded.
std::string localAddress(const std::string& name) {
    static const char* const hex = "0123456789ABCDEF";
    const std::size_t firstKept = name.find_first_not_of(' ');
    const std::size_t lastKept = name.find_last_not_of(' ');
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const auto b = static_cast<unsigned char>(c);
        const bool endBlank = c == ' ' && (i < firstKept || i > lastKept);
        if (b < 0x20 || b >= 0x7F || endBlank || c == '%' || c == '#' || c == '?' || c == ':' ||
            c == '\\') {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return attributeValue(out);
}

std::string lastComponent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::vector<ContentsEntry>
contentsOf(const std::string& start,
           const std::function<const PageOutline*(const std::string&)>& outlineOf,
           const std::function<bool(const std::string&)>& compiled) {
    // The pages shown: framesets are walked depth first, in page order, each page once (a
    // frameset that shows itself again stops there).
    std::vector<std::string> shown;
    std::set<std::string> visited{start};
    std::vector<std::pair<std::string, std::size_t>> stack{{start, 0}};
    while (!stack.empty()) {
        auto& [page, next] = stack.back();
        const PageOutline* outline = outlineOf(page);
        if (!outline || outline->frames.empty()) {
            if (outline)
                shown.push_back(page);
            stack.pop_back();
            continue;
        }
        if (next == outline->frames.size()) {
            stack.pop_back();
            continue;
        }
        const std::string frame = resolveLink(page, outline->frames[next++]);
        if (!frame.empty() && compiled(frame) && visited.insert(frame).second)
            stack.emplace_back(frame, 0);
    }

    std::vector<ContentsEntry> entries;
    std::set<std::string> targets;
    for (const std::string& page : shown) {
        for (const PageOutline::Anchor& a : outlineOf(page)->anchors) {
            std::string target = resolveLink(page, a.link);
            if (target.empty() || !compiled(target) || !targets.insert(target).second)
                continue;
            entries.push_back({a.text.empty() ? lastComponent(target) : a.text, std::move(target)});
        }
    }
    return entries;
}

std::string entryName(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i == 0 || i + 2 > text.size() || text[i] != '.' || text[i + 1] != ' ')
        return text;
    const std::string rest = text.substr(i + 2);
    return rest.empty() ? text : rest;
}

std::string sitemapFile(const std::vector<ContentsEntry>& entries, bool keywords) {
    std::string s = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n"
                    "<HTML>\r\n<HEAD>\r\n"
                    "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                    "charset=windows-1252\">\r\n"
                    "</HEAD><BODY>\r\n<UL>\r\n";
    for (const ContentsEntry& e : entries) {
        s += "<LI> <OBJECT type=\"text/sitemap\">\r\n<param name=\"Name\" value=\"";
        s += attributeValue(keywords ? entryName(e.text) : e.text);
        s += "\">\r\n<param name=\"Local\" value=\"";
        s += localAddress(e.target);
        s += "\">\r\n</OBJECT>\r\n";
    }
    s += "</UL>\r\n</BODY></HTML>\r\n";
    return s;
}

} // namespace kvx::hhc

#include "support/index_folder.h"

#include "report/jpeg_writer.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace kvxtest {

namespace {

// Blanks, "&", "#" and accents, in turn.
std::string reportName(int i) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", i);
    switch (i % 3) {
    case 0:
        return std::string("plan ") + number + ".dwg";
    case 1:
        return std::string("R&D #") + number + ".dwg";
    default:
        return std::string("fa\xC3\xA7"
                           "ade \xC3\xA9t\xC3\xA9 ") +
               number + ".dwg";
    }
}

// A name as a link: every byte but letters, digits and ".-_" percent-encoded.
std::string href(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string text(const std::string& name) {
    std::string out;
    for (char c : name)
        out += c == '&' ? std::string("&amp;") : std::string(1, c);
    return out;
}

void write(const std::string& folder, const std::string& name, const std::string& bytes,
           std::vector<std::string>& names) {
    std::ofstream f(folder + "/" + name, std::ios::binary);
    f << bytes;
    if (!f.flush())
        throw std::runtime_error("cannot write " + name);
    names.push_back(name);
}

std::string jpeg() {
    std::vector<unsigned char> rgb(252 * 126 * 3);
    for (int y = 0; y < 126; ++y)
        for (int x = 0; x < 252; ++x) {
            unsigned char* p = &rgb[(y * 252 + x) * 3];
            p[0] = static_cast<unsigned char>(x);
            p[1] = static_cast<unsigned char>(y * 2);
            p[2] = (x / 21 + y / 21) % 2 ? 200 : 60;
        }
    return kvx::encodeJpeg(rgb.data(), 252, 126, 252 * 3);
}

const char* const kHead = "<html><head><meta http-equiv=\"Content-Type\" "
                          "content=\"text/html; charset=utf-8\"></head>\r\n";

} // namespace

std::vector<std::string> writeIndexFolder(const std::string& folder, int reports) {
    std::vector<std::string> names;
    const std::string picture = jpeg();
    std::string list, table = "<table border=\"1\"><tr>\r\n";
    for (int i = 0; i < reports; ++i) {
        const std::string name = reportName(i);
        write(folder, name + ".jpg", picture, names);
        write(folder, name + ".htm",
              std::string(kHead) + "<body><h3>" + text(name) + "</h3><img src=\"" +
                  href(name + ".jpg") + "\" border=\"1\"></body></html>\r\n",
              names);
        list += "<a href=\"" + href(name + ".htm") + "\" target=\"droite\">" + text(name) +
                "</a><br>\r\n";
        table += "<td><a href=\"" + href(name + ".htm") + "\"><img src=\"" + href(name + ".jpg") +
                 "\" width=\"126\" height=\"63\"></a><br>" + text(name) + "</td>\r\n";
        if (i % 3 == 2)
            table += "</tr><tr>\r\n";
    }
    table += "</tr></table>\r\n";
    write(folder, "index.htm",
          "<html><head><title>Index</title></head>\r\n"
          "<frameset rows=\"56,*\"><frame name=\"haut\" src=\"haut.htm\" scrolling=\"no\">\r\n"
          "<frameset cols=\"220,*\"><frame name=\"gauche\" src=\"gauche.htm\">\r\n"
          "<frame name=\"droite\" src=\"droite.htm\"></frameset></frameset></html>\r\n",
          names);
    write(folder, "haut.htm",
          std::string(kHead) +
              "<body bgcolor=\"#008080\"><font color=\"white\"><b>Index of drawings</b></font> "
              "<input type=\"button\" value=\"Print\" "
              "onclick=\"parent.droite.focus();parent.droite.print()\"></body></html>\r\n",
          names);
    write(folder, "gauche.htm", std::string(kHead) + "<body>" + list + "</body></html>\r\n", names);
    write(folder, "miniatures.htm", std::string(kHead) + "<body>" + table + "</body></html>\r\n",
          names);
    write(folder, "droite.htm",
          std::string(kHead) + "<body><a href=\"miniatures.htm\">Pictures</a></body></html>\r\n",
          names);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace kvxtest

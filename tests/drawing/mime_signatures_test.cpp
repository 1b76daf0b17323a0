// The MIME entry's header match and the release table name the same signatures: a release added
// to one and not the other would be a drawing the file managers do not recognise (or a file
// they take for a drawing that the program then calls "Unknown version").

#include "drawing/drawing_version.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

TEST(MimeSignatures, HeaderMatchNamesExactlyTheReleasesTheTableKnows) {
    std::ifstream in(KVX_MIME_XML);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string xml = text.str();
    std::set<std::string> matched;
    const std::string opening = R"(<match type="string" offset="0" value=")";
    for (std::size_t at = xml.find(opening); at != std::string::npos; at = xml.find(opening, at)) {
        at += opening.size();
        const std::size_t end = xml.find('"', at);
        if (end == std::string::npos || xml.compare(end, 3, "\"/>") != 0)
            break;
        matched.insert(xml.substr(at, end - at));
    }

    // Every signature the table holds is "AC" or "MC" and four of these characters, so all such
    // headers are tried.
    const std::string tail = "0123456789. ";
    std::set<std::string> known;
    for (const char* start : {"AC", "MC"})
        for (char a : tail)
            for (char b : tail)
                for (char c : tail)
                    for (char d : tail) {
                        const std::string header = std::string(start) + a + b + c + d;
                        if (kvx::releaseLabel(header) != nullptr)
                            known.insert(header);
                    }
    EXPECT_EQ(known.size(), 30u);
    EXPECT_EQ(matched, known);
}

} // namespace

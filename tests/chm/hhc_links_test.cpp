// Which files a page leads hhc.exe to: the links our index pages and reports write, resolved
// from the page's folder as a compile does, and the ones a compile must not follow.

#include "index_compile.h"

#include <gtest/gtest.h>

namespace {

TEST(HhcLinks, pageLinksResolveToWhatThePagesEncodeInsideTheFolderOnly) {
    const struct {
        const char* page;
        const char* html;
        std::vector<std::string> files; // empty: the link leaves the folder
    } cases[] = {
        // A frame element followed by stray text, as older index pages had.
        {"index.htm",
         "<frame name=\"gauche\" noresize src=\"gauche.htm\">\"><frame src=\"droite.htm\">",
         {"gauche.htm", "droite.htm"}},
        // Percent-encoded '#', blank and a Latin-1 byte; character references; upper case.
        {"index.htm",
         "<A HREF=\"R&amp;D %2312 plan%E9.dwg.htm\" target=\"droite\">",
         {"R&D #12 plan\xE9.dwg.htm"}},
        {"index.htm",
         "<img src=\"fa&#231;ade.dwg.jpg\" width=\"181\"><img src='x&#xE9;.jpg'>",
         {"fa\303\247ade.dwg.jpg", "x\xC3\xA9.jpg"}},
        {"index.htm",
         "<img src = plain.jpg border=1><a href=sub/p.htm><a href=./a%20b.jpg>",
         {"plain.jpg", "sub/p.htm", "a b.jpg"}},
        // Fragments and queries are cut off; a link of a fragment alone names no file.
        {"index.htm",
         "<a href=\"p.htm#top\"><a href=\"q.htm?x=1\"><a href=\"#top\">",
         {"p.htm", "q.htm"}},
        // Relative to the page's folder, never above the top one.
        {"sub/page.htm",
         "<img src=\"pic.jpg\"><a href=\"../index.htm\"><a href=\"../../x.htm\"><a "
         "href=\"a/../../../x.htm\">",
         {"sub/pic.jpg", "index.htm", "", ""}},
        {"index.htm",
         "<a href=\"../x.htm\"><a href=\"a/../../x.htm\"><a href=\"back\\slash.htm\">",
         {"", "", "back\\slash.htm"}},
        // Addresses of other places.
        {"index.htm",
         "<a href=\"http://example.com/a.htm\"><a href=\"mailto:x@y.z\">"
         "<input onclick=\"javascript:parent['droite'].print();\">"
         "<a href=\"javascript:void(0)\"><a href=\"/etc/passwd\"><a href=\"//host/a.htm\">"
         "<a href=\"file:///x.htm\"><a href=\"sub/\"><a href=\"\">",
         {}},
        // Not links: other attributes, text, comments.
        {"index.htm",
         "<p>href=\"text.htm\"</p><!-- <img src=\"old.jpg\"> --><td width=\"38%\">"
         "<a data-href=\"no.htm\" title=\"src=x.htm\">",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        std::vector<std::string> files;
        for (const std::string& link : kvx::hhc::pageLinks(c.html))
            files.push_back(kvx::hhc::resolveLink(c.page, link));
        EXPECT_EQ(files, c.files);
    }
}

} // namespace

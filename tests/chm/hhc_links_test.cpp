// Which files a page leads hhc.exe to: the links our index pages and reports write, and the
// ones a compile must not follow.

#include "index_compile.h"

#include <gtest/gtest.h>

namespace {

using Links = std::vector<std::string>;

TEST(HhcLinks, pageLinksDecodeWhatThePagesEncodeAndSkipWhatIsNotOurs) {
    const struct {
        const char* html;
        Links links;
    } cases[] = {
        // The frameset, with its stray quote and bracket after the first frame.
        {"<frame name=\"gauche\" noresize src=\"gauche.htm\">\"><frame src=\"droite.htm\">",
         {"gauche.htm", "droite.htm"}},
        // Percent-encoded '#', blank and a Latin-1 byte; character references; upper case.
        {"<A HREF=\"R&amp;D %2312 plan%E9.dwg.htm\" target=\"droite\">",
         {"R&D #12 plan\xE9.dwg.htm"}},
        {"<img src=\"fa&#231;ade.dwg.jpg\" width=\"181\"><img src='x&#xE9;.jpg'>",
         {"fa\xC3\xA7"
          "ade.dwg.jpg",
          "x\xC3\xA9.jpg"}},
        {"<img src = plain.jpg border=1><a href=sub/p.htm>", {"plain.jpg", "sub/p.htm"}},
        // Fragments and queries are cut off; a link of a fragment alone names no file.
        {"<a href=\"p.htm#top\"><a href=\"q.htm?x=1\"><a href=\"#top\">", {"p.htm", "q.htm"}},
        // Addresses of other places.
        {"<a href=\"http://example.com/a.htm\"><a href=\"mailto:x@y.z\">"
         "<input onclick=\"javascript:parent['droite'].print();\">"
         "<a href=\"javascript:void(0)\"><a href=\"/etc/passwd\"><a href=\"//host/a.htm\">"
         "<a href=\"file:///x.htm\"><a href=\"sub/\"><a href=\"\">",
         {}},
        // Not links: other attributes, text, comments.
        {"<p>href=\"text.htm\"</p><!-- <img src=\"old.jpg\"> --><td width=\"38%\">"
         "<a data-href=\"no.htm\" title=\"src=x.htm\">",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        EXPECT_EQ(kvx::hhc::pageLinks(c.html), c.links);
    }
}

TEST(HhcLinks, linksResolveInsideTheFolderOnly) {
    const struct {
        const char* page;
        const char* link;
        const char* resolved; // empty: leaves the folder
    } cases[] = {
        {"index.htm", "gauche.htm", "gauche.htm"},
        {"index.htm", "./a b.jpg", "a b.jpg"},
        {"sub/page.htm", "pic.jpg", "sub/pic.jpg"},
        {"sub/page.htm", "../index.htm", "index.htm"},
        {"sub/page.htm", "../../x.htm", ""},
        {"index.htm", "../x.htm", ""},
        {"index.htm", "a/../../x.htm", ""},
        {"index.htm", "back\\slash.htm", "back\\slash.htm"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kvx::hhc::resolveLink(c.page, c.link), c.resolved) << c.page << " " << c.link;
}

} // namespace

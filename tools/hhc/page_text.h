#pragma once
// What the compiler reads in a page: the files it links to, and what a help reader shows of
// it (its title, the frames it is made of, its links with their texts, its visible text).
// Bytes in, bytes out: character references become UTF-8. Plain C++, no Qt.

#include <string>
#include <vector>

namespace kvx::hhc {

// The files a page links to through href and src attributes, as paths relative to the page's
// own folder: HTML character references and percent-encoding decoded, fragments and queries
// cut off. Absolute addresses (a scheme such as http:, mailto:, javascript:, or a leading
// "/") are left out, and so are links to a folder (ending in "/").
std::vector<std::string> pageLinks(const std::string& html);

// Numeric character references and the named ones pages of ours and links carry (amp, lt,
// gt, quot, apos, nbsp), as UTF-8; anything else stays as written.
std::string decodeEntities(const std::string& s);

// What a help reader shows of a page. Texts have their tags stripped, character references
// decoded and every run of blanks (line ends and no-break spaces included) made one blank,
// none at either end.
struct PageOutline {
    std::string title; // of <title>
    // The links of its frames (<frame src>, <iframe src>) in page order, as pageLinks gives
    // them.
    std::vector<std::string> frames;
    struct Anchor {
        std::string link; // as pageLinks gives it
        std::string text;
    };
    std::vector<Anchor> anchors; // <a href> to files of ours, in page order
    std::string text;            // the body's visible text, without scripts and styles
};
PageOutline outlinePage(const std::string& html);

} // namespace kvx::hhc

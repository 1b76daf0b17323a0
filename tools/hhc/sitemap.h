#pragma once
// The contents and the keyword index a compiled index carries, as sitemap files (.hhc, .hhk):
// what help readers show in their Contents and Index tabs. Plain C++, no Qt.

#include "page_text.h"

#include <functional>
#include <string>
#include <vector>

namespace kvx::hhc {

struct ContentsEntry {
    std::string text;   // the link's text as a reader shows it
    std::string target; // the page it leads to, as a path below the folder
};

// The contents of a folder compiled from `start`: the links of the pages its frames show (the
// frames of nested framesets included; the start page itself when it has no frames), in page
// order, each target once. `outlineOf` gives a compiled page's outline (null for a file that is
// no page), `compiled` whether a path below the folder is in the compiled file. A link without
// text is entered under its target's name.
std::vector<ContentsEntry>
contentsOf(const std::string& start,
           const std::function<const PageOutline*(const std::string&)>& outlineOf,
           const std::function<bool(const std::string&)>& compiled);

// An entry's text without the list number it starts with ("1. plan" gives "plan"): the name a
// page is known by, for its title and its keyword.
std::string entryName(const std::string& text);

// The sitemap file listing `entries` under their texts: a contents file, or with `keywords`
// an index whose keywords are the entries' names. Texts are in Windows-1252, the file's code
// page (characters it lacks as character references); pages are addresses in ASCII.
std::string sitemapFile(const std::vector<ContentsEntry>& entries, bool keywords);

} // namespace kvx::hhc

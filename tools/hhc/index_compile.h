#pragma once
// Compiling an index folder into one compiled-help file: index.htm and every file reachable
// from it through relative links inside its folder, each once, and nothing else of the
// folder (a user's own photos and pages stay out). Plain C++, no Qt.

#include "page_text.h"

#include <string>
#include <vector>

namespace kvx::hhc {

enum class CompileError {
    None,
    NoIndexPage,    // the argument is empty or names no readable file
    NotAnHtmlPage,  // the argument does not end in ".htm" or ".html"
    UnreadableLink, // a page links to a file that exists but cannot be read
    BadName,        // a linked file's name cannot go into a compiled file (too long)
    CannotWrite,    // the compiled file could not be written or put in place
};

struct CompileResult {
    CompileError error = CompileError::None;
    std::string message;            // one line a user can act on; empty on success
    std::string output;             // <folder>/hhctest.chm
    std::vector<std::string> files; // what was compiled, as paths below the folder
    // Links left out, one line each: to files that do not exist, or that lead outside the
    // folder (through "..", or a symbolic link to elsewhere). They do not stop the compile; a
    // compile that fails keeps those found before it.
    std::vector<std::string> warnings;
};

// `link` (from pageLinks) taken from the page at `page` (a path below the folder): the path
// below the folder, or empty when it leaves the folder.
std::string resolveLink(const std::string& page, const std::string& link);

// Compiles the folder of `indexPage` (one pair of surrounding double quotes is removed) into
// <folder>/hhctest.chm, replacing an earlier one (or a link there) only once the new one is
// complete. Only regular files whose real path lies inside the folder are read. A killed
// earlier compile's temporary beside the output is removed first. The files are read a few
// at a time ahead of their turn; `threads` compress (0: one a core), and the file is the same
// whatever their count. SOURCE_DATE_EPOCH, when set, is the time written into the file.
CompileResult compileIndexFolder(std::string indexPage, unsigned threads = 0);

} // namespace kvx::hhc

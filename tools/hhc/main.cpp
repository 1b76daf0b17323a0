// hhc.exe: the help compiler of the tool folder. One argument, the path of an index.htm
// (quoted or not); the page and every file it leads to through relative links become
// <folder>/hhctest.chm. Exit 0 only when that file was written, with a warning line on stderr
// for each link left out; otherwise one line on stderr. The show state hint is of no use here.

#include "index_compile.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "hhc.exe: usage: hhc.exe <folder>/index.htm\n");
        return 2;
    }
    // KORVENIX_HHC_THREADS: how many threads compress; one a core when unset.
    const char* threads = std::getenv("KORVENIX_HHC_THREADS");
    const kvx::hhc::CompileResult r = kvx::hhc::compileIndexFolder(
        argv[1], threads ? static_cast<unsigned>(std::strtoul(threads, nullptr, 10)) : 0);
    if (r.error != kvx::hhc::CompileError::None) {
        std::fprintf(stderr, "hhc.exe: %s\n", r.message.c_str());
        return 1;
    }
    for (const std::string& warning : r.warnings)
        std::fprintf(stderr, "hhc.exe: warning: %s\n", warning.c_str());
    return 0;
}

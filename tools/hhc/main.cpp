// hhc.exe: the help compiler of the tool folder. One argument, the path of an index.htm;
// its folder's pages and pictures become <folder>/hhctest.chm. Exit 0 only when that file
// was written; otherwise one line on stderr. The show state hint is of no use here.

#include "chm_project.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "hhc.exe: usage: hhc.exe <folder>/index.htm\n");
        return 2;
    }
    // KORVENIX_CHMCMD names another compiler (tests, benchmarks).
    const char* compiler = std::getenv("KORVENIX_CHMCMD");
    const kvx::hhc::CompileResult r =
        kvx::hhc::compileIndexFolder(argv[1], compiler && *compiler ? compiler : "chmcmd");
    for (const std::string& name : r.leftOut)
        std::fprintf(stderr, "hhc.exe: warning: \"%s\" left out: its name cannot be listed\n",
                     name.c_str());
    if (r.error != kvx::hhc::CompileError::None) {
        std::fprintf(stderr, "hhc.exe: %s\n", r.message.c_str());
        return 1;
    }
    return 0;
}

// hhc.exe: the help compiler of the tool folder. One argument, the path of an index.htm
// (quoted or not); the page and every file it leads to through relative links become
// <folder>/hhctest.chm. Exit 0 only when that file was written, with a warning line on stderr
// for each link left out; otherwise those found before the failure and one line saying why.
// The show state hint is of no use here.

#include "index_compile.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace {

// More threads than this compress no faster on any machine we run on, and a count the system
// cannot start (KORVENIX_HHC_THREADS=100000) would end the compile.
constexpr unsigned long kMaxThreads = 64;

unsigned threadsWanted() {
    const char* text = std::getenv("KORVENIX_HHC_THREADS");
    if (text == nullptr)
        return 0;
    const unsigned long n = std::strtoul(text, nullptr, 10);
    return static_cast<unsigned>(n > kMaxThreads ? kMaxThreads : n);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "hhc.exe: usage: hhc.exe <folder>/index.htm\n");
        return 2;
    }
    // KORVENIX_HHC_THREADS: how many threads compress; one a core when unset.
    kvx::hhc::CompileResult r;
    try {
        r = kvx::hhc::compileIndexFolder(argv[1], threadsWanted());
    } catch (const std::system_error& e) {
        // The system refused a thread (a process limit): nothing was put in place.
        std::fprintf(stderr, "hhc.exe: cannot start the compile's threads: %s\n", e.what());
        return 1;
    }
    // The links left out before a failure are still worth knowing.
    for (const std::string& warning : r.warnings)
        std::fprintf(stderr, "hhc.exe: warning: %s\n", warning.c_str());
    if (r.error != kvx::hhc::CompileError::None) {
        std::fprintf(stderr, "hhc.exe: %s\n", r.message.c_str());
        return 1;
    }
    return 0;
}

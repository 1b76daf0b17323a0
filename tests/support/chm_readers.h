#pragma once
// Independent readers of compiled-help files, for checking what our writer makes: libmspack
// (in memory), chmlib and 7-Zip. Each returns every file it lists, name bytes to content.

#include <mspack.h>

#include <map>
#include <string>
#include <vector>

namespace kvxtest {

// An mspack_system over memory: "in" opened for reading gives `input`; anything opened for
// writing collects into `output`, emptied first.
struct MspackMemory {
    mspack_system sys; // first, so libmspack's pointer to it is one to the whole
    const std::string* input = nullptr;
    std::string output;
    explicit MspackMemory(const std::string& in);
    explicit MspackMemory(std::string&&) = delete; // `input` must outlive it
};

struct ChmReadResult {
    bool ok = false;                          // read whole
    std::string problem;                      // else the first thing that went wrong
    std::map<std::string, std::string> files; // listed: "/..." names only, system files left out
    std::map<std::string, std::string> found; // the names asked for that the lookup finds
};

// libmspack on a file in memory: its listing extracted in directory order, and its own lookup
// (the quick-reference search) of each of `lookups`.
ChmReadResult readWithMspack(const std::string& chmBytes,
                             const std::vector<std::string>& lookups = {});

// chmlib: every entry its enumeration lists, and its lookup by name (which ignores case).
ChmReadResult readWithChmlib(const std::string& chmPath, const std::vector<std::string>& lookups);

// `7z t`, then `7z x` into `outDir` (emptied first): every regular file under it, named
// "/" + its path.
ChmReadResult readWith7z(const std::string& chmPath, const std::string& outDir);

} // namespace kvxtest

#pragma once
// Independent readers of compiled-help files, for checking what our writer makes: libmspack
// (in memory), chmlib and 7-Zip. Each returns every file it finds, name bytes to content.

#include <mspack.h>

#include <map>
#include <string>

namespace kvxtest {

// An mspack_system over memory: "in" opened for reading gives `input`; anything opened for
// writing collects into `output`, emptied first.
struct MspackMemory {
    mspack_system sys; // first, so libmspack's pointer to it is one to the whole
    const std::string* input = nullptr;
    std::string output;
    explicit MspackMemory(const std::string& in);
};

struct ChmReadResult {
    bool ok = false;
    std::string problem;                      // the first thing that went wrong
    std::map<std::string, std::string> files; // "/..." names only; system files left out
};

// libmspack, listing and extracting in directory order from a file held in memory.
ChmReadResult readWithMspack(const std::string& chmBytes);

// libmspack's own lookup of one name (its quick-reference search): the content, when found.
bool findWithMspack(const std::string& chmBytes, const std::string& name, std::string& content);

// chmlib: every entry its enumeration lists, retrieved through what the enumeration gave.
ChmReadResult readWithChmlib(const std::string& chmPath);

// chmlib's lookup by name (case-insensitive: a name differing only in case finds its twin).
bool findWithChmlib(const std::string& chmPath, const std::string& name, std::string& content);

// `7z x` into `outDir` (created), then every regular file under it, named "/" + its path.
// `7z t` is run first; its failure is a failure.
ChmReadResult readWith7z(const std::string& chmPath, const std::string& outDir);

} // namespace kvxtest

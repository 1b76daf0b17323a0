#pragma once
// The help system's own files at the top of a compiled file: they are no pages. Readers look
// them up with the leading "/", as the usual compilers write them. Plain C++, no Qt.

#include <cstddef>
#include <cstring>

namespace kvx::chm {

inline constexpr const char* kSystemFiles[] = {
    "/#SYSTEM", "/#IDXHDR", "/#ITBITS",  "/#STRINGS", "/#WINDOWS",   "/#TOPICS",  "/#URLSTR",
    "/#URLTBL", "/#TOCIDX", "/#SUBSETS", "/#IVB",     "/$FIftiMain", "/$OBJINST", "/$TitleMap"};

// Folders of the help system's own: the keyword and associative-link trees.
inline constexpr const char* kSystemFolders[] = {"/$WWKeywordLinks/", "/$WWAssociativeLinks/"};

// True for one of kSystemFiles, or a name inside one of kSystemFolders.
inline bool isSystemName(const char* name) {
    for (const char* f : kSystemFiles)
        if (std::strcmp(name, f) == 0)
            return true;
    for (const char* f : kSystemFolders)
        if (std::strncmp(name, f, std::strlen(f)) == 0)
            return true;
    return false;
}

} // namespace kvx::chm

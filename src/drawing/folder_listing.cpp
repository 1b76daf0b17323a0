#include "drawing/folder_listing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace kvx {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool lessByName(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = lower(a[i]), y = lower(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

bool matchesMask(std::string_view name, std::string_view mask) {
    // Iterative wildcard match with one backtracking point for the last '*'.
    std::size_t n = 0, m = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || lower(mask[m]) == lower(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            star = m++;
            mark = n;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

namespace {

// The folder's entries whose names do not start with a dot, pass `wanted` and are of the
// kind asked for (a link counts as what it leads to), sorted by name.
template <class Wanted>
FolderListing listEntries(const std::string& folder, bool folders, Wanted wanted) {
    FolderListing out;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        out.error = std::strerror(errno);
        return out;
    }
    const int dirFd = ::dirfd(dir);
    NameList found;
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name.empty() || name[0] == '.' || !wanted(name))
            continue;
        bool kind = e->d_type == (folders ? DT_DIR : DT_REG);
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            kind = ::fstatat(dirFd, e->d_name, &st, 0) == 0 &&
                   (folders ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
        }
        if (kind)
            found.push_back(name);
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        out.error = std::strerror(readError);
        return out;
    }
    found.sort(lessByName);
    out.names = std::move(found);
    out.ok = true;
    return out;
}

} // namespace

FolderListing listFolder(const std::string& folder, const std::string& mask) {
    return listEntries(folder, false,
                       [&mask](std::string_view name) { return matchesMask(name, mask); });
}

FolderListing listSubfolders(const std::string& folder) {
    return listEntries(folder, true, [](std::string_view) { return true; });
}

} // namespace kvx

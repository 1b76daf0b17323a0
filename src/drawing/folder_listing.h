#pragma once
// Reading a folder the way the file lists show it: plain, non-hidden files whose names
// match a mask without regard to letter case, sorted by name. No Qt.

#include "files/name_list.h"

#include <string>
#include <string_view>

namespace kvx {

// "*.dwg" style masks: '*' any run, '?' one character; ASCII letters match either case.
bool matchesMask(std::string_view name, std::string_view mask);

struct FolderListing {
    bool ok = false;
    std::string error; // why the folder could not be read (system text)
    NameList names;
};

// Lists `folder`'s entries that are regular files (a link counts when it leads to one),
// whose names do not start with a dot and match `mask`. Sorted without regard to case,
// ties broken by the bytes. Only the one folder is read: no file is opened.
FolderListing listFolder(const std::string& folder, const std::string& mask);

// `folder`'s sub-folders (a link counts when it leads to one) whose names do not start with a
// dot, sorted as listFolder sorts.
FolderListing listSubfolders(const std::string& folder);

} // namespace kvx

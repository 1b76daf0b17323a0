#pragma once
// Unpacking a compiled-help file into a cache folder of ours, so that the desktop's browser
// can show its pages (and their frames). A .chm is untrusted input: no entry is ever
// written outside the cache folder.

#include <QString>
#include <QStringList>

#include <string>

namespace kvx::hh {

enum class ViewError {
    None,
    CannotOpen,       // the file is missing, unreadable or not a compiled-help file
    CannotWriteCache, // the cache folder or an entry could not be written
    NoTopic,          // no page to show: no default topic, no index.htm, no page at all
    OpenerMissing,    // the browser opener could not be started
};

struct Extraction {
    ViewError error = ViewError::None;
    QString message;     // one line a user can act on; empty on success
    QString folder;      // the cache folder holding the pages
    QString topic;       // the page to show, inside `folder`
    bool reused = false; // the folder was already there for this very file
    QStringList refused; // entries left out for their names
};

// The entry's path relative to the cache folder, or empty when the name is refused:
// "..", "." or empty components (so absolute paths too), control characters, or no "/" in
// front (internal entries).
std::string safeRelativePath(const std::string& entryName);

// $XDG_CACHE_HOME/korvenix31 (default ~/.cache/korvenix31).
QString cacheRoot();

// Unpacks `chmPath` into cacheRoot()/<digest of its path, time and size>/, or reuses that
// folder when it is there; earlier folders of the same file are removed.
Extraction extractToCache(const QString& chmPath, const QString& root = cacheRoot());

} // namespace kvx::hh

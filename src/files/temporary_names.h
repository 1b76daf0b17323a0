#pragma once
// The one naming scheme of the files written beside the file they will replace, and the
// clean-up of what killed writes left: a temporary is ".kvx-tmp-", eight hex digits that stand
// for the name of the file it is meant for, and six random characters. No Qt.

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kvx {

// What a symbolic link at the path to replace stands for.
enum class Links {
    Follow,  // the file it points to is replaced, the link stays (the settings file)
    Replace, // the link itself is replaced, its target never written (files in a drawing
             // folder, where an unpacked archive may hold links to anywhere)
};

// What a temporary's name says of the file it is meant for: a hash of that file's bare name.
class TemporaryKey {
public:
    explicit TemporaryKey(std::string_view name);
    // The key of the name followed by `more` (a report's ".jpg" after the drawing's name).
    TemporaryKey& add(std::string_view more);
    std::uint32_t value() const { return m_value; }

private:
    std::uint32_t m_value = 2166136261u;
};

// The start of every temporary name written for `path` (".kvx-tmp-" and eight hex digits that
// stand for its name); six random characters follow. One short length, so that any name that
// fits the file system can be replaced.
std::string temporaryPrefixFor(const std::string& path);

// The key a temporary's name stands for; false for any other name.
bool keyOfTemporary(std::string_view name, std::uint32_t& key);
// Creates `prefix` + six random letters or digits, not there before, with `mode` (less the
// umask), open for reading and writing; -1 with errno set on failure.
int createTemporary(const std::string& prefix, mode_t mode, std::string& name);

// Removes a temporary unless a writer holds its lock; true when it went.
bool removeUnheldTemporary(const std::string& file);

// Removes the temporaries that interrupted replacements of `path` left, where every writer of
// the file holds a lock on its temporary until it is renamed (the settings file): those no
// writer holds. `links` as the writer of `path` has it. Drawing folders, where another copy's
// batch may have staged files it has not locked, are cleaned with removeLeftoversWhenAlone.
void removeLeftoverTemporaries(const std::string& path, Links links);

} // namespace kvx

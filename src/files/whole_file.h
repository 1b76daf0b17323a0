#pragma once
// Whole files read in one call, and bytes written whole to an open file. No Qt.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvx {

enum class ReadStatus { Ok, Missing, Failed };

// Reads a whole regular file of at most `maxBytes`. `error` says why when not Ok.
ReadStatus readWholeFile(const std::string& path, std::string& bytes, std::string& error,
                         std::size_t maxBytes = 64u << 20);
// The same for a file the caller opened (and closes), read from where it stands; `path` names
// it in `error`.
ReadStatus readWholeFile(int fd, const std::string& path, std::string& bytes, std::string& error,
                         std::size_t maxBytes);

// Writes every byte, at the file's position or, when `offset` is given (0 or more), there
// without moving the position; short and interrupted writes go on. False with errno set.
bool writeAll(int fd, std::string_view bytes, std::int64_t offset = -1);

// "<what> '<path>': <the system's text for err>", as the file helpers word a failure.
std::string describeFailure(const std::string& what, const std::string& path, int err);

} // namespace kvx

#pragma once
// The one way to open a drawing for reading: never blocks (a FIFO named like a drawing cannot
// hang the caller), accepts only a regular file and reads at given offsets. No Qt.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>

namespace kvx {

class DrawingFile {
public:
    explicit DrawingFile(const std::string& path);
    ~DrawingFile();
    DrawingFile(const DrawingFile&) = delete;
    DrawingFile& operator=(const DrawingFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Why the file could not be opened: the system's text and its error number.
    const std::string& error() const { return m_error; }
    int errorNumber() const { return m_errorNumber; }

    // The file's status as it was opened (size, last write).
    const struct stat& status() const { return m_status; }
    std::uint64_t size() const { return static_cast<std::uint64_t>(m_status.st_size); }

    // Reads exactly `count` bytes at `offset`; false on any failure or short read.
    bool readAt(std::uint64_t offset, void* destination, std::size_t count);
    // Reads up to `count` bytes at `offset`: fewer where the file ends, 0 on failure.
    std::size_t readSome(std::uint64_t offset, void* destination, std::size_t count);

private:
    int m_fd = -1;
    int m_errorNumber = 0;
    std::string m_error;
    struct stat m_status {};
};

} // namespace kvx

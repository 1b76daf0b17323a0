#include "files/open_drawing.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kvx {

DrawingFile::DrawingFile(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        m_errorNumber = errno;
        m_error = std::strerror(m_errorNumber);
        return;
    }
    if (::fstat(m_fd, &m_status) != 0) {
        m_errorNumber = errno;
        m_error = std::strerror(m_errorNumber);
    } else if (!S_ISREG(m_status.st_mode)) {
        m_errorNumber = S_ISDIR(m_status.st_mode) ? EISDIR : EINVAL;
        m_error = "not a regular file";
    } else {
        return;
    }
    ::close(m_fd);
    m_fd = -1;
    m_status = {};
}

DrawingFile::~DrawingFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::size_t DrawingFile::readSome(std::uint64_t offset, void* destination, std::size_t count) {
    if (m_fd < 0 || offset >= size())
        return 0;
    if (count > size() - offset)
        count = static_cast<std::size_t>(size() - offset);
    auto* out = static_cast<std::uint8_t*>(destination);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(m_fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // the file shrank under us, or an I/O error
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool DrawingFile::readAt(std::uint64_t offset, void* destination, std::size_t count) {
    if (offset > size() || count > size() - offset)
        return false;
    return readSome(offset, destination, count) == count;
}

} // namespace kvx

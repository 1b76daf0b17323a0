#include "files/whole_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx {

std::string describeFailure(const std::string& what, const std::string& path, int err) {
    return what + " '" + path + "': " + std::strerror(err);
}

bool writeAll(int fd, std::string_view bytes, std::int64_t offset) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = offset < 0
                              ? ::write(fd, bytes.data() + done, bytes.size() - done)
                              : ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                         static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ReadStatus readWholeFile(const std::string& path, std::string& bytes, std::string& error,
                         std::size_t maxBytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        error = describeFailure("cannot open", path, err);
        return err == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    }
    const ReadStatus status = readWholeFile(fd, path, bytes, error, maxBytes);
    ::close(fd);
    return status;
}

ReadStatus readWholeFile(int fd, const std::string& path, std::string& bytes, std::string& error,
                         std::size_t maxBytes) {
    bytes.clear();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "'" + path + "' is not a regular file";
        return ReadStatus::Failed;
    }
    // The size the file has now is read straight into place; a file that grows meanwhile
    // goes on through the buffer.
    std::size_t done = 0;
    if (st.st_size > 0 && static_cast<std::uint64_t>(st.st_size) <= maxBytes) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, &bytes[done], bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = describeFailure("cannot read", path, errno);
                return ReadStatus::Failed;
            }
            if (n == 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
        if (done < static_cast<std::size_t>(st.st_size)) // shrank meanwhile: all read
            return ReadStatus::Ok;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = describeFailure("cannot read", path, errno);
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            error = "'" + path + "' is too large";
            return ReadStatus::Failed;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return ReadStatus::Ok;
}

} // namespace kvx

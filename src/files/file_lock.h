#pragma once
// An exclusive advisory lock on a lock file, given up after a while rather than waited for
// without end. No Qt.

#include <string>

namespace kvx {

// An exclusive advisory lock on a lock file, released when the object goes away.
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Takes the lock on `lockPath`, creating the file when needed. Waits at most
    // `timeoutMs` for another holder to let go: a copy stopped while holding the lock must
    // not freeze this one.
    bool acquire(const std::string& lockPath, std::string& error, int timeoutMs = 2000);
    void release();

private:
    int m_fd = -1;
};

} // namespace kvx

#include "files/file_lock.h"

#include "files/whole_file.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace kvx {

namespace {

// Takes the exclusive lock on `fd` within `timeoutMs`: 0, or the error number (EWOULDBLOCK when
// the time ran out). flock has no time limit, so a contended lock is waited for on a thread of
// its own; polling instead would let a busy writer take the lock again before every poll.
// On failure `fd` is closed, by the waiting thread once it finally holds the lock.
int lockWithin(int fd, int timeoutMs) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
    if (errno != EWOULDBLOCK) {
        const int err = errno;
        ::close(fd);
        return err;
    }
    struct Wait {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool abandoned = false;
        int error = 0;
    };
    auto wait = std::make_shared<Wait>();
    std::thread([wait, fd] {
        int result;
        while ((result = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        const int err = result == 0 ? 0 : errno;
        std::lock_guard<std::mutex> guard(wait->mutex);
        if (wait->abandoned) {
            ::close(fd);
            return;
        }
        wait->finished = true;
        wait->error = err;
        wait->done.notify_one();
    }).detach();
    std::unique_lock<std::mutex> guard(wait->mutex);
    if (!wait->done.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return wait->finished; })) {
        wait->abandoned = true;
        return EWOULDBLOCK;
    }
    if (wait->error != 0)
        ::close(fd);
    return wait->error;
}

} // namespace

FileLock::~FileLock() {
    release();
}

bool FileLock::acquire(const std::string& lockPath, std::string& error, int timeoutMs) {
    release();
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // flock needs no write access: a lock file that may not be written (or, on gvfs's shares,
    // not opened for writing once it exists) is locked through a read-only opening.
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EOPNOTSUPP || errno == ENOTSUP))
        fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = describeFailure("cannot open the lock file", lockPath, errno);
        return false;
    }
    const int err = lockWithin(fd, timeoutMs);
    if (err != 0) {
        error = err == EWOULDBLOCK ? "'" + lockPath + "' is held by another program"
                                   : describeFailure("cannot lock", lockPath, err);
        return false; // the descriptor is closed, now or when the waiting thread gets the lock
    }
    m_fd = fd;
    return true;
}

void FileLock::release() {
    if (m_fd >= 0) {
        ::close(m_fd); // closing drops the lock
        m_fd = -1;
    }
}

} // namespace kvx

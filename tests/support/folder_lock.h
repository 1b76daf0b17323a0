#pragma once
// Makes a folder refuse changes, even to root (tests run as root in CI): permission bits
// for an ordinary user, the file system's immutable flag otherwise.

#include <QFile>
#include <QString>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

class FolderLock {
public:
    explicit FolderLock(const QString& folder) : m_folder(QFile::encodeName(folder)) {
        ::chmod(m_folder.constData(), 0555);
        if (::access(m_folder.constData(), W_OK) != 0) {
            m_locked = true;
            return;
        }
        m_immutable = setImmutable(true);
        m_locked = m_immutable;
    }
    ~FolderLock() {
        if (m_immutable)
            setImmutable(false);
        ::chmod(m_folder.constData(), 0755);
    }
    // False when neither way works here; the test should then be skipped.
    bool locked() const { return m_locked; }

private:
    bool setImmutable(bool on) {
        const int fd = ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }

    QByteArray m_folder;
    bool m_immutable = false;
    bool m_locked = false;
};

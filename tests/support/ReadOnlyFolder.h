#pragma once

#include <QFile>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

// A folder in which nothing can be created or replaced, for as long as the object lives. Mode bits do not
// stop root, so the immutable attribute is set as well; active() is false where neither works, and the test
// should then skip.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& path)
        : m_path(path) {
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ExeOwner);
        if (canCreateIn(m_path))
            setImmutable(true);
    }
    ~ReadOnlyFolder() {
        setImmutable(false);
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool active() const { return !canCreateIn(m_path); }
    static bool canCreateIn(const QString& folder) {
        QFile probe(folder + QStringLiteral("/probe"));
        if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return false;
        const bool written = probe.write("x", 1) == 1 && probe.flush();
        probe.remove();
        return written;
    }

private:
    void setImmutable(bool on) const {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        if (fd >= 0)
            ::close(fd);
    }

    QString m_path;
};

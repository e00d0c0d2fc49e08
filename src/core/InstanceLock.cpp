#include "core/InstanceLock.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process id another holder wrote, 0 when the file says nothing usable
// (it may be half written: the id is only for the message).
qint64 holderPid(int fd)
{
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return 0;
    bool ok = false;
    const qint64 pid = QByteArray(text, static_cast<int>(n)).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

bool sameFile(int fd, const QByteArray& path)
{
    struct stat opened = {};
    struct stat named = {};
    if (::fstat(fd, &opened) != 0 || ::stat(path.constData(), &named) != 0)
        return false;
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

InstanceLock::InstanceLock(const QString& programFolder)
    : m_path(QDir(programFolder).absoluteFilePath(fileName()))
{
}

InstanceLock::~InstanceLock()
{
    release();
}

InstanceLock::Result InstanceLock::acquire()
{
    m_error.clear();
    if (m_fd >= 0)
        return Result::Acquired;
    const QByteArray path = QFile::encodeName(m_path);
    // A holder removes the file when it lets go; a start that opened the old
    // file just before would lock a file nobody else sees. Such a lock is
    // dropped and the named file tried again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            const int error = errno;
            m_error = error == EACCES || error == ENOENT || error == EROFS
                          ? QStringLiteral("Cannot create the lock file %1: permission denied or the folder "
                                           "does not exist")
                                .arg(m_path)
                          : QStringLiteral("Cannot create the lock file %1: %2")
                                .arg(m_path, QString::fromLocal8Bit(std::strerror(error)));
            return Result::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            const qint64 pid = holderPid(fd);
            ::close(fd);
            if (error == EWOULDBLOCK) {
                m_error = QStringLiteral("The engine of %1 is already running (process %2)")
                              .arg(QFileInfo(m_path).absolutePath())
                              .arg(pid);
                return Result::HeldByOther;
            }
            m_error = QStringLiteral("Cannot lock the lock file %1: %2")
                          .arg(m_path, QString::fromLocal8Bit(std::strerror(error)));
            return Result::Failed;
        }
        if (!sameFile(fd, path)) {
            ::close(fd);
            continue;
        }
        const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
        // The id is a courtesy for a second engine's message: failing to
        // write it does not make the lock any less held.
        if (::ftruncate(fd, 0) == 0)
            (void)!::pwrite(fd, pid.constData(), static_cast<size_t>(pid.size()), 0);
        m_fd = fd;
        return Result::Acquired;
    }
    m_error = QStringLiteral("Cannot lock the lock file %1: it keeps being replaced").arg(m_path);
    return Result::Failed;
}

void InstanceLock::release()
{
    if (m_fd < 0)
        return;
    // Removed while still locked, so no other start can lock this file and
    // then see it vanish.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
    m_fd = -1;
}

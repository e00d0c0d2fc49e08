#include "core/InstanceLock.h"

#include <QDir>
#include <QFileInfo>

InstanceLock::InstanceLock(const QString& programFolder)
    : m_path(QDir(programFolder).absoluteFilePath(fileName())), m_lock(std::make_unique<QLockFile>(m_path))
{
    // A live holder keeps the lock however long it runs. QLockFile still
    // takes over a lock whose process is gone (killed, crashed).
    m_lock->setStaleLockTime(0);
}

InstanceLock::Result InstanceLock::acquire()
{
    m_error.clear();
    if (m_lock->isLocked())
        return Result::Acquired;
    if (m_lock->tryLock(0))
        return Result::Acquired;
    switch (m_lock->error()) {
    case QLockFile::LockFailedError: {
        qint64 pid = 0;
        QString host;
        QString app;
        m_lock->getLockInfo(&pid, &host, &app);
        m_error = QStringLiteral("The engine of %1 is already running (process %2)")
                      .arg(QFileInfo(m_path).absolutePath())
                      .arg(pid);
        return Result::HeldByOther;
    }
    case QLockFile::PermissionError:
        m_error =
            QStringLiteral("Cannot create the lock file %1: permission denied or the folder does not exist")
                .arg(m_path);
        break;
    case QLockFile::NoError:
    case QLockFile::UnknownError:
        m_error = QStringLiteral("Cannot create the lock file %1").arg(m_path);
        break;
    }
    return Result::Failed;
}

bool InstanceLock::isLocked() const
{
    return m_lock->isLocked();
}

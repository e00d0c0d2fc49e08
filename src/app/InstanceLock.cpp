#include "app/InstanceLock.h"

#include <QDir>

InstanceLock::InstanceLock(const QString& programFolder)
    : m_path(QDir(programFolder).filePath(QStringLiteral("smsengine.lock"))),
      m_lock(std::make_unique<QLockFile>(m_path))
{
    // A live holder keeps the lock however long it runs; only a lock whose
    // process is gone is stale.
    m_lock->setStaleLockTime(0);
}

bool InstanceLock::tryLock()
{
    if (m_lock->isLocked())
        return true;
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() == QLockFile::LockFailedError && m_lock->removeStaleLockFile())
        return m_lock->tryLock(0);
    return false;
}

bool InstanceLock::isLocked() const
{
    return m_lock->isLocked();
}

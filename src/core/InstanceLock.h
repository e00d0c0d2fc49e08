#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// One engine per program folder: the console and the headless engine take the
// same lock, so two engines never send from one queue. A lock left by a killed
// process is taken over. The lock is released when the object goes.
class InstanceLock
{
public:
    enum class Result
    {
        Acquired,    // this process holds the lock
        HeldByOther, // another running engine holds it
        Failed,      // the lock file cannot be made (folder missing, no permission)
    };

    explicit InstanceLock(const QString& programFolder);

    Result acquire();
    // True when this process now holds the lock.
    bool tryLock() { return acquire() == Result::Acquired; }
    bool isLocked() const;
    QString path() const { return m_path; }
    // Why the last acquire() failed, for a message.
    QString errorString() const { return m_error; }

    static QString fileName() { return QStringLiteral("smsengine.lock"); }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    QString m_error;
};

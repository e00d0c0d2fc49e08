#pragma once

#include <QString>

// One engine per program folder: the console and the headless engine take the
// same lock, so two engines never send from one queue. The lock is a kernel
// lock on smsengine.lock: it goes with its process however that process ends
// (killed, crashed), so a dead engine never blocks the next start, whatever it
// left in the file. The holder's process id is written into the file for the
// message of a second engine only; it decides nothing. The lock is released
// (and the file removed) when the object goes.
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
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result acquire();
    // True when this process now holds the lock.
    bool tryLock() { return acquire() == Result::Acquired; }
    bool isLocked() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    // Why the last acquire() failed, for a message.
    QString errorString() const { return m_error; }

    static QString fileName() { return QStringLiteral("smsengine.lock"); }

private:
    void release();

    QString m_path;
    int m_fd = -1;
    QString m_error;
};

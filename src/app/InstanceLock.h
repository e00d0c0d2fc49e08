#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// One engine per program folder: the console and the headless engine take the
// same lock, so two engines never send from one queue. A lock left by a killed
// process is taken over.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& programFolder);
    // True when this process now holds the lock.
    bool tryLock();
    bool isLocked() const;
    QString path() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

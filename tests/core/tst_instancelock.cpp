#include "core/InstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <unistd.h>

class InstanceLockTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondLockInTheSameProcessFails();
    void releasedLockCanBeTakenAgain();
    void foldersAreIndependent();
    void lockOfAnotherProcessHoldsUntilItIsKilled();
    void staleLockWithDeadProcessIsTakenOver();
    void missingFolderFailsInsteadOfReportingARunningEngine();
};

void InstanceLockTest::secondLockInTheSameProcessFails()
{
    QTemporaryDir dir;
    InstanceLock first(dir.path());
    QCOMPARE(first.acquire(), InstanceLock::Result::Acquired);
    InstanceLock second(dir.path());
    QCOMPARE(second.acquire(), InstanceLock::Result::HeldByOther);
    QVERIFY(!second.isLocked());
    // A plain QLockFile on the same file is refused too.
    QLockFile other(first.path());
    QVERIFY(!other.tryLock(0));
    // Asking again while holding it is fine.
    QCOMPARE(first.acquire(), InstanceLock::Result::Acquired);
}

void InstanceLockTest::releasedLockCanBeTakenAgain()
{
    QTemporaryDir dir;
    {
        InstanceLock first(dir.path());
        QVERIFY(first.tryLock());
        QVERIFY(QFileInfo::exists(first.path()));
    }
    QVERIFY(!QFileInfo::exists(QDir(dir.path()).filePath(InstanceLock::fileName())));
    InstanceLock second(dir.path());
    QVERIFY(second.tryLock());
}

void InstanceLockTest::foldersAreIndependent()
{
    QTemporaryDir a;
    QTemporaryDir b;
    InstanceLock first(a.path());
    InstanceLock second(b.path());
    QVERIFY(first.tryLock());
    QVERIFY(second.tryLock());
}

void InstanceLockTest::lockOfAnotherProcessHoldsUntilItIsKilled()
{
    QTemporaryDir dir;
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-lock"), dir.path()});
    QVERIFY(holder.waitForStarted());
    QVERIFY(holder.waitForReadyRead(10000)); // "locked" once it holds the lock
    QCOMPARE(holder.readLine().trimmed(), QByteArray("locked"));

    InstanceLock lock(dir.path());
    QCOMPARE(lock.acquire(), InstanceLock::Result::HeldByOther);
    QVERIFY(lock.errorString().contains(QString::number(holder.processId())));

    // Killed hard: no chance to remove its lock file.
    ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(QFileInfo::exists(lock.path()));
    QCOMPARE(lock.acquire(), InstanceLock::Result::Acquired);
}

void InstanceLockTest::staleLockWithDeadProcessIsTakenOver()
{
    QTemporaryDir dir;
    QProcess gone;
    gone.start(QStringLiteral("true"));
    QVERIFY(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    QVERIFY(gone.waitForFinished());

    const QString path = QDir(dir.path()).filePath(InstanceLock::fileName());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(deadPid) + "\nsmsengine\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    file.close();

    InstanceLock lock(dir.path());
    QCOMPARE(lock.acquire(), InstanceLock::Result::Acquired);
    qint64 pid = 0;
    QString host;
    QString app;
    QLockFile reader(path);
    QVERIFY(reader.getLockInfo(&pid, &host, &app));
    QCOMPARE(pid, QCoreApplication::applicationPid());
}

void InstanceLockTest::missingFolderFailsInsteadOfReportingARunningEngine()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("gone"));
    InstanceLock lock(missing);
    QCOMPARE(lock.acquire(), InstanceLock::Result::Failed);
    QVERIFY(lock.errorString().contains(missing));
    QVERIFY(!QFileInfo::exists(missing));
}

// With "--hold-lock DIR" this program is the other engine of the test above:
// it takes the lock, says so and waits to be killed.
int main(int argc, char* argv[])
{
    if (argc == 3 && QByteArray(argv[1]) == "--hold-lock") {
        QCoreApplication app(argc, argv);
        InstanceLock lock(QString::fromLocal8Bit(argv[2]));
        if (!lock.tryLock())
            return 1;
        std::printf("locked\n");
        std::fflush(stdout);
        for (int i = 0; i < 600; ++i)
            ::usleep(100000);
        return 0;
    }
    QCoreApplication app(argc, argv);
    InstanceLockTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_instancelock.moc"

#include "core/InstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

class InstanceLockTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oneHolderPerFolder()
    {
        QTemporaryDir dir;
        QTemporaryDir otherDir;
        {
            InstanceLock first(dir.path());
            QCOMPARE(first.acquire(), InstanceLock::Result::Acquired);
            QCOMPARE(first.acquire(), InstanceLock::Result::Acquired); // asking again while holding it
            InstanceLock second(dir.path());
            QCOMPARE(second.acquire(), InstanceLock::Result::HeldByOther);
            QVERIFY(!second.isLocked());
            QLockFile plain(first.path());
            QVERIFY(!plain.tryLock(0));
            InstanceLock elsewhere(otherDir.path());
            QVERIFY(elsewhere.tryLock());
        }
        // Released with its holder: the file is gone and the lock can be taken again.
        QVERIFY(!QFileInfo::exists(QDir(dir.path()).filePath(InstanceLock::fileName())));
        InstanceLock again(dir.path());
        QVERIFY(again.tryLock());
    }
    void lockOfAnotherProcessHoldsUntilItIsKilled()
    {
        QTemporaryDir dir;
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {u"--hold-lock"_s, dir.path()});
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
    void missingFolderFailsInsteadOfReportingARunningEngine()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(u"gone"_s);
        InstanceLock lock(missing);
        QCOMPARE(lock.acquire(), InstanceLock::Result::Failed);
        QVERIFY(lock.errorString().contains(missing));
        QVERIFY(!QFileInfo::exists(missing));
    }
};

// With "--hold-lock DIR" this program is the other engine of the test above:
// it takes the lock, says so and waits to be killed.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--hold-lock") {
        InstanceLock lock(QString::fromLocal8Bit(argv[2]));
        if (!lock.tryLock())
            return 1;
        std::printf("locked\n");
        std::fflush(stdout);
        ::sleep(60);
        return 0;
    }
    InstanceLockTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_instancelock.moc"

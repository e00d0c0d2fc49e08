#include "core/InstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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
    void leftoversOfAKilledStartDoNotBlock_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("takeoverLeftover");
        QTest::addRow("empty lock file") << QByteArray() << false;
        QTest::addRow("empty lock file and an empty takeover file") << QByteArray() << true;
        QTest::addRow("id of a live process that holds nothing")
            << QByteArray::number(static_cast<qint64>(::getppid())) + '\n'
            << false;
        QTest::addRow("half-written content") << QByteArray("12\0\0garbage", 12) << true;
    }
    void leftoversOfAKilledStartDoNotBlock()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, takeoverLeftover);
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(InstanceLock::fileName());
        QFile leftover(path);
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.write(content);
        leftover.close();
        if (takeoverLeftover) {
            QFile rm(path + u".rmlock"_s);
            QVERIFY(rm.open(QIODevice::WriteOnly));
        }

        InstanceLock lock(dir.path());
        QCOMPARE(lock.acquire(), InstanceLock::Result::Acquired);
        QVERIFY(leftover.open(QIODevice::ReadOnly));
        QCOMPARE(leftover.readAll().trimmed(), QByteArray::number(QCoreApplication::applicationPid()));
        InstanceLock second(dir.path());
        QCOMPARE(second.acquire(), InstanceLock::Result::HeldByOther);
        QVERIFY(second.errorString().contains(QString::number(QCoreApplication::applicationPid())));
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

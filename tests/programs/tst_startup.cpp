#include "ScriptedPrompt.h"
#include "StoreFixture.h"
#include "core/Startup.h"
#include "programs/smsengine/EngineProgram.h"

#include <QProcess>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void failuresAreShownAndLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("messagePart");
        using S = StartupResult::Status;
        const auto storeRow = [](const char* name, const QString& setup, const char* part) {
            QTest::addRow("%s", name) << setup << int(S::StoreUnavailable) << Startup::ExitStoreError << part;
        };
        storeRow("program folder missing", u"missing-folder"_s, "does not exist");
        storeRow("store missing", u"no-store"_s, "smsctl init");
        storeRow("not a database", u"not-a-database"_s, "not a database");
        storeRow("store without config", u"no-config"_s, "no table config");
        storeRow("older store locked by another program", u"locked-old-store"_s, "locked");
        QTest::addRow("no default profile") << u"no-default"_s << int(S::ProfileNotFound)
                                            << Startup::ExitNoDefaultProfile << " Please Call Administrator ";
        QTest::addRow("Null in the default profile")
            << u"null-provider"_s << int(S::ProfileFailed) << Startup::ExitProfileError << "config.Provider";
    }
    void failuresAreShownAndLeaveNothingBehind()
    {
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(int, exitCode);
        QFETCH(QString, messagePart);
        StoreFixture f;
        QString folder = f.home();
        if (setup == u"missing-folder"_s) {
            folder = f.path(u"nowhere"_s);
        } else if (setup == u"no-store"_s) {
            folder = f.path(u"empty"_s);
            QVERIFY(QDir().mkpath(folder));
        } else if (setup == u"not-a-database"_s) {
            folder = QFileInfo(f.writeFile(u"bad/SMS.db"_s, QByteArray(2048, 'x'))).path();
        } else if (setup == u"no-config"_s) {
            f.store().exec(u"DROP TABLE config"_s);
        } else if (setup == u"no-default"_s) {
            f.addProfile(u"alice"_s);
        } else if (setup == u"null-provider"_s) {
            f.addProfile(u"alice"_s, {{u"Defult"_s, 1}, {u"Provider"_s, QVariant()}});
        } else if (setup == u"locked-old-store"_s) {
            f.addProfile(u"alice"_s, {{u"Defult"_s, 1}});
            for (const char* index : {"ix_sms_poll", "ix_sms_poll_asked"})
                f.store().exec(u"DROP INDEX %1"_s.arg(QLatin1String(index)));
            f.store().exec(u"ALTER TABLE sms DROP COLUMN Try"_s);
            f.store().exec(u"BEGIN IMMEDIATE"_s);
        }
        const QStringList before = entries(f.home());
        QString message;
        {
            const StartupResult result = Startup::run(folder);
            QCOMPARE(int(result.status), status);
            QCOMPARE(result.exitCode(), exitCode);
            QVERIFY(!result.context);
            QVERIFY2(result.message.contains(messagePart), qPrintable(result.message));
            if (result.status == StartupResult::Status::StoreUnavailable)
                QVERIFY2(result.message.contains(u"SMS.db"_s), qPrintable(result.message));
            message = result.message;
        }
        // The program shows exactly that, as its one message, and no console.
        ScriptedPrompt prompt;
        bool consoleShown = false;
        QCOMPARE(runEngineProgram(folder,
                                  [&](EngineContext&) {
                                      consoleShown = true;
                                      return 0;
                                  }),
                 exitCode);
        QVERIFY(!consoleShown);
        QCOMPARE(prompt.messageTexts(), QStringList{message});
        QCOMPARE(prompt.messages.first().title, QString());
        QCOMPARE(prompt.messages.first().icon, Prompt::Icon::Critical);
        // Nothing is left behind: no store, no folder, no lock file.
        QCOMPARE(entries(f.home()), before);
        if (setup == u"locked-old-store"_s)
            f.store().rollback();
    }
    void storeOpenToOthersIsNarrowed_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("narrowed");
        QTest::newRow("readable by everyone") << 0644 << 0600;
        QTest::newRow("writable by the group") << 0660 << 0600;
        QTest::newRow("owner only already") << 0600 << 0600;
        QTest::newRow("read-only for its owner, readable by others") << 0444 << 0400;
    }
    void storeOpenToOthersIsNarrowed()
    {
        QFETCH(int, mode);
        QFETCH(int, narrowed);
        StoreFixture f;
        f.addProfile(u"alice"_s, {{u"Defult"_s, 1}});
        const QString path = Startup::storePath(f.home());
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);

        const StartupResult result = Startup::run(f.home());
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), narrowed);
        QCOMPARE(result.notes.size(), mode == narrowed ? 0 : 1);
        for (const QString& note : result.notes)
            QVERIFY2(note.contains(u"owner only"_s) && note.contains(path), qPrintable(note));
        ::chmod(QFile::encodeName(path).constData(), 0600);
    }
    void readyOnAnOlderStore()
    {
        StoreFixture f;
        f.addProfile(u"old"_s, {{u"Defult"_s, 1}, {u"balstr"_s, u"b?u=<uname>"_s}, {u"ConSrt"_s, u"c"_s}});
        f.ledger(u"1"_s);
        // Without GSMSet, the Try column and GsmSid, as an older engine left it: the profile can only load
        // once the store is upgraded.
        for (const char* sql : {"DROP TABLE GSMSet", "DROP INDEX ix_sms_poll", "DROP INDEX ix_sms_poll_asked",
                                "ALTER TABLE sms DROP COLUMN Try", "ALTER TABLE config DROP COLUMN GsmSid"})
            f.store().exec(QString::fromLatin1(sql));
        const StartupResult result = Startup::run(f.home());
        QVERIFY2(result.ready(), qPrintable(result.message));
        QCOMPARE(result.exitCode(), 0);
        QVERIFY(result.lock && result.lock->isLocked());
        EngineContext& context = *result.context;
        QCOMPARE(context.programFolder(), QDir(f.home()).absolutePath());
        QCOMPARE(context.modemPort(), qint16(1)); // no GSMSet table before the upgrade
        QCOMPARE(context.profile().userName, u"old"_s);
        QCOMPARE(context.profile().balanceUrl, u"b?u=old"_s);
        QVERIFY(context.profile().httpGateway);
        QCOMPARE(context.profile().gsmSid, QString()); // the column was only just added
        QVERIFY(Schema::missingTables(context.store()).isEmpty());
        QCOMPARE(context.store().scalar(u"SELECT Try FROM sms"_s).toInt(), 0);
        QCOMPARE(result.upgrade.structuralChanges().size(), 3);
    }
    void programHandsTheReadyContextToTheConsole()
    {
        StoreFixture f;
        f.addProfile(u"alice"_s, {{u"Defult"_s, 1}});
        f.insert(u"GSMSet"_s, {{u"Comm"_s, u"3"_s}});
        ScriptedPrompt prompt;
        QString loaded;
        int calls = 0, port = 0;
        const int status = runEngineProgram(f.home(), [&](EngineContext& context) {
            ++calls;
            loaded = context.profile().userName;
            port = context.modemPort();
            // While the console runs, a second start is turned away silently.
            const StartupResult second = Startup::run(f.home());
            return second.status == StartupResult::Status::AlreadyRunning && second.exitCode() == 0 &&
                           second.message.isEmpty() && !second.context
                       ? 7
                       : 8;
        });
        QCOMPARE(calls, 1);
        QCOMPARE(loaded, u"alice"_s);
        QCOMPARE(port, 3);
        QCOMPARE(status, 7);
        QCOMPARE(runEngineProgram(f.home()), 0);
        QVERIFY(prompt.messages.isEmpty());
    }
    void engineExecutableEndsSilently_data()
    {
        QTest::addColumn<bool>("holdLock");
        QTest::addRow("loads the default profile and keeps running behind its console") << false;
        QTest::addRow("a second instance ends at once") << true;
    }
    void engineExecutableEndsSilently()
    {
        QFETCH(bool, holdLock);
        StoreFixture f;
        f.addProfile(u"alice"_s, {{u"Defult"_s, 1}});
        InstanceLock lock(f.home());
        if (holdLock)
            QVERIFY(lock.tryLock());

        QTemporaryDir runtime;
        QProcess engine;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"SMSENGINE_HOME"_s, f.home());
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        env.insert(u"XDG_CONFIG_HOME"_s, runtime.path());
        engine.setProcessEnvironment(env);
        const QString program = qEnvironmentVariable("SMS_BINARY_DIR") + u"/bin/smsengine"_s;
        engine.start(program, {});
        QVERIFY2(engine.waitForStarted(), qPrintable(program));

        if (!holdLock) {
            // Started: the console is up and the engine holds the program folder.
            QVERIFY2(!engine.waitForFinished(2000), engine.readAllStandardError().constData());
            QVERIFY(!lock.tryLock());
            engine.kill();
            engine.waitForFinished(10000);
            // A lock left by the killed engine is taken over.
            QVERIFY(lock.tryLock());
            return;
        }
        QVERIFY(engine.waitForFinished(60000));
        QCOMPARE(engine.exitStatus(), QProcess::NormalExit);
        QCOMPARE(engine.exitCode(), 0);
        QCOMPARE(engine.readAllStandardOutput(), QByteArray());
        QCOMPARE(engine.readAllStandardError(), QByteArray());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"

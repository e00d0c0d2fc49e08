#include "ScriptedPrompt.h"
#include "StoreFixture.h"
#include "core/Startup.h"
#include "programs/smsengine/EngineProgram.h"

#include <QProcess>
#include <QTest>

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
    void failuresAreShownAndLeaveNothingBehind_data();
    void failuresAreShownAndLeaveNothingBehind();
    void readyOnAnOlderStore();
    void secondStartIsAlreadyRunning();
    void programHandsTheReadyContextToTheConsole();
    void engineExecutableEndsSilently_data();
    void engineExecutableEndsSilently();
};

void StartupTest::failuresAreShownAndLeaveNothingBehind_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("messagePart");
    using S = StartupResult::Status;
    QTest::newRow("program folder missing")
        << "missing-folder" << int(S::StoreUnavailable) << Startup::ExitStoreError << "does not exist";
    QTest::newRow("store missing") << "no-store" << int(S::StoreUnavailable) << Startup::ExitStoreError
                                   << "smsctl init";
    QTest::newRow("not a database") << "not-a-database" << int(S::StoreUnavailable) << Startup::ExitStoreError
                                    << "not a database";
    QTest::newRow("store without config")
        << "no-config" << int(S::StoreUnavailable) << Startup::ExitStoreError << "no table config";
    QTest::newRow("no default profile") << "no-default" << int(S::ProfileNotFound)
                                        << Startup::ExitNoDefaultProfile << " Please Call Administrator ";
    QTest::newRow("Null in the default profile")
        << "null-provider" << int(S::ProfileFailed) << Startup::ExitProfileError << "config.Provider";
    QTest::newRow("older store locked by another program")
        << "locked-old-store" << int(S::StoreUnavailable) << Startup::ExitStoreError << "locked";
}

void StartupTest::failuresAreShownAndLeaveNothingBehind()
{
    QFETCH(QString, setup);
    QFETCH(int, status);
    QFETCH(int, exitCode);
    QFETCH(QString, messagePart);
    StoreFixture f;
    QString folder = f.home();
    if (setup == QStringLiteral("missing-folder")) {
        folder = f.path(QStringLiteral("nowhere"));
    } else if (setup == QStringLiteral("no-store")) {
        folder = f.path(QStringLiteral("empty"));
        QVERIFY(QDir().mkpath(folder));
    } else if (setup == QStringLiteral("not-a-database")) {
        folder = QFileInfo(f.writeFile(QStringLiteral("bad/SMS.db"), QByteArray(2048, 'x'))).path();
    } else if (setup == QStringLiteral("no-config")) {
        f.store().exec(QStringLiteral("DROP TABLE config"));
    } else if (setup == QStringLiteral("no-default")) {
        f.addProfile(QStringLiteral("alice"));
    } else if (setup == QStringLiteral("null-provider")) {
        f.addProfile(QStringLiteral("alice"),
                     {{QStringLiteral("Defult"), 1}, {QStringLiteral("Provider"), QVariant()}});
    } else if (setup == QStringLiteral("locked-old-store")) {
        f.addProfile(QStringLiteral("alice"), {{QStringLiteral("Defult"), 1}});
        f.store().exec(QStringLiteral("DROP INDEX ix_sms_poll"));
        f.store().exec(QStringLiteral("ALTER TABLE sms DROP COLUMN Try"));
        f.store().exec(QStringLiteral("BEGIN IMMEDIATE"));
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
            QVERIFY2(result.message.contains(QStringLiteral("SMS.db")), qPrintable(result.message));
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
    if (setup == QStringLiteral("locked-old-store"))
        f.store().rollback();
}

void StartupTest::readyOnAnOlderStore()
{
    StoreFixture f;
    const QString folder = f.path(QStringLiteral("old"));
    {
        QVERIFY(QDir().mkpath(folder));
        auto store = Store::openFile(folder + QStringLiteral("/SMS.db"), true);
        for (const char* sql : {"CREATE TABLE config (UName text, Password text, Provider text, balstr text, "
                                "TmInterval integer, "
                                "Smsid integer, ConSrt text, Defult integer)",
                                "CREATE TABLE Rsms (Mobile text, msg text, RDtTM text, urgent integer, typ "
                                "integer, Extra1 text)",
                                "CREATE TABLE sms (Mobile text, msg text, RDtTM text, SDTTm datetime, typ "
                                "integer, ANS text(50), "
                                "Status text, Extra1 text)",
                                "INSERT INTO sms (Mobile, Status) VALUES ('1', 'P')",
                                "INSERT INTO config VALUES ('old', 'pw', 'http://gw/s?to=<mobile>&m=<msg>', "
                                "'b?u=<uname>', 9000, 41, "
                                "'c', 1)"})
            store->exec(QString::fromLatin1(sql));
    }
    const StartupResult result = Startup::run(folder);
    QVERIFY2(result.ready(), qPrintable(result.message));
    QCOMPARE(result.exitCode(), 0);
    QVERIFY(result.lock && result.lock->isLocked());
    EngineContext& context = *result.context;
    QCOMPARE(context.programFolder(), QDir(folder).absolutePath());
    QCOMPARE(context.modemPort(), qint16(1)); // no GSMSet table before the upgrade
    QCOMPARE(context.profile().userName, QStringLiteral("old"));
    QCOMPARE(context.profile().balanceUrl, QStringLiteral("b?u=old"));
    QCOMPARE(context.profile().interval, 9000);
    QVERIFY(context.profile().httpGateway);
    QCOMPARE(context.profile().gsmSid, QString()); // the column was only just added
    QVERIFY(Schema::missingTables(context.store()).isEmpty());
    QCOMPARE(context.store().scalar(QStringLiteral("SELECT Try FROM sms")).toInt(), 0);
    QCOMPARE(result.upgrade.structuralChanges().size(), 11);
}

void StartupTest::secondStartIsAlreadyRunning()
{
    StoreFixture f;
    f.addProfile(QStringLiteral("alice"), {{QStringLiteral("Defult"), 1}});
    f.insert(QStringLiteral("GSMSet"), {{QStringLiteral("Comm"), QStringLiteral("3")}});
    const StartupResult first = Startup::run(f.home());
    QVERIFY(first.ready());
    QCOMPARE(int(first.context->modemPort()), 3);
    const StartupResult second = Startup::run(f.home());
    QCOMPARE(second.status, StartupResult::Status::AlreadyRunning);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(second.message.isEmpty());
    QVERIFY(!second.context);
}

void StartupTest::programHandsTheReadyContextToTheConsole()
{
    StoreFixture f;
    f.addProfile(QStringLiteral("alice"), {{QStringLiteral("Defult"), 1}});
    ScriptedPrompt prompt;
    QString loaded;
    int calls = 0;
    const int status = runEngineProgram(f.home(), [&](EngineContext& context) {
        ++calls;
        loaded = context.profile().userName;
        // While the console runs, a second start is turned away silently.
        return Startup::run(f.home()).status == StartupResult::Status::AlreadyRunning ? 7 : 8;
    });
    QCOMPARE(calls, 1);
    QCOMPARE(loaded, QStringLiteral("alice"));
    QCOMPARE(status, 7);
    // Without a console the program ends after the load with status 0.
    QCOMPARE(runEngineProgram(f.home()), 0);
    QVERIFY(prompt.messages.isEmpty());
}

void StartupTest::engineExecutableEndsSilently_data()
{
    QTest::addColumn<bool>("holdLock");
    QTest::newRow("loads the default profile and keeps running behind its console") << false;
    QTest::newRow("a second instance ends at once") << true;
}

void StartupTest::engineExecutableEndsSilently()
{
    QFETCH(bool, holdLock);
    StoreFixture f;
    f.addProfile(QStringLiteral("alice"), {{QStringLiteral("Defult"), 1}});
    InstanceLock lock(f.home());
    if (holdLock)
        QVERIFY(lock.tryLock());

    QTemporaryDir runtime;
    QProcess engine;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SMSENGINE_HOME"), f.home());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.path());
    engine.setProcessEnvironment(env);
    const QString program = qEnvironmentVariable("SMS_BINARY_DIR") + QStringLiteral("/bin/smsengine");
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

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"

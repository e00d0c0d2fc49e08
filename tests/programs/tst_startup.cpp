#include "CoreTestSupport.h"

#include "core/ProfileLoader.h"
#include "core/Startup.h"
#include "programs/smsengine/EngineProgram.h"
#include "ui/Prompt.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace CoreTest;

namespace {
// Records every message instead of showing it.
class ScriptedPrompt : public Prompt
{
public:
    struct Shown
    {
        QString title;
        QString text;
        Icon icon;
    };
    QList<Shown> shown;

    void message(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        shown.append({title, text, icon});
    }
    Answer question(QWidget*, const QString&, const QString&) override { return Answer::No; }
    bool input(QWidget*, const QString&, const QString&, QString&) override { return false; }
    QString openFileName(QWidget*, const QString&, const QString&) override { return QString(); }
};

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

QString smsengine()
{
    return qEnvironmentVariable("SMS_BINARY_DIR") + QStringLiteral("/bin/smsengine");
}
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void failures_data();
    void failures();
    void readyOnAnOlderStore();
    void modemPortIsReadBeforeTheUpgrade_data();
    void modemPortIsReadBeforeTheUpgrade();
    void secondStartIsAlreadyRunning();

    void programShowsWhatStartupFound_data();
    void programShowsWhatStartupFound();
    void programHandsTheReadyContextToTheConsole();
    void engineExecutableEndsSilently_data();
    void engineExecutableEndsSilently();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    ScriptedPrompt m_prompt;
};

void StartupTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_prompt.shown.clear();
    Prompt::install(&m_prompt);
}

void StartupTest::cleanup()
{
    Prompt::install(nullptr);
    m_dir.reset();
}

// Builds the program folder that a case names.
static QString prepare(const QString& folder, const QString& setup)
{
    if (setup == QStringLiteral("missing-folder"))
        return QDir(folder).filePath(QStringLiteral("nowhere"));
    if (setup == QStringLiteral("no-store"))
        return folder;
    if (setup == QStringLiteral("not-a-database")) {
        writeFile(QDir(folder).filePath(QStringLiteral("SMS.db")), QByteArray(2048, 'x'));
        return folder;
    }
    auto store = Store::openFile(QDir(folder).filePath(QStringLiteral("SMS.db")), true);
    if (setup == QStringLiteral("no-config")) {
        store->exec(QStringLiteral("CREATE TABLE sms (Mobile text)"));
        return folder;
    }
    Schema::createMissingTables(*store);
    if (setup == QStringLiteral("no-default")) {
        insertProfile(*store, profileRow(QStringLiteral("alice"), false));
    } else if (setup == QStringLiteral("null-provider")) {
        QVariantMap row = profileRow(QStringLiteral("alice"), true);
        row[QStringLiteral("Provider")] = QVariant();
        insertProfile(*store, row);
    } else if (setup == QStringLiteral("send-url-without-msg")) {
        QVariantMap row = profileRow(QStringLiteral("alice"), true);
        row[QStringLiteral("Provider")] = QStringLiteral("http://gw.example/send?to=<mobile>");
        insertProfile(*store, row);
    } else if (setup == QStringLiteral("ready") || setup == QStringLiteral("locked-old-store")) {
        insertProfile(*store, profileRow(QStringLiteral("alice"), true));
    }
    return folder;
}

void StartupTest::failures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("program folder missing")
        << "missing-folder" << int(StartupResult::Status::StoreUnavailable) << Startup::ExitStoreError
        << "does not exist";
    QTest::newRow("store missing") << "no-store" << int(StartupResult::Status::StoreUnavailable)
                                   << Startup::ExitStoreError << "smsctl init";
    QTest::newRow("not a database") << "not-a-database" << int(StartupResult::Status::StoreUnavailable)
                                    << Startup::ExitStoreError << "not a database";
    QTest::newRow("store without config") << "no-config" << int(StartupResult::Status::StoreUnavailable)
                                          << Startup::ExitStoreError << "no table config";
    QTest::newRow("no default profile") << "no-default" << int(StartupResult::Status::ProfileNotFound)
                                        << Startup::ExitNoDefaultProfile << " Please Call Administrator ";
    QTest::newRow("Null in the default profile")
        << "null-provider" << int(StartupResult::Status::ProfileFailed) << Startup::ExitProfileError
        << "config.Provider";
    QTest::newRow("default profile whose send URL has no text")
        << "send-url-without-msg" << int(StartupResult::Status::ProfileFailed) << Startup::ExitProfileError
        << "no <msg>";
    QTest::newRow("older store locked by another program")
        << "locked-old-store" << int(StartupResult::Status::StoreUnavailable) << Startup::ExitStoreError
        << "locked";
}

void StartupTest::failures()
{
    QFETCH(QString, setup);
    QFETCH(int, status);
    QFETCH(int, exitCode);
    QFETCH(QString, messagePart);
    const QString folder = prepare(m_dir->path(), setup);
    std::unique_ptr<Store> holder;
    if (setup == QStringLiteral("locked-old-store")) {
        holder = Store::openFile(QDir(folder).filePath(QStringLiteral("SMS.db")), false);
        holder->exec(QStringLiteral("ALTER TABLE sms DROP COLUMN Try"));
        holder->exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    const QStringList before = entries(m_dir->path());
    {
        const StartupResult result = Startup::run(folder);
        QCOMPARE(int(result.status), status);
        QCOMPARE(result.exitCode(), exitCode);
        QVERIFY(!result.context);
        QVERIFY2(result.message.contains(messagePart), qPrintable(result.message));
        if (result.status == StartupResult::Status::StoreUnavailable)
            QVERIFY2(result.message.contains(QStringLiteral("SMS.db")), qPrintable(result.message));
    }
    // Nothing is left behind: no store, no folder, no lock file.
    QCOMPARE(entries(m_dir->path()), before);
}

void StartupTest::readyOnAnOlderStore()
{
    {
        auto store = Store::openFile(m_dir->filePath(QStringLiteral("SMS.db")), true);
        store->exec(
            QStringLiteral("CREATE TABLE config (UName text, Password text, Provider text, balstr text, "
                           "TmInterval integer, Smsid integer, ConSrt text, Defult integer)"));
        store->exec(QStringLiteral("CREATE TABLE Rsms (Mobile text, msg text, RDtTM text, urgent integer, "
                                   "typ integer, Extra1 text)"));
        store->exec(QStringLiteral("CREATE TABLE sms (Mobile text, msg text, RDtTM text, SDTTm datetime, "
                                   "typ integer, ANS text(50), Status text, Extra1 text)"));
        store->exec(QStringLiteral("INSERT INTO sms (Mobile, Status) VALUES ('1', 'P')"));
        store->exec(
            QStringLiteral("INSERT INTO config VALUES ('old', 'pw', 'http://gw/s?to=<mobile>&m=<msg>', "
                           "'b?u=<uname>', 9000, 41, 'c', 1)"));
    }
    const StartupResult result = Startup::run(m_dir->path());
    QVERIFY2(result.ready(), qPrintable(result.message));
    QCOMPARE(result.exitCode(), 0);
    QVERIFY(result.lock && result.lock->isLocked());
    EngineContext& context = *result.context;
    QCOMPARE(context.programFolder(), QDir(m_dir->path()).absolutePath());
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

void StartupTest::modemPortIsReadBeforeTheUpgrade_data()
{
    QTest::addColumn<QString>("comm");
    QTest::addColumn<int>("expected");
    QTest::newRow("3") << "3" << 3;
    QTest::newRow("x") << "x" << 1;
}

void StartupTest::modemPortIsReadBeforeTheUpgrade()
{
    QFETCH(QString, comm);
    QFETCH(int, expected);
    {
        auto store = Store::openFile(m_dir->filePath(QStringLiteral("SMS.db")), true);
        Schema::createMissingTables(*store);
        insertProfile(*store, profileRow(QStringLiteral("alice"), true));
        store->exec(QStringLiteral("INSERT INTO GSMSet (Comm) VALUES (?)"), {comm});
    }
    const StartupResult result = Startup::run(m_dir->path());
    QVERIFY2(result.ready(), qPrintable(result.message));
    QCOMPARE(int(result.context->modemPort()), expected);
}

void StartupTest::secondStartIsAlreadyRunning()
{
    prepare(m_dir->path(), QStringLiteral("ready"));
    const StartupResult first = Startup::run(m_dir->path());
    QVERIFY(first.ready());
    const StartupResult second = Startup::run(m_dir->path());
    QCOMPARE(second.status, StartupResult::Status::AlreadyRunning);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(second.message.isEmpty());
    QVERIFY(!second.context);
}

void StartupTest::programShowsWhatStartupFound_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("text"); // exact text, or a part of it after "~"
    QTest::newRow("no default profile") << "no-default" << 3 << " Please Call Administrator ";
    QTest::newRow("store missing") << "no-store" << 1 << "~smsctl init";
    QTest::newRow("Null in the profile") << "null-provider" << 4 << "~config.Provider";
}

void StartupTest::programShowsWhatStartupFound()
{
    QFETCH(QString, setup);
    QFETCH(int, exitCode);
    QFETCH(QString, text);
    const QString folder = prepare(m_dir->path(), setup);
    bool consoleShown = false;
    const int status = runEngineProgram(folder, [&](EngineContext&) {
        consoleShown = true;
        return 0;
    });
    QCOMPARE(status, exitCode);
    QVERIFY(!consoleShown);
    QCOMPARE(m_prompt.shown.size(), 1);
    const ScriptedPrompt::Shown& shown = m_prompt.shown.first();
    QCOMPARE(shown.title, QString());
    QCOMPARE(shown.icon, Prompt::Icon::Critical);
    if (text.startsWith(u'~'))
        QVERIFY2(shown.text.contains(text.mid(1)), qPrintable(shown.text));
    else
        QCOMPARE(shown.text, text);
}

void StartupTest::programHandsTheReadyContextToTheConsole()
{
    prepare(m_dir->path(), QStringLiteral("ready"));
    QString loaded;
    int calls = 0;
    const int status = runEngineProgram(m_dir->path(), [&](EngineContext& context) {
        ++calls;
        loaded = context.profile().userName;
        // While the console runs, a second start is turned away silently.
        const StartupResult second = Startup::run(m_dir->path());
        return second.status == StartupResult::Status::AlreadyRunning ? 7 : 8;
    });
    QCOMPARE(calls, 1);
    QCOMPARE(loaded, QStringLiteral("alice"));
    QCOMPARE(status, 7);
    QVERIFY(m_prompt.shown.isEmpty());
    // Without a console the program ends after the load with status 0.
    QCOMPARE(runEngineProgram(m_dir->path()), 0);
    QVERIFY(m_prompt.shown.isEmpty());
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
    prepare(m_dir->path(), QStringLiteral("ready"));
    InstanceLock lock(m_dir->path());
    if (holdLock)
        QVERIFY(lock.tryLock());

    QTemporaryDir runtime;
    QProcess engine;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SMSENGINE_HOME"), m_dir->path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.path());
    engine.setProcessEnvironment(env);
    engine.start(smsengine(), {});
    QVERIFY2(engine.waitForStarted(), qPrintable(smsengine()));

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

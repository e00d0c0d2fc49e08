#include "CoreTestSupport.h"

#include "core/ModemPortNumber.h"
#include "core/Startup.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace CoreTest;

namespace {
struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// Per-user settings of the smsctl runs, apart from the user's own.
QString g_configHome;

// Runs the built smsctl; home (when not empty) goes in SMSENGINE_HOME, and
// reportHost (when not empty) in SMSENGINE_REPORT_HOST.
Run smsctl(const QStringList& args, const QString& home = QString(), const QString& reportHost = QString())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("SMSENGINE_HOME"));
    if (!home.isEmpty())
        env.insert(QStringLiteral("SMSENGINE_HOME"), home);
    env.remove(QStringLiteral("SMSENGINE_REPORT_HOST"));
    if (!reportHost.isEmpty())
        env.insert(QStringLiteral("SMSENGINE_REPORT_HOST"), reportHost);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), g_configHome);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("SMS_BINARY_DIR") + QStringLiteral("/bin/smsctl"), args);
    Run r;
    if (!p.waitForStarted() || !p.waitForFinished(60000))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QStringList homeArgs(const QString& home, const QStringList& rest)
{
    return QStringList{QStringLiteral("--home"), home} + rest;
}

QStringList addArgs(const QString& user, const QStringList& extra = {})
{
    return QStringList{QStringLiteral("profile"),
                       QStringLiteral("add"),
                       QStringLiteral("--user"),
                       user,
                       QStringLiteral("--password"),
                       QStringLiteral("Pw-") + user + QStringLiteral("-9x7"),
                       QStringLiteral("--send-url"),
                       QStringLiteral("http://127.0.0.1:9/send?u=<UName>&to=<mobile>&m=<msg>")} +
           extra;
}
} // namespace

class SmsctlTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void initCreatesAndIsSafeToRepeat();
    void initUpgradesAnOlderStore();
    void initOnALockedStoreFails();
    void homeComesFromTheEnvironment();
    void profileAddThenList();
    void defaultMovesToTheNewDefault();
    void duplicateUserIsRefused_data();
    void duplicateUserIsRefused();
    void sendUrlThatCannotCarryTheMessageIsRefused_data();
    void sendUrlThatCannotCarryTheMessageIsRefused();
    void addWarnsWhatTheProfileWillNotDo_data();
    void addWarnsWhatTheProfileWillNotDo();
    void reportHost_data();
    void reportHost();
    void badArguments_data();
    void badArguments();
    void commandsNeedAStore_data();
    void commandsNeedAStore();
    void modemPortIsStored();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home;
};

void SmsctlTest::initTestCase()
{
    const QString exe = qEnvironmentVariable("SMS_BINARY_DIR") + QStringLiteral("/bin/smsctl");
    QVERIFY2(QFileInfo(exe).isExecutable(),
             qPrintable(exe + QStringLiteral(" is not built (run through ctest)")));
}

void SmsctlTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_home = m_dir->filePath(QStringLiteral("home"));
    g_configHome = m_dir->filePath(QStringLiteral("config"));
}

void SmsctlTest::cleanup()
{
    m_dir.reset();
}

void SmsctlTest::initCreatesAndIsSafeToRepeat()
{
    const Run first = smsctl(homeArgs(m_home, {QStringLiteral("init")}));
    QCOMPARE(first.status, 0);
    QVERIFY2(first.out.contains(QStringLiteral("Created the store")), qPrintable(first.out));
    QVERIFY(first.err.isEmpty());
    const QString db = QDir(m_home).filePath(QStringLiteral("SMS.db"));
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(db).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0600));
    {
        auto store = Store::openFile(db, false);
        QVERIFY(Schema::missingTables(*store).isEmpty());
        insertProfile(*store, profileRow(QStringLiteral("kept"), true));
    }

    const Run second = smsctl(homeArgs(m_home, {QStringLiteral("init")}));
    QCOMPARE(second.status, 0);
    QVERIFY2(second.out.contains(QStringLiteral("up to date")), qPrintable(second.out));
    QVERIFY(!second.out.contains(QStringLiteral("Created")));
    auto store = Store::openFile(db, false);
    QCOMPARE(store->scalar(QStringLiteral("SELECT UName FROM config")).toString(), QStringLiteral("kept"));
}

void SmsctlTest::initUpgradesAnOlderStore()
{
    QVERIFY(QDir().mkpath(m_home));
    const QString db = QDir(m_home).filePath(QStringLiteral("SMS.db"));
    {
        auto store = Store::openFile(db, true);
        store->exec(QStringLiteral("CREATE TABLE sms (Mobile text, Status text)"));
        store->exec(QStringLiteral("INSERT INTO sms VALUES ('1', 'P')"));
    }
    ::chmod(QFile::encodeName(db).constData(), 0644);
    const Run r = smsctl(homeArgs(m_home, {QStringLiteral("init")}));
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("Restricted the permissions")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("Created the tables config, Rsms")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("add Try")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("set Try to 0 in 1 ")), qPrintable(r.out));
    auto store = Store::openFile(db, false);
    QVERIFY(Schema::missingTables(*store).isEmpty());
    QCOMPARE(store->scalar(QStringLiteral("SELECT Try FROM sms")).toInt(), 0);
}

void SmsctlTest::initOnALockedStoreFails()
{
    QVERIFY(QDir().mkpath(m_home));
    const QString db = QDir(m_home).filePath(QStringLiteral("SMS.db"));
    {
        auto store = Store::openFile(db, true);
        Schema::createMissingTables(*store);
        store->exec(QStringLiteral("ALTER TABLE sms DROP COLUMN Try"));
    }
    {
        // Another program writing to the store.
        auto other = Store::openFile(db, false);
        other->exec(QStringLiteral("BEGIN IMMEDIATE"));
        const Run r = smsctl(homeArgs(m_home, {QStringLiteral("init")}));
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("locked")), qPrintable(r.err));
        QVERIFY2(!r.out.contains(QStringLiteral("up to date")), qPrintable(r.out));
        other->rollback();
    }
    auto store = Store::openFile(db, false);
    QVERIFY(!columns(*store, QStringLiteral("sms")).contains(QStringLiteral("try")));
    const Run again = smsctl(homeArgs(m_home, {QStringLiteral("init")}));
    QCOMPARE(again.status, 0);
    QVERIFY2(again.out.contains(QStringLiteral("add Try")), qPrintable(again.out));
}

void SmsctlTest::homeComesFromTheEnvironment()
{
    QCOMPARE(smsctl({QStringLiteral("init")}, m_home).status, 0);
    QVERIFY(QFileInfo::exists(QDir(m_home).filePath(QStringLiteral("SMS.db"))));
    // --home wins over the environment.
    const QString other = m_dir->filePath(QStringLiteral("other"));
    QCOMPARE(smsctl(homeArgs(other, {QStringLiteral("init")}), m_home).status, 0);
    QVERIFY(QFileInfo::exists(QDir(other).filePath(QStringLiteral("SMS.db"))));
}

void SmsctlTest::profileAddThenList()
{
    QCOMPARE(smsctl(homeArgs(m_home, {QStringLiteral("init")})).status, 0);
    const Run add = smsctl(homeArgs(
        m_home, addArgs(QStringLiteral("alice"),
                        {QStringLiteral("--report-url"), QStringLiteral("http://127.0.0.1:9/r?id=<MassgeID>"),
                         QStringLiteral("--gsm-sid"), QStringLiteral("GSM1"), QStringLiteral("--interval"),
                         QStringLiteral("2500"), QStringLiteral("--smsid"), QStringLiteral("12"),
                         QStringLiteral("--consrt"), QStringLiteral("C"), QStringLiteral("--default")})));
    QCOMPARE(add.status, 0);
    QVERIFY2(add.out.contains(QStringLiteral("alice")), qPrintable(add.out));
    QVERIFY2(add.err.isEmpty(), qPrintable(add.err)); // HTTP on, reports polled: nothing to warn about
    QVERIFY(smsctl(homeArgs(m_home, addArgs(QStringLiteral("bob")))).status == 0);

    const Run list = smsctl(homeArgs(m_home, {QStringLiteral("profile"), QStringLiteral("list")}));
    QCOMPARE(list.status, 0);
    const QStringList lines = list.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4); // header, rule, two profiles
    QVERIFY(lines[2].startsWith(QStringLiteral("alice ")));
    QVERIFY(lines[2].contains(QStringLiteral(" yes ")));
    QVERIFY(lines[2].contains(QStringLiteral("2500")));
    QVERIFY(lines[3].startsWith(QStringLiteral("bob ")));
    QVERIFY(lines[3].contains(QStringLiteral(" no ")));
    QVERIFY2(!list.out.contains(QStringLiteral("Pw-")), qPrintable(list.out));

    // The engine starts on the store smsctl made and loads alice.
    const StartupResult start = Startup::run(m_home);
    QVERIFY2(start.ready(), qPrintable(start.message));
    const ProfileState& p = start.context->profile();
    QCOMPARE(p.userName, QStringLiteral("alice"));
    QCOMPARE(p.password, QStringLiteral("Pw-alice-9x7"));
    QCOMPARE(p.reportUrl, QStringLiteral("http://127.0.0.1:9/r?id=<MassgeID>"));
    QCOMPARE(p.gsmSid, QStringLiteral("GSM1"));
    QCOMPARE(p.cdmaSid, QString());
    QCOMPARE(p.interval, 2500);
    QCOMPARE(p.smsId, 12);
    QVERIFY(p.httpGateway);
    // Options not given are stored as Null.
    QVERIFY(
        start.context->store()
            .scalar(QStringLiteral("SELECT balstr IS NULL AND CDMASid IS NULL FROM config WHERE UName = ?"),
                    {QStringLiteral("alice")})
            .toBool());
}

void SmsctlTest::defaultMovesToTheNewDefault()
{
    QCOMPARE(smsctl(homeArgs(m_home, {QStringLiteral("init")})).status, 0);
    QCOMPARE(smsctl(homeArgs(m_home, addArgs(QStringLiteral("a"), {QStringLiteral("--default")}))).status, 0);
    QCOMPARE(smsctl(homeArgs(m_home, addArgs(QStringLiteral("b")))).status, 0);
    QCOMPARE(smsctl(homeArgs(m_home, addArgs(QStringLiteral("c"), {QStringLiteral("--default")}))).status, 0);
    auto store = Store::openFile(QDir(m_home).filePath(QStringLiteral("SMS.db")), false);
    QSqlQuery q = store->query(QStringLiteral("SELECT UName, Defult FROM config ORDER BY rowid"));
    QStringList seen;
    while (q.next())
        seen << q.value(0).toString() + u'=' + q.value(1).toString();
    QCOMPARE(seen, QStringList({"a=0", "b=0", "c=1"}));
}

void SmsctlTest::duplicateUserIsRefused_data()
{
    QTest::addColumn<QString>("second");
    QTest::newRow("same name") << "alice";
    QTest::newRow("same name in another case") << "ALICE";
}

void SmsctlTest::duplicateUserIsRefused()
{
    QFETCH(QString, second);
    QCOMPARE(smsctl(homeArgs(m_home, {QStringLiteral("init")})).status, 0);
    QCOMPARE(smsctl(homeArgs(m_home, addArgs(QStringLiteral("alice"), {QStringLiteral("--default")}))).status,
             0);
    const Run r = smsctl(homeArgs(m_home, addArgs(second, {QStringLiteral("--default")})));
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err.count(u'\n'), 1);
    QVERIFY2(r.err.contains(QStringLiteral("already exists")), qPrintable(r.err));
    // Nothing changed: still one row, still the default.
    auto store = Store::openFile(QDir(m_home).filePath(QStringLiteral("SMS.db")), false);
    QCOMPARE(store->scalar(QStringLiteral("SELECT count(*) FROM config")).toInt(), 1);
    QCOMPARE(store->scalar(QStringLiteral("SELECT Defult FROM config")).toInt(), 1);
}

void SmsctlTest::sendUrlThatCannotCarryTheMessageIsRefused_data()
{
    QTest::addColumn<QString>("sendUrl");
    QTest::addColumn<QString>("missing");
    QTest::newRow("no number") << "http://h/send?m=<msg>"
                               << "no <mobile>";
    QTest::newRow("no text") << "http://h/send?to=<mobile>"
                             << "no <msg>";
    QTest::newRow("neither") << "http://h/send"
                             << "no <mobile> and no <msg>";
    QTest::newRow("placeholders in another letter case") << "http://h/send?to=<MOBILE>&m=<Msg>"
                                                         << "no <mobile> and no <msg>";
}

void SmsctlTest::sendUrlThatCannotCarryTheMessageIsRefused()
{
    QFETCH(QString, sendUrl);
    QFETCH(QString, missing);
    QCOMPARE(smsctl(homeArgs(m_home, {QStringLiteral("init")})).status, 0);
    const Run r = smsctl(homeArgs(m_home, {"profile", "add", "--user", "u", "--password", "p", "--send-url",
                                           sendUrl, "--consrt", "C", "--default"}));
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err.count(u'\n'), 1);
    QVERIFY2(r.err.contains(missing), qPrintable(r.err));
    auto store = Store::openFile(QDir(m_home).filePath(QStringLiteral("SMS.db")), false);
    QCOMPARE(store->scalar(QStringLiteral("SELECT count(*) FROM config")).toInt(), 0);
}

void SmsctlTest::addWarnsWhatTheProfileWillNotDo_data()
{
    QTest::addColumn<QString>("sendUrl");
    QTest::addColumn<QStringList>("extra");    // further options of profile add
    QTest::addColumn<QString>("setHost");      // stored with "config report-host" first
    QTest::addColumn<QString>("envHost");      // SMSENGINE_REPORT_HOST
    QTest::addColumn<QStringList>("warnings"); // parts of the one warning line

    const QString local = QStringLiteral("http://127.0.0.1:9/s?to=<mobile>&m=<msg>");
    const QString remote = QStringLiteral("http://gw.example/s?to=<mobile>&m=<msg>");
    const QStringList report{"--consrt", "C", "--report-url", "http://gw.example/r?id=<MassgeID>"};
    QTest::newRow("HTTP gateway off") << local << QStringList{} << ""
                                      << "" << QStringList{"HTTP gateway", "--consrt C"};
    QTest::newRow("server mode: HTTP gateway off") << local << QStringList{"--consrt", "db.example"} << ""
                                                   << "" << QStringList{"HTTP gateway", "names a server"};
    QTest::newRow("send URL without the default report host")
        << remote << report << ""
        << "" << QStringList{"report host 127.0.0.1", "smsctl config report-host"};
    QTest::newRow("report host set for the user") << local << report << "gw.example"
                                                  << "" << QStringList{"report host gw.example"};
    QTest::newRow("report host from the environment")
        << local << report << ""
        << "gw.example" << QStringList{"report host gw.example", "SMSENGINE_REPORT_HOST"};
}

void SmsctlTest::addWarnsWhatTheProfileWillNotDo()
{
    QFETCH(QString, sendUrl);
    QFETCH(QStringList, extra);
    QFETCH(QString, setHost);
    QFETCH(QString, envHost);
    QFETCH(QStringList, warnings);
    QCOMPARE(smsctl(homeArgs(m_home, {QStringLiteral("init")})).status, 0);
    if (!setHost.isEmpty())
        QCOMPARE(smsctl({"config", "report-host", setHost}).status, 0);
    const Run r = smsctl(homeArgs(m_home, QStringList{"profile", "add", "--user", "u", "--password", "p",
                                                      "--send-url", sendUrl} +
                                              extra),
                         QString(), envHost);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("Added the gateway profile 'u'")), qPrintable(r.out));
    const QStringList lines = r.err.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(QStringLiteral("smsctl: warning: ")), qPrintable(r.err));
    for (const QString& w : warnings)
        QVERIFY2(lines.first().contains(w), qPrintable(r.err));
}

void SmsctlTest::reportHost_data()
{
    QTest::addColumn<QString>("setHost"); // stored first, when not empty
    QTest::addColumn<QString>("envHost");
    QTest::addColumn<QString>("shown");      // the line "config report-host" prints
    QTest::addColumn<QString>("setWarning"); // part of the warning when storing, if any
    QTest::newRow("nothing set") << ""
                                 << ""
                                 << "Report host: 127.0.0.1 (the default)"
                                 << "";
    QTest::newRow("set for the user")
        << "gw.example"
        << ""
        << "Report host: gw.example (from the per-user setting Engine/ReportHost in "
        << "";
    QTest::newRow("environment over the setting")
        << "gw.example"
        << "env.example"
        << "Report host: env.example (from the environment variable SMSENGINE_REPORT_HOST)"
        << "SMSENGINE_REPORT_HOST is set to env.example and takes precedence";
}

void SmsctlTest::reportHost()
{
    QFETCH(QString, setHost);
    QFETCH(QString, envHost);
    QFETCH(QString, shown);
    QFETCH(QString, setWarning);
    if (!setHost.isEmpty()) {
        const Run set = smsctl({"config", "report-host", setHost}, QString(), envHost);
        QCOMPARE(set.status, 0);
        QVERIFY2(set.out.startsWith(QStringLiteral("Report host set to ") + setHost), qPrintable(set.out));
        QCOMPARE(set.err.isEmpty(), setWarning.isEmpty());
        QVERIFY2(set.err.contains(setWarning), qPrintable(set.err));
    }
    const Run show = smsctl({"config", "report-host"}, QString(), envHost);
    QCOMPARE(show.status, 0);
    QVERIFY2(show.out.startsWith(shown), qPrintable(show.out));
}

void SmsctlTest::badArguments_data()
{
    QTest::addColumn<QStringList>("args"); // after --home
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"frobnicate"};
    QTest::newRow("init with an argument") << QStringList{"init", "now"};
    QTest::newRow("profile without subcommand") << QStringList{"profile"};
    QTest::newRow("unknown profile subcommand") << QStringList{"profile", "remove"};
    QTest::newRow("missing --user") << QStringList{"profile", "add",        "--password",
                                                   "p",       "--send-url", "http://h/"};
    QTest::newRow("missing --send-url") << QStringList{"profile", "add", "--user", "u", "--password", "p"};
    QTest::newRow("unknown option") << addArgs("u", {"--colour", "red"});
    QTest::newRow("option without value") << addArgs("u", {"--interval"});
    QTest::newRow("option twice") << addArgs("u", {"--user", "v"});
    QTest::newRow("interval not a number") << addArgs("u", {"--interval", "fast"});
    QTest::newRow("interval zero") << addArgs("u", {"--interval", "0"});
    QTest::newRow("smsid negative") << addArgs("u", {"--smsid", "-1"});
    QTest::newRow("send URL not http")
        << QStringList{"profile", "add", "--user", "u", "--password", "p", "--send-url", "ftp://h/x"};
    QTest::newRow("user longer than the ledger keeps") << addArgs("a-very-long-username");
    QTest::newRow("sender id too long") << addArgs("u", {"--gsm-sid", "1234567890123456"});
    QTest::newRow("flag with a value") << addArgs("u", {"--default=yes"});
    QTest::newRow("modem port 0") << QStringList{"modem", "--port", "0"};
    QTest::newRow("modem port 100") << QStringList{"modem", "--port", "100"};
    QTest::newRow("modem port text") << QStringList{"modem", "--port", "com3"};
}

void SmsctlTest::badArguments()
{
    QFETCH(QStringList, args);
    QCOMPARE(smsctl(homeArgs(m_home, {QStringLiteral("init")})).status, 0);
    const QString db = QDir(m_home).filePath(QStringLiteral("SMS.db"));
    const QByteArray before = [&] {
        QFile f(db);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const Run r = smsctl(homeArgs(m_home, args));
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.startsWith(QStringLiteral("smsctl: ")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("Usage: smsctl")), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QFile f(db);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void SmsctlTest::commandsNeedAStore_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("profile list") << QStringList{"profile", "list"};
    QTest::newRow("profile add") << addArgs("u");
    QTest::newRow("modem") << QStringList{"modem", "--port", "3"};
}

void SmsctlTest::commandsNeedAStore()
{
    QFETCH(QStringList, args);
    QVERIFY(QDir().mkpath(m_home));
    const Run r = smsctl(homeArgs(m_home, args));
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err.count(u'\n'), 1);
    QVERIFY2(r.err.contains(QDir(m_home).filePath(QStringLiteral("SMS.db"))), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("smsctl init")), qPrintable(r.err));
    QVERIFY(QDir(m_home).isEmpty());
}

void SmsctlTest::modemPortIsStored()
{
    QCOMPARE(smsctl(homeArgs(m_home, {QStringLiteral("init")})).status, 0);
    const Run set =
        smsctl(homeArgs(m_home, {QStringLiteral("modem"), QStringLiteral("--port"), QStringLiteral("7")}));
    QCOMPARE(set.status, 0);
    QVERIFY(set.out.contains(QStringLiteral("7")));
    const Run show = smsctl(homeArgs(m_home, {QStringLiteral("modem")}));
    QCOMPARE(show.status, 0);
    QCOMPARE(show.out.trimmed(), QStringLiteral("Modem port: 7"));
    auto store = Store::openFile(QDir(m_home).filePath(QStringLiteral("SMS.db")), false);
    QCOMPARE(int(ModemPortNumber::read(*store)), 7);
}

QTEST_GUILESS_MAIN(SmsctlTest)
#include "tst_smsctl.moc"

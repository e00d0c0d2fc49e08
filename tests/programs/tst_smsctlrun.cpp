// "smsctl run" as a process: ticks, --until-idle, bad arguments, a second
// engine on the same folder, SIGTERM after the running tick, and the lock of
// a killed engine taken over.

#include "core/Store.h"
#include "gateway/GatewaySim.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
QString smsctlPath()
{
    return qEnvironmentVariable("SMS_BINARY_DIR") + QStringLiteral("/bin/smsctl");
}

struct Result
{
    int status = -1;
    QString out;
    QString err;
};
} // namespace

class TestSmsctlRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void ticks();
    void untilIdle();
    void badArguments_data();
    void badArguments();
    void secondEngineRefusedThenSigterm();
    void sigtermLetsTheRunningTickFinish();
    void killedEngineLockTakenOver();
    void failedTickEndsWithStatusZero();
    void skippedTicksToldOnce();
    void startNotes_data();
    void startNotes();

private:
    void start(QProcess& p, const QStringList& args, const QString& reportHost = QStringLiteral("127.0.0.1"));
    Result run(const QStringList& args, const QString& reportHost = QStringLiteral("127.0.0.1"));
    void queue(const QString& mobile, const QString& msg);
    void exec(const QString& sql);
    int count(const QString& table);
    // Waits (with the event loop running) until the process printed text.
    bool waitForOutput(QProcess& p, const QString& text, QString* out, int timeoutMs = 15000);

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<GatewaySim> m_sim;
};

void TestSmsctlRun::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_sim = std::make_unique<GatewaySim>();
    QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->errorString()));
    QCOMPARE(run({QStringLiteral("init")}).status, 0);
    const QString base = m_sim->baseUrl();
    const Result added = run(
        {QStringLiteral("profile"), QStringLiteral("add"), QStringLiteral("--user"), QStringLiteral("acme"),
         QStringLiteral("--password"), QStringLiteral("pw"), QStringLiteral("--send-url"),
         base + QStringLiteral("/send?u=<UName>&to=<mobile>&msg=<msg>"), QStringLiteral("--report-url"),
         base + QStringLiteral("/report?id=<MassgeID>"), QStringLiteral("--interval"), QStringLiteral("100"),
         QStringLiteral("--consrt"), QStringLiteral("C"), QStringLiteral("--default")});
    QVERIFY2(added.status == 0, qPrintable(added.err));
}

void TestSmsctlRun::cleanup()
{
    m_sim.reset();
    m_home.reset();
}

void TestSmsctlRun::start(QProcess& p, const QStringList& args, const QString& reportHost)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SMSENGINE_HOME"), m_home->path());
    env.insert(QStringLiteral("SMSENGINE_REPORT_HOST"), reportHost);
    p.setProcessEnvironment(env);
    p.start(smsctlPath(), QStringList{QStringLiteral("--home"), m_home->path()} + args);
}

Result TestSmsctlRun::run(const QStringList& args, const QString& reportHost)
{
    QProcess p;
    start(p, args, reportHost);
    Result r;
    // The simulator answers from its own process: waiting here blocks nothing it needs.
    if (!p.waitForStarted() || !p.waitForFinished(60000))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void TestSmsctlRun::queue(const QString& mobile, const QString& msg)
{
    auto store = Store::openFile(m_home->filePath(QStringLiteral("SMS.db")), false);
    store->exec(QStringLiteral("insert into Rsms (Mobile, msg, RDtTM, urgent, typ) values (?, ?, '', 0, 0)"),
                {mobile, msg});
}

void TestSmsctlRun::exec(const QString& sql)
{
    Store::openFile(m_home->filePath(QStringLiteral("SMS.db")), false)->exec(sql);
}

int TestSmsctlRun::count(const QString& table)
{
    auto store = Store::openFile(m_home->filePath(QStringLiteral("SMS.db")), false);
    return store->scalar(QStringLiteral("select count(*) from ") + table).toInt();
}

bool TestSmsctlRun::waitForOutput(QProcess& p, const QString& text, QString* out, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        p.waitForReadyRead(100);
        *out += QString::fromUtf8(p.readAllStandardOutput());
        if (out->contains(text))
            return true;
        if (p.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

void TestSmsctlRun::ticks()
{
    queue(QStringLiteral("9876500001"), QStringLiteral("one"));
    queue(QStringLiteral("9876500002"), QStringLiteral("two"));
    const Result r = run({QStringLiteral("run"), QStringLiteral("--ticks"), QStringLiteral("3")});
    QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
    QVERIFY2(r.out.contains(QStringLiteral("sent 9876500001: 9876500001")), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("sent 9876500002: 9876500002")));
    QVERIFY(r.out.contains(QStringLiteral("idle, report: delivered")));
    const QStringList tickLines =
        r.out.split(u'\n').filter(QRegularExpression(QStringLiteral("^\\d{4}-.* (sent|idle)")));
    QCOMPARE(tickLines.size(), 3);
    QCOMPARE(count(QStringLiteral("Rsms")), 0);
    QCOMPARE(count(QStringLiteral("sms where Status = 'Y'")), 1);
    QCOMPARE(count(QStringLiteral("sms")), 2);
}

void TestSmsctlRun::untilIdle()
{
    queue(QStringLiteral("9876500001"), QStringLiteral("one"));
    QVERIFY(m_sim->control(QStringLiteral("report-default?answer=pending")));
    const Result r = run({QStringLiteral("run"), QStringLiteral("--until-idle"), QStringLiteral("--interval"),
                          QStringLiteral("50")});
    QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
    QVERIFY(r.out.contains(QStringLiteral("sent 9876500001")));
    QString ticks = r.out;
    ticks.remove(
        QRegularExpression(QStringLiteral("[^\n]* skipped: [^\n]*\n"))); // a slow tick on a busy machine
    QVERIFY2(ticks.trimmed().endsWith(QStringLiteral("idle, report: inconclusive")), qPrintable(r.out));
    QCOMPARE(count(QStringLiteral("sms where Status = 'P'")), 1);
}

void TestSmsctlRun::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("ticks 0") << QStringList{"--ticks", "0"};
    QTest::newRow("ticks not a number") << QStringList{"--ticks", "x"};
    QTest::newRow("unknown channel") << QStringList{"--channel", "fax"};
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("negative interval") << QStringList{"--interval", "-5"};
    QTest::newRow("ticks without value") << QStringList{"--ticks"};
}

void TestSmsctlRun::badArguments()
{
    QFETCH(QStringList, args);
    queue(QStringLiteral("9876500001"), QStringLiteral("one"));
    const Result r = run(QStringList{QStringLiteral("run")} + args);
    QCOMPARE(r.status, 2);
    QVERIFY(!r.err.isEmpty());
    QCOMPARE(m_sim->count(), 0);
    QCOMPARE(count(QStringLiteral("Rsms")), 1);
}

void TestSmsctlRun::secondEngineRefusedThenSigterm()
{
    QProcess first;
    start(first, {QStringLiteral("run"), QStringLiteral("--interval"), QStringLiteral("100")});
    QString out;
    QVERIFY2(waitForOutput(first, QStringLiteral("engine running"), &out), qPrintable(out));

    const Result second = run({QStringLiteral("run"), QStringLiteral("--ticks"), QStringLiteral("1")});
    QVERIFY(second.status != 0);
    QVERIFY2(second.err.contains(QStringLiteral("another engine is already running")),
             qPrintable(second.err));
    QVERIFY(!second.out.contains(QStringLiteral("idle")));

    ::kill(first.processId(), SIGTERM);
    QVERIFY(first.waitForFinished(15000));
    out += QString::fromUtf8(first.readAllStandardOutput());
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.exitCode(), 0);
    QVERIFY2(out.contains(QStringLiteral("stopping after the running tick")), qPrintable(out));
}

void TestSmsctlRun::sigtermLetsTheRunningTickFinish()
{
    QVERIFY(m_sim->control(QStringLiteral("latency?ms=1500")));
    queue(QStringLiteral("9876500001"), QStringLiteral("one"));
    queue(QStringLiteral("9876500002"), QStringLiteral("two"));
    QProcess engine;
    start(engine, {QStringLiteral("run"), QStringLiteral("--interval"), QStringLiteral("100")});
    QString out;
    QVERIFY(waitForOutput(engine, QStringLiteral("engine running"), &out));
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->count() >= 1, 15000); // the send is waiting for its answer
    ::kill(engine.processId(), SIGTERM);
    QVERIFY(engine.waitForFinished(15000));
    out += QString::fromUtf8(engine.readAllStandardOutput());
    QCOMPARE(engine.exitStatus(), QProcess::NormalExit);
    QVERIFY2(engine.exitCode() == 0, qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("sent 9876500001")), qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("9876500002")));
    QCOMPARE(count(QStringLiteral("sms")), 1);
    QCOMPARE(count(QStringLiteral("Rsms")), 1);
}

void TestSmsctlRun::killedEngineLockTakenOver()
{
    QProcess first;
    start(first, {QStringLiteral("run"), QStringLiteral("--interval"), QStringLiteral("100")});
    QString out;
    QVERIFY(waitForOutput(first, QStringLiteral("engine running"), &out));
    first.kill();
    QVERIFY(first.waitForFinished(15000));

    queue(QStringLiteral("9876500001"), QStringLiteral("one"));
    const Result r = run({QStringLiteral("run"), QStringLiteral("--ticks"), QStringLiteral("1")});
    QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
    QVERIFY(r.out.contains(QStringLiteral("sent 9876500001")));
}

void TestSmsctlRun::failedTickEndsWithStatusZero()
{
    QVERIFY(m_sim->control(QStringLiteral("fail-next?count=1&mode=http500")));
    queue(QStringLiteral("9876500001"), QStringLiteral("one"));
    const Result r = run({QStringLiteral("run"), QStringLiteral("--ticks"), QStringLiteral("1")});
    QVERIFY2(r.out.contains(QStringLiteral("error 500")), qPrintable(r.out));
    QCOMPARE(r.status, 0);
}

void TestSmsctlRun::skippedTicksToldOnce()
{
    QVERIFY(m_sim->control(QStringLiteral("latency?ms=1500")));
    queue(QStringLiteral("9876500001"), QStringLiteral("one"));
    const Result r = run({QStringLiteral("run"), QStringLiteral("--ticks"), QStringLiteral("1"),
                          QStringLiteral("--interval"), QStringLiteral("100")});
    QCOMPARE(r.status, 0);
    const QStringList skipped = r.out.split(u'\n').filter(QStringLiteral("skipped"));
    QCOMPARE(skipped.size(), 1);
    QVERIFY2(skipped.first().contains(QRegularExpression(
                 QStringLiteral(" \\d+ ticks? skipped: the previous tick was still running$"))),
             qPrintable(r.out));
}

void TestSmsctlRun::startNotes_data()
{
    QTest::addColumn<QString>("reportHost");
    QTest::addColumn<QString>("profileChange");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("reports polled") << "127.0.0.1" << QString()
                                    << QStringList{"delivery reports: polled at idle ticks",
                                                   "sent 9876500001"};
    QTest::newRow("no report URL")
        << "127.0.0.1"
        << "update config set RepoStr = NULL"
        << QStringList{"delivery reports: not polled: the profile 'acme' has no report URL"};
    QTest::newRow("send URL without the report host")
        << "10.9.9.9" << QString()
        << QStringList{"delivery reports: not polled: the send URL does not contain the report host 10.9.9.9",
                       "smsctl config report-host HOST", "SMSENGINE_REPORT_HOST"};
    QTest::newRow("HTTP gateway off")
        << "127.0.0.1"
        << "update config set ConSrt = NULL"
        << QStringList{"the profile 'acme' has its HTTP gateway off", "--consrt C",
                       "not sent 9876500001 (stays queued): the profile's HTTP gateway is off"};
}

void TestSmsctlRun::startNotes()
{
    QFETCH(QString, reportHost);
    QFETCH(QString, profileChange);
    QFETCH(QStringList, expected);
    if (!profileChange.isEmpty())
        exec(profileChange);
    queue(QStringLiteral("9876500001"), QStringLiteral("one"));
    const Result r = run({QStringLiteral("run"), QStringLiteral("--ticks"), QStringLiteral("1")}, reportHost);
    QCOMPARE(r.status, 0);
    for (const QString& text : expected)
        QVERIFY2(r.out.contains(text), qPrintable(text + QStringLiteral(" not in:\n") + r.out));
}

QTEST_GUILESS_MAIN(TestSmsctlRun)
#include "tst_smsctlrun.moc"

#include "core/ModemPortNumber.h"
#include "core/Schema.h"
#include "core/Startup.h"
#include "gateway/GatewaySim.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
struct Run
{
    int status = -1;
    QString out, err;
};

QStringList w(const char* words)
{
    return QString::fromUtf8(words).split(u' ', Qt::SkipEmptyParts);
}

QStringList addArgs(const QString& user, const QStringList& extra = {})
{
    return w("profile add --user") + QStringList{user, "--password", "Pw-" + user + "-9x7"} +
           w("--send-url http://127.0.0.1:9/send?u=<UName>&to=<mobile>&m=<msg>") + extra;
}
} // namespace

class SmsctlTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_sim.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_home = m_dir->filePath("home");
    }

    void initCreatesUpgradesAndIsSafeToRepeat()
    {
        const Run first = ctl({"init"});
        QCOMPARE(first.status, 0);
        QVERIFY2(first.out.contains("Created the store"), qPrintable(first.out));
        QVERIFY(first.err.isEmpty());
        QVERIFY(Schema::missingTables(*store()).isEmpty());
        store()->exec("INSERT INTO config (UName) VALUES ('kept')");
        const Run second = ctl({"init"});
        QCOMPARE(second.status, 0);
        QVERIFY2(second.out.contains("up to date") && !second.out.contains("Created"),
                 qPrintable(second.out));
        QCOMPARE(store()->scalar("SELECT UName FROM config").toString(), u"kept"_s);

        // An older store left readable by all: refused while another program writes to it, then tightened,
        // completed and upgraded.
        QVERIFY(QFile::remove(m_home + "/SMS.db"));
        {
            auto old = Store::openFile(m_home + "/SMS.db", true);
            old->exec("CREATE TABLE sms (Mobile text, Status text)");
            old->exec("INSERT INTO sms VALUES ('1', 'P')");
            old->exec("BEGIN IMMEDIATE");
            const Run locked = ctl({"init"});
            QCOMPARE(locked.status, 1);
            QVERIFY2(locked.err.contains("locked") && !locked.out.contains("up to date"),
                     qPrintable(locked.err));
            old->rollback();
            QVERIFY(!old->tableExists("config"));
        }
        QFile::setPermissions(m_home + "/SMS.db", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        const Run r = ctl({"init"});
        QCOMPARE(r.status, 0);
        for (const char* part : {"Restricted the permissions", "Created the tables config, Rsms", "add Try",
                                 "set Try to 0 in 1 "})
            QVERIFY2(r.out.contains(part), qPrintable(r.out));
        QVERIFY(Schema::missingTables(*store()).isEmpty());
        QCOMPARE(store()->scalar("SELECT Try FROM sms").toInt(), 0);
    }
    void homeComesFromTheEnvironment()
    {
        QCOMPARE(smsctl({"init"}, {}, m_home).status, 0);
        QVERIFY(QFileInfo::exists(m_home + "/SMS.db"));
        // --home wins over the environment.
        const QString other = m_dir->filePath("other");
        QCOMPARE(smsctl({"--home", other, "init"}, {}, m_home).status, 0);
        QVERIFY(QFileInfo::exists(other + "/SMS.db"));
    }
    void profileAddThenListAndModemPort()
    {
        QCOMPARE(ctl({"init"}).status, 0);
        const Run add =
            ctl(addArgs("alice", {"--report-url", "http://127.0.0.1:9/r?id=<MassgeID>", "--gsm-sid", "GSM1",
                                  "--interval", "2500", "--smsid", "12", "--consrt", "C", "--default"}));
        QCOMPARE(add.status, 0);
        QVERIFY2(add.out.contains("alice"), qPrintable(add.out));
        QVERIFY2(add.err.isEmpty(), qPrintable(add.err)); // HTTP on, reports polled: nothing to warn about
        QCOMPARE(ctl(addArgs("bob")).status, 0);
        const Run modem = ctl(w("modem --port 7"));
        QVERIFY2(modem.status == 0 && modem.out.contains("7"), qPrintable(modem.out + modem.err));
        QCOMPARE(ctl(w("modem")).out.trimmed(), u"Modem port: 7"_s);
        QCOMPARE(int(ModemPortNumber::read(*store())), 7);

        const Run list = ctl({"profile", "list"});
        QCOMPARE(list.status, 0);
        const QStringList lines = list.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4); // header, rule, two profiles
        QVERIFY(lines[2].startsWith("alice ") && lines[2].contains(" yes ") && lines[2].contains("2500"));
        QVERIFY(lines[3].startsWith("bob ") && lines[3].contains(" no "));
        QVERIFY2(!list.out.contains("Pw-"), qPrintable(list.out));

        // The engine starts on the store smsctl made and loads alice.
        const StartupResult start = Startup::run(m_home);
        QVERIFY2(start.ready(), qPrintable(start.message));
        const ProfileState& p = start.context->profile();
        QCOMPARE(p.userName, u"alice"_s);
        QCOMPARE(p.password, u"Pw-alice-9x7"_s);
        QCOMPARE(p.reportUrl, u"http://127.0.0.1:9/r?id=<MassgeID>"_s);
        QCOMPARE(p.gsmSid, u"GSM1"_s);
        QCOMPARE(p.interval, 2500);
        QCOMPARE(p.smsId, 12);
        QVERIFY(p.httpGateway);
        // Options not given are stored as Null.
        QVERIFY(start.context->store()
                    .scalar("SELECT balstr IS NULL AND CDMASid IS NULL FROM config WHERE UName = 'alice'")
                    .toBool());
        // A new default takes the mark from the old one.
        QCOMPARE(ctl(addArgs("carol", {"--default"})).status, 0);
        QCOMPARE(store()->scalar("SELECT group_concat(UName || '=' || Defult, ' ') FROM config").toString(),
                 u"alice=0 bob=0 carol=1"_s);
    }
    void addWarnsWhatTheProfileWillNotDo_data()
    {
        QTest::addColumn<QString>("sendUrl");
        QTest::addColumn<QStringList>("extra");    // further options of profile add
        QTest::addColumn<QString>("envHost");      // SMSENGINE_REPORT_HOST
        QTest::addColumn<QStringList>("warnings"); // parts of the one warning line
        const QString local = "http://127.0.0.1:9/s?to=<mobile>&m=<msg>";
        const QStringList report{"--consrt", "C", "--report-url", "http://gw.example/r?id=<MassgeID>"};
        QTest::addRow("HTTP gateway off")
            << local << QStringList{} << "" << QStringList{"HTTP gateway", "--consrt C"};
        QTest::addRow("server mode: HTTP gateway off") << local << QStringList{"--consrt", "db.example"} << ""
                                                       << QStringList{"HTTP gateway", "names a server"};
        QTest::addRow("send URL without the default report host")
            << "http://gw.example/s?to=<mobile>&m=<msg>" << report << ""
            << QStringList{"report host 127.0.0.1", "smsctl config report-host"};
        QTest::addRow("report host from the environment")
            << local << report << "gw.example"
            << QStringList{"report host gw.example", "SMSENGINE_REPORT_HOST"};
    }
    void addWarnsWhatTheProfileWillNotDo()
    {
        QFETCH(QString, sendUrl);
        QFETCH(QStringList, extra);
        QFETCH(QString, envHost);
        QFETCH(QStringList, warnings);
        QCOMPARE(ctl({"init"}).status, 0);
        const Run r = ctl(
            QStringList{"profile", "add", "--user", "u", "--password", "p", "--send-url", sendUrl} + extra,
            envHost);
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("Added the gateway profile 'u'"), qPrintable(r.out));
        const QStringList lines = r.err.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith("smsctl: warning: "), qPrintable(r.err));
        for (const QString& w : warnings)
            QVERIFY2(lines.first().contains(w), qPrintable(r.err));
    }
    void reportHost_data()
    {
        QTest::addColumn<QString>("setHost"); // stored first, when not empty
        QTest::addColumn<QString>("envHost");
        QTest::addColumn<QString>("shown");      // the line "config report-host" prints
        QTest::addColumn<QString>("setWarning"); // part of the warning when storing, if any
        QTest::addRow("nothing set") << u""_s << "" << u"Report host: 127.0.0.1 (the default)"_s << "";
        QTest::addRow("set for the user")
            << u"gw.example"_s << ""
            << u"Report host: gw.example (from the per-user setting Engine/ReportHost in "_s << "";
        QTest::addRow("environment over the setting")
            << u"gw.example"_s << "env.example"
            << u"Report host: env.example (from the environment variable SMSENGINE_REPORT_HOST)"_s
            << "SMSENGINE_REPORT_HOST is set to env.example and takes precedence";
    }
    void reportHost()
    {
        QFETCH(QString, setHost);
        QFETCH(QString, envHost);
        QFETCH(QString, shown);
        QFETCH(QString, setWarning);
        if (!setHost.isEmpty()) {
            const Run set = smsctl({"config", "report-host", setHost}, envHost);
            QCOMPARE(set.status, 0);
            QVERIFY2(set.out.startsWith("Report host set to " + setHost), qPrintable(set.out));
            QCOMPARE(set.err.isEmpty(), setWarning.isEmpty());
            QVERIFY2(set.err.contains(setWarning), qPrintable(set.err));
        }
        const Run show = smsctl({"config", "report-host"}, envHost);
        QCOMPARE(show.status, 0);
        QVERIFY2(show.out.startsWith(shown), qPrintable(show.out));
    }
    void refusalsChangeNothing_data()
    {
        QTest::addColumn<bool>("withStore");   // else the program folder is empty
        QTest::addColumn<QStringList>("args"); // after --home
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason"); // for status 1; a usage error (2) shows the usage
        const auto usage = [](const char* name, const QStringList& args) {
            QTest::addRow("%s", name) << true << args << 2 << QString();
        };
        usage("no command", {});
        usage("unknown command", w("frobnicate"));
        usage("init with an argument", w("init now"));
        usage("profile without subcommand", w("profile"));
        usage("unknown profile subcommand", w("profile rename"));
        usage("profile remove without a name", w("profile remove"));
        usage("missing --user", w("profile add --password p --send-url http://h/"));
        usage("missing --send-url", w("profile add --user u --password p"));
        usage("unknown option", addArgs("u", w("--colour red")));
        usage("option without value", addArgs("u", w("--interval")));
        usage("option twice", addArgs("u", w("--user v")));
        usage("interval not a number", addArgs("u", w("--interval fast")));
        usage("send URL not http", w("profile add --user u --password p --send-url ftp://h/x"));
        usage("user longer than the ledger keeps", addArgs("a-very-long-username"));
        usage("sender id too long", addArgs("u", w("--gsm-sid 1234567890123456")));
        usage("flag with a value", addArgs("u", w("--default=yes")));
        usage("modem port 100", w("modem --port 100"));
        usage("run: ticks 0", w("run --ticks 0"));
        usage("run: unknown channel", w("run --channel fax"));
        QTest::addRow("same name") << true << addArgs("acme", w("--default")) << 1 << "already exists";
        QTest::addRow("same name in another case") << true << addArgs("ACME") << 1 << "already exists";
        QTest::addRow("send URL placeholders in another letter case")
            << true << w("profile add --user u --password p --send-url http://h/s?to=<MOBILE>&m=<Msg>") << 1
            << "no <mobile> and no <msg>";
        QTest::addRow("profile list without a store") << false << w("profile list") << 1 << "smsctl init";
        QTest::addRow("profile add without a store") << false << addArgs("u") << 1 << "smsctl init";
        QTest::addRow("modem without a store") << false << w("modem --port 3") << 1 << "smsctl init";
    }
    void refusalsChangeNothing()
    {
        QFETCH(bool, withStore);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, reason);
        // A queued message and a default profile: a run that went ahead would change the store.
        if (withStore) {
            QVERIFY(engineFolder());
            queue("9876500001");
        }
        QVERIFY(QDir().mkpath(m_home));
        const auto folder = [this] {
            QByteArray all;
            for (const QString& name :
                 QDir(m_home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
                QFile f(m_home + "/" + name);
                all +=
                    name.toUtf8() + ":" + (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray()) + "\n";
            }
            return all;
        };
        const QByteArray before = folder();
        const Run r = ctl(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.startsWith("smsctl: "), qPrintable(r.err));
        if (status == 2) {
            QVERIFY2(r.err.contains("Usage: smsctl"), qPrintable(r.err));
            QVERIFY(r.out.isEmpty());
        } else {
            QCOMPARE(r.err.count(u'\n'), 1);
            QVERIFY2(r.err.contains(reason), qPrintable(r.err));
            QVERIFY2(withStore || r.err.contains(m_home + "/SMS.db"), qPrintable(r.err));
        }
        QCOMPARE(folder(), before);
        QVERIFY(!m_sim || m_sim->count() == 0);
    }
    void run_data()
    {
        QTest::addColumn<QStringList>("args"); // after "run"
        QTest::addColumn<QString>("reportHost");
        QTest::addColumn<QString>("change"); // SQL on the store, or a control of the gateway after "sim:"
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("ledger"); // the statuses of the sent messages, sorted
        const QStringList one{"--ticks", "1"};
        QTest::addRow("three ticks: two sent, a report polled")
            << QStringList{"--ticks", "3"} << u""_s << ""
            << QStringList{"delivery reports: polled at idle ticks", "sent 9876500001: 9876500001",
                           "sent 9876500002: 9876500002", "idle, report: delivered"}
            << "P,Y";
        QTest::addRow("until the first idle tick")
            << QStringList{"--until-idle", "--interval", "50"} << u""_s << "sim:report-default?answer=pending"
            << QStringList{"sent 9876500001", "sent 9876500002", "idle, report: inconclusive"} << "P,P";
        QTest::addRow("no report URL")
            << one << u""_s << "UPDATE config SET RepoStr = NULL"
            << QStringList{"delivery reports: not polled: the profile 'acme' has no report URL"} << "P";
        QTest::addRow("send URL without the report host")
            << one << u"10.9.9.9"_s << ""
            << QStringList{"delivery reports: not polled: the send URL does not contain the report host "
                           "10.9.9.9",
                           "smsctl config report-host HOST", "SMSENGINE_REPORT_HOST"}
            << "P";
        QTest::addRow("HTTP gateway off")
            << one << u""_s << "UPDATE config SET ConSrt = NULL"
            << QStringList{"the profile 'acme' has its HTTP gateway off", "--consrt C",
                           "not sent 9876500001 (stays queued): the profile's HTTP gateway is off"}
            << "";
        QTest::addRow("a failed tick still ends the run with 0")
            << one << u""_s << "sim:fail-next?count=1&mode=http500" << QStringList{"error 500"} << "";
        QTest::addRow("control characters in the answer are shown escaped")
            << one << u""_s << "sim:send-mode?mode=control"
            << QStringList{"sent 9876500001: \\x1B[2J\\x1B]0;owned\\x079876500001\\x00\\x9B"} << "P";
        QTest::addRow("a huge answer is cut, not printed")
            << one << u""_s << "sim:send-mode?mode=huge" << QStringList{"error 35762", "too large"} << "";
    }
    void run()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reportHost);
        QFETCH(QString, change);
        QFETCH(QStringList, expected);
        QFETCH(QString, ledger);
        QVERIFY(engineFolder());
        if (change.startsWith("sim:"))
            QVERIFY(m_sim->control(change.mid(4)));
        else if (!change.isEmpty())
            store()->exec(change);
        queue("9876500001");
        queue("9876500002");
        const Run r = ctl(QStringList{"run"} + args, reportHost);
        QVERIFY2(r.status == 0, qPrintable(r.out.left(4000) + r.err.left(4000)));
        for (const QString& text : expected)
            QVERIFY2(r.out.contains(text), qPrintable(text + " not in:\n" + r.out.left(4000)));
        // What the gateway said neither floods nor steers the terminal.
        QVERIFY(r.out.size() < 8000);
        QVERIFY(!r.out.contains(QChar(0x1b)) && !r.out.contains(QChar(0)));
        QCOMPARE(store()
                     ->scalar("SELECT group_concat(Status) FROM (SELECT Status FROM sms ORDER BY Status)")
                     .toString(),
                 ledger);
        // Every message is either in the ledger or still queued.
        QCOMPARE(count("Rsms"), 2 - count("sms"));
    }
    void skippedTicksToldOnce()
    {
        QVERIFY(engineFolder());
        QVERIFY(m_sim->control("latency?ms=1500"));
        queue("9876500001");
        const Run r = ctl({"run", "--ticks", "1", "--interval", "100"});
        QCOMPARE(r.status, 0);
        const QStringList skipped = r.out.split(u'\n').filter("skipped");
        QCOMPARE(skipped.size(), 1);
        QVERIFY2(skipped.first().contains(
                     QRegularExpression(" \\d+ ticks? skipped: the previous tick was still running$")),
                 qPrintable(r.out));
    }
    void secondEngineRefusedAndSigtermLetsTheRunningTickFinish()
    {
        QVERIFY(engineFolder());
        // Long enough for a second engine to be turned away while the first send waits for its answer.
        QVERIFY(m_sim->control("latency?ms=5000"));
        queue("9876500001");
        queue("9876500002");
        QProcess engine;
        start(engine, {"--home", m_home, "run", "--interval", "100"});
        QString out;
        QVERIFY(waitForOutput(engine, "engine running", &out));
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->count() >= 1, 15000); // the send is waiting for its answer

        const Run second = ctl(w("run --ticks 1"));
        QVERIFY(second.status != 0);
        QVERIFY2(second.err.contains("another engine is already running"), qPrintable(second.err));
        QVERIFY(!second.out.contains("idle"));
        const Run status = ctl(w("status --json"));
        QCOMPARE(QJsonDocument::fromJson(status.out.toUtf8())["enginePid"].toInteger(), engine.processId());

        ::kill(engine.processId(), SIGTERM);
        QVERIFY(engine.waitForFinished(15000));
        out += QString::fromUtf8(engine.readAllStandardOutput());
        QCOMPARE(engine.exitStatus(), QProcess::NormalExit);
        QVERIFY2(engine.exitCode() == 0, qPrintable(out));
        QVERIFY2(out.contains("stopping after the running tick"), qPrintable(out));
        QVERIFY2(out.contains("sent 9876500001") && !out.contains("9876500002"), qPrintable(out));
        QCOMPARE(count("sms"), 1);
        QCOMPARE(count("Rsms"), 1);
    }

    void everyProgramAnswersHelpAndVersion_data()
    {
        QTest::addColumn<QString>("path"); // under the build folder
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // a regular expression the output matches
        const QString version = "^%1 \\d+\\.\\d+\\.\\d+( \\(.+\\))?\n$";
        QTest::addRow("smsctl --version") << "bin/smsctl" << w("--version") << 0 << version.arg("smsctl");
        QTest::addRow("smsctl run --help")
            << "bin/smsctl" << w("run --help") << 0 << "smsctl run \\[--channel";
        QTest::addRow("smsctl send -h")
            << "bin/smsctl" << w("send -h") << 0 << "send --to NUMBER --text TEXT";
        QTest::addRow("smsctl profile edit --help")
            << "bin/smsctl" << w("profile edit --help") << 0 << "profile remove NAME \\[--force\\]";
        QTest::addRow("smsctl config --help")
            << "bin/smsctl" << w("config --help") << 0 << "config modem-device";
        QTest::addRow("smsengine --version without a display")
            << "bin/smsengine" << w("--version") << 0 << version.arg("smsengine");
        QTest::addRow("smsengine --help") << "bin/smsengine" << w("--help") << 0 << "smsctl run";
        QTest::addRow("smsengine without a display")
            << "bin/smsengine" << QStringList{} << 1 << "^smsengine: no display .*`smsctl run`\n$";
        QTest::addRow("smsengine with an unknown option")
            << "bin/smsengine" << w("--colour") << 2 << "Usage:";
        QTest::addRow("gateway simulator")
            << "tools/gateway-sim/sms-gateway-sim" << w("--version") << 0 << version.arg("sms-gateway-sim");
        QTest::addRow("modem simulator")
            << "tools/modem-sim/sms-modem-sim" << w("--version") << 0 << version.arg("sms-modem-sim");
    }
    void everyProgramAnswersHelpAndVersion()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        const Run r = program(path, args);
        QCOMPARE(r.status, status);
        const QString shown = status == 0 ? r.out : r.err;
        QVERIFY2(shown.contains(QRegularExpression(out)), qPrintable(shown));
        if (status == 0)
            QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    }
    void send_data()
    {
        QTest::addColumn<QStringList>("args"); // after "send"
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("queued"); // Mobile|msg|urgent of the queue row
        const auto to = [](const char* number, const QString& text) {
            return QStringList{"--to", number, "--text", text};
        };
        QTest::addRow("text given") << to("9876543210", "hello") << QByteArray() << 0 << "9876543210|hello|0";
        QTest::addRow("text from stdin, without its line end")
            << to("9876543210", "-") << QByteArray("two\nlines\r\n") << 0 << "9876543210|two\nlines|0";
        QTest::addRow("urgent and apostrophe")
            << to("1000000001", "it's") + w("--urgent 3") << QByteArray() << 0 << "1000000001|it's|3";
        QTest::addRow("number too short") << to("98765", "x") << QByteArray() << 2 << "";
        QTest::addRow("number 1000000000") << to("1000000000", "x") << QByteArray() << 2 << "";
        QTest::addRow("letters after digits") << to("9876543210x", "x") << QByteArray() << 2 << "";
        QTest::addRow("empty stdin") << to("9876543210", "-") << QByteArray("\n") << 2 << "";
        QTest::addRow("longer than the queue takes")
            << to("9876543210", QString(1601, u'a')) << QByteArray() << 2 << "";
        QTest::addRow("no --to") << w("--text x") << QByteArray() << 2 << "";
    }
    void send()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QString, queued);
        QCOMPARE(ctl({"init"}).status, 0);
        const Run r = ctl(QStringList{"send"} + args, {}, input);
        QVERIFY2(r.status == status, qPrintable(r.out + r.err));
        QCOMPARE(queueRows(), queued);
        QVERIFY2(status != 0 || r.out.contains("1 message in the queue"), qPrintable(r.out));
    }
    void profileEditDefaultRemoveAndList()
    {
        QCOMPARE(ctl({"init"}).status, 0);
        const QString longUrl =
            "http://gateway.example.com/api/v2/messages/send?username=<UName>&pw=<PassWord>"
            "&to=<mobile>&text=<msg>";
        QCOMPARE(ctl(addArgs("alice", {"--default", "--gsm-sid", "GSM1"})).status, 0);
        QCOMPARE(
            ctl(w("profile add --user bob --password-stdin --send-url") + QStringList{longUrl}, {}, "pw-b\n")
                .status,
            0);
        const auto column = [this](const char* sql) { return store()->scalar(sql).toString(); };
        QCOMPARE(column("SELECT Password FROM config WHERE UName = 'bob'"), u"pw-b"_s);

        // Only the options given change.
        const Run edit =
            ctl(w("profile edit ALICE --interval 900 --password-stdin --cdma-sid C1"), {}, "new pw\n");
        QVERIFY2(edit.status == 0, qPrintable(edit.err));
        QCOMPARE(
            column("SELECT TmInterval || ' ' || Password || ' ' || GsmSid || ' ' || CDMASid || ' ' || Defult "
                   "FROM config WHERE UName = 'alice'"),
            u"900 new pw GSM1 C1 1"_s);
        QCOMPARE(ctl(w("profile edit alice --user bob")).status, 1); // the name is taken
        QCOMPARE(ctl(w("profile edit alice")).status, 2);            // nothing to change
        QCOMPARE(ctl(w("profile edit alice --password p --password-stdin")).status, 2);

        // The default is kept from removal until another profile is the default.
        const Run refused = ctl(w("profile remove alice"));
        QVERIFY2(refused.status == 1 && refused.err.contains("--force"), qPrintable(refused.err));
        QCOMPARE(ctl(w("profile default bob")).status, 0);
        QCOMPARE(column("SELECT group_concat(UName || '=' || Defult, ' ') FROM config"), u"alice=0 bob=1"_s);
        QCOMPARE(ctl(w("profile remove alice")).status, 0);
        QCOMPARE(ctl(w("profile remove alice")).status, 1);
        const Run forced = ctl(w("profile remove bob --force"));
        QVERIFY2(forced.status == 0 && forced.err.contains("no profile is the default"),
                 qPrintable(forced.err));

        QCOMPARE(ctl(w("profile add --user carol --password p --consrt postgresql://u@db.example.com/sms "
                       "--send-url") +
                     QStringList{longUrl})
                     .status,
                 0);
        const Run list = ctl(w("profile list"));
        QCOMPARE(list.status, 0);
        for (const QString& line : list.out.split(u'\n', Qt::SkipEmptyParts))
            QVERIFY2(line.size() <= 80, qPrintable(line));
        QVERIFY2(list.out.contains(QRegularExpression("carol .* http://gateway.example.com/.*\\.\\.\\.\n")),
                 qPrintable(list.out));
        QVERIFY2(ctl(w("profile list --wide")).out.contains(longUrl), "--wide shows the whole URL");
    }
    void statusAndConfigModemDevice()
    {
        QVERIFY(engineFolder());
        queue("9876500001");
        store()->exec(
            "INSERT INTO sms (Mobile, Status, SDTTm) VALUES ('1', 'P', ?), ('2', 'Y', ?), ('3', 'P', "
            "'2001-01-01 10:00:00')",
            {QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss"),
             QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss")});
        const Run r = ctl(w("status --json"));
        QCOMPARE(r.status, 0);
        const QJsonObject status = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(status["queued"].toInt(), 1);
        QCOMPARE(status["pendingReports"].toInt(), 2);
        QCOMPARE(status["sentToday"].toObject(), (QJsonObject{{"P", 1}, {"Y", 1}, {"N", 0}}));
        QCOMPARE(status["defaultProfile"].toString(), u"acme"_s);
        QCOMPARE(status["engineRunning"].toBool(), false);
        QVERIFY2(ctl(w("status")).out.contains("Sent today:       2 (delivered 1"), "the text form");

        QCOMPARE(ctl(w("config modem-device /dev/ttyUSB3")).status, 0);
        QCOMPARE(ctl(w("config modem-device")).out, u"Modem device: /dev/ttyUSB3\n"_s);
        QCOMPARE(ctl(w("config modem-device ttyUSB3")).status, 2);
        QCOMPARE(ctl(w("config modem-device --clear")).status, 0);
        QVERIFY(ctl(w("config modem-device")).out.contains("(none"));
    }
    void idleLineOnlyWhenItChanges_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("idleLines"); // of three idle ticks
        QTest::addRow("quiet") << QStringList{} << 1;
        QTest::addRow("--verbose") << w("--verbose") << 3;
    }
    void idleLineOnlyWhenItChanges()
    {
        QFETCH(QStringList, extra);
        QFETCH(int, idleLines);
        QVERIFY(engineFolder());
        store()->exec("UPDATE config SET RepoStr = NULL"); // idle ticks without report polls
        const Run r = ctl(w("run --ticks 3 --interval 50") + extra);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.split(u'\n').filter(QRegularExpression(" idle$")).size(), idleLines);
    }

    // Under a notify service: ready once started, watchdog pings from the ticks, stopping at the end.
    void tellsSystemdReadyThenPings()
    {
        QVERIFY(engineFolder());
        queue("9876500001");
        const QByteArray socketPath = QFile::encodeName(m_dir->filePath("notify"));
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

        m_extraEnv.insert("NOTIFY_SOCKET", QString::fromUtf8(socketPath));
        const Run run = ctl({"run", "--until-idle"});
        m_extraEnv.clear();
        QVERIFY2(run.status == 0, qPrintable(run.err));

        QStringList told;
        char datagram[512];
        for (ssize_t n; (n = ::recv(fd, datagram, sizeof datagram, 0)) > 0;)
            told << QString::fromUtf8(datagram, n).section(u'\n', 0, 0);
        ::close(fd);
        QVERIFY2(told.size() >= 2 && told.first() == "READY=1", qPrintable(told.join(u' ')));
        QVERIFY2(told.mid(1).contains("WATCHDOG=1"), qPrintable(told.join(u' ')));
        QCOMPARE(told.last(), "STOPPING=1");
        QCOMPARE(count("sms"), 1);
    }

private:
    // With per-user settings of the test's own; reportHost and envHome go in the environment when given.
    void start(QProcess& p, const QStringList& args, const QString& reportHost = {},
               const QString& envHome = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("SMSENGINE_HOME");
        env.remove("SMSENGINE_REPORT_HOST");
        if (!envHome.isEmpty())
            env.insert("SMSENGINE_HOME", envHome);
        if (!reportHost.isEmpty())
            env.insert("SMSENGINE_REPORT_HOST", reportHost);
        env.insert("XDG_CONFIG_HOME", m_dir->filePath("config"));
        env.insert(m_extraEnv);
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("SMS_BINARY_DIR") + "/bin/smsctl", args);
    }
    Run smsctl(const QStringList& args, const QString& reportHost = {}, const QString& envHome = {},
               const QByteArray& input = {})
    {
        QProcess p;
        start(p, args, reportHost, envHome);
        return finish(p, input);
    }
    // Any of the programs, started without a display.
    Run program(const QString& path, const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("SMS_BINARY_DIR") + "/" + path, args);
        return finish(p, {});
    }
    static Run finish(QProcess& p, const QByteArray& input)
    {
        Run r;
        if (p.waitForStarted()) {
            p.write(input);
            p.closeWriteChannel();
        }
        // The gateway simulator answers from its own process: waiting here blocks nothing it needs.
        if (!p.waitForStarted() || !p.waitForFinished(60000))
            return r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    Run ctl(const QStringList& args, const QString& reportHost = {}, const QByteArray& input = {})
    {
        return smsctl(QStringList{"--home", m_home} + args, reportHost, {}, input);
    }
    QString queueRows()
    {
        return store()
            ->scalar("SELECT group_concat(Mobile || '|' || msg || '|' || urgent, ';') FROM Rsms")
            .toString();
    }
    std::unique_ptr<Store> store() { return Store::openFile(m_home + "/SMS.db", false); }
    int count(const QString& table) { return store()->scalar("SELECT count(*) FROM " + table).toInt(); }
    void queue(const QString& mobile)
    {
        store()->exec("INSERT INTO Rsms (Mobile, msg, RDtTM, urgent, typ) VALUES (?, 'text', '', 0, 0)",
                      {mobile});
    }
    // An initialised folder whose default profile "acme" sends to the gateway simulator.
    bool engineFolder()
    {
        m_sim = std::make_unique<GatewaySim>();
        const QString base = m_sim->baseUrl();
        return m_sim->isRunning() && ctl({"init"}).status == 0 &&
               ctl({"profile", "add", "--user", "acme", "--password", "pw", "--send-url",
                    base + "/send?u=<UName>&to=<mobile>&msg=<msg>", "--report-url",
                    base + "/report?id=<MassgeID>", "--interval", "100", "--consrt", "C", "--default"})
                       .status == 0;
    }
    // Reads the process's output (the event loop running) until it holds text.
    static bool waitForOutput(QProcess& p, const QString& text, QString* out)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 15000 && p.state() != QProcess::NotRunning) {
            p.waitForReadyRead(100);
            *out += QString::fromUtf8(p.readAllStandardOutput());
            if (out->contains(text))
                return true;
        }
        return false;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home;
    std::unique_ptr<GatewaySim> m_sim;
    QProcessEnvironment m_extraEnv;
};

QTEST_GUILESS_MAIN(SmsctlTest)
#include "tst_smsctl.moc"

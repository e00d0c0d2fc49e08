// Server mode against one PostgreSQL server started for the whole program: opening the connection and
// its failures, marking the SendSMS row over the server, and the engine's tick that sends from SendSMS.

#include "StoreFixture.h"
#include "TaskWait.h"
#include "channels/ModemDevicePath.h"
#include "channels/QueueCursor.h"
#include "channels/SentLedger.h"
#include "dispatch/Engine.h"
#include "modem/ModemSim.h"
#include "postgres/PostgresServer.h"

#include <QHostAddress>
#include <QSqlDatabase>
#include <QTcpServer>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

namespace {
const QString kSendSmsTable = "CREATE TABLE SendSMS (autono serial PRIMARY KEY, MobileNo text, SmsText text, "
                              "status text, Piority integer, sdt timestamp)";

int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString unsentCount(Store& server)
{
    return server.scalar("SELECT count(*) FROM SendSMS WHERE status <> 'Y'").toString();
}
} // namespace

class ServerModeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase() { m_pg.stop(); }

    void openKeepsOrReplacesTheConnection();
    void failingServerKeepsTheOldConnection_data();
    void failingServerKeepsTheOldConnection();
    void unreachableServerLeavesServerModeOff_data();
    void unreachableServerLeavesServerModeOff();
    void profileLoadOpensServerMode();
    void savingMarksTheServerRow_data();
    void savingMarksTheServerRow();
    void tickSendsFromSendSms_data();
    void tickSendsFromSendSms();

private:
    // A program folder whose default profile "acme" names the server; "other" is a second profile.
    std::unique_ptr<StoreFixture> serverFixture(qint32 counter = 1234);
    QString server(const QString& sql) { return m_pg.queryText(sql); }

    PostgresServer m_pg;
};

void ServerModeTest::initTestCase()
{
    SMS_START_POSTGRES(m_pg);
    QVERIFY2(m_pg.exec("create database smsother", "postgres"), qPrintable(m_pg.error()));
    QVERIFY2(m_pg.exec(kSendSmsTable, "smsother"), qPrintable(m_pg.error()));
}

void ServerModeTest::init()
{
    // Autono 4 comes first (Piority 1), then 3 and 5; 1 is sent and 2 (Null status) is never picked.
    QVERIFY2(m_pg.exec("DROP TABLE IF EXISTS SendSMS; " + kSendSmsTable +
                       "; INSERT INTO SendSMS (MobileNo, SmsText, status, Piority) VALUES "
                       "('111', 'already sent', 'Y', 0), ('222', 'never picked', NULL, 0), "
                       "('555-123', 'second', 'N', 5), (' 55512-34567', 'first', '', 1), "
                       "('9876500005', 'third', 'x', 9);"),
             qPrintable(m_pg.error()));
}

std::unique_ptr<StoreFixture> ServerModeTest::serverFixture(qint32 counter)
{
    auto f = std::make_unique<StoreFixture>();
    f->addProfile("other");
    f->loadDefaultProfile("acme",
                          {{"ConSrt", m_pg.uri()}, {"Smsid", counter}, {"RepoStr", {}}, {"balstr", {}}});
    return f;
}

void ServerModeTest::openKeepsOrReplacesTheConnection()
{
    ServerConnection server;
    server.open(m_pg.uri());
    QVERIFY(server.isOpen());
    Store* first = server.store();
    QCOMPARE(first->dialect(), Store::Dialect::Postgres);
    QCOMPARE(server.source(), m_pg.uri());
    QCOMPARE(unsentCount(*first), u"3"_s);
    // Values are bound on the server too, quotes and all.
    const QString text = "it's \"quoted\"";
    first->exec("UPDATE SendSMS SET SmsText = ? WHERE MobileNo = ?", {text, "111"});
    QCOMPARE(this->server("SELECT SmsText FROM SendSMS WHERE MobileNo = '111'"), text);

    const QString name = first->connectionName();
    server.open(m_pg.uri());
    QCOMPARE(server.store(), first);
    QCOMPARE(server.store()->connectionName(), name);

    server.open(m_pg.uri("smsother"));
    QVERIFY(server.isOpen());
    QCOMPARE(server.source(), m_pg.uri("smsother"));
    QCOMPARE(unsentCount(*server.store()), u"0"_s);
    QVERIFY(!QSqlDatabase::connectionNames().contains(name));
}

void ServerModeTest::failingServerKeepsTheOldConnection_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("database that does not exist") << m_pg.uri("smsmissing") << "smsmissing";
    QTest::newRow("nothing listening on the port")
        << QString("postgresql://postgres@127.0.0.1:%1/smstest").arg(closedPort()) << "127.0.0.1";
    QTest::newRow("not a usable URI") << "postgresql://"
                                      << "not a valid";
    QTest::newRow("an option that is not plain") << m_pg.uri() + "?options=-c%20x%3Dy"
                                                 << "not accepted";
}

void ServerModeTest::failingServerKeepsTheOldConnection()
{
    QFETCH(QString, target);
    QFETCH(QString, expectedText);
    ServerConnection server;
    server.open(m_pg.uri());
    Store* before = server.store();
    try {
        server.open(target);
        QFAIL("opened");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(expectedText), qPrintable(e.text()));
        QVERIFY2(e.text().startsWith("Cannot connect to the server"), qPrintable(e.text()));
    }
    QVERIFY(server.isOpen());
    QCOMPARE(server.store(), before);
    QCOMPARE(server.source(), m_pg.uri());
    QCOMPARE(unsentCount(*server.store()), u"3"_s);
}

void ServerModeTest::unreachableServerLeavesServerModeOff_data()
{
    QTest::addColumn<QString>("pattern"); // %1: the port
    QTest::addColumn<bool>("silent");     // the port accepts and never answers the login
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("SQL Server, nothing listening: at once") << "127.0.0.1,%1" << false << "unavailable";
    QTest::newRow("SQL Server, silent: at the login time-out") << "127.0.0.1,%1" << true << "127.0.0.1";
    QTest::newRow("PostgreSQL, silent: at the login time-out")
        << "postgresql://postgres@127.0.0.1:%1/smstest" << true << "127.0.0.1";
}

void ServerModeTest::unreachableServerLeavesServerModeOff()
{
    QFETCH(QString, pattern);
    QFETCH(bool, silent);
    QFETCH(QString, expectedText);
    QTcpServer listener;
    if (silent)
        QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    const QString name = pattern.arg(silent ? listener.serverPort() : closedPort());
    ServerConnection server;
    server.setLoginTimeout(2);
    try {
        server.open(name);
        QFAIL("opened");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(expectedText), qPrintable(e.text()));
        QVERIFY2(silent || e.text().contains(name), qPrintable(e.text()));
    }
    QVERIFY(!server.isOpen());
    QVERIFY(server.store() == nullptr);
}

void ServerModeTest::profileLoadOpensServerMode()
{
    StoreFixture f;
    f.addProfile("srv", {{"Defult", 1}, {"ConSrt", m_pg.uri()}});
    f.addProfile("gw", {{"ConSrt", " c "}});
    f.addProfile("broken", {{"ConSrt", m_pg.uri("smsmissing")}});
    ProfileState& state = f.context().profile();
    ServerConnection& server = f.context().server();
    state.httpGateway = true;
    f.context().loadProfile(QString());
    QVERIFY(server.isOpen());
    QVERIFY(!state.httpGateway); // a server name is not "C"
    Store* opened = server.store();

    // The default again: the same server, the connection is kept.
    f.context().loadProfile(QString());
    QCOMPARE(server.store(), opened);

    // A profile without a server name leaves server mode as it is.
    f.context().loadProfile("gw");
    QCOMPARE(state.userName, u"gw"_s);
    QVERIFY(state.httpGateway);
    QCOMPARE(server.store(), opened);

    // A server that fails: the profile state and the connection stay.
    QVERIFY_THROWS_EXCEPTION(StoreError, f.context().loadProfile("broken"));
    QCOMPARE(state.userName, u"gw"_s);
    QCOMPARE(server.store(), opened);
    QVERIFY(server.isOpen());
}

void ServerModeTest::savingMarksTheServerRow_data()
{
    QTest::addColumn<int>("counter");
    QTest::addColumn<bool>("closeServer");
    QTest::addColumn<int>("storedAfter");
    QTest::addColumn<QString>("trace");
    const int largest = std::numeric_limits<qint32>::max();
    QTest::newRow("counter advances") << 1234 << false << 1235 << "Save Data\r\nSave Data\r\n";
    QTest::newRow("counter at its largest value")
        << largest << false << largest
        << "Save Data\r\nCounter at its largest value: not advanced\r\nSave Data\r\n";
    QTest::newRow("server connection closed: nothing marked") << 1234 << true << 1234 << "Save Data\r\n";
}

void ServerModeTest::savingMarksTheServerRow()
{
    QFETCH(int, counter);
    QFETCH(bool, closeServer);
    QFETCH(int, storedAfter);
    QFETCH(QString, trace);
    auto f = serverFixture(counter);
    f->queue("local", "local queue untouched");
    QueueCursor cursor = QueueCursor::openServer(*f->context().server().store());
    QVERIFY(cursor.isServer());
    QCOMPARE(cursor.key(), 4);
    QCOMPARE(cursor.mobile(), u" 55512-34567"_s);
    QCOMPARE(cursor.msg(), u"first"_s);
    SentLedger ledger(f->context());
    if (closeServer) {
        f->context().server().close();
        QVERIFY_THROWS_EXCEPTION(StoreError, ledger.saveSentSms(cursor, QString()));
        QVERIFY(cursor.isOpen());
    } else {
        ledger.saveSentSms(cursor, QString());
        QVERIFY(!cursor.isOpen());
        ledger.saveSentSms(cursor, QString()); // the cursor is spent: nothing more is marked
        // sdt is the server's time, within the last minute.
        QCOMPARE(
            server("SELECT sdt BETWEEN localtimestamp - interval '1 minute' AND localtimestamp FROM SendSMS "
                   "WHERE autono = 4"),
            u"t"_s);
    }
    QCOMPARE(server("SELECT coalesce(status, 'NULL') FROM SendSMS ORDER BY autono"),
             QString("Y\nNULL\nN\n%1\nx").arg(closeServer ? "" : "Y"));
    QCOMPARE(server("SELECT count(*) FROM SendSMS WHERE sdt IS NOT NULL"), closeServer ? "0" : "1");
    QCOMPARE(f->count("sms"), 0);
    QCOMPARE(f->count("Rsms"), 1);
    QCOMPARE(f->column("SELECT Smsid FROM config ORDER BY rowid"),
             QStringList({"100", QString::number(storedAfter)}));
    QCOMPARE(f->context().profile().smsId, closeServer ? counter : storedAfter);
    QCOMPARE(f->context().console().text(ConsoleState::Field::Trace), trace);
}

void ServerModeTest::tickSendsFromSendSms_data()
{
    QTest::addColumn<QString>("modemMode");
    QTest::addColumn<QStringList>("ticks"); // the outcome of each tick and the number tried
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("statuses"); // of SendSMS afterwards
    QTest::addColumn<int>("counter");
    QTest::newRow("sent by Piority and marked; a Null status is never picked")
        << "ok" << QStringList{"sent  55512-34567", "sent 555-123", "sent 9876500005", "idle "}
        << QStringList{" to 5551234567: first", " to 555123: second", " to 9876500005: third"}
        << "Y\nNULL\nY\nY\nY" << 1237;
    QTest::newRow("a failed send leaves the row to be picked again")
        << "error" << QStringList{"not sent  55512-34567", "not sent  55512-34567"} << QStringList{}
        << "Y\nNULL\nN\n\nx" << 1234;
}

void ServerModeTest::tickSendsFromSendSms()
{
    QFETCH(QString, modemMode);
    QFETCH(QStringList, ticks);
    QFETCH(QStringList, messages);
    QFETCH(QString, statuses);
    QFETCH(int, counter);
    // The engine sends through the modem: ConSrt names the server, so the HTTP gateway is off.
    ModemSim modem;
    QVERIFY2(modem.start({"--echo", "off", "--mode", modemMode}), qPrintable(modem.errorString()));
    qputenv(ModemDevicePath::EnvironmentVariable, modem.device().toLocal8Bit());
    auto f = serverFixture();
    f->context().console().setChannel(ConsoleState::Channel::Gsm);
    f->queue("9876511111", "local one");
    f->queue("9876522222", "local two");
    Engine engine(f->context());
    QStringList outcomes;
    for (qsizetype i = 0; i < ticks.size(); ++i) {
        TaskWait::run(engine.runTick());
        const TickOutcome& o = engine.lastOutcome();
        using K = TickOutcome::Kind;
        outcomes << (o.kind == K::Sent      ? "sent "
                     : o.kind == K::NotSent ? "not sent "
                     : o.kind == K::Idle    ? "idle "
                                            : "failed ") +
                        o.mobile;
        if (i == 0) {
            QCOMPARE(f->context().console().text(ConsoleState::Field::Mobile), u"5551234567"_s);
            // The status line still counts the local queue.
            QCOMPARE(f->context().console().text(ConsoleState::Field::Status), u"Pending SMS : 2"_s);
        }
    }
    qunsetenv(ModemDevicePath::EnvironmentVariable);
    QCOMPARE(outcomes, ticks);
    QCOMPARE(server("SELECT coalesce(status, 'NULL') FROM SendSMS ORDER BY autono"), statuses);
    QCOMPARE(server("SELECT count(*) FROM SendSMS WHERE sdt IS NOT NULL"), QString::number(messages.size()));
    QCOMPARE(modem.received().count("AT+CMGS"), qsizetype(ticks.filter("sent").size()));
    const QStringList sent = modem.messages();
    QCOMPARE(sent.size(), messages.size());
    for (qsizetype i = 0; i < sent.size(); ++i)
        QVERIFY2(sent[i].endsWith(messages[i]), qPrintable(sent[i]));
    // The local queue and the ledger are not used for sending in server mode.
    QCOMPARE(f->column("SELECT Mobile FROM Rsms ORDER BY rowid"), QStringList({"9876511111", "9876522222"}));
    QCOMPARE(f->count("sms"), 0);
    QCOMPARE(f->column("SELECT Smsid FROM config WHERE UName = 'acme'"),
             QStringList{QString::number(counter)});
}

QTEST_GUILESS_MAIN(ServerModeTest)
#include "tst_servermode.moc"

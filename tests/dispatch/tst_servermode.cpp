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

namespace {
const QString kSendSmsTable =
    QStringLiteral("CREATE TABLE SendSMS (autono serial PRIMARY KEY, MobileNo text, "
                   "SmsText text, status text, Piority integer, sdt timestamp)");

int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString unsentCount(Store& server)
{
    return server
        .scalar(QStringLiteral("SELECT count(*) FROM SendSMS WHERE status <> ?"), {QStringLiteral("Y")})
        .toString();
}
} // namespace

class ServerModeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void openKeepsOrReplacesTheConnection();
    void failingServerKeepsTheOldConnection_data();
    void failingServerKeepsTheOldConnection();
    void unreachableServerLeavesServerModeOff_data();
    void unreachableServerLeavesServerModeOff();
    void profileLoadOpensServerMode();
    void savingMarksTheServerRow_data();
    void savingMarksTheServerRow();
    void tickSendsByPiorityAndMarksSent();
    void failedSendLeavesTheRowToBePickedAgain();

private:
    // The default profile "acme" names the server; "other" is a second profile.
    std::unique_ptr<StoreFixture> serverFixture(qint32 counter = 1234);
    static bool startModem(ModemSim& modem, const QString& mode);
    QString status(int autono)
    {
        return m_pg.queryText(
            QStringLiteral("SELECT coalesce(status, 'NULL') FROM SendSMS WHERE autono = %1").arg(autono));
    }

    PostgresServer m_pg;
};

void ServerModeTest::initTestCase()
{
    SMS_START_POSTGRES(m_pg);
    QVERIFY2(m_pg.exec(QStringLiteral("create database smsother"), QStringLiteral("postgres")),
             qPrintable(m_pg.error()));
    QVERIFY2(m_pg.exec(kSendSmsTable, QStringLiteral("smsother")), qPrintable(m_pg.error()));
}

void ServerModeTest::init()
{
    // Autono 4 comes first (Piority 1), then 3 and 5; 1 is sent and 2 (Null status) is never picked.
    QVERIFY2(m_pg.exec(QStringLiteral("DROP TABLE IF EXISTS SendSMS; ") + kSendSmsTable +
                       QStringLiteral("; INSERT INTO SendSMS (MobileNo, SmsText, status, Piority) VALUES "
                                      "('111', 'already sent', 'Y', 0), ('222', 'never picked', NULL, 0), "
                                      "('555-123', 'second', 'N', 5), (' 55512-34567', 'first', '', 1), "
                                      "('9876500005', 'third', 'x', 9);")),
             qPrintable(m_pg.error()));
}

void ServerModeTest::cleanupTestCase()
{
    m_pg.stop();
}

// Sends of the engine go to the modem: in server mode ConSrt names the server, so the HTTP gateway is off.
bool ServerModeTest::startModem(ModemSim& modem, const QString& mode)
{
    if (!modem.start({QStringLiteral("--echo"), QStringLiteral("off"), QStringLiteral("--mode"), mode}))
        return false;
    qputenv(ModemDevicePath::EnvironmentVariable, modem.device().toLocal8Bit());
    return true;
}

std::unique_ptr<StoreFixture> ServerModeTest::serverFixture(qint32 counter)
{
    auto f = std::make_unique<StoreFixture>();
    f->addProfile(QStringLiteral("other"));
    QVariantMap columns{{QStringLiteral("ConSrt"), m_pg.uri()},
                        {QStringLiteral("Smsid"), counter},
                        {QStringLiteral("RepoStr"), QVariant()},
                        {QStringLiteral("balstr"), QVariant()}};
    f->loadDefaultProfile(QStringLiteral("acme"), columns);
    f->context().console().setChannel(ConsoleState::Channel::Gsm);
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
    QCOMPARE(unsentCount(*first), QStringLiteral("3"));
    // Values are bound on the server too, quotes and all.
    const QString text = QStringLiteral("it's \"quoted\"");
    first->exec(QStringLiteral("UPDATE SendSMS SET SmsText = ? WHERE MobileNo = ?"),
                {text, QStringLiteral("111")});
    QCOMPARE(m_pg.queryText(QStringLiteral("SELECT SmsText FROM SendSMS WHERE MobileNo = '111'")), text);

    const QString name = first->connectionName();
    server.open(m_pg.uri());
    QCOMPARE(server.store(), first);
    QCOMPARE(server.store()->connectionName(), name);

    server.open(m_pg.uri(QStringLiteral("smsother")));
    QVERIFY(server.isOpen());
    QCOMPARE(server.source(), m_pg.uri(QStringLiteral("smsother")));
    QCOMPARE(unsentCount(*server.store()), QStringLiteral("0"));
    QVERIFY(!QSqlDatabase::connectionNames().contains(name));
}

void ServerModeTest::failingServerKeepsTheOldConnection_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("database that does not exist") << "db:smsmissing"
                                                  << "smsmissing";
    QTest::newRow("nothing listening on the port") << "port"
                                                   << "127.0.0.1";
    QTest::newRow("not a usable URI") << "postgresql://"
                                      << "not a valid";
    QTest::newRow("an option that is not plain") << "opt"
                                                 << "not accepted";
}

void ServerModeTest::failingServerKeepsTheOldConnection()
{
    QFETCH(QString, target);
    QFETCH(QString, expectedText);
    if (target == QStringLiteral("db:smsmissing"))
        target = m_pg.uri(QStringLiteral("smsmissing"));
    else if (target == QStringLiteral("port"))
        target = QStringLiteral("postgresql://postgres@127.0.0.1:%1/smstest").arg(closedPort());
    else if (target == QStringLiteral("opt"))
        target = m_pg.uri() + QStringLiteral("?options=-c%20x%3Dy");

    ServerConnection server;
    server.open(m_pg.uri());
    Store* before = server.store();
    try {
        server.open(target);
        QFAIL("opened");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(expectedText), qPrintable(e.text()));
        QVERIFY2(e.text().startsWith(QStringLiteral("Cannot connect to the server")), qPrintable(e.text()));
    }
    QVERIFY(server.isOpen());
    QCOMPARE(server.store(), before);
    QCOMPARE(server.source(), m_pg.uri());
    QCOMPARE(unsentCount(*server.store()), QStringLiteral("3"));
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
        if (!silent)
            QVERIFY2(e.text().contains(name), qPrintable(e.text()));
    }
    QVERIFY(!server.isOpen());
    QVERIFY(server.store() == nullptr);
}

void ServerModeTest::profileLoadOpensServerMode()
{
    StoreFixture f;
    f.addProfile(QStringLiteral("srv"),
                 {{QStringLiteral("Defult"), 1}, {QStringLiteral("ConSrt"), m_pg.uri()}});
    f.addProfile(QStringLiteral("gw"), {{QStringLiteral("ConSrt"), QStringLiteral(" c ")}});
    f.addProfile(QStringLiteral("broken"),
                 {{QStringLiteral("ConSrt"), m_pg.uri(QStringLiteral("smsmissing"))}});
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
    f.context().loadProfile(QStringLiteral("gw"));
    QCOMPARE(state.userName, QStringLiteral("gw"));
    QVERIFY(state.httpGateway);
    QCOMPARE(server.store(), opened);

    // A server that fails: the profile state and the connection stay.
    QVERIFY_THROWS_EXCEPTION(StoreError, f.context().loadProfile(QStringLiteral("broken")));
    QCOMPARE(state.userName, QStringLiteral("gw"));
    QCOMPARE(server.store(), opened);
    QVERIFY(server.isOpen());
}

void ServerModeTest::savingMarksTheServerRow_data()
{
    QTest::addColumn<int>("counter");
    QTest::addColumn<bool>("closeServer");
    QTest::addColumn<int>("storedAfter");
    QTest::addColumn<QString>("trace");
    QTest::newRow("counter advances") << 1234 << false << 1235 << "Save Data\r\nSave Data\r\n";
    const int largest = std::numeric_limits<qint32>::max();
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
    f->queue(QStringLiteral("local"), QStringLiteral("local queue untouched"));
    QueueCursor cursor = QueueCursor::openServer(*f->context().server().store());
    QVERIFY(cursor.isServer());
    QCOMPARE(cursor.key(), 4);
    QCOMPARE(cursor.mobile(), QStringLiteral(" 55512-34567"));
    QCOMPARE(cursor.msg(), QStringLiteral("first"));
    SentLedger ledger(f->context());
    if (closeServer) {
        f->context().server().close();
        QVERIFY_THROWS_EXCEPTION(StoreError, ledger.saveSentSms(cursor, QString()));
        QVERIFY(cursor.isOpen());
        QCOMPARE(status(4), QString());
    } else {
        ledger.saveSentSms(cursor, QString());
        QVERIFY(!cursor.isOpen());
        ledger.saveSentSms(cursor, QString()); // the cursor is spent: nothing more is marked
        QCOMPARE(status(4), QStringLiteral("Y"));
        // sdt is the server's time, within the last minute.
        QCOMPARE(m_pg.queryText(QStringLiteral("SELECT sdt BETWEEN localtimestamp - interval '1 minute' AND "
                                               "localtimestamp FROM SendSMS WHERE autono = 4")),
                 QStringLiteral("t"));
    }
    QCOMPARE(m_pg.queryText(QStringLiteral("SELECT coalesce(status, 'NULL') FROM SendSMS ORDER BY autono")),
             QStringLiteral("Y\nNULL\nN\n%1\nx").arg(closeServer ? QString() : QStringLiteral("Y")));
    QCOMPARE(m_pg.queryText(QStringLiteral("SELECT count(*) FROM SendSMS WHERE sdt IS NOT NULL")),
             closeServer ? QStringLiteral("0") : QStringLiteral("1"));
    QCOMPARE(f->count(QStringLiteral("sms")), 0);
    QCOMPARE(f->count(QStringLiteral("Rsms")), 1);
    QCOMPARE(f->column(QStringLiteral("SELECT Smsid FROM config ORDER BY rowid")),
             QStringList({QStringLiteral("100"), QString::number(storedAfter)}));
    QCOMPARE(f->context().profile().smsId, closeServer ? counter : storedAfter);
    QCOMPARE(f->context().console().text(ConsoleState::Field::Trace), trace);
}

void ServerModeTest::tickSendsByPiorityAndMarksSent()
{
    ModemSim modem;
    auto f = serverFixture();
    QVERIFY2(startModem(modem, QStringLiteral("ok")), qPrintable(modem.errorString()));
    f->queue(QStringLiteral("9876511111"), QStringLiteral("local one"));
    f->queue(QStringLiteral("9876522222"), QStringLiteral("local two"));
    Engine engine(f->context());
    const auto tick = [&engine]() -> const TickOutcome& {
        TaskWait::run(engine.runTick());
        return engine.lastOutcome();
    };

    QCOMPARE(tick().kind, TickOutcome::Kind::Sent);
    QCOMPARE(f->context().console().text(ConsoleState::Field::Mobile), QStringLiteral("5551234567"));
    QCOMPARE(status(4), QStringLiteral("Y"));
    // The status line still counts the local queue.
    QCOMPARE(f->context().console().text(ConsoleState::Field::Status), QStringLiteral("Pending SMS : 2"));
    QCOMPARE(tick().mobile, QStringLiteral("555-123"));
    QCOMPARE(tick().mobile, QStringLiteral("9876500005"));
    QCOMPARE(tick().kind, TickOutcome::Kind::Idle);
    QCOMPARE(m_pg.queryText(QStringLiteral("SELECT coalesce(status, 'NULL') FROM SendSMS ORDER BY autono")),
             QStringLiteral("Y\nNULL\nY\nY\nY"));
    QCOMPARE(m_pg.queryText(QStringLiteral("SELECT count(*) FROM SendSMS WHERE sdt IS NOT NULL")),
             QStringLiteral("3"));
    qunsetenv(ModemDevicePath::EnvironmentVariable);

    const QStringList sent = modem.messages();
    QCOMPARE(sent.size(), 3);
    QVERIFY2(sent[0].endsWith(QStringLiteral(" to 5551234567: first")), qPrintable(sent[0]));
    QVERIFY2(sent[1].endsWith(QStringLiteral(" to 555123: second")), qPrintable(sent[1]));
    QVERIFY2(sent[2].endsWith(QStringLiteral(" to 9876500005: third")), qPrintable(sent[2]));
    // The local queue and the ledger are not used for sending in server mode.
    QCOMPARE(f->column(QStringLiteral("SELECT Mobile FROM Rsms ORDER BY rowid")),
             QStringList({"9876511111", "9876522222"}));
    QCOMPARE(f->count(QStringLiteral("sms")), 0);
    QCOMPARE(f->column(QStringLiteral("SELECT Smsid FROM config WHERE UName = 'acme'")), QStringList{"1237"});
}

void ServerModeTest::failedSendLeavesTheRowToBePickedAgain()
{
    ModemSim modem;
    auto f = serverFixture();
    QVERIFY2(startModem(modem, QStringLiteral("error")), qPrintable(modem.errorString()));
    Engine engine(f->context());
    for (int i = 0; i < 2; ++i) {
        TaskWait::run(engine.runTick());
        QCOMPARE(engine.lastOutcome().kind, TickOutcome::Kind::NotSent);
        QCOMPARE(engine.lastOutcome().mobile, QStringLiteral(" 55512-34567"));
    }
    qunsetenv(ModemDevicePath::EnvironmentVariable);
    QCOMPARE(modem.received().count("AT+CMGS"), 2);
    QCOMPARE(status(4), QString());
    QCOMPARE(m_pg.queryText(QStringLiteral("SELECT count(*) FROM SendSMS WHERE sdt IS NOT NULL")),
             QStringLiteral("0"));
    QCOMPARE(f->column(QStringLiteral("SELECT Smsid FROM config WHERE UName = 'acme'")), QStringList{"1234"});
}

QTEST_GUILESS_MAIN(ServerModeTest)
#include "tst_servermode.moc"

// Server mode against one PostgreSQL server: the connection, marking SendSMS rows, the tick sending them.

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
    PostgresServer m_pg;
    QString server(const QString& sql) { return m_pg.queryText(sql); }
    // The status of each SendSMS row, "+" where it has a sent time.
    QString sendSms()
    {
        return server(
            "SELECT coalesce(status, 'NULL') || CASE WHEN sdt IS NULL THEN '' ELSE '+' END FROM SendSMS "
            "ORDER BY autono");
    }
    // A program folder whose default profile "acme" names the server; "other" is a second profile.
    std::unique_ptr<StoreFixture> serverFixture(qint32 counter = 1234)
    {
        auto f = std::make_unique<StoreFixture>();
        f->addProfile("other");
        f->loadDefaultProfile("acme",
                              {{"ConSrt", m_pg.uri()}, {"Smsid", counter}, {"RepoStr", {}}, {"balstr", {}}});
        return f;
    }

private Q_SLOTS:
    void cleanupTestCase() { m_pg.stop(); }
    void initTestCase()
    {
        SMS_START_POSTGRES(m_pg);
        QVERIFY2(m_pg.exec("create database smsother", "postgres"), qPrintable(m_pg.error()));
        QVERIFY2(m_pg.exec(kSendSmsTable, "smsother"), qPrintable(m_pg.error()));
    }

    void init()
    {
        // Autono 4 comes first (Piority 1), then 3 and 5; 1 is sent and 2 (Null status) is never picked.
        QVERIFY2(m_pg.exec("DROP TABLE IF EXISTS SendSMS; " + kSendSmsTable +
                           "; INSERT INTO SendSMS (MobileNo, SmsText, status, Piority) VALUES "
                           "('111', 'already sent', 'Y', 0), ('222', 'never picked', NULL, 0), "
                           "('555-123', 'second', 'N', 5), (' 55512-34567', 'first', '', 1), "
                           "('9876500005', 'third', 'x', 9);"),
                 qPrintable(m_pg.error()));
    }

    void openKeepsOrReplacesTheConnection()
    {
        ServerConnection server;
        server.open(m_pg.uri());
        QVERIFY(server.isOpen());
        Store* first = server.store();
        QCOMPARE(first->dialect(), Store::Dialect::Postgres);
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

    void failedOpenKeepsTheOldState_data()
    {
        QTest::addColumn<QString>("target"); // %1: a port on which nothing listens, or one that never answers
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("opened"); // a connection was open before
        QTest::addColumn<QString>("expectedText");
        const QString pg = u"postgresql://postgres@127.0.0.1:%1/smstest"_s, mssql = u"127.0.0.1,%1"_s;
        QTest::newRow("database that does not exist")
            << m_pg.uri("smsmissing") << false << true << u"smsmissing"_s;
        QTest::newRow("nothing listening on the port") << pg << false << true << u"127.0.0.1"_s;
        QTest::newRow("not a usable URI") << u"postgresql://"_s << false << true << u"not a valid"_s;
        QTest::newRow("an option that is not plain")
            << m_pg.uri() + "?options=-c%20x%3Dy" << false << true << u"not accepted"_s;
        QTest::newRow("SQL Server, nothing listening: at once")
            << mssql << false << false << u"unavailable"_s;
        QTest::newRow("SQL Server, silent: at the login time-out")
            << mssql << true << false << u"127.0.0.1"_s;
        QTest::newRow("PostgreSQL, silent: at the login time-out") << pg << true << false << u"127.0.0.1"_s;
    }
    void failedOpenKeepsTheOldState()
    {
        QFETCH(QString, target);
        QFETCH(bool, silent);
        QFETCH(bool, opened);
        QFETCH(QString, expectedText);
        QTcpServer listener;
        if (silent)
            QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
        if (target.contains("%1"))
            target = target.arg(silent ? listener.serverPort() : closedPort());
        ServerConnection server;
        server.setLoginTimeout(2);
        if (opened)
            server.open(m_pg.uri());
        Store* before = server.store();
        try {
            server.open(target);
            QFAIL("opened");
        } catch (const StoreError& e) {
            QVERIFY2(e.text().contains(expectedText), qPrintable(e.text()));
            QVERIFY2(e.text().startsWith("Cannot connect to the server"), qPrintable(e.text()));
            QVERIFY2(silent || opened || e.text().contains(target), qPrintable(e.text()));
        }
        QCOMPARE(server.isOpen(), opened);
        QCOMPARE(server.store(), before);
        if (opened) {
            QCOMPARE(server.source(), m_pg.uri());
            QCOMPARE(unsentCount(*server.store()), u"3"_s);
        }
    }

    void profileLoadOpensServerMode()
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

    void savingMarksTheServerRow_data()
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

    void savingMarksTheServerRow()
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
        }
        QCOMPARE(sendSms(), QString("Y\nNULL\nN\n%1\nx").arg(closeServer ? "" : "Y+"));
        QCOMPARE(f->count("sms"), 0);
        QCOMPARE(f->count("Rsms"), 1);
        QCOMPARE(f->column("SELECT Smsid FROM config ORDER BY rowid"),
                 QStringList({"100", QString::number(storedAfter)}));
        QCOMPARE(f->context().profile().smsId, closeServer ? counter : storedAfter);
        QCOMPARE(f->context().console().text(ConsoleState::Field::Trace), trace);
    }

    void tickSendsFromSendSms_data()
    {
        QTest::addColumn<QString>("modemMode");
        QTest::addColumn<QStringList>("ticks"); // the outcome of each tick and the number tried
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("statuses"); // of SendSMS afterwards
        QTest::addColumn<int>("counter");
        QTest::newRow("sent by Piority and marked; a Null status is never picked")
            << "ok" << QStringList{"sent  55512-34567", "sent 555-123", "sent 9876500005", "idle "}
            << QStringList{" to 5551234567: first", " to 555123: second", " to 9876500005: third"}
            << "Y\nNULL\nY+\nY+\nY+" << 1237;
        QTest::newRow("a failed send leaves the row to be picked again")
            << "error" << QStringList{"not sent  55512-34567", "not sent  55512-34567"} << QStringList{}
            << "Y\nNULL\nN\n\nx" << 1234;
    }

    void tickSendsFromSendSms()
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
        const QStringList kinds{"idle ", "sent ", "not sent ",
                                "failed "}; // in the order of TickOutcome::Kind
        for (qsizetype i = 0; i < ticks.size(); ++i) {
            TaskWait::run(engine.runTick());
            outcomes << kinds.value(int(engine.lastOutcome().kind)) + engine.lastOutcome().mobile;
        }
        qunsetenv(ModemDevicePath::EnvironmentVariable);
        QCOMPARE(outcomes, ticks);
        QCOMPARE(sendSms(), statuses);
        QCOMPARE(modem.received().count("AT+CMGS"), qsizetype(ticks.filter("sent").size()));
        const QStringList sent = modem.messages();
        QCOMPARE(sent.size(), messages.size());
        for (qsizetype i = 0; i < sent.size(); ++i)
            QVERIFY2(sent[i].endsWith(messages[i]), qPrintable(sent[i]));
        // The local queue and the ledger are not used for sending in server mode.
        QCOMPARE(f->column("SELECT Mobile FROM Rsms ORDER BY rowid"),
                 QStringList({"9876511111", "9876522222"}));
        QCOMPARE(f->count("sms"), 0);
        QCOMPARE(f->column("SELECT Smsid FROM config WHERE UName = 'acme'"),
                 QStringList{QString::number(counter)});
    }
};

QTEST_GUILESS_MAIN(ServerModeTest)
#include "tst_servermode.moc"

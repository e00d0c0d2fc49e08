// Server mode against a real PostgreSQL server: the pick from SendSMS, the
// row marked "Y" with the server's time, the counter written back locally.

#include "ChannelFixture.h"
#include "TaskWait.h"
#include "channels/DeliveryChannels.h"
#include "channels/SentLedger.h"
#include "gateway/GatewaySim.h"
#include "postgres/PostgresServer.h"

#include <QJsonObject>
#include <QTest>

#include <limits>

class TestServerMode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void pickSkipsSentAndNullStatus();
    void saveMarksTheServerRow();
    void counterAtLargestValue();
    void closedServerConnection();
    void sendOverTheGateway();
    void statementForEachServer_data();
    void statementForEachServer();

private:
    std::unique_ptr<ChannelFixture> openFixture(qint32 counter = 1234);
    QString status(int autono);

    std::unique_ptr<PostgresServer> m_server;
};

void TestServerMode::initTestCase()
{
    m_server = std::make_unique<PostgresServer>();
    SMS_START_POSTGRES(*m_server);
}

void TestServerMode::cleanupTestCase()
{
    m_server.reset();
}

void TestServerMode::init()
{
    QVERIFY2(m_server->exec(QStringLiteral(
                 "DROP TABLE IF EXISTS SendSMS; "
                 "CREATE TABLE SendSMS (autono serial PRIMARY KEY, MobileNo text, SmsText text, status text, "
                 "Piority integer, sdt timestamp); "
                 "INSERT INTO SendSMS (MobileNo, SmsText, status, Piority) VALUES "
                 "('111', 'already sent', 'Y', 0), ('222', 'never picked', NULL, 0), "
                 "('555-123', 'second', 'N', 5), (' 55512-34567', 'first', '', 1);")),
             qPrintable(m_server->error()));
}

std::unique_ptr<ChannelFixture> TestServerMode::openFixture(qint32 counter)
{
    auto f = std::make_unique<ChannelFixture>(counter);
    f->context->server().open(m_server->uri());
    return f;
}

QString TestServerMode::status(int autono)
{
    return m_server->queryText(
        QStringLiteral("SELECT coalesce(status, 'NULL') FROM SendSMS WHERE autono = %1").arg(autono));
}

void TestServerMode::pickSkipsSentAndNullStatus()
{
    auto f = openFixture();
    QueueCursor cursor = QueueCursor::openServer(*f->context->server().store());
    QVERIFY(cursor.isOpen());
    QVERIFY(cursor.isServer());
    QCOMPARE(cursor.key(), 4);
    QCOMPARE(cursor.mobile(), QStringLiteral(" 55512-34567"));
    QCOMPARE(cursor.msg(), QStringLiteral("first"));

    QVERIFY(m_server->exec(QStringLiteral("UPDATE SendSMS SET status = 'Y' WHERE autono IN (3, 4)")));
    QVERIFY(!QueueCursor::openServer(*f->context->server().store()).isOpen());
}

void TestServerMode::saveMarksTheServerRow()
{
    auto f = openFixture();
    f->queue(QStringLiteral("local"), QStringLiteral("local queue untouched"));
    QueueCursor cursor = QueueCursor::openServer(*f->context->server().store());
    SentLedger ledger(*f->context);

    ledger.saveSentSms(cursor, QString());
    ledger.saveSentSms(cursor, QString()); // the second call records nothing

    QCOMPARE(status(4), QStringLiteral("Y"));
    QCOMPARE(status(3), QStringLiteral("N"));
    QCOMPARE(status(2), QStringLiteral("NULL"));
    // sdt is the server's time, within the last minute.
    QCOMPARE(m_server->queryText(QStringLiteral(
                 "SELECT sdt BETWEEN localtimestamp - interval '1 minute' AND localtimestamp FROM SendSMS "
                 "WHERE autono = 4")),
             QStringLiteral("t"));
    QCOMPARE(m_server->queryText(QStringLiteral("SELECT count(*) FROM SendSMS WHERE sdt IS NOT NULL")),
             QStringLiteral("1"));
    QCOMPARE(f->ledger().size(), 0);
    QCOMPARE(f->count("Rsms"), 1);
    QCOMPARE(f->context->profile().smsId, 1235);
    QCOMPARE(f->storedCounter(), 1235);
    QCOMPARE(f->storedCounter("other"), 77);
    QVERIFY(!cursor.isOpen());
    QCOMPARE(f->console().text(ConsoleState::Field::Trace), QStringLiteral("Save Data\r\nSave Data\r\n"));
}

void TestServerMode::counterAtLargestValue()
{
    const qint32 largest = std::numeric_limits<qint32>::max();
    auto f = openFixture(largest);
    QueueCursor cursor = QueueCursor::openServer(*f->context->server().store());
    SentLedger(*f->context).saveSentSms(cursor, QString());
    QCOMPARE(status(4), QStringLiteral("Y"));
    QCOMPARE(f->context->profile().smsId, largest);
    QCOMPARE(f->storedCounter(), largest);
    QCOMPARE(f->console().text(ConsoleState::Field::Trace),
             QStringLiteral("Save Data\r\nCounter at its largest value: not advanced\r\n"));
}

void TestServerMode::closedServerConnection()
{
    auto f = openFixture();
    QueueCursor cursor = QueueCursor::openServer(*f->context->server().store());
    f->context->server().close();
    QVERIFY_THROWS_EXCEPTION(StoreError, SentLedger(*f->context).saveSentSms(cursor, QString()));
    QVERIFY(cursor.isOpen());
    QCOMPARE(status(4), QString());
    QCOMPARE(f->storedCounter(), 1234);
}

void TestServerMode::sendOverTheGateway()
{
    GatewaySim gateway;
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.errorString()));
    auto f = openFixture();
    f->context->profile().sendUrl = gateway.baseUrl() + QStringLiteral("/send?to=<mobile>&msg=<msg>");
    DeliveryChannels channels(*f->context);

    QueueCursor first = QueueCursor::openServer(*f->context->server().store());
    TaskWait::run(channels.sender().sendSms(first));
    QCOMPARE(status(4), QStringLiteral("Y"));

    // A failed send leaves the server row as it was.
    QVERIFY(gateway.control(QStringLiteral("send-mode?mode=accepted")));
    QueueCursor second = QueueCursor::openServer(*f->context->server().store());
    QCOMPARE(second.key(), 3);
    TaskWait::run(channels.sender().sendSms(second));
    QVERIFY(second.isOpen());
    QCOMPARE(status(3), QStringLiteral("N"));

    const QList<QJsonObject> log = gateway.requests();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log.at(0).value("url").toString(), QStringLiteral("/send?to=5551234567&msg=first"));
    QCOMPARE(log.at(1).value("url").toString(), QStringLiteral("/send?to=555123&msg=second"));
    QCOMPARE(f->storedCounter(), 1235);
    QCOMPARE(f->ledger().size(), 0);
}

void TestServerMode::statementForEachServer_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("statement");
    QTest::newRow("SQL Server") << int(Store::Dialect::SqlServer)
                                << "update SendSMS set Status = 'Y', sdt = Getdate() where autono = ?";
    QTest::newRow("PostgreSQL")
        << int(Store::Dialect::Postgres)
        << "update SendSMS set Status = 'Y', sdt = CURRENT_TIMESTAMP where autono = ?";
}

void TestServerMode::statementForEachServer()
{
    QFETCH(int, dialect);
    QFETCH(QString, statement);
    QCOMPARE(SentLedger::serverUpdate(static_cast<Store::Dialect>(dialect)), statement);
}

QTEST_GUILESS_MAIN(TestServerMode)
#include "tst_servermode.moc"

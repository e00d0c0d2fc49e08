// Server mode end to end against a real PostgreSQL server: the profile's
// ConSrt names the server, the tick takes SendSMS rows by Piority where the
// status is not "Y", sends them over the GSM modem and marks them sent; the
// status line still counts the local queue.

#include "DispatchFixture.h"
#include "channels/ModemDevicePath.h"
#include "modem/ModemSim.h"
#include "postgres/PostgresServer.h"

using Field = ConsoleState::Field;
using Kind = TickOutcome::Kind;

class TestDispatchServer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void sendsByPiorityAndMarksSent();
    void failedSendPickedAgain();

private:
    std::unique_ptr<DispatchFixture> fixture();
    QString server(const QString& sql) { return m_pg->queryText(sql); }

    std::unique_ptr<PostgresServer> m_pg;
};

void TestDispatchServer::initTestCase()
{
    m_pg = std::make_unique<PostgresServer>();
    SMS_START_POSTGRES(*m_pg);
}

void TestDispatchServer::cleanupTestCase()
{
    m_pg.reset();
}

std::unique_ptr<DispatchFixture> TestDispatchServer::fixture()
{
    [&] {
        QVERIFY2(m_pg->exec(QStringLiteral(
                     "DROP TABLE IF EXISTS SendSMS; "
                     "CREATE TABLE SendSMS (MobileNo text, SmsText text, autono serial, status text, "
                     "Piority int, sdt timestamp); "
                     "INSERT INTO SendSMS (MobileNo, SmsText, status, Piority) VALUES "
                     "('9876500001', 'sent before', 'Y', 0), ('9876500002', 'Null status', NULL, 0), "
                     "('9876500003', 'second', 'N', 5), ('98765-00004', 'first', '', 1), "
                     "('9876500005', 'third', 'x', 9);")),
                 qPrintable(m_pg->error()));
    }();
    auto f = std::make_unique<DispatchFixture>(QStringLiteral("http://10.9.9.9"), m_pg->uri());
    f->console().setChannel(ConsoleState::Channel::Gsm);
    f->context->profile().balanceUrl.clear();
    return f;
}

void TestDispatchServer::sendsByPiorityAndMarksSent()
{
    ModemSim modem;
    QVERIFY2(modem.start({QStringLiteral("--echo"), QStringLiteral("off")}), qPrintable(modem.errorString()));
    qputenv(ModemDevicePath::EnvironmentVariable, modem.device().toLocal8Bit());
    auto f = fixture();
    QVERIFY(f->context->server().isOpen());
    f->queue(QStringLiteral("9876511111"), QStringLiteral("local one"));
    f->queue(QStringLiteral("9876522222"), QStringLiteral("local two"));

    QCOMPARE(f->tick().kind, Kind::Sent);
    QCOMPARE(f->text(Field::Mobile), QStringLiteral("9876500004"));
    QCOMPARE(server(QStringLiteral("SELECT status FROM SendSMS WHERE autono = 4")), QStringLiteral("Y"));
    QCOMPARE(server(QStringLiteral("SELECT sdt IS NOT NULL FROM SendSMS WHERE autono = 4")),
             QStringLiteral("t"));
    QCOMPARE(server(QStringLiteral("SELECT count(*) FROM SendSMS WHERE sdt IS NOT NULL")),
             QStringLiteral("1"));
    QCOMPARE(f->text(Field::Status), QStringLiteral("Pending SMS : 2"));

    QCOMPARE(f->tick().mobile, QStringLiteral("9876500003"));
    QCOMPARE(f->tick().mobile, QStringLiteral("9876500005"));
    // Only the Null-status row is left: never picked.
    QCOMPARE(f->tick().kind, Kind::Idle);
    QCOMPARE(server(QStringLiteral("SELECT coalesce(status, 'NULL') FROM SendSMS ORDER BY autono")),
             QStringLiteral("Y\nNULL\nY\nY\nY"));
    QCOMPARE(server(QStringLiteral("SELECT sdt IS NULL FROM SendSMS WHERE autono = 1")), QStringLiteral("t"));

    const QStringList sent = modem.messages();
    QCOMPARE(sent.size(), 3);
    QVERIFY2(sent[0].contains(QStringLiteral("9876500004")) && sent[0].endsWith(QStringLiteral("first")),
             qPrintable(sent[0]));
    QVERIFY(sent[1].endsWith(QStringLiteral("second")));
    QVERIFY(sent[2].endsWith(QStringLiteral("third")));
    // The local queue and the ledger are not used for sending in server mode.
    QCOMPARE(f->queued().size(), 2);
    QCOMPARE(f->ledger().size(), 0);
    QCOMPARE(f->queued().at(0).value("urgent").toInt(), 0);
    qunsetenv(ModemDevicePath::EnvironmentVariable);
}

void TestDispatchServer::failedSendPickedAgain()
{
    ModemSim modem;
    QVERIFY2(modem.start({QStringLiteral("--echo"), QStringLiteral("off"), QStringLiteral("--mode"),
                          QStringLiteral("error")}),
             qPrintable(modem.errorString()));
    qputenv(ModemDevicePath::EnvironmentVariable, modem.device().toLocal8Bit());
    auto f = fixture();
    QCOMPARE(f->tick().kind, Kind::NotSent);
    QCOMPARE(f->tick().kind, Kind::NotSent);
    QCOMPARE(f->engine->lastOutcome().mobile, QStringLiteral("98765-00004"));
    QCOMPARE(server(QStringLiteral("SELECT coalesce(status, 'NULL') FROM SendSMS WHERE autono = 4")),
             QString());
    QCOMPARE(server(QStringLiteral("SELECT count(*) FROM SendSMS WHERE sdt IS NOT NULL")),
             QStringLiteral("0"));
    qunsetenv(ModemDevicePath::EnvironmentVariable);
}

QTEST_GUILESS_MAIN(TestDispatchServer)
#include "tst_dispatchserver.moc"

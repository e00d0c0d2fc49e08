// Smoke tests of the two simulators the channel tests drive: each starts and answers in the shape the
// engine expects.

#include "gateway/GatewaySim.h"
#include "modem/ModemSim.h"

#include <QJsonObject>
#include <QSerialPort>
#include <QTest>

class TestSimulators : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void gatewayAnswersSendBalanceAndReport()
    {
        GatewaySim sim;
        QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
        int status = 0;
        QCOMPARE(sim.get(QStringLiteral("/send?u=me&to=9876543210&msg=caf%E9+au+lait"), &status),
                 QByteArray("9876543210"));
        QCOMPARE(status, 200);
        QCOMPARE(sim.get(QStringLiteral("/balance?u=me"), &status), QByteArray("Balance: 1000"));
        QCOMPARE(status, 200);
        QVERIFY(sim.control(QStringLiteral("report?id=1001&answer=NCPR")));
        QCOMPARE(sim.get(QStringLiteral("/report?id=1001"), &status), QByteArray("NCPR"));
        QCOMPARE(sim.get(QStringLiteral("/report?id=1002"), &status), QByteArray("DELIVRD"));
        QCOMPARE(status, 200);

        const QList<QJsonObject> log = sim.requests();
        QCOMPARE(log.size(), 4); // control requests are not logged
        QCOMPARE(log.at(0).value("path").toString(), QStringLiteral("/send"));
        QCOMPARE(log.at(0).value("url").toString(),
                 QStringLiteral("/send?u=me&to=9876543210&msg=caf%E9+au+lait"));
        QCOMPARE(log.at(0).value("query").toObject().value("msg").toString(),
                 QStringLiteral("caf\u00e9 au lait"));
        QCOMPARE(log.at(3).value("query").toObject().value("id").toString(), QStringLiteral("1002"));
    }

    void modemAcceptsATextModeMessage()
    {
        ModemSim sim;
        QVERIFY2(sim.start({"--echo", "off"}), qPrintable(sim.errorString()));
        QSerialPort port;
        port.setPortName(sim.device());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        QByteArray answer;
        const auto exchange = [&](const QByteArray& bytes, const QByteArray& awaited) {
            port.write(bytes);
            QTRY_VERIFY_WITH_TIMEOUT((answer += port.readAll()).contains(awaited), 10000);
        };
        exchange("AT+CMGF=1\r", "OK\r\n");
        answer.clear();
        exchange("AT+CMGS=\"5551234567\"\r", "> ");
        exchange("Hello\x1A", "\r\nOK\r\n");
        QVERIFY2(answer.contains("\r\n+CMGS: 1\r\n"), answer.constData());
        QCOMPARE(sim.messages(), QStringList{"message 1 to 5551234567: Hello"});
    }
};

QTEST_GUILESS_MAIN(TestSimulators)
#include "tst_simulators.moc"

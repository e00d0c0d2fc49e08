// SendSMS end to end through the real clients: the gateway simulator for the HTTP channel (the request
// exactly as built, each kind of failure as an error with a number and a text), the modem simulator on
// a pseudo-terminal for the GSM channel.

#include "StoreFixture.h"
#include "TaskWait.h"
#include "channels/ChannelError.h"
#include "channels/DeliveryChannels.h"
#include "channels/ModemDevicePath.h"
#include "channels/QueueCursor.h"
#include "channels/SendUrl.h"
#include "channels/Windows1252.h"
#include "gateway/GatewaySim.h"
#include "modem/ModemSim.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

using namespace std::chrono_literals;
using Field = ConsoleState::Field;

namespace {
const QString kStoredNumber = QStringLiteral(" 55512-34567");
const QString kNumber = QStringLiteral("5551234567");
const QString kStoredText = QStringLiteral("It's\r\nhere 50%+, x,y&z=w \u00e9\t!");
const QString kLedgerTrace = QStringLiteral("Save Data\r\nAdd Record\r\nSave End\r\n");

// The store with the default profile "acme" (counter 1234) sending through `sendUrl`, and the message
// to send queued before one of urgent 5.
struct Sending
{
    StoreFixture f;
    QueueCursor cursor;
    std::unique_ptr<DeliveryChannels> channels;
    QStringList flags; // the console's flag changes

    explicit Sending(const QString& sendUrl, const QString& storedNumber = kStoredNumber)
    {
        f.loadDefaultProfile("acme", {{"Smsid", 1234}, {"Provider", sendUrl}});
        f.queue("9", "next in line", {{"urgent", 5}});
        f.queue(storedNumber, kStoredText);
        cursor = QueueCursor::openLocal(f.store());
        channels = std::make_unique<DeliveryChannels>(f.context());
        QObject::connect(&console(), &ConsoleState::flagChanged, [this](ConsoleState::Flag flag, bool on) {
            flags << QStringLiteral("%1=%2").arg(QVariant::fromValue(flag).toString()).arg(on);
        });
    }
    ConsoleState& console() { return f.context().console(); }
    QString text(Field field) { return console().text(field); }
    QStringList counter() { return f.column("SELECT Smsid FROM config"); }
    void send() { TaskWait::run(channels->sender().sendSms(cursor)); }
};

struct HttpCase
{
    QString mode; // the simulator's send mode
    QString storedNumber;
    int records;   // ledger rows written
    int saveCalls; // calls to the ledger
    QString ans;
};

struct FailureCase
{
    QString control; // the simulator's send mode; empty: the send URL fails by itself
    QString url;     // empty: the simulator's
    int number;
    QString textPart;
};

struct GsmCase
{
    QString simOptions; // empty: no modem, the device does not exist
    int records;
    QString response;
    int errorNumber; // of the error thrown; 0: none
};
} // namespace

Q_DECLARE_METATYPE(HttpCase)
Q_DECLARE_METATYPE(FailureCase)
Q_DECLARE_METATYPE(GsmCase)

class TestSmsSender : public QObject
{
    Q_OBJECT
    std::unique_ptr<GatewaySim> m_gateway;
    QString sendUrl() const
    {
        return m_gateway->baseUrl() + "/send?u=<UName>&p=<PassWord>&to=<mobile>&sid=<GsmSid>&msg=<msg>";
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_gateway = std::make_unique<GatewaySim>();
        QVERIFY2(m_gateway->isRunning(), qPrintable(m_gateway->errorString()));
    }
    void init()
    {
        QVERIFY(m_gateway->control("reset"));
        qunsetenv(ModemDevicePath::EnvironmentVariable);
    }

    void successMarkers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("records");
        QTest::newRow("the number") << kNumber << kNumber << 1;
        QTest::newRow("201 Created") << QStringLiteral("201 Created") << kNumber << 1;
        QTest::newRow("SMS has been Send") << QStringLiteral("Your SMS has been Send.") << kNumber << 1;
        QTest::newRow("Send Successful") << QStringLiteral("Send Successful") << kNumber << 1;
        QTest::newRow("lower-case markers refused")
            << QStringLiteral("sms has been send / send successful") << kNumber << 0;
        QTest::newRow("Message accepted with an id")
            << QStringLiteral("Message accepted 1001") << kNumber << 0;
        QTest::newRow("number and 201: two calls")
            << QStringLiteral("201 Created for 5551234567") << kNumber << 2;
        QTest::newRow("every marker")
            << QStringLiteral("5551234567 201 SMS has been Send Send Successful") << kNumber << 4;
        QTest::newRow("an empty number is no marker")
            << QStringLiteral("Error: bad number") << QString() << 0;
        QTest::newRow("empty answer") << QString() << kNumber << 0;
    }
    void successMarkers()
    {
        QFETCH(QString, answer);
        QFETCH(QString, number);
        QFETCH(int, records);
        QCOMPARE(SmsSender::successMarkerCount(answer, number), records);
    }

    void http_data()
    {
        QTest::addColumn<HttpCase>("c");
        const QString cut =
            (kNumber + " " + QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ").repeated(12)).left(251);
        QTest::newRow("answer with the number") << HttpCase{"number", kStoredNumber, 1, 1, kNumber};
        QTest::newRow("201 Created") << HttpCase{"201", kStoredNumber, 1, 1, "201 Created"};
        QTest::newRow("number holding 201: recorded once")
            << HttpCase{"number", "2015-550100", 1, 2, "2015550100"};
        QTest::newRow("message id only: no success") << HttpCase{"id", kStoredNumber, 0, 0, ""};
        QTest::newRow("empty answer: no success") << HttpCase{"empty", kStoredNumber, 0, 0, ""};
        QTest::newRow("answer with a quote: no success") << HttpCase{"quote", kStoredNumber, 0, 0, ""};
        QTest::newRow("over-long answer stored cut") << HttpCase{"long", kStoredNumber, 1, 1, cut};
    }
    void http()
    {
        QFETCH(HttpCase, c);
        QVERIFY(m_gateway->control("send-mode?mode=" + c.mode));
        Sending s(sendUrl(), c.storedNumber);

        s.send();

        const QString cleaned = SendUrl::cleanNumber(c.storedNumber);
        const QList<QJsonObject> log = m_gateway->requests();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().value("url").toString(),
                 "/send?u=acme&p=pw-acme&to=" + cleaned +
                     "&sid=GSMID&msg=It+s+here+50%25%2B%2C+x%2Cy%26z%3Dw+%E9%09%21");
        const QJsonObject query = log.first().value("query").toObject();
        QCOMPARE(query.value("msg").toString(), QStringLiteral("It s here 50%+, x,y&z=w \u00e9\t!"));
        QCOMPARE(query.value("to").toString(), cleaned);

        QString trace = " Fire Http \r\n";
        for (int i = 0; i < c.saveCalls; ++i)
            trace += i == 0 ? kLedgerTrace : "Save Data\r\n";
        const int counter = 1234 + c.records;
        QCOMPARE(s.text(Field::Trace), trace);
        QCOMPARE(s.text(Field::DeleteTag), c.storedNumber);
        QCOMPARE(s.text(Field::Mobile), cleaned);
        QCOMPARE(s.text(Field::Message), kStoredText);
        QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(s.text(Field::LastAttempt)).hasMatch());
        QCOMPARE(s.text(Field::Counter), QStringLiteral("Current SMS :  %1").arg(counter));
        QCOMPARE(s.counter(), QStringList{QString::number(counter)});

        const QList<QVariantMap> ledger = s.f.ledgerRows();
        QCOMPARE(ledger.size(), c.records);
        QCOMPARE(s.f.count("Rsms"), 2 - c.records);
        QCOMPARE(s.cursor.isOpen(), c.records == 0);
        if (c.records) {
            QCOMPARE(ledger.first().value("ans").toString(), c.ans);
            QCOMPARE(ledger.first().value("mobile").toString(), c.storedNumber);
            QCOMPARE(ledger.first().value("msg").toString(), kStoredText);
        } else {
            QCOMPARE(s.f.column("SELECT Mobile FROM Rsms WHERE rowid = ?", {s.cursor.key()}),
                     QStringList{c.storedNumber});
        }
    }

    void httpFailureLeavesRowQueued_data()
    {
        QTest::addColumn<FailureCase>("c");
        QTcpServer closed; // a loopback port on which nothing listens
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString refused =
            QStringLiteral("http://127.0.0.1:%1/send?p=<PassWord>").arg(closed.serverPort());
        QTest::newRow("HTTP 500") << FailureCase{"http500", "", 500, "HTTP 500"};
        QTest::newRow("time-out") << FailureCase{"timeout", "", ChannelError::TimedOut, "Request timed out"};
        QTest::newRow("dropped connection")
            << FailureCase{"drop", "", QNetworkReply::RemoteHostClosedError, "127.0.0.1"};
        QTest::newRow("nothing listening")
            << FailureCase{"", refused, QNetworkReply::ConnectionRefusedError, "127.0.0.1"};
        QTest::newRow("not a URL") << FailureCase{"", "not a url", QNetworkReply::ProtocolUnknownError,
                                                  "invalid URL"};
    }
    void httpFailureLeavesRowQueued()
    {
        QFETCH(FailureCase, c);
        if (!c.control.isEmpty())
            QVERIFY(m_gateway->control("send-mode?mode=" + c.control));
        Sending s(sendUrl());
        if (!c.url.isEmpty())
            s.f.context().profile().sendUrl = c.url;
        s.channels->http().setTimeout(400ms);
        s.console().setText(Field::Response, "answer about the message before");

        try {
            s.send();
            QFAIL("the failed fetch did not reach the caller");
        } catch (const ChannelError& e) {
            QCOMPARE(e.number(), c.number);
            QVERIFY2(e.text().contains(c.textPart), qPrintable(e.text()));
            QVERIFY2(!e.text().contains("pw-acme"), qPrintable(e.text()));
            QCOMPARE(s.text(Field::Response), e.text());
        }
        QVERIFY(s.cursor.isOpen());
        QCOMPARE(s.f.count("Rsms"), 2);
        QCOMPARE(s.f.count("sms"), 0);
        QCOMPARE(s.counter(), QStringList{"1234"});
        QCOMPARE(s.text(Field::Trace), " Fire Http \r\n");
        QCOMPARE(s.text(Field::Counter), QString()); // the closing step did not run
    }

    void httpGatewayFlagOff()
    {
        Sending s(sendUrl());
        s.f.context().profile().httpGateway = false;
        s.send();
        QCOMPARE(m_gateway->count(), 0);
        QVERIFY(s.cursor.isOpen());
        QCOMPARE(s.f.count("Rsms"), 2);
        QCOMPARE(s.text(Field::Trace), " Fire");
        QCOMPARE(s.text(Field::Counter), "Current SMS :  1234");
    }

    void gsm_data()
    {
        QTest::addColumn<GsmCase>("c");
        QTest::newRow("accepted") << GsmCase{"--echo off", 1, "OK", 0};
        QTest::newRow("+CMS ERROR: stays queued") << GsmCase{"--echo off --mode cms-error", 0, "Error", 0};
        QTest::newRow("no device: stays queued") << GsmCase{"", 0, " ", ChannelError::NoModemDevice};
    }
    void gsm()
    {
        QFETCH(GsmCase, c);
        ModemSim modem;
        if (c.simOptions.isEmpty())
            qputenv(ModemDevicePath::EnvironmentVariable, "/dev/ttyS_missing_9");
        else
            QVERIFY2(modem.start(c.simOptions.split(' ')), qPrintable(modem.errorString()));
        if (modem.isRunning())
            qputenv(ModemDevicePath::EnvironmentVariable, modem.device().toLocal8Bit());
        Sending s(sendUrl());
        s.console().setChannel(ConsoleState::Channel::Gsm);

        try {
            s.send();
            QCOMPARE(c.errorNumber, 0);
        } catch (const ChannelError& e) {
            QCOMPARE(e.number(), c.errorNumber);
            QVERIFY(e.text().contains("/dev/ttyS_missing_9"));
        }
        QCOMPARE(m_gateway->count(), 0);
        if (c.errorNumber)
            QCOMPARE(s.text(Field::Response), c.response);
        else
            QVERIFY2(s.text(Field::Response).startsWith(c.response), qPrintable(s.text(Field::Response)));
        // Input is locked during the exchange, and enabled again however it ended.
        QCOMPARE(s.flags,
                 (QStringList{"WindowEnabled=0", "DeleteEnabled=0", "WindowEnabled=1", "DeleteEnabled=1"}));
        QCOMPARE(s.f.count("sms"), c.records);
        QCOMPARE(s.f.count("Rsms"), 2 - c.records);
        QCOMPARE(s.cursor.isOpen(), c.records == 0);
        if (c.errorNumber)
            return;
        QCOMPARE(s.channels->modemPort().device(), modem.device());
        QVERIFY(s.channels->modemPort().isOpen());
        QCOMPARE(s.text(Field::Trace), c.records ? " Fire" + kLedgerTrace : " Fire");
        const QByteArray wire = "AT+CMGS=\"5551234567\"\r" +
                                Windows1252::encode(SendUrl::prepareText(kStoredText)) + "\x1A" + "Z\r\n";
        QTRY_VERIFY(modem.received().contains(wire));
        if (c.records)
            QVERIFY(s.f.ledgerRows().first().value("ans").isNull());
        QCOMPARE(s.text(Field::Counter), QStringLiteral("Current SMS :  %1").arg(1234 + c.records));
    }
};

QTEST_GUILESS_MAIN(TestSmsSender)
#include "tst_smssender.moc"

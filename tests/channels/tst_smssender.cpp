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
#include <QStringDecoder>
#include <QTcpServer>
#include <QTest>

using namespace std::chrono_literals;
using Field = ConsoleState::Field;

namespace {
const QString kStoredNumber = QStringLiteral(" 55512-34567");
const QString kNumber = QStringLiteral("5551234567");
const QString kStoredText = QStringLiteral("It's\r\nhere 50%+, x,y&z=w \u00e9\t!");
const QString kLedgerTrace = QStringLiteral("Save Data\r\nAdd Record\r\nSave End\r\n");
const QStringList kInputLocked{"WindowEnabled=0", "DeleteEnabled=0", "WindowEnabled=1", "DeleteEnabled=1"};

struct FlagLog
{
    QStringList changes;
    void attach(ConsoleState& console)
    {
        QObject::connect(&console, &ConsoleState::flagChanged, [this](ConsoleState::Flag flag, bool on) {
            changes << QStringLiteral("%1=%2").arg(QVariant::fromValue(flag).toString()).arg(on);
        });
    }
};

// The store with the default profile "acme" (counter 1234) sending through `sendUrl`, and the message
// to send queued behind one of urgent 5.
struct Sending
{
    StoreFixture f;
    QueueCursor cursor;
    std::unique_ptr<DeliveryChannels> channels;

    explicit Sending(const QString& sendUrl, const QString& storedNumber = kStoredNumber)
    {
        f.loadDefaultProfile(QStringLiteral("acme"),
                             {{QStringLiteral("Smsid"), 1234}, {QStringLiteral("Provider"), sendUrl}});
        f.queue(QStringLiteral("9"), QStringLiteral("next in line"), {{QStringLiteral("urgent"), 5}});
        f.queue(storedNumber, kStoredText);
        cursor = QueueCursor::openLocal(f.store());
        channels = std::make_unique<DeliveryChannels>(f.context());
    }
    ConsoleState& console() { return f.context().console(); }
    QString text(Field field) { return console().text(field); }
    QStringList counter() { return f.column(QStringLiteral("SELECT Smsid FROM config")); }
    void send() { TaskWait::run(channels->sender().sendSms(cursor)); }
};
} // namespace

class TestSmsSender : public QObject
{
    Q_OBJECT
    std::unique_ptr<GatewaySim> m_gateway;
    QString sendUrl() const
    {
        return m_gateway->baseUrl() +
               QStringLiteral("/send?u=<UName>&p=<PassWord>&to=<mobile>&sid=<GsmSid>&msg=<msg>");
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_gateway = std::make_unique<GatewaySim>();
        QVERIFY2(m_gateway->isRunning(), qPrintable(m_gateway->errorString()));
    }
    void init()
    {
        QVERIFY(m_gateway->control(QStringLiteral("reset")));
        qunsetenv(ModemDevicePath::EnvironmentVariable);
    }

    void successMarkers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("records");
        const auto row = [](const char* name, const QString& answer, const QString& number, int records) {
            QTest::newRow(name) << answer << number << records;
        };
        row("the number", kNumber, kNumber, 1);
        row("201 Created", "201 Created", kNumber, 1);
        row("SMS has been Send", "Your SMS has been Send.", kNumber, 1);
        row("Send Successful", "Send Successful", kNumber, 1);
        row("lower-case markers refused", "sms has been send / send successful", kNumber, 0);
        row("Message accepted with an id", "Message accepted 1001", kNumber, 0);
        row("number and 201: two calls", "201 Created for 5551234567", kNumber, 2);
        row("every marker", "5551234567 201 SMS has been Send Send Successful", kNumber, 4);
        row("an empty number is no marker", "Error: bad number", "", 0);
        row("empty answer", "", kNumber, 0);
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
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("storedNumber");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("saveCalls");
        QTest::addColumn<QString>("ans");
        const auto row = [](const char* name, const QString& mode, const QString& storedNumber, int records,
                            int saveCalls, const QString& ans) {
            QTest::newRow(name) << mode << storedNumber << records << saveCalls << ans;
        };
        row("answer with the number", "number", kStoredNumber, 1, 1, kNumber);
        row("201 Created", "201", kStoredNumber, 1, 1, "201 Created");
        row("number holding 201: recorded once", "number", "2015-550100", 1, 2, "2015550100");
        row("message id only: no success", "id", kStoredNumber, 0, 0, "");
        row("Message accepted: no success", "accepted", kStoredNumber, 0, 0, "");
        row("empty answer: no success", "empty", kStoredNumber, 0, 0, "");
        row("answer with a quote: no success", "quote", kStoredNumber, 0, 0, "");
        row("over-long answer stored cut", "long", kStoredNumber, 1, 1,
            (kNumber + QStringLiteral(" ") + QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ").repeated(12))
                .left(251));
    }
    void http()
    {
        QFETCH(QString, mode);
        QFETCH(QString, storedNumber);
        QFETCH(int, records);
        QFETCH(int, saveCalls);
        QFETCH(QString, ans);
        QVERIFY(m_gateway->control(QStringLiteral("send-mode?mode=") + mode));
        Sending s(sendUrl(), storedNumber);

        s.send();

        const QString cleaned = SendUrl::cleanNumber(storedNumber);
        const QList<QJsonObject> log = m_gateway->requests();
        QCOMPARE(log.size(), 1);
        QCOMPARE(
            log.first().value("url").toString(),
            QStringLiteral(
                "/send?u=acme&p=pw-acme&to=%1&sid=GSMID&msg=It+s+here+50%25%2B%2C+x%2Cy%26z%3Dw+%E9%09%21")
                .arg(cleaned));
        const QJsonObject query = log.first().value("query").toObject();
        QCOMPARE(query.value("msg").toString(), QStringLiteral("It s here 50%+, x,y&z=w \u00e9\t!"));
        QCOMPARE(query.value("to").toString(), cleaned);

        QString trace = QStringLiteral(" Fire Http \r\n");
        for (int i = 0; i < saveCalls; ++i)
            trace += i == 0 ? kLedgerTrace : QStringLiteral("Save Data\r\n");
        QCOMPARE(s.text(Field::Trace), trace);
        QCOMPARE(s.text(Field::DeleteTag), storedNumber);
        QCOMPARE(s.text(Field::Mobile), cleaned);
        QCOMPARE(s.text(Field::Message), kStoredText);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                    .match(s.text(Field::LastAttempt))
                    .hasMatch());
        const int counter = 1234 + records;
        QCOMPARE(s.text(Field::Counter), QStringLiteral("Current SMS :  %1").arg(counter));
        QCOMPARE(s.counter(), QStringList{QString::number(counter)});

        const QList<QVariantMap> ledger = s.f.ledgerRows();
        QCOMPARE(ledger.size(), records);
        QCOMPARE(s.f.count("Rsms"), 2 - records);
        QCOMPARE(s.cursor.isOpen(), records == 0);
        if (records) {
            QCOMPARE(ledger.first().value("ans").toString(), ans);
            QCOMPARE(ledger.first().value("mobile").toString(), storedNumber);
            QCOMPARE(ledger.first().value("msg").toString(), kStoredText);
        } else {
            QCOMPARE(s.f.column("SELECT Mobile FROM Rsms WHERE rowid = ?", {s.cursor.key()}),
                     QStringList{storedNumber});
        }
    }

    // Every character of the code page, encoded and sent, arrives as the same text. Only the escapes of
    // the unreserved "-._~" travel decoded (the URL library normalises them); the gateway reads the same
    // text either way.
    void everyCodeReachesTheGateway()
    {
        QByteArray all;
        for (int code = 3; code < 256; ++code) // 1 and 2 stand in for "%" and "+"
            all.append(static_cast<char>(code));
        const QString text = QStringDecoder("windows-1252").decode(all);
        const QString built = SendUrl::build(m_gateway->baseUrl() + QStringLiteral("/send?to=1&t=<msg>"),
                                             SendUrl::fromProfile(ProfileState(), "1", text));

        HttpFetcher http;
        TaskWait::run(http.fetch(built));
        const QList<QJsonObject> log = m_gateway->requests();
        QCOMPARE(log.size(), 1);
        QString expectedTarget = built.mid(m_gateway->baseUrl().size());
        expectedTarget.replace("%2D", "-").replace("%2E", ".").replace("%5F", "_").replace("%7E", "~");
        QCOMPARE(log.first().value("url").toString(), expectedTarget);
        QCOMPARE(log.first().value("query").toObject().value("t").toString(), text);
    }

    void httpFailureLeavesRowQueued_data()
    {
        QTest::addColumn<QString>("control"); // the simulator's mode; empty: the send URL fails by itself
        QTest::addColumn<QString>("url");     // empty: the simulator's
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("textPart");
        QTcpServer closed; // a loopback port on which nothing listens
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString refused =
            QStringLiteral("http://127.0.0.1:%1/send?p=<PassWord>").arg(closed.serverPort());
        QTest::newRow("HTTP 500") << "http500" << QString() << 500 << "HTTP 500";
        QTest::newRow("time-out") << "timeout" << QString() << int(ChannelError::TimedOut)
                                  << "Request timed out";
        QTest::newRow("dropped connection")
            << "drop" << QString() << int(QNetworkReply::RemoteHostClosedError) << "127.0.0.1";
        QTest::newRow("nothing listening")
            << "" << refused << int(QNetworkReply::ConnectionRefusedError) << "127.0.0.1";
        QTest::newRow("not a URL") << ""
                                   << "not a url" << int(QNetworkReply::ProtocolUnknownError)
                                   << "invalid URL";
    }
    void httpFailureLeavesRowQueued()
    {
        QFETCH(QString, control);
        QFETCH(QString, url);
        QFETCH(int, number);
        QFETCH(QString, textPart);
        if (!control.isEmpty())
            QVERIFY(m_gateway->control(QStringLiteral("send-mode?mode=") + control));
        Sending s(sendUrl());
        if (!url.isEmpty())
            s.f.context().profile().sendUrl = url;
        s.channels->http().setTimeout(400ms);
        s.console().setText(Field::Response, QStringLiteral("answer about the message before"));

        try {
            s.send();
            QFAIL("the failed fetch did not reach the caller");
        } catch (const ChannelError& e) {
            QCOMPARE(e.number(), number);
            QVERIFY2(e.text().contains(textPart), qPrintable(e.text()));
            QVERIFY2(!e.text().contains(QLatin1String("pw-acme")), qPrintable(e.text()));
            QCOMPARE(s.text(Field::Response), e.text());
        }
        QVERIFY(s.cursor.isOpen());
        QCOMPARE(s.f.count("Rsms"), 2);
        QCOMPARE(s.f.count("sms"), 0);
        QCOMPARE(s.counter(), QStringList{"1234"});
        QCOMPARE(s.text(Field::Trace), QStringLiteral(" Fire Http \r\n"));
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
        QCOMPARE(s.text(Field::Trace), QStringLiteral(" Fire"));
        QCOMPARE(s.text(Field::Counter), QStringLiteral("Current SMS :  1234"));
    }

    void gsm_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("responseStart");
        QTest::newRow("accepted") << QStringList{"--echo", "off"} << 1 << "OK";
        QTest::newRow("+CMS ERROR: stays queued")
            << QStringList{"--echo", "off", "--mode", "cms-error"} << 0 << "Error";
    }
    void gsm()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(int, records);
        QFETCH(QString, responseStart);
        ModemSim modem;
        QVERIFY2(modem.start(simOptions), qPrintable(modem.errorString()));
        qputenv(ModemDevicePath::EnvironmentVariable, modem.device().toLocal8Bit());
        Sending s(sendUrl());
        s.console().setChannel(ConsoleState::Channel::Gsm);
        FlagLog flags;
        flags.attach(s.console());

        s.send();

        QCOMPARE(m_gateway->count(), 0);
        QVERIFY(s.channels->modemPort().isOpen());
        QCOMPARE(s.channels->modemPort().device(), modem.device());
        const QString response = s.text(Field::Response);
        QVERIFY2(response.startsWith(responseStart), qPrintable(response));
        QCOMPARE(flags.changes, kInputLocked);
        QCOMPARE(s.text(Field::Trace),
                 records ? QStringLiteral(" Fire") + kLedgerTrace : QStringLiteral(" Fire"));
        QCOMPARE(s.f.count("sms"), records);
        QCOMPARE(s.f.count("Rsms"), 2 - records);
        const QByteArray wire = "AT+CMGS=\"5551234567\"\r" +
                                Windows1252::encode(SendUrl::prepareText(kStoredText)) + "\x1A" + "Z\r\n";
        QTRY_VERIFY(modem.received().contains(wire));
        if (records)
            QVERIFY(s.f.ledgerRows().first().value("ans").isNull());
        QCOMPARE(s.text(Field::Counter), QStringLiteral("Current SMS :  %1").arg(1234 + records));
    }

    void gsmPortThatCannotBeOpened()
    {
        qputenv(ModemDevicePath::EnvironmentVariable, "/dev/ttyS_missing_9");
        Sending s(sendUrl());
        s.console().setChannel(ConsoleState::Channel::Gsm);
        FlagLog flags;
        flags.attach(s.console());
        try {
            s.send();
            QFAIL("a port that cannot be opened did not reach the caller");
        } catch (const ChannelError& e) {
            QCOMPARE(e.number(), int(ChannelError::NoModemDevice));
            QVERIFY(e.text().contains(QLatin1String("/dev/ttyS_missing_9")));
        }
        // Input is enabled again although the exchange ended in an error.
        QCOMPARE(flags.changes, kInputLocked);
        QVERIFY(s.console().flag(ConsoleState::Flag::WindowEnabled));
        QVERIFY(s.console().flag(ConsoleState::Flag::DeleteEnabled));
        QCOMPARE(s.text(Field::Response), QStringLiteral(" "));
        QVERIFY(s.cursor.isOpen());
        QCOMPARE(s.f.count("Rsms"), 2);
    }
};

QTEST_GUILESS_MAIN(TestSmsSender)
#include "tst_smssender.moc"

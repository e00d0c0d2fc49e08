// SendSMS end to end through the real clients: the gateway simulator for the
// HTTP channel, the modem simulator on a pseudo-terminal for the GSM channel.

#include "ChannelFixture.h"
#include "TaskWait.h"
#include "channels/ChannelError.h"
#include "channels/DeliveryChannels.h"
#include "channels/ModemDevicePath.h"
#include "channels/SendUrl.h"
#include "gateway/GatewaySim.h"
#include "modem/ModemSim.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const QString kStoredNumber = QStringLiteral(" 55512-34567");
const QString kNumber = QStringLiteral("5551234567");
const QString kStoredText = QStringLiteral("It's\r\nhere 50%");
const QString kLedgerTrace = QStringLiteral("Save Data\r\nAdd Record\r\nSave End\r\n");

ModemTiming patientTiming()
{
    ModemTiming t;
    t.prepare = 600s;
    t.prompt = 600s;
    t.acceptance = 600s;
    return t;
}

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
} // namespace

class TestSmsSender : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void successMarkers_data();
    void successMarkers();
    void poolInstance_data();
    void poolInstance();
    void http_data();
    void http();
    void httpFailureLeavesRowQueued_data();
    void httpFailureLeavesRowQueued();
    void httpGatewayFlagOff();
    void gsm_data();
    void gsm();
    void gsmPortThatCannotBeOpened();

private:
    std::unique_ptr<GatewaySim> m_gateway;
};

void TestSmsSender::initTestCase()
{
    m_gateway = std::make_unique<GatewaySim>();
    QVERIFY2(m_gateway->isRunning(), qPrintable(m_gateway->errorString()));
}

void TestSmsSender::init()
{
    QVERIFY(m_gateway->control(QStringLiteral("reset")));
    qunsetenv(ModemDevicePath::EnvironmentVariable);
}

void TestSmsSender::successMarkers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("records");
    QTest::newRow("the number") << "5551234567"
                                << "5551234567" << 1;
    QTest::newRow("201 Created") << "201 Created"
                                 << "5551234567" << 1;
    QTest::newRow("SMS has been Send") << "Your SMS has been Send."
                                       << "5551234567" << 1;
    QTest::newRow("Send Successful") << "Send Successful"
                                     << "5551234567" << 1;
    QTest::newRow("lower-case markers refused") << "sms has been send / send successful"
                                                << "5551234567" << 0;
    QTest::newRow("Message accepted with an id") << "Message accepted 1001"
                                                 << "5551234567" << 0;
    QTest::newRow("number and 201: two calls") << "201 Created for 5551234567"
                                               << "5551234567" << 2;
    QTest::newRow("every marker") << "5551234567 201 SMS has been Send Send Successful"
                                  << "5551234567" << 4;
    QTest::newRow("an empty number is no marker") << "Error: bad number"
                                                  << "" << 0;
    QTest::newRow("empty answer") << ""
                                  << "5551234567" << 0;
}

void TestSmsSender::successMarkers()
{
    QFETCH(QString, answer);
    QFETCH(QString, number);
    QFETCH(int, records);
    QCOMPARE(SmsSender::successMarkerCount(answer, number), records);
}

void TestSmsSender::poolInstance_data()
{
    QTest::addColumn<int>("counter");
    QTest::addColumn<int>("instance");
    QTest::newRow("1234") << 1234 << 34;
    QTest::newRow("1299") << 1299 << 99;
    QTest::newRow("1300") << 1300 << 0;
    QTest::newRow("7") << 7 << 7;
}

void TestSmsSender::poolInstance()
{
    QFETCH(int, counter);
    QFETCH(int, instance);
    QCOMPARE(SmsSender::poolInstance(counter), instance);
}

void TestSmsSender::http_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("storedNumber");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("saveCalls");
    QTest::addColumn<QString>("ans");

    QTest::newRow("answer with the number") << "number" << kStoredNumber << 1 << 1 << kNumber;
    QTest::newRow("201 Created") << "201" << kStoredNumber << 1 << 1 << "201 Created";
    QTest::newRow("number holding 201: recorded once") << "number"
                                                       << "2015-550100" << 1 << 2 << "2015550100";
    QTest::newRow("message id only: no success") << "id" << kStoredNumber << 0 << 0 << "";
    QTest::newRow("Message accepted: no success") << "accepted" << kStoredNumber << 0 << 0 << "";
    QTest::newRow("empty answer: no success") << "empty" << kStoredNumber << 0 << 0 << "";
    QTest::newRow("answer with a quote: no success") << "quote" << kStoredNumber << 0 << 0 << "";
    QTest::newRow("over-long answer stored cut")
        << "long" << kStoredNumber << 1 << 1
        << (kNumber + QStringLiteral(" ") + QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ").repeated(12))
               .left(251);
}

void TestSmsSender::http()
{
    QFETCH(QString, mode);
    QFETCH(QString, storedNumber);
    QFETCH(int, records);
    QFETCH(int, saveCalls);
    QFETCH(QString, ans);
    QVERIFY(m_gateway->control(QStringLiteral("send-mode?mode=") + mode));

    ChannelFixture f;
    f.context->profile().sendUrl =
        m_gateway->baseUrl() +
        QStringLiteral("/send?u=<UName>&p=<PassWord>&to=<mobile>&sid=<GsmSid>&msg=<msg>");
    f.queue(QStringLiteral("9"), QStringLiteral("next in line"), QStringLiteral("x"), 0, 5);
    QueueCursor cursor = f.queue(storedNumber, kStoredText);
    DeliveryChannels channels(*f.context);

    TaskWait::run(channels.sender().sendSms(cursor));

    const QString cleaned = SendUrl::cleanNumber(storedNumber);
    const QList<QJsonObject> log = m_gateway->requests();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first().value("url").toString(),
             QStringLiteral("/send?u=acme&p=pw&to=%1&sid=GSMID&msg=It+s+here+50%25").arg(cleaned));

    ConsoleState& console = f.console();
    QString trace = QStringLiteral(" Fire Http \r\n");
    for (int i = 0; i < saveCalls; ++i)
        trace += i == 0 ? kLedgerTrace : QStringLiteral("Save Data\r\n");
    QCOMPARE(console.text(ConsoleState::Field::Trace), trace);
    QCOMPARE(console.text(ConsoleState::Field::DeleteTag), storedNumber);
    QCOMPARE(console.text(ConsoleState::Field::Mobile), cleaned);
    QCOMPARE(console.text(ConsoleState::Field::Message), kStoredText);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                .match(console.text(ConsoleState::Field::LastAttempt))
                .hasMatch());
    const int counter = 1234 + records;
    QCOMPARE(console.text(ConsoleState::Field::Counter), QStringLiteral("Current SMS :  %1").arg(counter));
    QCOMPARE(f.storedCounter(), counter);

    const QList<QVariantMap> ledger = f.ledger();
    QCOMPARE(ledger.size(), records);
    QCOMPARE(f.count("Rsms"), 2 - records);
    QCOMPARE(cursor.isOpen(), records == 0);
    if (records) {
        QCOMPARE(ledger.first().value("ans").toString(), ans);
        QCOMPARE(ledger.first().value("mobile").toString(), storedNumber);
        QCOMPARE(ledger.first().value("msg").toString(), kStoredText);
    } else {
        QCOMPARE(f.store().scalar("SELECT count(*) FROM Rsms WHERE rowid = ?", {cursor.key()}).toInt(), 1);
    }
}

void TestSmsSender::httpFailureLeavesRowQueued_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("number");
    QTest::newRow("HTTP 500") << "send-mode?mode=http500" << 500;
    QTest::newRow("time-out") << "send-mode?mode=timeout" << int(ChannelError::TimedOut);
    QTest::newRow("dropped connection") << "send-mode?mode=drop" << int(QNetworkReply::RemoteHostClosedError);
}

void TestSmsSender::httpFailureLeavesRowQueued()
{
    QFETCH(QString, control);
    QFETCH(int, number);
    QVERIFY(m_gateway->control(control));

    ChannelFixture f;
    f.context->profile().sendUrl = m_gateway->baseUrl() + QStringLiteral("/send?to=<mobile>&msg=<msg>");
    QueueCursor cursor = f.queue(kStoredNumber, kStoredText);
    DeliveryChannels channels(*f.context);
    channels.http().setTimeout(400ms);
    const QString earlierAnswer = QStringLiteral("answer about the message before");
    f.console().setText(ConsoleState::Field::Response, earlierAnswer);

    try {
        TaskWait::run(channels.sender().sendSms(cursor));
        QFAIL("the failed fetch did not reach the caller");
    } catch (const ChannelError& e) {
        QCOMPARE(e.number(), number);
        QCOMPARE(f.console().text(ConsoleState::Field::Response), e.text());
    }
    QVERIFY(cursor.isOpen());
    QCOMPARE(f.count("Rsms"), 1);
    QCOMPARE(f.ledger().size(), 0);
    QCOMPARE(f.storedCounter(), 1234);
    QCOMPARE(f.console().text(ConsoleState::Field::Trace), QStringLiteral(" Fire Http \r\n"));
    QCOMPARE(f.console().text(ConsoleState::Field::Counter), QString()); // the closing step did not run
}

void TestSmsSender::httpGatewayFlagOff()
{
    ChannelFixture f;
    f.context->profile().httpGateway = false;
    f.context->profile().sendUrl = m_gateway->baseUrl() + QStringLiteral("/send?to=<mobile>&msg=<msg>");
    QueueCursor cursor = f.queue(kStoredNumber, kStoredText);
    DeliveryChannels channels(*f.context);

    TaskWait::run(channels.sender().sendSms(cursor));

    QCOMPARE(m_gateway->count(), 0);
    QVERIFY(cursor.isOpen());
    QCOMPARE(f.count("Rsms"), 1);
    QCOMPARE(f.console().text(ConsoleState::Field::Trace), QStringLiteral(" Fire"));
    QCOMPARE(f.console().text(ConsoleState::Field::Counter), QStringLiteral("Current SMS :  1234"));
}

void TestSmsSender::gsm_data()
{
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("responseStart");
    QTest::newRow("accepted, echo off") << QStringList{"--echo", "off"} << 1 << "OK";
    QTest::newRow("accepted, echo on") << QStringList{"--echo", "on"} << 1 << "OK";
    QTest::newRow("modem left at the prompt")
        << QStringList{"--echo", "off", "--mode", "left-at-prompt"} << 1 << "OK";
    QTest::newRow("+CMS ERROR: stays queued")
        << QStringList{"--echo", "off", "--mode", "cms-error"} << 0 << "Error";
    QTest::newRow("ERROR: stays queued") << QStringList{"--echo", "off", "--mode", "error"} << 0 << "Error";
}

void TestSmsSender::gsm()
{
    QFETCH(QStringList, simOptions);
    QFETCH(int, records);
    QFETCH(QString, responseStart);

    ModemSim modem;
    QVERIFY2(modem.start(simOptions), qPrintable(modem.errorString()));
    qputenv(ModemDevicePath::EnvironmentVariable, modem.device().toLocal8Bit());

    ChannelFixture f;
    f.console().setChannel(ConsoleState::Channel::Gsm);
    f.context->profile().sendUrl = m_gateway->baseUrl() + QStringLiteral("/send?to=<mobile>&msg=<msg>");
    QueueCursor cursor = f.queue(kStoredNumber, kStoredText);
    DeliveryChannels channels(*f.context);
    channels.modem().timing() = patientTiming();
    FlagLog flags;
    flags.attach(f.console());

    TaskWait::run(channels.sender().sendSms(cursor));

    QCOMPARE(m_gateway->count(), 0);
    QVERIFY(channels.modemPort().isOpen());
    QCOMPARE(channels.modemPort().device(), modem.device());
    const QString response = f.console().text(ConsoleState::Field::Response);
    QVERIFY2(response.startsWith(responseStart), qPrintable(response));
    QCOMPARE(flags.changes,
             QStringList({"WindowEnabled=0", "DeleteEnabled=0", "WindowEnabled=1", "DeleteEnabled=1"}));
    QCOMPARE(f.console().text(ConsoleState::Field::Trace),
             records ? QStringLiteral(" Fire") + kLedgerTrace : QStringLiteral(" Fire"));
    QCOMPARE(f.ledger().size(), records);
    QCOMPARE(f.count("Rsms"), 1 - records);
    if (records) {
        QVERIFY(f.ledger().first().value("ans").isNull());
        QVERIFY(QTest::qWaitFor([&] {
            return modem.received().contains("It s here 50%"
                                             "\x1A"
                                             "Z\r\n");
        }));
    }
    QVERIFY(modem.received().contains("AT+CMGS=\"5551234567\"\r"));
    QCOMPARE(f.console().text(ConsoleState::Field::Counter),
             QStringLiteral("Current SMS :  %1").arg(1234 + records));
}

void TestSmsSender::gsmPortThatCannotBeOpened()
{
    qputenv(ModemDevicePath::EnvironmentVariable, "/dev/ttyS_missing_9");
    ChannelFixture f;
    f.console().setChannel(ConsoleState::Channel::Gsm);
    QueueCursor cursor = f.queue(kStoredNumber, kStoredText);
    DeliveryChannels channels(*f.context);
    FlagLog flags;
    flags.attach(f.console());

    try {
        TaskWait::run(channels.sender().sendSms(cursor));
        QFAIL("a port that cannot be opened did not reach the caller");
    } catch (const ChannelError& e) {
        QCOMPARE(e.number(), int(ChannelError::NoModemDevice));
        QVERIFY(e.text().contains(QLatin1String("/dev/ttyS_missing_9")));
    }
    // Input is enabled again although the exchange ended in an error.
    QCOMPARE(flags.changes,
             QStringList({"WindowEnabled=0", "DeleteEnabled=0", "WindowEnabled=1", "DeleteEnabled=1"}));
    QVERIFY(f.console().flag(ConsoleState::Flag::WindowEnabled));
    QVERIFY(f.console().flag(ConsoleState::Flag::DeleteEnabled));
    QCOMPARE(f.console().text(ConsoleState::Field::Response), QStringLiteral(" "));
    QVERIFY(cursor.isOpen());
    QCOMPARE(f.count("Rsms"), 1);
}

QTEST_GUILESS_MAIN(TestSmsSender)
#include "tst_smssender.moc"

// The modem exchange through a real pseudo-terminal: the engine's serial-port
// code against sms-modem-sim in each of its modes.

#include "TaskWait.h"
#include "channels/ChannelError.h"
#include "channels/ModemExchange.h"
#include "channels/SerialModemPort.h"
#include "channels/Windows1252.h"
#include "modem/ModemSim.h"

#include <QCoroTask>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {
// Bounds that a correct exchange never reaches in these tests: a wait that
// ran to such a bound would show up as a hanging test, not as a pass.
ModemTiming patientTiming()
{
    ModemTiming t;
    t.prepare = 600s;
    t.prompt = 600s;
    t.acceptance = 600s;
    return t;
}

QByteArray cmgs(const QByteArray& number)
{
    return "AT+CMGS=\"" + number + "\"\r";
}

const QByteArray kPrepare = "AT+cmgf=1\r\n";
const QByteArray kEnd = QByteArray("\x1A", 1) + "Z\r\n";
// What a modem left at the prompt receives before the message.
const QByteArray kCancelPrompt = kPrepare + QByteArray("\x1B", 1) + "AT+CMGF=1\r\n";
} // namespace

class TestModemExchange : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void exchange_data();
    void exchange();
    void boundsEndTheWaits_data();
    void boundsEndTheWaits();
    void lostModemGivesEmptyResultThenOpenFails();
    void portThatCannotBeOpenedThrows_data();
    void portThatCannotBeOpenedThrows();
    void portInUseThrows();
    void errorLines_data();
    void errorLines();
};

void TestModemExchange::exchange_data()
{
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("resultStart");      // "OK", "Error"
    QTest::addColumn<QString>("resultContains");   // part of the modem's answer in the result
    QTest::addColumn<QByteArray>("bytesReceived"); // exactly what the modem got

    const QByteArray number = "5551234567";
    QTest::newRow("echo on: +CMGS after the echo")
        << QStringList{"--echo", "on"} << "Hello there"
        << "OK"
        << "+CMGS: 1" << kPrepare + cmgs(number) + "Hello there" + kEnd;
    QTest::newRow("echo off: +CMGS and OK") << QStringList{"--echo", "off"} << "Hello there"
                                            << "OK"
                                            << "+CMGS: 1" << kPrepare + cmgs(number) + "Hello there" + kEnd;
    QTest::newRow("blanks around the text: echo matched trimmed")
        << QStringList{"--echo", "on"} << "  padded text  "
        << "OK"
        << "padded text" << kPrepare + cmgs(number) + "  padded text  " + kEnd;
    QTest::newRow("text empty after trimming is accepted at once")
        << QStringList{"--echo", "off"} << "   "
        << "OK"
        << "" << kPrepare + cmgs(number) + "   " + kEnd;
    QTest::newRow("answers in one-byte pieces")
        << QStringList{"--echo", "off", "--mode", "slow"} << "Slow line"
        << "OK"
        << "+CMGS:" << kPrepare + cmgs(number) + "Slow line" + kEnd;
    QTest::newRow("no prompt ends with Error, the text is never sent")
        << QStringList{"--echo", "off", "--mode", "no-prompt"} << "Never"
        << "Error"
        << "" << kPrepare + cmgs(number);
    QTest::newRow("ERROR to AT+CMGS ends the prompt wait")
        << QStringList{"--echo", "on", "--mode", "error"} << "Refused"
        << "Error"
        << "" << kPrepare + cmgs(number);
    QTest::newRow("+CMS ERROR ends the acceptance wait")
        << QStringList{"--echo", "off", "--mode", "cms-error"} << "Network down"
        << "Error"
        << "" << kPrepare + cmgs(number) + "Network down" + kEnd;
    // A text of zeros is no echo of itself: only the modem's answer counts.
    QTest::newRow("text 0 refused by the modem is no success")
        << QStringList{"--echo", "off", "--mode", "cms-error"} << "0"
        << "Error"
        << "" << kPrepare + cmgs(number) + "0" + kEnd;
    // The echo is no acceptance, however it reads: the refusal that follows decides.
    QTest::newRow("echo on: +CMS ERROR at once")
        << QStringList{"--echo", "on", "--mode", "cms-error"} << "Network down"
        << "Error"
        << "" << kPrepare + cmgs(number) + "Network down" + kEnd;
    QTest::newRow("echo on: +CMS ERROR a second after the echo")
        << QStringList{"--echo", "on", "--mode", "late-cms-error"} << "Network down"
        << "Error"
        << "" << kPrepare + cmgs(number) + "Network down" + kEnd;
    QTest::newRow("echo off: +CMS ERROR a second later")
        << QStringList{"--echo", "off", "--mode", "late-cms-error"} << "Network down"
        << "Error"
        << "" << kPrepare + cmgs(number) + "Network down" + kEnd;
    QTest::newRow("echo on: a text reading OK, then refused")
        << QStringList{"--echo", "on", "--mode", "late-cms-error"} << "OK"
        << "Error"
        << "" << kPrepare + cmgs(number) + "OK" + kEnd;
    QTest::newRow("echo on: result lines inside the text, then refused")
        << QStringList{"--echo", "on", "--mode", "late-cms-error"} << "Fine\n+CMGS: 7\nOK\n"
        << "Error"
        << "" << kPrepare + cmgs(number) + "Fine\n+CMGS: 7\nOK\n" + kEnd;
    // Cancelled, not sent: the modem's pending text never goes out as a message.
    QTest::newRow("left at the prompt: cancelled before the message")
        << QStringList{"--echo", "off", "--mode", "left-at-prompt"} << "After recovery"
        << "OK"
        << "+CMGS: 1" << kCancelPrompt + kPrepare + cmgs(number) + "After recovery" + kEnd;
    QTest::newRow("left at the prompt with echo")
        << QStringList{"--echo", "on", "--mode", "left-at-prompt"} << "Echoed after recovery"
        << "OK"
        << "+CMGS: 1" << kCancelPrompt + kPrepare + cmgs(number) + "Echoed after recovery" + kEnd;
    QTest::newRow("Western letters travel as code page bytes")
        << QStringList{"--echo", "on"} << QString::fromUtf8("Caf\u00e9 \u20ac5") << "OK"
        << QString::fromUtf8("Caf\u00e9 \u20ac5")
        << kPrepare + cmgs(number) +
               "Caf\xE9 \x80"
               "5" +
               kEnd;
}

void TestModemExchange::exchange()
{
    QFETCH(QStringList, simOptions);
    QFETCH(QString, text);
    QFETCH(QString, resultStart);
    QFETCH(QString, resultContains);
    QFETCH(QByteArray, bytesReceived);

    ModemSim sim;
    QVERIFY2(sim.start(simOptions), qPrintable(sim.errorString()));

    SerialModemPort port;
    port.setDevice(sim.device());
    ModemTiming timing = patientTiming();
    if (simOptions.contains(QStringLiteral("no-prompt")))
        timing.prompt = 500ms; // silence is only ended by the bound
    ModemExchange modem(port, timing);

    TaskWait::run(modem.prepareModem());
    QVERIFY(port.isOpen());
    const QString result = TaskWait::run(modem.sendModemSms(QStringLiteral("5551234567"), text));

    if (resultStart == QLatin1String("Error"))
        QCOMPARE(result, QStringLiteral("Error"));
    else
        QVERIFY2(result.startsWith(resultStart), qPrintable(result));
    QVERIFY2(result.contains(resultContains), qPrintable(result));
    // The modem has the bytes once the exchange is over; give its log a moment.
    QTRY_COMPARE(sim.received(), bytesReceived);
    // What the modem sent as a message: this one alone, with nothing before its text.
    if (resultStart == QLatin1String("OK")) {
        QTRY_VERIFY(!sim.messages().isEmpty());
        const QStringList messages = sim.messages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(ModemSim::unescape(messages.first().section(QStringLiteral(": "), 1).toLatin1()),
                 Windows1252::encode(text));
    } else {
        QVERIFY(sim.messages().isEmpty());
    }
}

void TestModemExchange::boundsEndTheWaits_data()
{
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<int>("promptMs");
    QTest::addColumn<int>("acceptanceMs");
    QTest::addColumn<QString>("expected");

    // The simulator answers every command after 700 ms.
    QTest::newRow("acceptance bound shorter than the modem")
        << QStringList{"--echo", "off", "--delay", "700"} << 60000 << 200 << "Error";
    QTest::newRow("acceptance bound longer than the modem")
        << QStringList{"--echo", "off", "--delay", "700"} << 60000 << 60000 << "OK";
    QTest::newRow("prompt bound shorter than the modem")
        << QStringList{"--echo", "off", "--delay", "700"} << 200 << 60000 << "Error";
}

void TestModemExchange::boundsEndTheWaits()
{
    QFETCH(QStringList, simOptions);
    QFETCH(int, promptMs);
    QFETCH(int, acceptanceMs);
    QFETCH(QString, expected);

    ModemSim sim;
    QVERIFY2(sim.start(simOptions), qPrintable(sim.errorString()));
    SerialModemPort port;
    port.setDevice(sim.device());
    ModemTiming timing = patientTiming();
    timing.prompt = std::chrono::milliseconds(promptMs);
    timing.acceptance = std::chrono::milliseconds(acceptanceMs);
    ModemExchange modem(port, timing);

    TaskWait::run(modem.prepareModem());
    const QString result =
        TaskWait::run(modem.sendModemSms(QStringLiteral("123"), QStringLiteral("Bounded")));
    QVERIFY2(result.startsWith(expected), qPrintable(result));
    if (expected == QLatin1String("Error"))
        QCOMPARE(result, QStringLiteral("Error"));
}

void TestModemExchange::lostModemGivesEmptyResultThenOpenFails()
{
    ModemSim sim;
    QVERIFY2(sim.start({"--echo", "off", "--mode", "no-prompt"}), qPrintable(sim.errorString()));
    SerialModemPort port;
    port.setDevice(sim.device());
    ModemExchange modem(port, patientTiming());
    TaskWait::run(modem.prepareModem());

    // The modem goes away while the exchange waits for its prompt.
    QTimer::singleShot(300, [&sim] { sim.stop(); });
    const QString result = TaskWait::run(modem.sendModemSms(QStringLiteral("123"), QStringLiteral("Lost")));
    QCOMPARE(result, QString());
    QVERIFY(!port.isOpen());
    QVERIFY(!port.lastError().isEmpty());

    // The next exchange tries to open the port again, and fails loudly.
    try {
        TaskWait::run(modem.prepareModem());
        QFAIL("opening a vanished device did not throw");
    } catch (const ChannelError& e) {
        QCOMPARE(e.number(), int(ChannelError::NoModemDevice));
        QVERIFY2(e.text().contains(sim.device()), qPrintable(e.text()));
    }
    QCOMPARE(TaskWait::run(modem.sendModemSms(QStringLiteral("123"), QStringLiteral("x"))), QString());
}

void TestModemExchange::portThatCannotBeOpenedThrows_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("number");
    QTest::newRow("no device configured") << QString() << int(ChannelError::NoModemDevice);
    QTest::newRow("device that does not exist") << "/dev/ttyS_missing_9" << int(ChannelError::NoModemDevice);
    QTest::newRow("not a serial device") << "/dev/null" << int(ChannelError::ModemOpen);
}

void TestModemExchange::portThatCannotBeOpenedThrows()
{
    QFETCH(QString, device);
    QFETCH(int, number);
    SerialModemPort port;
    port.setDevice(device);
    ModemExchange modem(port, patientTiming());
    try {
        TaskWait::run(modem.prepareModem());
        QFAIL("no error");
    } catch (const ChannelError& e) {
        QCOMPARE(e.number(), number);
        QVERIFY(!e.text().isEmpty());
    }
    QVERIFY(!port.isOpen());
}

void TestModemExchange::portInUseThrows()
{
    ModemSim sim;
    QVERIFY2(sim.start({"--echo", "off"}), qPrintable(sim.errorString()));
    SerialModemPort first;
    first.setDevice(sim.device());
    first.open();
    SerialModemPort second;
    second.setDevice(sim.device());
    ModemExchange modem(second, patientTiming());
    try {
        TaskWait::run(modem.prepareModem());
        QFAIL("a port held by another program opened twice");
    } catch (const ChannelError& e) {
        QCOMPARE(e.number(), int(ChannelError::ModemInUse));
    }
}

void TestModemExchange::errorLines_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("error");
    QTest::newRow("ERROR line") << "AT+CMGS=\"1\"\r\r\nERROR\r\n" << true;
    QTest::newRow("+CMS ERROR with a code") << "\r\n+CMS ERROR: 500\r\n" << true;
    QTest::newRow("+CMS ERROR still arriving") << "\r\n+CMS ERROR: " << true;
    QTest::newRow("+CME ERROR") << "\r\n+CME ERROR: 10\r\n" << true;
    QTest::newRow("after an echoed text") << "Hello\r\nERROR\r\n" << true;
    QTest::newRow("the word inside an echoed text") << "NO ERROR HERE" << false;
    QTest::newRow("an echoed text reading ERROR") << "ERROR\r\n> " << false;
    QTest::newRow("echoed on a continued prompt line") << "a\r\n> ERROR\r\n" << false;
    QTest::newRow("ERROR not yet complete") << "\r\nERR" << false;
    QTest::newRow("ERROR line not yet ended") << "\r\nERROR" << false;
    QTest::newRow("lower case is no modem answer") << "\r\nerror\r\n" << false;
    QTest::newRow("acceptance") << "\r\n+CMGS: 4\r\n\r\nOK\r\n" << false;
}

void TestModemExchange::errorLines()
{
    QFETCH(QString, answer);
    QFETCH(bool, error);
    QCOMPARE(ModemExchange::hasErrorLine(answer), error);
}

QTEST_GUILESS_MAIN(TestModemExchange)
#include "tst_modemexchange.moc"

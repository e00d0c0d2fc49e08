// The modem exchange through a pseudo-terminal against sms-modem-sim; the serial device looked for.

#include "TaskWait.h"
#include "channels/ChannelError.h"
#include "channels/ModemDevicePath.h"
#include "channels/ModemExchange.h"
#include "channels/SerialModemPort.h"
#include "channels/Windows1252.h"
#include "modem/ModemSim.h"

#include <QCoroTask>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {
// Bounds a correct exchange never reaches: a wait that ran to one shows as a hang, not as a pass.
ModemTiming patientTiming()
{
    ModemTiming t;
    t.prepare = 600s;
    t.prompt = 600s;
    t.acceptance = 600s;
    return t;
}

const QByteArray kPrepare = "AT+cmgf=1\r\n";
const QByteArray kCmgs = kPrepare + "AT+CMGS=\"5551234567\"\r";
const QByteArray kEnd = QByteArray("\x1A", 1) + "Z\r\n";
// What a modem left at the prompt receives before the message.
const QByteArray kCancelPrompt = kPrepare + QByteArray("\x1B", 1) + "AT+CMGF=1\r\n";

struct ExchangeCase
{
    QString simOptions;
    QString text;
    QString resultContains;   // part of the modem's answer in an "OK..." result; empty: "Error"
    QByteArray bytesReceived; // exactly what the modem got
    int promptMs = 0;         // bounds other than the patient ones
    int acceptanceMs = 0;
};

void expectError(QCoro::Task<> task, int number, const QString& textPart = QString())
{
    try {
        TaskWait::run(std::move(task));
        QFAIL("the port was opened");
    } catch (const ChannelError& e) {
        QCOMPARE(e.number(), number);
        QVERIFY(!e.text().isEmpty());
        QVERIFY2(e.text().contains(textPart), qPrintable(e.text()));
    }
}
} // namespace

Q_DECLARE_METATYPE(ExchangeCase)

class TestModemExchange : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); } // not the user's own settings
    void init()
    {
        qunsetenv(ModemDevicePath::EnvironmentVariable);
        ModemDevicePath::setConfiguredDevice(QString());
    }
    void cleanup() { init(); }

    void exchange_data()
    {
        QTest::addColumn<ExchangeCase>("c");
        const auto row = [](const char* name, const ExchangeCase& c) { QTest::newRow(name) << c; };
        const auto w = [](const QByteArray& text) { return kCmgs + text + kEnd; }; // the text sent
        row("echo on: +CMGS after the echo", {"--echo on", "Hello there", "+CMGS: 1", w("Hello there")});
        row("echo off: +CMGS and OK", {"--echo off", "Hello there", "+CMGS: 1", w("Hello there")});
        row("blanks around the text: echo matched trimmed",
            {"--echo on", "  padded text  ", "padded text", w("  padded text  ")});
        row("text empty after trimming is accepted at once", {"--echo off", "   ", "OK", w("   ")});
        row("answers in one-byte pieces", {"--echo off --mode slow", "Slow line", "+CMGS:", w("Slow line")});
        // Silence is only ended by the bound.
        row("no prompt: Error, the text is never sent",
            {"--echo off --mode no-prompt", "Never", "", kCmgs, 500});
        row("ERROR to AT+CMGS ends the prompt wait", {"--echo on --mode error", "Refused", "", kCmgs});
        row("+CMS ERROR ends the acceptance wait", {"--echo off --mode cms-error", "No", "", w("No")});
        // A text of zeros is no echo of itself: only the modem's answer counts.
        row("text 0 refused by the modem is no success", {"--echo off --mode cms-error", "0", "", w("0")});
        // The echo is no acceptance, however it reads: the refusal that follows decides.
        row("echo on: +CMS ERROR a second after the echo",
            {"--echo on --mode late-cms-error", "No", "", w("No")});
        row("echo on: a text reading OK, then refused",
            {"--echo on --mode late-cms-error", "OK", "", w("OK")});
        row("echo on: result lines inside the text, then refused",
            {"--echo on --mode late-cms-error", "Fine\n+CMGS: 7\nOK\n", "", w("Fine\n+CMGS: 7\nOK\n")});
        // Cancelled, not sent: the modem's pending text never goes out as a message.
        row("left at the prompt: cancelled before the message",
            {"--echo off --mode left-at-prompt", "Recovered", "+CMGS: 1", kCancelPrompt + w("Recovered")});
        row("Western letters travel as code page bytes",
            {"--echo on", "Caf\u00e9 \u20ac5", "Caf\u00e9 \u20ac5",
             w("Caf\xE9 \x80"
               "5")});
        // The simulator answers every command after 700 ms.
        row("acceptance bound shorter than the modem", {"--echo off --delay 700", "B", "", w("B"), 0, 200});
        row("acceptance bound longer than the modem",
            {"--echo off --delay 700", "B", "+CMGS: 1", w("B"), 0, 60000});
        row("prompt bound shorter than the modem", {"--echo off --delay 700", "B", "", kCmgs, 200});
    }
    void exchange()
    {
        QFETCH(ExchangeCase, c);
        ModemSim sim;
        QVERIFY2(sim.start(c.simOptions.split(' ')), qPrintable(sim.errorString()));
        SerialModemPort port;
        port.setDevice(sim.device());
        ModemTiming timing = patientTiming();
        if (c.promptMs)
            timing.prompt = std::chrono::milliseconds(c.promptMs);
        if (c.acceptanceMs)
            timing.acceptance = std::chrono::milliseconds(c.acceptanceMs);
        ModemExchange modem(port, timing);

        TaskWait::run(modem.prepareModem());
        QVERIFY(port.isOpen());
        const QString answer = TaskWait::run(modem.sendModemSms("5551234567", c.text));

        const bool accepted = !c.resultContains.isEmpty();
        if (accepted)
            QVERIFY2(answer.startsWith("OK") && answer.contains(c.resultContains), qPrintable(answer));
        else
            QCOMPARE(answer, "Error");
        QTRY_COMPARE(sim.received(), c.bytesReceived);
        // What the modem sent as a message: this one alone, with nothing before its text.
        if (accepted) {
            QTRY_VERIFY(!sim.messages().isEmpty());
            const QStringList messages = sim.messages();
            QCOMPARE(messages.size(), 1);
            QCOMPARE(ModemSim::unescape(messages.first().section(": ", 1).toLatin1()),
                     Windows1252::encode(c.text));
        } else if (!c.acceptanceMs) { // a modem that answers after the bound may still send
            QVERIFY(sim.messages().isEmpty());
        }
    }

    void lostModemGivesEmptyResultThenOpenFails()
    {
        ModemSim sim;
        QVERIFY2(sim.start({"--echo", "off", "--mode", "no-prompt"}), qPrintable(sim.errorString()));
        SerialModemPort port;
        port.setDevice(sim.device());
        ModemExchange modem(port, patientTiming());
        TaskWait::run(modem.prepareModem());

        // Gone while the exchange waits for its prompt.
        QTimer::singleShot(300, [&sim] { sim.stop(); });
        QCOMPARE(TaskWait::run(modem.sendModemSms("123", "Lost")), QString());
        QVERIFY(!port.isOpen());
        QVERIFY(!port.lastError().isEmpty());
        // The next exchange tries to open the port again, and fails loudly.
        expectError(modem.prepareModem(), ChannelError::NoModemDevice, sim.device());
        QCOMPARE(TaskWait::run(modem.sendModemSms("123", "x")), QString());
    }

    void portThatCannotBeOpenedThrows_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("number");
        QTest::newRow("no device configured") << QString() << int(ChannelError::NoModemDevice);
        QTest::newRow("device that does not exist")
            << "/dev/ttyS_missing_9" << int(ChannelError::NoModemDevice);
        QTest::newRow("not a serial device") << "/dev/null" << int(ChannelError::ModemOpen);
        QTest::newRow("held by another program") << "sim" << int(ChannelError::ModemInUse);
    }
    void portThatCannotBeOpenedThrows()
    {
        QFETCH(QString, device);
        QFETCH(int, number);
        ModemSim sim;
        SerialModemPort first;
        if (device == QLatin1String("sim")) {
            QVERIFY2(sim.start({"--echo", "off"}), qPrintable(sim.errorString()));
            device = sim.device();
            first.setDevice(device);
            first.open();
        }
        SerialModemPort port;
        port.setDevice(device);
        ModemExchange modem(port, patientTiming());
        expectError(modem.prepareModem(), number);
        QVERIFY(!port.isOpen());
    }

    void errorLines_data()
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
    void errorLines()
    {
        QFETCH(QString, answer);
        QFETCH(bool, error);
        QCOMPARE(ModemExchange::hasErrorLine(answer), error);
    }

    void answerScan_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("found");
        using P = ModemAnswerScan::Phase;
        using F = ModemAnswerScan::Found;
        const auto row = [](const char* name, P phase, const char* sent, const char* answer, F found) {
            QTest::newRow(name) << int(phase) << QString::fromLatin1(sent) << QString::fromLatin1(answer)
                                << int(found);
        };
        row("prepare: OK", P::Prepare, "", "AT+cmgf=1\r\r\nOK\r\n", F::Ok);
        row("prepare: OK before a prompt", P::Prepare, "", "\r\nOK\r\n> ", F::Ok);
        row("prepare: left-over prompt", P::Prepare, "", "\r\n> ", F::Prompt);
        row("prompt", P::Prompt, "", "AT+CMGS=\"1\"\r\r\n> ", F::Prompt);
        row("prompt: error line", P::Prompt, "", "AT+CMGS=\"1\"\r\r\n+CMS ERROR: 500\r\n", F::Error);
        row("prompt: nothing yet", P::Prompt, "", "AT+CMGS=\"1\"\r", F::Nothing);
        row("text: accepted after the echo", P::Text, "OK +CMGS: 1",
            "OK +CMGS: 1\x1aZ\r\n+CMGS: 7\r\n\r\nOK\r\n", F::Accepted);
        row("text: echo still coming", P::Text, "Hello there", "Hello th", F::Nothing);
        row("text: refused", P::Text, "Hi", "Hi\r\nERROR\r\n", F::Error);
        row("text: no echo", P::Text, "Hi", "\r\n+cmgs: 3\r\n", F::Accepted);
        row("text: acceptance line not ended", P::Text, "Hi", "Hi\r\n+CMGS: 3", F::Nothing);
    }
    // Fed whole and fed in two pieces cut at every place, the scan finds the same.
    void answerScan()
    {
        QFETCH(int, phase);
        QFETCH(QString, sent);
        QFETCH(QString, answer);
        QFETCH(int, found);
        const auto p = ModemAnswerScan::Phase(phase);
        for (qsizetype cut = 0; cut <= answer.size(); ++cut) {
            ModemAnswerScan scan(p, sent);
            ModemAnswerScan::Found got = scan.feed(answer.left(cut));
            if (got == ModemAnswerScan::Found::Nothing)
                got = scan.feed(answer.mid(cut));
            QVERIFY2(int(got) == found, qPrintable(QString::number(cut)));
        }
        if (p == ModemAnswerScan::Phase::Text)
            QCOMPARE(int(ModemExchange::answerToText(answer, sent)),
                     found == int(ModemAnswerScan::Found::Accepted) ? int(ModemExchange::TextAnswer::Accepted)
                     : found == int(ModemAnswerScan::Found::Error)  ? int(ModemExchange::TextAnswer::Refused)
                                                                   : int(ModemExchange::TextAnswer::Pending));
    }
    // A modem that floods the line: every piece is looked at about once, not
    // everything received so far at every piece.
    void floodIsScannedOnce_data()
    {
        QTest::addColumn<int>("phase");
        QTest::newRow("prepare") << int(ModemAnswerScan::Phase::Prepare);
        QTest::newRow("prompt") << int(ModemAnswerScan::Phase::Prompt);
        QTest::newRow("text") << int(ModemAnswerScan::Phase::Text);
    }
    void floodIsScannedOnce()
    {
        QFETCH(int, phase);
        ModemAnswerScan scan(ModemAnswerScan::Phase(phase), QStringLiteral("Hi"));
        const QString piece = QStringLiteral("Hi\r\n+CMGR: noise, noise, noise\r\n").repeated(2);
        qsizetype pieces = 0;
        while (scan.received().size() < 1024 * 1024) {
            QCOMPARE(scan.feed(piece), ModemAnswerScan::Found::Nothing);
            ++pieces;
        }
        QVERIFY2(scan.examined() <= 2 * scan.received().size() + 16 * pieces,
                 qPrintable(QString::number(scan.examined())));
    }

    void devicePath_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("device");
        const auto row = [](const char* name, int port, const QString& environment, const QString& setting,
                            const QString& device) {
            QTest::newRow(name) << port << environment << setting << device;
        };
        row("port 1 is the first serial port", 1, "", "", "/dev/ttyS0");
        row("port 0 names no device", 0, "", "", "");
        row("negative port names no device", -4, "", "", "");
        row("setting", 2, "", "/dev/ttyUSB0", "/dev/ttyUSB0");
        row("environment", 2, "/dev/pts/7", "", "/dev/pts/7");
        row("environment before setting", 2, "/dev/pts/7", "/dev/ttyUSB0", "/dev/pts/7");
        row("blanks trimmed", 2, "  /dev/ttyACM0 ", "", "/dev/ttyACM0");
        row("blank environment is not set", 2, "   ", "/dev/ttyUSB1", "/dev/ttyUSB1");
    }
    void devicePath()
    {
        QFETCH(int, port);
        QFETCH(QString, environment);
        QFETCH(QString, setting);
        QFETCH(QString, device);
        if (!environment.isEmpty())
            qputenv(ModemDevicePath::EnvironmentVariable, environment.toLocal8Bit());
        ModemDevicePath::setConfiguredDevice(setting);
        if (environment.isEmpty() && setting.isEmpty())
            QCOMPARE(ModemDevicePath::forPortNumber(static_cast<qint16>(port)), device);
        QCOMPARE(ModemDevicePath::resolve(static_cast<qint16>(port)), device);
    }
};

QTEST_GUILESS_MAIN(TestModemExchange)
#include "tst_modemexchange.moc"

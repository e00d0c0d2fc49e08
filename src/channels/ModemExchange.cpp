#include "channels/ModemExchange.h"

#include "channels/SerialModemPort.h"
#include "channels/Windows1252.h"

#include <QCoroTimer>
#include <QDeadlineTimer>
#include <QRegularExpression>

#include <algorithm>

namespace {
const QByteArray kCtrlZ("\x1A", 1);
const QByteArray kEsc("\x1B", 1);

QDeadlineTimer deadlineIn(std::chrono::milliseconds bound)
{
    return QDeadlineTimer(bound);
}

// The blank after the "> " prompt may arrive after the prompt itself, and
// the text may start with blanks: neither tells an echo from an answer.
QStringView withoutLeadingBlanks(QStringView text)
{
    while (!text.isEmpty() && text.front() == u' ')
        text = text.mid(1);
    return text;
}

const QRegularExpression& errorLinePattern()
{
    // A result code stands on a line of its own, after a line break: an
    // echoed text that happens to read "ERROR" is no answer of the modem. A
    // plain ERROR counts once its line is complete.
    static const QRegularExpression errorLine(QStringLiteral("[\r\n](?:ERROR[\r\n]|\\+CM[SE] ERROR)"));
    return errorLine;
}
// The longest text an error line needs ("\r+CMS ERROR"): a piece is looked
// at together with this much of what came before it.
constexpr qsizetype kErrorLineReach = 11;
} // namespace

ModemAnswerScan::ModemAnswerScan(Phase phase, const QString& sent) : m_phase(phase), m_echo(sent) {}

bool ModemAnswerScan::errorFrom(qsizetype from, bool whole)
{
    if (!whole)
        from = std::max<qsizetype>(from, m_scanned - kErrorLineReach);
    m_examined += m_received.size() - from;
    return errorLinePattern().match(m_received, from).hasMatch();
}

ModemAnswerScan::Found ModemAnswerScan::feed(const QString& more)
{
    const qsizetype before = m_scanned;
    m_received += more;
    Found found = Found::Nothing;
    switch (m_phase) {
    case Phase::Prepare: {
        const qsizetype from = std::max<qsizetype>(0, before - 1);
        m_examined += m_received.size() - from;
        if (m_received.indexOf(QLatin1String("OK"), from) >= 0)
            found = Found::Ok;
        else if (m_received.indexOf(u'>', before) >= 0)
            found = Found::Prompt;
        break;
    }
    case Phase::Prompt:
        m_examined += m_received.size() - before;
        if (m_received.indexOf(u'>', before) >= 0)
            found = Found::Prompt;
        else if (errorFrom(0, false))
            found = Found::Error;
        break;
    case Phase::Text:
        found = scanText(before);
        break;
    }
    m_scanned = m_received.size();
    return found;
}

ModemAnswerScan::Found ModemAnswerScan::scanText(qsizetype from)
{
    bool whole = false;
    if (m_answerStart < 0) {
        whole = true;
        // The echo of the text comes first (with echo on); until it is
        // complete, or clearly not coming, nothing is an answer.
        const QStringView answer = withoutLeadingBlanks(m_received);
        const QStringView echo = withoutLeadingBlanks(m_echo);
        const qsizetype blanks = m_received.size() - answer.size();
        m_examined += std::min(answer.size(), echo.size()) + blanks;
        if (echo.isEmpty())
            m_answerStart = blanks;
        else if (answer.startsWith(echo))
            m_answerStart = blanks + echo.size();
        else if (echo.startsWith(answer))
            return Found::Nothing;
        else
            m_answerStart = blanks;
        from = m_answerStart;
    }
    if (errorFrom(m_answerStart, whole))
        return Found::Error;
    const QStringView received(m_received);
    for (qsizetype i = std::max(from, m_answerStart); i < received.size(); ++i) {
        ++m_examined;
        if (received[i] != u'\r' && received[i] != u'\n')
            continue;
        if (m_lineStart >= 0) {
            const QStringView line = received.mid(m_lineStart, i - m_lineStart);
            if (line == QLatin1String("OK") || line.startsWith(QLatin1String("+CMGS:"), Qt::CaseInsensitive))
                return Found::Accepted;
        }
        m_lineStart = i + 1;
    }
    return Found::Nothing;
}

ModemExchange::ModemExchange(SerialModemPort& port, ModemTiming timing) : m_port(port), m_timing(timing) {}

bool ModemExchange::hasErrorLine(const QString& answer)
{
    return answer.contains(errorLinePattern());
}

ModemExchange::TextAnswer ModemExchange::answerToText(const QString& received, const QString& sent)
{
    ModemAnswerScan scan(ModemAnswerScan::Phase::Text, sent);
    switch (scan.feed(received)) {
    case ModemAnswerScan::Found::Accepted:
        return TextAnswer::Accepted;
    case ModemAnswerScan::Found::Error:
        return TextAnswer::Refused;
    default:
        return TextAnswer::Pending;
    }
}

QCoro::Task<> ModemExchange::prepareModem()
{
    if (!m_port.isOpen())
        m_port.open(); // throws: the send ends there

    for (int round = 0;; ++round) {
        if (!m_port.write(QByteArrayLiteral("AT+cmgf=1\r\n")))
            co_return;
        ModemAnswerScan scan(ModemAnswerScan::Phase::Prepare);
        ModemAnswerScan::Found found = scan.feed(Windows1252::decode(m_port.readAll()));
        const QDeadlineTimer deadline = deadlineIn(m_timing.prepare);
        bool clearPrompt = false;
        for (;;) {
            if (found == ModemAnswerScan::Found::Ok)
                co_return;
            if (found == ModemAnswerScan::Found::Prompt) {
                clearPrompt = true;
                break;
            }
            if (co_await m_port.waitForData(deadline) != SerialModemPort::Wait::Data)
                co_return; // no answer in time, or the port failed: the send goes on regardless
            found = scan.feed(Windows1252::decode(m_port.readAll()));
        }
        // The modem still waits for the text of an earlier message: cancel
        // it (Ctrl-Z would send whatever it holds to that message's number)
        // and select text mode again, then start over.
        if (!clearPrompt || round >= m_timing.prepareRecoveries)
            co_return;
        if (!m_port.write(kEsc) || !m_port.write(QByteArrayLiteral("AT+CMGF=1\r\n")))
            co_return;
    }
}

QCoro::Task<QString> ModemExchange::sendModemSms(QString number, QString text)
{
    if (!m_port.isOpen())
        co_return QString();

    // The prompt. What came before the command cannot answer it: a late
    // answer of PrepareModem is dropped, so that neither a stale "ERROR" nor a
    // stale ">" is taken for the modem's answer. CR alone ends the command: a
    // modem that prompts at the CR would take an LF as the text's first character.
    m_port.readAll();
    if (!m_port.write(QByteArrayLiteral("AT+CMGS=\"") + Windows1252::encode(number) +
                      QByteArrayLiteral("\"\r")))
        co_return QString();
    co_await QCoro::sleepFor(m_timing.promptPause);
    if (!m_port.isOpen())
        co_return QString();
    ModemAnswerScan prompt(ModemAnswerScan::Phase::Prompt);
    ModemAnswerScan::Found found = prompt.feed(Windows1252::decode(m_port.readAll()));
    QDeadlineTimer deadline = deadlineIn(m_timing.prompt);
    while (found != ModemAnswerScan::Found::Prompt) {
        if (found == ModemAnswerScan::Found::Error)
            co_return QStringLiteral("Error");
        const SerialModemPort::Wait wait = co_await m_port.waitForData(deadline);
        if (wait == SerialModemPort::Wait::Failed)
            co_return QString();
        if (wait == SerialModemPort::Wait::TimedOut)
            co_return QStringLiteral("Error");
        found = prompt.feed(Windows1252::decode(m_port.readAll()));
    }

    // The text and its acceptance.
    if (!m_port.write(Windows1252::encode(text) + kCtrlZ + QByteArrayLiteral("Z\r\n")))
        co_return QString();
    ModemAnswerScan answer(ModemAnswerScan::Phase::Text, Windows1252::decode(Windows1252::encode(text)));
    found = answer.feed(Windows1252::decode(m_port.readAll()));
    deadline = deadlineIn(m_timing.acceptance);
    for (;;) {
        if (found == ModemAnswerScan::Found::Accepted)
            co_return QStringLiteral("OK") + answer.received();
        if (found == ModemAnswerScan::Found::Error)
            co_return QStringLiteral("Error");
        const SerialModemPort::Wait wait = co_await m_port.waitForData(deadline);
        if (wait == SerialModemPort::Wait::Failed)
            co_return QString();
        if (wait == SerialModemPort::Wait::TimedOut)
            co_return QStringLiteral("Error");
        found = answer.feed(Windows1252::decode(m_port.readAll()));
    }
}

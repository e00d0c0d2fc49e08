#include "channels/ModemExchange.h"

#include "channels/SerialModemPort.h"
#include "channels/Windows1252.h"

#include <QCoroTimer>
#include <QDeadlineTimer>
#include <QRegularExpression>

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

// An acceptance stands on a line of its own: after a line break, and ended
// by one ("+CMGS: <ref>" in any letter case, or "OK"). The first piece of
// the answer is never one (an echo, or nothing).
bool hasAcceptanceLine(QStringView answer)
{
    qsizetype start = -1; // the start of the current line, once a line break came before it
    for (qsizetype i = 0; i < answer.size(); ++i) {
        if (answer[i] != u'\r' && answer[i] != u'\n')
            continue;
        if (start >= 0) {
            const QStringView line = answer.mid(start, i - start);
            if (line == QLatin1String("OK") || line.startsWith(QLatin1String("+CMGS:"), Qt::CaseInsensitive))
                return true;
        }
        start = i + 1;
    }
    return false;
}
} // namespace

ModemExchange::ModemExchange(SerialModemPort& port, ModemTiming timing) : m_port(port), m_timing(timing) {}

bool ModemExchange::hasErrorLine(const QString& answer)
{
    // A result code stands on a line of its own, after a line break: an
    // echoed text that happens to read "ERROR" is no answer of the modem. A
    // plain ERROR counts once its line is complete.
    static const QRegularExpression errorLine(QStringLiteral("[\r\n](?:ERROR[\r\n]|\\+CM[SE] ERROR)"));
    return answer.contains(errorLine);
}

ModemExchange::TextAnswer ModemExchange::answerToText(const QString& received, const QString& sent)
{
    QStringView answer = withoutLeadingBlanks(received);
    // With echo on the text comes back first, and it may well read "OK" or
    // "+CMGS:": what the modem says about the message follows it.
    const QStringView echo = withoutLeadingBlanks(sent);
    if (!echo.isEmpty()) {
        if (answer.startsWith(echo))
            answer = answer.mid(echo.size());
        else if (echo.startsWith(answer))
            return TextAnswer::Pending; // nothing yet, or the echo is still coming
    }
    if (hasErrorLine(answer.toString()))
        return TextAnswer::Refused;
    return hasAcceptanceLine(answer) ? TextAnswer::Accepted : TextAnswer::Pending;
}

QCoro::Task<> ModemExchange::prepareModem()
{
    if (!m_port.isOpen())
        m_port.open(); // throws: the send ends there

    for (int round = 0;; ++round) {
        if (!m_port.write(QByteArrayLiteral("AT+cmgf=1\r\n")))
            co_return;
        QString buffer = Windows1252::decode(m_port.readAll());
        const QDeadlineTimer deadline = deadlineIn(m_timing.prepare);
        bool clearPrompt = false;
        for (;;) {
            if (buffer.contains(QLatin1String("OK")))
                co_return;
            if (buffer.contains(u'>')) {
                clearPrompt = true;
                break;
            }
            if (co_await m_port.waitForData(deadline) != SerialModemPort::Wait::Data)
                co_return; // no answer in time, or the port failed: the send goes on regardless
            buffer += Windows1252::decode(m_port.readAll());
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
    QString buffer = Windows1252::decode(m_port.readAll());
    QDeadlineTimer deadline = deadlineIn(m_timing.prompt);
    while (!buffer.contains(u'>')) {
        if (hasErrorLine(buffer))
            co_return QStringLiteral("Error");
        const SerialModemPort::Wait wait = co_await m_port.waitForData(deadline);
        if (wait == SerialModemPort::Wait::Failed)
            co_return QString();
        if (wait == SerialModemPort::Wait::TimedOut)
            co_return QStringLiteral("Error");
        buffer += Windows1252::decode(m_port.readAll());
    }

    // The text and its acceptance.
    if (!m_port.write(Windows1252::encode(text) + kCtrlZ + QByteArrayLiteral("Z\r\n")))
        co_return QString();
    buffer = Windows1252::decode(m_port.readAll());
    const QString sent = Windows1252::decode(Windows1252::encode(text));
    deadline = deadlineIn(m_timing.acceptance);
    for (;;) {
        switch (answerToText(buffer, sent)) {
        case TextAnswer::Accepted:
            co_return QStringLiteral("OK") + buffer;
        case TextAnswer::Refused:
            co_return QStringLiteral("Error");
        case TextAnswer::Pending:
            break;
        }
        const SerialModemPort::Wait wait = co_await m_port.waitForData(deadline);
        if (wait == SerialModemPort::Wait::Failed)
            co_return QString();
        if (wait == SerialModemPort::Wait::TimedOut)
            co_return QStringLiteral("Error");
        buffer += Windows1252::decode(m_port.readAll());
    }
}

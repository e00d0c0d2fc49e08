#include "channels/ModemExchange.h"

#include "channels/ModemPort.h"
#include "channels/Windows1252.h"

#include <QCoroTimer>
#include <QDeadlineTimer>
#include <QRegularExpression>

namespace {
const QByteArray kCtrlZ("\x1A", 1);

QDeadlineTimer deadlineIn(std::chrono::milliseconds bound)
{
    return QDeadlineTimer(bound);
}

// Blanks only, as the modem echoes them.
QString trimBlanks(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text[start] == u' ')
        ++start;
    while (end > start && text[end - 1] == u' ')
        --end;
    return text.mid(start, end - start);
}
} // namespace

ModemExchange::ModemExchange(ModemPort& port, ModemTiming timing) : m_port(port), m_timing(timing) {}

bool ModemExchange::hasErrorLine(const QString& answer)
{
    // A result code stands on a line of its own, after a line break: an
    // echoed text that happens to read "ERROR" is no answer of the modem. A
    // plain ERROR counts once its line is complete.
    static const QRegularExpression errorLine(QStringLiteral("[\r\n](?:ERROR[\r\n]|\\+CM[SE] ERROR)"));
    return answer.contains(errorLine);
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
            if (co_await m_port.waitForData(deadline) != ModemPort::Wait::Data)
                co_return; // no answer in time, or the port failed: the send goes on regardless
            buffer += Windows1252::decode(m_port.readAll());
        }
        // The modem still waits for the text of an earlier message: end it
        // and select text mode again, then start over.
        if (!clearPrompt || round >= m_timing.prepareRecoveries)
            co_return;
        if (!m_port.write(kCtrlZ + QByteArrayLiteral("Z\r")) ||
            !m_port.write(QByteArrayLiteral("AT+CMGF=1\r\n")))
            co_return;
    }
}

QCoro::Task<QString> ModemExchange::sendModemSms(QString number, QString text)
{
    if (!m_port.isOpen())
        co_return QString();

    // The prompt. What came before the command cannot answer it: a late
    // answer of PrepareModem is dropped, so that neither a stale "ERROR" nor a
    // stale ">" is taken for the modem's answer.
    m_port.readAll();
    if (!m_port.write(QByteArrayLiteral("AT+CMGS=\"") + Windows1252::encode(number) +
                      QByteArrayLiteral("\"\r\n")))
        co_return QString();
    co_await QCoro::sleepFor(m_timing.promptPause);
    if (!m_port.isOpen())
        co_return QString();
    QString buffer = Windows1252::decode(m_port.readAll());
    QDeadlineTimer deadline = deadlineIn(m_timing.prompt);
    while (!buffer.contains(u'>')) {
        if (hasErrorLine(buffer))
            co_return QStringLiteral("Error");
        const ModemPort::Wait wait = co_await m_port.waitForData(deadline);
        if (wait == ModemPort::Wait::Failed)
            co_return QString();
        if (wait == ModemPort::Wait::TimedOut)
            co_return QStringLiteral("Error");
        buffer += Windows1252::decode(m_port.readAll());
    }

    // The text and its acceptance.
    if (!m_port.write(Windows1252::encode(text) + kCtrlZ + QByteArrayLiteral("Z\r\n")))
        co_return QString();
    buffer = Windows1252::decode(m_port.readAll());
    const QString echo = trimBlanks(Windows1252::decode(Windows1252::encode(text))); // as sent
    deadline = deadlineIn(m_timing.acceptance);
    for (;;) {
        // A refusal in the answer is never taken for an acceptance, even
        // when a short text happens to stand in it ("0" in "+CMS ERROR: 500").
        if (hasErrorLine(buffer))
            co_return QStringLiteral("Error");
        // The echo counts only when the whole text has come back (an empty
        // text is accepted at once).
        if (echo.isEmpty() || buffer.contains(echo) || buffer.contains(QLatin1String("OK")) ||
            buffer.contains(QLatin1String("+CMGS:"), Qt::CaseInsensitive))
            co_return QStringLiteral("OK") + buffer;
        const ModemPort::Wait wait = co_await m_port.waitForData(deadline);
        if (wait == ModemPort::Wait::Failed)
            co_return QString();
        if (wait == ModemPort::Wait::TimedOut)
            co_return QStringLiteral("Error");
        buffer += Windows1252::decode(m_port.readAll());
    }
}

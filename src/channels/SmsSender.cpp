#include "channels/SmsSender.h"

#include "channels/ChannelError.h"
#include "channels/EventLoopYield.h"
#include "channels/HttpFetcher.h"
#include "channels/ModemDevicePath.h"
#include "channels/ModemExchange.h"
#include "channels/QueueCursor.h"
#include "channels/SendUrl.h"
#include "channels/SentLedger.h"
#include "channels/SerialModemPort.h"
#include "common/DateFormat.h"
#include "common/LogCategories.h"
#include "common/TextNumbers.h"
#include "core/EngineContext.h"

// Debug lines (the number and client instance of each send, the modem result) are off
// unless enabled, e.g. QT_LOGGING_RULES="smsengine.http.debug=true;smsengine.modem.debug=true".

namespace {
// Disables the console's input and "Delete this SMS" for the modem exchange
// and enables both again when it ends, however it ends.
class ConsoleInputLock
{
public:
    explicit ConsoleInputLock(ConsoleState& console) : m_console(console)
    {
        m_console.setFlag(ConsoleState::Flag::WindowEnabled, false);
        m_console.setFlag(ConsoleState::Flag::DeleteEnabled, false);
    }
    ~ConsoleInputLock()
    {
        m_console.setFlag(ConsoleState::Flag::WindowEnabled, true);
        m_console.setFlag(ConsoleState::Flag::DeleteEnabled, true);
    }
    ConsoleInputLock(const ConsoleInputLock&) = delete;
    ConsoleInputLock& operator=(const ConsoleInputLock&) = delete;

private:
    ConsoleState& m_console;
};
} // namespace

SmsSender::SmsSender(EngineContext& context, HttpFetcher& http, ModemExchange& modem, SentLedger& ledger)
    : m_context(context), m_http(http), m_modem(modem), m_ledger(ledger)
{
}

const QStringList& SmsSender::fixedSuccessMarkers()
{
    static const QStringList markers{QStringLiteral("201"), QStringLiteral("SMS has been Send"),
                                     QStringLiteral("Send Successful")};
    return markers;
}

int SmsSender::successMarkerCount(const QString& answer, const QString& cleanedNumber)
{
    // An empty number would be found in every answer, an error page too.
    int count = !cleanedNumber.isEmpty() && answer.contains(cleanedNumber, Qt::CaseSensitive) ? 1 : 0;
    for (const QString& marker : fixedSuccessMarkers())
        if (answer.contains(marker, Qt::CaseSensitive))
            ++count;
    return count;
}

int SmsSender::poolInstance(qint32 counter)
{
    return counter % 100;
}

QCoro::Task<SendResult> SmsSender::sendSms(QueueCursor& cursor)
{
    ConsoleState& console = m_context.console();
    console.appendTrace(QStringLiteral(" Fire"));
    const QString stored = cursor.mobile();
    console.setText(ConsoleState::Field::DeleteTag, stored);
    const QString number = SendUrl::cleanNumber(stored);
    const QString message = cursor.msg();
    console.setText(ConsoleState::Field::Mobile, number);
    console.setText(ConsoleState::Field::Message, message);
    const QString prepared = SendUrl::prepareText(message);
    qCDebug(lcHttp) << "sending to" << number << "through client instance"
                    << poolInstance(m_context.profile().smsId);

    SendResult result;
    if (console.channel() == ConsoleState::Channel::Gsm)
        result.response = co_await sendByModem(cursor, number, prepared);
    else if (m_context.profile().httpGateway)
        result.response = co_await sendByGateway(cursor, number, prepared);
    // The ledger closes the cursor once it has recorded the message.
    result.sent = !cursor.isOpen();

    co_await EventLoopYield{};
    console.setText(ConsoleState::Field::LastAttempt, DateFormat::consoleTime(m_context.clock().now()));
    console.setText(ConsoleState::Field::Counter,
                    QStringLiteral("Current SMS : ") +
                        TextNumbers::withLeadingBlank(m_context.profile().smsId));
    co_await EventLoopYield{};
    co_return result;
}

QCoro::Task<QString> SmsSender::sendByModem(QueueCursor& cursor, QString number, QString prepared)
{
    ConsoleState& console = m_context.console();
    console.setText(ConsoleState::Field::Response, QStringLiteral(" "));
    ConsoleInputLock lock(console);
    co_await EventLoopYield{};

    SerialModemPort& port = m_modem.port();
    if (!port.isOpen())
        port.setDevice(ModemDevicePath::resolve(m_context.modemPort()));
    co_await m_modem.prepareModem();
    const QString result = co_await m_modem.sendModemSms(number, prepared);
    console.setText(ConsoleState::Field::Response, result);
    qCDebug(lcModem) << "modem answered" << result;
    if (result.startsWith(QLatin1String("OK")))
        m_ledger.saveSentSms(cursor, result);
    co_return result;
}

QCoro::Task<QString> SmsSender::sendByGateway(QueueCursor& cursor, QString number, QString prepared)
{
    ConsoleState& console = m_context.console();
    const ProfileState& profile = m_context.profile();
    const QString url = SendUrl::build(profile.sendUrl, SendUrl::fromProfile(profile, number, prepared));
    console.appendTraceLine(QStringLiteral(" Http "));
    QString answer;
    try {
        answer = co_await m_http.fetch(url);
    } catch (const ChannelError& e) {
        // The box must not go on showing the answer about an earlier message.
        console.setText(ConsoleState::Field::Response, e.text());
        throw;
    }
    console.setText(ConsoleState::Field::Response, answer);
    const int records = successMarkerCount(answer, number);
    for (int i = 0; i < records; ++i)
        m_ledger.saveSentSms(cursor, answer);
    co_return answer;
}

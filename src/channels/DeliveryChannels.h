#pragma once

#include "channels/HttpFetcher.h"
#include "channels/ModemExchange.h"
#include "channels/SentLedger.h"
#include "channels/SerialModemPort.h"
#include "channels/SmsSender.h"

#include <QObject>

class EngineContext;

// The engine's delivery channels wired together: one HTTP client, the modem
// port with its exchange, the sent ledger and SendSMS. The engine owns one
// instance (for the life of the process) and calls
//   co_await channels.sender().sendSms(cursor);      // a tick's message
//   co_await channels.http().fetch(url);             // balance, reports
// The modem port takes its device (ModemDevicePath::resolve of the context's
// modem port number) when it is opened.
class DeliveryChannels : public QObject
{
    Q_OBJECT
public:
    explicit DeliveryChannels(EngineContext& context, QObject* parent = nullptr);

    HttpFetcher& http() { return m_http; }
    SerialModemPort& modemPort() { return m_port; }
    ModemExchange& modem() { return m_modem; }
    SentLedger& ledger() { return m_ledger; }
    SmsSender& sender() { return m_sender; }

private:
    HttpFetcher m_http;
    SerialModemPort m_port;
    ModemExchange m_modem;
    SentLedger m_ledger;
    SmsSender m_sender;
};

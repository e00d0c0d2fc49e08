#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringList>

class EngineContext;
class HttpFetcher;
class ModemExchange;
class QueueCursor;
class SentLedger;

// SendSMS: sends the message on which the tick's queue cursor stands over
// the channel chosen on the console, and records it when the channel
// reports success.
//
//  1. trace " Fire"; the tag of "Delete this SMS" := the stored number;
//     LBmobile := the cleaned number; Lbmsg := the text as stored;
//  2. GSM channel: response box := " "; the console window and "Delete this
//     SMS" are disabled for the exchange (and enabled again on every path,
//     an error included); PrepareModem, SendModemSMS; response box := the
//     result; a result beginning with "OK" is recorded (SaveSentSMS);
//  3. HTTP channel, only when the profile's HTTP gateway flag is set: the
//     send URL is built, " Http " + CR LF traced, the URL fetched, the
//     response box := the body; then each success marker found in the body
//     (exact case, in this order: the cleaned number, "201", "SMS has been
//     Send", "Send Successful") records it once more (the ledger records a
//     message only once);
//  4. always, after letting waiting events run: LB3 := the time "HH:MM:SS",
//     LB4 := "Current SMS : " + the counter with a leading blank.
// It yields to the event loop where waiting events may run (before the
// modem exchange, around step 4) and while a channel waits.
//
// Errors are not caught: a failed fetch (ChannelError), a modem port that
// cannot be opened (ChannelError) or a failing ledger statement (StoreError)
// leave at once for the tick's guard; step 4 is skipped then and the row
// stays queued. The objects given must outlive a running send.
//
// The result is what the tick decides by: operator actions that run while
// the send yields write into the response box too, so the box is no record
// of this send's answer.
struct SendResult
{
    bool sent = false; // recorded in the ledger; the queue row is gone
    QString response;  // the gateway's body or the modem's result; empty when no channel was used
};

class SmsSender
{
public:
    SmsSender(EngineContext& context, HttpFetcher& http, ModemExchange& modem, SentLedger& ledger);

    QCoro::Task<SendResult> sendSms(QueueCursor& cursor);

    // The success markers that follow the number, in the order tested.
    static const QStringList& fixedSuccessMarkers();
    // How many times the answer records the message: one per marker found.
    // An empty number is no marker.
    static int successMarkerCount(const QString& answer, const QString& cleanedNumber);

    // The client instance of a counter: its last two decimal digits
    // (1299 -> 99, 7 -> 7). The engine has one HTTP client; the number is
    // logged with each send so that logs read like the classic engine's.
    static int poolInstance(qint32 counter);

private:
    QCoro::Task<QString> sendByModem(QueueCursor& cursor, QString number, QString prepared);
    QCoro::Task<QString> sendByGateway(QueueCursor& cursor, QString number, QString prepared);

    EngineContext& m_context;
    HttpFetcher& m_http;
    ModemExchange& m_modem;
    SentLedger& m_ledger;
};

#pragma once

#include "core/ProfileState.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

class EngineContext;
class HttpFetcher;

// The bulk send: one text to many numbers over the HTTP gateway, up to 100
// numbers per request, bypassing the send queue. Each answered request adds
// one ledger row per number of the request and advances the message id
// counter, in one transaction per request. Every wait is awaited, so the
// screens and the engine's own timer keep running meanwhile; a send keeps
// the account it started with even when the console loads another profile
// in the middle of it.
class BulkSender : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        // An empty answer is fetched again this many more times, after a pause.
        int emptyAnswerRetries = 2;
        std::chrono::milliseconds retryDelay{1000};
        // Time-out of one send request.
        std::chrono::milliseconds requestTimeout{60000};
        // The balance after a send: an empty answer is asked again at most
        // this many more times, a pause apart, and never longer than the
        // deadline in all; each balance request has its own time-out.
        int balanceRetries = 5;
        std::chrono::milliseconds balanceRetryDelay{1000};
        std::chrono::milliseconds balanceTimeout{15000};
        std::chrono::milliseconds balanceDeadline{30000};
    };

    // The two HTTP clients: one for the send requests, one for the balance.
    enum class Client
    {
        Send,
        Balance
    };
    // Fetches a URL built as text and returns the body; throws EngineError
    // (ChannelError) when the request fails or times out.
    using Fetch =
        std::function<QCoro::Task<QString>(QString url, Client client, std::chrono::milliseconds timeout)>;
    // Asks the operator to confirm a send: title and text; true for Yes.
    using Confirm = std::function<bool(const QString& title, const QString& text)>;

    struct Outcome
    {
        enum class Kind
        {
            Sent,         // every request was fired (answered or not)
            Declined,     // the operator said No to the confirmation
            NoRecipients, // nothing to send to; no request
            GatewayOff,   // the profile's HTTP gateway flag is off; no request
            Failed,       // a request, a statement or the account stopped the send
            Busy,         // another send is running
            Cancelled,    // the operator stopped it between two requests
        };
        Kind kind = Kind::Sent;
        int recipients = 0; // N
        int batches = 0;    // requests the send needed in all
        int requests = 0;   // requests fired
        int answered = 0;   // requests with a non-empty answer
        int recorded = 0;   // ledger rows written
        QString error;      // Failed: what went wrong, for the operator
    };

    explicit BulkSender(EngineContext& context, QObject* parent = nullptr);
    ~BulkSender() override;

    Settings& settings() { return m_settings; }
    void setFetch(Fetch fetch) { m_fetch = std::move(fetch); }
    void setConfirm(Confirm confirm) { m_confirm = std::move(confirm); }

    bool isBusy() const { return m_busy; }
    // Stops the running send once its current request is answered and
    // recorded; no later request is fired. Nothing when no send runs.
    void cancel();

    // The bulk send: sends message (line breaks as CR LF) to the numbers in
    // numbers (comma-separated, as Recipients gathers them) under account, a
    // copy of the profile taken when the send starts: every request, ledger
    // row and counter write of the send uses it. Returns what happened; it
    // never throws.
    QCoro::Task<Outcome> send(QString message, QString numbers, ProfileState account);

    // The balance after a send: fetched, and fetched again while the answer
    // is empty, within the bounds of the settings. Returns the text shown.
    QCoro::Task<QString> refreshBalance();
    // One balance request; throws EngineError on failure. Empty when the
    // profile has no balance URL.
    QCoro::Task<QString> fetchBalance();

    // The URL of one request for the numbers in mobno (comma-separated).
    static QString requestUrl(const ProfileState& account, const QString& mobno, const QString& message);

    // Writes one ledger row per number and advances the stored counter of
    // the account's config row by as many, in one transaction; the loaded
    // profile takes the new counter when it is that account. Returns the
    // rows written.
    int record(const QStringList& numbers, const QString& message, const QString& account);

    static const QString WorkingMark; // "Working"

Q_SIGNALS:
    void balanceChanged(const QString& text);
    // The response list: emptied, or holding the answer to the last request
    // (the error when that request failed).
    void responseCleared();
    void responseReceived(const QString& answer);
    void progress(int requestsDone, int requestsTotal);

private:
    struct FireResult
    {
        QString answer;
        int recorded = 0;
    };
    // UrlFire: one request for the numbers in mobno.
    QCoro::Task<FireResult> urlFire(QString mobno, QString message, ProfileState account);

    EngineContext& m_context;
    Settings m_settings;
    HttpFetcher* m_inet1;   // send requests
    HttpFetcher* m_inetBal; // balance requests
    Fetch m_fetch;
    Confirm m_confirm;
    bool m_busy = false;
    bool m_cancelled = false;
};

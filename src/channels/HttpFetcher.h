#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>

// The engine's HTTP client: fetches a URL with GET and returns the body as
// text. One instance, owned by the engine, serves the send requests, the
// balance and the delivery reports (the fetches are awaited one at a time
// by the tick, but concurrent fetches work too).
//
// A fetch that cannot be completed throws ChannelError:
//   - no complete answer within the time-out (60 s unless changed):
//     ChannelError::TimedOut, "Request timed out";
//   - a transport failure (refused, reset, host not found, ...): the
//     QNetworkReply error code and its text;
//   - an answer with an HTTP error status (400 and above): the status and
//     its reason ("HTTP 500 Internal Server Error");
//   - an answer longer than MaxReplyBytes (announced or as it arrives):
//     the transfer is cut at once, ChannelError::ReplyTooLarge. No gateway
//     answers a send, report or balance request with that much; an endless
//     or huge answer must not fill the memory of the engine;
//   - a redirect to another host, port or scheme: ChannelError::
//     RedirectedAway, never followed. The query holds the account's
//     password, and another host's answer would count as the gateway's.
//     A redirect within the gateway's own origin is followed.
// The error text names the host, never the query (which holds the password).
//
// The object must outlive every fetch it has started.
class HttpFetcher : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultTimeout{60000};
    static constexpr qint64 MaxReplyBytes = 1024 * 1024;

    explicit HttpFetcher(QObject* parent = nullptr);

    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds timeout() const { return m_timeout; }

    // GET of the complete URL; the body as text (UTF-8 when the bytes are
    // valid UTF-8, otherwise Windows-1252).
    QCoro::Task<QString> fetch(QUrl url);
    // The same for a URL built as text (see requestUrl()).
    QCoro::Task<QString> fetch(const QString& builtUrl);

    // The request URL of a URL built as text by filling a template: its
    // percent escapes are kept as built, a character that may not stand in a
    // URL (a blank, a quote, a non-ASCII letter in UTF-8) is percent-encoded,
    // and "#" is sent as "%23" (a send URL has no fragment: a "#" in a
    // password or sender id would otherwise cut off the rest of the query).
    // The URL library always decodes the escapes of the four unreserved
    // characters, so "%2D" "%2E" "%5F" "%7E" travel as "-" "." "_" "~"; a
    // gateway decodes both forms to the same text.
    static QUrl requestUrl(const QString& builtUrl);

    // The body bytes as text: UTF-8 when valid, otherwise Windows-1252.
    static QString bodyText(const QByteArray& body);

    QNetworkAccessManager& manager() { return m_manager; }

private:
    QNetworkAccessManager m_manager;
    std::chrono::milliseconds m_timeout = DefaultTimeout;
};

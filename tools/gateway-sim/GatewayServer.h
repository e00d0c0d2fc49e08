#pragma once

#include "GatewayQuery.h"

#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <optional>

class QTcpSocket;

namespace gatewaysim {

// How the simulator answers a send request (and, for the failure modes, any request picked by fail-next).
enum class AnswerMode
{
    Number,   // the number parameter as given
    Created,  // "201 Created"
    Id,       // a new decimal message id per request from 1001, optionally followed by "<br>"
    Accepted, // "Message accepted": no success marker
    Empty,    // 200 with an empty body
    Http500,  // HTTP 500, body "Internal error"
    Drop,     // the connection is closed without an answer
    Timeout,  // no answer until the client gives up
    Quote,    // "id'1001"
    Long,     // 300 characters holding the number
    Huge,     // the number, then filler up to kHugeAnswerBytes (announced by Content-Length)
    Endless,  // a chunked answer that goes on until the client gives up (or kEndlessAnswerBytes)
    Redirect, // 302 to the same request at "localhost" (another host name for the same server)
    Control,  // the number wrapped in control characters (NUL, an escape sequence, a bell)
};

std::optional<AnswerMode> answerModeFromName(QStringView name);
QString answerModeName(AnswerMode mode);
QStringList answerModeNames();
bool isFailureMode(AnswerMode mode);

// The 300-character answer of the long mode: the number first, then a fixed filler. A number text longer
// than that (a bulk request) makes a longer answer, still starting with the number.
QString longAnswer(const QString& number);

struct GatewaySettings
{
    AnswerMode sendMode = AnswerMode::Number;
    bool idBr = false;
    QString reportDefault = QStringLiteral("DELIVRD");
    QString balance = QStringLiteral("Balance: 1000");
    int latencyMs = 0;
};

// A small HTTP/1.1 server answering GET requests like an outside SMS gateway, with control paths that let
// tests script its answers. One request per connection; every answer closes the connection.
class GatewayServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxHeaderBytes = 64 * 1024;
    static constexpr int kRequestReadTimeoutMs = 30000;
    static constexpr int kMaxLatencyMs = 10 * 60 * 1000;
    static constexpr int kMemoryLogLimit = 100000;
    static constexpr qint64 kFirstMessageId = 1001;
    static constexpr qint64 kHugeAnswerBytes = 8 * 1024 * 1024;
    static constexpr qint64 kEndlessAnswerBytes = 512LL * 1024 * 1024;

    explicit GatewayServer(const GatewaySettings& settings, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_error; }

    // Appends every logged request to path, one JSON object a line.
    bool openLog(const QString& path);

private:
    struct Answer
    {
        enum Kind
        {
            Respond,
            Close,
            Hold,
            Stream, // chunked filler until the client goes
        } kind = Respond;
        int status = 200;
        QByteArray body;
        QByteArray contentType = "text/plain; charset=utf-8";
        QByteArray location; // for a redirect
    };

    void acceptConnections();
    void serve(QTcpSocket* socket, const QByteArray& head);
    Answer answerControl(const RequestTarget& target);
    Answer answerGateway(const QByteArray& method, const RequestTarget& target, bool* delayed);
    Answer answerInMode(AnswerMode mode, const RequestTarget& target);
    void deliver(QTcpSocket* socket, const Answer& answer);
    static void stream(QTcpSocket* socket);
    void logRequest(const QByteArray& method, const RequestTarget& target);

    static Answer text(int status, const QString& body);

    QTcpServer m_server;
    QString m_error;
    const GatewaySettings m_initial;
    GatewaySettings m_settings;
    QHash<QString, QString> m_reports;
    int m_failCount = 0;
    AnswerMode m_failMode = AnswerMode::Http500;
    qint64 m_nextId = kFirstMessageId;
    QList<QByteArray> m_log;
    qint64 m_count = 0;
    QFile m_logFile;
};

} // namespace gatewaysim

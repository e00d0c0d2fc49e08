#include "GatewayServer.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace gatewaysim {

namespace {

struct ModeName
{
    AnswerMode mode;
    const char* name;
};

constexpr ModeName kModes[] = {
    {AnswerMode::Number, "number"},     {AnswerMode::Created, "201"},     {AnswerMode::Id, "id"},
    {AnswerMode::Accepted, "accepted"}, {AnswerMode::Empty, "empty"},     {AnswerMode::Http500, "http500"},
    {AnswerMode::Drop, "drop"},         {AnswerMode::Timeout, "timeout"}, {AnswerMode::Quote, "quote"},
    {AnswerMode::Long, "long"},         {AnswerMode::Huge, "huge"},       {AnswerMode::Endless, "endless"},
    {AnswerMode::Redirect, "redirect"}, {AnswerMode::Control, "control"},
};

constexpr int kLongAnswerLength = 300;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    default:
        return "Unknown";
    }
}

QString routeOf(const QByteArray& path)
{
    QString route = QString::fromLatin1(path);
    if (route.size() > 1 && route.endsWith(u'/'))
        route.chop(1);
    return route;
}

// Reads a whole number in [0, max] from text; nullopt for anything else.
std::optional<int> boundedInt(const QString& text, int max)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 0 || value > max)
        return std::nullopt;
    return int(value);
}

std::optional<bool> flag(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == u"1" || t == u"true" || t == u"on" || t == u"yes")
        return true;
    if (t == u"0" || t == u"false" || t == u"off" || t == u"no")
        return false;
    return std::nullopt;
}

} // namespace

std::optional<AnswerMode> answerModeFromName(QStringView name)
{
    for (const auto& m : kModes) {
        if (name.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0)
            return m.mode;
    }
    return std::nullopt;
}

QString answerModeName(AnswerMode mode)
{
    for (const auto& m : kModes) {
        if (m.mode == mode)
            return QString::fromLatin1(m.name);
    }
    return {};
}

QStringList answerModeNames()
{
    QStringList names;
    for (const auto& m : kModes)
        names.append(QString::fromLatin1(m.name));
    return names;
}

bool isFailureMode(AnswerMode mode)
{
    return mode == AnswerMode::Empty || mode == AnswerMode::Http500 || mode == AnswerMode::Drop ||
           mode == AnswerMode::Timeout || mode == AnswerMode::Huge || mode == AnswerMode::Endless ||
           mode == AnswerMode::Redirect;
}

QString longAnswer(const QString& number)
{
    static const QString filler = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    QString answer = number;
    if (!answer.isEmpty())
        answer.append(u' ');
    for (int i = 0; answer.size() < kLongAnswerLength; ++i)
        answer.append(filler.at(i % filler.size()));
    return answer;
}

GatewayServer::GatewayServer(const GatewaySettings& settings, QObject* parent)
    : QObject(parent), m_initial(settings), m_settings(settings)
{
    connect(&m_server, &QTcpServer::newConnection, this, &GatewayServer::acceptConnections);
}

bool GatewayServer::listen(const QHostAddress& address, quint16 port)
{
    if (!m_server.listen(address, port)) {
        m_error = m_server.errorString();
        return false;
    }
    return true;
}

bool GatewayServer::openLog(const QString& path)
{
    m_logFile.setFileName(path);
    if (!m_logFile.open(QIODevice::WriteOnly | QIODevice::Append)) {
        m_error = m_logFile.errorString();
        return false;
    }
    return true;
}

void GatewayServer::acceptConnections()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        struct State
        {
            QByteArray buffer;
            bool served = false;
        };
        auto state = std::make_shared<State>();

        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);

        // A client that connects and never completes its request does not hold the socket forever.
        auto* readTimer = new QTimer(socket);
        readTimer->setSingleShot(true);
        connect(readTimer, &QTimer::timeout, socket, [socket, state] {
            if (!state->served)
                socket->abort();
        });
        readTimer->start(kRequestReadTimeoutMs);

        connect(socket, &QTcpSocket::readyRead, this, [this, socket, state, readTimer] {
            if (state->served) {
                socket->readAll(); // anything after the request head is ignored
                return;
            }
            state->buffer.append(socket->readAll());
            qsizetype end = state->buffer.indexOf("\r\n\r\n");
            if (end < 0)
                end = state->buffer.indexOf("\n\n");
            if (end < 0) {
                if (state->buffer.size() > kMaxHeaderBytes) {
                    state->served = true;
                    readTimer->stop();
                    deliver(socket, text(431, QStringLiteral("Request too large")));
                }
                return;
            }
            state->served = true;
            readTimer->stop();
            serve(socket, state->buffer.left(end));
        });
    }
}

void GatewayServer::serve(QTcpSocket* socket, const QByteArray& head)
{
    const qsizetype lineEnd = head.indexOf('\n');
    const QByteArray requestLine = (lineEnd < 0 ? head : head.left(lineEnd)).trimmed();
    QList<QByteArray> parts = requestLine.split(' ');
    parts.removeAll(QByteArray());
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/") || parts[1].isEmpty()) {
        deliver(socket, text(400, QStringLiteral("Bad request")));
        return;
    }
    const QByteArray& method = parts[0];
    const QByteArray& rawTarget = parts[1];

    const RequestTarget probe = parseTarget(rawTarget, TextCoding::Windows1252);
    if (probe.path == "/control" || probe.path.startsWith("/control/")) {
        if (method != "GET") {
            deliver(socket, text(405, QStringLiteral("Method not allowed")));
            return;
        }
        deliver(socket, answerControl(parseTarget(rawTarget, TextCoding::Utf8OrWindows1252)));
        return;
    }

    logRequest(method, probe);
    bool delayed = false;
    const Answer answer = answerGateway(method, probe, &delayed);
    if (delayed && m_settings.latencyMs > 0 && answer.kind != Answer::Hold)
        QTimer::singleShot(m_settings.latencyMs, socket, [this, socket, answer] { deliver(socket, answer); });
    else
        deliver(socket, answer);
}

GatewayServer::Answer GatewayServer::answerGateway(const QByteArray& method, const RequestTarget& target,
                                                   bool* delayed)
{
    if (method != "GET")
        return text(405, QStringLiteral("Method not allowed"));

    const QString route = routeOf(target.path);
    const bool gatewayPath = route == u"/send" || route == u"/report" || route == u"/balance";
    *delayed = gatewayPath;

    if (m_failCount > 0) {
        --m_failCount;
        return answerInMode(m_failMode, target);
    }

    if (route == u"/send")
        return answerInMode(m_settings.sendMode, target);
    if (route == u"/report") {
        QString id = target.value(u"id");
        if (id.isNull())
            id = target.value(u"msgid");
        if (!id.isNull()) {
            const auto scripted = m_reports.constFind(id);
            if (scripted != m_reports.constEnd())
                return text(200, scripted.value());
        }
        return text(200, m_settings.reportDefault);
    }
    if (route == u"/balance")
        return text(200, m_settings.balance);
    return text(404, QStringLiteral("Not found"));
}

GatewayServer::Answer GatewayServer::answerInMode(AnswerMode mode, const RequestTarget& target)
{
    QString number = target.value(u"to", Qt::CaseInsensitive);
    if (number.isNull())
        number = target.value(u"mobile", Qt::CaseInsensitive);

    switch (mode) {
    case AnswerMode::Number:
        return text(200, number.isNull() ? QStringLiteral("Missing number") : number);
    case AnswerMode::Created:
        return text(200, QStringLiteral("201 Created"));
    case AnswerMode::Id:
        return text(200,
                    QString::number(m_nextId++) + (m_settings.idBr ? QStringLiteral("<br>") : QString()));
    case AnswerMode::Accepted:
        return text(200, QStringLiteral("Message accepted"));
    case AnswerMode::Empty:
        return text(200, QString());
    case AnswerMode::Http500:
        return text(500, QStringLiteral("Internal error"));
    case AnswerMode::Drop: {
        Answer a;
        a.kind = Answer::Close;
        return a;
    }
    case AnswerMode::Timeout: {
        Answer a;
        a.kind = Answer::Hold;
        return a;
    }
    case AnswerMode::Quote:
        return text(200, QStringLiteral("id'1001"));
    case AnswerMode::Long:
        return text(200, longAnswer(number));
    case AnswerMode::Huge: {
        Answer a = text(200, number);
        a.body.append(' ');
        a.body.append(QByteArray(kHugeAnswerBytes - a.body.size(), 'x'));
        return a;
    }
    case AnswerMode::Endless: {
        Answer a;
        a.kind = Answer::Stream;
        return a;
    }
    case AnswerMode::Redirect: {
        Answer a = text(302, QStringLiteral("Moved"));
        a.location = "http://localhost:" + QByteArray::number(port()) + target.raw;
        return a;
    }
    case AnswerMode::Control:
        return text(200,
                    QStringLiteral("\x1b[2J\x1b]0;owned\x07") + number + QChar(0) + QStringLiteral("\x9b"));
    }
    return text(500, QStringLiteral("Internal error"));
}

GatewayServer::Answer GatewayServer::answerControl(const RequestTarget& target)
{
    static const QString ok = QStringLiteral("OK");
    const QString command = routeOf(target.path).mid(int(sizeof("/control/")) - 1);

    if (command == u"send-mode") {
        const auto mode = answerModeFromName(target.value(u"mode"));
        if (!mode)
            return text(400, QStringLiteral("mode must be one of: ") + answerModeNames().join(u", "));
        if (target.has(u"br")) {
            const auto br = flag(target.value(u"br"));
            if (!br)
                return text(400, QStringLiteral("br must be 0 or 1"));
            m_settings.idBr = *br;
        }
        m_settings.sendMode = *mode;
        return text(200, ok);
    }
    if (command == u"id-br") {
        const auto on = flag(target.value(u"on"));
        if (!on)
            return text(400, QStringLiteral("on must be 0 or 1"));
        m_settings.idBr = *on;
        return text(200, ok);
    }
    if (command == u"report") {
        const QString id = target.value(u"id");
        const QString answer = target.value(u"answer");
        if (id.isNull() || answer.isNull())
            return text(400, QStringLiteral("id and answer are required"));
        m_reports.insert(id, answer);
        return text(200, ok);
    }
    if (command == u"report-default") {
        const QString answer = target.value(u"answer");
        if (answer.isNull())
            return text(400, QStringLiteral("answer is required"));
        m_settings.reportDefault = answer;
        return text(200, ok);
    }
    if (command == u"latency") {
        const auto ms = boundedInt(target.value(u"ms"), kMaxLatencyMs);
        if (!ms)
            return text(400, QStringLiteral("ms must be a whole number from 0 to %1").arg(kMaxLatencyMs));
        m_settings.latencyMs = *ms;
        return text(200, ok);
    }
    if (command == u"balance") {
        const QString balance = target.value(u"text");
        if (balance.isNull())
            return text(400, QStringLiteral("text is required"));
        m_settings.balance = balance;
        return text(200, ok);
    }
    if (command == u"fail-next") {
        std::optional<int> count = 1;
        if (target.has(u"count"))
            count = boundedInt(target.value(u"count"), 1000000);
        if (!count)
            return text(400, QStringLiteral("count must be a whole number"));
        AnswerMode mode = AnswerMode::Http500;
        if (target.has(u"mode")) {
            const auto named = answerModeFromName(target.value(u"mode"));
            if (!named || !isFailureMode(*named))
                return text(
                    400, QStringLiteral(
                             "mode must be one of: empty, http500, drop, timeout, huge, endless, redirect"));
            mode = *named;
        }
        m_failCount = *count;
        m_failMode = mode;
        return text(200, ok);
    }
    if (command == u"reset") {
        m_settings = m_initial;
        m_reports.clear();
        m_failCount = 0;
        m_failMode = AnswerMode::Http500;
        m_nextId = kFirstMessageId;
        m_log.clear();
        m_count = 0;
        return text(200, ok);
    }
    if (command == u"log") {
        Answer a;
        a.contentType = "application/x-ndjson; charset=utf-8";
        for (const QByteArray& line : std::as_const(m_log)) {
            a.body.append(line);
            a.body.append('\n');
        }
        return a;
    }
    if (command == u"count")
        return text(200, QString::number(m_count));
    return text(404, QStringLiteral("Unknown control command"));
}

void GatewayServer::deliver(QTcpSocket* socket, const Answer& answer)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    switch (answer.kind) {
    case Answer::Hold:
        return;
    case Answer::Close:
        socket->readAll();
        socket->disconnectFromHost();
        return;
    case Answer::Stream:
        socket->readAll();
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n"
                      "Connection: close\r\n\r\n");
        stream(socket);
        return;
    case Answer::Respond:
        break;
    }
    QByteArray response = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                          reasonPhrase(answer.status) + "\r\nContent-Type: " + answer.contentType +
                          "\r\nContent-Length: " + QByteArray::number(answer.body.size()) +
                          (answer.location.isEmpty() ? QByteArray() : "\r\nLocation: " + answer.location) +
                          "\r\nConnection: close\r\n\r\n";
    response.append(answer.body);
    socket->readAll();
    socket->write(response);
    socket->disconnectFromHost();
}

void GatewayServer::stream(QTcpSocket* socket)
{
    // Chunks are written as the client takes them, so the simulator itself
    // holds little; past kEndlessAnswerBytes the connection just closes.
    static const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, 'x') + "\r\n";
    auto sent = std::make_shared<qint64>(0);
    auto more = [socket, sent] {
        while (socket->state() == QAbstractSocket::ConnectedState &&
               socket->bytesToWrite() < 4 * chunk.size()) {
            if (*sent >= kEndlessAnswerBytes) {
                socket->disconnectFromHost();
                return;
            }
            socket->write(chunk);
            *sent += chunk.size();
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, more);
    more();
}

void GatewayServer::logRequest(const QByteArray& method, const RequestTarget& target)
{
    QJsonObject query;
    QJsonArray list;
    for (const QueryItem& item : target.items) {
        query.insert(item.name, item.value); // a later item of the same name replaces an earlier one
        list.append(QJsonArray{item.name, item.value});
    }
    const QDateTime now = QDateTime::currentDateTime();
    QJsonObject entry{
        {QStringLiteral("time"), now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs)},
        {QStringLiteral("method"), QString::fromLatin1(method)},
        {QStringLiteral("path"), fromWindows1252(target.path)},
        {QStringLiteral("url"), fromWindows1252(target.raw)},
        {QStringLiteral("query"), query},
        {QStringLiteral("query_list"), list},
    };
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact);

    m_log.append(line);
    if (m_log.size() > kMemoryLogLimit)
        m_log.removeFirst();
    ++m_count;

    if (m_logFile.isOpen()) {
        m_logFile.write(line + '\n');
        m_logFile.flush();
    }
}

GatewayServer::Answer GatewayServer::text(int status, const QString& body)
{
    Answer a;
    a.status = status;
    a.body = body.toUtf8();
    return a;
}

} // namespace gatewaysim

#include "GatewaySim.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
constexpr int TimeoutMs = 10000;
}

GatewaySim::GatewaySim(const QStringList& extraArguments)
{
    QString program = qEnvironmentVariable("SMS_GATEWAY_SIM");
    if (program.isEmpty())
        program = QStringLiteral(SMS_GATEWAY_SIM_EXECUTABLE);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, QStringList{u"--port"_s, u"0"_s} + extraArguments);
    if (!m_process.waitForStarted(TimeoutMs)) {
        m_error = u"cannot start %1: %2"_s.arg(program, m_process.errorString());
        return;
    }
    static const QRegularExpression listening(u"^listening on 127\\.0\\.0\\.1:(\\d+)$"_s);
    const QDeadlineTimer deadline(TimeoutMs);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            const QRegularExpressionMatch match = listening.match(QString::fromUtf8(line));
            if (match.hasMatch()) {
                m_port = match.captured(1).toInt();
                return;
            }
            output += line + '\n';
        } else if (m_process.state() != QProcess::Running) {
            break;
        } else {
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }
    m_error =
        u"sms-gateway-sim did not report its port: "_s + QString::fromUtf8(output + m_process.readAll());
}

GatewaySim::~GatewaySim()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray GatewaySim::get(const QString& pathAndQuery, int* status)
{
    if (status)
        *status = 0;
    if (!isRunning())
        return {};
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl::fromEncoded((baseUrl() + pathAndQuery).toUtf8()));
    request.setTransferTimeout(TimeoutMs);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    // Test set-up only: the engine itself never waits like this.
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(TimeoutMs + 1000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished())
        reply->abort();
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply->readAll();
}

bool GatewaySim::control(const QString& pathAndQuery)
{
    int status = 0;
    const QByteArray body =
        get(pathAndQuery.startsWith(u'/') ? pathAndQuery : u"/control/"_s + pathAndQuery, &status);
    return status == 200 && body == "OK";
}

QList<QJsonObject> GatewaySim::requests()
{
    int status = 0;
    const QByteArray body = get(u"/control/log"_s, &status);
    QList<QJsonObject> entries;
    for (const QByteArray& line : body.split('\n'))
        if (status == 200 && !line.trimmed().isEmpty())
            entries.append(QJsonDocument::fromJson(line).object());
    return entries;
}

int GatewaySim::count()
{
    int status = 0;
    bool ok = false;
    const int n = get(u"/control/count"_s, &status).trimmed().toInt(&ok);
    return status == 200 && ok ? n : -1;
}

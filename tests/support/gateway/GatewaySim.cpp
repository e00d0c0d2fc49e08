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

namespace {

QString configuredExecutable()
{
#ifdef SMS_GATEWAY_SIM_EXECUTABLE
    return QStringLiteral(SMS_GATEWAY_SIM_EXECUTABLE);
#else
    return QString::fromLocal8Bit(qgetenv("SMS_BINARY_DIR")) +
           QStringLiteral("/tools/gateway-sim/sms-gateway-sim");
#endif
}

} // namespace

QString GatewaySim::executablePath()
{
    const QByteArray overridden = qgetenv("SMS_GATEWAY_SIM");
    return overridden.isEmpty() ? configuredExecutable() : QString::fromLocal8Bit(overridden);
}

GatewaySim::GatewaySim(const QStringList& extraArguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(executablePath(),
                    QStringList{QStringLiteral("--port"), QStringLiteral("0")} + extraArguments);
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(executablePath(), m_process.errorString());
        return;
    }

    static const QRegularExpression listening(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"));
    const QDeadlineTimer deadline(kStartTimeoutMs);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            const QRegularExpressionMatch match = listening.match(line);
            if (match.hasMatch()) {
                m_port = match.captured(1).toInt();
                return;
            }
            output += line.toUtf8() + '\n';
            continue;
        }
        if (m_process.state() != QProcess::Running)
            break;
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    m_error =
        QStringLiteral("sms-gateway-sim did not report its port (state %1, exit code %2, output \"%3\")")
            .arg(int(m_process.state()))
            .arg(m_process.exitCode())
            .arg(QString::fromUtf8(output + m_process.readAll()));
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

bool GatewaySim::isRunning() const
{
    return m_port > 0 && m_process.state() == QProcess::Running;
}

QString GatewaySim::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
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
    request.setTransferTimeout(kRequestTimeoutMs);
    QNetworkReply* reply = manager.get(request);

    // Test set-up only: the engine itself never waits like this.
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(kRequestTimeoutMs + 1000);
    if (!reply->isFinished())
        loop.exec();

    if (!reply->isFinished())
        reply->abort();
    const QByteArray body = reply->readAll();
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    delete reply;
    return body;
}

bool GatewaySim::control(const QString& pathAndQuery)
{
    const QString path =
        pathAndQuery.startsWith(u'/') ? pathAndQuery : QStringLiteral("/control/") + pathAndQuery;
    int status = 0;
    const QByteArray body = get(path, &status);
    return status == 200 && body == "OK";
}

QList<QJsonObject> GatewaySim::requests()
{
    int status = 0;
    const QByteArray body = get(QStringLiteral("/control/log"), &status);
    QList<QJsonObject> entries;
    if (status != 200)
        return entries;
    for (const QByteArray& line : body.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        entries.append(QJsonDocument::fromJson(line).object());
    }
    return entries;
}

int GatewaySim::count()
{
    int status = 0;
    const QByteArray body = get(QStringLiteral("/control/count"), &status);
    bool ok = false;
    const int n = body.trimmed().toInt(&ok);
    return status == 200 && ok ? n : -1;
}

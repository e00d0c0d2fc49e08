#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs sms-gateway-sim (env SMS_GATEWAY_SIM, else the build's target) on a free port for one test and
// scripts it; the process is stopped (SIGTERM, then kill) when the object goes.
class GatewaySim
{
public:
    explicit GatewaySim(const QStringList& extraArguments = {});
    ~GatewaySim();
    GatewaySim(const GatewaySim&) = delete;
    GatewaySim& operator=(const GatewaySim&) = delete;

    bool isRunning() const { return m_port > 0 && m_process.state() == QProcess::Running; }
    QString errorString() const { return m_error; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    // True when the answer is 200 "OK"; a text without a leading "/" is taken as relative to /control/.
    bool control(const QString& pathAndQuery);
    // GET of an encoded path: the body, the HTTP status in *status (0 when no answer came).
    QByteArray get(const QString& pathAndQuery, int* status = nullptr);
    QList<QJsonObject> requests();
    // -1 when the simulator did not answer.
    int count();

private:
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};

#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs the sms-gateway-sim executable for one test (or one test case) and scripts it.
//
//   GatewaySim sim;                       // starts it on a free port, waits for "listening on ..."
//   QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
//   sim.control("/control/send-mode?mode=id");
//   profile send URL: sim.baseUrl() + "/send?u=<UName>&p=<PassWord>&to=<mobile>&sid=<GsmSid>&msg=<msg>"
//   ... run the code under test ...
//   QCOMPARE(sim.requests().size(), 1);
//
// The process is stopped (SIGTERM, then kill) when the object goes. Test targets that link
// sms_testgateway get a build dependency on sms-gateway-sim through the library.
class GatewaySim
{
public:
    static constexpr int kStartTimeoutMs = 10000;
    static constexpr int kRequestTimeoutMs = 10000;

    // extraArguments are passed on, e.g. {"--send-mode", "id", "--latency", "50"}.
    explicit GatewaySim(const QStringList& extraArguments = {});
    ~GatewaySim();
    GatewaySim(const GatewaySim&) = delete;
    GatewaySim& operator=(const GatewaySim&) = delete;

    bool isRunning() const;
    QString errorString() const { return m_error; }
    int port() const { return m_port; }
    QString baseUrl() const; // "http://127.0.0.1:<port>"
    qint64 processId() const { return m_process.processId(); }

    // GET baseUrl() + pathAndQuery and true when the answer is 200 "OK". A text without a leading "/" is
    // taken as relative to /control/: control("reset") == control("/control/reset").
    bool control(const QString& pathAndQuery);

    // GET baseUrl() + pathAndQuery (already encoded); the body, with the HTTP status in *status (0 when no
    // answer came within kRequestTimeoutMs or the connection failed).
    QByteArray get(const QString& pathAndQuery, int* status = nullptr);

    // The logged requests, oldest first (GET /control/log).
    QList<QJsonObject> requests();
    // The number of logged requests (GET /control/count); -1 when the simulator did not answer.
    int count();

    // The path of the executable that is started: env SMS_GATEWAY_SIM when set, else the build's target.
    static QString executablePath();

private:
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};

#pragma once

#include "StoreFixture.h"
#include "modem/ModemSim.h"
#include "postgres/PostgresServer.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

// Several `smsctl run` engines sharing one PostgreSQL SendSMS, each with its own program folder (default
// profile naming the server), its own sms-modem-sim and the smallest tick interval. All of them read the
// per-user settings written by setClaimSettings(), in a settings folder of their own.
class EngineFleet
{
public:
    explicit EngineFleet(PostgresServer& server);
    ~EngineFleet();
    EngineFleet(const EngineFleet&) = delete;
    EngineFleet& operator=(const EngineFleet&) = delete;

    // The ServerQueueClaim settings of engines started from now on.
    bool setClaimSettings(int leaseSeconds, int failureBound, double retrySeconds);
    // A new engine (not started) whose modem runs with modemOptions; false with error() set on failure.
    bool add(const QStringList& modemOptions = {});
    int size() const { return int(m_engines.size()); }
    bool start(int i);
    bool startAll();
    void kill(int i); // SIGKILL: no chance to release anything
    // SIGTERM to the running engines; each ends after its running tick.
    void stopAll();

    QString home(int i) const { return m_engines[i]->folder.home(); }
    QString engineId(int i) const;
    ModemSim& modem(int i) { return m_engines[i]->modem; }
    // The texts modem i took, in order; ends that simulator (its engine must be stopped first).
    QStringList sentTexts(int i);
    // What engine i printed so far.
    QString output(int i);
    QString error() const { return m_error; }

    // Fills SendSMS with rows "text N" to numbers 90000NNNNN (N from first to last), Piority N % 3, status
    // empty; false with error() set when the server refuses.
    bool queue(int first, int last);

private:
    struct Engine
    {
        StoreFixture folder;
        ModemSim modem;
        QProcess process;
        QString output;
    };
    PostgresServer& m_server;
    QTemporaryDir m_settings;
    std::vector<std::unique_ptr<Engine>> m_engines;
    QString m_error;
};

#pragma once

#include "dispatch/ReportPoll.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include <QCoroTask>

class DeliveryChannels;
class EngineContext;
class QueueCursor;
class ServerQueueClaim;

// What one tick did, for the headless engine's log and for tests.
struct TickOutcome
{
    enum class Kind
    {
        Idle,    // the queue was empty (a report may have been polled)
        Sent,    // a message was sent and recorded (the rest of the tick may have failed)
        NotSent, // a message was tried and stays queued
        Failed,  // the tick ended through its error guard
    };
    Kind kind = Kind::Idle;
    QString mobile;      // the number tried, as stored
    QString response;    // the gateway's answer or the modem's result
    int errorNumber = 0; // the number of the error that ended the tick: Failed, or Sent when the
                         // balance or the pending count after the send failed
    QString errorText;   // that error's text
    QStringList importErrors;
    int dropFilesWaiting = 0; // drop files left for a later tick (still being written)
    QString queueNote;        // server mode: what became of a row whose send failed (deferred, given up...)
    bool reportPolled = false;
    ReportPoll::Outcome report = ReportPoll::Outcome::NoPendingRow;
};

// The dispatch engine: each tick imports drop files, sends the first queued
// message and, while the queue is empty, polls one delivery report. The
// console and the headless engine drive the same object. Only one tick runs
// at a time: a timer tick that arrives while one is still running is skipped
// and counted.
class Engine : public QObject
{
    Q_OBJECT
public:
    explicit Engine(EngineContext& context, QObject* parent = nullptr);
    ~Engine() override;

    EngineContext& context() { return m_context; }
    DeliveryChannels& channels() { return *m_channels; }
    ReportPoll& reportPoll() { return m_reportPoll; }
    // How this engine claims server rows (its id, lease and failure bound).
    ServerQueueClaim& serverClaim() { return *m_serverClaim; }

    // Starts ticking every intervalMs milliseconds; 0 or less stops ticking.
    void setInterval(int intervalMs);
    int interval() const { return m_interval; }
    bool isTicking() const { return m_timer.isActive(); }

    bool tickRunning() const { return m_tickRunning; }
    int skippedTicks() const { return m_skipped; }
    const TickOutcome& lastOutcome() const { return m_last; }

    // The host whose presence in the send URL template marks the gateway that
    // delivers reports. Configured by ReportHost::resolve() unless set here.
    QString reportHost() const { return m_reportHost; }
    void setReportHost(const QString& host) { m_reportHost = host; }

    enum class ReportPolling
    {
        Polled,
        NoReportUrl,         // the profile has no report URL
        NotTheReportGateway, // the send URL template does not contain the report host
    };
    // Whether idle ticks ask for delivery reports with the loaded profile.
    ReportPolling reportPolling() const;

    // One tick, awaited. Returns at once, counted as skipped, when a tick is
    // already running.
    QCoro::Task<> runTick();
    // Completes when no tick is running (at once when none is).
    QCoro::Task<> waitUntilIdle();

Q_SIGNALS:
    void tickStarted();
    void tickFinished(const TickOutcome& outcome);
    void tickSkipped(int skippedSoFar);

protected:
    // The body of one tick; runTick() guards it.
    virtual QCoro::Task<> tick();

private:
    void onTimer();
    QStringList importDropFiles();
    QCoro::Task<> idleBranch(TickOutcome& outcome);
    // Sets urgent 10 on a local row that is still queued after its send.
    void markUnsent(const QueueCursor& cursor);
    // The error guard's recovery.
    void recover(TickOutcome& outcome, QueueCursor& cursor, int number, const QString& text);
    QString now(const QString& pattern) const;

    EngineContext& m_context;
    std::unique_ptr<DeliveryChannels> m_channels;
    ReportPoll m_reportPoll;
    QTimer m_timer;
    int m_interval = 0;
    bool m_tickRunning = false;
    int m_skipped = 0;
    int m_dropFilesWaiting = 0;
    TickOutcome m_last;
    QString m_reportHost;
    std::unique_ptr<ServerQueueClaim> m_serverClaim;
};

#pragma once

#include <QObject>
#include <QTimer>

#include <QCoroTask>

class EngineContext;

// The dispatch engine: one tick of the timer imports drop files, sends the
// first queued message and, while the queue is empty, polls one delivery
// report. The console and the headless engine drive the same object. Only
// one tick runs at a time: a timer tick that arrives while one is still
// running is skipped and counted.
class Engine : public QObject
{
    Q_OBJECT
public:
    explicit Engine(EngineContext& context, QObject* parent = nullptr);

    EngineContext& context() { return m_context; }

    // Starts ticking every intervalMs milliseconds; 0 or less stops ticking
    // (the timer keeps its interval 0 and never fires).
    void setInterval(int intervalMs);
    int interval() const { return m_interval; }
    bool isTicking() const { return m_timer.isActive(); }

    bool tickRunning() const { return m_tickRunning; }
    int skippedTicks() const { return m_skipped; }

    // One tick, awaited. Returns at once (nothing done) when a tick is
    // already running.
    QCoro::Task<> runTick();

Q_SIGNALS:
    void tickStarted();
    void tickFinished();
    void tickSkipped(int skippedSoFar);

protected:
    // The body of one tick; the guard around it is runTick().
    virtual QCoro::Task<> tick();

private:
    void onTimer();

    EngineContext& m_context;
    QTimer m_timer;
    int m_interval = 0;
    bool m_tickRunning = false;
    int m_skipped = 0;
};

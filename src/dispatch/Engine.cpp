#include "dispatch/Engine.h"

#include "app/EngineContext.h"

Engine::Engine(EngineContext& context, QObject* parent) : QObject(parent), m_context(context)
{
    connect(&m_timer, &QTimer::timeout, this, &Engine::onTimer);
}

void Engine::setInterval(int intervalMs)
{
    m_interval = intervalMs > 0 ? intervalMs : 0;
    if (m_interval > 0)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

void Engine::onTimer()
{
    if (m_tickRunning) {
        ++m_skipped;
        Q_EMIT tickSkipped(m_skipped);
        return;
    }
    runTick().then([] {});
}

QCoro::Task<> Engine::runTick()
{
    if (m_tickRunning) {
        ++m_skipped;
        Q_EMIT tickSkipped(m_skipped);
        co_return;
    }
    m_tickRunning = true;
    Q_EMIT tickStarted();
    co_await tick();
    m_tickRunning = false;
    Q_EMIT tickFinished();
}

QCoro::Task<> Engine::tick()
{
    co_return;
}

#pragma once

#include <QTimer>

#include <coroutine>

// co_await EventLoopYield{}: lets the events that are waiting run (screen
// events, timers, the operator's clicks) and goes on afterwards. The rest of
// the coroutine runs from the event loop, never from a nested one.
struct EventLoopYield
{
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const
    {
        QTimer::singleShot(0, [handle] { handle.resume(); });
    }
    void await_resume() const noexcept {}
};

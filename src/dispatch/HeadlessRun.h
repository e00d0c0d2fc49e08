#pragma once

#include "core/ConsoleState.h"

#include <QString>
#include <QTextStream>

#include <functional>

class EngineContext;
struct TickOutcome;

// The engine without a screen, for servers and scripts: the same Engine the
// console drives, on a timer, printing one line per tick.
namespace HeadlessRun {

struct Settings
{
    ConsoleState::Channel channel = ConsoleState::Channel::Http;
    int ticks = 0;          // end after this many ticks (0: no limit)
    bool untilIdle = false; // end after the first idle tick that leaves no drop file waiting
    int interval = 0;       // milliseconds between ticks (0: the profile's; 10000 on the GSM channel)
    QString modemDevice;    // overrides the device of the modem port number
    bool verbose = false;   // an idle line for every idle tick, not only when it says something new
    // Told once the engine runs (the store and the profile are loaded) and
    // at the start and end of every tick: a service manager's readiness and
    // watchdog.
    std::function<void()> onReady;
    std::function<void()> onTickActivity;
    std::function<void()> onStopping;
};

// Runs the engine until the settings or SIGINT / SIGTERM end it; a signal
// lets the running tick finish first. The first tick runs at once. At start
// it tells whether delivery reports will be polled (and why not), and when
// the profile's HTTP gateway is off on the HTTP channel. Returns the exit
// status: 0 once the run has ended as asked, whatever its ticks did; 1 when
// it cannot start.
int run(EngineContext& context, const Settings& settings, QTextStream& out, QTextStream& err);

// The log line of one tick (without the time).
QString describe(const TickOutcome& outcome);

} // namespace HeadlessRun

#include "common/DateFormat.h"
#include "common/LogCategories.h"
#include "core/Startup.h"
#include "dispatch/Engine.h"
#include "dispatch/HeadlessRun.h"
#include "programs/smsctl/Commands.h"
#include "programs/smsctl/Notify.h"

namespace Cli {

// "run": the engine without a screen. One line per tick; ends after --ticks N
// ticks, after the first idle tick with --until-idle, or on SIGINT / SIGTERM
// once the running tick has finished.
int runRun(Context& context, const QStringList& args)
{
    const QString command = QStringLiteral("run");
    const Options options = parse(args,
                                  {{QStringLiteral("channel"), true},
                                   {QStringLiteral("ticks"), true},
                                   {QStringLiteral("until-idle"), false},
                                   {QStringLiteral("interval"), true},
                                   {QStringLiteral("modem-device"), true},
                                   {QStringLiteral("verbose"), false}},
                                  0, command);
    HeadlessRun::Settings settings;
    const QString channel = options.value(QStringLiteral("channel")).toLower();
    if (channel == QStringLiteral("gsm"))
        settings.channel = ConsoleState::Channel::Gsm;
    else if (!channel.isEmpty() && channel != QStringLiteral("http"))
        throw UsageError(QStringLiteral("--channel takes http or gsm"), command);
    settings.ticks = static_cast<int>(options.number(QStringLiteral("ticks"), 0, 1, 1000000000, command));
    settings.untilIdle = options.has(QStringLiteral("until-idle"));
    settings.interval =
        static_cast<int>(options.number(QStringLiteral("interval"), 0, 1, 2147483647, command));
    settings.modemDevice = options.value(QStringLiteral("modem-device"));
    settings.verbose = options.has(QStringLiteral("verbose"));
    settings.onTickActivity = &Notify::watchdog;
    settings.onStopping = &Notify::stopping;

    StartupResult started = Startup::run(context.home, context.upgradeProgress());
    for (const QString& note : std::as_const(started.notes))
        context.err << "smsctl: " << note << '\n';
    if (started.status == StartupResult::Status::AlreadyRunning) {
        context.err << "smsctl: another engine is already running on " << context.home
                    << "; two engines on one program folder would send twice\n";
        return ExitError;
    }
    if (!started.ready()) {
        context.err << "smsctl: " << started.message.trimmed() << '\n';
        return started.exitCode() == 0 ? ExitError : started.exitCode();
    }
    const QString profile = started.context->profile().userName;
    settings.onReady = [&context, profile] {
        Notify::ready(QStringLiteral("sending from %1 with the profile %2").arg(context.home, profile));
    };
    // Pings come from the ticks, so a tick that hangs gets the engine
    // restarted; a dispatch interval longer than the watchdog would get a
    // healthy one restarted too.
    const qint64 watchdog = Notify::watchdogMs();
    const int interval = settings.interval > 0 ? settings.interval : started.context->profile().interval;
    if (watchdog > 0 && interval * 2 > watchdog)
        qCWarning(lcDispatch,
                  "the dispatch interval of %d ms is more than half the service's watchdog "
                  "period of %lld ms: raise WatchdogSec= or the engine is restarted while idle",
                  interval, watchdog);
    return HeadlessRun::run(*started.context, settings, context.out, context.err);
}

} // namespace Cli

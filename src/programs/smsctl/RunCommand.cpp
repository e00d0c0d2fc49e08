#include "common/DateFormat.h"
#include "core/Startup.h"
#include "dispatch/Engine.h"
#include "dispatch/HeadlessRun.h"
#include "programs/smsctl/Commands.h"

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
                                   {QStringLiteral("modem-device"), true}},
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

    StartupResult started = Startup::run(context.home);
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
    return HeadlessRun::run(*started.context, settings, context.out, context.err);
}

} // namespace Cli

#include "channels/ModemDevicePath.h"
#include "dispatch/ReportHost.h"
#include "programs/smsctl/Commands.h"

#include <QRegularExpression>

namespace Cli {

namespace {
const QString kCommand = QStringLiteral("config");

QString sourceText(ReportHost::Source source)
{
    switch (source) {
    case ReportHost::Source::Environment:
        return QStringLiteral("from the environment variable %1").arg(ReportHost::EnvironmentVariable);
    case ReportHost::Source::Setting:
        return QStringLiteral("from the per-user setting %1 in %2")
            .arg(ReportHost::SettingKey, ReportHost::settingsFile());
    case ReportHost::Source::Default:
        break;
    }
    return QStringLiteral("the default");
}

// "config report-host" shows the host whose presence in a send URL makes the
// engine ask for delivery reports; "config report-host HOST" stores it for
// this user.
int reportHost(Context& context, const QStringList& args)
{
    const Options options = parse(args, {}, 1, kCommand);
    if (options.positional().isEmpty()) {
        const ReportHost::Effective host = ReportHost::effective();
        context.out << "Report host: " << host.host << " (" << sourceText(host.source) << ")\n";
        return ExitOk;
    }
    const QString host = options.positional().first().trimmed();
    if (host.isEmpty() || host.contains(QRegularExpression(QStringLiteral("\\s"))))
        throw UsageError(QStringLiteral("the report host must be a host name or address without blanks"),
                         kCommand);
    if (!ReportHost::store(host))
        throw CommandError(QStringLiteral("cannot write the setting %1 to %2")
                               .arg(ReportHost::SettingKey, ReportHost::settingsFile()));
    context.out << "Report host set to " << host << " (" << sourceText(ReportHost::Source::Setting) << ")\n";
    const ReportHost::Effective effective = ReportHost::effective();
    if (effective.source == ReportHost::Source::Environment)
        context.err << "smsctl: warning: " << ReportHost::EnvironmentVariable << " is set to "
                    << effective.host << " and takes precedence over this setting while it is set\n";
    return ExitOk;
}
// "config modem-device" shows the modem's serial device; "config
// modem-device PATH" stores it for this user, "--clear" goes back to the
// device of the stored port number (smsctl modem --port).
int modemDevice(Context& context, const QStringList& args)
{
    const Options options = parse(args, {{QStringLiteral("clear"), false}}, 1, kCommand);
    const bool clear = options.has(QStringLiteral("clear"));
    if (clear && !options.positional().isEmpty())
        throw UsageError(QStringLiteral("give a device or --clear, not both"), kCommand);
    if (options.positional().isEmpty() && !clear) {
        const QString configured = ModemDevicePath::configuredDevice();
        context.out << "Modem device: "
                    << (configured.isEmpty() ? QStringLiteral("(none: the device of the modem port number)")
                                             : configured)
                    << '\n';
        return ExitOk;
    }
    const QString path = clear ? QString() : options.positional().first().trimmed();
    if (!clear && !path.startsWith(u'/'))
        throw UsageError(QStringLiteral("the modem device must be an absolute path such as /dev/ttyUSB0"),
                         kCommand);
    ModemDevicePath::setConfiguredDevice(path);
    if (clear)
        context.out << "Modem device cleared: the engine opens the device of the modem port number\n";
    else
        context.out << "Modem device set to " << path << '\n';
    if (!qEnvironmentVariableIsEmpty(ModemDevicePath::EnvironmentVariable))
        context.err << "smsctl: warning: " << ModemDevicePath::EnvironmentVariable
                    << " is set and takes precedence over this setting while it is set\n";
    return ExitOk;
}
} // namespace

int runConfig(Context& context, const QStringList& args)
{
    if (args.isEmpty())
        throw UsageError(QStringLiteral("config needs a setting: report-host or modem-device"), kCommand);
    if (args.first() == QStringLiteral("--help") || args.first() == QStringLiteral("-h"))
        throw HelpRequested(kCommand);
    if (args.first() == QStringLiteral("report-host"))
        return reportHost(context, args.mid(1));
    if (args.first() == QStringLiteral("modem-device"))
        return modemDevice(context, args.mid(1));
    throw UsageError(QStringLiteral("unknown setting '%1'").arg(args.first()), kCommand);
}

} // namespace Cli

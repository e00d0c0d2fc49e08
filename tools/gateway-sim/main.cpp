// sms-gateway-sim: a local stand-in for the outside HTTP SMS gateway, for tests and demonstrations.
// See docs/gateway-sim.md for the paths it answers and the control paths that script it.

#include "GatewayServer.h"

#include "common/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char c = 1;
    if (::write(g_signalPipe[1], &c, 1) < 0) {
        // nothing to do: the pipe only wakes the event loop
    }
}

// SIGINT and SIGTERM end the event loop through a pipe, so the process leaves through main's normal path.
bool installSignalHandlers()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

int fail(const QString& message, int code)
{
    std::fprintf(stderr, "sms-gateway-sim: %s\n", qPrintable(message));
    return code;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sms-gateway-sim"));
    QCoreApplication::setApplicationVersion(Version::text());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local HTTP SMS gateway simulator (GET only, 127.0.0.1)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port; 0 picks a free one."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption hostOption(QStringLiteral("host"),
                                        QStringLiteral("Loopback address to listen on."),
                                        QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("Append every request as a JSON line to FILE."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption modeOption(
        QStringLiteral("send-mode"),
        QStringLiteral("Answer of /send: %1.").arg(gatewaysim::answerModeNames().join(QStringLiteral(", "))),
        QStringLiteral("MODE"), QStringLiteral("number"));
    const QCommandLineOption idBrOption(QStringLiteral("id-br"),
                                        QStringLiteral("In id mode, follow each id with \"<br>\"."));
    const QCommandLineOption reportOption(QStringLiteral("report-default"),
                                          QStringLiteral("Answer of /report for ids not scripted."),
                                          QStringLiteral("ANSWER"), QStringLiteral("DELIVRD"));
    const QCommandLineOption balanceOption(QStringLiteral("balance"), QStringLiteral("Answer of /balance."),
                                           QStringLiteral("TEXT"), QStringLiteral("Balance: 1000"));
    const QCommandLineOption latencyOption(QStringLiteral("latency"),
                                           QStringLiteral("Delay before answering send, report and balance."),
                                           QStringLiteral("MS"), QStringLiteral("0"));
    parser.addOptions({portOption, hostOption, logOption, modeOption, idBrOption, reportOption, balanceOption,
                       latencyOption});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()), 2);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535)
        return fail(QStringLiteral("--port must be 0 to 65535"), 2);

    const QHostAddress host(parser.value(hostOption));
    if (host.isNull() || !host.isLoopback())
        return fail(QStringLiteral("--host must be a loopback address such as 127.0.0.1"), 2);

    gatewaysim::GatewaySettings settings;
    const auto mode = gatewaysim::answerModeFromName(parser.value(modeOption));
    if (!mode) {
        return fail(QStringLiteral("--send-mode must be one of: %1")
                        .arg(gatewaysim::answerModeNames().join(QStringLiteral(", "))),
                    2);
    }
    settings.sendMode = *mode;
    settings.idBr = parser.isSet(idBrOption);
    settings.reportDefault = parser.value(reportOption);
    settings.balance = parser.value(balanceOption);
    const int latency = parser.value(latencyOption).toInt(&ok);
    if (!ok || latency < 0 || latency > gatewaysim::GatewayServer::kMaxLatencyMs)
        return fail(QStringLiteral("--latency must be 0 to %1").arg(gatewaysim::GatewayServer::kMaxLatencyMs),
                    2);
    settings.latencyMs = latency;

    if (!installSignalHandlers())
        return fail(QStringLiteral("cannot install signal handlers"), 1);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });

    gatewaysim::GatewayServer server(settings);
    if (parser.isSet(logOption) && !server.openLog(parser.value(logOption)))
        return fail(
            QStringLiteral("cannot open log %1: %2").arg(parser.value(logOption), server.errorString()), 1);
    if (!server.listen(host, quint16(port)))
        return fail(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(host.toString())
                        .arg(port)
                        .arg(server.errorString()),
                    1);

    std::printf("listening on %s:%u\n", qPrintable(host.toString()), unsigned(server.port()));
    std::fflush(stdout);

    return app.exec();
}

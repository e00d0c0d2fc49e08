#include "dispatch/HeadlessRun.h"

#include "app/EngineContext.h"
#include "channels/ModemDevice.h"
#include "dispatch/Engine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace HeadlessRun {

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text.trimmed();
}
} // namespace

QString describe(const TickOutcome& outcome)
{
    QString line;
    switch (outcome.kind) {
    case TickOutcome::Kind::Idle:
        line = QStringLiteral("idle");
        if (outcome.reportPolled) {
            static const char* const names[] = {"no pending report", "report: delivered",
                                                "report: not delivered", "report: inconclusive"};
            line += QStringLiteral(", ") + QString::fromLatin1(names[static_cast<int>(outcome.report)]);
        }
        break;
    case TickOutcome::Kind::Sent:
        line = QStringLiteral("sent %1: %2").arg(outcome.mobile.trimmed(), oneLine(outcome.response));
        break;
    case TickOutcome::Kind::NotSent:
        line = QStringLiteral("not sent %1 (stays queued): %2")
                   .arg(outcome.mobile.trimmed(), oneLine(outcome.response).isEmpty()
                                                      ? QStringLiteral("no answer")
                                                      : oneLine(outcome.response));
        break;
    case TickOutcome::Kind::Failed:
        line = QStringLiteral("error %1: %2").arg(outcome.errorNumber).arg(oneLine(outcome.errorText));
        if (!outcome.mobile.isEmpty())
            line += QStringLiteral(" (%1 stays queued)").arg(outcome.mobile.trimmed());
        break;
    }
    for (const QString& e : outcome.importErrors)
        line += QStringLiteral("; import: ") + oneLine(e);
    return line;
}

int run(EngineContext& context, const Settings& settings, QTextStream& out, QTextStream& err)
{
    if (!settings.modemDevice.isEmpty())
        qputenv(ModemDevice::EnvironmentVariable, settings.modemDevice.toLocal8Bit());
    context.console().setChannel(settings.channel);
    context.console().setText(ConsoleState::Field::UserName, context.profile().userName);

    int interval = settings.interval;
    if (interval <= 0)
        interval = settings.channel == ConsoleState::Channel::Gsm ? 10000 : context.profile().interval;
    if (interval <= 0) {
        err << "smsctl: the profile's dispatch interval is " << context.profile().interval
            << " ms; give --interval\n";
        return 1;
    }

    Engine engine(context);
    int ticks = 0;
    bool stopping = false;
    bool lastFailed = false;

    auto finish = [&] {
        stopping = true;
        engine.setInterval(0);
        engine.waitUntilIdle().then([] { QCoreApplication::quit(); });
    };

    QObject::connect(&engine, &Engine::tickFinished, [&](const TickOutcome& outcome) {
        ++ticks;
        lastFailed = outcome.kind == TickOutcome::Kind::Failed;
        out << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << ' '
            << describe(outcome) << Qt::endl;
        if (stopping)
            return;
        if ((settings.ticks > 0 && ticks >= settings.ticks) ||
            (settings.untilIdle && outcome.kind == TickOutcome::Kind::Idle && outcome.dropFilesWaiting == 0))
            finish();
    });
    QObject::connect(&engine, &Engine::tickSkipped, [&](int skipped) {
        out << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
            << " tick skipped: the previous tick is still running (" << skipped << " so far)" << Qt::endl;
    });

    // SIGINT / SIGTERM end the run after the running tick.
    std::unique_ptr<QSocketNotifier> notifier;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [&] {
            char byte;
            [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &byte, 1);
            if (!stopping) {
                out << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                    << " stopping after the running tick" << Qt::endl;
                finish();
            }
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    out << "engine running on " << context.programFolder() << ", "
        << (settings.channel == ConsoleState::Channel::Gsm ? "GSM modem" : "HTTP gateway") << ", every "
        << interval << " ms" << Qt::endl;
    engine.setInterval(interval);
    QTimer::singleShot(0, &engine, [&engine] { engine.runTick().then([] {}); });
    QCoreApplication::exec();

    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    notifier.reset();
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
    return lastFailed ? 1 : 0;
}

} // namespace HeadlessRun

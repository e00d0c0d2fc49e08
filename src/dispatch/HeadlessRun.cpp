#include "dispatch/HeadlessRun.h"

#include "channels/ModemDevicePath.h"
#include "channels/ServerQueueClaim.h"
#include "common/ControlText.h"
#include "core/EngineContext.h"
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

// What the gateway or the modem said, as one short line: a huge answer or
// one holding escape sequences must not flood or steer the terminal and the
// journal.
QString oneLine(const QString& text)
{
    return ControlText::excerpt(text);
}

QString stamp(const Clock& clock)
{
    return clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Whether idle ticks will ask for delivery reports, and what keeps them from it.
QString reportPollingNote(const Engine& engine, const ProfileState& profile)
{
    switch (engine.reportPolling()) {
    case Engine::ReportPolling::Polled:
        return QStringLiteral(
                   "delivery reports: polled at idle ticks (the send URL contains the report host %1)")
            .arg(engine.reportHost());
    case Engine::ReportPolling::NoReportUrl:
        return QStringLiteral("delivery reports: not polled: the profile '%1' has no report URL")
            .arg(profile.userName);
    case Engine::ReportPolling::NotTheReportGateway:
        break;
    }
    return QStringLiteral("delivery reports: not polled: the send URL does not contain the report host %1; "
                          "name the gateway's host with `smsctl config report-host HOST` or the "
                          "environment variable SMSENGINE_REPORT_HOST")
        .arg(engine.reportHost());
}

QString gatewayOffNote(const ProfileState& profile)
{
    return QStringLiteral("the profile '%1' has its HTTP gateway off (its ConSrt is not C): no message is "
                          "sent; turn it on with a profile whose ConSrt is C (`smsctl profile add ... "
                          "--consrt C`)")
        .arg(profile.userName);
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
        if (outcome.errorNumber != 0 || !outcome.errorText.isEmpty())
            line += QStringLiteral("; balance not refreshed: error %1: %2")
                        .arg(outcome.errorNumber)
                        .arg(oneLine(outcome.errorText));
        break;
    case TickOutcome::Kind::NotSent:
        // A server row's note says what became of it instead.
        line = QStringLiteral("not sent %1%2: %3")
                   .arg(outcome.mobile.trimmed(),
                        outcome.queueNote.isEmpty() ? QStringLiteral(" (stays queued)") : QString(),
                        oneLine(outcome.response).isEmpty() ? QStringLiteral("no answer")
                                                            : oneLine(outcome.response));
        break;
    case TickOutcome::Kind::Failed:
        line = QStringLiteral("error %1: %2").arg(outcome.errorNumber).arg(oneLine(outcome.errorText));
        if (!outcome.mobile.isEmpty())
            line += QStringLiteral(" (%1 stays queued)").arg(outcome.mobile.trimmed());
        break;
    }
    if (!outcome.queueNote.isEmpty())
        line += QStringLiteral("; ") + outcome.queueNote;
    for (const QString& e : outcome.importErrors)
        line += QStringLiteral("; import: ") + oneLine(e);
    return line;
}

int run(EngineContext& context, const Settings& settings, QTextStream& out, QTextStream& err)
{
    if (!settings.modemDevice.isEmpty())
        qputenv(ModemDevicePath::EnvironmentVariable, settings.modemDevice.toLocal8Bit());
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
    const bool gatewayOff = settings.channel == ConsoleState::Channel::Http && !context.profile().httpGateway;
    int ticks = 0;
    int skipped = 0; // since the last line that told of skipped ticks
    bool stopping = false;

    QString lastIdleLine; // the idle line last printed, until a tick prints another line
    auto tickActivity = [&settings] {
        if (settings.onTickActivity)
            settings.onTickActivity();
    };
    auto finish = [&] {
        if (settings.onStopping)
            settings.onStopping();
        stopping = true;
        engine.setInterval(0);
        engine.waitUntilIdle().then([] { QCoreApplication::quit(); });
    };
    // Told once for each run of skipped ticks: when the next tick starts, or
    // when the engine stops.
    auto tellSkipped = [&] {
        if (skipped == 0)
            return;
        out << stamp(context.clock()) << ' ' << skipped << (skipped == 1 ? " tick" : " ticks")
            << " skipped: the previous tick was still running" << Qt::endl;
        skipped = 0;
    };

    QObject::connect(&engine, &Engine::tickStarted, tellSkipped);
    QObject::connect(&engine, &Engine::tickStarted, tickActivity);
    QObject::connect(&engine, &Engine::tickSkipped, [&skipped] { ++skipped; });
    QObject::connect(&engine, &Engine::tickFinished, [&](const TickOutcome& outcome) {
        ++ticks;
        QString line = describe(outcome);
        if (gatewayOff && outcome.kind == TickOutcome::Kind::NotSent)
            line = QStringLiteral("not sent %1 (stays queued): the profile's HTTP gateway is off")
                       .arg(outcome.mobile.trimmed());
        tickActivity();
        // A quiet queue would otherwise write the same line every few seconds, forever.
        const bool idle = outcome.kind == TickOutcome::Kind::Idle;
        if (!idle || settings.verbose || line != lastIdleLine)
            out << stamp(context.clock()) << ' ' << line << Qt::endl;
        lastIdleLine = idle ? line : QString();
        if (stopping)
            return;
        if ((settings.ticks > 0 && ticks >= settings.ticks) ||
            (settings.untilIdle && outcome.kind == TickOutcome::Kind::Idle && outcome.dropFilesWaiting == 0))
            finish();
    });

    // SIGINT / SIGTERM end the run after the running tick.
    std::unique_ptr<QSocketNotifier> notifier;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [&] {
            char byte;
            [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &byte, 1);
            if (!stopping) {
                out << stamp(context.clock()) << " stopping after the running tick" << Qt::endl;
                finish();
            }
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    out << "engine running on " << context.programFolder() << ", "
        << (settings.channel == ConsoleState::Channel::Gsm ? "GSM modem" : "HTTP gateway") << ", every "
        << interval << " ms" << Qt::endl;
    if (context.server().isOpen()) {
        const ServerQueueClaim& claim = engine.serverClaim();
        out << "server mode: sending SendSMS of " << ServerConnection::displayName(context.server().source())
            << " as engine " << claim.engineId() << "; a claim lasts " << claim.settings().leaseSeconds
            << " s, a row is given up after " << claim.settings().failureBound << " failed sends" << Qt::endl;
    }
    if (gatewayOff)
        out << gatewayOffNote(context.profile()) << Qt::endl;
    out << reportPollingNote(engine, context.profile()) << Qt::endl;
    engine.setInterval(interval);
    if (settings.onReady)
        settings.onReady();
    QTimer::singleShot(0, &engine, [&engine] { engine.runTick().then([] {}); });
    QCoreApplication::exec();
    tellSkipped();

    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    notifier.reset();
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
    // A failed tick is an event of the run, logged above, not a failure of
    // the engine: the run ended as asked.
    return 0;
}

} // namespace HeadlessRun

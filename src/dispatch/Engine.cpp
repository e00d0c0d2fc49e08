#include "dispatch/Engine.h"

#include "channels/DeliveryChannels.h"
#include "channels/EventLoopYield.h"
#include "channels/QueueCursor.h"
#include "channels/ServerQueueClaim.h"
#include "channels/SmsSender.h"
#include "common/DateFormat.h"
#include "common/LogCategories.h"
#include "common/TextNumbers.h"
#include "core/EngineContext.h"
#include "core/EngineError.h"
#include "core/Schema.h"
#include "dispatch/ReportHost.h"
#include "intake/DropFileImporter.h"

#include <QCoroSignal>

using Field = ConsoleState::Field;
using Flag = ConsoleState::Flag;

Engine::Engine(EngineContext& context, QObject* parent)
    : QObject(parent), m_context(context), m_channels(std::make_unique<DeliveryChannels>(context)),
      m_reportHost(ReportHost::resolve()),
      m_serverClaim(std::make_unique<ServerQueueClaim>(ServerQueueClaim::engineIdFor(context.programFolder()),
                                                       ServerQueueClaim::Settings::fromUserSettings()))
{
    connect(&m_timer, &QTimer::timeout, this, &Engine::onTimer);
}

Engine::~Engine() = default;

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
    try {
        co_await tick();
    } catch (const std::exception& e) {
        // tick() guards its own steps; this only keeps the engine usable
        // should anything escape it.
        m_last.kind = TickOutcome::Kind::Failed;
        m_last.errorText = QString::fromUtf8(e.what());
    }
    m_tickRunning = false;
    Q_EMIT tickFinished(m_last);
}

QCoro::Task<> Engine::waitUntilIdle()
{
    while (m_tickRunning)
        co_await qCoro(this, &Engine::tickFinished);
}

QString Engine::now(const QString& pattern) const
{
    return DateFormat::format(m_context.clock().now(), pattern);
}

QStringList Engine::importDropFiles()
{
    QStringList errors;
    const DropFormat formats[] = {DropFormat::pipe(), DropFormat::comma()};
    for (const DropFormat& format : formats) {
        try {
            DropFileImporter importer(m_context.store(), format, m_context.programFolder());
            importer.setClock(m_context.clock());
            // run() looks at the folder once; an empty folder costs that look.
            const ImportReport report = importer.run();
            errors << report.errors;
            m_dropFilesWaiting += report.filesDeferred;
        } catch (const EngineError& e) {
            errors << QStringLiteral("Import %1: %2").arg(format.folder, e.text());
        } catch (const std::exception& e) {
            errors << QStringLiteral("Import %1: %2").arg(format.folder, QString::fromUtf8(e.what()));
        }
    }
    return errors;
}

QCoro::Task<> Engine::tick()
{
    ConsoleState& console = m_context.console();
    TickOutcome outcome;

    console.resetTrace(QStringLiteral("1 "));
    // An import error is written to the trace and the tick goes on: a bad
    // drop file must not keep the queue from being sent.
    m_dropFilesWaiting = 0;
    outcome.importErrors = importDropFiles();
    outcome.dropFilesWaiting = m_dropFilesWaiting;
    console.appendTraceLine(QStringLiteral("2 "));
    for (const QString& error : std::as_const(outcome.importErrors)) {
        console.appendTraceLine(error);
        qCWarning(lcIntake).noquote() << error;
    }

    QueueCursor cursor;
    try {
        ServerConnection& server = m_context.server();
        cursor = server.isOpen() ? m_serverClaim->claim(*server.store())
                                 : QueueCursor::openLocal(m_context.store());

        if (!cursor.isOpen()) {
            co_await idleBranch(outcome);
        } else {
            outcome.kind = TickOutcome::Kind::NotSent;
            outcome.mobile = cursor.mobile();
            console.appendTraceLine(QStringLiteral("Select Record "));
            co_await EventLoopYield{};
            console.setText(Field::Title, now(QStringLiteral("HH:MM:SS")));
            console.setText(Field::Mobile, cursor.mobile());
            console.setText(Field::Message, cursor.msg());
            console.setFlag(Flag::RecheckVisible, false);
            co_await EventLoopYield{};
            console.setFlag(Flag::DeleteVisible, true);
            console.appendTraceLine(QStringLiteral("Sms Fire-1 "));

            const SendResult sent = co_await m_channels->sender().sendSms(cursor);
            outcome.response = sent.response;
            if (sent.sent)
                outcome.kind = TickOutcome::Kind::Sent;
            if (cursor.isOpen() && cursor.isServer()) {
                // Before anything else can fail: the row must not stay claimed for a whole lease.
                outcome.queueNote = m_serverClaim->afterFailedSend(server, cursor, sent.response);
                console.appendTraceLine(outcome.queueNote);
            }
            // A message that stays queued goes behind the others. One that
            // was recorded is out of the queue: marking it first would cost
            // a second commit per message.
            markUnsent(cursor);

            console.appendTraceLine(QStringLiteral("Send Sms Ok"));
            console.appendTraceLine(QStringLiteral("Bal"));
            const QString balanceUrl = m_context.profile().balanceUrl;
            if (!balanceUrl.isEmpty())
                console.setText(Field::Balance, co_await m_channels->http().fetch(balanceUrl));
            const qint64 pending = Schema::pendingCount(m_context.store());
            console.setText(Field::Status,
                            QStringLiteral("Pending SMS :") + TextNumbers::withLeadingBlank(double(pending)));
            console.appendTraceLine(QStringLiteral("Bal OK"));
            cursor.close();
        }
    } catch (const EngineError& e) {
        recover(outcome, cursor, e.number(), e.text());
    } catch (const std::exception& e) {
        recover(outcome, cursor, 0, QString::fromUtf8(e.what()));
    }
    m_last = outcome;
}

void Engine::markUnsent(const QueueCursor& cursor)
{
    if (cursor.isOpen() && !cursor.isServer())
        cursor.markTried(m_context.store(), 10);
}

void Engine::recover(TickOutcome& outcome, QueueCursor& cursor, int number, const QString& text)
{
    try {
        markUnsent(cursor);
    } catch (const std::exception&) {
        // The error that ended the tick is the one to report; the row keeps
        // its place and is tried again.
    }
    // A server row claimed by this tick goes back to the queue at once, for any engine.
    m_serverClaim->release(m_context.server(), cursor);
    cursor.close();
    // A message recorded before the error went out all the same: the tick
    // only lost the balance and the pending count that follow the send.
    if (outcome.kind != TickOutcome::Kind::Sent)
        outcome.kind = TickOutcome::Kind::Failed;
    outcome.errorNumber = number;
    outcome.errorText = text;
    ConsoleState& console = m_context.console();
    console.appendTraceLine(QStringLiteral("Error"));
    console.appendTrace(TextNumbers::withLeadingBlank(number) + text);
    qCWarning(lcDispatch).noquote() << "tick failed: error" << number << text;
}

QCoro::Task<> Engine::idleBranch(TickOutcome& outcome)
{
    ConsoleState& console = m_context.console();
    outcome.kind = TickOutcome::Kind::Idle;
    console.setFlag(Flag::DeleteVisible, false);
    console.setText(Field::Status, QStringLiteral("No SMS in Queue ") + now(QStringLiteral("HH:MM:SS")));
    console.setText(Field::Mobile, QString());
    console.setText(Field::Message, QString());
    console.setFlag(Flag::RecheckVisible, true);

    if (reportPolling() != ReportPolling::Polled)
        co_return;
    outcome.reportPolled = true;
    HttpFetcher& http = m_channels->http();
    outcome.report = co_await m_reportPoll.poll(m_context.store(), m_context.profile().reportUrl,
                                                [&http](QString url) { return http.fetch(url); });
}

Engine::ReportPolling Engine::reportPolling() const
{
    const ProfileState& profile = m_context.profile();
    // Without a report URL there is nothing to ask: polling would only fail
    // every idle tick.
    if (profile.reportUrl.trimmed().isEmpty())
        return ReportPolling::NoReportUrl;
    if (!ReportHost::polledFor(profile.sendUrl, m_reportHost))
        return ReportPolling::NotTheReportGateway;
    return ReportPolling::Polled;
}

// The engine against a bare loop, in one run, on the same gateway simulator:
//
// 1. Time per sent message with 10, 10,000 and 1,000,000 rows queued. The
//    engine runs whole sending ticks (import check, pick, urgent mark, send,
//    ledger, dequeue, balance, pending count); the bare loop makes the same
//    two requests (the filled send URL, then the balance URL) per message and
//    nothing else. Medians of three rounds.
// 2. CPU of an idle engine ticking every second over a ledger of 1,000,000
//    pending rows whose reports stay inconclusive.
//
// A benchmark: it prints figures and fails on none.

#include "BenchStore.h"
#include "GatewaySim.h"
#include "channels/DeliveryChannels.h"
#include "channels/HttpFetcher.h"
#include "channels/UrlEncode.h"
#include "common/ProgramHome.h"
#include "core/EngineContext.h"
#include "core/Store.h"
#include "dispatch/Engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTimer>

#include <QCoroNetworkReply>
#include <QCoroTask>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {
const QString kMessage = QStringLiteral("Benchmark message, a typical text of some length");

template <typename T> T wait(QCoro::Task<T> task)
{
    return QCoro::waitFor(std::move(task));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

QString sendTemplate(const GatewaySim& gateway)
{
    return gateway.baseUrl() + QStringLiteral("/send?u=<UName>&p=<PassWord>&to=<mobile>&msg=<msg>");
}

QString balanceUrl(const GatewaySim& gateway)
{
    return gateway.baseUrl() + QStringLiteral("/balance?u=bench&p=pw");
}

// A store with one default profile pointing at the simulator, in a fresh folder.
std::unique_ptr<EngineContext> makeContext(const QTemporaryDir& dir, const GatewaySim& gateway)
{
    ProgramHome::setOverride(dir.path());
    auto s = openBenchStore(dir.filePath(QStringLiteral("SMS.db")));
    s->exec(
        QStringLiteral("insert into config (UName, Password, Provider, RepoStr, balstr, TmInterval, Smsid, "
                       "ConSrt, Defult) values ('bench', 'pw', ?, ?, ?, 1000, 1, 'C', 1)"),
        {sendTemplate(gateway), gateway.baseUrl() + QStringLiteral("/report?id=<MassgeID>"),
         balanceUrl(gateway)});
    auto context = std::make_unique<EngineContext>(std::move(s));
    context->loadProfile(QString());
    context->console().setText(ConsoleState::Field::UserName, QStringLiteral("bench"));
    return context;
}

// Fills the queue in one statement.
void seedQueue(Store& store, int rows)
{
    store.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < ?) "
                              "insert into Rsms (Mobile, msg, RDtTM, urgent, typ) "
                              "select ' 98' || substr('00000000' || i, -8), ? || ' ' || i, '05012024140309', "
                              "i % 10, 0 from n"),
               {rows, kMessage});
}

// The same requests as a sending tick, with nothing around them.
QCoro::Task<> bareMessage(QNetworkAccessManager& manager, const GatewaySim& gateway, int i)
{
    QString url = sendTemplate(gateway);
    url.replace(QStringLiteral("<UName>"), QStringLiteral("bench"));
    url.replace(QStringLiteral("<PassWord>"), QStringLiteral("pw"));
    url.replace(QStringLiteral("<mobile>"), QStringLiteral("98%1").arg(i, 8, 10, QLatin1Char('0')));
    url.replace(QStringLiteral("<msg>"), UrlEncode(kMessage));
    for (const QString& u : {url, balanceUrl(gateway)}) {
        QNetworkReply* reply = manager.get(QNetworkRequest(HttpFetcher::requestUrl(u)));
        co_await qCoro(reply).waitForFinished();
        reply->readAll();
        reply->deleteLater();
    }
}

double bareRound(QNetworkAccessManager& manager, const GatewaySim& gateway, int messages)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < messages; ++i)
        wait(bareMessage(manager, gateway, i));
    return double(t.nsecsElapsed()) / 1e6 / messages;
}

double engineRound(Engine& engine, int ticks, int* sent)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < ticks; ++i) {
        wait(engine.runTick());
        if (engine.lastOutcome().kind == TickOutcome::Kind::Sent)
            ++*sent;
    }
    return double(t.nsecsElapsed()) / 1e6 / ticks;
}

double sendingFigures(const GatewaySim& gateway, int queued, int ticks, double baseline10)
{
    QTemporaryDir dir;
    auto context = makeContext(dir, gateway);
    QElapsedTimer seedTimer;
    seedTimer.start();
    seedQueue(context->store(), queued);
    const qint64 seedMs = seedTimer.elapsed();

    Engine engine(*context);
    engine.setReportHost(QStringLiteral("203.0.113.1")); // no report polls
    QNetworkAccessManager manager;
    wait(bareMessage(manager, gateway, 0)); // warm-up of both
    int sent = 0;
    engineRound(engine, 1, &sent);

    std::vector<double> engineMs;
    std::vector<double> bareMs;
    const int perRound = queued < ticks * 3 + 1 ? std::max(1, (queued - 1) / 3) : ticks;
    for (int round = 0; round < 3; ++round) {
        bareMs.push_back(bareRound(manager, gateway, perRound));
        engineMs.push_back(engineRound(engine, perRound, &sent));
    }
    const double e = median(engineMs);
    const double b = median(bareMs);
    std::printf("%9d queued (seeded in %5lld ms): engine %7.3f ms, bare %6.3f ms, ratio %6.2fx", queued,
                static_cast<long long>(seedMs), e, b, e / b);
    if (baseline10 > 0)
        std::printf(", %5.2fx the 10-queued figure", e / baseline10);
    std::printf("  (%d sent)\n", sent);
    std::fflush(stdout);
    ProgramHome::setOverride(QString());
    return e;
}

void idleFigures(const GatewaySim& gateway, int ledgerRows, int seconds)
{
    QTemporaryDir dir;
    auto context = makeContext(dir, gateway);
    QElapsedTimer seedTimer;
    seedTimer.start();
    context->store().exec(
        QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < ?) "
                       "insert into sms (Mobile, msg, RDTTM, SDTTm, typ, ANS, Status, Reply, Try, Uname) "
                       "select ' 98' || substr('00000000' || i, -8), ? || ' ' || (i % 1000), "
                       "'05012024140309', datetime('2024-01-05', '+' || (i / 10) || ' seconds'), 0, "
                       "'' || (100000 + i), 'P', null, i % 25, 'bench' from n"),
        {ledgerRows, kMessage});
    const qint64 seedMs = seedTimer.elapsed();

    Engine engine(*context);
    engine.setReportHost(QStringLiteral("127.0.0.1"));
    int polls = 0;
    QObject::connect(&engine, &Engine::tickFinished, [&polls](const TickOutcome& o) {
        if (o.reportPolled && o.report == ReportPoll::Outcome::Inconclusive)
            ++polls;
    });
    int sent = 0;
    engineRound(engine, 2, &sent); // first touch of the ledger's pages
    polls = 0;

    engine.setInterval(1000);
    const double cpu0 = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    engine.setInterval(0);
    const double cpu = processCpuSeconds() - cpu0;
    const double wallSeconds = double(wall.elapsed()) / 1000.0;
    std::printf("idle engine, %d-row ledger (seeded in %lld ms), inconclusive reports, 1 s ticks: "
                "%.2f%% of a core over %.1f s (%d polls)\n",
                ledgerRows, static_cast<long long>(seedMs), 100.0 * cpu / wallSeconds, wallSeconds, polls);
    std::fflush(stdout);
    ProgramHome::setOverride(QString());
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    GatewaySim gateway({QStringLiteral("--report-default"), QStringLiteral("pending")});
    if (!gateway.isRunning()) {
        std::fprintf(stderr, "the gateway simulator did not start: %s\n", qPrintable(gateway.errorString()));
        return 1;
    }
    std::printf("Time per sent message (send + balance requests to sms-gateway-sim), medians of 3 rounds\n");
    const double at10 = sendingFigures(gateway, 10, 3, 0);
    sendingFigures(gateway, 10000, 100, at10);
    sendingFigures(gateway, 1000000, 30, at10);
    idleFigures(gateway, 1000000, 20);
    return 0;
}

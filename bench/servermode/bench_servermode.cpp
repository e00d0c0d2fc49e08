// Rows sent per second by 1, 2 and 4 engines on one PostgreSQL SendSMS: each
// engine is an `smsctl run` process with its own program folder and its own
// instant modem simulator, ticking at the smallest interval (1 ms instead of
// the GSM channel's 10 s). The rate is taken from the server's own sent times
// (first to last sdt), so process start-up is left out; the wall time from
// start to the last row is printed beside it.
//
//   bench_servermode [rows per run, default 400]

#include "fleet/EngineFleet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

namespace {
const QString kSendSmsTable =
    u"DROP TABLE IF EXISTS SendSMS; CREATE TABLE SendSMS (autono serial PRIMARY KEY, "
    "MobileNo text, SmsText text, status text, Piority integer, sdt timestamp)"_s;

struct Run
{
    double wallSeconds = 0;
    double sendingSeconds = 0;
    QList<int> perEngine;
};

bool measure(PostgresServer& pg, int engines, int rows, Run* run)
{
    if (!pg.exec(kSendSmsTable)) {
        std::fprintf(stderr, "%s\n", qPrintable(pg.error()));
        return false;
    }
    EngineFleet fleet(pg);
    bool ok = fleet.setClaimSettings(180, 10, 30);
    for (int i = 0; ok && i < engines; ++i)
        ok = fleet.add();
    ok = ok && fleet.queue(1, rows);
    QElapsedTimer wall;
    wall.start();
    ok = ok && fleet.startAll();
    if (!ok) {
        std::fprintf(stderr, "%s\n", qPrintable(fleet.error()));
        return false;
    }
    // Waiting outside any engine: the engines are processes of their own.
    while (pg.queryText(u"SELECT count(*) FROM SendSMS WHERE status <> 'Y'"_s) != u"0"_s) {
        if (wall.elapsed() > 600000) {
            std::fprintf(stderr, "not done after 10 minutes\n");
            return false;
        }
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }
    run->wallSeconds = wall.elapsed() / 1000.0;
    fleet.stopAll();
    run->sendingSeconds =
        pg.queryText(u"SELECT extract(epoch FROM max(sdt) - min(sdt)) FROM SendSMS"_s).toDouble();
    for (int i = 0; i < engines; ++i)
        run->perEngine << int(fleet.sentTexts(i).size());
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 400;
    if (rows < 2) {
        std::fprintf(stderr, "usage: bench_servermode [rows per run, at least 2]\n");
        return 2;
    }
    PostgresServer pg;
    if (PostgresServer::binDir().isEmpty() || !pg.start()) {
        std::fprintf(stderr, "PostgreSQL did not start: %s\n", qPrintable(pg.error()));
        return 1;
    }
    std::printf("%d rows per run, instant modem simulators, 1 ms ticks\n", rows);
    std::printf("engines  rows/s (first to last sdt)  speed-up  wall s  rows per engine\n");
    double single = 0;
    for (const int engines : {1, 2, 4}) {
        Run run;
        if (!measure(pg, engines, rows, &run))
            return 1;
        const double rate = (rows - 1) / std::max(run.sendingSeconds, 0.001);
        if (engines == 1)
            single = rate;
        QStringList shares;
        for (const int n : run.perEngine)
            shares << QString::number(n);
        std::printf("%7d  %27.1f  %8.2f  %6.1f  %s\n", engines, rate, rate / single, run.wallSeconds,
                    qPrintable(shares.join(u' ')));
        std::fflush(stdout);
    }
    return 0;
}

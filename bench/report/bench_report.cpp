// Seeds a store with a large sent ledger and queue and prints how long the
// report takes to show each view (statement, count and first screenful),
// and how long the back-fill of the queueing day takes, in all and in its
// longest chunk (the longest the screen waits while it runs).
//
//   bench_report [ledger rows, default 1000000] [queued rows, default 20000]
//   BENCH_PLAN=1 also prints each statement's query plan.
//   BENCH_STORE=<file> keeps the seeded store in that file and reuses it on
//   the next run (the back-fill then has nothing left to fill).

#include "core/Schema.h"
#include "core/Store.h"
#include "report/ReportQuery.h"
#include "report/ui/ReportWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QLabel>
#include <QRandomGenerator>
#include <QSqlQueryModel>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace MessageReport;

namespace {

constexpr int Screenful = 40;

QString dayOfYearStamp(const QDateTime& t)
{
    return t.toString(QStringLiteral("ddMMyy")) + QString::number(t.date().dayOfYear()) +
           t.toString(QStringLiteral("HHmmss"));
}

void seed(Store& store, int ledgerRows, int queuedRows)
{
    QRandomGenerator random(20261205);
    const QDateTime start(QDate(2025, 12, 1), QTime(0, 0), Qt::UTC);
    const int span = 365 * 24 * 3600;
    const QString texts[] = {
        QStringLiteral("Your order has been dispatched"), QStringLiteral("OTP for login is"),
        QStringLiteral("Payment received, thank you"), QStringLiteral("Reminder: appointment tomorrow"),
        QStringLiteral("Balance low, please recharge")};

    Store::Transaction tx(store);
    QSqlQuery ledger(store.db());
    ledger.prepare(QStringLiteral("insert into sms (Mobile, msg, RDtTM, SDTTm, typ, ANS, Status, Reply, Try, "
                                  "Uname) values (?, ?, ?, ?, 0, ?, ?, ?, ?, 'bench')"));
    for (int i = 0; i < ledgerRows; ++i) {
        const QDateTime queued = start.addSecs(random.bounded(span));
        const QDateTime sent = queued.addSecs(random.bounded(600));
        const int roll = random.bounded(100);
        const QString status = roll < 85   ? QStringLiteral("Y")
                               : roll < 95 ? QStringLiteral("N")
                                           : QStringLiteral("P");
        ledger.addBindValue(QString::number(9000000000LL + random.bounded(1000000000)));
        ledger.addBindValue(texts[random.bounded(5)] + QLatin1Char(' ') +
                            QString::number(random.bounded(100000)));
        ledger.addBindValue(i % 3 == 0 ? queued.toString(QStringLiteral("ddMMyyyyHHmmss"))
                                       : dayOfYearStamp(queued));
        ledger.addBindValue(sent.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        ledger.addBindValue(QString::number(100000000 + i));
        ledger.addBindValue(status);
        ledger.addBindValue(status == u"P" ? QVariant() : QVariant(status == u"Y" ? "DELIVRD" : "NCPR"));
        ledger.addBindValue(random.bounded(26));
        if (!ledger.exec())
            throw StoreError::fromSql(ledger.lastError());
    }
    QSqlQuery queue(store.db());
    queue.prepare(
        QStringLiteral("insert into Rsms (Mobile, msg, RDtTM, urgent, typ) values (?, ?, ?, ?, 0)"));
    for (int i = 0; i < queuedRows; ++i) {
        const QDateTime queued = start.addSecs(span - random.bounded(7 * 24 * 3600));
        queue.addBindValue(QString::number(9000000000LL + random.bounded(1000000000)));
        queue.addBindValue(texts[random.bounded(5)]);
        queue.addBindValue(i % 2 ? queued.toString(QStringLiteral("ddMMyyyyHHmmss"))
                                 : dayOfYearStamp(queued));
        queue.addBindValue(random.bounded(2));
        if (!queue.exec())
            throw StoreError::fromSql(queue.lastError());
    }
    tx.commit();
}

void printPlan(Store& store, const Statement& s)
{
    QSqlQuery q = store.query(QStringLiteral("explain query plan ") + s.sql, s.params);
    while (q.next())
        std::printf("      plan: %s\n", qPrintable(q.value(3).toString()));
}

double ms(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e6;
}

// Statement, count and the first screenful through the grid's model.
void timeView(Store& store, const char* label, const Criteria& c, bool plan)
{
    QSqlQueryModel model;
    QElapsedTimer t;
    t.start();
    model.setQuery(open(store, listStatement(c)));
    const double opened = ms(t);
    qint64 sum = 0;
    for (int row = 0; row < Screenful && row < model.rowCount(); ++row)
        for (int column = 0; column < model.columnCount(); ++column)
            sum += model.index(row, column).data().toString().size();
    const double firstScreen = ms(t);
    const qint64 total = count(store, c);
    const double counted = ms(t);
    std::printf("  %-42s open+first screen %8.1f ms (open %7.1f), count %8.1f ms, rows %lld, fetched %d\n",
                label, firstScreen, opened, counted - firstScreen, static_cast<long long>(total),
                model.rowCount());
    if (plan) {
        printPlan(store, listStatement(c));
        printPlan(store, countStatement(c));
    }
    (void)sum;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int ledgerRows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int queuedRows = argc > 2 ? std::atoi(argv[2]) : 20000;
    const bool plan = qEnvironmentVariableIntValue("BENCH_PLAN") != 0;

    QTemporaryDir dir;
    const QString kept = qEnvironmentVariable("BENCH_STORE");
    auto store = Store::openFile(kept.isEmpty() ? dir.filePath(QStringLiteral("SMS.db")) : kept, true);
    Schema::createMissingTables(*store);

    QElapsedTimer t;
    t.start();
    if (store->scalar(QStringLiteral("select count(*) from sms")).toLongLong() == 0) {
        seed(*store, ledgerRows, queuedRows);
        std::printf("seeded %d ledger rows and %d queued rows in %.1f ms\n", ledgerRows, queuedRows, ms(t));
    }
    t.restart();
    Schema::ensureIndexes(*store);
    std::printf("indexes built in %.1f ms\n", ms(t));
    installFunctions(*store);

    // Chunk by chunk as the screen runs it; between two reports lie one
    // chunk and one turn of the (idle) event loop.
    for (const char* label : {"back-fill of Extra1", "back-fill again (nothing to fill)"}) {
        QElapsedTimer chunk;
        double longest = 0;
        int chunks = 0;
        const auto progress = [&](const BackfillProgress&) {
            longest = std::max(longest, ms(chunk));
            ++chunks;
            chunk.restart();
            return true;
        };
        t.restart();
        chunk.start();
        const BackfillProgress done = QCoro::waitFor(backfillQueueDayInChunks(*store, 0, progress));
        std::printf("%s: %lld rows written in %.1f ms, %d chunks of %d rows, longest chunk %.1f ms\n", label,
                    static_cast<long long>(done.written), ms(t), chunks, BackfillChunkRows, longest);
    }

    const QDate last(2026, 11, 30);
    const char* viewNames[] = {"Sent -Deliverd", "Pendig", "Sent -UnDiliverd", "Sent -PendReport"};
    const char* orderNames[] = {"date", "mobile", "message"};
    for (int v = 0; v < 4; ++v) {
        std::printf("%s\n", viewNames[v]);
        for (int o = 0; o < 3; ++o) {
            Criteria c;
            c.view = View(v);
            c.order = Order(o);
            timeView(*store, qPrintable(QStringLiteral("order by %1").arg(QLatin1String(orderNames[o]))), c,
                     plan);
        }
        Criteria c;
        c.view = View(v);
        c.mobileStart = QStringLiteral("98");
        timeView(*store, "number 98, order by date", c, plan);
        c.mobileStart = QStringLiteral("9876543");
        timeView(*store, "number 9876543, order by date", c, plan);
        c.mobileStart.clear();
        c.byDate = true;
        c.from = last.addDays(-2);
        c.to = last;
        timeView(*store, "last three days, order by date", c, plan);
        c.order = Order::Message;
        timeView(*store, "last three days, order by message", c, plan);
    }

    // The summary chart's one statement: every day of the ledger's year, and
    // the 30 days the screen shows by default.
    for (const auto& [name, from] : {std::pair{"summary, 366 days (whole ledger)", last.addDays(-365)},
                                     std::pair{"summary, 30 days", last.addDays(-29)}}) {
        // Wall time, and the processor time alone, which a busy machine does not inflate.
        double best = 1e9, bestCpu = 1e9;
        qint64 rows = 0;
        for (int run = 0; run < 3; ++run) {
            const std::clock_t cpu = std::clock();
            t.restart();
            const Summary s = summary(*store, from, last);
            best = qMin(best, ms(t));
            bestCpu = qMin(bestCpu, 1000.0 * double(std::clock() - cpu) / CLOCKS_PER_SEC);
            rows = s.totals.total();
        }
        std::printf("%-36s best of 3 %8.1f ms (processor %6.1f ms), messages %lld\n", name, best, bestCpu,
                    rows);
        if (plan)
            printPlan(*store, summaryStatement(from, last));
    }

    // The screen itself: back-fill (nothing left), statement, count, grid.
    const Clock wallClock;
    ReportWindow screen(*store, wallClock);
    screen.show();
    for (int v : {1, 0, 2, 3}) {
        screen.findChild<QAbstractButton*>(QStringLiteral("OP_%1").arg(v))->click();
        t.restart();
        screen.showList();
        while (!screen.shownView() || !screen.findChild<QAbstractButton*>(QStringLiteral("JOk"))->isEnabled())
            app.processEvents(); // the screen's first back-fill runs in chunks
        screen.grab();           // paint the first screenful
        std::printf("screen S&HOW %-18s %8.1f ms, LBSMS %s\n", viewNames[v], ms(t),
                    qPrintable(screen.findChild<QLabel*>(QStringLiteral("LBSMS"))->text()));
    }
    return 0;
}

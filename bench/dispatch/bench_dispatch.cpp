// The engine's own time per sent message: one sending tick (pick, urgent 10,
// the send request, the ledger row, the queue row deleted, the pending count)
// against an in-process gateway that answers at once, with 10, 10,000 and
// 1,000,000 rows queued. The time of a bare request to the same gateway is
// printed too and subtracted, so that what remains is the engine's own work.

#include "channels/DeliveryChannels.h"
#include "common/ProgramHome.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"
#include "dispatch/Engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <QCoroTask>

#include <cstdio>
#include <memory>

namespace {
// Answers every GET at once with the "to" parameter (a success marker).
class InstantGateway : public QTcpServer
{
public:
    InstantGateway()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    const QByteArray head = s->peek(64 * 1024);
                    if (!head.contains("\r\n\r\n"))
                        return;
                    s->readAll();
                    const QByteArray target = head.split(' ').value(1);
                    const QUrlQuery q(QUrl(QString::fromLatin1(target)).query());
                    const QByteArray body = q.queryItemValue(QStringLiteral("to")).toLatin1();
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: "
                             "close\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }
};

template <typename T> T wait(QCoro::Task<T> task)
{
    return QCoro::waitFor(std::move(task));
}

void seed(Store& store, int rows)
{
    Store::Transaction t(store);
    QSqlQuery q(store.db());
    q.prepare(QStringLiteral("insert into Rsms (Mobile, msg, RDtTM, urgent, typ) values (?, ?, '', ?, 0)"));
    for (int i = 0; i < rows; ++i) {
        q.bindValue(0, QStringLiteral("98%1").arg(i, 8, 10, QLatin1Char('0')));
        q.bindValue(1, QStringLiteral("Benchmark message number %1").arg(i));
        q.bindValue(2, i % 10);
        q.exec();
    }
    t.commit();
}

void measure(const InstantGateway& gateway, int queued, int ticks)
{
    QTemporaryDir dir;
    ProgramHome::setOverride(dir.path());
    auto s = Store::openFile(dir.filePath(QStringLiteral("SMS.db")), true);
    Schema::createMissingTables(*s);
    Schema::ensureIndexes(*s);
    s->exec(
        QStringLiteral("insert into config (UName, Password, Provider, RepoStr, balstr, TmInterval, Smsid, "
                       "ConSrt, Defult) values ('bench', 'pw', ?, '', '', 1000, 1, 'C', 1)"),
        {gateway.base() + QStringLiteral("/send?u=<UName>&p=<PassWord>&to=<mobile>&msg=<msg>")});
    EngineContext context(std::move(s));
    context.loadProfile(QString());
    context.console().setText(ConsoleState::Field::UserName, QStringLiteral("bench"));

    QElapsedTimer seedTimer;
    seedTimer.start();
    seed(context.store(), queued);
    const qint64 seedMs = seedTimer.elapsed();

    Engine engine(context);
    engine.setReportHost(QStringLiteral("203.0.113.1")); // no report polls
    // Warm-up: the first request opens the network stack.
    wait(engine.channels().http().fetch(gateway.base() + QStringLiteral("/send?to=1")));

    QElapsedTimer fetchTimer;
    fetchTimer.start();
    const int fetches = 50;
    for (int i = 0; i < fetches; ++i)
        wait(engine.channels().http().fetch(gateway.base() + QStringLiteral("/send?to=98765")));
    const double fetchMs = double(fetchTimer.nsecsElapsed()) / 1e6 / fetches;

    int sent = 0;
    QElapsedTimer tickTimer;
    tickTimer.start();
    for (int i = 0; i < ticks; ++i) {
        wait(engine.runTick());
        if (engine.lastOutcome().kind == TickOutcome::Kind::Sent)
            ++sent;
    }
    const double tickMs = double(tickTimer.nsecsElapsed()) / 1e6 / ticks;
    std::printf("%9d queued  (seeded in %6lld ms): %4d ticks, %4d sent; per message %8.3f ms, "
                "bare request %6.3f ms, engine's own %8.3f ms\n",
                queued, static_cast<long long>(seedMs), ticks, sent, tickMs, fetchMs, tickMs - fetchMs);
    std::fflush(stdout);
    ProgramHome::setOverride(QString());
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    InstantGateway gateway;
    if (!gateway.isListening()) {
        std::fprintf(stderr, "cannot listen on the loopback interface\n");
        return 1;
    }
    std::printf("Dispatch: time per sent message (one sending tick, in-process gateway, no balance URL)\n");
    measure(gateway, 10, 10);
    measure(gateway, 10000, 200);
    measure(gateway, 1000000, 200);
    return 0;
}

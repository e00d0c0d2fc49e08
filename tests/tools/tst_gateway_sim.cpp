// The gateway simulator as a client sees it: answers per mode, failure modes, scripted reports, the request
// log and the process's start and end.
#include "gateway/GatewaySim.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

struct Fetched
{
    bool finished = false;
    int status = 0;
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
};

QNetworkRequest requestFor(const QString& url, int transferTimeoutMs)
{
    QNetworkRequest request(QUrl::fromEncoded(url.toUtf8()));
    request.setTransferTimeout(transferTimeoutMs);
    return request;
}

Fetched collect(QNetworkReply* reply)
{
    Fetched f;
    f.finished = reply->isFinished();
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        f.body = reply->readAll();
    f.error = reply->error();
    return f;
}

// One GET as the engine makes it, with its own transfer time-out.
Fetched fetch(const QString& url, int transferTimeoutMs = 10000)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    std::unique_ptr<QNetworkReply> reply(manager.get(requestFor(url, transferTimeoutMs)));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(transferTimeoutMs + 5000);
    return collect(reply.get());
}

struct RawAnswer
{
    QByteArray bytes;
    bool closed = false; // the server closed the connection
};

// One request over a plain socket, so that exactly one request reaches the simulator (a Qt client sends a
// request again when the connection closes without an answer). Waits at most waitMs for the server.
RawAnswer rawRequest(int port, const QByteArray& request, int waitMs = 5000)
{
    RawAnswer answer;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(5000))
        return answer;
    socket.write(request);
    const QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        answer.bytes += socket.readAll();
    }
    answer.bytes += socket.readAll();
    answer.closed = socket.state() != QAbstractSocket::ConnectedState;
    return answer;
}

RawAnswer rawGet(int port, const QByteArray& target, int waitMs = 5000)
{
    return rawRequest(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", waitMs);
}

QString readLine(QProcess& process)
{
    for (int i = 0; i < 100 && !process.canReadLine(); ++i)
        process.waitForReadyRead(100);
    return QString::fromUtf8(process.readLine()).trimmed();
}

} // namespace

class TestGatewaySim : public QObject
{
    Q_OBJECT
    std::unique_ptr<GatewaySim> sim;

    QString url(const QString& pathAndQuery) const { return sim->baseUrl() + pathAndQuery; }

private Q_SLOTS:
    void initTestCase()
    {
        sim = std::make_unique<GatewaySim>();
        QVERIFY2(sim->isRunning(), qPrintable(sim->errorString()));
    }
    void init() { QVERIFY(sim->control("reset")); }
    void cleanupTestCase() { sim.reset(); }

    void sendModes_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");

        const QString single = QStringLiteral("u=me&p=pw&to=9876543210&sid=ABC&msg=hello+there");
        QTest::newRow("number") << "number" << single << 200 << QByteArray("9876543210");
        QTest::newRow("number from mobile")
            << "number" << QStringLiteral("mobile=9123456789&msg=x") << 200 << QByteArray("9123456789");
        QTest::newRow("number list") << "number" << QStringLiteral("to=9876543210%2C9876543211,9876543212")
                                     << 200 << QByteArray("9876543210,9876543211,9876543212");
        QTest::newRow("number missing")
            << "number" << QStringLiteral("msg=x") << 200 << QByteArray("Missing number");
        QTest::newRow("201") << "201" << single << 200 << QByteArray("201 Created");
        QTest::newRow("id") << "id" << single << 200 << QByteArray("1001");
        QTest::newRow("accepted") << "accepted" << single << 200 << QByteArray("Message accepted");
        QTest::newRow("empty") << "empty" << single << 200 << QByteArray();
        QTest::newRow("http500") << "http500" << single << 500 << QByteArray("Internal error");
        QTest::newRow("quote") << "quote" << single << 200 << QByteArray("id'1001");
    }
    void sendModes()
    {
        QFETCH(QString, mode);
        QFETCH(QString, query);
        QFETCH(int, status);
        QFETCH(QByteArray, body);

        QVERIFY(sim->control("send-mode?mode=" + mode));
        const Fetched f = fetch(url("/send?" + query));
        QVERIFY(f.finished);
        QCOMPARE(f.status, status);
        QCOMPARE(f.body, body);
        QCOMPARE(sim->count(), 1);
    }

    void longModeHoldsTheNumber_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("length");
        QTest::newRow("one number") << QStringLiteral("9876543210") << 300;
        QStringList many;
        for (int i = 0; i < 100; ++i)
            many.append(QString::number(9800000000LL + i));
        QTest::newRow("hundred numbers") << many.join(u',') << int(many.join(u',').size() + 1 + 0);
    }
    void longModeHoldsTheNumber()
    {
        QFETCH(QString, number);
        QFETCH(int, length);
        QVERIFY(sim->control("send-mode?mode=long"));
        const Fetched f = fetch(url("/send?to=" + number + "&msg=x"));
        QCOMPARE(f.status, 200);
        QVERIFY(f.body.startsWith(number.toUtf8()));
        QCOMPARE(f.body.size(), qMax(length, 300));
    }

    void idModeNumbersEachSend()
    {
        QVERIFY(sim->control("send-mode?mode=id"));
        QCOMPARE(fetch(url("/send?to=1")).body, QByteArray("1001"));
        QCOMPARE(fetch(url("/send?to=2")).body, QByteArray("1002"));
        QCOMPARE(fetch(url("/report?id=1001")).body, QByteArray("DELIVRD")); // does not use an id
        QVERIFY(sim->control("id-br?on=1"));
        QCOMPARE(fetch(url("/send?to=3")).body, QByteArray("1003<br>"));
        QVERIFY(sim->control("reset"));
        QVERIFY(sim->control("send-mode?mode=id&br=0"));
        QCOMPARE(fetch(url("/send?to=4")).body, QByteArray("1001"));
    }

    void startOptionsSetTheAnswers()
    {
        GatewaySim other(
            {"--send-mode", "id", "--id-br", "--report-default", "pending", "--balance", "Bal 5"});
        QVERIFY2(other.isRunning(), qPrintable(other.errorString()));
        QCOMPARE(fetch(other.baseUrl() + "/send?to=1").body, QByteArray("1001<br>"));
        QCOMPARE(fetch(other.baseUrl() + "/report?id=1001").body, QByteArray("pending"));
        QCOMPARE(fetch(other.baseUrl() + "/balance?u=x").body, QByteArray("Bal 5"));
        // reset goes back to the start options, not to the built-in defaults
        QVERIFY(other.control("/control/send-mode?mode=201"));
        QVERIFY(other.control("/control/reset"));
        QCOMPARE(fetch(other.baseUrl() + "/send?to=1").body, QByteArray("1001<br>"));
    }

    void failuresAsClientSeesThem_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("error");
        QTest::newRow("drop") << "drop" << int(QNetworkReply::RemoteHostClosedError);
        QTest::newRow("timeout") << "timeout" << int(QNetworkReply::OperationCanceledError);
    }
    void failuresAsClientSeesThem()
    {
        QFETCH(QString, mode);
        QFETCH(int, error);
        QVERIFY(sim->control("send-mode?mode=" + mode));
        const Fetched f = fetch(url("/send?to=9876543210&msg=x"), 500);
        QVERIFY(f.finished);
        QCOMPARE(int(f.error), error);
        QCOMPARE(f.status, 0);
        QVERIFY(f.body.isEmpty());
        QVERIFY(sim->count() >= 1); // a Qt client sends the request again once the connection is dropped
        // the simulator keeps serving afterwards
        QCOMPARE(fetch(url("/balance")).body, QByteArray("Balance: 1000"));
    }

    void reportAnswers_data()
    {
        QTest::addColumn<QStringList>("controls");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("answer");

        QTest::newRow("default") << QStringList{} << "1001" << QByteArray("DELIVRD");
        QTest::newRow("scripted id") << QStringList{"report?id=1001&answer=NCPR"} << "1001"
                                     << QByteArray("NCPR");
        QTest::newRow("other id keeps default")
            << QStringList{"report?id=1001&answer=NCPR"} << "1002" << QByteArray("DELIVRD");
        QTest::newRow("changed default")
            << QStringList{"report-default?answer=pending"} << "77" << QByteArray("pending");
        QTest::newRow("encoded answer") << QStringList{"report?id=5&answer=Status%3A+ncpr%2C+DND"} << "5"
                                        << QByteArray("Status: ncpr, DND");
        QTest::newRow("utf8 answer") << QStringList{"report?id=5&answer=r%C3%A9ponse"} << "5"
                                     << QByteArray("r\xC3\xA9ponse");
        QTest::newRow("empty answer") << QStringList{"report?id=5&answer="} << "5" << QByteArray();
        QTest::newRow("rescripted") << QStringList{"report?id=5&answer=pending", "report?id=5&answer=DELIVRD"}
                                    << "5" << QByteArray("DELIVRD");
        QTest::newRow("id with quote")
            << QStringList{"report?id=id%271001&answer=NCPR"} << "id%271001" << QByteArray("NCPR");
    }
    void reportAnswers()
    {
        QFETCH(QStringList, controls);
        QFETCH(QString, id);
        QFETCH(QByteArray, answer);
        for (const QString& c : controls)
            QVERIFY(sim->control(c));
        const Fetched f = fetch(url("/report?u=me&id=" + id));
        QCOMPARE(f.status, 200);
        QCOMPARE(f.body, answer);
    }

    void balanceAndUnknownPaths()
    {
        QCOMPARE(fetch(url("/balance?u=me&p=pw")).body, QByteArray("Balance: 1000"));
        QVERIFY(sim->control("balance?text=Credits+42"));
        QCOMPARE(fetch(url("/balance")).body, QByteArray("Credits 42"));
        QCOMPARE(fetch(url("/nowhere?to=1")).status, 404);
        QCOMPARE(sim->count(), 3);                            // unknown paths are logged too
        QCOMPARE(fetch(url("/control/nothing")).status, 404); // control paths are not
        QCOMPARE(sim->count(), 3);
    }

    void controlRejectsBadValues_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("unknown mode") << "send-mode?mode=fast";
        QTest::newRow("missing mode") << "send-mode";
        QTest::newRow("fail-next with a send mode") << "fail-next?count=1&mode=number";
        QTest::newRow("negative count") << "fail-next?count=-1&mode=drop";
        QTest::newRow("negative latency") << "latency?ms=-5";
        QTest::newRow("latency not a number") << "latency?ms=soon";
        QTest::newRow("report without answer") << "report?id=1";
        QTest::newRow("report without id") << "report?answer=DELIVRD";
        QTest::newRow("balance without text") << "balance";
    }
    void controlRejectsBadValues()
    {
        QFETCH(QString, path);
        int status = 0;
        sim->get("/control/" + path, &status);
        QCOMPARE(status, 400);
        // nothing changed: sends still echo the number
        QCOMPARE(fetch(url("/send?to=55")).body, QByteArray("55"));
    }

    void latencyDelaysOnlyGatewayAnswers()
    {
        QVERIFY(sim->control("latency?ms=400"));
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        QStringList order;
        std::unique_ptr<QNetworkReply> send(manager.get(requestFor(url("/send?to=12"), 10000)));
        QObject::connect(send.get(), &QNetworkReply::finished, [&] { order.append("send"); });
        QTRY_COMPARE_WITH_TIMEOUT(sim->count(), 1, 5000); // the send has arrived and waits
        std::unique_ptr<QNetworkReply> count(manager.get(requestFor(url("/control/count"), 10000)));
        QObject::connect(count.get(), &QNetworkReply::finished, [&] { order.append("count"); });
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 2, 10000);
        QCOMPARE(order, (QStringList{"count", "send"}));
        QCOMPARE(send->readAll(), QByteArray("12"));
        QCOMPARE(count->readAll(), QByteArray("1"));
    }

    void logDecodesQueries()
    {
        const QString raw =
            QStringLiteral("/send?u=me&p=p%26w&to=98%2C99&msg=caf%E9+au+lait%80&msg=second&flag&sid=S%20ID");
        QCOMPARE(fetch(url(raw)).body, QByteArray("98,99"));
        QCOMPARE(fetch(url("/report?id=1001")).status, 200);

        const QList<QJsonObject> log = sim->requests();
        QCOMPARE(log.size(), 2);
        const QJsonObject send = log.at(0);
        QCOMPARE(send.value("method").toString(), QStringLiteral("GET"));
        QCOMPARE(send.value("path").toString(), QStringLiteral("/send"));
        QCOMPARE(send.value("url").toString(), raw);
        const QDateTime time = QDateTime::fromString(send.value("time").toString(), Qt::ISODateWithMs);
        QVERIFY(time.isValid());
        QVERIFY(qAbs(time.secsTo(QDateTime::currentDateTime())) < 3600);

        const QJsonObject query = send.value("query").toObject();
        QCOMPARE(query.value("p").toString(), QStringLiteral("p&w"));
        QCOMPARE(query.value("to").toString(), QStringLiteral("98,99"));
        QCOMPARE(query.value("msg").toString(), QStringLiteral("second"));
        QCOMPARE(query.value("flag").toString(), QString());
        QVERIFY(query.contains("flag"));
        QCOMPARE(query.value("sid").toString(), QStringLiteral("S ID"));

        const QJsonArray list = send.value("query_list").toArray();
        QStringList pairs;
        for (const auto& item : list)
            pairs.append(item.toArray().at(0).toString() + u'=' + item.toArray().at(1).toString());
        QCOMPARE(pairs, (QStringList{"u=me", "p=p&w", "to=98,99", QString::fromUtf8("msg=café au lait€"),
                                     "msg=second", "flag=", "sid=S ID"}));

        QCOMPARE(log.at(1).value("path").toString(), QStringLiteral("/report"));
        QCOMPARE(log.at(1).value("query").toObject().value("id").toString(), QStringLiteral("1001"));
    }

    void logFileHasEveryRequest()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("gateway.log");
        {
            QFile existing(path);
            QVERIFY(existing.open(QIODevice::WriteOnly));
            existing.write("earlier line\n");
        }
        GatewaySim other({"--log", path});
        QVERIFY2(other.isRunning(), qPrintable(other.errorString()));
        fetch(other.baseUrl() + "/send?to=1&msg=%E9");
        fetch(other.baseUrl() + "/balance");
        QVERIFY(!other.control("/control/count")); // answers a number, not "OK"
        QCOMPARE(other.count(), 2);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 4); // appended after the earlier line, each ending in a newline
        QCOMPARE(lines.at(0), QByteArray("earlier line"));
        QCOMPARE(lines.at(3), QByteArray());
        const QJsonObject first = QJsonDocument::fromJson(lines.at(1)).object();
        QCOMPARE(first.value("query").toObject().value("msg").toString(), QStringLiteral("é"));
        QCOMPARE(QJsonDocument::fromJson(lines.at(2)).object().value("path").toString(),
                 QStringLiteral("/balance"));
        QCOMPARE(other.requests().at(0), first);
    }

    void failNextCounts_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("head"); // start of the failed answer; empty: no answer at all
        QTest::addColumn<bool>("closed");
        QTest::newRow("http500 twice") << "http500" << 2 << QByteArray("HTTP/1.1 500 ") << true;
        QTest::newRow("empty once") << "empty" << 1 << QByteArray("HTTP/1.1 200 OK\r\n") << true;
        QTest::newRow("drop three times") << "drop" << 3 << QByteArray() << true;
        QTest::newRow("timeout twice") << "timeout" << 2 << QByteArray() << false;
    }
    void failNextCounts()
    {
        QFETCH(QString, mode);
        QFETCH(int, count);
        QFETCH(QByteArray, head);
        QFETCH(bool, closed);

        QVERIFY(sim->control(QStringLiteral("fail-next?count=%1&mode=%2").arg(count).arg(mode)));
        QVERIFY(sim->control("send-mode?mode=201")); // control requests do not use up the failures
        for (int i = 0; i < count; ++i) {
            const RawAnswer a =
                rawGet(sim->port(), i % 2 ? "/report?id=1" : "/send?to=1", closed ? 5000 : 300);
            QCOMPARE(a.closed, closed);
            QVERIFY2(a.bytes.startsWith(head), a.bytes.constData());
            if (head.isEmpty())
                QVERIFY(a.bytes.isEmpty());
            else
                QVERIFY(!a.bytes.contains("201 Created") && !a.bytes.contains("DELIVRD"));
        }
        QCOMPARE(fetch(url("/send?to=1")).body, QByteArray("201 Created"));
        QCOMPARE(fetch(url("/report?id=1")).body, QByteArray("DELIVRD"));
        QCOMPARE(sim->count(), count + 2);
    }

    void protocolErrors_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<int>("logged");
        QTest::newRow("no version") << QByteArray("GET /send?to=1\r\n\r\n") << QByteArray("HTTP/1.1 400 ")
                                    << 0;
        QTest::newRow("garbage") << QByteArray("\x01\x02\r\n\r\n") << QByteArray("HTTP/1.1 400 ") << 0;
        QTest::newRow("post to send") << QByteArray("POST /send?to=1 HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
                                      << QByteArray("HTTP/1.1 405 ") << 1;
        QTest::newRow("post to control")
            << QByteArray("POST /control/reset HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 405 ") << 0;
        QTest::newRow("bare newlines")
            << QByteArray("GET /send?to=42 HTTP/1.0\n\n") << QByteArray("HTTP/1.1 200 OK") << 1;
        QTest::newRow("oversized head") << QByteArray("GET /send?to=1&msg=" + QByteArray(70 * 1024, 'x'))
                                        << QByteArray("HTTP/1.1 431 ") << 0;
    }
    void protocolErrors()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, statusLine);
        QFETCH(int, logged);
        const RawAnswer a = rawRequest(sim->port(), request);
        QVERIFY(a.closed);
        QVERIFY2(a.bytes.startsWith(statusLine), a.bytes.left(100).constData());
        QVERIFY(a.bytes.contains("\r\nConnection: close\r\n"));
        QCOMPARE(sim->count(), logged);
    }

    void failNextAppliesToBalance()
    {
        QVERIFY(sim->control("fail-next?count=1&mode=http500"));
        QCOMPARE(fetch(url("/balance")).status, 500);
        QCOMPARE(fetch(url("/balance")).body, QByteArray("Balance: 1000"));
        QVERIFY(sim->control("fail-next?count=3&mode=empty"));
        QVERIFY(sim->control("reset")); // reset forgets planned failures
        QCOMPARE(fetch(url("/balance")).body, QByteArray("Balance: 1000"));
    }

    void portZeroPicksFreePorts()
    {
        GatewaySim other;
        QVERIFY2(other.isRunning(), qPrintable(other.errorString()));
        QVERIFY(other.port() > 0);
        QVERIFY(other.port() != sim->port());
        QCOMPARE(other.baseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(other.port()));
        QCOMPARE(fetch(other.baseUrl() + "/send?to=7").body, QByteArray("7"));
    }

    void explicitPortIsUsed()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();

        QProcess process;
        process.start(GatewaySim::executablePath(), {"--port", QString::number(port)});
        QVERIFY(process.waitForStarted());
        QCOMPARE(readLine(process), QStringLiteral("listening on 127.0.0.1:%1").arg(port));
        QCOMPARE(fetch(QStringLiteral("http://127.0.0.1:%1/send?to=3").arg(port)).body, QByteArray("3"));

        // a second simulator on the same port fails at start with an error
        QProcess second;
        second.start(GatewaySim::executablePath(), {"--port", QString::number(port)});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardOutput().isEmpty());

        process.terminate();
        QVERIFY(process.waitForFinished(10000));
    }

    void signalsEndCleanly_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void signalsEndCleanly()
    {
        QFETCH(int, signalNumber);
        QProcess process;
        process.start(GatewaySim::executablePath(), {});
        QVERIFY(process.waitForStarted());
        QVERIFY(readLine(process).startsWith("listening on 127.0.0.1:"));
        QVERIFY(::kill(pid_t(process.processId()), signalNumber) == 0);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardOutput().isEmpty()); // exactly one line was printed
    }

    void badArgumentsAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown mode") << QStringList{"--send-mode", "fast"};
        QTest::newRow("port too high") << QStringList{"--port", "70000"};
        QTest::newRow("port not a number") << QStringList{"--port", "http"};
        QTest::newRow("outside host") << QStringList{"--host", "0.0.0.0"};
        QTest::newRow("negative latency") << QStringList{"--latency", "-1"};
        QTest::newRow("stray argument") << QStringList{"extra"};
    }
    void badArgumentsAreRefused()
    {
        QFETCH(QStringList, arguments);
        QProcess process;
        process.start(GatewaySim::executablePath(), arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(!process.readAllStandardError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestGatewaySim)
#include "tst_gateway_sim.moc"

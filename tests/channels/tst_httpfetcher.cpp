// The HTTP client against the gateway simulator: the request exactly as
// built, the body as text, and each kind of failure as an error with a
// number and a text.

#include "TaskWait.h"
#include "channels/ChannelError.h"
#include "channels/HttpFetcher.h"
#include "channels/SendUrl.h"
#include "channels/Windows1252.h"
#include "core/ProfileState.h"
#include "gateway/GatewaySim.h"

#include <QJsonObject>
#include <QStringDecoder>
#include <QTest>

using namespace std::chrono_literals;

class TestHttpFetcher : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void gatewayReceivesTheBuiltUrl();
    void everyCodeReachesTheGateway();
    void answers_data();
    void answers();
    void failures_data();
    void failures();
    void nothingListening();

private:
    std::unique_ptr<GatewaySim> m_sim;
};

void TestHttpFetcher::initTestCase()
{
    m_sim = std::make_unique<GatewaySim>();
    QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->errorString()));
}

void TestHttpFetcher::init()
{
    QVERIFY(m_sim->control(QStringLiteral("reset")));
}

void TestHttpFetcher::gatewayReceivesTheBuiltUrl()
{
    ProfileState profile;
    profile.userName = QStringLiteral("acme");
    profile.password = QStringLiteral("s3cret");
    profile.gsmSid = QStringLiteral("ACME");
    const QString built = SendUrl::build(
        m_sim->baseUrl() + QStringLiteral("/send?u=<uname>&p=<PassWord>&to=<mobile>&sid=<GsmSid>&t=<msg>"),
        SendUrl::fromProfile(profile, SendUrl::cleanNumber(QStringLiteral(" 55512-34567")),
                             SendUrl::prepareText(QStringLiteral("Hi there 50%+, it's x,y&z=w \u00e9\t!"))));

    HttpFetcher http;
    const QString body = TaskWait::run(http.fetch(built));
    QCOMPARE(body, QStringLiteral("5551234567"));

    const QList<QJsonObject> log = m_sim->requests();
    QCOMPARE(log.size(), 1);
    const QString expectedTarget = QStringLiteral(
        "/send?u=acme&p=s3cret&to=5551234567&sid=ACME&t=Hi+there+50%25%2B%2C+it+s+x%2Cy%26z%3Dw+%E9%09%21");
    QCOMPARE(built, m_sim->baseUrl() + expectedTarget);
    QCOMPARE(log.first().value("url").toString(), expectedTarget);
    const QJsonObject query = log.first().value("query").toObject();
    QCOMPARE(query.value("t").toString(), QStringLiteral("Hi there 50%+, it s x,y&z=w \u00e9\t!"));
    QCOMPARE(query.value("to").toString(), QStringLiteral("5551234567"));
}

// Every character of the code page, encoded and sent, arrives as the same
// text. Only the escapes of the unreserved "-._~" travel decoded (the URL
// library normalises them); the gateway reads the same text either way.
void TestHttpFetcher::everyCodeReachesTheGateway()
{
    QByteArray all;
    for (int code = 3; code < 256; ++code) // 1 and 2 stand in for "%" and "+"
        all.append(static_cast<char>(code));
    QStringDecoder platform("windows-1252");
    const QString text = platform.decode(all);
    ProfileState profile;
    const QString built = SendUrl::build(m_sim->baseUrl() + QStringLiteral("/send?to=1&t=<msg>"),
                                         SendUrl::fromProfile(profile, "1", text));

    HttpFetcher http;
    TaskWait::run(http.fetch(built));
    const QList<QJsonObject> log = m_sim->requests();
    QCOMPARE(log.size(), 1);
    QString expectedTarget = built.mid(m_sim->baseUrl().size());
    expectedTarget.replace("%2D", "-").replace("%2E", ".").replace("%5F", "_").replace("%7E", "~");
    QCOMPARE(log.first().value("url").toString(), expectedTarget);
    QCOMPARE(log.first().value("query").toObject().value("t").toString(), text);
}

void TestHttpFetcher::answers_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("body");
    QTest::newRow("number") << "number"
                            << "987";
    QTest::newRow("201") << "201"
                         << "201 Created";
    QTest::newRow("id") << "id"
                        << "1001";
    QTest::newRow("accepted") << "accepted"
                              << "Message accepted";
    QTest::newRow("empty body is an answer, not an error") << "empty"
                                                           << "";
    QTest::newRow("quote") << "quote"
                           << "id'1001";
}

void TestHttpFetcher::answers()
{
    QFETCH(QString, mode);
    QFETCH(QString, body);
    QVERIFY(m_sim->control(QStringLiteral("send-mode?mode=") + mode));
    HttpFetcher http;
    QCOMPARE(TaskWait::run(http.fetch(m_sim->baseUrl() + QStringLiteral("/send?to=987&t=x"))), body);
}

void TestHttpFetcher::failures_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("textPart");
    QTest::newRow("HTTP 500") << "send-mode?mode=http500" << 500 << "HTTP 500";
    QTest::newRow("no answer within the time-out")
        << "send-mode?mode=timeout" << int(ChannelError::TimedOut) << "Request timed out";
    QTest::newRow("connection dropped")
        << "send-mode?mode=drop" << int(QNetworkReply::RemoteHostClosedError) << "127.0.0.1";
    QTest::newRow("one failing request") << "fail-next?count=1&mode=http500" << 500 << "Internal";
}

void TestHttpFetcher::failures()
{
    QFETCH(QString, control);
    QFETCH(int, number);
    QFETCH(QString, textPart);
    QVERIFY(m_sim->control(control));
    HttpFetcher http;
    http.setTimeout(400ms);
    try {
        TaskWait::run(http.fetch(m_sim->baseUrl() + QStringLiteral("/send?to=987&p=s3cret&t=x")));
        QFAIL("the fetch did not fail");
    } catch (const ChannelError& e) {
        QCOMPARE(e.number(), number);
        QVERIFY2(e.text().contains(textPart), qPrintable(e.text()));
        QVERIFY2(!e.text().contains(QLatin1String("s3cret")), qPrintable(e.text()));
    }
}

void TestHttpFetcher::nothingListening()
{
    HttpFetcher http;
    const QString url = m_sim->baseUrl() + QStringLiteral("/send?to=1");
    m_sim.reset(); // the port is free now
    try {
        TaskWait::run(http.fetch(url));
        QFAIL("a fetch from a closed port did not fail");
    } catch (const ChannelError& e) {
        QCOMPARE(e.number(), int(QNetworkReply::ConnectionRefusedError));
    }
    QVERIFY_THROWS_EXCEPTION(ChannelError, TaskWait::run(http.fetch(QStringLiteral("not a url"))));
}

QTEST_GUILESS_MAIN(TestHttpFetcher)
#include "tst_httpfetcher.moc"

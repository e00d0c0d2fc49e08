#include "CoreTestSupport.h"

#include "core/ProfileLoader.h"
#include "core/ServerConnection.h"
#include "postgres/PostgresServer.h"

#include <QHostAddress>
#include <QSqlDatabase>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace CoreTest;

namespace {
int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString queueCount(Store& server)
{
    return server
        .scalar(QStringLiteral("SELECT count(*) FROM SendSMS WHERE Status <> ?"), {QStringLiteral("Y")})
        .toString();
}
} // namespace

// Server mode against a PostgreSQL server that the test starts itself, and
// SQL Server names that lead nowhere.
class ServerConnectionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void opensAPostgresUri();
    void sameServerKeepsTheConnection();
    void anotherServerReplacesTheConnection();
    void failingServerKeepsTheOldConnection_data();
    void failingServerKeepsTheOldConnection();
    void profileWithServerOpensServerMode();
    void sqlServerWithNothingListeningFailsAtOnce();
    void silentServerEndsAtTheLoginTimeout_data();
    void silentServerEndsAtTheLoginTimeout();

private:
    PostgresServer m_pg;
    bool m_started = false;
};

void ServerConnectionTest::initTestCase()
{
    SMS_START_POSTGRES(m_pg);
    m_started = true;
    const QString table = QStringLiteral("CREATE TABLE SendSMS (autono serial primary key, MobileNo text, "
                                         "SmsText text, Status text, Piority integer, sdt timestamp)");
    QVERIFY2(m_pg.exec(table), qPrintable(m_pg.error()));
    QVERIFY2(m_pg.exec(QStringLiteral("INSERT INTO SendSMS (MobileNo, SmsText, Status, Piority) VALUES "
                                      "('111', 'first', 'N', 2), ('222', 'second', 'Y', 1)")),
             qPrintable(m_pg.error()));
    QVERIFY2(m_pg.exec(QStringLiteral("create database smsother"), QStringLiteral("postgres")),
             qPrintable(m_pg.error()));
    QVERIFY2(m_pg.exec(table, QStringLiteral("smsother")), qPrintable(m_pg.error()));
}

void ServerConnectionTest::cleanupTestCase()
{
    m_pg.stop();
}

void ServerConnectionTest::opensAPostgresUri()
{
    ServerConnection server;
    server.open(m_pg.uri());
    QVERIFY(server.isOpen());
    QCOMPARE(server.store()->dialect(), Store::Dialect::Postgres);
    QCOMPARE(server.source(), m_pg.uri());
    QCOMPARE(queueCount(*server.store()), QStringLiteral("1"));
    // Values are bound on the server too, quotes and all.
    const QString text = QStringLiteral("it's \"quoted\"");
    server.store()->exec(QStringLiteral("UPDATE SendSMS SET SmsText = ? WHERE MobileNo = ?"),
                         {text, QStringLiteral("111")});
    QCOMPARE(m_pg.queryText(QStringLiteral("SELECT SmsText FROM SendSMS WHERE MobileNo = '111'")), text);
}

void ServerConnectionTest::sameServerKeepsTheConnection()
{
    ServerConnection server;
    server.open(m_pg.uri());
    Store* first = server.store();
    const QString name = first->connectionName();
    server.open(m_pg.uri());
    QCOMPARE(server.store(), first);
    QCOMPARE(server.store()->connectionName(), name);
    QVERIFY(server.isOpen());
}

void ServerConnectionTest::anotherServerReplacesTheConnection()
{
    ServerConnection server;
    server.open(m_pg.uri());
    const QString oldName = server.store()->connectionName();
    server.open(m_pg.uri(QStringLiteral("smsother")));
    QVERIFY(server.isOpen());
    QCOMPARE(server.source(), m_pg.uri(QStringLiteral("smsother")));
    QCOMPARE(queueCount(*server.store()), QStringLiteral("0"));
    // The old connection is closed and gone.
    QVERIFY(!QSqlDatabase::connectionNames().contains(oldName));
}

void ServerConnectionTest::failingServerKeepsTheOldConnection_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("database that does not exist") << "db:smsmissing"
                                                  << "smsmissing";
    QTest::newRow("nothing listening on the port") << "port"
                                                   << "127.0.0.1";
    QTest::newRow("not a usable URI") << "postgresql://"
                                      << "not a valid";
    QTest::newRow("an option that is not plain") << "opt"
                                                 << "not accepted";
}

void ServerConnectionTest::failingServerKeepsTheOldConnection()
{
    QFETCH(QString, target);
    QFETCH(QString, expectedText);
    if (target == QStringLiteral("db:smsmissing"))
        target = m_pg.uri(QStringLiteral("smsmissing"));
    else if (target == QStringLiteral("port"))
        target = QStringLiteral("postgresql://postgres@127.0.0.1:%1/smstest").arg(closedPort());
    else if (target == QStringLiteral("opt"))
        target = m_pg.uri() + QStringLiteral("?options=-c%20x%3Dy");

    ServerConnection server;
    server.open(m_pg.uri());
    Store* before = server.store();
    try {
        server.open(target);
        QFAIL("opened");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(expectedText), qPrintable(e.text()));
        QVERIFY2(e.text().startsWith(QStringLiteral("Cannot connect to the server")), qPrintable(e.text()));
    }
    QVERIFY(server.isOpen());
    QCOMPARE(server.store(), before);
    QCOMPARE(server.source(), m_pg.uri());
    QCOMPARE(queueCount(*server.store()), QStringLiteral("1"));
}

void ServerConnectionTest::profileWithServerOpensServerMode()
{
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    QVariantMap serverRow = profileRow(QStringLiteral("srv"), true);
    serverRow[QStringLiteral("ConSrt")] = m_pg.uri();
    insertProfile(*store, serverRow);
    QVariantMap gatewayRow = profileRow(QStringLiteral("gw"));
    gatewayRow[QStringLiteral("ConSrt")] = QStringLiteral(" c ");
    insertProfile(*store, gatewayRow);
    QVariantMap brokenRow = profileRow(QStringLiteral("broken"));
    brokenRow[QStringLiteral("ConSrt")] = m_pg.uri(QStringLiteral("smsmissing"));
    insertProfile(*store, brokenRow);

    ProfileState state;
    state.httpGateway = true;
    ServerConnection server;
    ProfileLoader::load(*store, QString(), state, server);
    QVERIFY(server.isOpen());
    QVERIFY(!state.httpGateway); // a server name is not "C"
    Store* opened = server.store();

    // The default again: the same server, the connection is kept.
    ProfileLoader::load(*store, QString(), state, server);
    QCOMPARE(server.store(), opened);

    // A profile without a server name leaves server mode as it is.
    ProfileLoader::load(*store, QStringLiteral("gw"), state, server);
    QCOMPARE(state.userName, QStringLiteral("gw"));
    QVERIFY(state.httpGateway);
    QCOMPARE(server.store(), opened);

    // A server that fails: the profile state and the connection stay.
    QVERIFY_THROWS_EXCEPTION(StoreError,
                             ProfileLoader::load(*store, QStringLiteral("broken"), state, server));
    QCOMPARE(state.userName, QStringLiteral("gw"));
    QCOMPARE(server.store(), opened);
    QVERIFY(server.isOpen());
}

void ServerConnectionTest::sqlServerWithNothingListeningFailsAtOnce()
{
    const QString name = QStringLiteral("127.0.0.1,%1").arg(closedPort());
    ServerConnection server;
    try {
        server.open(name);
        QFAIL("opened");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(name), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QStringLiteral("unavailable")), qPrintable(e.text()));
    }
    QVERIFY(!server.isOpen());
    QVERIFY(server.store() == nullptr);
}

void ServerConnectionTest::silentServerEndsAtTheLoginTimeout_data()
{
    QTest::addColumn<QString>("pattern"); // %1: the silent port
    QTest::newRow("SQL Server") << "127.0.0.1,%1";
    QTest::newRow("PostgreSQL") << "postgresql://postgres@127.0.0.1:%1/smstest";
}

void ServerConnectionTest::silentServerEndsAtTheLoginTimeout()
{
    QFETCH(QString, pattern);
    // The kernel accepts the connection; nobody ever answers the login.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    const QString name = pattern.arg(silent.serverPort());
    ServerConnection server;
    server.setLoginTimeout(2);
    try {
        server.open(name);
        QFAIL("opened");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(QStringLiteral("127.0.0.1")), qPrintable(e.text()));
    }
    QVERIFY(!server.isOpen());
}

QTEST_GUILESS_MAIN(ServerConnectionTest)
#include "tst_serverconnection.moc"

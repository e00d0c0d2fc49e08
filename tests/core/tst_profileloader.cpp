#include "CoreTestSupport.h"

#include "core/ProfileLoader.h"
#include "core/ServerConnection.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace CoreTest;

Q_DECLARE_METATYPE(QVariantMap)

namespace {
bool sameState(const ProfileState& a, const ProfileState& b)
{
    return a.userName == b.userName && a.password == b.password && a.sendUrl == b.sendUrl &&
           a.interval == b.interval && a.smsId == b.smsId && a.reportUrl == b.reportUrl &&
           a.balanceUrl == b.balanceUrl && a.gsmSid == b.gsmSid && a.cdmaSid == b.cdmaSid &&
           a.httpGateway == b.httpGateway;
}

// A loopback port with nothing listening on it.
int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
} // namespace

class ProfileLoaderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void selectsTheRow_data();
    void selectsTheRow();
    void copiesTheRow();
    void noMatchingRowIsProfileNotFound_data();
    void noMatchingRowIsProfileNotFound();
    void balanceUrl_data();
    void balanceUrl();
    void emptyBalanceKeepsTheEarlierUrl_data();
    void emptyBalanceKeepsTheEarlierUrl();
    void conSrt_data();
    void conSrt();
    void nullOptionalColumnsReadAsEmpty();
    void badRequiredColumnKeepsTheOldState_data();
    void badRequiredColumnKeepsTheOldState();
    void unreachableServerKeepsTheOldState();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Store> m_store;
};

void ProfileLoaderTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store = createStore(m_dir->path());
}

void ProfileLoaderTest::cleanup()
{
    m_store.reset();
    m_dir.reset();
}

void ProfileLoaderTest::selectsTheRow_data()
{
    QTest::addColumn<QStringList>("users");   // config rows, in order
    QTest::addColumn<QList<int>>("defaults"); // Defult of each row
    QTest::addColumn<QString>("name");        // the name loaded
    QTest::addColumn<QString>("expected");    // the user name loaded
    QTest::newRow("empty name: the default row")
        << QStringList{"alpha", "beta", "gamma"} << QList<int>{0, 1, 0} << ""
        << "beta";
    QTest::newRow("a name: that row, default or not")
        << QStringList{"alpha", "beta", "gamma"} << QList<int>{0, 1, 0} << "gamma"
        << "gamma";
    QTest::newRow("several defaults: the first stored")
        << QStringList{"alpha", "beta", "gamma"} << QList<int>{0, 1, 1} << ""
        << "beta";
    QTest::newRow("a quote in the name is matched, not spliced")
        << QStringList{"o'brien", "x' OR '1'='1"} << QList<int>{0, 0} << "o'brien"
        << "o'brien";
    QTest::newRow("a name that would inject SQL loads only its own row")
        << QStringList{"alpha", "x' OR '1'='1"} << QList<int>{0, 0} << "x' OR '1'='1"
        << "x' OR '1'='1";
}

void ProfileLoaderTest::selectsTheRow()
{
    QFETCH(QStringList, users);
    QFETCH(QList<int>, defaults);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    for (qsizetype i = 0; i < users.size(); ++i)
        insertProfile(*m_store, profileRow(users[i], defaults[i] == 1));
    ProfileState state;
    ServerConnection server;
    ProfileLoader::load(*m_store, name, state, server);
    QCOMPARE(state.userName, expected);
    QCOMPARE(state.password, QStringLiteral("pw-") + expected);
}

void ProfileLoaderTest::copiesTheRow()
{
    QVariantMap row = profileRow(QStringLiteral("alice"), true);
    row[QStringLiteral("TmInterval")] = 2500;
    row[QStringLiteral("Smsid")] = 123456;
    insertProfile(*m_store, row);
    ProfileState state;
    ServerConnection server;
    ProfileLoader::load(*m_store, QString(), state, server);
    QCOMPARE(state.userName, QStringLiteral("alice"));
    QCOMPARE(state.password, QStringLiteral("pw-alice"));
    QCOMPARE(state.sendUrl, row.value(QStringLiteral("Provider")).toString());
    QCOMPARE(state.reportUrl, row.value(QStringLiteral("RepoStr")).toString());
    QCOMPARE(state.balanceUrl, QStringLiteral("http://gw.example/bal?u=alice&p=pw-alice"));
    QCOMPARE(state.interval, 2500);
    QCOMPARE(state.smsId, 123456);
    QCOMPARE(state.gsmSid, QStringLiteral("GSM-alice"));
    QCOMPARE(state.cdmaSid, QStringLiteral("CDMA-alice"));
    QVERIFY(state.httpGateway);
    QVERIFY(!server.isOpen());
}

void ProfileLoaderTest::noMatchingRowIsProfileNotFound_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("no default row") << "";
    QTest::newRow("unknown name") << "nobody";
    QTest::newRow("name differs in case") << "ALPHA";
}

void ProfileLoaderTest::noMatchingRowIsProfileNotFound()
{
    QFETCH(QString, name);
    insertProfile(*m_store, profileRow(QStringLiteral("alpha"), false));
    ProfileState state;
    state.userName = QStringLiteral("before");
    ServerConnection server;
    try {
        ProfileLoader::load(*m_store, name, state, server);
        QFAIL("loaded");
    } catch (const ProfileNotFound& e) {
        QCOMPARE(e.name, name);
    }
    QCOMPARE(state.userName, QStringLiteral("before"));
}

void ProfileLoaderTest::balanceUrl_data()
{
    QTest::addColumn<QString>("balstr");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both placeholders") << "u=<uname>&p=<PassWord>"
                                       << "u=alice&p=s3cret";
    QTest::newRow("user placeholder in any case") << "u=<UNAME>&v=<UName>&w=<uName>"
                                                  << "u=alice&v=alice&w=alice";
    QTest::newRow("password placeholder in another case stays") << "u=<uname>&p=<password>&q=<PASSWORD>"
                                                                << "u=alice&p=<password>&q=<PASSWORD>";
    QTest::newRow("every occurrence") << "<PassWord>/<PassWord>"
                                      << "s3cret/s3cret";
    QTest::newRow("no placeholders") << "http://gw/bal"
                                     << "http://gw/bal";
}

void ProfileLoaderTest::balanceUrl()
{
    QFETCH(QString, balstr);
    QFETCH(QString, expected);
    QVariantMap row = profileRow(QStringLiteral("alice"), true);
    row[QStringLiteral("Password")] = QStringLiteral("s3cret");
    row[QStringLiteral("balstr")] = balstr;
    insertProfile(*m_store, row);
    ProfileState state;
    ServerConnection server;
    ProfileLoader::load(*m_store, QString(), state, server);
    QCOMPARE(state.balanceUrl, expected);
}

void ProfileLoaderTest::emptyBalanceKeepsTheEarlierUrl_data()
{
    QTest::addColumn<QVariant>("secondBalstr");
    QTest::newRow("empty text") << QVariant(QString(""));
    QTest::newRow("Null") << QVariant();
}

void ProfileLoaderTest::emptyBalanceKeepsTheEarlierUrl()
{
    QFETCH(QVariant, secondBalstr);
    insertProfile(*m_store, profileRow(QStringLiteral("first"), true));
    QVariantMap second = profileRow(QStringLiteral("second"));
    second[QStringLiteral("balstr")] = secondBalstr;
    insertProfile(*m_store, second);

    ProfileState state;
    ServerConnection server;
    ProfileLoader::load(*m_store, QString(), state, server);
    const QString firstUrl = state.balanceUrl;
    QVERIFY(firstUrl.contains(QStringLiteral("u=first")));
    ProfileLoader::load(*m_store, QStringLiteral("second"), state, server);
    QCOMPARE(state.userName, QStringLiteral("second"));
    QCOMPARE(state.balanceUrl, firstUrl);
}

void ProfileLoaderTest::conSrt_data()
{
    QTest::addColumn<QVariant>("consrt");
    QTest::addColumn<bool>("flag");
    QTest::addColumn<bool>("namesServer");
    QTest::newRow("C") << QVariant("C") << true << false;
    QTest::newRow("c with blanks around") << QVariant("  c  ") << true << false;
    QTest::newRow("two letters") << QVariant("ab") << false << false;
    QTest::newRow("two letters with blanks") << QVariant("  ab  ") << false << false;
    QTest::newRow("C with a tab is not C") << QVariant("C\t") << false << false;
    QTest::newRow("empty") << QVariant("") << false << false;
    QTest::newRow("Null") << QVariant() << false << false;
    QTest::newRow("three characters name a server") << QVariant("srv") << false << true;
    QTest::newRow("a PostgreSQL URI names a server") << QVariant("postgresql://u@h/db") << false << true;
}

void ProfileLoaderTest::conSrt()
{
    QFETCH(QVariant, consrt);
    QFETCH(bool, flag);
    QFETCH(bool, namesServer);
    const QString text = consrt.toString();
    QCOMPARE(ProfileLoader::httpGatewayFlag(text), flag);
    QCOMPARE(ProfileLoader::namesServer(text), namesServer);
    if (namesServer)
        return; // opening a server: see the server connection tests
    QVariantMap row = profileRow(QStringLiteral("alice"), true);
    row[QStringLiteral("ConSrt")] = consrt;
    insertProfile(*m_store, row);
    ProfileState state;
    state.httpGateway = !flag;
    ServerConnection server;
    ProfileLoader::load(*m_store, QString(), state, server);
    QCOMPARE(state.httpGateway, flag);
    QVERIFY(!server.isOpen());
}

void ProfileLoaderTest::nullOptionalColumnsReadAsEmpty()
{
    QVariantMap row = profileRow(QStringLiteral("alice"), true);
    for (const char* c : {"RepoStr", "GsmSid", "CDMASid", "balstr", "ConSrt"})
        row[QString::fromLatin1(c)] = QVariant();
    insertProfile(*m_store, row);
    ProfileState state;
    state.reportUrl = state.gsmSid = state.cdmaSid = QStringLiteral("old");
    ServerConnection server;
    ProfileLoader::load(*m_store, QString(), state, server);
    QCOMPARE(state.reportUrl, QString());
    QCOMPARE(state.gsmSid, QString());
    QCOMPARE(state.cdmaSid, QString());
    QVERIFY(!state.httpGateway);
}

void ProfileLoaderTest::badRequiredColumnKeepsTheOldState_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("Null Provider") << "Provider" << QVariant() << "config.Provider";
    QTest::newRow("Null UName") << "UName" << QVariant() << "config.uname";
    QTest::newRow("Null Password") << "Password" << QVariant() << "config.Password";
    QTest::newRow("Null TmInterval") << "TmInterval" << QVariant() << "config.TmInterval";
    QTest::newRow("Null Smsid") << "Smsid" << QVariant() << "config.Smsid";
    QTest::newRow("TmInterval not a number") << "TmInterval" << QVariant("fast") << "not a whole number";
    QTest::newRow("Smsid beyond 32 bits") << "Smsid" << QVariant(qint64(3000000000)) << "Overflow";
    QTest::newRow("send URL without <mobile>")
        << "Provider" << QVariant("http://gw/s?t=<msg>") << "no <mobile>";
    QTest::newRow("send URL without <msg>")
        << "Provider" << QVariant("http://gw/s?to=<mobile>") << "no <msg>";
    QTest::newRow("placeholders in another letter case")
        << "Provider" << QVariant("http://gw/s?to=<Mobile>&t=<MSG>") << "no <mobile> and no <msg>";
}

void ProfileLoaderTest::badRequiredColumnKeepsTheOldState()
{
    QFETCH(QString, column);
    QFETCH(QVariant, value);
    QFETCH(QString, expectedText);
    insertProfile(*m_store, profileRow(QStringLiteral("good"), false));
    QVariantMap bad = profileRow(QStringLiteral("bad"), true);
    bad[column] = value;
    insertProfile(*m_store, bad);

    ProfileState state;
    ServerConnection server;
    ProfileLoader::load(*m_store, QStringLiteral("good"), state, server);
    const ProfileState before = state;
    try {
        ProfileLoader::load(*m_store, QString(), state, server);
        QFAIL("loaded a bad row");
    } catch (const ProfileNotFound&) {
        QFAIL("the bad row was not found");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(expectedText), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QStringLiteral("default gateway profile")), qPrintable(e.text()));
    }
    QVERIFY(sameState(state, before));
}

void ProfileLoaderTest::unreachableServerKeepsTheOldState()
{
    insertProfile(*m_store, profileRow(QStringLiteral("good"), false));
    QVariantMap row = profileRow(QStringLiteral("server"), true);
    row[QStringLiteral("ConSrt")] = QStringLiteral("127.0.0.1,%1").arg(closedPort());
    insertProfile(*m_store, row);
    ProfileState state;
    ServerConnection server;
    ProfileLoader::load(*m_store, QStringLiteral("good"), state, server);
    const ProfileState before = state;
    QVERIFY_THROWS_EXCEPTION(StoreError, ProfileLoader::load(*m_store, QString(), state, server));
    QVERIFY(sameState(state, before));
    QVERIFY(!server.isOpen());
}

QTEST_GUILESS_MAIN(ProfileLoaderTest)
#include "tst_profileloader.moc"

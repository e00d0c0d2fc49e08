#include "StoreFixture.h"
#include "core/ProfileLoader.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {
bool sameState(const ProfileState& a, const ProfileState& b)
{
    return a.userName == b.userName && a.password == b.password && a.sendUrl == b.sendUrl &&
           a.interval == b.interval && a.smsId == b.smsId && a.reportUrl == b.reportUrl &&
           a.balanceUrl == b.balanceUrl && a.gsmSid == b.gsmSid && a.cdmaSid == b.cdmaSid &&
           a.httpGateway == b.httpGateway;
}
} // namespace

class ProfileLoaderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void selectsTheRow_data()
    {
        QTest::addColumn<QStringList>("users");   // config rows, in order
        QTest::addColumn<QList<int>>("defaults"); // Defult of each row
        QTest::addColumn<QString>("name");        // the name loaded
        QTest::addColumn<QString>("expected");    // the user name loaded; empty: no row matches
        const QStringList three{"alpha", "beta", "gamma"};
        QTest::addRow("empty name: the default row") << three << QList<int>{0, 1, 0} << u""_s << "beta";
        QTest::addRow("a name: that row, default or not")
            << three << QList<int>{0, 1, 0} << u"gamma"_s << "gamma";
        QTest::addRow("several defaults: the first stored")
            << three << QList<int>{0, 1, 1} << u""_s << "beta";
        QTest::addRow("a name that would inject SQL loads only its own row")
            << QStringList{"alpha", "x' OR '1'='1"} << QList<int>{0, 0} << u"x' OR '1'='1"_s
            << "x' OR '1'='1";
        QTest::addRow("no default row") << three << QList<int>{0, 0, 0} << u""_s << "";
        QTest::addRow("name differs in case") << three << QList<int>{0, 1, 0} << u"ALPHA"_s << "";
    }
    void selectsTheRow()
    {
        QFETCH(QStringList, users);
        QFETCH(QList<int>, defaults);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        StoreFixture f;
        for (qsizetype i = 0; i < users.size(); ++i)
            f.addProfile(users[i], {{u"Defult"_s, defaults[i]}});
        if (expected.isEmpty()) {
            f.context().profile().userName = u"before"_s;
            try {
                f.context().loadProfile(name);
                QFAIL("loaded");
            } catch (const ProfileNotFound& e) {
                QCOMPARE(e.name, name);
            }
            QCOMPARE(f.context().profile().userName, u"before"_s);
            return;
        }
        f.context().loadProfile(name);
        QCOMPARE(f.context().profile().userName, expected);
        QCOMPARE(f.context().profile().password, u"pw-"_s + expected);
    }
    void copiesTheRow()
    {
        StoreFixture f;
        f.loadDefaultProfile(
            u"alice"_s, {{u"TmInterval"_s, 2500}, {u"Smsid"_s, 123456}, {u"CDMASid"_s, u"CDMA-alice"_s}});
        const ProfileState& state = f.context().profile();
        const QVariantMap row = StoreFixture::profileRow(u"alice"_s);
        QCOMPARE(state.userName, u"alice"_s);
        QCOMPARE(state.password, u"pw-alice"_s);
        QCOMPARE(state.sendUrl, row.value(u"Provider"_s).toString());
        QCOMPARE(state.reportUrl, row.value(u"RepoStr"_s).toString());
        QCOMPARE(state.balanceUrl, u"http://127.0.0.1:9/bal?u=alice&p=pw-alice"_s);
        QCOMPARE(state.interval, 2500);
        QCOMPARE(state.smsId, 123456);
        QCOMPARE(state.gsmSid, u"GSMID"_s);
        QCOMPARE(state.cdmaSid, u"CDMA-alice"_s);
        QVERIFY(state.httpGateway);
        QVERIFY(!f.context().server().isOpen());

        // Null optional columns replace what the last profile set with empty values.
        // An empty balance text keeps the URL of the last profile that had one.
        QVariantMap nulls{{u"balstr"_s, u""_s}};
        for (const char* c : {"RepoStr", "GsmSid", "CDMASid", "ConSrt"})
            nulls.insert(QString::fromLatin1(c), QVariant());
        f.addProfile(u"bare"_s, nulls);
        f.context().loadProfile(u"bare"_s);
        QCOMPARE(state.userName, u"bare"_s);
        QCOMPARE(state.balanceUrl, u"http://127.0.0.1:9/bal?u=alice&p=pw-alice"_s);
        QCOMPARE(state.reportUrl, QString());
        QCOMPARE(state.gsmSid, QString());
        QCOMPARE(state.cdmaSid, QString());
        QVERIFY(!state.httpGateway);
    }
    void balanceUrl_data()
    {
        QTest::addColumn<QString>("balstr");
        QTest::addColumn<QString>("expected");
        QTest::addRow("both placeholders") << u"u=<uname>&p=<PassWord>"_s << "u=alice&p=s3cret";
        QTest::addRow("user placeholder in any case")
            << u"u=<UNAME>&v=<UName>&w=<uName>"_s << "u=alice&v=alice&w=alice";
        QTest::addRow("password placeholder in another case stays")
            << u"u=<uname>&p=<password>&q=<PASSWORD>"_s << "u=alice&p=<password>&q=<PASSWORD>";
        QTest::addRow("every occurrence") << u"<PassWord>/<PassWord>"_s << "s3cret/s3cret";
        QTest::addRow("no placeholders") << u"http://gw/bal"_s << "http://gw/bal";
    }
    void balanceUrl()
    {
        QFETCH(QString, balstr);
        QFETCH(QString, expected);
        QCOMPARE(ProfileLoader::fillBalanceUrl(balstr, u"alice"_s, u"s3cret"_s), expected);
    }
    void conSrt_data()
    {
        QTest::addColumn<QVariant>("consrt");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<bool>("namesServer");
        QTest::addRow("C") << QVariant("C") << true << false;
        QTest::addRow("c with blanks around") << QVariant("  c  ") << true << false;
        QTest::addRow("two letters") << QVariant("ab") << false << false;
        QTest::addRow("C with a tab is not C") << QVariant("C\t") << false << false;
        QTest::addRow("empty") << QVariant("") << false << false;
        QTest::addRow("Null") << QVariant() << false << false;
        QTest::addRow("three characters name a server") << QVariant("srv") << false << true;
        QTest::addRow("a PostgreSQL URI names a server") << QVariant("postgresql://u@h/db") << false << true;
    }
    void conSrt()
    {
        QFETCH(QVariant, consrt);
        QFETCH(bool, flag);
        QFETCH(bool, namesServer);
        QCOMPARE(ProfileLoader::httpGatewayFlag(consrt.toString()), flag);
        QCOMPARE(ProfileLoader::namesServer(consrt.toString()), namesServer);
        if (namesServer)
            return; // opening a server: see the server mode tests
        StoreFixture f;
        f.context().profile().httpGateway = !flag;
        f.loadDefaultProfile(u"alice"_s, {{u"ConSrt"_s, consrt}});
        QCOMPARE(f.context().profile().httpGateway, flag);
        QVERIFY(!f.context().server().isOpen());
    }
    void badRequiredColumnKeepsTheOldState_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("expectedText");
        QTest::addRow("Null Provider") << "Provider" << QVariant() << "config.Provider";
        QTest::addRow("Null UName") << "UName" << QVariant() << "config.uname";
        QTest::addRow("Null Password") << "Password" << QVariant() << "config.Password";
        QTest::addRow("Null TmInterval") << "TmInterval" << QVariant() << "config.TmInterval";
        QTest::addRow("Null Smsid") << "Smsid" << QVariant() << "config.Smsid";
        QTest::addRow("TmInterval not a number") << "TmInterval" << QVariant("fast") << "not a whole number";
        QTest::addRow("Smsid beyond 32 bits") << "Smsid" << QVariant(qint64(3000000000)) << "Overflow";
        QTest::addRow("send URL without <mobile>")
            << "Provider" << QVariant("http://gw/s?t=<msg>") << "no <mobile>";
        QTest::addRow("send URL without <msg>")
            << "Provider" << QVariant("http://gw/s?to=<mobile>") << "no <msg>";
        QTest::addRow("placeholders in another letter case")
            << "Provider" << QVariant("http://gw/s?to=<Mobile>&t=<MSG>") << "no <mobile> and no <msg>";
    }
    void badRequiredColumnKeepsTheOldState()
    {
        QFETCH(QString, column);
        QFETCH(QVariant, value);
        QFETCH(QString, expectedText);
        StoreFixture f;
        f.addProfile(u"good"_s);
        f.addProfile(u"bad"_s, {{u"Defult"_s, 1}, {column, value}});
        f.context().loadProfile(u"good"_s);
        const ProfileState before = f.context().profile();
        try {
            f.context().loadProfile(QString());
            QFAIL("loaded a bad row");
        } catch (const ProfileNotFound&) {
            QFAIL("the bad row was not found");
        } catch (const StoreError& e) {
            QVERIFY2(e.text().contains(expectedText), qPrintable(e.text()));
            QVERIFY2(e.text().contains(u"default gateway profile"_s), qPrintable(e.text()));
        }
        QVERIFY(sameState(f.context().profile(), before));
    }
};

QTEST_GUILESS_MAIN(ProfileLoaderTest)
#include "tst_profileloader.moc"

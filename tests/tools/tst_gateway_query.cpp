// Decoding of request targets in the gateway simulator: percent escapes, "+", Windows-1252 and the
// split into query items.
#include "GatewayQuery.h"

#include <QTest>

using namespace gatewaysim;

class TestGatewayQuery : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decodesComponents_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("utf8First");
        QTest::addColumn<QString>("expected");

        QTest::newRow("latin letter") << QByteArray("caf%E9") << false << QStringLiteral("café");
        QTest::newRow("plus is blank") << QByteArray("a+b++c") << false << QStringLiteral("a b  c");
        QTest::newRow("encoded plus") << QByteArray("a%2Bb") << false << QStringLiteral("a+b");
        QTest::newRow("comma") << QByteArray("98%2C99%2c100") << false << QStringLiteral("98,99,100");
        QTest::newRow("euro from 1252") << QByteArray("%80") << false << QString(QChar(0x20AC));
        QTest::newRow("quotes from 1252")
            << QByteArray("%93x%94") << false << QString(QChar(0x201C)) + u'x' + QChar(0x201D);
        QTest::newRow("unassigned 1252 code") << QByteArray("%81") << false << QString(QChar(0x81));
        QTest::newRow("raw high byte") << QByteArray("\xE9") << false << QStringLiteral("é");
        QTest::newRow("bad escape kept") << QByteArray("100%zz") << false << QStringLiteral("100%zz");
        QTest::newRow("cut escape kept") << QByteArray("x%4") << false << QStringLiteral("x%4");
        QTest::newRow("lone percent") << QByteArray("%") << false << QStringLiteral("%");
        QTest::newRow("utf8 read as 1252") << QByteArray("%C3%A9") << false << QStringLiteral("Ã©");
        QTest::newRow("utf8 on control") << QByteArray("%C3%A9") << true << QStringLiteral("é");
        QTest::newRow("control falls back to 1252") << QByteArray("%E9t%E9") << true << QStringLiteral("été");
    }
    void decodesComponents()
    {
        QFETCH(QByteArray, raw);
        QFETCH(bool, utf8First);
        QFETCH(QString, expected);
        QCOMPARE(decodeComponent(raw, utf8First ? TextCoding::Utf8OrWindows1252 : TextCoding::Windows1252),
                 expected);
    }

    void splitsTargets_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QStringList>("items"); // name=value, in order

        QTest::newRow("plain") << QByteArray("/send?u=a&to=1") << QByteArray("/send")
                               << QStringList{"u=a", "to=1"};
        QTest::newRow("no query") << QByteArray("/balance") << QByteArray("/balance") << QStringList{};
        QTest::newRow("empty pieces skipped")
            << QByteArray("/send?&u=a&&to=&") << QByteArray("/send") << QStringList{"u=a", "to="};
        QTest::newRow("name without value")
            << QByteArray("/send?flag&x=1") << QByteArray("/send") << QStringList{"flag=", "x=1"};
        QTest::newRow("equals inside value")
            << QByteArray("/send?msg=a=b") << QByteArray("/send") << QStringList{"msg=a=b"};
        QTest::newRow("repeated names kept in order")
            << QByteArray("/send?to=1&to=2") << QByteArray("/send") << QStringList{"to=1", "to=2"};
        QTest::newRow("absolute target")
            << QByteArray("http://127.0.0.1:9/report?id=7") << QByteArray("/report") << QStringList{"id=7"};
        QTest::newRow("absolute target without path")
            << QByteArray("http://127.0.0.1:9?id=7") << QByteArray("/") << QStringList{"id=7"};
        QTest::newRow("fragment dropped")
            << QByteArray("/send?to=1#x") << QByteArray("/send") << QStringList{"to=1"};
        QTest::newRow("encoded names")
            << QByteArray("/send?m%6Fbile=5") << QByteArray("/send") << QStringList{"mobile=5"};
    }
    void splitsTargets()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, path);
        QFETCH(QStringList, items);

        const RequestTarget target = parseTarget(raw, TextCoding::Windows1252);
        QCOMPARE(target.raw, raw);
        QCOMPARE(target.path, path);
        QStringList got;
        for (const QueryItem& item : target.items)
            got.append(item.name + u'=' + item.value);
        QCOMPARE(got, items);
    }

    void lastValueWins()
    {
        const RequestTarget target = parseTarget("/send?To=1&mobile=2&to=3&empty=", TextCoding::Windows1252);
        QCOMPARE(target.value(u"to"), QStringLiteral("3"));
        QCOMPARE(target.value(u"TO", Qt::CaseInsensitive), QStringLiteral("3"));
        QCOMPARE(target.value(u"To"), QStringLiteral("1"));
        QVERIFY(target.value(u"missing").isNull());
        QVERIFY(target.has(u"empty"));
        QVERIFY(target.value(u"empty").isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestGatewayQuery)
#include "tst_gateway_query.moc"

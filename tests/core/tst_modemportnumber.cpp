#include "StoreFixture.h"
#include "core/ModemPortNumber.h"

#include <QTest>

using namespace Qt::StringLiterals;

class ModemPortNumberTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void read_data()
    {
        QTest::addColumn<bool>("withTable");
        QTest::addColumn<QVariantList>("values"); // GSMSet rows, in order
        QTest::addColumn<int>("expected");
        QTest::addRow("table missing (older store)") << false << QVariantList{} << 1;
        QTest::addRow("empty table") << true << QVariantList{} << 1;
        QTest::addRow("blanks around") << true << QVariantList{" 7 "} << 7;
        QTest::addRow("largest two-digit port") << true << QVariantList{"99"} << 99;
        QTest::addRow("first row wins") << true << QVariantList{"4", "9"} << 4;
        QTest::addRow("not a number") << true << QVariantList{"x"} << 1;
        QTest::addRow("number then text") << true << QVariantList{"3a"} << 1;
        QTest::addRow("Null") << true << QVariantList{QVariant()} << 1;
        QTest::addRow("zero") << true << QVariantList{"0"} << 1;
        QTest::addRow("three digits") << true << QVariantList{"100"} << 1;
        QTest::addRow("empty text") << true << QVariantList{""} << 1;
    }
    void read()
    {
        QFETCH(bool, withTable);
        QFETCH(QVariantList, values);
        QFETCH(int, expected);
        StoreFixture f;
        if (!withTable)
            f.store().exec(u"DROP TABLE GSMSet"_s);
        for (const QVariant& v : values)
            f.insert(u"GSMSet"_s, {{u"Comm"_s, v}});
        QCOMPARE(int(ModemPortNumber::read(f.store())), expected);
    }
    void write_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QStringList>("stored"); // GSMSet afterwards; a refused port leaves it as it was
        QTest::addRow("5 replaces every row") << 5 << QStringList{"5"};
        QTest::addRow("99") << 99 << QStringList{"99"};
        QTest::addRow("0") << 0 << QStringList{"8", "9"};
        QTest::addRow("three digits") << 100 << QStringList{"8", "9"};
    }
    void write()
    {
        QFETCH(int, port);
        QFETCH(QStringList, stored);
        StoreFixture f;
        for (const char* comm : {"8", "9"})
            f.insert(u"GSMSet"_s, {{u"Comm"_s, comm}});
        if (stored.size() == 1)
            ModemPortNumber::write(f.store(), static_cast<qint16>(port));
        else
            QVERIFY_THROWS_EXCEPTION(StoreError,
                                     ModemPortNumber::write(f.store(), static_cast<qint16>(port)));
        QCOMPARE(f.column(u"SELECT Comm FROM GSMSet ORDER BY rowid"_s), stored);
    }
};

QTEST_GUILESS_MAIN(ModemPortNumberTest)
#include "tst_modemportnumber.moc"

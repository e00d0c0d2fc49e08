#include "CoreTestSupport.h"

#include "core/ModemPortNumber.h"

#include <QTemporaryDir>
#include <QTest>

using namespace CoreTest;

class ModemPortNumberTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void read_data();
    void read();
    void writeReplacesTheStoredPort();
    void writeRefusesPortsTheColumnCannotHold_data();
    void writeRefusesPortsTheColumnCannotHold();
};

void ModemPortNumberTest::read_data()
{
    QTest::addColumn<bool>("withTable");
    QTest::addColumn<QVariantList>("values"); // GSMSet rows, in order
    QTest::addColumn<int>("expected");
    QTest::newRow("table missing (older store)") << false << QVariantList{} << 1;
    QTest::newRow("empty table") << true << QVariantList{} << 1;
    QTest::newRow("3") << true << QVariantList{"3"} << 3;
    QTest::newRow("blanks around") << true << QVariantList{" 7 "} << 7;
    QTest::newRow("largest two-digit port") << true << QVariantList{"99"} << 99;
    QTest::newRow("first row wins") << true << QVariantList{"4", "9"} << 4;
    QTest::newRow("not a number") << true << QVariantList{"x"} << 1;
    QTest::newRow("number then text") << true << QVariantList{"3a"} << 1;
    QTest::newRow("Null") << true << QVariantList{QVariant()} << 1;
    QTest::newRow("zero") << true << QVariantList{"0"} << 1;
    QTest::newRow("negative") << true << QVariantList{"-2"} << 1;
    QTest::newRow("empty text") << true << QVariantList{""} << 1;
}

void ModemPortNumberTest::read()
{
    QFETCH(bool, withTable);
    QFETCH(QVariantList, values);
    QFETCH(int, expected);
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    if (!withTable)
        store->exec(QStringLiteral("DROP TABLE GSMSet"));
    for (const QVariant& v : values)
        store->exec(QStringLiteral("INSERT INTO GSMSet (Comm) VALUES (?)"), {v});
    QCOMPARE(int(ModemPortNumber::read(*store)), expected);
}

void ModemPortNumberTest::writeReplacesTheStoredPort()
{
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    store->exec(QStringLiteral("INSERT INTO GSMSet (Comm) VALUES ('8')"));
    store->exec(QStringLiteral("INSERT INTO GSMSet (Comm) VALUES ('9')"));
    ModemPortNumber::write(*store, 5);
    QCOMPARE(store->scalar(QStringLiteral("SELECT count(*) FROM GSMSet")).toInt(), 1);
    QCOMPARE(int(ModemPortNumber::read(*store)), 5);
}

void ModemPortNumberTest::writeRefusesPortsTheColumnCannotHold_data()
{
    QTest::addColumn<int>("port");
    QTest::newRow("0") << 0;
    QTest::newRow("negative") << -1;
    QTest::newRow("three digits") << 100;
}

void ModemPortNumberTest::writeRefusesPortsTheColumnCannotHold()
{
    QFETCH(int, port);
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    ModemPortNumber::write(*store, 6);
    QVERIFY_THROWS_EXCEPTION(StoreError, ModemPortNumber::write(*store, static_cast<qint16>(port)));
    QCOMPARE(int(ModemPortNumber::read(*store)), 6);
}

QTEST_GUILESS_MAIN(ModemPortNumberTest)
#include "tst_modemportnumber.moc"

#include "bulk/Recipients.h"

#include <QTest>

class TestRecipients : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recipientList_data();
    void recipientList();
    void batchesKeepOrderAndSize_data();
    void batchesKeepOrderAndSize();
};

void TestRecipients::recipientList_data()
{
    QTest::addColumn<QString>("joined");
    QTest::addColumn<QStringList>("expected");
    const QString a = QStringLiteral("9876543210"), b = QStringLiteral("9123456789");
    QTest::newRow("box B A B and a final break")
        << Recipients::fromNumberBox(b + "\r\n" + a + "\r\n" + b + "\r\n") << QStringList{a, b};
    QTest::newRow("box with LF breaks")
        << Recipients::fromNumberBox(b + "\n" + a + "\n\n" + b) << QStringList{a, b};
    QTest::newRow("contacts") << Recipients::fromContacts({b, a}) << QStringList{a, b};
    QTest::newRow("character codes, not values") << "9,10,100" << QStringList{"9", "100", "10"};
    QTest::newRow("final zero kept") << "9876543210,9876543211" << QStringList{"9876543211", "9876543210"};
    QTest::newRow("leading zero kept") << "0876543210,9" << QStringList{"9", "0876543210"};
    QTest::newRow("blanks around dropped") << " 12 ,12,,\t" << QStringList{"12"};
    QTest::newRow("nothing") << "" << QStringList{};
    QTest::newRow("only breaks") << Recipients::fromNumberBox("\r\n\r\n") << QStringList{};
}

void TestRecipients::recipientList()
{
    QFETCH(QString, joined);
    QFETCH(QStringList, expected);
    QCOMPARE(Recipients::recipientList(joined), expected);
}

void TestRecipients::batchesKeepOrderAndSize_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("sizes");
    QTest::newRow("0") << 0 << QList<int>{};
    QTest::newRow("1") << 1 << QList<int>{1};
    QTest::newRow("100") << 100 << QList<int>{100};
    QTest::newRow("101") << 101 << QList<int>{100, 1};
    QTest::newRow("250") << 250 << QList<int>{100, 100, 50};
}

void TestRecipients::batchesKeepOrderAndSize()
{
    QFETCH(int, count);
    QFETCH(QList<int>, sizes);
    QStringList numbers;
    for (int i = 0; i < count; ++i)
        numbers << QString::number(9000000000LL + i);
    const QStringList list = Recipients::recipientList(numbers.join(u','));
    const auto runs = Recipients::batches(list);
    QList<int> got;
    QStringList joined;
    for (const QStringList& run : runs) {
        got << int(run.size());
        joined += run;
    }
    QCOMPARE(got, sizes);
    QCOMPARE(joined, list); // every number once, in the list's order
}

QTEST_GUILESS_MAIN(TestRecipients)
#include "tst_recipients.moc"

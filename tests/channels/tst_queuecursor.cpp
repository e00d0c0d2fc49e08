// The queue cursor on the local queue: which row a tick picks, the values
// it carries, and the mark of a try.

#include "ChannelFixture.h"

#include <QTest>

class TestQueueCursor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void picksSmallestUrgentThenOldest_data();
    void picksSmallestUrgentThenOldest();
    void nullValues();
    void markTried();
};

void TestQueueCursor::picksSmallestUrgentThenOldest_data()
{
    QTest::addColumn<QList<int>>("urgents");
    QTest::addColumn<int>("picked"); // index into urgents, -1 for an empty queue
    QTest::newRow("empty queue") << QList<int>{} << -1;
    QTest::newRow("urgent 0 before 5") << QList<int>{5, 0} << 1;
    QTest::newRow("equal urgent: the older row") << QList<int>{3, 1, 1} << 1;
    QTest::newRow("a failed row (10) goes behind") << QList<int>{10, 9} << 1;
    QTest::newRow("negative first") << QList<int>{0, -1} << 1;
}

void TestQueueCursor::picksSmallestUrgentThenOldest()
{
    QFETCH(QList<int>, urgents);
    QFETCH(int, picked);
    ChannelFixture f;
    for (int i = 0; i < urgents.size(); ++i)
        f.queue(QStringLiteral("n%1").arg(i), QStringLiteral("m%1").arg(i), QStringLiteral("t"), i,
                urgents[i]);

    const QueueCursor cursor = QueueCursor::openLocal(f.store());
    QCOMPARE(cursor.isOpen(), picked >= 0);
    if (picked < 0)
        return;
    QCOMPARE(cursor.isServer(), false);
    QCOMPARE(cursor.mobile(), QStringLiteral("n%1").arg(picked));
    QCOMPARE(cursor.msg(), QStringLiteral("m%1").arg(picked));
    QCOMPARE(cursor.typ().toInt(), picked);
}

void TestQueueCursor::nullValues()
{
    ChannelFixture f;
    f.store().exec(
        QStringLiteral("INSERT INTO Rsms (Mobile, msg, RDtTM, urgent, typ) VALUES (?, NULL, NULL, 0, NULL)"),
        {QStringLiteral("123")});
    const QueueCursor cursor = QueueCursor::openLocal(f.store());
    QVERIFY(cursor.isOpen());
    QCOMPARE(cursor.msg(), QString());
    QVERIFY(cursor.rdtTm().isNull());
    QVERIFY(cursor.typ().isNull());
}

void TestQueueCursor::markTried()
{
    ChannelFixture f;
    f.queue(QStringLiteral("a"), QStringLiteral("first"), QStringLiteral("t"), 0, 0);
    f.queue(QStringLiteral("b"), QStringLiteral("second"), QStringLiteral("t"), 0, 0);
    f.queue(QStringLiteral("c"), QStringLiteral("third"), QStringLiteral("t"), 0, 5);
    // Every try fails: the failed rows take turns, and the row of urgent 5
    // comes before them once both have failed.
    QStringList picked;
    for (int i = 0; i < 5; ++i) {
        const QueueCursor cursor = QueueCursor::openLocal(f.store());
        picked << cursor.mobile();
        cursor.markTried(f.store(), 10);
    }
    QCOMPARE(picked, (QStringList{"a", "b", "c", "a", "b"}));
    QCOMPARE(f.store().scalar(QStringLiteral("SELECT urgent FROM Rsms WHERE Mobile = 'a'")).toInt(), 10);

    QueueCursor cursor = QueueCursor::openLocal(f.store());
    QCOMPARE(cursor.mobile(), QStringLiteral("c"));
    cursor.close();
    cursor.markTried(f.store(), 0); // a closed cursor changes nothing
    QCOMPARE(QueueCursor::openLocal(f.store()).mobile(), QStringLiteral("c"));
}

QTEST_GUILESS_MAIN(TestQueueCursor)
#include "tst_queuecursor.moc"

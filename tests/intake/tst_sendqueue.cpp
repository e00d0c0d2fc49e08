#include "IntakeTestSupport.h"
#include "intake/SendQueue.h"

#include <QTest>

class TestSendQueue : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedAsTyped_data();
    void storedAsTyped();
    void numbersKeepTheirKind_data();
    void numbersKeepTheirKind();
    void nullTextIsStoredEmpty();
    void batchFollowsTheCallersTransaction_data();
    void batchFollowsTheCallersTransaction();
    void failureThrowsStoreError();
    void overLongTextIsRefused_data();
    void overLongTextIsRefused();
};

void TestSendQueue::storedAsTyped_data()
{
    QTest::addColumn<QString>("mobile");
    QTest::addColumn<QString>("msg");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("apostrophe") << "9876543210"
                                << "Don't forget: it's today"
                                << "0501245140309";
    QTest::newRow("double quotes") << "9876543210"
                                   << "He said \"hi\""
                                   << "0501245140309";
    QTest::newRow("closing quote then SQL") << "9876543210"
                                            << "x'); DELETE FROM Rsms; --"
                                            << "x',1,1)--";
    QTest::newRow("backslash, percent, question mark") << " 9876543210"
                                                       << "C:\\dir 100% ok?"
                                                       << "";
    QTest::newRow("non-Latin text") << "9876543210" << QString::fromUtf8("नमस्ते €5 Ærø") << "31122024235959";
    QTest::newRow("leading and trailing blanks kept") << " 919876543210"
                                                      << "  two blanks  "
                                                      << " 05012024 ";
}

void TestSendQueue::storedAsTyped()
{
    QFETCH(QString, mobile);
    QFETCH(QString, msg);
    QFETCH(QString, stamp);
    TempStore t;
    SendQueue::enqueue(*t.store, QueueRecord{mobile, msg, stamp, 1, 0});
    const auto rows = t.rows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].mobile, mobile);
    QCOMPARE(rows[0].msg, msg);
    QCOMPARE(rows[0].rdttm, stamp);
    QCOMPARE(rows[0].urgent.toInt(), 1);
    QCOMPARE(rows[0].typ.toInt(), 0);
}

void TestSendQueue::numbersKeepTheirKind_data()
{
    QTest::addColumn<double>("urgent");
    QTest::addColumn<QString>("storedType");
    QTest::addColumn<QString>("storedText");
    QTest::newRow("zero") << 0.0 << "integer"
                          << "0";
    QTest::newRow("spreadsheet's one") << 1.0 << "integer"
                                       << "1";
    QTest::newRow("negative") << -3.0 << "integer"
                              << "-3";
    QTest::newRow("fraction") << 2.5 << "real"
                              << "2.5";
}

void TestSendQueue::numbersKeepTheirKind()
{
    QFETCH(double, urgent);
    QFETCH(QString, storedType);
    QFETCH(QString, storedText);
    TempStore t;
    SendQueue::enqueue(*t.store,
                       QueueRecord{QStringLiteral("1"), QStringLiteral("m"), QString(), urgent, urgent});
    QCOMPARE(t.store->scalar(QStringLiteral("select typeof(urgent) from Rsms")).toString(), storedType);
    QCOMPARE(t.store->scalar(QStringLiteral("select typeof(typ) from Rsms")).toString(), storedType);
    QCOMPARE(t.store->scalar(QStringLiteral("select cast(urgent as text) from Rsms")).toString(), storedText);
}

void TestSendQueue::nullTextIsStoredEmpty()
{
    TempStore t;
    SendQueue::enqueue(*t.store,
                       QueueRecord{QStringLiteral("9876543210"), QStringLiteral("m"), QString(), 0, 0});
    QCOMPARE(t.store->scalar(QStringLiteral("select count(*) from Rsms where RDtTM = ''")).toInt(), 1);
    QCOMPARE(t.store->scalar(QStringLiteral("select count(*) from Rsms where RDtTM is null")).toInt(), 0);
}

void TestSendQueue::batchFollowsTheCallersTransaction_data()
{
    QTest::addColumn<bool>("commit");
    QTest::addColumn<int>("expected");
    QTest::newRow("committed") << true << 3;
    QTest::newRow("rolled back") << false << 0;
}

void TestSendQueue::batchFollowsTheCallersTransaction()
{
    QFETCH(bool, commit);
    QFETCH(int, expected);
    TempStore t;
    const QList<QueueRecord> records = {
        {QStringLiteral("9000000001"), QStringLiteral("one"), QStringLiteral("s1"), 1, 0},
        {QStringLiteral("9000000002"), QStringLiteral("two"), QStringLiteral("s2"), 1, 0},
        {QStringLiteral("9000000003"), QStringLiteral("three"), QStringLiteral("s3"), 1, 0},
    };
    {
        Store::Transaction tx(*t.store);
        SendQueue::enqueueAll(*t.store, records);
        QCOMPARE(t.rsmsCount(), 3); // visible inside the transaction
        if (commit)
            tx.commit();
    }
    QCOMPARE(t.rsmsCount(), expected);
    if (commit) {
        const auto rows = t.rows();
        QCOMPARE(rows[2].msg, QStringLiteral("three")); // in the order given
    }
}

void TestSendQueue::failureThrowsStoreError()
{
    TempStore t;
    t.store->exec(QStringLiteral(
        "CREATE TRIGGER refuse BEFORE INSERT ON Rsms BEGIN SELECT RAISE(ABORT, 'queue closed'); END"));
    bool thrown = false;
    try {
        SendQueue::enqueue(*t.store,
                           QueueRecord{QStringLiteral("9876543210"), QStringLiteral("m"), QString(), 0, 0});
    } catch (const StoreError& e) {
        thrown = true;
        QVERIFY2(e.text().contains(QStringLiteral("queue closed")), qPrintable(e.text()));
    }
    QVERIFY(thrown);
    QCOMPARE(t.rsmsCount(), 0);
}

void TestSendQueue::overLongTextIsRefused_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("one over") << int(SendQueue::MaxTextLength) + 1;
    QTest::newRow("far over") << 100000;
}

void TestSendQueue::overLongTextIsRefused()
{
    QFETCH(int, length);
    TempStore t;
    const QueueRecord atBound{QStringLiteral("9876543210"), QString(SendQueue::MaxTextLength, u'x'),
                              QString(), 0, 0};
    const QueueRecord over{QStringLiteral("9876543211"), QString(length, u'y'), QString(), 0, 0};
    QVERIFY_THROWS_EXCEPTION(StoreError, SendQueue::enqueue(*t.store, over));
    {
        Store::Transaction tx(*t.store);
        try {
            SendQueue::enqueueAll(*t.store, {atBound, over});
            QFAIL("an over-long text was queued");
        } catch (const StoreError& e) {
            QVERIFY2(e.text().contains(QStringLiteral("at most 1600")), qPrintable(e.text()));
        }
    }
    QCOMPARE(t.rsmsCount(), 0);
    SendQueue::enqueue(*t.store, atBound);
    QCOMPARE(t.rsmsCount(), 1);
}

QTEST_GUILESS_MAIN(TestSendQueue)
#include "tst_sendqueue.moc"

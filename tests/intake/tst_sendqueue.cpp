#include "StoreFixture.h"
#include "intake/SendQueue.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestSendQueue : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedAsGiven();
    void batchFollowsTheCallersTransaction();
    void overLongTextIsRefused();
};

void TestSendQueue::storedAsGiven()
{
    // Quotes, SQL, blanks and any script go in as typed, no stamp as an empty one (never Null), whole
    // numbers as integers.
    StoreFixture t;
    const QList<QueueRecord> records{
        {"9876543210", "Don't forget: it's today", "0501245140309", 0, 1},
        {"9876543210", "He said \"hi\"", "x',1,1)--", -3, 2.5},
        {" 9876543210", "x'); DELETE FROM Rsms; --", "", 1, 0},
        {" 919876543210", "  C:\\dir 100% ok?  ", " 05012024 ", 2.5, -3},
        {"9876543210", "नमस्ते €5 Ærø", QString(), 0, 0},
    };
    for (const QueueRecord& r : records)
        SendQueue::enqueue(t.store(), r);
    // A Null column would make the whole text Null.
    QCOMPARE(
        t.column(QStringLiteral("SELECT Mobile || '/' || msg || '/' || RDtTM || '/' || typeof(urgent) || ' ' "
                                "|| urgent || '/' || typeof(typ) || ' ' || typ FROM Rsms ORDER BY rowid")),
        (QStringList{
            "9876543210/Don't forget: it's today/0501245140309/integer 0/integer 1",
            "9876543210/He said \"hi\"/x',1,1)--/integer -3/real 2.5",
            " 9876543210/x'); DELETE FROM Rsms; --//integer 1/integer 0",
            " 919876543210/  C:\\dir 100% ok?  / 05012024 /real 2.5/integer -3",
            "9876543210/नमस्ते €5 Ærø//integer 0/integer 0",
        }));
}

void TestSendQueue::batchFollowsTheCallersTransaction()
{
    StoreFixture t;
    for (const bool commit : {false, true}) {
        Store::Transaction tx(t.store());
        SendQueue::enqueueAll(t.store(),
                              {{u"9000000001"_s, u"one"_s, {}, 1, 0}, {u"9000000002"_s, u"two"_s, {}, 1, 0}});
        SendQueue::enqueueAll(t.store(), {});
        QCOMPARE(t.count(u"Rsms"_s), 2); // seen inside the transaction
        if (commit)
            tx.commit();
    }
    QCOMPARE(t.column(u"SELECT msg FROM Rsms ORDER BY rowid"_s),
             (QStringList{"one", "two"})); // in the order given
}

void TestSendQueue::overLongTextIsRefused()
{
    // Refused with nothing added, also inside a batch whose earlier rows were fine. A refused insert
    // of any other kind reaches the caller the same way (see the importer's and the window's tests).
    StoreFixture t;
    const QueueRecord atBound{u"9876543210"_s, QString(SendQueue::MaxTextLength, u'x'), {}, 0, 0};
    const QueueRecord over{u"9876543211"_s, QString(SendQueue::MaxTextLength + 1, u'y'), {}, 0, 0};
    QVERIFY_THROWS_EXCEPTION(StoreError, SendQueue::enqueue(t.store(), over));
    try {
        Store::Transaction tx(t.store());
        SendQueue::enqueueAll(t.store(), {atBound, over});
        QFAIL("an over-long text was queued");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(u"at most 1600"_s), qPrintable(e.text()));
    }
    QCOMPARE(t.count(u"Rsms"_s), 0);
    SendQueue::enqueue(t.store(), atBound);
    QCOMPARE(t.count(u"Rsms"_s), 1);
}

QTEST_GUILESS_MAIN(TestSendQueue)
#include "tst_sendqueue.moc"

// The local queue and the ledger: which row a tick picks and the mark of a try; SaveSentSMS writing
// the ledger row, deleting the queue row and advancing the counter in one transaction.

#include "StoreFixture.h"
#include "channels/QueueCursor.h"
#include "channels/SentLedger.h"

#include <QTest>

#include <limits>

using Field = ConsoleState::Field;

namespace {
const QString kLedgerTrace = "Save Data\r\nAdd Record\r\nSave End\r\n";

// The default profile `user` with the given counter, loaded beside the profile "other" (counter 77).
void loadProfiles(StoreFixture& f, qint32 counter = 1234, const QString& user = "acme")
{
    f.addProfile("other", {{"Smsid", 77}});
    f.loadDefaultProfile(user, {{"Smsid", counter}});
}

QStringList counters(StoreFixture& f)
{
    return f.column("SELECT UName || ' ' || Smsid FROM config ORDER BY UName");
}

struct LedgerCase
{
    bool gsm;
    QString userName;
    QString response;
    QVariantMap queued; // columns of the queue row over those of the other rows
    QVariantMap stored; // ledger columns that differ from those of the other rows
};

QString trace(StoreFixture& f)
{
    return f.context().console().text(Field::Trace);
}
} // namespace

Q_DECLARE_METATYPE(LedgerCase)

class TestSentLedger : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void picksSmallestUrgentThenOldest_data()
    {
        QTest::addColumn<QList<int>>("urgents");
        QTest::addColumn<int>("picked"); // index into urgents, -1 for an empty queue
        QTest::newRow("empty queue") << QList<int>{} << -1;
        QTest::newRow("urgent 0 before 5") << QList<int>{5, 0} << 1;
        QTest::newRow("equal urgent: the older row") << QList<int>{3, 1, 1} << 1;
        QTest::newRow("a failed row (10) goes behind") << QList<int>{10, 9} << 1;
        QTest::newRow("negative first") << QList<int>{0, -1} << 1;
    }
    void picksSmallestUrgentThenOldest()
    {
        QFETCH(QList<int>, urgents);
        QFETCH(int, picked);
        StoreFixture f;
        for (int i = 0; i < urgents.size(); ++i)
            f.queue(QString("n%1").arg(i), QString("m%1").arg(i), {{"typ", i}, {"urgent", urgents[i]}});
        const QueueCursor cursor = QueueCursor::openLocal(f.store());
        QCOMPARE(cursor.isOpen(), picked >= 0);
        if (picked < 0)
            return;
        QCOMPARE(cursor.isServer(), false);
        QCOMPARE(cursor.mobile(), QString("n%1").arg(picked));
        QCOMPARE(cursor.msg(), QString("m%1").arg(picked));
        QCOMPARE(cursor.typ().toInt(), picked);
    }

    void nullValues()
    {
        StoreFixture f;
        f.queue("123", QString(), {{"RDtTM", QVariant()}, {"typ", QVariant()}});
        const QueueCursor cursor = QueueCursor::openLocal(f.store());
        QVERIFY(cursor.isOpen());
        QCOMPARE(cursor.msg(), QString());
        QVERIFY(cursor.rdtTm().isNull());
        QVERIFY(cursor.typ().isNull());
    }

    void markTried()
    {
        StoreFixture f;
        f.queue("a", "first");
        f.queue("b", "second");
        f.queue("c", "third", {{"urgent", 5}});
        // Every try fails: the failed rows take turns, and the row of urgent 5 comes before them once
        // both have failed.
        QStringList picked;
        for (int i = 0; i < 5; ++i) {
            const QueueCursor cursor = QueueCursor::openLocal(f.store());
            picked << cursor.mobile();
            cursor.markTried(f.store(), 10);
        }
        QCOMPARE(picked, (QStringList{"a", "b", "c", "a", "b"}));
        QCOMPARE(f.column("SELECT urgent FROM Rsms WHERE Mobile = 'a'"), QStringList{"10"});

        QueueCursor cursor = QueueCursor::openLocal(f.store());
        QCOMPARE(cursor.mobile(), "c");
        cursor.close();
        cursor.markTried(f.store(), 0); // a closed cursor changes nothing
        QCOMPARE(QueueCursor::openLocal(f.store()).mobile(), "c");
    }

    void ledgerRow_data()
    {
        QTest::addColumn<LedgerCase>("c");
        const QVariant nullText(QMetaType::fromType<QString>()), nullNumber(QMetaType::fromType<int>());
        const QString longAnswer = QString(300, u'A') + "<br>";
        QTest::newRow("HTTP answer with a quote and <br>")
            << LedgerCase{false, "acme", "id'1001<br>", {}, {}};
        QTest::newRow("GSM: no ANS") << LedgerCase{
            true, "acme", "OK\r\n+CMGS: 5\r\n", {}, {{"ans", nullText}}};
        QTest::newRow("Null RDtTM and typ") << LedgerCase{false,
                                                          "acme",
                                                          "id'1001",
                                                          {{"RDtTM", nullText}, {"typ", nullNumber}},
                                                          {{"rdttm", ""}, {"typ", 0}}};
        QTest::newRow("every <br> removed, exact case only")
            << LedgerCase{false, "acme", "<br>1<br>2<BR>3<br", {}, {{"ans", "12<BR>3<br"}}};
        QTest::newRow("over-long answer cut to 251")
            << LedgerCase{false, "acme", longAnswer, {}, {{"ans", QString(251, u'A')}}};
        QTest::newRow("user name cut to 15")
            << LedgerCase{false, "a-very-long-user-name", "id'1001", {}, {{"uname", "a-very-long-use"}}};
    }
    void ledgerRow()
    {
        QFETCH(LedgerCase, c);
        StoreFixture f;
        loadProfiles(f, 1234, c.userName);
        f.context().console().setChannel(c.gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
        f.queue("000 other", "stays queued", {{"urgent", 5}});
        QVariantMap queued{{"RDtTM", "31012024101500"}, {"typ", 3}};
        queued.insert(c.queued);
        f.queue(" 55512-34567", "It's\r\nhere", queued);
        QueueCursor cursor = QueueCursor::openLocal(f.store());

        SentLedger(f.context()).saveSentSms(cursor, c.response);

        // Try 0: counted from the first report poll on, like every other pending row.
        QVariantMap expected{{"mobile", " 55512-34567"},
                             {"msg", "It's\r\nhere"},
                             {"rdttm", "31012024101500"},
                             {"sdttm", "2024-03-05 14:05:09"},
                             {"typ", 3},
                             {"ans", "id'1001"},
                             {"uname", "acme"},
                             {"status", "P"},
                             {"try", 0},
                             {"reply", QVariant()},
                             {"extra1", QVariant()}};
        expected.insert(c.stored);
        const QList<QVariantMap> rows = f.ledgerRows();
        QCOMPARE(rows.size(), 1);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            QCOMPARE(rows.first().value(it.key()).isNull(), it.value().isNull());
            QCOMPARE(rows.first().value(it.key()).toString(), it.value().toString());
        }

        // Only the sent row left the queue; the counter advanced into the user's config row.
        QCOMPARE(f.column("SELECT msg FROM Rsms"), QStringList{"stays queued"});
        QCOMPARE(f.context().profile().smsId, 1235);
        QCOMPARE(counters(f), (QStringList{c.userName + " 1235", "other 77"}));
        QVERIFY(!cursor.isOpen());
        QCOMPARE(trace(f), kLedgerTrace);
    }

    void secondCallRecordsNothing()
    {
        StoreFixture f;
        loadProfiles(f);
        f.queue("5551234567", "hi");
        QueueCursor cursor = QueueCursor::openLocal(f.store());
        SentLedger ledger(f.context());
        ledger.saveSentSms(cursor, "201 Created 5551234567");
        ledger.saveSentSms(cursor, "201 Created 5551234567");

        QCOMPARE(f.count("sms"), 1);
        QCOMPARE(f.count("Rsms"), 0);
        QCOMPARE(f.context().profile().smsId, 1235);
        QCOMPARE(counters(f), (QStringList{"acme 1235", "other 77"}));
        QCOMPARE(trace(f), kLedgerTrace + "Save Data\r\n");
    }

    void failureRollsBackEverything_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("queue row cannot be deleted")
            << "CREATE TRIGGER t BEFORE DELETE ON Rsms BEGIN SELECT RAISE(ABORT, 'queue locked'); END";
        QTest::newRow("counter cannot be written")
            << "CREATE TRIGGER t BEFORE UPDATE ON config BEGIN SELECT RAISE(ABORT, 'config locked'); END";
        QTest::newRow("ledger refuses the row")
            << "CREATE TRIGGER t BEFORE INSERT ON sms BEGIN SELECT RAISE(ABORT, 'ledger full'); END";
    }
    void failureRollsBackEverything()
    {
        QFETCH(QString, trigger);
        StoreFixture f;
        loadProfiles(f);
        f.queue("5551234567", "hi");
        QueueCursor cursor = QueueCursor::openLocal(f.store());
        f.store().exec(trigger);
        SentLedger ledger(f.context());

        QVERIFY_THROWS_EXCEPTION(StoreError, ledger.saveSentSms(cursor, "1001"));

        // Neither recorded nor lost: still queued, to be sent by a later tick.
        QCOMPARE(f.count("sms"), 0);
        QCOMPARE(f.count("Rsms"), 1);
        QCOMPARE(f.context().profile().smsId, 1234);
        QCOMPARE(counters(f), (QStringList{"acme 1234", "other 77"}));
        QVERIFY(cursor.isOpen());
        QCOMPARE(trace(f), "Save Data\r\nAdd Record\r\n");

        // Once the store accepts writes again, the same cursor records the message.
        f.store().exec("DROP TRIGGER t");
        ledger.saveSentSms(cursor, "1001");
        QCOMPARE(f.count("sms"), 1);
        QCOMPARE(f.count("Rsms"), 0);
        QCOMPARE(counters(f), (QStringList{"acme 1235", "other 77"}));
    }

    void counterAtLargestValue()
    {
        const qint32 largest = std::numeric_limits<qint32>::max();
        StoreFixture f;
        loadProfiles(f, largest);
        f.queue("5551234567", "hi");
        QueueCursor cursor = QueueCursor::openLocal(f.store());

        SentLedger(f.context()).saveSentSms(cursor, "1001");

        QCOMPARE(f.count("sms"), 1);
        QCOMPARE(f.count("Rsms"), 0);
        QCOMPARE(f.context().profile().smsId, largest);
        QCOMPARE(counters(f), (QStringList{QString("acme %1").arg(largest), "other 77"}));
        QVERIFY(!cursor.isOpen());
        QCOMPARE(trace(f), QStringLiteral("Save Data\r\nAdd Record\r\nCounter at its largest value: not "
                                          "advanced\r\nSave End\r\n"));
    }

    void rowDeletedWhileSending()
    {
        StoreFixture f;
        loadProfiles(f);
        f.queue("5551234567", "hi");
        QueueCursor cursor = QueueCursor::openLocal(f.store());
        // The operator's "Delete this SMS" ran while the message was on its way.
        f.store().exec("DELETE FROM Rsms");

        SentLedger(f.context()).saveSentSms(cursor, "1001");

        QCOMPARE(f.count("sms"), 1);
        QCOMPARE(counters(f), (QStringList{"acme 1235", "other 77"}));
        QVERIFY(!cursor.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestSentLedger)
#include "tst_sentledger.moc"

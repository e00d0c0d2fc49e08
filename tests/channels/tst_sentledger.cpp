// The local queue and the ledger: which row a tick picks and the mark of a try; SaveSentSMS writing
// the ledger row, deleting the queue row and advancing the counter in one transaction.

#include "StoreFixture.h"
#include "channels/QueueCursor.h"
#include "channels/SentLedger.h"

#include <QTest>

#include <limits>

using Field = ConsoleState::Field;

namespace {
const QString kLedgerTrace = QStringLiteral("Save Data\r\nAdd Record\r\nSave End\r\n");

// The default profile `user` with the given counter, loaded beside the profile "other" (counter 77).
void loadProfiles(StoreFixture& f, qint32 counter = 1234, const QString& user = QStringLiteral("acme"))
{
    f.addProfile(QStringLiteral("other"), {{QStringLiteral("Smsid"), 77}});
    f.loadDefaultProfile(user, {{QStringLiteral("Smsid"), counter}});
}

QStringList counters(StoreFixture& f)
{
    return f.column(QStringLiteral("SELECT UName || ' ' || Smsid FROM config ORDER BY UName"));
}

QString trace(StoreFixture& f)
{
    return f.context().console().text(Field::Trace);
}
} // namespace

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
            f.queue(QStringLiteral("n%1").arg(i), QStringLiteral("m%1").arg(i),
                    {{QStringLiteral("typ"), i}, {QStringLiteral("urgent"), urgents[i]}});
        const QueueCursor cursor = QueueCursor::openLocal(f.store());
        QCOMPARE(cursor.isOpen(), picked >= 0);
        if (picked < 0)
            return;
        QCOMPARE(cursor.isServer(), false);
        QCOMPARE(cursor.mobile(), QStringLiteral("n%1").arg(picked));
        QCOMPARE(cursor.msg(), QStringLiteral("m%1").arg(picked));
        QCOMPARE(cursor.typ().toInt(), picked);
    }

    void nullValues()
    {
        StoreFixture f;
        f.queue(QStringLiteral("123"), QString(),
                {{QStringLiteral("RDtTM"), QVariant()}, {QStringLiteral("typ"), QVariant()}});
        const QueueCursor cursor = QueueCursor::openLocal(f.store());
        QVERIFY(cursor.isOpen());
        QCOMPARE(cursor.msg(), QString());
        QVERIFY(cursor.rdtTm().isNull());
        QVERIFY(cursor.typ().isNull());
    }

    void markTried()
    {
        StoreFixture f;
        f.queue(QStringLiteral("a"), QStringLiteral("first"));
        f.queue(QStringLiteral("b"), QStringLiteral("second"));
        f.queue(QStringLiteral("c"), QStringLiteral("third"), {{QStringLiteral("urgent"), 5}});
        // Every try fails: the failed rows take turns, and the row of urgent 5 comes before them once
        // both have failed.
        QStringList picked;
        for (int i = 0; i < 5; ++i) {
            const QueueCursor cursor = QueueCursor::openLocal(f.store());
            picked << cursor.mobile();
            cursor.markTried(f.store(), 10);
        }
        QCOMPARE(picked, (QStringList{"a", "b", "c", "a", "b"}));
        QCOMPARE(f.column(QStringLiteral("SELECT urgent FROM Rsms WHERE Mobile = 'a'")), QStringList{"10"});

        QueueCursor cursor = QueueCursor::openLocal(f.store());
        QCOMPARE(cursor.mobile(), QStringLiteral("c"));
        cursor.close();
        cursor.markTried(f.store(), 0); // a closed cursor changes nothing
        QCOMPARE(QueueCursor::openLocal(f.store()).mobile(), QStringLiteral("c"));
    }

    void ledgerRow_data()
    {
        QTest::addColumn<bool>("gsm");
        QTest::addColumn<QString>("response");
        QTest::addColumn<QVariant>("rdtTm");
        QTest::addColumn<QVariant>("typ");
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QVariant>("ans");
        QTest::addColumn<QString>("rdttmStored");
        QTest::addColumn<int>("typStored");
        QTest::addColumn<QString>("unameStored");
        const auto row = [](const char* name, bool gsm, const QString& response, const QVariant& rdtTm,
                            const QVariant& typ, const QString& user, const QVariant& ans,
                            const QString& rdtTmStored, int typStored, const QString& unameStored) {
            QTest::newRow(name) << gsm << response << rdtTm << typ << user << ans << rdtTmStored << typStored
                                << unameStored;
        };
        const QVariant nullText = QVariant(QMetaType::fromType<QString>());
        const QVariant nullNumber = QVariant(QMetaType::fromType<int>());
        const QVariant rdtTm = QStringLiteral("31012024101500");
        const QVariant x = QStringLiteral("x");
        row("HTTP answer with <br>", false, "12345<br>", rdtTm, 3, "acme", QStringLiteral("12345"),
            "31012024101500", 3, "acme");
        row("GSM: no ANS", true, "OK\r\n+CMGS: 5\r\n", rdtTm, 1, "acme", nullText, "31012024101500", 1,
            "acme");
        row("Null RDtTM and typ", false, "777", nullText, nullNumber, "acme", QStringLiteral("777"), "", 0,
            "acme");
        row("every <br> removed, exact case only", false, "<br>1<br>2<BR>3<br", x, 0, "acme",
            QStringLiteral("12<BR>3<br"), "x", 0, "acme");
        row("over-long answer cut to 251", false, QString(300, u'A') + QStringLiteral("<br>"), x, 0, "acme",
            QString(251, u'A'), "x", 0, "acme");
        row("answer with a quote stored as it is", false, "id'1001", x, 0, "acme", QStringLiteral("id'1001"),
            "x", 0, "acme");
        row("user name cut to 15", false, "1", x, 0, "a-very-long-user-name", QStringLiteral("1"), "x", 0,
            "a-very-long-use");
    }
    void ledgerRow()
    {
        QFETCH(bool, gsm);
        QFETCH(QString, response);
        QFETCH(QVariant, rdtTm);
        QFETCH(QVariant, typ);
        QFETCH(QString, userName);
        QFETCH(QVariant, ans);
        QFETCH(QString, rdttmStored);
        QFETCH(int, typStored);
        QFETCH(QString, unameStored);
        StoreFixture f;
        loadProfiles(f, 1234, userName);
        f.context().console().setChannel(gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
        f.queue(QStringLiteral("000 other"), QStringLiteral("stays queued"), {{QStringLiteral("urgent"), 5}});
        f.queue(QStringLiteral(" 55512-34567"), QStringLiteral("It's\r\nhere"),
                {{QStringLiteral("RDtTM"), rdtTm}, {QStringLiteral("typ"), typ}});
        QueueCursor cursor = QueueCursor::openLocal(f.store());

        SentLedger(f.context()).saveSentSms(cursor, response);

        const QList<QVariantMap> rows = f.ledgerRows();
        QCOMPARE(rows.size(), 1);
        const QVariantMap& row = rows.first();
        QCOMPARE(row.value("mobile").toString(), QStringLiteral(" 55512-34567"));
        QCOMPARE(row.value("msg").toString(), QStringLiteral("It's\r\nhere"));
        QCOMPARE(row.value("rdttm").isNull(), false);
        QCOMPARE(row.value("rdttm").toString(), rdttmStored);
        QCOMPARE(row.value("sdttm").toString(), QStringLiteral("2024-03-05 14:05:09"));
        QCOMPARE(row.value("typ").isNull(), false);
        QCOMPARE(row.value("typ").toInt(), typStored);
        QCOMPARE(row.value("ans").isNull(), ans.isNull());
        if (!ans.isNull())
            QCOMPARE(row.value("ans").toString(), ans.toString());
        QCOMPARE(row.value("uname").toString(), unameStored);
        QCOMPARE(row.value("status").toString(), QStringLiteral("P"));
        // Counted from the first report poll on, like every other pending row.
        QCOMPARE(row.value("try").toString(), QStringLiteral("0"));
        QVERIFY(row.value("reply").isNull());
        QVERIFY(row.value("extra1").isNull());

        // Only the sent row left the queue; the counter advanced into the user's config row.
        QCOMPARE(f.column(QStringLiteral("SELECT msg FROM Rsms")), QStringList{"stays queued"});
        QCOMPARE(f.context().profile().smsId, 1235);
        QCOMPARE(counters(f), (QStringList{userName + QStringLiteral(" 1235"), "other 77"}));
        QVERIFY(!cursor.isOpen());
        QCOMPARE(trace(f), kLedgerTrace);
    }

    void secondCallRecordsNothing()
    {
        StoreFixture f;
        loadProfiles(f);
        f.queue(QStringLiteral("5551234567"), QStringLiteral("hi"));
        QueueCursor cursor = QueueCursor::openLocal(f.store());
        SentLedger ledger(f.context());
        ledger.saveSentSms(cursor, QStringLiteral("201 Created 5551234567"));
        ledger.saveSentSms(cursor, QStringLiteral("201 Created 5551234567"));

        QCOMPARE(f.count("sms"), 1);
        QCOMPARE(f.count("Rsms"), 0);
        QCOMPARE(f.context().profile().smsId, 1235);
        QCOMPARE(counters(f), (QStringList{"acme 1235", "other 77"}));
        QCOMPARE(trace(f), kLedgerTrace + QStringLiteral("Save Data\r\n"));
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
        f.queue(QStringLiteral("5551234567"), QStringLiteral("hi"));
        QueueCursor cursor = QueueCursor::openLocal(f.store());
        f.store().exec(trigger);
        SentLedger ledger(f.context());

        QVERIFY_THROWS_EXCEPTION(StoreError, ledger.saveSentSms(cursor, QStringLiteral("1001")));

        // Neither recorded nor lost: still queued, to be sent by a later tick.
        QCOMPARE(f.count("sms"), 0);
        QCOMPARE(f.count("Rsms"), 1);
        QCOMPARE(f.context().profile().smsId, 1234);
        QCOMPARE(counters(f), (QStringList{"acme 1234", "other 77"}));
        QVERIFY(cursor.isOpen());
        QCOMPARE(trace(f), QStringLiteral("Save Data\r\nAdd Record\r\n"));

        // Once the store accepts writes again, the same cursor records the message.
        f.store().exec(QStringLiteral("DROP TRIGGER t"));
        ledger.saveSentSms(cursor, QStringLiteral("1001"));
        QCOMPARE(f.count("sms"), 1);
        QCOMPARE(f.count("Rsms"), 0);
        QCOMPARE(counters(f), (QStringList{"acme 1235", "other 77"}));
    }

    void counterAtLargestValue()
    {
        const qint32 largest = std::numeric_limits<qint32>::max();
        StoreFixture f;
        loadProfiles(f, largest);
        f.queue(QStringLiteral("5551234567"), QStringLiteral("hi"));
        QueueCursor cursor = QueueCursor::openLocal(f.store());

        SentLedger(f.context()).saveSentSms(cursor, QStringLiteral("1001"));

        QCOMPARE(f.count("sms"), 1);
        QCOMPARE(f.count("Rsms"), 0);
        QCOMPARE(f.context().profile().smsId, largest);
        QCOMPARE(counters(f), (QStringList{QStringLiteral("acme %1").arg(largest), "other 77"}));
        QVERIFY(!cursor.isOpen());
        QCOMPARE(trace(f), QStringLiteral("Save Data\r\nAdd Record\r\nCounter at its largest value: not "
                                          "advanced\r\nSave End\r\n"));
    }

    void rowDeletedWhileSending()
    {
        StoreFixture f;
        loadProfiles(f);
        f.queue(QStringLiteral("5551234567"), QStringLiteral("hi"));
        QueueCursor cursor = QueueCursor::openLocal(f.store());
        // The operator's "Delete this SMS" ran while the message was on its way.
        f.store().exec(QStringLiteral("DELETE FROM Rsms"));

        SentLedger(f.context()).saveSentSms(cursor, QStringLiteral("1001"));

        QCOMPARE(f.count("sms"), 1);
        QCOMPARE(counters(f), (QStringList{"acme 1235", "other 77"}));
        QVERIFY(!cursor.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestSentLedger)
#include "tst_sentledger.moc"

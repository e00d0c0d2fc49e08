// SaveSentSMS in local mode: the ledger row, the queue row, the counter and
// the trace, one transaction for the three writes.

#include "ChannelFixture.h"
#include "channels/SentLedger.h"

#include <QTest>

#include <limits>

namespace {
const QDateTime kSentAt(QDate(2024, 1, 31), QTime(14, 5, 9));
const QString kLedgerTrace = QStringLiteral("Save Data\r\nAdd Record\r\nSave End\r\n");
} // namespace

class TestSentLedger : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ledgerRow_data();
    void ledgerRow();
    void secondCallRecordsNothing();
    void failureRollsBackEverything_data();
    void failureRollsBackEverything();
    void counterAtLargestValue();
    void rowDeletedWhileSending();
    void sentTimeSortsAndFiltersByDate();
};

void TestSentLedger::ledgerRow_data()
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

    const QVariant nullText = QVariant(QMetaType::fromType<QString>());
    const QVariant nullNumber = QVariant(QMetaType::fromType<int>());
    QTest::newRow("HTTP answer with <br>")
        << false << "12345<br>" << QVariant("31012024101500") << QVariant(3) << "acme" << QVariant("12345")
        << "31012024101500" << 3 << "acme";
    QTest::newRow("GSM: no ANS") << true << "OK\r\n+CMGS: 5\r\n"
                                 << QVariant("31012024101500") << QVariant(1) << "acme" << nullText
                                 << "31012024101500" << 1 << "acme";
    QTest::newRow("Null RDtTM and typ")
        << false << "777" << nullText << nullNumber << "acme" << QVariant("777") << "" << 0 << "acme";
    QTest::newRow("every <br> removed, exact case only")
        << false << "<br>1<br>2<BR>3<br" << QVariant("x") << QVariant(0) << "acme" << QVariant("12<BR>3<br")
        << "x" << 0 << "acme";
    QTest::newRow("over-long answer cut to 251")
        << false << QString(300, u'A') + QStringLiteral("<br>") << QVariant("x") << QVariant(0) << "acme"
        << QVariant(QString(251, u'A')) << "x" << 0 << "acme";
    QTest::newRow("answer with a quote stored as it is")
        << false << "id'1001" << QVariant("x") << QVariant(0) << "acme" << QVariant("id'1001") << "x" << 0
        << "acme";
    QTest::newRow("user name cut to 15")
        << false << "1" << QVariant("x") << QVariant(0) << "a-very-long-user-name" << QVariant("1") << "x"
        << 0 << "a-very-long-use";
}

void TestSentLedger::ledgerRow()
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

    ChannelFixture f(1234, userName);
    f.console().setChannel(gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
    f.queue(QStringLiteral("000 other"), QStringLiteral("stays queued"));
    QueueCursor cursor = f.queue(QStringLiteral(" 55512-34567"), QStringLiteral("It's\r\nhere"), rdtTm, typ);
    SentLedger ledger(*f.context);
    f.context->clock().set([] { return kSentAt; });

    ledger.saveSentSms(cursor, response);

    const QList<QVariantMap> rows = f.ledger();
    QCOMPARE(rows.size(), 1);
    const QVariantMap& row = rows.first();
    QCOMPARE(row.value("mobile").toString(), QStringLiteral(" 55512-34567"));
    QCOMPARE(row.value("msg").toString(), QStringLiteral("It's\r\nhere"));
    QCOMPARE(row.value("rdttm").isNull(), false);
    QCOMPARE(row.value("rdttm").toString(), rdttmStored);
    QCOMPARE(row.value("sdttm").toString(), QStringLiteral("2024-01-31 14:05:09"));
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
    QCOMPARE(f.count("Rsms"), 1);
    QCOMPARE(f.store().scalar("SELECT msg FROM Rsms").toString(), QStringLiteral("stays queued"));
    QCOMPARE(f.context->profile().smsId, 1235);
    QCOMPARE(f.storedCounter(userName), 1235);
    QCOMPARE(f.storedCounter("other"), 77);
    QVERIFY(!cursor.isOpen());
    QCOMPARE(f.console().text(ConsoleState::Field::Trace), kLedgerTrace);
}

void TestSentLedger::secondCallRecordsNothing()
{
    ChannelFixture f;
    QueueCursor cursor = f.queue(QStringLiteral("5551234567"), QStringLiteral("hi"));
    SentLedger ledger(*f.context);
    ledger.saveSentSms(cursor, QStringLiteral("201 Created 5551234567"));
    ledger.saveSentSms(cursor, QStringLiteral("201 Created 5551234567"));

    QCOMPARE(f.ledger().size(), 1);
    QCOMPARE(f.count("Rsms"), 0);
    QCOMPARE(f.context->profile().smsId, 1235);
    QCOMPARE(f.storedCounter(), 1235);
    QCOMPARE(f.console().text(ConsoleState::Field::Trace), kLedgerTrace + QStringLiteral("Save Data\r\n"));
}

void TestSentLedger::failureRollsBackEverything_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::newRow("queue row cannot be deleted")
        << "CREATE TRIGGER t BEFORE DELETE ON Rsms BEGIN SELECT RAISE(ABORT, 'queue locked'); END";
    QTest::newRow("counter cannot be written")
        << "CREATE TRIGGER t BEFORE UPDATE ON config BEGIN SELECT RAISE(ABORT, 'config locked'); END";
    QTest::newRow("ledger refuses the row")
        << "CREATE TRIGGER t BEFORE INSERT ON sms BEGIN SELECT RAISE(ABORT, 'ledger full'); END";
}

void TestSentLedger::failureRollsBackEverything()
{
    QFETCH(QString, trigger);
    ChannelFixture f;
    QueueCursor cursor = f.queue(QStringLiteral("5551234567"), QStringLiteral("hi"));
    f.store().exec(trigger);
    SentLedger ledger(*f.context);

    QVERIFY_THROWS_EXCEPTION(StoreError, ledger.saveSentSms(cursor, QStringLiteral("1001")));

    // Neither recorded nor lost: still queued, to be sent by a later tick.
    QCOMPARE(f.ledger().size(), 0);
    QCOMPARE(f.count("Rsms"), 1);
    QCOMPARE(f.context->profile().smsId, 1234);
    QCOMPARE(f.storedCounter(), 1234);
    QVERIFY(cursor.isOpen());
    QCOMPARE(f.console().text(ConsoleState::Field::Trace), QStringLiteral("Save Data\r\nAdd Record\r\n"));

    // Once the store accepts writes again, the same cursor records the message.
    f.store().exec(QStringLiteral("DROP TRIGGER t"));
    ledger.saveSentSms(cursor, QStringLiteral("1001"));
    QCOMPARE(f.ledger().size(), 1);
    QCOMPARE(f.count("Rsms"), 0);
    QCOMPARE(f.storedCounter(), 1235);
}

void TestSentLedger::counterAtLargestValue()
{
    const qint32 largest = std::numeric_limits<qint32>::max();
    ChannelFixture f(largest);
    QueueCursor cursor = f.queue(QStringLiteral("5551234567"), QStringLiteral("hi"));
    SentLedger ledger(*f.context);

    ledger.saveSentSms(cursor, QStringLiteral("1001"));

    QCOMPARE(f.ledger().size(), 1);
    QCOMPARE(f.count("Rsms"), 0);
    QCOMPARE(f.context->profile().smsId, largest);
    QCOMPARE(f.storedCounter(), largest);
    QVERIFY(!cursor.isOpen());
    QCOMPARE(f.console().text(ConsoleState::Field::Trace),
             QStringLiteral(
                 "Save Data\r\nAdd Record\r\nCounter at its largest value: not advanced\r\nSave End\r\n"));
}

void TestSentLedger::rowDeletedWhileSending()
{
    ChannelFixture f;
    QueueCursor cursor = f.queue(QStringLiteral("5551234567"), QStringLiteral("hi"));
    // The operator's "Delete this SMS" ran while the message was on its way.
    f.store().exec(QStringLiteral("DELETE FROM Rsms"));
    SentLedger ledger(*f.context);

    ledger.saveSentSms(cursor, QStringLiteral("1001"));

    QCOMPARE(f.ledger().size(), 1);
    QCOMPARE(f.storedCounter(), 1235);
    QVERIFY(!cursor.isOpen());
}

void TestSentLedger::sentTimeSortsAndFiltersByDate()
{
    ChannelFixture f;
    SentLedger ledger(*f.context);
    const QDateTime times[] = {QDateTime(QDate(2024, 2, 1), QTime(0, 0, 1)),
                               QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59)),
                               QDateTime(QDate(2024, 1, 31), QTime(9, 0, 0))};
    for (const QDateTime& t : times) {
        QueueCursor cursor = f.queue(QStringLiteral("1"), t.toString());
        f.context->clock().set([t] { return t; });
        ledger.saveSentSms(cursor, QString());
    }
    QStringList ordered;
    QSqlQuery q = f.store().query(QStringLiteral("SELECT SDTTm FROM sms ORDER BY SDTTm"));
    while (q.next())
        ordered << q.value(0).toString();
    QCOMPARE(ordered, QStringList({"2023-12-31 23:59:59", "2024-01-31 09:00:00", "2024-02-01 00:00:01"}));
    QCOMPARE(f.store()
                 .scalar(QStringLiteral("SELECT count(*) FROM sms WHERE date(SDTTm) BETWEEN ? AND ?"),
                         {QStringLiteral("2024-01-01"), QStringLiteral("2024-01-31")})
                 .toInt(),
             1);
}

QTEST_GUILESS_MAIN(TestSentLedger)
#include "tst_sentledger.moc"

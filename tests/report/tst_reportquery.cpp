#include "StoreFixture.h"
#include "report/QueueStamp.h"
#include "report/ReportQuery.h"

#include <QTest>

using namespace MessageReport;

Q_DECLARE_METATYPE(MessageReport::Criteria)
Q_DECLARE_METATYPE(QueueStamp::Form)

namespace {

const QString Stamp = QStringLiteral("RDtTM");

// The messages the criteria list, in their order; the count must agree.
QStringList listed(Store& store, const Criteria& c)
{
    QSqlQuery q = open(store, listStatement(c));
    QStringList out;
    while (q.next())
        out << q.value(1).toString();
    if (count(store, c) != out.size())
        return {QStringLiteral("count mismatch")};
    return out;
}

} // namespace

class TestReportQuery : public QObject
{
    Q_OBJECT

    StoreFixture m_db;

private Q_SLOTS:
    void initTestCase()
    {
        installFunctions(m_db.store());
        installFunctions(m_db.store()); // a second screen on the same connection

        // The queue: both stamp forms, an unreadable, an empty and a missing stamp.
        const QList<QVariantList> queue{
            {"9899999999", "q-a", "02122026090000"}, {"9812345678", "q-b", "011226335100000"},
            {"9712345678", "q-c", "03122026235959"}, {" 9811111111", "q-d", "garbage"},
            {"9700000000", "q-e", "04122026000000"}, {"98_5555555", "q-f", ""},
            {"9600000000", "q-g", QVariant()},       {"9500000000", "q-h", "301126334235959"}};
        for (const QVariantList& r : queue)
            m_db.queue(r[0].toString(), r[1].toString(), {{Stamp, r[2]}});
        // Past a letter the typed text is matched by LIKE alone: its wildcards must stay literal there too.
        for (const char* mobile : {"98AB123", "98A_777", "98A%888", "98A\\999"})
            m_db.queue(QString::fromLatin1(mobile), QStringLiteral("w-%1").arg(m_db.count("Rsms") - 7));

        // The ledger: delivered, undelivered and awaiting rows on both sides of 1 to 3 December.
        const QList<QStringList> ledger{{"9812345678", "s-a", "2026-12-01 00:00:00", "Y"},
                                        {"9712345678", "s-b", "2026-12-03 23:59:59", "Y"},
                                        {"9800000000", "s-c", "2026-11-30 23:59:59", "Y"},
                                        {"9811111111", "s-d", "2026-12-04 00:00:00", "Y"},
                                        {"9822222222", "s-e", "2026-12-02 12:00:00", "N"},
                                        {"9833333333", "s-f", "2026-12-02 13:00:00", "P"},
                                        {"9844444444", "s-g", "2026-12-01 08:00:00", "X"}};
        for (const QStringList& r : ledger)
            m_db.ledger(r[0], {{"msg", r[1]}, {"SDTTm", r[2]}, {"Status", r[3]}});
    }

    void stamps_data()
    {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QDate>("expected"); // invalid: unreadable
        QTest::addColumn<QueueStamp::Form>("form");
        using enum QueueStamp::Form;
        const auto row = [](const char* name, const char* stamp, QDate date, QueueStamp::Form form) {
            QTest::newRow(name) << QString::fromLatin1(stamp) << date << form;
        };
        row("day of year, 13 digits", "0501245140309", QDate(2024, 1, 5), DayOfYear);
        row("day of year, 15 digits", "311224366235959", QDate(2024, 12, 31), DayOfYear);
        row("day of year, 14 digits", "15022446120000", QDate(2024, 2, 15), DayOfYear);
        row("day of year in 2020, 13 digits", "0501205101500", QDate(2020, 1, 5), DayOfYear);
        row("day of year in 2020, 15 digits", "311220366235959", QDate(2020, 12, 31), DayOfYear);
        row("full year", "05012024140309", QDate(2024, 1, 5), FullYear);
        row("full year, last second", "31122026235959", QDate(2026, 12, 31), FullYear);
        row("full year, leap day", "29022028000000", QDate(2028, 2, 29), FullYear);
        // Both shapes fit: digits 5-6 are "20", so the full year wins.
        row("both shapes fit", "26012026101500", QDate(2026, 1, 26), FullYear);
        row("blanks around", " 05012024140309 ", QDate(2024, 1, 5), FullYear);
        row("dashed", "05-01-2024 14:03:09", QDate(2024, 1, 5), Dashed);
        row("dashed, blanks around", " 29-02-2028 23:59:59 ", QDate(2028, 2, 29), Dashed);
        const char* unreadable[][2] = {{"empty", ""},
                                       {"letters", "garbage"},
                                       {"too short", "050124514030"},
                                       {"too long", "0501245140309000"},
                                       {"day of year disagrees", "0501246140309"},
                                       {"day of year with leading zero", "05012405140309"},
                                       {"no such day", "31022024120000"},
                                       {"hour 25", "05012024250000"},
                                       {"minute 60", "0501245146009"},
                                       {"a letter inside", "05012024a40309"},
                                       {"letters in the year", "050120ab120000"},
                                       {"dashes, no seconds", "05-01-2024 14:03"}};
        for (const auto& [name, stamp] : unreadable)
            row(name, stamp, QDate(), Unreadable);
    }

    void stamps()
    {
        QFETCH(QString, stamp);
        QFETCH(QDate, expected);
        QFETCH(QueueStamp::Form, form);
        QCOMPARE(QueueStamp::form(stamp), form);
        QCOMPARE(QueueStamp::date(stamp).value_or(QDate()), expected);
        const int number =
            expected.isValid() ? expected.year() * 10000 + expected.month() * 100 + expected.day() : 0;
        QCOMPARE(QueueStamp::dayNumber(stamp), number);
        // The SQL function reads the same, Null for an unreadable stamp.
        const QVariant sql = m_db.store().scalar(QStringLiteral("select queue_day(?)"), {stamp});
        QCOMPARE(sql.isNull(), number == 0);
        if (number)
            QCOMPARE(sql.toInt(), number);
    }

    void list_data()
    {
        QTest::addColumn<Criteria>("criteria");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, View view, const char* mobile, QDate from, QDate to,
                            Order order, const QStringList& expected) {
            const Criteria c{view, QString::fromUtf8(mobile), from.isValid(), from, to, order};
            QTest::newRow(name) << c << expected;
        };
        const QDate none, d1(2026, 12, 1), d2(2026, 12, 2), d3(2026, 12, 3), n30(2026, 11, 30);
        const View q = View::Queued, y = View::Delivered, n = View::Undelivered, p = View::AwaitingReport;
        const Order date = Order::Date, mobile = Order::Mobile, msg = Order::Message;
        const QStringList allQueued{"q-d", "q-h", "q-g", "q-e", "q-c", "q-b",
                                    "q-a", "w-3", "w-1", "w-4", "w-2", "q-f"};

        row("queued, at once", q, "", none, none, date, allQueued);
        row("queued, 98", q, "98", none, none, date, {"q-b", "q-a", "w-3", "w-1", "w-4", "w-2", "q-f"});
        row("queued, blank 98", q, " 98", none, none, date, {"q-d"});
        row("queued, abc", q, "abc", none, none, date, allQueued);
        row("queued, 0", q, "0", none, none, date, allQueued);
        row("queued, 098", q, "098", none, none, date, {});
        row("queued, underscore literal", q, "98_", none, none, date, {"q-f"});
        row("queued, percent literal", q, "98%", none, none, date, {});
        row("queued, backslash literal", q, "98\\", none, none, date, {});
        row("queued, quote", q, "9'8", none, none, date, {});
        row("queued, 1 to 3 Dec", q, "", d1, d3, date, {"q-c", "q-b", "q-a"});
        row("queued, 2 Dec", q, "", d2, d2, date, {"q-a"});
        row("queued, 30 Nov", q, "", n30, n30, date, {"q-h"});
        row("queued, dates reversed", q, "", d3, d1, date, {});
        row("queued, 98 and 1 to 3 Dec", q, "98", d1, d3, date, {"q-b", "q-a"});
        row("queued, by mobile", q, "", none, none, mobile, allQueued);
        row("queued, by message", q, "", none, none, msg,
            {"q-a", "q-b", "q-c", "q-d", "q-e", "q-f", "q-g", "q-h", "w-1", "w-2", "w-3", "w-4"});
        row("queued, a letter", q, "98a", none, none, date, {"w-3", "w-1", "w-4", "w-2"});
        row("queued, underscore after a letter", q, "98a_", none, none, date, {"w-2"});
        row("queued, percent after a letter", q, "98a%", none, none, date, {"w-3"});
        row("queued, backslash after a letter", q, "98a\\", none, none, date, {"w-4"});
        row("delivered", y, "", none, none, date, {"s-c", "s-a", "s-b", "s-d"});
        row("delivered, 1 to 3 Dec", y, "", d1, d3, date, {"s-a", "s-b"});
        row("delivered, by mobile", y, "", none, none, mobile, {"s-b", "s-c", "s-d", "s-a"});
        row("delivered, by message", y, "", none, none, msg, {"s-a", "s-b", "s-c", "s-d"});
        row("delivered, 981", y, "981", none, none, date, {"s-a", "s-d"});
        row("delivered, 98 and 1 to 3 Dec", y, "98", d1, d3, date, {"s-a"});
        row("undelivered", n, "", none, none, date, {"s-e"});
        row("undelivered, 3 Dec", n, "", d3, d3, date, {});
        row("awaiting, any other letter", p, "", none, none, date, {"s-g", "s-f"});
        row("awaiting, 2 Dec", p, "", d2, d2, date, {"s-f"});
        row("awaiting, by mobile", p, "", none, none, mobile, {"s-f", "s-g"});
        row("awaiting, quote", p, "98'; drop table sms; --", none, none, date, {});
    }

    void list()
    {
        QFETCH(Criteria, criteria);
        QFETCH(QStringList, expected);
        QCOMPARE(listed(m_db.store(), criteria), expected);
    }

    // A readable stamp is written, a filled day kept, a missing or unreadable stamp left Null.
    void backfill()
    {
        StoreFixture db;
        for (const QVariant& stamp : {QVariant("051226339120000"), QVariant(), QVariant("31022026120000")})
            db.ledger(QStringLiteral("9812345678"), {{Stamp, stamp}});
        db.ledger(QStringLiteral("9812345678"), {{Stamp, "051226339120000"}, {"Extra1", "19990101"}});
        QCOMPARE(backfillQueueDay(db.store()), 1);
        QCOMPARE(db.column(QStringLiteral("select Extra1 from sms order by rowid")),
                 (QStringList{"20261205", "<null>", "<null>", "19990101"}));
        QCOMPARE(backfillQueueDay(db.store()), 0);
    }

    // A row goes only when its key, number and stamp all still match.
    void deleteQueued()
    {
        StoreFixture db;
        const QVariant mobile("9812345678"), doy("011226335100000");
        QList<qint64> keys;
        for (const QVariant& stamp : {doy, doy, QVariant("02122026090000"), QVariant()})
            keys << db.queue(mobile.toString(), QStringLiteral("m%1").arg(keys.size()), {{Stamp, stamp}});
        QCOMPARE(MessageReport::deleteQueued(db.store(), keys[2], mobile, doy),
                 0); // the key of another message
        QCOMPARE(MessageReport::deleteQueued(db.store(), keys[1], mobile, doy), 1);
        QCOMPARE(MessageReport::deleteQueued(db.store(), keys[3], mobile, QVariant()), 1);
        QCOMPARE(db.column(QStringLiteral("select msg from Rsms order by rowid")), (QStringList{"m0", "m2"}));
    }
};

QTEST_GUILESS_MAIN(TestReportQuery)
#include "tst_reportquery.moc"

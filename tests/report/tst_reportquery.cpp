#include "ReportFixture.h"
#include "report/QueueStamp.h"
#include "report/ReportQuery.h"

#include <QSqlRecord>
#include <QTest>

using namespace MessageReport;

Q_DECLARE_METATYPE(MessageReport::View)
Q_DECLARE_METATYPE(MessageReport::Order)

class TestReportQuery : public QObject
{
    Q_OBJECT

    ReportStore m_db;

    // The messages a statement lists, in its order; checks that its count agrees.
    QStringList listed(const Criteria& c)
    {
        QSqlQuery q = open(*m_db.store, listStatement(c));
        QStringList out;
        while (q.next())
            out << q.value(1).toString();
        const qint64 counted = count(*m_db.store, c);
        if (counted != out.size())
            qWarning("count %lld differs from %lld listed rows", static_cast<long long>(counted),
                     static_cast<long long>(out.size()));
        return counted == out.size() ? out : QStringList{QStringLiteral("count mismatch")};
    }

private Q_SLOTS:
    void initTestCase()
    {
        installFunctions(*m_db.store);
        installFunctions(*m_db.store); // a second screen on the same connection

        // The queue: both stamp forms, an unreadable, an empty and a missing stamp.
        m_db.queue(QStringLiteral("9899999999"), QStringLiteral("q-a"), QStringLiteral("02122026090000"));
        m_db.queue(QStringLiteral("9812345678"), QStringLiteral("q-b"), QStringLiteral("011226335100000"));
        m_db.queue(QStringLiteral("9712345678"), QStringLiteral("q-c"), QStringLiteral("03122026235959"));
        m_db.queue(QStringLiteral(" 9811111111"), QStringLiteral("q-d"), QStringLiteral("garbage"));
        m_db.queue(QStringLiteral("9700000000"), QStringLiteral("q-e"), QStringLiteral("04122026000000"));
        m_db.queue(QStringLiteral("98_5555555"), QStringLiteral("q-f"), QStringLiteral(""));
        m_db.queue(QStringLiteral("9600000000"), QStringLiteral("q-g"), QVariant());
        m_db.queue(QStringLiteral("9500000000"), QStringLiteral("q-h"), QStringLiteral("301126334235959"));

        // The ledger: delivered, undelivered and awaiting rows on both sides of 1 to 3 December.
        m_db.ledger(QStringLiteral("9812345678"), QStringLiteral("s-a"),
                    QStringLiteral("2026-12-01 00:00:00"), QStringLiteral("Y"), QStringLiteral("DELIVRD"));
        m_db.ledger(QStringLiteral("9712345678"), QStringLiteral("s-b"),
                    QStringLiteral("2026-12-03 23:59:59"), QStringLiteral("Y"), QStringLiteral("DELIVRD"));
        m_db.ledger(QStringLiteral("9800000000"), QStringLiteral("s-c"),
                    QStringLiteral("2026-11-30 23:59:59"), QStringLiteral("Y"), QStringLiteral("DELIVRD"));
        m_db.ledger(QStringLiteral("9811111111"), QStringLiteral("s-d"),
                    QStringLiteral("2026-12-04 00:00:00"), QStringLiteral("Y"), QStringLiteral("DELIVRD"));
        m_db.ledger(QStringLiteral("9822222222"), QStringLiteral("s-e"),
                    QStringLiteral("2026-12-02 12:00:00"), QStringLiteral("N"), QStringLiteral("NCPR"));
        m_db.ledger(QStringLiteral("9833333333"), QStringLiteral("s-f"),
                    QStringLiteral("2026-12-02 13:00:00"), QStringLiteral("P"));
        m_db.ledger(QStringLiteral("9844444444"), QStringLiteral("s-g"),
                    QStringLiteral("2026-12-01 08:00:00"), QStringLiteral("X"));
    }

    void stamps_data()
    {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QDate>("expected"); // invalid: unreadable
        QTest::addColumn<int>("form");

        const int doy = int(QueueStamp::Form::DayOfYear);
        const int full = int(QueueStamp::Form::FullYear);
        const int dashed = int(QueueStamp::Form::Dashed);
        const int none = int(QueueStamp::Form::Unreadable);
        QTest::newRow("day of year, 13 digits") << "0501245140309" << QDate(2024, 1, 5) << doy;
        QTest::newRow("day of year, 15 digits") << "311224366235959" << QDate(2024, 12, 31) << doy;
        QTest::newRow("day of year, 14 digits") << "15022446120000" << QDate(2024, 2, 15) << doy;
        QTest::newRow("day of year in 2020, 13 digits") << "0501205101500" << QDate(2020, 1, 5) << doy;
        QTest::newRow("day of year in 2020, 15 digits") << "311220366235959" << QDate(2020, 12, 31) << doy;
        QTest::newRow("full year") << "05012024140309" << QDate(2024, 1, 5) << full;
        QTest::newRow("full year, last second") << "31122026235959" << QDate(2026, 12, 31) << full;
        QTest::newRow("full year, leap day") << "29022028000000" << QDate(2028, 2, 29) << full;
        // Both shapes fit: digits 5-6 are "20", so the full year wins.
        QTest::newRow("both shapes fit") << "26012026101500" << QDate(2026, 1, 26) << full;
        QTest::newRow("blanks around") << " 05012024140309 " << QDate(2024, 1, 5) << full;
        QTest::newRow("empty") << "" << QDate() << none;
        QTest::newRow("letters") << "garbage" << QDate() << none;
        QTest::newRow("too short") << "050124514030" << QDate() << none;
        QTest::newRow("too long") << "0501245140309000" << QDate() << none;
        QTest::newRow("day of year disagrees") << "0501246140309" << QDate() << none;
        QTest::newRow("day of year with leading zero") << "05012405140309" << QDate() << none;
        QTest::newRow("no such day") << "31022024120000" << QDate() << none;
        QTest::newRow("hour 25") << "05012024250000" << QDate() << none;
        QTest::newRow("minute 60") << "0501245146009" << QDate() << none;
        QTest::newRow("a letter inside") << "05012024a40309" << QDate() << none;
        QTest::newRow("letters in the year") << "050120ab120000" << QDate() << none;
        QTest::newRow("dashes") << "05-01-2024 14:03" << QDate() << none;
        QTest::newRow("dashed") << "05-01-2024 14:03:09" << QDate(2024, 1, 5) << dashed;
        QTest::newRow("dashed, blanks around") << " 29-02-2028 23:59:59 " << QDate(2028, 2, 29) << dashed;
    }

    void stamps()
    {
        QFETCH(QString, stamp);
        QFETCH(QDate, expected);
        QFETCH(int, form);
        QCOMPARE(int(QueueStamp::form(stamp)), form);
        const std::optional<QDate> read = QueueStamp::date(stamp);
        QCOMPARE(read.value_or(QDate()), expected);
        const int number =
            expected.isValid() ? expected.year() * 10000 + expected.month() * 100 + expected.day() : 0;
        QCOMPARE(QueueStamp::dayNumber(stamp), number);
        // The SQL function reads the same, Null for an unreadable stamp.
        const QVariant sql = m_db.store->scalar(QStringLiteral("select queue_day(?)"), {stamp});
        QCOMPARE(sql.isNull(), number == 0);
        if (number)
            QCOMPARE(sql.toInt(), number);
    }

    void list_data()
    {
        QTest::addColumn<View>("view");
        QTest::addColumn<QString>("mobile");
        QTest::addColumn<QDate>("from"); // invalid: no date filter
        QTest::addColumn<QDate>("to");
        QTest::addColumn<Order>("order");
        QTest::addColumn<QStringList>("expected");

        const QDate none;
        const QDate d1(2026, 12, 1), d2(2026, 12, 2), d3(2026, 12, 3), n30(2026, 11, 30);
        const View q = View::Queued;
        const QStringList allQueued{"q-d", "q-h", "q-g", "q-e", "q-c", "q-b", "q-a", "q-f"};

        QTest::newRow("queued, at once") << q << "" << none << none << Order::Date << allQueued;
        QTest::newRow("queued, 98") << q << "98" << none << none << Order::Date
                                    << QStringList{"q-b", "q-a", "q-f"};
        QTest::newRow("queued, blank 98") << q << " 98" << none << none << Order::Date << QStringList{"q-d"};
        QTest::newRow("queued, abc") << q << "abc" << none << none << Order::Date << allQueued;
        QTest::newRow("queued, 0") << q << "0" << none << none << Order::Date << allQueued;
        QTest::newRow("queued, 098") << q << "098" << none << none << Order::Date << QStringList{};
        QTest::newRow("queued, underscore literal")
            << q << "98_" << none << none << Order::Date << QStringList{"q-f"};
        QTest::newRow("queued, percent literal")
            << q << "98%" << none << none << Order::Date << QStringList{};
        QTest::newRow("queued, backslash literal")
            << q << "98\\" << none << none << Order::Date << QStringList{};
        QTest::newRow("queued, quote") << q << "9'8" << none << none << Order::Date << QStringList{};
        QTest::newRow("queued, 1 to 3 Dec")
            << q << "" << d1 << d3 << Order::Date << QStringList{"q-c", "q-b", "q-a"};
        QTest::newRow("queued, 2 Dec") << q << "" << d2 << d2 << Order::Date << QStringList{"q-a"};
        QTest::newRow("queued, 30 Nov") << q << "" << n30 << n30 << Order::Date << QStringList{"q-h"};
        QTest::newRow("queued, dates reversed") << q << "" << d3 << d1 << Order::Date << QStringList{};
        QTest::newRow("queued, 98 and 1 to 3 Dec")
            << q << "98" << d1 << d3 << Order::Date << QStringList{"q-b", "q-a"};
        QTest::newRow("queued, by mobile") << q << "" << none << none << Order::Mobile << allQueued;
        QTest::newRow("queued, by message")
            << q << "" << none << none << Order::Message
            << QStringList{"q-a", "q-b", "q-c", "q-d", "q-e", "q-f", "q-g", "q-h"};

        const View y = View::Delivered;
        QTest::newRow("delivered") << y << "" << none << none << Order::Date
                                   << QStringList{"s-c", "s-a", "s-b", "s-d"};
        QTest::newRow("delivered, 1 to 3 Dec")
            << y << "" << d1 << d3 << Order::Date << QStringList{"s-a", "s-b"};
        QTest::newRow("delivered, by mobile")
            << y << "" << none << none << Order::Mobile << QStringList{"s-b", "s-c", "s-d", "s-a"};
        QTest::newRow("delivered, by message")
            << y << "" << none << none << Order::Message << QStringList{"s-a", "s-b", "s-c", "s-d"};
        QTest::newRow("delivered, 981")
            << y << "981" << none << none << Order::Date << QStringList{"s-a", "s-d"};
        QTest::newRow("delivered, 98 and 1 to 3 Dec")
            << y << "98" << d1 << d3 << Order::Date << QStringList{"s-a"};

        const View n = View::Undelivered;
        QTest::newRow("undelivered") << n << "" << none << none << Order::Date << QStringList{"s-e"};
        QTest::newRow("undelivered, 3 Dec") << n << "" << d3 << d3 << Order::Date << QStringList{};

        const View p = View::AwaitingReport;
        QTest::newRow("awaiting, any other letter")
            << p << "" << none << none << Order::Date << QStringList{"s-g", "s-f"};
        QTest::newRow("awaiting, 2 Dec") << p << "" << d2 << d2 << Order::Date << QStringList{"s-f"};
        QTest::newRow("awaiting, by mobile")
            << p << "" << none << none << Order::Mobile << QStringList{"s-f", "s-g"};
        QTest::newRow("awaiting, quote")
            << p << "98'; drop table sms; --" << none << none << Order::Date << QStringList{};
    }

    void list()
    {
        QFETCH(View, view);
        QFETCH(QString, mobile);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(Order, order);
        QFETCH(QStringList, expected);

        Criteria c;
        c.view = view;
        c.mobileStart = mobile;
        c.byDate = from.isValid();
        c.from = from;
        c.to = to;
        c.order = order;
        QCOMPARE(listed(c), expected);
    }

    // Past a letter the typed text is matched by LIKE alone: its wildcards
    // must stay literal there too.
    void likeWildcardsAreLiteral_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("letter") << "98a" << QStringList{"w-1", "w-2", "w-3", "w-4"};
        QTest::newRow("underscore") << "98a_" << QStringList{"w-2"};
        QTest::newRow("percent") << "98a%" << QStringList{"w-3"};
        QTest::newRow("backslash") << "98a\\" << QStringList{"w-4"};
    }

    void likeWildcardsAreLiteral()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        ReportStore db;
        db.queue(QStringLiteral("98AB123"), QStringLiteral("w-1"), QStringLiteral("x"));
        db.queue(QStringLiteral("98A_777"), QStringLiteral("w-2"), QStringLiteral("x"));
        db.queue(QStringLiteral("98A%888"), QStringLiteral("w-3"), QStringLiteral("x"));
        db.queue(QStringLiteral("98A\\999"), QStringLiteral("w-4"), QStringLiteral("x"));
        Criteria c;
        c.mobileStart = typed;
        c.order = Order::Message;
        QSqlQuery q = open(*db.store, listStatement(c));
        QStringList out;
        while (q.next())
            out << q.value(1).toString();
        QCOMPARE(out, expected);
        QCOMPARE(count(*db.store, c), qint64(expected.size()));
    }

    void captions_data()
    {
        QTest::addColumn<View>("view");
        QTest::addColumn<QStringList>("captions");
        const QStringList queued{"Mobile", "Massage", "RDateTime"};
        const QStringList sent = queued + QStringList{"SDateTime", "Status", "reply"};
        QTest::newRow("queued") << View::Queued << queued + QStringList{"Key"};
        QTest::newRow("delivered") << View::Delivered << sent;
        QTest::newRow("undelivered") << View::Undelivered << sent;
        QTest::newRow("awaiting") << View::AwaitingReport << sent;
    }

    void captions()
    {
        QFETCH(View, view);
        QFETCH(QStringList, captions);
        Criteria c;
        c.view = view;
        const QSqlRecord record = open(*m_db.store, listStatement(c)).record();
        QStringList names;
        for (int i = 0; i < record.count(); ++i)
            names << record.fieldName(i);
        QCOMPARE(names, captions);
    }

    void backfill_data()
    {
        QTest::addColumn<QVariant>("stamp");
        QTest::addColumn<QVariant>("before");
        QTest::addColumn<QVariant>("after");
        QTest::newRow("day of year") << QVariant("051226339120000") << QVariant() << QVariant("20261205");
        QTest::newRow("day of year, 14 digits")
            << QVariant("15022446120000") << QVariant() << QVariant("20240215");
        QTest::newRow("day of year in 2020")
            << QVariant("0501205101500") << QVariant() << QVariant("20200105");
        QTest::newRow("full year") << QVariant("05122026120000") << QVariant() << QVariant("20261205");
        QTest::newRow("already filled")
            << QVariant("051226339120000") << QVariant("19990101") << QVariant("19990101");
        QTest::newRow("dashed") << QVariant("06-12-2026 09:30:00") << QVariant() << QVariant("20261206");
        QTest::newRow("no stamp") << QVariant() << QVariant() << QVariant();
        QTest::newRow("empty stamp") << QVariant("") << QVariant() << QVariant();
        QTest::newRow("unreadable stamp") << QVariant("garbage") << QVariant() << QVariant();
        QTest::newRow("full year, no such day") << QVariant("31022026120000") << QVariant() << QVariant();
    }

    void backfill()
    {
        QFETCH(QVariant, stamp);
        QFETCH(QVariant, before);
        QFETCH(QVariant, after);
        ReportStore db;
        db.ledger(QStringLiteral("9812345678"), QStringLiteral("m"), QStringLiteral("2026-12-05 12:00:00"),
                  QStringLiteral("Y"), QVariant(), stamp, before);
        const int written = backfillQueueDay(*db.store);
        QCOMPARE(written, (before.isNull() && !after.isNull()) ? 1 : 0);
        const QVariant value = db.store->scalar(QStringLiteral("select Extra1 from sms"));
        QCOMPARE(value.isNull(), after.isNull());
        QCOMPARE(value.toString(), after.toString());
        QCOMPARE(backfillQueueDay(*db.store), 0);
    }

    void deleteQueued_data()
    {
        QTest::addColumn<int>("row"); // the key of the row'th row queued
        QTest::addColumn<QVariant>("mobile");
        QTest::addColumn<QVariant>("stamp");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("one of two with number and stamp")
            << 1 << QVariant("9812345678") << QVariant("011226335100000") << QStringList{"a", "c", "d", "e"};
        QTest::newRow("missing stamp")
            << 4 << QVariant("9700000000") << QVariant() << QStringList{"a", "b", "c", "d"};
        QTest::newRow("key of another message") << 2 << QVariant("9812345678") << QVariant("011226335100000")
                                                << QStringList{"a", "b", "c", "d", "e"};
    }

    void deleteQueued()
    {
        QFETCH(int, row);
        QFETCH(QVariant, mobile);
        QFETCH(QVariant, stamp);
        QFETCH(QStringList, left);
        ReportStore db;
        db.queue(QStringLiteral("9812345678"), QStringLiteral("a"), QStringLiteral("011226335100000"));
        db.queue(QStringLiteral("9812345678"), QStringLiteral("b"), QStringLiteral("011226335100000"));
        db.queue(QStringLiteral("9812345678"), QStringLiteral("c"), QStringLiteral("02122026090000"));
        db.queue(QStringLiteral("9899999999"), QStringLiteral("d"), QStringLiteral("011226335100000"));
        db.queue(QStringLiteral("9700000000"), QStringLiteral("e"), QVariant());
        const QStringList keys = db.column(QStringLiteral("select rowid from Rsms order by rowid"));
        QCOMPARE(MessageReport::deleteQueued(*db.store, keys[row], mobile, stamp), 5 - int(left.size()));
        QCOMPARE(db.column(QStringLiteral("select msg from Rsms order by rowid")), left);
    }
};

QTEST_GUILESS_MAIN(TestReportQuery)
#include "tst_reportquery.moc"

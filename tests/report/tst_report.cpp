#include "ScriptedPrompt.h"
#include "StoreFixture.h"
#include "TaskWait.h"
#include "common/SettingsKeys.h"
#include "report/QueueStamp.h"
#include "report/ReportQuery.h"
#include "report/ui/ReportWindow.h"
#include "ui/ScreenRegistry.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Stamp = u"RDtTM"_s;
// The queue in the date order of its list (rows without a queueing day, by number).
const QStringList AllQueued{"q-d", "q-h", "q-g", "q-e", "q-c", "q-b",
                            "q-a", "w-3", "w-1", "w-4", "w-2", "q-f"};
// Extra1 of the ledger rows once back-filled.
const QStringList Backfilled{"20261201", "<null>", "<null>", "20240105", "20240105", "20240105", "kept"};
const QStringList NotFilled{"<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "kept"};

// Backfilled for the ledger rows up to row upTo, NotFilled after it.
QStringList filledUpTo(qint64 upTo)
{
    return Backfilled.mid(0, int(upTo)) + NotFilled.mid(int(upTo));
}

struct ListCase
{
    int view; // -1: as the window opens
    QString typed;
    QDate from, to; // invalid: no date filter
    int order;      // -1: as the window opens
    // replies: of the first row clicked and the next one; empty: not looked at.
    QStringList shown, replies = {};
};

struct DeleteCase
{
    int view, tickedAfterShow;
    QString typed;
    int row;
    Prompt::Answer answer; // Cancel: the key must ask nothing
    QString deleted;
};

} // namespace

Q_DECLARE_METATYPE(QueueStamp::Form)
Q_DECLARE_METATYPE(ListCase)
Q_DECLARE_METATYPE(DeleteCase)

// The report's statements and the report screen, on one queue and one ledger.
class TestReport : public QObject
{
    Q_OBJECT

    QByteArray m_function;
    std::unique_ptr<StoreFixture> m_db;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<ReportWindow> m_screen;

    template <class T> T* child(const QString& name) { return m_screen->findChild<T*>(name); }
    QTableView* grid() { return child<QTableView>(u"MSF"_s); }
    QAbstractItemModel* model() { return grid()->model(); }
    QString text(const QString& label) { return child<QLabel>(label)->text(); }
    void click(const QString& button) { child<QAbstractButton>(button)->click(); }
    void show(int view, const QString& typed = QString())
    {
        child<QLineEdit>(u"Text1"_s)->setText(typed);
        if (view >= 0)
            click(u"OP_%1"_s.arg(view));
        click(u"JOk"_s);
    }
    QStringList listed()
    {
        QStringList out;
        for (int row = 0; row < model()->rowCount(); ++row)
            out << model()->index(row, 1).data().toString();
        return out;
    }
    QStringList extra1() { return m_db->column(u"select Extra1 from sms order by rowid"_s); }

private Q_SLOTS:
    void initTestCase()
    {
        // Column widths go to a settings file of the test's own.
        QStandardPaths::setTestModeEnabled(true);
        SettingsKeys::userSettings()->remove(SettingsKeys::ReportColumns);
    }
    void cleanupTestCase() { SettingsKeys::userSettings()->remove(SettingsKeys::ReportColumns); }

    void init()
    {
        // The list rows only read, and each sets every control it depends on: they share one store and
        // window, which saves a store and a window per row.
        const QByteArray function = QTest::currentTestFunction();
        if (function == "showList" && m_function == function)
            return;
        m_function = function;
        m_screen.reset();
        m_prompt.reset();
        m_db = std::make_unique<StoreFixture>();
        // Both stamp forms, an unreadable, an empty and a missing stamp; numbers with LIKE's wildcards.
        const QStringList mobiles{"9899999999", "9812345678", "9712345678", " 9811111111",
                                  "9700000000", "98_5555555", "9600000000", "9500000000",
                                  "98AB123",    "98A_777",    "98A%888",    "98A\\999"};
        const QVariantList stamps{"02122026090000", "011226335100000", "03122026235959",
                                  "garbage",        "04122026000000",  "",
                                  QVariant(),       "301126334235959"};
        for (int i = 0; i < mobiles.size(); ++i) // q-a to q-h, then w-1 to w-4 with empty stamps
            m_db->queue(mobiles[i], i < 8 ? u"q-"_s + QChar(u'a' + i) : u"w-%1"_s.arg(i - 7),
                        {{Stamp, stamps.value(i, "")}});
        // Delivered, undelivered and awaiting rows on both sides of 1 to 3 December; s-a has the number and
        // stamp of queued row q-b.
        const QList<QVariantList> ledger{{"9812345678", "a", "2026-12-01 00:00:00", "Y", "011226335100000"},
                                         {"9712345678", "b", "2026-12-03 23:59:59", "Y", QVariant()},
                                         {"9800000000", "c", "2026-11-30 23:59:59", "Y", "garbage"},
                                         {"9811111111", "d", "2026-12-04 00:00:00", "Y", "0501245140309"},
                                         {"9822222222", "e", "2026-12-02 12:00:00", "N", "0501245140309"},
                                         {"9833333333", "f", "2026-12-02 13:00:00", "P", "0501245140309"},
                                         {"9844444444", "g", "2026-12-01 08:00:00", "X", "0501245140309"}};
        for (const QVariantList& r : ledger)
            m_db->ledger(r[0].toString(),
                         {{"msg", "s-" + r[1].toString()},
                          {"Reply", "r-" + r[1].toString()},
                          {"SDTTm", r[2]},
                          {"Status", r[3]},
                          {Stamp, r[4]},
                          {"Extra1", r[1].toString() == u"g" ? QVariant("kept") : QVariant()}});
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_screen = std::make_unique<ReportWindow>(m_db->store(), m_db->context().clock());
        m_screen->show();
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
        row("empty", "", QDate(), Unreadable);
        row("too short", "050124514030", QDate(), Unreadable);
        row("too long", "0501245140309000", QDate(), Unreadable);
        row("day of year disagrees", "0501246140309", QDate(), Unreadable);
        row("day of year with leading zero", "05012405140309", QDate(), Unreadable);
        row("no such day", "31022024120000", QDate(), Unreadable);
        row("a letter inside", "05012024a40309", QDate(), Unreadable);
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
        const QVariant sql = m_db->store().scalar(u"select queue_day(?)"_s, {stamp});
        QCOMPARE(sql.isNull(), number == 0);
        if (number)
            QCOMPARE(sql.toInt(), number);
    }

    // A readable stamp is written, a filled day kept, a missing or unreadable stamp left Null.
    void backfill()
    {
        QCOMPARE(MessageReport::backfillQueueDay(m_db->store()), 4);
        QCOMPARE(extra1(), Backfilled);
        QCOMPARE(MessageReport::backfillQueueDay(m_db->store()), 0);
    }

    void csvLine_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << QStringList{"9812345678", "hello"} << u"9812345678,hello\r\n"_s;
        QTest::newRow("comma and quote")
            << QStringList{"a,b", "say \"hi\""} << u"\"a,b\",\"say \"\"hi\"\"\"\r\n"_s;
        QTest::newRow("line break") << QStringList{"one\r\ntwo"} << u"\"one\r\ntwo\"\r\n"_s;
        QTest::newRow("leading blank kept") << QStringList{" 98", ""} << u"\" 98\",\r\n"_s;
    }

    void csvLine()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, line);
        QCOMPARE(MessageReport::csvLine(fields), line);
    }

    // Every row of the list on show goes out, past the ones the grid has fetched, without hidden columns.
    void exportRows()
    {
        QTemporaryDir dir;
        show(0);
        for (int i = 0; i < 300; ++i)
            m_db->ledger(u"97%1"_s.arg(i, 8, 10, QChar(u'0')), {{"msg", "x, \"y\""}, {"Status", "Y"}});
        click(u"JOk"_s);
        m_prompt->saveFiles << dir.filePath(u"rows.csv"_s);
        TaskWait::run(m_screen->exportRows());
        QFile file(dir.filePath(u"rows.csv"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 304);
        QCOMPARE(lines[0], u"Mobile,Massage,RDateTime,SDateTime,Status"_s);
        QVERIFY(lines.contains(u"9812345678,s-a,011226335100000,2026-12-01 00:00:00,Y"_s));
        QCOMPARE(lines.filter(u"97"_s).filter(u",\"x, \"\"y\"\"\","_s).size(), 300);
        QCOMPARE(m_prompt->messageTexts().size(), 1);
    }

    // Numbers and stamps read whole; a width the operator sets outlives the window.
    void columnWidths()
    {
        show(0);
        const QFontMetrics metrics = grid()->fontMetrics();
        QVERIFY(grid()->columnWidth(0) > metrics.horizontalAdvance(u"9812345678"_s));
        QVERIFY(grid()->columnWidth(3) > metrics.horizontalAdvance(u"2026-12-01 00:00:00"_s));
        grid()->horizontalHeader()->resizeSection(0, 333);
        m_screen = std::make_unique<ReportWindow>(m_db->store(), m_db->context().clock());
        m_screen->show();
        show(0);
        QCOMPARE(grid()->columnWidth(0), 333);
        show(1); // the queued list keeps its own widths
        QVERIFY(grid()->columnWidth(0) != 333);
        SettingsKeys::userSettings()->remove(SettingsKeys::ReportColumns);
    }

    // Per day: delivered, undelivered, awaiting (any other letter), queued by the day of its stamp.
    void summary_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("days");
        QTest::addColumn<QString>("totals");
        const QDate n30(2026, 11, 30), d1(2026, 12, 1), d3(2026, 12, 3), d5(2026, 12, 5);
        QTest::newRow("1 to 3 Dec") << d1 << d3
                                    << QStringList{"2026-12-01 1 0 1 1", "2026-12-02 0 1 1 1",
                                                   "2026-12-03 1 0 0 1"}
                                    << u"2 1 2 3"_s;
        QTest::newRow("empty days kept") << d5 << d5 << QStringList{"2026-12-05 0 0 0 0"} << u"0 0 0 0"_s;
        QTest::newRow("30 Nov, both stamp forms")
            << n30 << n30 << QStringList{"2026-11-30 1 0 0 1"} << u"1 0 0 1"_s;
        QTest::newRow("reversed") << d3 << d1 << QStringList{} << u"0 0 0 0"_s;
        // A range longer than the summary covers keeps its last days.
        QTest::newRow("cut to its last days") << QDate(2020, 1, 1) << d1 << QStringList{} << u"2 0 1 2"_s;
    }

    void summary()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, days);
        QFETCH(QString, totals);
        const auto line = [](const MessageReport::DayCounts& d) {
            return u"%1 %2 %3 %4"_s.arg(d.delivered).arg(d.undelivered).arg(d.awaiting).arg(d.queued);
        };
        const MessageReport::Summary s = MessageReport::summary(m_db->store(), from, to);
        QCOMPARE(line(s.totals), totals);
        if (from.daysTo(to) >= MessageReport::MaxSummaryDays) {
            QCOMPARE(s.days.size(), MessageReport::MaxSummaryDays);
            QCOMPARE(s.days.back().day, to);
            return;
        }
        QStringList shown;
        for (const MessageReport::DayCounts& d : s.days)
            shown << d.day.toString(Qt::ISODate) + u' ' + line(d);
        QCOMPARE(shown, days);
    }

    void backfillInChunks_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::addColumn<int>("stopAfter"); // progress reports answered "go on"; -1: all of them
        QTest::newRow("one row a chunk") << 1 << -1;
        QTest::newRow("two rows, last chunk short") << 2 << -1;
        QTest::newRow("the whole ledger at once") << 7 << -1;
        QTest::newRow("larger than the ledger") << 20000 << -1;
        QTest::newRow("stopped after the first chunk") << 2 << 0;
        QTest::newRow("stopped half-way") << 3 << 1;
        QTest::newRow("stopped before the last row") << 1 << 5;
    }

    // Chunk by chunk the same rows are written as by one statement, a stopped fill goes on from where it
    // stopped, and the rows looked at only grow, up to the ledger's.
    void backfillInChunks()
    {
        QFETCH(int, chunk);
        QFETCH(int, stopAfter);
        QList<qint64> examined, totals;
        int answers = 0;
        const auto progress = [&](const MessageReport::BackfillProgress& p) {
            examined << p.examined;
            totals << p.total;
            return stopAfter < 0 || answers++ < stopAfter;
        };
        const MessageReport::BackfillProgress first =
            TaskWait::run(MessageReport::backfillQueueDayInChunks(m_db->store(), 0, progress, chunk));
        QVERIFY(std::is_sorted(examined.begin(), examined.end()));
        QCOMPARE(std::adjacent_find(examined.begin(), examined.end()), examined.end());
        QCOMPARE(totals, QList<qint64>(examined.size(), 7));
        QCOMPARE(first.total, 7);
        QCOMPARE(first.examinedUpTo, first.examined);
        QCOMPARE(examined.last(), first.examined);
        if (stopAfter < 0) {
            QCOMPARE(examined.size(), (7 + chunk - 1) / chunk);
            QCOMPARE(first.examined, 7);
        } else {
            QCOMPARE(examined.size(), stopAfter + 1);
            QCOMPARE(first.examined, qint64(chunk) * (stopAfter + 1));
        }
        QCOMPARE(extra1(), filledUpTo(first.examinedUpTo));

        const MessageReport::BackfillProgress rest = TaskWait::run(
            MessageReport::backfillQueueDayInChunks(m_db->store(), first.examinedUpTo, {}, chunk));
        QCOMPARE(rest.total, 7 - first.examinedUpTo);
        QCOMPARE(rest.examinedUpTo, 7);
        QCOMPARE(first.written + rest.written, 4);
        QCOMPARE(extra1(), Backfilled);
    }

    // A queued row goes only when its key, number and stamp all still match.
    void deleteQueued()
    {
        StoreFixture db;
        const QVariant mobile("9812345678"), doy("011226335100000");
        QList<qint64> keys;
        for (const QVariant& stamp : {doy, doy, QVariant("02122026090000"), QVariant()})
            keys << db.queue(mobile.toString(), u"m%1"_s.arg(keys.size()), {{Stamp, stamp}});
        // The key of another row with the same number and stamp.
        QCOMPARE(MessageReport::deleteQueued(db.store(), keys[2], mobile, doy), 0);
        QCOMPARE(MessageReport::deleteQueued(db.store(), keys[1], mobile, doy), 1);
        QCOMPARE(MessageReport::deleteQueued(db.store(), keys[3], mobile, QVariant()), 1);
        QCOMPARE(db.column(u"select msg from Rsms order by rowid"_s), (QStringList{"m0", "m2"}));
    }

    void showList_data()
    {
        QTest::addColumn<ListCase>("c");
        const auto row = [](const char* name, const ListCase& c) { QTest::newRow(name) << c; };
        const QDate none, d1(2026, 12, 1), d2(2026, 12, 2), d3(2026, 12, 3);
        row("queued at once", {-1, "", none, none, -1, AllQueued, {"", ""}});
        row("queued, 98", {1, "98", none, none, 0, {"q-b", "q-a", "w-3", "w-1", "w-4", "w-2", "q-f"}});
        row("queued, blank 98", {1, " 98", none, none, 0, {"q-d"}});
        row("queued, 0", {1, "0", none, none, 0, AllQueued});
        row("queued, quote first", {1, "'98", none, none, 0, AllQueued});
        row("queued, 098", {1, "098", none, none, 0, {}});
        row("queued, underscore literal", {1, "98_", none, none, 0, {"q-f"}});
        row("queued, percent literal", {1, "98%", none, none, 0, {}});
        row("queued, an injection", {1, "9' or '1'='1", none, none, 0, {}});
        // Past a letter the typed text is matched by LIKE alone: its escapes must hold there too.
        row("queued, a letter", {1, "98a", none, none, 0, {"w-3", "w-1", "w-4", "w-2"}});
        row("queued, backslash after a letter", {1, "98a\\", none, none, 0, {"w-4"}});
        row("queued, 1 to 3 Dec", {1, "", d1, d3, 0, {"q-c", "q-b", "q-a"}});
        row("queued, 2 Dec", {1, "", d2, d2, 0, {"q-a"}});
        row("queued, dates reversed", {1, "", d3, d1, 0, {}});
        row("queued, 98 and 1 to 3 Dec", {1, "98", d1, d3, 0, {"q-b", "q-a"}});
        QStringList byMessage = AllQueued; // q-a to q-h, then w-1 to w-4
        byMessage.sort();
        row("queued, by message", {1, "", none, none, 2, byMessage});
        row("delivered", {0, "", none, none, 0, {"s-c", "s-a", "s-b", "s-d"}, {"r-c", "r-a"}});
        row("delivered, 1 to 3 Dec", {0, "", d1, d3, 0, {"s-a", "s-b"}});
        row("delivered, by mobile", {0, "", none, none, 1, {"s-b", "s-c", "s-d", "s-a"}, {"r-b", "r-c"}});
        row("delivered, by message", {0, "", none, none, 2, {"s-a", "s-b", "s-c", "s-d"}});
        row("delivered, 981", {0, "981", none, none, 0, {"s-a", "s-d"}});
        row("delivered, 98 and 1 to 3 Dec", {0, "98", d1, d3, 0, {"s-a"}});
        row("undelivered", {2, "", none, none, 0, {"s-e"}, {"r-e", "r-e"}});
        row("awaiting, any other letter", {3, "", none, none, 0, {"s-g", "s-f"}, {"r-g", "r-f"}});
    }

    void showList()
    {
        QFETCH(ListCase, c);
        if (c.order >= 0) { // from another order, so that the click is a change
            click(u"Option1_%1"_s.arg((c.order + 1) % 3));
            click(u"Option1_%1"_s.arg(c.order));
        }
        child<QCheckBox>(u"ChDate"_s)->setChecked(c.from.isValid());
        if (c.from.isValid()) {
            child<QDateEdit>(u"DT1"_s)->setDate(c.from);
            child<QDateEdit>(u"DT2"_s)->setDate(c.to);
        }
        show(c.view, c.typed);
        QVERIFY(m_prompt->messages.isEmpty());
        QCOMPARE(listed(), c.shown);
        QCOMPARE(text(u"LBSMS"_s), QString::number(c.shown.size()));
        // The queued list hides its rows' keys, a sent list the reply it shows below the grid.
        const bool queued = c.view < 0 || c.view == 1;
        QCOMPARE(model()->columnCount(), queued ? 4 : 6);
        for (int column = 0; column < model()->columnCount(); ++column)
            QCOMPARE(grid()->isColumnHidden(column), column == (queued ? 3 : 5));
        if (c.replies.isEmpty())
            return;
        const QRect cell = grid()->visualRect(model()->index(0, 0));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(text(u"LBMass"_s), c.replies[0]);
        QTest::keyClick(grid(), Qt::Key_Down);
        QCOMPARE(text(u"LBMass"_s), c.replies[1]);
    }

    // The count comes from the store, not from the rows the grid has fetched so far.
    void largeQueueIsFetchedLazily()
    {
        Store::Transaction tx(m_db->store());
        for (int i = 0; i < 1000; ++i)
            m_db->queue(QString::number(9000000000LL + i), u"m"_s);
        tx.commit();
        show(1);
        QCOMPARE(text(u"LBSMS"_s), u"1012");
        QVERIFY(model()->rowCount() > 0);
        QVERIFY(model()->rowCount() < 1012);
    }

    void deleteKey_data()
    {
        QTest::addColumn<DeleteCase>("c");
        const auto row = [](const char* name, const DeleteCase& c) { QTest::newRow(name) << c; };
        const Prompt::Answer yes = Prompt::Answer::Yes, unasked = Prompt::Answer::Cancel;
        row("queued, yes", {1, 1, "", 5, yes, "q-b"});
        row("queued, missing stamp, yes", {1, 1, "", 2, yes, "q-g"});
        row("queued, no", {1, 1, "", 5, Prompt::Answer::No, ""});
        row("queued list, sent option ticked since", {1, 0, "", 5, yes, "q-b"});
        row("last row of the list", {1, 1, "98_", 0, yes, "q-f"});
        row("no row selected", {1, 1, "", -1, unasked, ""});
        row("delivered row with the number and stamp of a queued one", {0, 0, "", 1, unasked, ""});
        row("sent list, queued option ticked since", {0, 1, "", 1, unasked, ""});
    }

    void deleteKey()
    {
        QFETCH(DeleteCase, c);
        QTest::keyClick(grid(), Qt::Key_Delete); // nothing listed yet
        show(c.view, c.typed);
        click(u"OP_%1"_s.arg(c.tickedAfterShow));
        QStringList queued = m_db->column(u"select msg from Rsms order by rowid"_s);
        QStringList shown = listed();
        m_prompt->answers = {c.answer};
        grid()->setFocus();
        grid()->setCurrentIndex(model()->index(c.row, 0));
        QTest::keyClick(grid(), Qt::Key_Delete);

        const bool asked = c.answer != Prompt::Answer::Cancel;
        QCOMPARE(m_prompt->questions.size(), asked ? 1 : 0);
        if (asked)
            QCOMPARE(m_prompt->questions[0].text, u"Are You Sure Want To Delete This Massage ");
        queued.removeOne(c.deleted);
        shown.removeOne(c.deleted);
        QCOMPARE(m_db->column(u"select msg from Rsms order by rowid"_s), queued);
        QCOMPARE(m_db->count(u"sms"_s), 7);
        QCOMPARE(listed(), shown);
        QCOMPARE(text(u"LBSMS"_s), QString::number(shown.size()));
        if (shown.isEmpty())
            QCOMPARE(model()->columnCount(), 0);
        QVERIFY(m_prompt->messages.isEmpty());
    }

    void showListInChunks_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::addColumn<QList<int>>("progress"); // rows the bar shows as prepared, in turn
        QTest::addColumn<bool>("closeDuringFill");
        QTest::newRow("one chunk: listed at once") << 20000 << QList<int>{} << false;
        QTest::newRow("chunks of two") << 2 << QList<int>{2, 4, 6} << false;
        QTest::newRow("chunks of three") << 3 << QList<int>{3, 6} << false;
        QTest::newRow("closed during the fill") << 2 << QList<int>{} << true;
    }

    // A ledger larger than a chunk shows the progress, then the list; S&HOW meanwhile starts nothing.
    void showListInChunks()
    {
        QFETCH(int, chunk);
        QFETCH(QList<int>, progress);
        QFETCH(bool, closeDuringFill);
        m_screen->setBackfillChunkRows(chunk);
        auto* bar = child<QProgressBar>(u"backfillProgress"_s);
        QVERIFY(bar && bar->isHidden());
        QList<int> shown;
        connect(bar, &QProgressBar::valueChanged, this, [&shown](int value) { shown << value; });
        int lists = 0;
        connect(model(), &QAbstractItemModel::modelReset, this, [&lists] { ++lists; });
        show(0);
        const bool atOnce = chunk >= 7;
        QCOMPARE(m_screen->shownView().has_value(), atOnce);
        if (closeDuringFill) {
            m_screen.reset();
            while (QGuiApplication::overrideCursor())
                QCoreApplication::processEvents();
            QCOMPARE(extra1(), filledUpTo(chunk)); // stopped after the chunk that ran before the close
            return;
        }
        QCOMPARE(child<QAbstractButton>(u"JOk"_s)->isEnabled(), atOnce);
        m_screen->showList(); // a second S&HOW, even if the button could not be pressed
        bool barSeen = false;
        while (QGuiApplication::overrideCursor()) { // while any fill runs
            QCoreApplication::processEvents();
            barSeen = barSeen || bar->isVisible();
        }
        QCOMPARE(lists, atOnce ? 2 : 1); // listed once more only when the first fill had ended
        QCOMPARE(barSeen, !progress.isEmpty());
        QCOMPARE(shown, progress);
        if (!progress.isEmpty())
            QCOMPARE(bar->text(), u"Preparing the report: %1 of 7 rows"_s.arg(progress.last()));
        QVERIFY(bar->isHidden());
        QVERIFY(child<QAbstractButton>(u"JOk"_s)->isEnabled());
        QCOMPARE(extra1(), Backfilled);
        QCOMPARE(text(u"LBSMS"_s), u"4");
        QCOMPARE(model()->rowCount(), 4);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void storeFailureIsReported()
    {
        show(1);
        QCOMPARE(extra1(), Backfilled); // the queued view back-fills the ledger too
        m_db->store().exec(u"alter table Rsms rename to Rsms_gone"_s);
        show(1);
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
        QVERIFY(m_prompt->messages[0].text.contains(u"Rsms"));
        QCOMPARE(listed(), AllQueued); // the list on show stays
        QCOMPARE(text(u"LBSMS"_s), u"12");
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void registeredScreen()
    {
        m_screen.reset();
        registerReportScreens(m_db->context());
        QWidget* first = ScreenRegistry::instance().show(Screens::Report);
        QVERIFY(qobject_cast<ReportWindow*>(first));
        // The dates open on the engine's day, which need not be the wall clock's.
        QCOMPARE(first->findChild<QDateEdit*>(u"DT1"_s)->date(), StoreFixture::fixedNow().date());
        QCOMPARE(ScreenRegistry::instance().show(Screens::Report), first);
        delete first;
        ScreenRegistry::instance().clear();
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"

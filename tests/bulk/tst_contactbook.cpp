#include "StoreFixture.h"
#include "TaskWait.h"

#include "bulk/ContactBook.h"
#include "bulk/ContactImport.h"
#include "bulk/Recipients.h"
#include "core/StoreError.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
const QString A = "9876543210";
const QString B = "9123456789";
using Grid = QList<QStringList>;
using R = ContactBook::SaveResult;

void contact(StoreFixture& f, const QVariant& name, const QVariant& mobile, const QVariant& group)
{
    f.insert("Clist", {{"Nm", name}, {"mob", mobile}, {"GRP", group}});
}

QStringList texts(const QList<ContactBook::Entry>& entries)
{
    QStringList out;
    for (const auto& e : entries)
        out << e.text();
    return out;
}

ContactImport::CellReader cellsOf(const Grid& grid)
{
    return [grid](int row, int column) {
        if (row < 1 || row > grid.size() || column < 1 || column > grid[row - 1].size())
            return QString();
        return grid[row - 1][column - 1];
    };
}

ContactImport::Plan read(const Grid& grid, ContactImport::Target target = ContactImport::Target::Contacts,
                         const QString& group = "G")
{
    return TaskWait::run(ContactImport::read(cellsOf(grid), target, group, nullptr));
}
} // namespace

class TestContactBook : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recipientList_data()
    {
        QTest::addColumn<QString>("joined");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("box B A B and a final break")
            << Recipients::fromNumberBox(B + "\r\n" + A + "\r\n" + B + "\r\n") << QStringList{A, B};
        QTest::addRow("box with LF breaks")
            << Recipients::fromNumberBox(B + "\n" + A + "\n\n" + B) << QStringList{A, B};
        QTest::addRow("contacts") << Recipients::fromContacts({B, A}) << QStringList{A, B};
        QTest::addRow("character codes, not values") << "9,10,100" << QStringList{"9", "100", "10"};
        QTest::addRow("final zero kept") << "9876543210,9876543211" << QStringList{"9876543211", A};
        QTest::addRow("leading zero kept") << "0876543210,9" << QStringList{"9", "0876543210"};
        QTest::addRow("blanks around dropped") << " 12 ,12,,\t" << QStringList{"12"};
        QTest::addRow("nothing") << "" << QStringList{};
        QTest::addRow("only breaks") << Recipients::fromNumberBox("\r\n\r\n") << QStringList{};
    }
    void recipientList()
    {
        QFETCH(QString, joined);
        QFETCH(QStringList, expected);
        QCOMPARE(Recipients::recipientList(joined), expected);
    }

    void save_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("group");
        QTest::addColumn<R>("result");
        QTest::addColumn<QString>("storedGroup");
        QTest::addRow("five digits") << u"12345"_s << QString() << R::BadNumber << QString();
        QTest::addRow("eleven digits") << u"98765432101"_s << QString() << R::BadNumber << QString();
        QTest::addRow("ten with a letter") << u"98765x3210"_s << QString() << R::BadNumber << QString();
        QTest::addRow("empty") << QString() << u"STAFF"_s << R::BadNumber << QString();
        QTest::addRow("no group is Non") << A << QString() << R::Saved << u"Non"_s;
        QTest::addRow("group kept") << A << u"STAFF"_s << R::Saved << u"STAFF"_s;
        QTest::addRow("leading zero kept") << u"0876543210"_s << u"STAFF"_s << R::Saved << u"STAFF"_s;
    }
    void save()
    {
        QFETCH(QString, number);
        QFETCH(QString, group);
        QFETCH(R, result);
        QFETCH(QString, storedGroup);

        StoreFixture f;
        ContactBook book(f.store());
        QSignalSpy announced(&ContactEvents::instance(), &ContactEvents::groupsChanged);
        QCOMPARE(book.save(number, "RAVI", group).result, result);
        QCOMPARE(announced.size(), result == R::Saved ? 1 : 0);
        if (result != R::Saved) {
            QCOMPARE(f.count("Clist"), 0);
            return;
        }
        QCOMPARE(f.column("select Nm || '|' || mob || '|' || GRP from Clist"),
                 QStringList{"RAVI|" + number + "|" + storedGroup});
        // The same number in the same group again: found, not stored, not announced.
        const auto again = book.save(number, "OTHER", group);
        QCOMPARE(again.result, R::AlreadyThere);
        QCOMPARE(again.foundGroup, storedGroup);
        QCOMPARE(f.count("Clist"), 1);
        QCOMPARE(announced.size(), 1);
        // In another group it is a second contact.
        QCOMPARE(book.save(number, "RAVI", "OTHER").result, R::Saved);
        QCOMPARE(f.count("Clist"), 2);
    }

    void tooWideValuesAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("group");
        QTest::addRow("name of 51") << QString(51, u'N') << "G";
        QTest::addRow("group of 26") << "RAVI" << QString(26, u'G');
    }
    void tooWideValuesAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, group);
        StoreFixture f;
        ContactBook book(f.store());
        QVERIFY_THROWS_EXCEPTION(StoreError, book.save(A, name, group));
        QCOMPARE(f.count("Clist"), 0);
        // At the limit it fits.
        QCOMPARE(book.save(A, QString(50, u'N'), QString(25, u'G')).result, R::Saved);
    }

    void earlierTextsAreTheLatestOnes_data()
    {
        // The ledger: `old` rows of texts "old<n>", then `recent` rows of texts "t<n % distinct>", in
        // the order sent; and what the drop-down shows: its first text, its count and its last text.
        QTest::addColumn<int>("old");
        QTest::addColumn<int>("recent");
        QTest::addColumn<int>("distinct");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("repeated texts, newest first, each once")
            << 0 << 7 << 3 << QStringList{"t1", "3", "t2"};
        QTest::newRow("more texts than shown: the latest")
            << 0 << 700 << 100000
            << QStringList{"t700", QString::number(ContactBook::EarlierTextsShown), "t201"};
        QTest::newRow("texts sent only before the latest rows are left out")
            << 5 << ContactBook::EarlierTextsRows << 1 << QStringList{"t0", "1", "t0"};
    }
    void earlierTextsAreTheLatestOnes()
    {
        QFETCH(int, old);
        QFETCH(int, recent);
        QFETCH(int, distinct);
        QFETCH(QStringList, expected);
        StoreFixture f;
        f.store().exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < ?) "
                       "insert into sms (Mobile, msg) select i, case when i <= ? then 'old' || i "
                       "else 't' || ((i - ?) % ?) end from n",
                       {old + recent, old, old, distinct});
        f.store().exec("insert into sms (Mobile, msg) values ('0', null)");
        const QStringList texts = ContactBook::fillFromQuery(f.store(), ContactBook::EarlierTextsSql);
        QCOMPARE((QStringList{texts.value(0), QString::number(texts.size()), texts.value(texts.size() - 1)}),
                 expected);
    }
    void entriesGroupsAndDeletes()
    {
        StoreFixture f;
        contact(f, "RAVI", "9000000002", "G");
        contact(f, QVariant(), "9000000003", "G");
        contact(f, "NOMOB", QVariant(), "G");
        contact(f, "ASHA", "9000000001", "G");
        contact(f, "NOGROUP", "9000000005", QVariant());
        for (const char* g : {"STAFF", "OTHER"}) {
            contact(f, "RAVI", A, g);
            contact(f, "ASHA", B, g);
        }
        ContactBook book(f.store());
        book.insert("O'BRIEN", A, "IT'S");
        // A Null number, name or group gives no entry; the rest keep the store's order.
        const auto entries = book.entries("G");
        QCOMPARE(texts(entries), (QStringList{"9000000002-RAVI", "9000000001-ASHA"}));
        QCOMPARE(entries[1].mobile, u"9000000001");
        QStringList groups = book.groups();
        groups.sort();
        QCOMPARE(groups, (QStringList{"G", "IT'S", "OTHER", "STAFF"}));
        // Quotes are stored and matched as typed.
        QCOMPARE(texts(book.entries("IT'S")), QStringList{A + "-O'BRIEN"});
        QCOMPARE(book.deleteEntries("IT'S", {A + "-O'BRIEN"}), 1);
        QCOMPARE(book.deleteEntries("STAFF", {A + "-RAVI", B + "-ASHA"}), 2);
        QCOMPARE(book.deleteEntries("OTHER", {A + "-ASHA"}), 0); // names no contact
        QCOMPARE(f.column("select GRP from Clist where mob in (?, ?)", {A, B}),
                 (QStringList{"OTHER", "OTHER"}));
        QVERIFY_THROWS_EXCEPTION(StoreError, ContactBook::fillFromQuery(f.store(), "select x from nowhere"));
    }

    void importReadsRows_data()
    {
        QTest::addColumn<Grid>("grid");
        QTest::addColumn<QStringList>("mobiles");
        QTest::addColumn<int>("rowsRead");
        QTest::addRow("the spreadsheet case")
            << Grid{{"Mobile", "Name"}, {A, "RAVI"}, {"12345", "X"}, {}, {B, "ASHA"}} << QStringList{A} << 3;
        QTest::addRow("bound is exclusive")
            << Grid{{"90000000"}, {"90000001"}} << QStringList{"90000001"} << 2;
        QTest::addRow("leading blanks and trailing text")
            << Grid{{" 9876543210 (home)"}, {"+9123456789"}} << QStringList{A, B} << 2;
        QTest::addRow("text with a leading zero reads its value")
            << Grid{{"0987654321"}} << QStringList{"987654321"} << 1;
        QTest::addRow("a blank cell is no empty cell") << Grid{{" "}, {A}} << QStringList{A} << 2;
        QTest::addRow("empty sheet") << Grid{} << QStringList{} << 0;
    }
    void importReadsRows()
    {
        QFETCH(Grid, grid);
        QFETCH(QStringList, mobiles);
        QFETCH(int, rowsRead);
        const ContactImport::Plan plan = read(grid);
        QStringList got;
        for (const auto& r : plan.rows)
            got << r.mobile;
        QCOMPARE(got, mobiles);
        QCOMPARE(plan.rowsRead, rowsRead);
    }

    void importReadsAtMostTenThousandRows()
    {
        int asked = 0;
        auto cells = [&asked](int row, int column) {
            if (column == 1)
                asked = std::max(asked, row);
            return column == 1 ? QString::number(9000000000LL + row) : u"N"_s;
        };
        int progressCalls = 0;
        ContactImport::Control control;
        control.yieldEvery = 1000;
        control.progress = [&progressCalls](int) { ++progressCalls; };
        StoreFixture f;
        const ContactImport::Plan plan =
            TaskWait::run(ContactImport::read(cells, ContactImport::Target::Contacts, "G", &control));
        QCOMPARE(plan.rows.size(), ContactImport::MaxRows);
        QCOMPARE(asked, ContactImport::MaxRows);
        QVERIFY(progressCalls >= 10);
        QCOMPARE(ContactImport::store(f.store(), plan, "G"), ContactImport::MaxRows);
        QCOMPARE(f.column("select count(distinct mob) from Clist where GRP = 'G'"),
                 QStringList{QString::number(ContactImport::MaxRows)});
        // Cancelled from the progress report: the read stops with an exception.
        control.progress = [&control](int rows) { control.cancelled = rows >= 2000; };
        QVERIFY_THROWS_EXCEPTION(
            ContactImport::Cancelled,
            TaskWait::run(ContactImport::read(cells, ContactImport::Target::Contacts, "G", &control)));
    }

    void tooWideRowStopsTheImport_data()
    {
        QTest::addColumn<Grid>("grid");
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("boxRows"); // numbers the same rows give the number box
        QTest::addRow("eleven digits") << Grid{{A, "RAVI"}, {"98765432101", "X"}} << "G" << 2 << 2;
        QTest::addRow("name of 51") << Grid{{A, QString(51, u'N')}} << "G" << 1 << 1;
        QTest::addRow("group of 26") << Grid{{"x"}, {A, "RAVI"}} << QString(26, u'G') << 2 << 1;
    }
    void tooWideRowStopsTheImport()
    {
        QFETCH(Grid, grid);
        QFETCH(QString, group);
        QFETCH(int, row);
        QFETCH(int, boxRows);
        try {
            read(grid, ContactImport::Target::Contacts, group);
            QFAIL("read");
        } catch (const ContactImport::RowError& error) {
            QCOMPARE(error.row(), row);
            QVERIFY2(error.text().startsWith(u"Row %1:"_s.arg(row)), qPrintable(error.text()));
        }
        // The number box holds numbers only: nothing there is too wide.
        QCOMPARE(read(grid, ContactImport::Target::NumberBox, group).rows.size(), boxRows);
    }
};

QTEST_GUILESS_MAIN(TestContactBook)
#include "tst_contactbook.moc"

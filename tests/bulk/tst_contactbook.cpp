#include "BulkTestSupport.h"

#include "bulk/ContactBook.h"

#include <QSignalSpy>
#include <QTest>

class TestContactBook : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void save_data();
    void save();
    void sameNumberOtherGroupIsSecondContact();
    void tooWideValuesAreRefused_data();
    void tooWideValuesAreRefused();
    void quotesAreStoredAsTyped();
    void entriesSkipNullAndKeepOrder();
    void deleteRemovesOnlyThatGroup();
    void fillFromQuerySkipsNullAndPassesErrors();
    void savingAnnouncesGroups();
};

void TestContactBook::save_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("storedGroup");
    QTest::addColumn<int>("rows");

    using R = ContactBook::SaveResult;
    QTest::newRow("five digits") << "12345"
                                 << "" << int(R::BadNumber) << "" << 0;
    QTest::newRow("eleven digits") << "98765432101"
                                   << "" << int(R::BadNumber) << "" << 0;
    QTest::newRow("ten with a letter") << "98765x3210"
                                       << "" << int(R::BadNumber) << "" << 0;
    QTest::newRow("empty") << ""
                           << "STAFF" << int(R::BadNumber) << "" << 0;
    QTest::newRow("no group is Non") << "9876543210"
                                     << "" << int(R::Saved) << "Non" << 1;
    QTest::newRow("group kept") << "9876543210"
                                << "STAFF" << int(R::Saved) << "STAFF" << 1;
    QTest::newRow("leading zero kept") << "0876543210"
                                       << "STAFF" << int(R::Saved) << "STAFF" << 1;
}

void TestContactBook::save()
{
    QFETCH(QString, number);
    QFETCH(QString, group);
    QFETCH(int, result);
    QFETCH(QString, storedGroup);
    QFETCH(int, rows);

    BulkFixture f;
    ContactBook book(f.store());
    const auto outcome = book.save(number, QStringLiteral("RAVI"), group);
    QCOMPARE(int(outcome.result), result);
    QCOMPARE(f.count(QStringLiteral("select count(*) from Clist")), rows);
    if (rows == 1) {
        QSqlQuery q = f.store().query(QStringLiteral("select Nm, mob, GRP from Clist"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("RAVI"));
        QCOMPARE(q.value(1).toString(), number);
        QCOMPARE(q.value(2).toString(), storedGroup);

        // The same number in the same group again: found, not stored.
        const auto again = book.save(number, QStringLiteral("OTHER"), group);
        QCOMPARE(again.result, ContactBook::SaveResult::AlreadyThere);
        QCOMPARE(again.foundGroup, storedGroup);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Clist")), 1);
    }
}

void TestContactBook::sameNumberOtherGroupIsSecondContact()
{
    BulkFixture f;
    ContactBook book(f.store());
    QCOMPARE(book.save(QStringLiteral("9876543210"), QStringLiteral("RAVI"), QString()).result,
             ContactBook::SaveResult::Saved);
    QCOMPARE(book.save(QStringLiteral("9876543210"), QStringLiteral("RAVI"), QStringLiteral("STAFF")).result,
             ContactBook::SaveResult::Saved);
    QCOMPARE(book.groups(), (QStringList{QStringLiteral("Non"), QStringLiteral("STAFF")}));
}

void TestContactBook::tooWideValuesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("group");
    QTest::newRow("name of 51") << QString(51, u'N') << "G";
    QTest::newRow("group of 26") << "RAVI" << QString(26, u'G');
}

void TestContactBook::tooWideValuesAreRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, group);
    BulkFixture f;
    ContactBook book(f.store());
    QVERIFY_THROWS_EXCEPTION(StoreError, book.save(QStringLiteral("9876543210"), name, group));
    QCOMPARE(f.count(QStringLiteral("select count(*) from Clist")), 0);
    // At the limit it fits.
    QCOMPARE(book.save(QStringLiteral("9876543210"), QString(50, u'N'), QString(25, u'G')).result,
             ContactBook::SaveResult::Saved);
}

void TestContactBook::quotesAreStoredAsTyped()
{
    BulkFixture f;
    ContactBook book(f.store());
    book.insert(QStringLiteral("O'BRIEN"), QStringLiteral("9876543210"), QStringLiteral("IT'S"));
    QCOMPARE(book.groups(), QStringList{QStringLiteral("IT'S")});
    const auto entries = book.entries(QStringLiteral("IT'S"));
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].text(), QStringLiteral("9876543210-O'BRIEN"));
    QCOMPARE(book.deleteEntries(QStringLiteral("IT'S"), {entries[0].text()}), 1);
    QCOMPARE(f.count(QStringLiteral("select count(*) from Clist")), 0);
}

void TestContactBook::entriesSkipNullAndKeepOrder()
{
    BulkFixture f;
    f.addContact(QStringLiteral("RAVI"), QStringLiteral("9000000002"), QStringLiteral("G"));
    f.store().exec(QStringLiteral("INSERT INTO Clist (Nm, mob, GRP) VALUES (NULL, '9000000003', 'G')"));
    f.store().exec(QStringLiteral("INSERT INTO Clist (Nm, mob, GRP) VALUES ('NOMOB', NULL, 'G')"));
    f.addContact(QStringLiteral("ASHA"), QStringLiteral("9000000001"), QStringLiteral("G"));
    f.addContact(QStringLiteral("ELSE"), QStringLiteral("9000000009"), QStringLiteral("H"));
    const auto entries = ContactBook(f.store()).entries(QStringLiteral("G"));
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].text(), QStringLiteral("9000000002-RAVI"));
    QCOMPARE(entries[1].text(), QStringLiteral("9000000001-ASHA"));
    QCOMPARE(entries[1].mobile, QStringLiteral("9000000001"));
}

void TestContactBook::deleteRemovesOnlyThatGroup()
{
    BulkFixture f;
    const QString a = QStringLiteral("9876543210"), b = QStringLiteral("9123456789");
    for (const QString& g : {QStringLiteral("STAFF"), QStringLiteral("OTHER")}) {
        f.addContact(QStringLiteral("RAVI"), a, g);
        f.addContact(QStringLiteral("ASHA"), b, g);
    }
    ContactBook book(f.store());
    QCOMPARE(book.deleteEntries(QStringLiteral("STAFF"),
                                {a + QStringLiteral("-RAVI"), b + QStringLiteral("-ASHA")}),
             2);
    QCOMPARE(f.count(QStringLiteral("select count(*) from Clist where GRP = 'STAFF'")), 0);
    QCOMPARE(f.count(QStringLiteral("select count(*) from Clist where GRP = 'OTHER'")), 2);
    // A text that names no contact removes nothing.
    QCOMPARE(book.deleteEntries(QStringLiteral("OTHER"), {a + QStringLiteral("-ASHA")}), 0);
}

void TestContactBook::fillFromQuerySkipsNullAndPassesErrors()
{
    BulkFixture f;
    f.addContact(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("G1"));
    f.store().exec(QStringLiteral("INSERT INTO Clist (Nm, mob, GRP) VALUES ('B', '2', NULL)"));
    f.addContact(QStringLiteral("C"), QStringLiteral("3"), QStringLiteral("G2"));
    QStringList groups = ContactBook::fillFromQuery(f.store(), ContactBook::GroupsSql);
    groups.sort();
    QCOMPARE(groups, (QStringList{QStringLiteral("G1"), QStringLiteral("G2")}));
    QVERIFY_THROWS_EXCEPTION(StoreError,
                             ContactBook::fillFromQuery(f.store(), QStringLiteral("select x from nowhere")));
}

void TestContactBook::savingAnnouncesGroups()
{
    BulkFixture f;
    QSignalSpy spy(&ContactEvents::instance(), &ContactEvents::groupsChanged);
    ContactBook book(f.store());
    book.save(QStringLiteral("12345"), QStringLiteral("X"), QString());
    QCOMPARE(spy.count(), 0);
    book.save(QStringLiteral("9876543210"), QStringLiteral("X"), QString());
    QCOMPARE(spy.count(), 1);
    book.save(QStringLiteral("9876543210"), QStringLiteral("X"), QString());
    QCOMPARE(spy.count(), 1);
}

QTEST_GUILESS_MAIN(TestContactBook)
#include "tst_contactbook.moc"

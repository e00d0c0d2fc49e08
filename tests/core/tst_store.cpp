#include "StoreFixture.h"

#include <QRandomGenerator>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
mode_t fileMode(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The column names of a table, lower-cased and sorted: what the engine needs, whatever their order.
QStringList columns(Store& store, const QString& table)
{
    QStringList names;
    QSqlQuery q = store.query(u"SELECT lower(name) FROM pragma_table_info(?) ORDER BY 1"_s, {table});
    while (q.next())
        names << q.value(0).toString();
    return names;
}

// An older store: sms as the oldest engine wrote it (no Reply, Try, Uname), every other table current.
std::unique_ptr<Store> oldStore(const QString& path)
{
    auto store = Store::openFile(path, true);
    store->exec(
        u"CREATE TABLE sms (Mobile text, msg text, RDtTM text, SDTTm datetime, typ integer, ANS text(50), "
        "Status text, Extra1 text)"_s);
    store->exec(u"INSERT INTO sms (Mobile, Status) VALUES ('1', 'P')"_s);
    Schema::createMissingTables(*store);
    return store;
}
} // namespace

class StoreTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void freshStoreIsCompleteAndOwnerOnly_data()
    {
        // Folder names that a connection string would have to escape.
        QTest::addColumn<QString>("folder");
        for (const QString& folder :
             {u"program files"_s, u"a#b?c"_s, u"x%20y"_s, u"\u0645\u062c\u0644\u062f"_s})
            QTest::addRow("%s", qPrintable(folder)) << folder;
    }
    void freshStoreIsCompleteAndOwnerOnly()
    {
        QFETCH(QString, folder);
        StoreFixture f;
        const QString path = f.path(folder + u"/SMS.db"_s);
        QVERIFY(QDir().mkpath(f.path(folder)));
        {
            const mode_t old = ::umask(0);
            auto store = Store::openFile(path, true);
            ::umask(old);
            QCOMPARE(store->path(), path);
            QCOMPARE(Schema::createMissingTables(*store), Schema::tableNames());
            QVERIFY(Schema::missingTables(*store).isEmpty());
            QVERIFY(Schema::createMissingTables(*store).isEmpty());
            QVERIFY(Schema::upgradeWithReport(*store).structuralChanges().isEmpty());
            store->exec(u"INSERT INTO GSMSet (Comm) VALUES ('5')"_s);
        }
        QCOMPARE(fileMode(path), mode_t(0600));
        // The data went into exactly that file, and it opens again.
        QCOMPARE(QDir(f.path(folder)).entryList(QDir::Files), QStringList{u"SMS.db"_s});
        QCOMPARE(Store::openFile(path, false)->scalar(u"SELECT Comm FROM GSMSet"_s).toString(), u"5"_s);

        ::chmod(QFile::encodeName(path).constData(), 0644);
        QVERIFY(Store::restrictToOwner(path));
        QCOMPARE(fileMode(path), mode_t(0600));
        QVERIFY(!Store::restrictToOwner(path));
    }
    void glistIdIsNeverHandedOutTwice()
    {
        StoreFixture f;
        for (const char* g : {"a", "b", "c"})
            f.insert(u"Glist"_s, {{u"Grp"_s, g}});
        f.store().exec(u"DELETE FROM Glist WHERE Grp = ?"_s, {u"c"_s});
        f.insert(u"Glist"_s, {{u"Grp"_s, u"d"_s}});
        QCOMPARE(f.column(u"SELECT Grp || id FROM Glist ORDER BY id"_s), QStringList({"a1", "b2", "d4"}));
    }
    void pendingCountFollowsEveryWriter_data()
    {
        // Statements run one after the other, each by this program or by another one (a second
        // connection, as a program writing the store with its own SQLite would).
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QList<bool>>("byOther");
        const QString add = u"INSERT INTO Rsms (Mobile, msg, urgent) VALUES ('%1', %2, 0)"_s;
        QTest::addRow("rows added by both, one without text")
            << QStringList{add.arg(1).arg(u"'a'"_s), add.arg(2).arg(u"'b'"_s), add.arg(3).arg(u"NULL"_s)}
            << QList<bool>{false, true, true};
        QTest::addRow("text set to Null and back, other columns changed")
            << QStringList{add.arg(1).arg(u"'a'"_s), add.arg(2).arg(u"'b'"_s),
                           u"UPDATE Rsms SET msg = NULL WHERE Mobile = '1'"_s,
                           u"UPDATE Rsms SET urgent = 10, msg = 'x' WHERE Mobile = '2'"_s,
                           u"UPDATE Rsms SET msg = 'again' WHERE Mobile = '1'"_s}
            << QList<bool>{false, false, true, false, true};
        QTest::addRow("deleted by number, then the whole queue")
            << QStringList{add.arg(1).arg(u"'a'"_s),  add.arg(1).arg(u"'b'"_s),
                           add.arg(2).arg(u"'c'"_s),  u"DELETE FROM Rsms WHERE Mobile = '1'"_s,
                           add.arg(3).arg(u"NULL"_s), u"DELETE FROM Rsms"_s,
                           add.arg(4).arg(u"'d'"_s)}
            << QList<bool>{true, false, false, false, true, true, false};
        QTest::addRow("another program's insert rolled back")
            << QStringList{add.arg(1).arg(u"'a'"_s), u"BEGIN"_s, add.arg(2).arg(u"'b'"_s), u"ROLLBACK"_s}
            << QList<bool>{false, true, true, true};
    }
    void pendingCountFollowsEveryWriter()
    {
        QFETCH(QStringList, statements);
        QFETCH(QList<bool>, byOther);
        StoreFixture f;
        auto other = Store::openFile(f.store().path(), false);
        for (int i = 0; i < statements.size(); ++i) {
            (byOther[i] ? *other : f.store()).exec(statements[i]);
            const qint64 counted = f.store().scalar(u"select count(msg) from Rsms"_s).toLongLong();
            QCOMPARE(Schema::pendingCount(f.store()), counted);
        }
    }
    void upgradeCountsTheQueueOnce()
    {
        StoreFixture f;
        auto store = Store::openFile(f.path(u"old.db"_s), true);
        Schema::createMissingTables(*store);
        // A store of the previous version: the queue without its count.
        store->exec(u"DROP TABLE RsmsCount"_s);
        for (const char* trigger : {"rsms_count_insert", "rsms_count_delete", "rsms_count_update"})
            store->exec(u"DROP TRIGGER %1"_s.arg(QLatin1String(trigger)));
        store->exec(u"PRAGMA user_version = 2"_s);
        for (const char* m : {"a", "b", "c"})
            store->exec(u"INSERT INTO Rsms (Mobile, msg) VALUES ('1', ?)"_s, {QString::fromLatin1(m)});
        store->exec(u"INSERT INTO Rsms (Mobile, msg) VALUES ('2', NULL)"_s);
        Schema::upgrade(*store);
        QCOMPARE(Schema::pendingCount(*store), 3);
        store->exec(u"DELETE FROM Rsms WHERE msg = 'a'"_s);
        QCOMPARE(Schema::pendingCount(*store), 2);
    }
    void queuePickUsesTheUrgentIndex()
    {
        StoreFixture f;
        Schema::upgrade(f.store());
        QSqlQuery q = f.store().query(u"EXPLAIN QUERY PLAN SELECT * FROM Rsms ORDER BY urgent LIMIT 1"_s);
        QString plan;
        while (q.next())
            plan += q.value(3).toString() + u'\n';
        QVERIFY2(plan.contains(u"ix_rsms_urgent"_s), qPrintable(plan));
        QVERIFY2(!plan.contains(u"TEMP B-TREE"_s), qPrintable(plan));
    }
    void upgradeBringsOlderStoreUpToDate_data()
    {
        QTest::addColumn<QStringList>("create");     // the older store's tables
        QTest::addColumn<QStringList>("rows");       // its sms rows
        QTest::addColumn<int>("expectedChanges");    // columns added plus tables created
        QTest::addColumn<QList<int>>("expectedTry"); // Try of the rows after the upgrade, in rowid order

        const QString sms =
            u"CREATE TABLE sms (Mobile text, msg text, RDtTM text, SDTTm datetime, typ integer, "
            "ANS text(%1), Status text, %2Extra1 text)"_s;
        const QString config =
            u"CREATE TABLE config (UName text, Password text, Provider text, balstr text, %1"
            "TmInterval integer, Smsid integer, ConSrt text, Defult integer)"_s;
        const QString rsms =
            u"CREATE TABLE Rsms (Mobile text, msg text, RDtTM text, urgent integer, typ integer, Extra1 text)"_s;
        const QString insert = u"INSERT INTO sms (Mobile, Status, Try) VALUES ('%1', '%2', %3)"_s;
        QTest::addRow("oldest: no Reply/Try/Uname, bare config, no small tables")
            << QStringList{sms.arg(50).arg(QString()), config.arg(QString()), rsms}
            << QStringList{"INSERT INTO sms (Mobile, msg, Status) VALUES ('111', 'one', 'P')",
                           "INSERT INTO sms (Mobile, msg, Status) VALUES ('222', 'two', 'Y')"}
            << 12 << QList<int>{0, 0};
        QTest::addRow("middle: Try with Nulls, no Uname, GsmSid only, Clist only")
            << QStringList{sms.arg(251).arg(u"Reply text(150), Try byte, "_s),
                           config.arg(u"GsmSid text(15), "_s), rsms,
                           u"CREATE TABLE Clist (Nm text (50),mob text (10),    GRP text(25) )"_s}
            << QStringList{insert.arg(111).arg(u'P').arg(u"NULL"_s), insert.arg(222).arg(u'P').arg(3),
                           insert.arg(333).arg(u'N').arg(u"NULL"_s)}
            << 8 << QList<int>{0, 3, 0};
    }
    void upgradeBringsOlderStoreUpToDate()
    {
        QFETCH(QStringList, create);
        QFETCH(QStringList, rows);
        QFETCH(int, expectedChanges);
        QFETCH(QList<int>, expectedTry);
        StoreFixture f;
        auto store = Store::openFile(f.path(u"old.db"_s), true);
        for (const QString& sql : create + rows)
            store->exec(sql);

        QCOMPARE(Schema::upgradeWithReport(*store).structuralChanges().size(), expectedChanges);
        QCOMPARE(Schema::missingTables(*store), QStringList());
        for (const QString& table : Schema::tableNames())
            QCOMPARE(columns(*store, table), columns(f.store(), table));
        QList<int> tries;
        QSqlQuery q = store->query(u"SELECT Try FROM sms ORDER BY rowid"_s);
        while (q.next()) {
            QVERIFY(!q.value(0).isNull());
            tries << q.value(0).toInt();
        }
        QCOMPARE(tries, expectedTry);
        QCOMPARE(Schema::storedVersion(*store), Schema::currentVersion());

        // The next start goes through silently: nothing left to add.
        const Schema::UpgradeReport again = Schema::upgradeWithReport(*store);
        QVERIFY(again.structuralChanges().isEmpty());
        QCOMPARE(again.tryNullsFixed(), 0);
    }
    void failedUpgradeLeavesTheStoreAsItWas_data()
    {
        QTest::addColumn<QString>("hinder");     // run on a second connection before the upgrade
        QTest::addColumn<QStringList>("reason"); // the statement and why
        QTest::addRow("another program holds the write lock")
            << "BEGIN IMMEDIATE" << QStringList{"BEGIN IMMEDIATE", "locked"};
        QTest::addRow("a statement after the first columns is refused")
            << "CREATE TRIGGER frozen BEFORE UPDATE ON sms BEGIN SELECT RAISE(ABORT, 'ledger frozen'); END"
            << QStringList{"\"update SMS set Try = 0 where try is null\"", "ledger frozen"};
    }
    void failedUpgradeLeavesTheStoreAsItWas()
    {
        QFETCH(QString, hinder);
        QFETCH(QStringList, reason);
        StoreFixture f;
        auto store = oldStore(f.path(u"old.db"_s));
        const QStringList before = columns(*store, u"sms"_s);
        {
            auto other = Store::openFile(store->path(), false);
            other->exec(hinder);
            try {
                Schema::upgradeWithReport(*store);
                QFAIL("the upgrade reported success");
            } catch (const StoreError& e) {
                for (const QString& part : reason + QStringList{store->path()})
                    QVERIFY2(e.text().contains(part), qPrintable(e.text()));
            }
            other->rollback();
            QCOMPARE(columns(*store, u"sms"_s), before);
            QCOMPARE(Schema::storedVersion(*store), 0);
            store->exec(u"DROP TRIGGER IF EXISTS frozen"_s);
        }
        // Once the hindrance is gone the same store upgrades.
        QCOMPARE(Schema::upgradeWithReport(*store).structuralChanges().size(), 3);
    }
    void upgradeTellsEachStep_data()
    {
        QTest::addColumn<qint64>("lastLedgerRow");
        QTest::addRow("small ledger") << qint64(2);
        QTest::addRow("ledger just short of slow") << Schema::SlowUpgradeRows - 1;
        QTest::addRow("ledger large enough to be slow") << Schema::SlowUpgradeRows;
    }
    // Steps counted 1 to n before each runs; the statements over the large ledger are the slow ones.
    void upgradeTellsEachStep()
    {
        QFETCH(qint64, lastLedgerRow);
        StoreFixture f;
        auto store = oldStore(f.path(u"old.db"_s));
        store->exec(u"INSERT INTO sms (rowid, Mobile, Status) VALUES (?, '1', 'P')"_s, {lastLedgerRow});
        QList<Schema::UpgradeStep> told;
        const Schema::UpgradeReport report =
            Schema::upgradeWithReport(*store, [&told](const Schema::UpgradeStep& step) { told << step; });
        QVERIFY(told.size() >= report.applied.size());
        const bool large = lastLedgerRow >= Schema::SlowUpgradeRows;
        const QRegularExpression overLedger(u"^(CREATE INDEX .* ON sms |update SMS )"_s);
        for (int i = 0; i < told.size(); ++i) {
            QCOMPARE(told[i].number, i + 1);
            QCOMPARE(told[i].steps, told.size());
            const bool ledgerStep = overLedger.match(told[i].statement).hasMatch();
            QCOMPARE(told[i].slow, large && ledgerStep);
            if (ledgerStep)
                QCOMPARE(told[i].tableRows, lastLedgerRow);
        }
    }
    void storeAtTheCurrentVersionIsLeftAlone()
    {
        StoreFixture f;
        auto store = oldStore(f.path(u"old.db"_s));
        store->exec(u"PRAGMA user_version = %1"_s.arg(Schema::currentVersion()));
        QVERIFY(Schema::upgradeWithReport(*store).applied.isEmpty());
        QVERIFY(!columns(*store, u"sms"_s).contains(u"try"_s));
    }
    void openErrorsNameTheFile_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("reason");
        QTest::addRow("missing folder") << u"missing-folder"_s << "does not exist";
        QTest::addRow("missing file") << u"missing-file"_s << "smsctl init";
        QTest::addRow("not a database") << u"random-bytes"_s << "not a database";
        QTest::addRow("a folder in its place") << u"directory"_s << "not a file";
        QTest::addRow("unreadable") << u"unreadable"_s << "permission denied";
        // A new connection must read the schema, which the exclusive lock keeps it from doing.
        QTest::addRow("locked by another connection") << u"locked"_s << "locked";
    }
    void openErrorsNameTheFile()
    {
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        StoreFixture f;
        QString path = f.path(u"dir/SMS.db"_s);
        QVERIFY(QDir().mkpath(f.path(u"dir"_s)));
        std::unique_ptr<Store> holder;
        if (setup == u"missing-folder"_s) {
            path = f.path(u"nowhere/SMS.db"_s);
        } else if (setup == u"random-bytes"_s) {
            QList<quint32> words(1024);
            QRandomGenerator(42).fillRange(words.data(), words.size());
            f.writeFile(u"dir/SMS.db"_s, QByteArray(reinterpret_cast<const char*>(words.data()), 4096));
        } else if (setup == u"directory"_s) {
            QVERIFY(QDir().mkpath(path));
        } else if (setup == u"unreadable"_s) {
            if (::geteuid() == 0)
                QSKIP("root reads every file");
            ::chmod(QFile::encodeName(f.writeFile(u"dir/SMS.db"_s, {})).constData(), 0);
        } else if (setup == u"locked"_s) {
            holder = Store::openFile(path, true);
            Schema::createMissingTables(*holder);
            // A writer of the log keeps readers going: only a program that
            // put the store back to a rollback journal can lock it this way.
            holder->scalar(u"PRAGMA journal_mode=DELETE"_s);
            holder->exec(u"BEGIN EXCLUSIVE"_s);
        }
        const auto entries = [&f] {
            return QDir(f.home()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot) +
                   QDir(f.path(u"dir"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        };
        const QStringList before = entries();

        try {
            Store::openFile(path, false);
            QFAIL("the store opened");
        } catch (const StoreError& e) {
            QVERIFY2(e.text().contains(QFileInfo(path).absoluteFilePath()), qPrintable(e.text()));
            QVERIFY2(e.text().contains(reason, Qt::CaseInsensitive), qPrintable(e.text()));
        }
        // Nothing was created in the attempt.
        QCOMPARE(entries(), before);
    }
    void fieldsAreReadByNameWithNullKept()
    {
        StoreFixture f;
        f.addProfile(u"u"_s, {{u"RepoStr"_s, QVariant()}});
        QSqlQuery q = f.store().query(u"SELECT * FROM config"_s);
        QVERIFY(q.next());
        const QSqlRecord r = q.record();
        QCOMPARE(Store::field(r, u"uname"_s).toString(), u"u"_s);
        QCOMPARE(Store::field(r, u"UNAME"_s).toString(), u"u"_s);
        QVERIFY(Store::field(r, u"repostr"_s).isNull());
        QCOMPARE(Store::text(r, u"RepoStr"_s), QString());
        QVERIFY_THROWS_EXCEPTION(StoreError, Store::field(r, u"NoSuchColumn"_s));
    }
    void statementsBindValuesAndReportRefusals()
    {
        StoreFixture f;
        const QString hostile = u"x'); DROP TABLE sms; --"_s;
        QCOMPARE(f.store().exec(u"INSERT INTO Rsms (Mobile, msg) VALUES (?, ?)"_s, {hostile, hostile}), 1);
        QVERIFY(f.store().tableExists(u"sms"_s));
        QCOMPARE(f.column(u"SELECT msg FROM Rsms WHERE Mobile = ?"_s, {hostile}), QStringList{hostile});
        try {
            f.store().exec(u"SELECT * FROM NoSuchTable"_s);
            QFAIL("no error");
        } catch (const StoreError& e) {
            QVERIFY(e.number() != 0);
            QVERIFY2(e.text().contains(u"no such table"_s), qPrintable(e.text()));
        }
    }
    void transactionRollsBackWithoutCommit()
    {
        StoreFixture f;
        {
            Store::Transaction t(f.store());
            f.queue(u"1"_s, u"dropped"_s);
        }
        {
            Store::Transaction t(f.store());
            f.queue(u"2"_s, u"kept"_s);
            t.commit();
        }
        QCOMPARE(f.column(u"SELECT msg FROM Rsms"_s), QStringList{"kept"});
    }
};

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store.moc"

#include "CoreTestSupport.h"

#include "core/Schema.h"
#include "core/Store.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace CoreTest;

namespace {
mode_t fileMode(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}
} // namespace

class StoreTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void freshStoreHasFullSchema();
    void freshStoreIsOwnerOnlyWhateverTheUmask();
    void restrictToOwnerTightensAnExistingFile();
    void folderNamesNeedNoEscaping_data();
    void folderNamesNeedNoEscaping();
    void glistIdIsAssignedAscending();
    void queuePickUsesTheUrgentIndex();
    void upgradeBringsOlderStoreUpToDate_data();
    void upgradeBringsOlderStoreUpToDate();
    void failedUpgradeLeavesTheStoreAsItWas_data();
    void failedUpgradeLeavesTheStoreAsItWas();
    void storeAtTheCurrentVersionIsLeftAlone();
    void openErrorsNameTheFile_data();
    void openErrorsNameTheFile();
    void lockedStoreFailsWithReason();
    void fieldsAreReadByNameWithNullKept();
    void valuesAreBoundNotSpliced();
    void transactionRollsBackWithoutCommit();
    void refusedStatementCarriesNumberAndText();
};

void StoreTest::freshStoreHasFullSchema()
{
    QTemporaryDir dir;
    auto store = Store::openFile(dir.filePath(QStringLiteral("SMS.db")), true);
    QCOMPARE(Schema::createMissingTables(*store), Schema::tableNames());
    QVERIFY(Schema::missingTables(*store).isEmpty());

    const QMap<QString, QStringList> expected = {
        {QStringLiteral("config"),
         {"UName", "Password", "Provider", "RepoStr", "balstr", "GsmSid", "CDMASid", "TmInterval", "Smsid",
          "ConSrt", "Defult"}},
        {QStringLiteral("Rsms"), {"Mobile", "msg", "RDtTM", "urgent", "typ", "Extra1", "Tried"}},
        {QStringLiteral("sms"),
         {"Mobile", "msg", "RDtTM", "SDTTm", "typ", "ANS", "Status", "Reply", "Try", "Uname", "Extra1"}},
        {QStringLiteral("Clist"), {"Nm", "mob", "GRP"}},
        {QStringLiteral("Glist"), {"Grp", "id"}},
        {QStringLiteral("GSMSet"), {"Comm"}},
    };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(columns(*store, it.key()), lower(it.value()));

    // A second run finds nothing to create, and the upgrade changes no structure.
    QVERIFY(Schema::createMissingTables(*store).isEmpty());
    QVERIFY(Schema::upgradeWithReport(*store).structuralChanges().isEmpty());
}

void StoreTest::freshStoreIsOwnerOnlyWhateverTheUmask()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SMS.db"));
    const mode_t old = ::umask(0);
    {
        auto store = Store::openFile(path, true);
        Schema::createMissingTables(*store);
    }
    ::umask(old);
    QCOMPARE(fileMode(path), mode_t(0600));
}

void StoreTest::restrictToOwnerTightensAnExistingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SMS.db"));
    writeFile(path, QByteArray());
    ::chmod(QFile::encodeName(path).constData(), 0644);
    QVERIFY(Store::restrictToOwner(path));
    QCOMPARE(fileMode(path), mode_t(0600));
    QVERIFY(!Store::restrictToOwner(path));
}

void StoreTest::folderNamesNeedNoEscaping_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("blank") << "program files";
    QTest::newRow("hash and question mark") << "a#b?c";
    QTest::newRow("percent sequence") << "x%20y";
    QTest::newRow("non-ASCII") << QString::fromUtf8("\u0645\u062c\u0644\u062f");
}

void StoreTest::folderNamesNeedNoEscaping()
{
    QFETCH(QString, folder);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(folder));
    const QString path = QDir(dir.filePath(folder)).filePath(QStringLiteral("SMS.db"));
    {
        auto store = createStore(QFileInfo(path).absolutePath());
        QCOMPARE(store->path(), path);
        store->exec(QStringLiteral("INSERT INTO GSMSet (Comm) VALUES ('5')"));
    }
    // The data went into exactly that file, and it opens again.
    QCOMPARE(QDir(dir.filePath(folder)).entryList(QDir::Files), QStringList{QStringLiteral("SMS.db")});
    auto again = Store::openFile(path, false);
    QCOMPARE(again->scalar(QStringLiteral("SELECT Comm FROM GSMSet")).toString(), QStringLiteral("5"));
}

void StoreTest::glistIdIsAssignedAscending()
{
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    for (const char* g : {"a", "b", "c"})
        store->exec(QStringLiteral("INSERT INTO Glist (Grp) VALUES (?)"), {QString::fromLatin1(g)});
    store->exec(QStringLiteral("DELETE FROM Glist WHERE Grp = ?"), {QStringLiteral("c")});
    store->exec(QStringLiteral("INSERT INTO Glist (Grp) VALUES (?)"), {QStringLiteral("d")});
    QSqlQuery q = store->query(QStringLiteral("SELECT Grp, id FROM Glist ORDER BY id"));
    QStringList seen;
    while (q.next())
        seen << q.value(0).toString() + QString::number(q.value(1).toInt());
    // A counter never hands out a number twice, even after a delete.
    QCOMPARE(seen, QStringList({"a1", "b2", "d4"}));
}

void StoreTest::queuePickUsesTheUrgentIndex()
{
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    Schema::upgrade(*store);
    QSqlQuery q =
        store->query(QStringLiteral("EXPLAIN QUERY PLAN SELECT * FROM Rsms ORDER BY urgent LIMIT 1"));
    QString plan;
    while (q.next())
        plan += q.value(3).toString() + u'\n';
    QVERIFY2(plan.contains(QStringLiteral("ix_rsms_urgent")), qPrintable(plan));
    QVERIFY2(!plan.contains(QStringLiteral("TEMP B-TREE")), qPrintable(plan));
}

void StoreTest::upgradeBringsOlderStoreUpToDate_data()
{
    QTest::addColumn<QStringList>("create");     // the older store's tables
    QTest::addColumn<QStringList>("rows");       // its sms rows
    QTest::addColumn<int>("expectedChanges");    // columns added plus tables created
    QTest::addColumn<QList<int>>("expectedTry"); // Try of the rows after the upgrade, in rowid order

    QTest::newRow("oldest: no Reply/Try/Uname, bare config, no small tables")
        << QStringList{"CREATE TABLE sms (Mobile text, msg text, RDtTM text, SDTTm datetime, typ integer, "
                       "ANS text(50), Status text, Extra1 text)",
                       "CREATE TABLE config (UName text, Password text, Provider text, balstr text, "
                       "TmInterval integer, Smsid integer, ConSrt text, Defult integer)",
                       "CREATE TABLE Rsms (Mobile text, msg text, RDtTM text, urgent integer, typ integer, "
                       "Extra1 text)"}
        << QStringList{"INSERT INTO sms (Mobile, msg, Status) VALUES ('111', 'one', 'P')",
                       "INSERT INTO sms (Mobile, msg, Status) VALUES ('222', 'two', 'Y')"}
        << 11 << QList<int>{0, 0};
    QTest::newRow("middle: Try with Nulls, no Uname, GsmSid only, Clist only")
        << QStringList{"CREATE TABLE sms (Mobile text, msg text, RDtTM text, SDTTm datetime, typ integer, "
                       "ANS text(251), Status text, Reply text(150), Try byte, Extra1 text)",
                       "CREATE TABLE config (UName text, Password text, Provider text, balstr text, GsmSid "
                       "text(15), "
                       "TmInterval integer, Smsid integer, ConSrt text, Defult integer)",
                       "CREATE TABLE Rsms (Mobile text, msg text, RDtTM text, urgent integer, typ integer, "
                       "Extra1 text)",
                       "CREATE TABLE Clist (Nm text (50),mob text (10),    GRP text(25) )"}
        << QStringList{"INSERT INTO sms (Mobile, Status, Try) VALUES ('111', 'P', NULL)",
                       "INSERT INTO sms (Mobile, Status, Try) VALUES ('222', 'P', 3)",
                       "INSERT INTO sms (Mobile, Status, Try) VALUES ('333', 'N', NULL)"}
        << 7 << QList<int>{0, 3, 0};
    QTest::newRow("up to date: nothing changes")
        << QStringList{} << QStringList{"INSERT INTO sms (Mobile, Status, Try) VALUES ('111', 'P', 7)"} << 0
        << QList<int>{7};
}

void StoreTest::upgradeBringsOlderStoreUpToDate()
{
    QFETCH(QStringList, create);
    QFETCH(QStringList, rows);
    QFETCH(int, expectedChanges);
    QFETCH(QList<int>, expectedTry);

    QTemporaryDir dir;
    auto store = Store::openFile(dir.filePath(QStringLiteral("SMS.db")), true);
    if (create.isEmpty())
        Schema::createMissingTables(*store);
    for (const QString& sql : create)
        store->exec(sql);
    for (const QString& sql : rows)
        store->exec(sql);

    const Schema::UpgradeReport report = Schema::upgradeWithReport(*store);
    QCOMPARE(report.structuralChanges().size(), expectedChanges);

    QVERIFY2(Schema::missingTables(*store).isEmpty(), qPrintable(Schema::missingTables(*store).join(u',')));
    const QStringList sms = columns(*store, QStringLiteral("sms"));
    for (const char* c : {"reply", "try", "uname"})
        QVERIFY2(sms.contains(QString::fromLatin1(c)), c);
    const QStringList config = columns(*store, QStringLiteral("config"));
    for (const char* c : {"gsmsid", "cdmasid", "repostr"})
        QVERIFY2(config.contains(QString::fromLatin1(c)), c);

    QList<int> tries;
    QSqlQuery q = store->query(QStringLiteral("SELECT Try FROM sms ORDER BY rowid"));
    while (q.next()) {
        QVERIFY(!q.value(0).isNull());
        tries << q.value(0).toInt();
    }
    QCOMPARE(tries, expectedTry);
    QCOMPARE(store->scalar(QStringLiteral("SELECT count(*) FROM sms")).toInt(), int(rows.size()));

    QCOMPARE(Schema::storedVersion(*store), Schema::currentVersion());

    // The next start goes through silently: nothing left to add.
    const Schema::UpgradeReport again = Schema::upgradeWithReport(*store);
    QVERIFY(again.structuralChanges().isEmpty());
    QCOMPARE(again.tryNullsFixed(), 0);
}

namespace {
// Every table, with sms as the oldest engine wrote it (no Reply, Try, Uname).
std::unique_ptr<Store> oldStore(const QString& folder)
{
    auto store = Store::openFile(QDir(folder).filePath(QStringLiteral("SMS.db")), true);
    store->exec(QStringLiteral("CREATE TABLE sms (Mobile text, msg text, RDtTM text, SDTTm datetime, "
                               "typ integer, ANS text(50), Status text, Extra1 text)"));
    store->exec(QStringLiteral("INSERT INTO sms (Mobile, Status) VALUES ('1', 'P')"));
    Schema::createMissingTables(*store);
    return store;
}
} // namespace

void StoreTest::failedUpgradeLeavesTheStoreAsItWas_data()
{
    QTest::addColumn<QString>("hinder");     // run on a second connection before the upgrade
    QTest::addColumn<QStringList>("reason"); // the statement and why
    QTest::newRow("another program holds the write lock")
        << "BEGIN IMMEDIATE" << QStringList{"BEGIN IMMEDIATE", "locked"};
    QTest::newRow("a statement after the first columns is refused")
        << "CREATE TRIGGER frozen BEFORE UPDATE ON sms BEGIN SELECT RAISE(ABORT, 'ledger frozen'); END"
        << QStringList{"\"update SMS set Try = 0 where try is null\"", "ledger frozen"};
}

void StoreTest::failedUpgradeLeavesTheStoreAsItWas()
{
    QFETCH(QString, hinder);
    QFETCH(QStringList, reason);
    QTemporaryDir dir;
    auto store = oldStore(dir.path());
    const QStringList before = columns(*store, QStringLiteral("sms"));
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
        QCOMPARE(columns(*store, QStringLiteral("sms")), before);
        QCOMPARE(Schema::storedVersion(*store), 0);
        store->exec(QStringLiteral("DROP TRIGGER IF EXISTS frozen"));
    }
    // Once the hindrance is gone the same store upgrades.
    QCOMPARE(Schema::upgradeWithReport(*store).structuralChanges().size(), 3);
}

void StoreTest::storeAtTheCurrentVersionIsLeftAlone()
{
    QTemporaryDir dir;
    auto store = oldStore(dir.path());
    store->exec(QStringLiteral("PRAGMA user_version = %1").arg(Schema::currentVersion()));
    QVERIFY(Schema::upgradeWithReport(*store).applied.isEmpty());
    QVERIFY(!columns(*store, QStringLiteral("sms")).contains(QStringLiteral("try")));
}

void StoreTest::openErrorsNameTheFile_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder") << "missing-folder"
                                    << "does not exist";
    QTest::newRow("missing file") << "missing-file"
                                  << "smsctl init";
    QTest::newRow("not a database") << "random-bytes"
                                    << "not a database";
    QTest::newRow("a folder in its place") << "directory"
                                           << "not a file";
    QTest::newRow("unreadable") << "unreadable"
                                << "permission denied";
}

void StoreTest::openErrorsNameTheFile()
{
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("SMS.db"));
    if (setup == QStringLiteral("missing-folder")) {
        path = dir.filePath(QStringLiteral("nowhere/SMS.db"));
    } else if (setup == QStringLiteral("random-bytes")) {
        QByteArray bytes(4096, '\0');
        QRandomGenerator gen(42);
        for (char& b : bytes)
            b = char(gen.bounded(256));
        writeFile(path, bytes);
    } else if (setup == QStringLiteral("directory")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("SMS.db")));
    } else if (setup == QStringLiteral("unreadable")) {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        writeFile(path, QByteArray());
        ::chmod(QFile::encodeName(path).constData(), 0);
    }
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    try {
        Store::openFile(path, false);
        QFAIL("the store opened");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(QFileInfo(path).absoluteFilePath()), qPrintable(e.text()));
        QVERIFY2(e.text().contains(reason, Qt::CaseInsensitive), qPrintable(e.text()));
    }
    // Nothing was created in the attempt.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

void StoreTest::lockedStoreFailsWithReason()
{
    QTemporaryDir dir;
    auto holder = createStore(dir.path());
    QSqlQuery lock(holder->db());
    QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    try {
        // A new connection must read the schema, which the exclusive lock
        // keeps it from doing (after the busy time-out).
        Store::openFile(dir.filePath(QStringLiteral("SMS.db")), false);
        QFAIL("opened a locked store");
    } catch (const StoreError& e) {
        QVERIFY2(e.text().contains(QStringLiteral("SMS.db")), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QStringLiteral("locked")), qPrintable(e.text()));
    }
    QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
}

void StoreTest::fieldsAreReadByNameWithNullKept()
{
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    insertProfile(*store,
                  {{QStringLiteral("UName"), QStringLiteral("u")}, {QStringLiteral("RepoStr"), QVariant()}});
    QSqlQuery q = store->query(QStringLiteral("SELECT * FROM config"));
    QVERIFY(q.next());
    const QSqlRecord r = q.record();
    QCOMPARE(Store::field(r, QStringLiteral("uname")).toString(), QStringLiteral("u"));
    QCOMPARE(Store::field(r, QStringLiteral("UNAME")).toString(), QStringLiteral("u"));
    QVERIFY(Store::field(r, QStringLiteral("repostr")).isNull());
    QCOMPARE(Store::text(r, QStringLiteral("RepoStr")), QString());
    QVERIFY_THROWS_EXCEPTION(StoreError, Store::field(r, QStringLiteral("NoSuchColumn")));
}

void StoreTest::valuesAreBoundNotSpliced()
{
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    const QString hostile = QStringLiteral("x'); DROP TABLE sms; --");
    QCOMPARE(store->exec(QStringLiteral("INSERT INTO Rsms (Mobile, msg) VALUES (?, ?)"), {hostile, hostile}),
             1);
    QVERIFY(store->tableExists(QStringLiteral("sms")));
    QCOMPARE(store->scalar(QStringLiteral("SELECT msg FROM Rsms WHERE Mobile = ?"), {hostile}).toString(),
             hostile);
}

void StoreTest::transactionRollsBackWithoutCommit()
{
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    {
        Store::Transaction t(*store);
        store->exec(QStringLiteral("INSERT INTO Rsms (Mobile) VALUES (?)"), {QStringLiteral("1")});
    }
    QCOMPARE(store->scalar(QStringLiteral("SELECT count(*) FROM Rsms")).toInt(), 0);
    {
        Store::Transaction t(*store);
        store->exec(QStringLiteral("INSERT INTO Rsms (Mobile) VALUES (?)"), {QStringLiteral("2")});
        t.commit();
    }
    QCOMPARE(store->scalar(QStringLiteral("SELECT count(*) FROM Rsms")).toInt(), 1);
}

void StoreTest::refusedStatementCarriesNumberAndText()
{
    QTemporaryDir dir;
    auto store = createStore(dir.path());
    try {
        store->exec(QStringLiteral("SELECT * FROM NoSuchTable"));
        QFAIL("no error");
    } catch (const StoreError& e) {
        QVERIFY(e.number() != 0);
        QVERIFY2(e.text().contains(QStringLiteral("no such table")), qPrintable(e.text()));
    }
}

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store.moc"

#include "core/Schema.h"

#include "core/Store.h"

#include <QRegularExpression>

#include <algorithm>

namespace Schema {

namespace {
struct TableDef
{
    const char* name;
    const char* create;
};

// Column names are spelled as the rest of the program spells them; SQLite
// compares them without regard to case.
const TableDef kTables[] = {
    {"config", "CREATE TABLE config (UName text, Password text, Provider text, RepoStr text(15), "
               "balstr text, GsmSid text(15), CDMASid text(15), TmInterval integer, Smsid integer, "
               "ConSrt text, Defult integer)"},
    {"Rsms",
     "CREATE TABLE Rsms (Mobile text, msg text, RDtTM text, urgent integer, typ integer, Extra1 text, "
     "Tried integer)"},
    {"sms",
     "CREATE TABLE sms (Mobile text, msg text, RDtTM text, SDTTm datetime, typ integer, ANS text(251), "
     "Status text, Reply text(251), Try byte, Uname text(15), Extra1 text)"},
    {"Clist", "CREATE TABLE Clist (Nm text (50),mob text (10),    GRP text(25) )"},
    {"Glist", "CREATE TABLE Glist (Grp text (20),id integer primary key autoincrement)"},
    {"GSMSet", "CREATE TABLE GSMSet (Comm text (2))"},
    {"DropImport", "CREATE TABLE DropImport (Folder text, Name text, Size integer, Modified integer)"},
    {"RsmsCount", "CREATE TABLE RsmsCount (Pending integer not null)"},
};

// The queue's length, kept by the store itself: every program that writes
// Rsms (the engine, the screens, other programs with their own SQLite) moves
// it in the same transaction as its row, so the console reads one row
// instead of counting the queue at every tick. It counts what
// "select count(msg) from Rsms" counts: rows whose text is not Null.
const char* const kPendingCount[] = {
    "DELETE FROM RsmsCount",
    "INSERT INTO RsmsCount (Pending) SELECT count(msg) FROM Rsms",
    "CREATE TRIGGER IF NOT EXISTS rsms_count_insert AFTER INSERT ON Rsms WHEN new.msg IS NOT NULL "
    "BEGIN UPDATE RsmsCount SET Pending = Pending + 1; END",
    "CREATE TRIGGER IF NOT EXISTS rsms_count_delete AFTER DELETE ON Rsms WHEN old.msg IS NOT NULL "
    "BEGIN UPDATE RsmsCount SET Pending = Pending - 1; END",
    "CREATE TRIGGER IF NOT EXISTS rsms_count_update AFTER UPDATE OF msg ON Rsms "
    "WHEN (old.msg IS NULL) <> (new.msg IS NULL) "
    "BEGIN UPDATE RsmsCount SET Pending = Pending + (new.msg IS NOT NULL) - (old.msg IS NOT NULL); END",
};

void countPending(Store& store)
{
    for (const char* statement : kPendingCount)
        store.exec(QString::fromLatin1(statement));
}
} // namespace

QStringList tableNames()
{
    QStringList names;
    for (const TableDef& t : kTables)
        names << QString::fromLatin1(t.name);
    return names;
}

QStringList requiredTables()
{
    return {QStringLiteral("config"), QStringLiteral("Rsms"), QStringLiteral("sms")};
}

QStringList missingTables(const Store& store)
{
    QStringList missing;
    for (const QString& name : tableNames())
        if (!store.tableExists(name))
            missing << name;
    return missing;
}

QStringList createMissingTables(Store& store)
{
    // All or nothing: a store is never left with half a schema.
    Store::Transaction transaction(store);
    QStringList created;
    for (const TableDef& t : kTables) {
        const QString name = QString::fromLatin1(t.name);
        if (store.tableExists(name))
            continue;
        store.exec(QString::fromLatin1(t.create));
        created << name;
    }
    if (created.contains(QLatin1String("RsmsCount")))
        countPending(store);
    transaction.commit();
    return created;
}

namespace {
// What a refused step may mean without the upgrade having failed.
enum class Done
{
    Never,        // every refusal is a failure
    IfThere,      // the column or table is there already
    NoSqliteForm, // a widening SQLite has no statement for (widths are enforced where written)
    IfNoColumn,   // an index over a column that a store written by another program may lack
};

struct Step
{
    int version; // the schema version the step belongs to
    const char* statement;
    Done done;
};

// Every upgrade step, oldest first; a store runs those above its version. A
// change to the schema is one line at the end with the next version number.
// Version 1 holds the twelve statements of the first engine (the counter
// column becomes SQLite's auto-assigned key) and the indexes.
const Step kSteps[] = {
    {1, " alter table SMS    add Reply text(150) ", Done::IfThere},
    {1, " alter table SMS    alter Reply text(251) ", Done::NoSqliteForm},
    {1, " alter table SMS    alter ans text(251) ", Done::NoSqliteForm},
    {1, " alter table SMS    add Try  byte ", Done::IfThere},
    {1, " update SMS set Try = 0 where try is null ", Done::Never},
    {1, " alter table SMS    add Uname  text(15) ", Done::IfThere},
    {1, " alter table config add GsmSid  text(15)", Done::IfThere},
    {1, " alter table config add CDMASid text(15)", Done::IfThere},
    {1, " alter table config add repostr text(15)", Done::IfThere},
    {1, " CREATE TABLE Clist (Nm text (50),mob text (10),    GRP text(25) )", Done::IfThere},
    {1, " CREATE TABLE Glist (Grp text (20),id integer primary key autoincrement)", Done::IfThere},
    {1, " CREATE TABLE GSMSet (Comm text (2))", Done::IfThere},
    {1, "CREATE INDEX IF NOT EXISTS ix_rsms_urgent ON Rsms (urgent)", Done::IfNoColumn},
    {1, "CREATE INDEX IF NOT EXISTS ix_rsms_mobile ON Rsms (Mobile)", Done::IfNoColumn},
    {1, "CREATE INDEX IF NOT EXISTS ix_sms_poll ON sms (Status, Try, SDTTm)", Done::IfNoColumn},
    {1, "CREATE INDEX IF NOT EXISTS ix_sms_ans ON sms (ANS)", Done::IfNoColumn},
    {1, "CREATE INDEX IF NOT EXISTS ix_sms_sdttm ON sms (SDTTm)", Done::IfNoColumn},
    {1, "CREATE INDEX IF NOT EXISTS ix_sms_mobile ON sms (Mobile)", Done::IfNoColumn},
    // The report's sent views: one delivery state in date, number or message order.
    {1, "CREATE INDEX IF NOT EXISTS ix_sms_status_sdttm ON sms (Status, SDTTm)", Done::IfNoColumn},
    {1, "CREATE INDEX IF NOT EXISTS ix_sms_status_mobile ON sms (Status, Mobile)", Done::IfNoColumn},
    {1, "CREATE INDEX IF NOT EXISTS ix_sms_status_msg ON sms (Status, msg)", Done::IfNoColumn},
    // Ledger rows still without their sortable queueing day (back-filled by the report).
    {1, "CREATE INDEX IF NOT EXISTS ix_sms_extra1_missing ON sms (Extra1) WHERE Extra1 IS NULL",
     Done::IfNoColumn},
    {1, "CREATE INDEX IF NOT EXISTS ix_clist_grp ON Clist (GRP)", Done::IfNoColumn},
    // When the engine last tried a queued row (a running number; Null: never),
    // and the queue pick that takes the row tried longest ago first.
    {2, " alter table Rsms add Tried integer", Done::IfThere},
    {2, "CREATE INDEX IF NOT EXISTS ix_rsms_pick ON Rsms (urgent, Tried)", Done::IfNoColumn},
    // Which claimed drop files have their lines in the queue.
    {2, "CREATE TABLE DropImport (Folder text, Name text, Size integer, Modified integer)", Done::IfThere},
    // The report poll's pick: pending rows with a message id first, in its
    // order, so that it reads one entry whatever else the ledger holds.
    {3, "CREATE INDEX IF NOT EXISTS ix_sms_poll_asked ON sms (Status, (ANS IS NULL OR ANS = ''), Try, SDTTm)",
     Done::IfNoColumn},
    // The queue's length kept by triggers (kPendingCount), counted once here.
    {3, "CREATE TABLE RsmsCount (Pending integer not null)", Done::IfThere},
    {3, kPendingCount[0], Done::Never},
    {3, kPendingCount[1], Done::Never},
    {3, kPendingCount[2], Done::Never},
    {3, kPendingCount[3], Done::Never},
    {3, kPendingCount[4], Done::Never},
};

bool isIndex(const Step& step)
{
    return QLatin1String(step.statement).startsWith(QLatin1String("CREATE INDEX"));
}

// SQLite tells these outcomes apart only by its message.
bool alreadyDone(const Step& step, const StoreError& error)
{
    const QString& text = error.text();
    switch (step.done) {
    case Done::Never:
        return false;
    case Done::IfThere:
        return text.contains(QLatin1String("duplicate column name")) ||
               text.contains(QLatin1String("already exists"));
    case Done::NoSqliteForm:
        return text.contains(QLatin1String("syntax error"));
    case Done::IfNoColumn:
        return text.contains(QLatin1String("no such column"));
    }
    return false;
}

StoreError upgradeFailure(const Store& store, const QString& statement, const StoreError& error)
{
    return StoreError(
        error.number(),
        QStringLiteral("The upgrade of the store %1 failed at \"%2\": %3; the store is left as it was")
            .arg(store.path(), statement.trimmed(), error.text()));
}

void apply(Store& store, const Step& step, UpgradeReport* report)
{
    const QString statement = QString::fromLatin1(step.statement);
    try {
        const int rows = store.exec(statement);
        if (report)
            report->applied.append({statement, rows});
    } catch (const StoreError& e) {
        if (!alreadyDone(step, e))
            throw upgradeFailure(store, statement, e);
    }
}

UpgradeStep describe(Store& store, const Step& step, int number, int steps)
{
    UpgradeStep out{number, steps, QString::fromLatin1(step.statement).trimmed()};
    // The table an index is built on or an update goes through; a table
    // added by an earlier step of this run has no rows yet.
    static const QRegularExpression scan(QStringLiteral("^(?:CREATE INDEX .* ON|update)\\s+(\\w+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = scan.match(out.statement);
    if (match.hasMatch() && store.tableExists(match.captured(1))) {
        // The name comes from our own statement, never from the store or a user.
        out.tableRows =
            store.scalar(QStringLiteral("select max(rowid) from %1").arg(match.captured(1))).toLongLong();
        out.slow = out.tableRows >= SlowUpgradeRows;
    }
    return out;
}

void requireTables(const Store& store)
{
    QStringList missing;
    for (const QString& table : requiredTables())
        if (!store.tableExists(table))
            missing << table;
    if (!missing.isEmpty())
        throw StoreError(-6, QStringLiteral("The store %1 has no table %2: run 'smsctl init' to complete it")
                                 .arg(store.path(), missing.join(QStringLiteral(", "))));
}
} // namespace

QStringList upgradeStatements()
{
    QStringList statements;
    for (const Step& step : kSteps)
        if (step.version == 1 && !isIndex(step))
            statements << QString::fromLatin1(step.statement);
    return statements;
}

int currentVersion()
{
    int version = 0;
    for (const Step& step : kSteps)
        version = std::max(version, step.version);
    return version;
}

int storedVersion(Store& store)
{
    return store.scalar(QStringLiteral("PRAGMA user_version")).toInt();
}

QStringList UpgradeReport::structuralChanges() const
{
    QStringList out;
    for (const Applied& a : applied) {
        const QString s = a.statement.simplified();
        if (s.startsWith(QStringLiteral("alter table"), Qt::CaseInsensitive) ||
            s.startsWith(QStringLiteral("create table"), Qt::CaseInsensitive))
            out << s;
    }
    return out;
}

int UpgradeReport::tryNullsFixed() const
{
    for (const Applied& a : applied)
        if (a.statement.simplified().startsWith(QStringLiteral("update"), Qt::CaseInsensitive))
            return a.rows;
    return 0;
}

UpgradeReport upgradeWithReport(Store& store, const UpgradeProgress& progress)
{
    requireTables(store);
    UpgradeReport report;
    if (storedVersion(store) >= currentVersion())
        return report;

    // IMMEDIATE takes the write lock now, waiting out another program's
    // write within the busy time-out; a deferred transaction would be refused
    // the lock half-way through without waiting.
    const QString begin = QStringLiteral("BEGIN IMMEDIATE");
    try {
        store.exec(begin);
    } catch (const StoreError& e) {
        throw upgradeFailure(store, begin, e);
    }
    try {
        // Another program may have upgraded the store since the look above.
        const int from = storedVersion(store);
        const auto steps = std::count_if(std::begin(kSteps), std::end(kSteps),
                                         [from](const Step& step) { return step.version > from; });
        int number = 0;
        for (const Step& step : kSteps)
            if (step.version > from) {
                if (progress)
                    progress(describe(store, step, ++number, int(steps)));
                apply(store, step, &report);
            }
        if (from < currentVersion()) // a number of ours, not user text
            store.exec(QStringLiteral("PRAGMA user_version = %1").arg(currentVersion()));
        try {
            store.commit();
        } catch (const StoreError& e) {
            throw upgradeFailure(store, QStringLiteral("COMMIT"), e);
        }
    } catch (...) {
        store.rollback();
        throw;
    }
    return report;
}

qint64 pendingCount(Store& store)
{
    return store.scalarPrepared(QStringLiteral("SELECT Pending FROM RsmsCount")).toLongLong();
}

int upgrade(Store& store)
{
    return static_cast<int>(upgradeWithReport(store).applied.size());
}

void ensureIndexes(Store& store)
{
    for (const Step& step : kSteps)
        if (isIndex(step))
            apply(store, step, nullptr);
}

} // namespace Schema

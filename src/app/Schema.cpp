#include "app/Schema.h"

#include "app/Store.h"

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
};
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
    transaction.commit();
    return created;
}

QStringList upgradeStatements()
{
    // The two widening statements have no SQLite form and are refused like any
    // other statement that cannot apply; the widths are enforced where the
    // columns are written. The counter column becomes SQLite's auto-assigned key.
    return {
        QStringLiteral(" alter table SMS    add Reply text(150) "),
        QStringLiteral(" alter table SMS    alter Reply text(251) "),
        QStringLiteral(" alter table SMS    alter ans text(251) "),
        QStringLiteral(" alter table SMS    add Try  byte "),
        QStringLiteral(" update SMS set Try = 0 where try is null "),
        QStringLiteral(" alter table SMS    add Uname  text(15) "),
        QStringLiteral(" alter table config add GsmSid  text(15)"),
        QStringLiteral(" alter table config add CDMASid text(15)"),
        QStringLiteral(" alter table config add repostr text(15)"),
        QStringLiteral(" CREATE TABLE Clist (Nm text (50),mob text (10),    GRP text(25) )"),
        QStringLiteral(" CREATE TABLE Glist (Grp text (20),id integer primary key autoincrement)"),
        QStringLiteral(" CREATE TABLE GSMSet (Comm text (2))"),
        // When the engine last tried the row (a running number; Null: never).
        QStringLiteral(" alter table Rsms add Tried integer"),
    };
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

UpgradeReport upgradeWithReport(Store& store)
{
    UpgradeReport report;
    for (const QString& statement : upgradeStatements()) {
        try {
            const int rows = store.exec(statement);
            report.applied.append({statement, rows});
        } catch (const StoreError&) {
            // A column or table that is already there, or a statement this
            // engine has no form for: skipped, as every start does.
        }
    }
    ensureIndexes(store);
    return report;
}

int upgrade(Store& store)
{
    return static_cast<int>(upgradeWithReport(store).applied.size());
}

void ensureIndexes(Store& store)
{
    const char* const statements[] = {
        "CREATE INDEX IF NOT EXISTS ix_rsms_urgent ON Rsms (urgent)",
        "CREATE INDEX IF NOT EXISTS ix_rsms_mobile ON Rsms (Mobile)",
        // The queue pick: urgent, then the row tried longest ago.
        "CREATE INDEX IF NOT EXISTS ix_rsms_pick ON Rsms (urgent, Tried)",
        "CREATE INDEX IF NOT EXISTS ix_sms_poll ON sms (Status, Try, SDTTm)",
        "CREATE INDEX IF NOT EXISTS ix_sms_ans ON sms (ANS)",
        "CREATE INDEX IF NOT EXISTS ix_sms_sdttm ON sms (SDTTm)",
        "CREATE INDEX IF NOT EXISTS ix_sms_mobile ON sms (Mobile)",
        // The report's sent views: one delivery state in date, number or message order.
        "CREATE INDEX IF NOT EXISTS ix_sms_status_sdttm ON sms (Status, SDTTm)",
        "CREATE INDEX IF NOT EXISTS ix_sms_status_mobile ON sms (Status, Mobile)",
        "CREATE INDEX IF NOT EXISTS ix_sms_status_msg ON sms (Status, msg)",
        // Ledger rows still without their sortable queueing day (back-filled by the report).
        "CREATE INDEX IF NOT EXISTS ix_sms_extra1_missing ON sms (Extra1) WHERE Extra1 IS NULL",
        "CREATE INDEX IF NOT EXISTS ix_clist_grp ON Clist (GRP)",
    };
    for (const char* s : statements) {
        try {
            store.exec(QString::fromLatin1(s));
        } catch (const StoreError&) {
            // A store without the table: start-up reports the missing table.
        }
    }
}

} // namespace Schema

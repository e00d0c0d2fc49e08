#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Store;

// The local store's tables, their creation on an empty store and the
// start-up upgrade that brings a store written by an older version up to date.
namespace Schema {

// Text widths of the ledger and contact columns. SQLite does not enforce
// them, so the code that writes these columns does.
constexpr int AnsWidth = 251;
constexpr int ReplyWidth = 251;
constexpr int UnameWidth = 15;
constexpr int ContactNameWidth = 50;
constexpr int ContactMobileWidth = 10;
constexpr int ContactGroupWidth = 25;

// Every table of the full local schema, in creation order.
QStringList tableNames();

// The tables that must exist before the engine can run: the upgrade adds the
// rest, but not these.
QStringList requiredTables();

// The tables of the full schema that the store lacks.
QStringList missingTables(const Store& store);

// Creates every missing table of the full schema; returns the names created.
QStringList createMissingTables(Store& store);

// The twelve upgrade statements of the first schema version, in order.
QStringList upgradeStatements();

// The schema version of a store that has had every upgrade step (kept in
// PRAGMA user_version; stores written by other programs are at 0).
int currentVersion();
int storedVersion(Store& store);

// What one upgrade run changed: the statements the store accepted (as sent)
// with the rows each one changed.
struct UpgradeReport
{
    struct Applied
    {
        QString statement;
        int rows = 0;
    };
    QList<Applied> applied;

    // The statements that added a column or created a table.
    QStringList structuralChanges() const;
    // Rows whose Null Try was set to 0.
    int tryNullsFixed() const;
};

// One statement of an upgrade, told before it runs. An index build or a
// full update cannot be split, so a screen or a terminal can only say how far
// the upgrade is; tableRows is what the statement's table holds (its highest
// rowid, which costs nothing to read), and slow marks an index build or an
// update over at least SlowUpgradeRows of them, about a second's work.
struct UpgradeStep
{
    int number = 0; // from 1
    int steps = 0;
    QString statement;
    qint64 tableRows = 0;
    bool slow = false;
};
using UpgradeProgress = std::function<void(const UpgradeStep&)>;
constexpr qint64 SlowUpgradeRows = 100000;

// Brings a store behind the current version up to it, in one transaction:
// a step refused because its work is already done (a column or table that
// exists, a widening SQLite has no form for) is passed over; any other
// failure, a store locked by another program included, rolls everything back
// and throws StoreError naming the statement and the reason. A store lacking
// config, Rsms or sms throws before anything runs. A store at the current
// version is left alone.
// progress, when given, is called before each statement that runs.
UpgradeReport upgradeWithReport(Store& store, const UpgradeProgress& progress = {});

// As upgradeWithReport; returns how many statements applied.
int upgrade(Store& store);

// The number of queued messages with a text, as "select count(msg) from
// Rsms" gives it, read from the count the store keeps (a single row).
qint64 pendingCount(Store& store);

// Creates the indexes that the queue pick, the report poll and the report screen use.
void ensureIndexes(Store& store);

} // namespace Schema

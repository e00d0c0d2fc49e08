#pragma once

#include "core/StoreError.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <map>
#include <memory>
#include <optional>

// One database connection: the local store (SQLite file SMS.db) or a server
// (PostgreSQL, SQL Server). Every statement binds its values as parameters
// ("?" placeholders); nothing typed by a user is ever spliced into SQL.
// Failures throw StoreError.
class Store
{
public:
    enum class Dialect
    {
        Sqlite,
        Postgres,
        SqlServer
    };

    // How long a statement waits for a lock held by another connection.
    static constexpr int BusyTimeoutMs = 5000;

    // Opens (and with createIfMissing creates, owner-only) an SQLite file.
    // A missing folder, a missing file (without createIfMissing), a file that
    // is not readable, not a database or locked throw StoreError naming the
    // file and the reason. Nothing is ever created without createIfMissing.
    static std::unique_ptr<Store> openFile(const QString& path, bool createIfMissing);

    // Makes a file readable and writable by its owner only; returns true
    // when its permissions had to change.
    static bool restrictToOwner(const QString& path);

    // Takes over an already open connection (server mode).
    Store(const QString& connectionName, Dialect dialect);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    QSqlDatabase db() const;
    Dialect dialect() const { return m_dialect; }
    QString connectionName() const { return m_connectionName; }
    // The file of a local store (absolute); empty for a server.
    QString path() const { return m_path; }

    // Runs one statement; returns the number of rows it changed.
    int exec(const QString& sql, const QVariantList& params = {});
    // Runs a query and returns it positioned before the first row.
    QSqlQuery query(const QString& sql, const QVariantList& params = {});
    // First column of the first row, or a null QVariant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& params = {});
    // Value of the named column (letter case ignored); a missing column throws.
    static QVariant field(const QSqlRecord& record, const QString& name);
    // Text of a column with Null read as empty text.
    static QString text(const QSqlRecord& record, const QString& name);

    // The same for the statements of every tick: each is prepared once per
    // connection and kept, and its result is released before returning, so
    // that no read stays open between ticks.
    int execPrepared(const QString& sql, const QVariantList& params = {});
    QVariant scalarPrepared(const QString& sql, const QVariantList& params = {});
    std::optional<QSqlRecord> firstRowPrepared(const QString& sql, const QVariantList& params = {});

    bool tableExists(const QString& table) const;

    void begin();
    void commit();
    void rollback() noexcept;

    // Commits when commit() is called, rolls back when left without it.
    class Transaction
    {
    public:
        explicit Transaction(Store& store);
        ~Transaction();
        void commit();

    private:
        Store& m_store;
        bool m_done = false;
    };

private:
    QSqlQuery& runPrepared(const QString& sql, const QVariantList& params);

    QString m_connectionName;
    Dialect m_dialect;
    QString m_path;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_prepared;
};

#include "app/Store.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>

namespace {
QString uniqueConnectionName(const QString& prefix)
{
    static QAtomicInt counter;
    return QStringLiteral("%1-%2").arg(prefix).arg(counter.fetchAndAddRelaxed(1));
}
} // namespace

std::unique_ptr<Store> Store::openFile(const QString& path, bool createIfMissing)
{
    const QFileInfo info(path);
    if (!info.dir().exists())
        throw StoreError(-1, QStringLiteral("Cannot open the store %1: the folder %2 does not exist")
                                 .arg(path, info.absolutePath()));
    if (!info.exists()) {
        if (!createIfMissing)
            throw StoreError(-2, QStringLiteral("Cannot open the store %1: the file does not exist "
                                                "(create it with 'smsctl init')")
                                     .arg(path));
        QFile file(path);
        // Owner-only from the first byte: the store holds gateway passwords.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw StoreError(-3, QStringLiteral("Cannot create the store %1: %2").arg(path, file.errorString()));
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    } else if (!info.isReadable()) {
        throw StoreError(-4, QStringLiteral("Cannot open the store %1: the file is not readable").arg(path));
    }

    const QString name = uniqueConnectionName(QStringLiteral("store"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        // Wait a while for a lock held by another program instead of failing at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            const StoreError error = StoreError::fromSql(db.lastError(), QStringLiteral("Cannot open the store ") + path);
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw error;
        }
    }
    auto store = std::make_unique<Store>(name, Dialect::Sqlite);
    // SQLite opens lazily: read the schema now so that a file that is not a
    // database, or one locked by another writer, fails here with its reason.
    try {
        store->query(QStringLiteral("select count(*) from sqlite_master"));
    } catch (const StoreError& e) {
        throw StoreError(e.number(), QStringLiteral("Cannot open the store %1: %2").arg(path, e.text()));
    }
    return store;
}

Store::Store(const QString& connectionName, Dialect dialect) : m_connectionName(connectionName), m_dialect(dialect)
{
}

Store::~Store()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase Store::db() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

int Store::exec(const QString& sql, const QVariantList& params)
{
    QSqlQuery q = query(sql, params);
    return q.numRowsAffected();
}

QSqlQuery Store::query(const QString& sql, const QVariantList& params)
{
    QSqlQuery q(db());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw StoreError::fromSql(q.lastError());
    for (const QVariant& v : params)
        q.addBindValue(v);
    if (!q.exec())
        throw StoreError::fromSql(q.lastError());
    return q;
}

QVariant Store::scalar(const QString& sql, const QVariantList& params)
{
    QSqlQuery q = query(sql, params);
    if (!q.next())
        return {};
    return q.value(0);
}

QVariant Store::field(const QSqlRecord& record, const QString& name)
{
    const int index = record.indexOf(name);
    if (index < 0)
        throw StoreError(-5, QStringLiteral("Item cannot be found in the collection: %1").arg(name));
    return record.value(index);
}

QString Store::text(const QSqlRecord& record, const QString& name)
{
    const QVariant v = field(record, name);
    return v.isNull() ? QString() : v.toString();
}

bool Store::tableExists(const QString& table) const
{
    const QStringList tables = db().tables();
    for (const QString& t : tables)
        if (t.compare(table, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void Store::begin()
{
    QSqlDatabase d = db();
    if (!d.transaction())
        throw StoreError::fromSql(d.lastError(), QStringLiteral("begin transaction"));
}

void Store::commit()
{
    QSqlDatabase d = db();
    if (!d.commit())
        throw StoreError::fromSql(d.lastError(), QStringLiteral("commit"));
}

void Store::rollback() noexcept
{
    QSqlDatabase d = db();
    d.rollback();
}

Store::Transaction::Transaction(Store& store) : m_store(store)
{
    m_store.begin();
}

Store::Transaction::~Transaction()
{
    if (!m_done)
        m_store.rollback();
}

void Store::Transaction::commit()
{
    m_store.commit();
    m_done = true;
}

#include "core/Store.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Creates an empty file readable and writable by its owner only, from the
// first byte on: the store holds gateway passwords.
void createOwnerOnlyFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        throw StoreError(-3, QStringLiteral("Cannot create the store %1: %2")
                                 .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    // A strict umask may have taken the owner's own bits away: put them back.
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    ::close(fd);
}

QString uniqueConnectionName(const QString& prefix)
{
    static QAtomicInt counter;
    return QStringLiteral("%1-%2").arg(prefix).arg(counter.fetchAndAddRelaxed(1));
}
} // namespace

std::unique_ptr<Store> Store::openFile(const QString& path, bool createIfMissing)
{
    const QFileInfo info(path);
    const QString file = info.absoluteFilePath();
    if (!info.dir().exists())
        throw StoreError(-1, QStringLiteral("Cannot open the store %1: the folder %2 does not exist")
                                 .arg(file, info.absolutePath()));
    if (!info.exists()) {
        if (!createIfMissing)
            throw StoreError(-2, QStringLiteral("Cannot open the store %1: the file does not exist "
                                                "(create it with 'smsctl init')")
                                     .arg(file));
        createOwnerOnlyFile(file);
    } else if (!info.isFile()) {
        throw StoreError(-4, QStringLiteral("Cannot open the store %1: it is not a file").arg(file));
    } else if (!info.isReadable() || !info.isWritable()) {
        throw StoreError(
            -4, QStringLiteral("Cannot open the store %1: permission denied (the file is not %2)")
                    .arg(file, info.isReadable() ? QStringLiteral("writable") : QStringLiteral("readable")));
    }

    const QString name = uniqueConnectionName(QStringLiteral("store"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        // "mode=rw": SQLite must never create a file here (a store deleted
        // since the check above stays missing instead of coming back empty).
        QUrl uri = QUrl::fromLocalFile(file);
        uri.setQuery(QStringLiteral("mode=rw"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        // Wait a while for a lock held by another program instead of failing at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
        if (!db.open()) {
            const StoreError error =
                StoreError::fromSql(db.lastError(), QStringLiteral("Cannot open the store ") + file);
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw error;
        }
    }
    auto store = std::make_unique<Store>(name, Dialect::Sqlite);
    store->m_path = file;
    // SQLite opens lazily: read the schema now so that a file that is not a
    // database, or one locked by another writer, fails here with its reason.
    try {
        store->query(QStringLiteral("select count(*) from sqlite_master"));
        // A write-ahead log: a commit is one append instead of a journal
        // written, synced and deleted, and readers never wait for the engine.
        // With synchronous=NORMAL a commit is not synced on its own: a process
        // that is killed loses nothing, a power failure can lose the commits
        // since the last checkpoint (see docs/store.md). A file system that
        // cannot keep a log (no shared memory) keeps the rollback journal.
        store->scalar(QStringLiteral("PRAGMA journal_mode=WAL"));
        store->exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    } catch (const StoreError& e) {
        throw StoreError(e.number(), QStringLiteral("Cannot open the store %1: %2").arg(file, e.text()));
    }
    return store;
}

bool Store::restrictToOwner(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        throw StoreError(-3, QStringLiteral("Cannot read the permissions of %1: %2")
                                 .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    if ((st.st_mode & 07777) == (S_IRUSR | S_IWUSR))
        return false;
    if (::chmod(native.constData(), S_IRUSR | S_IWUSR) != 0)
        throw StoreError(-3, QStringLiteral("Cannot restrict the permissions of %1: %2")
                                 .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    return true;
}

Store::Store(const QString& connectionName, Dialect dialect)
    : m_connectionName(connectionName), m_dialect(dialect)
{
}

Store::~Store()
{
    m_prepared.clear();
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

QSqlQuery& Store::runPrepared(const QString& sql, const QVariantList& params)
{
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        auto q = std::make_unique<QSqlQuery>(db());
        q->setForwardOnly(true);
        if (!q->prepare(sql))
            throw StoreError::fromSql(q->lastError());
        it = m_prepared.emplace(sql, std::move(q)).first;
    }
    QSqlQuery& q = *it->second;
    for (int i = 0; i < params.size(); ++i)
        q.bindValue(i, params[i]);
    if (!q.exec()) {
        const StoreError error = StoreError::fromSql(q.lastError());
        q.finish();
        throw error;
    }
    return q;
}

int Store::execPrepared(const QString& sql, const QVariantList& params)
{
    QSqlQuery& q = runPrepared(sql, params);
    const int rows = q.numRowsAffected();
    q.finish();
    return rows;
}

QVariant Store::scalarPrepared(const QString& sql, const QVariantList& params)
{
    QSqlQuery& q = runPrepared(sql, params);
    QVariant value;
    if (q.next())
        value = q.value(0);
    q.finish();
    return value;
}

std::optional<QSqlRecord> Store::firstRowPrepared(const QString& sql, const QVariantList& params)
{
    QSqlQuery& q = runPrepared(sql, params);
    std::optional<QSqlRecord> row;
    if (q.next())
        row = q.record();
    q.finish();
    return row;
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

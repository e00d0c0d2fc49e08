#include "channels/QueueCursor.h"

#include "core/Store.h"

#include <QSqlQuery>
#include <QSqlRecord>

QueueCursor QueueCursor::onLocalRow(qint64 rowid, const QString& mobile, const QString& msg,
                                    const QVariant& rdtTm, const QVariant& typ)
{
    QueueCursor c;
    c.m_open = true;
    c.m_source = Source::Local;
    c.m_key = rowid;
    c.m_mobile = mobile;
    c.m_msg = msg;
    c.m_rdtTm = rdtTm;
    c.m_typ = typ;
    return c;
}

QueueCursor QueueCursor::onServerRow(qint64 autono, const QString& mobile, const QString& msg, int failures)
{
    QueueCursor c;
    c.m_open = true;
    c.m_source = Source::Server;
    c.m_key = autono;
    c.m_mobile = mobile;
    c.m_msg = msg;
    c.m_failures = failures;
    return c;
}

const QString QueueCursor::LocalPickSql = QStringLiteral(
    "SELECT rowid AS qrowid, Mobile, msg, RDtTM, typ FROM Rsms ORDER BY urgent, Tried, rowid LIMIT 1");

QueueCursor QueueCursor::openLocal(Store& store)
{
    const std::optional<QSqlRecord> row = store.firstRowPrepared(LocalPickSql);
    if (!row)
        return QueueCursor();
    const QSqlRecord& r = *row;
    return onLocalRow(Store::field(r, QStringLiteral("qrowid")).toLongLong(),
                      Store::text(r, QStringLiteral("Mobile")), Store::text(r, QStringLiteral("msg")),
                      Store::field(r, QStringLiteral("RDtTM")), Store::field(r, QStringLiteral("typ")));
}

void QueueCursor::markTried(Store& store, int urgent) const
{
    if (!m_open || m_source != Source::Local)
        return;
    // The next number among the rows of this urgent value (the pick index
    // finds the largest at once).
    store.execPrepared(
        QStringLiteral("UPDATE Rsms SET urgent = ?, Tried = coalesce((SELECT max(Tried) FROM Rsms "
                       "WHERE urgent = ?), 0) + 1 WHERE rowid = ?"),
        {urgent, urgent, m_key});
}

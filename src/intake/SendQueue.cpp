#include "intake/SendQueue.h"

#include "core/Store.h"

#include <QVariant>
#include <cmath>

namespace SendQueue {

namespace {
// The number of the error thrown for a text that is too long: not one of the
// store's own codes.
constexpr int TooLongError = -2001;

// Whole values go in as integers so the queue sorts and compares them as the
// numbers they are; anything else (a fraction, a huge value) as a real.
QVariant numberValue(double v)
{
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) <= 9.0e15)
        return QVariant::fromValue(static_cast<qint64>(v));
    return QVariant::fromValue(v);
}

// A null text would be stored as Null; the queue holds text.
QString notNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString tooLongText(qsizetype textLength)
{
    return QStringLiteral("the message text is %1 characters long; at most %2 can be queued")
        .arg(textLength)
        .arg(MaxTextLength);
}
} // namespace

QString insertStatement()
{
    return QStringLiteral(" INSERT INTO Rsms (mobile,msg,rdttm,urgent,typ) VALUES (?, ?, ?, ?, ?)");
}

Writer::Writer(Store& store) : m_query(store.db())
{
    m_query.setForwardOnly(true);
    if (!m_query.prepare(insertStatement()))
        throw StoreError::fromSql(m_query.lastError(), QStringLiteral("Rsms insert"));
}

void Writer::add(const QueueRecord& record)
{
    if (!fits(record.msg.size()))
        throw StoreError(TooLongError, QStringLiteral("Rsms insert: ") + tooLongText(record.msg.size()));
    m_query.bindValue(0, notNull(record.mobile));
    m_query.bindValue(1, notNull(record.msg));
    m_query.bindValue(2, notNull(record.rdttm));
    m_query.bindValue(3, numberValue(record.urgent));
    m_query.bindValue(4, numberValue(record.typ));
    if (!m_query.exec())
        throw StoreError::fromSql(m_query.lastError(), QStringLiteral("Rsms insert"));
    m_query.finish();
    ++m_added;
}

void enqueue(Store& store, const QueueRecord& record)
{
    Writer writer(store);
    writer.add(record);
}

void enqueueAll(Store& store, const QList<QueueRecord>& records)
{
    if (records.isEmpty())
        return;
    Writer writer(store);
    for (const QueueRecord& r : records)
        writer.add(r);
}

} // namespace SendQueue

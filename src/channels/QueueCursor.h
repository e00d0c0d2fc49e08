#pragma once

#include <QString>
#include <QVariant>
#include <QtGlobal>

class Store;

// The queued message a tick picked: a row of the local queue Rsms (addressed
// by its rowid) or, in server mode, of the server table SendSMS (addressed by
// autono). The tick opens it, SmsSender::sendSms() reads the number and the
// text, SentLedger::saveSentSms() records the message, deletes or marks the
// row and closes it; the tick closes it on every other path.
//
// The values are read when the cursor is opened; the row itself is changed
// only by markTried() and by the ledger, through the key.
class QueueCursor
{
public:
    enum class Source
    {
        Local,
        Server
    };

    // A closed cursor.
    QueueCursor() = default;

    // A cursor standing on a row read by the caller.
    static QueueCursor onLocalRow(qint64 rowid, const QString& mobile, const QString& msg,
                                  const QVariant& rdtTm, const QVariant& typ);
    static QueueCursor onServerRow(qint64 autono, const QString& mobile, const QString& msg,
                                   int failures = 0);

    // The first row of the local queue: smallest urgent first; among equal
    // values the rows never tried in row order, then the row tried longest
    // ago, so that a message that keeps failing cannot hold back the others.
    // Closed when the queue is empty.
    static QueueCursor openLocal(Store& store);
    // Server rows are opened by a claim (ServerQueueClaim::claim), so that
    // two engines on one server never stand on the same row.
    // Its statement, answered from the index on (urgent, Tried).
    static const QString LocalPickSql;

    bool isOpen() const { return m_open; }
    void close() { m_open = false; }

    Source source() const { return m_source; }
    bool isServer() const { return m_source == Source::Server; }
    // Rsms rowid (local) or SendSMS autono (server).
    qint64 key() const { return m_key; }

    // The row's values as stored (Null text read as empty text).
    const QString& mobile() const { return m_mobile; }
    const QString& msg() const { return m_msg; }
    // RDtTM and typ of a local row, Null when the row holds Null (and on a server row).
    const QVariant& rdtTm() const { return m_rdtTm; }
    const QVariant& typ() const { return m_typ; }
    // Failed sends of a server row before this one (its FailCount).
    int failures() const { return m_failures; }

    // Local rows: sets urgent to the given value (the tick sets 10 on the
    // row it picked, so that a failing message goes behind the others) and
    // stamps Tried with the next number among the rows of that value.
    void markTried(Store& store, int urgent) const;

private:
    bool m_open = false;
    Source m_source = Source::Local;
    qint64 m_key = 0;
    QString m_mobile;
    QString m_msg;
    QVariant m_rdtTm;
    QVariant m_typ;
    int m_failures = 0;
};

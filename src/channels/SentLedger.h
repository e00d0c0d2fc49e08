#pragma once

#include "core/Store.h"

#include <QDateTime>
#include <QString>

class EngineContext;
class QueueCursor;

// SaveSentSMS: records a message that a channel has just sent and takes it
// out of the queue.
//
// Every call appends "Save Data" + CR LF to the tick trace. A closed cursor
// (the message is recorded already) ends the call there.
//
// Local row: appends "Add Record", then, in ONE transaction, adds the ledger
// row to sms, deletes the queue row (by rowid) and writes the advanced
// message id counter into the config row of the console's user name; then
// closes the cursor and appends "Save End". A failing statement rolls all
// three back and throws StoreError: the message stays queued, nothing is
// recorded, the counter is unchanged and the cursor stays open for the tick
// to close.
//
// The ledger row: Mobile and msg as queued; RDTTM the queue row's RDtTM
// (Null: empty text); SDTTm now, as "yyyy-MM-dd HH:mm:ss"; typ (Null: 0);
// ANS, HTTP channel only, the answer with every "<br>" removed, cut to
// 251 characters; Uname the console's user name cut to 15; Status "P"; Try
// 0; Reply and Extra1 Null.
//
// Server row: sets Status "Y" and sdt to the server's time and clears the
// claim and the retry time (by autono),
// advances the counter and writes it back into the local config row, closes
// the cursor.
//
// A counter at the largest 32-bit value is not advanced: the message is
// still recorded and dequeued (it went out), the counter keeps its value and
// the trace gets "Counter at its largest value: not advanced" + CR LF.
class SentLedger
{
public:
    explicit SentLedger(EngineContext& context);

    // answer: what the channel answered, as the response box shows it.
    void saveSentSms(QueueCursor& cursor, const QString& answer);

    // The ANS value of an HTTP answer.
    static QString answerForLedger(const QString& response);
    // SDTTm as stored: sorts and filters by date in SQLite.
    static QString sentTime(const QDateTime& when);

    // The statement that marks a server row sent, with the server's own
    // time (Getdate() on SQL Server, CURRENT_TIMESTAMP on PostgreSQL).
    static QString serverUpdate(Store::Dialect dialect);

private:
    // The advanced counter, or the same value when it cannot advance.
    static qint32 advanced(qint32 counter, bool* atMaximum);

    EngineContext& m_context;
};

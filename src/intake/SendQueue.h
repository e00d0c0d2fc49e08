#pragma once

#include <QList>
#include <QSqlQuery>
#include <QString>

class Store;

// One row of the send queue Rsms: what every intake path (the single-message
// screen, the drop-file import, the spreadsheet messages screen) puts there.
struct QueueRecord
{
    QString mobile;    // destination number, as the writer gives it
    QString msg;       // message text
    QString rdttm;     // queueing time stamp, as the writer gives it
    double urgent = 0; // queue order: the smallest is sent first
    double typ = 0;    // message type, carried into the sent ledger
};

// The one insert by which a row enters the send queue. Values are bound as
// parameters, so apostrophes, quotes and any other character are stored
// exactly as typed. Whole numbers are stored as integers, any other value
// as it stands. Failures throw StoreError.
namespace SendQueue {

// The longest message text the queue takes, in characters (UTF-16 code
// units, as the gateways count them): ten concatenated SMS parts. A longer
// text would be refused or cut by every gateway after it had been queued, so
// it is refused here, on the way in.
constexpr qsizetype MaxTextLength = 1600;

// Whether a text of this length can be queued.
constexpr bool fits(qsizetype textLength)
{
    return textLength <= MaxTextLength;
}

// The statement, with its five placeholders.
QString insertStatement();

// Adds one row. A text longer than MaxTextLength throws StoreError and
// adds nothing.
void enqueue(Store& store, const QueueRecord& record);

// Adds every row, in order. It opens no transaction of its own: run it inside
// a Store::Transaction to make the rows all-or-nothing.
void enqueueAll(Store& store, const QList<QueueRecord>& records);

// Prepares the insert once and runs it for every row added; for a caller that
// produces rows one by one inside its own transaction (the drop-file import).
// A text longer than MaxTextLength throws StoreError and adds nothing.
class Writer
{
public:
    explicit Writer(Store& store);
    void add(const QueueRecord& record);
    int added() const { return m_added; }

private:
    QSqlQuery m_query;
    int m_added = 0;
};

} // namespace SendQueue

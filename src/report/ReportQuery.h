#pragma once

#include <QCoroTask>
#include <QDate>
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <functional>

class Store;

// The statements of the message report: one list of queued messages (Rsms)
// and three lists of sent ones (sms) by delivery state, with filters on the
// start of the number and on dates and a choice of order. Every value the
// operator types is bound as a parameter.
namespace MessageReport {

// The views, numbered as the report's option buttons.
enum class View
{
    Delivered = 0,
    Queued = 1,
    Undelivered = 2,
    AwaitingReport = 3
};
// The orders, numbered as the order option buttons.
enum class Order
{
    Date = 0,
    Mobile = 1,
    Message = 2
};

struct Criteria
{
    View view = View::Queued;
    QString mobileStart; // the typed start of the number
    bool byDate = false;
    QDate from;
    QDate to;
    Order order = Order::Date;
};

struct Statement
{
    QString sql;
    QVariantList params;
};

// Captions of the list's columns, in column order (the queued view has the first three).
inline const QString MobileCaption = QStringLiteral("Mobile");
inline const QString MessageCaption = QStringLiteral("Massage");
inline const QString QueuedCaption = QStringLiteral("RDateTime");
inline const QString SentCaption = QStringLiteral("SDateTime");
inline const QString StatusCaption = QStringLiteral("Status");
inline const QString ReplyCaption = QStringLiteral("reply");
constexpr int ReplyColumn = 5;
// The queued list carries each row's key after its three columns, for the
// grid to hide and a deletion to name its row by.
inline const QString KeyCaption = QStringLiteral("Key");
constexpr int QueuedKeyColumn = 3;

// Name of the SQL function that reads a queueing stamp as yyyymmdd (Null
// when unreadable); installFunctions() registers it on a connection.
inline const QString QueueDayFunction = QStringLiteral("queue_day");

// True when the typed text filters by number: it begins with a number
// greater than 0 (blanks before it are skipped).
bool filtersByNumber(const QString& mobileStart);

// The LIKE pattern that keeps the numbers beginning with the typed text:
// the text with \, % and _ escaped by \ (the statements add the '%').
QString escapeLike(const QString& text);

Statement listStatement(const Criteria& criteria);
Statement countStatement(const Criteria& criteria);

// Registers queue_day() on the store's SQLite connection (once per connection).
void installFunctions(Store& store);

// Runs a list statement and returns it ready for a query model (scrollable,
// rows fetched as they are asked for), or, for reading once from first to
// last, forward-only.
QSqlQuery open(Store& store, const Statement& statement, bool scrollable = true);

// One line of comma-separated values ending in CR LF: a field holding a
// comma, a quote, a line break or blanks at either end is quoted, its
// quotes doubled.
QString csvLine(const QStringList& fields);

// The number of rows the criteria list.
qint64 count(Store& store, const Criteria& criteria);

// Writes the sortable queueing day (yyyymmdd) into Extra1 of every ledger row
// that has none and whose stamp reads as a day (QueueStamp), in one
// statement; a row whose stamp cannot be read keeps its Null. Registers
// queue_day() when needed. Returns the number of rows written. The screens
// use the chunked form below, which keeps the event loop turning.
int backfillQueueDay(Store& store);

// One day of the summary: the ledger rows sent that day by delivery state,
// and the queued messages stamped with that day.
struct DayCounts
{
    QDate day;
    qint64 delivered = 0;
    qint64 undelivered = 0;
    qint64 awaiting = 0; // any status but "Y" and "N", none included
    qint64 queued = 0;
    qint64 total() const { return delivered + undelivered + awaiting + queued; }
};

struct Summary
{
    QList<DayCounts> days; // every day of the range, in order, empty ones too
    DayCounts totals;      // its day is invalid
};

// The longest range a summary covers; a longer one is cut to its last days.
constexpr int MaxSummaryDays = 366;

// The first day a summary of from..to covers (to less MaxSummaryDays - 1
// days at most).
QDate summaryStart(const QDate& from, const QDate& to);

// The one statement of the summary: one row per day from..to (day text
// yyyy-mm-dd, delivered, undelivered, awaiting, queued). Each day counts
// on the ledger's (Status, SDTTm) index, so a million rows need no sort;
// the queue is grouped by its stamp's day.
Statement summaryStatement(const QDate& from, const QDate& to);

// Runs the summary statement (registering queue_day() when needed).
Summary summary(Store& store, const QDate& from, const QDate& to);

// Ledger rows (by rowid) that one statement of the chunked back-fill looks
// at: some tens of milliseconds of work on this kind of machine.
constexpr int BackfillChunkRows = 10000;

// How far a chunked back-fill has come. Rows are counted by rowid from the
// row it started after to the last row there was when it started.
struct BackfillProgress
{
    qint64 examined = 0;
    qint64 total = 0;
    qint64 written = 0;
    qint64 examinedUpTo = 0; // the rowid the next fill starts after
};
// Told after each chunk; false stops the fill before the next one.
using BackfillProgressFn = std::function<bool(const BackfillProgress&)>;

// As backfillQueueDay with examinedUpTo, in statements of chunkRows ledger
// rows, each committed on its own: a process killed half-way loses nothing,
// and a fill started from examinedUpTo again goes on where it stopped.
// Between chunks the event loop runs; the first chunk runs at once, so a
// ledger that fits in it is done when the task is first returned. progress
// is told after each chunk: once the waiting events have run when another
// chunk follows (its answer decides whether it does), at once after the last.
QCoro::Task<BackfillProgress> backfillQueueDayInChunks(Store& store, qint64 examinedUpTo,
                                                       BackfillProgressFn progress = {},
                                                       int chunkRows = BackfillChunkRows);

// Deletes the one queued row with this key, when it still holds this number
// and this queueing stamp (Null matches Null): a key left free by a message
// sent meanwhile may already name another one. Returns how many were
// deleted (0 or 1).
int deleteQueued(Store& store, const QVariant& key, const QVariant& mobile, const QVariant& stamp);

} // namespace MessageReport

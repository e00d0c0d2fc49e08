#pragma once

#include "intake/SendQueue.h"

#include <QDateTime>
#include <QList>
#include <QString>

class SheetReader;
class Store;

// The rules of the spreadsheet messages screen without its widgets: which
// sheet rows are taken, which rows are queued and with what text.
namespace SpreadsheetMessages {

// At most this many sheet rows are read per import.
constexpr int MaxSheetRows = 10000;
// A row is taken into the grid when the value of its column A is above this.
constexpr double ImportBound = 90000000.0;
// A visited row is queued when its number lies strictly between these.
constexpr double LowestNumber = 9000000000.0;
constexpr double HighestNumber = 10000000000.0;
// Queue order of these messages: after the rows queued with 0.
constexpr double Urgency = 1;
inline const QString StampPattern = QStringLiteral("DDMMYYYYHHMMSS");

enum class RowRule
{
    Stop,     // column A is no number (or 0) and column B is empty: reading ends
    PassOver, // a small or non-numeric number with some text: the next row follows
    Take,     // a number above ImportBound: the row goes into the grid
};

// What the import does with one sheet row (column A and column B texts).
RowRule classify(const QString& columnA, const QString& columnB);

struct SheetRow
{
    QString mobile;  // column A as the sheet gives it
    QString message; // column B as the sheet gives it
};

// The rows an import takes from a sheet, in sheet order, with the stop rule
// and the row limit.
QList<SheetRow> takeRows(const SheetReader& sheet);

// The sheet rows holding a value in column A or B that an import leaves
// unread because it stops at MaxSheetRows (0 when the stop rule ends the
// reading at or before that row).
int rowsLeftUnread(const SheetReader& sheet);

// The message of a row: trimmed, every CR LF pair removed, trimmed again.
QString messageText(const QString& raw);

// Whether "Send SMS" visits a grid row: its number has a value above 0.
bool isVisited(const QString& mobile);

// Whether a visited row is queued: a message and a ten-digit number above
// 9000000000 (blanks inside the number are skipped when it is read).
bool qualifies(const QString& mobile, const QString& message);

// The queueing time stamp: day, month, four-digit year, hours, minutes, seconds.
QString stamp(const QDateTime& when);

// The queue row of one message: the number as the grid shows it, urgency 1, type 0.
QueueRecord record(const QString& mobile, const QString& message, const QDateTime& when);

// Queues every row in one transaction: all of them or, on a failure
// (StoreError), none.
void queueAll(Store& store, const QList<QueueRecord>& records);

} // namespace SpreadsheetMessages

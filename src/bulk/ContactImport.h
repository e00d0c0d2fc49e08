#pragma once

#include <QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>

class Store;

// Contacts from the cells of a spreadsheet (or a text / CSV file): the
// number in the first column, the name in the second. Reading yields to the
// event loop every few rows so a long file keeps the screen alive and can be
// cancelled; storing happens afterwards in one transaction, so an import
// adds all its rows or none.
namespace ContactImport {

enum class Target
{
    Contacts,  // "Save to Contect": rows of Clist in the chosen group
    NumberBox, // "Direct Send SMS": numbers for the bulk sender's number box
};

constexpr int MaxRows = 10000;
// A first-column value must be above this to count as a mobile number.
constexpr double SmallestNumber = 90000000;
inline const QString DefaultGroup = QStringLiteral("DEFULT");
inline const QString ClosingText = QStringLiteral("  Records Add to Group");

// The text of a cell, 1-based row and column; empty for an empty cell.
using CellReader = std::function<QString(int row, int column)>;

struct Row
{
    int row = 0;
    QString mobile;
    QString name;
};

struct Plan
{
    QList<Row> rows;
    int rowsRead = 0; // rows looked at before the stop (an empty first cell or the last row)
};

// Lets the screen follow and stop a running read.
struct Control
{
    int yieldEvery = 250;
    bool cancelled = false;
    std::function<void(int rowsRead)> progress;
};

// The read was cancelled by the operator; nothing was stored.
class Cancelled : public std::runtime_error
{
public:
    Cancelled() : std::runtime_error("import cancelled") {}
};

// A row that cannot be stored (a value wider than its column): nothing of
// the file is stored.
class RowError : public std::runtime_error
{
public:
    RowError(int row, const QString& text);
    int row() const { return m_row; }
    const QString& text() const { return m_text; }

private:
    int m_row;
    QString m_text;
};

// The mobile number read from a first-column cell, or an empty text when
// the row is skipped (a header, a short number).
QString mobileFrom(const QString& cell);

// Reads up to MaxRows rows, stopping at an empty first cell. For the
// Contacts target every row is checked against the Clist widths with the
// group given; a row that does not fit throws RowError. Throws Cancelled
// when control->cancelled is set while it yields.
QCoro::Task<Plan> read(CellReader cells, Target target, QString group, Control* control);

// Stores the planned rows as contacts of the group in one transaction and
// returns how many were added.
int store(Store& store, const Plan& plan, const QString& group);

// The closing message for count rows: " 3  Records Add to Group".
QString closingMessage(int count);

} // namespace ContactImport

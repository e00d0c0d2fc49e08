#pragma once

#include "spreadsheet/reader/SheetReader.h"

#include <QByteArrayView>

// The three readers behind SheetReader::open. Each throws SheetError.
namespace Sheets {

struct LoadedSheet
{
    QString name;
    std::vector<SheetReader::Row> rows;
};

// Sheets are kept dense, one slot per cell up to the last of its row and one
// per row: a file of a few kilobytes can name a cell at row 3000 of column
// XFD and so ask for a thousand times its size. Beyond this many slots the
// file is refused as too large, long before memory runs out.
class CellBudget
{
public:
    static constexpr qsizetype MaxSlots = 5'000'000;

    explicit CellBudget(QString path) : m_path(std::move(path)) {}
    // Throws SheetError when n more slots go beyond the bound.
    void spend(qsizetype n);

private:
    QString m_path;
    qsizetype m_spent = 0;
};

// Collects cells in any order into rows; cells are 0-based here.
class RowsBuilder
{
public:
    explicit RowsBuilder(const QString& path) : m_budget(path) {}
    // Empty text clears a cell that was set before and adds nothing otherwise.
    void set(int row, int column, QString text);
    std::vector<SheetReader::Row> take() { return std::move(m_rows); }

private:
    CellBudget m_budget;
    std::vector<SheetReader::Row> m_rows;
};

// contents: the whole file (a compound file; a zip).
LoadedSheet loadXls(const QString& path, QByteArrayView contents);
LoadedSheet loadXlsx(const QString& path, QByteArrayView contents);
// contents: the whole file (text).
LoadedSheet loadCsv(const QString& path, QByteArrayView contents);

// Whether the start of a file reads as text rather than binary data.
bool looksLikeText(QByteArrayView head);

} // namespace Sheets

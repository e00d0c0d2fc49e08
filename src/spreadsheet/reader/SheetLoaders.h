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

// Collects cells in any order into rows; cells are 0-based here.
class RowsBuilder
{
public:
    // Empty text clears a cell that was set before and adds nothing otherwise.
    void set(int row, int column, QString text);
    std::vector<SheetReader::Row> take() { return std::move(m_rows); }

private:
    std::vector<SheetReader::Row> m_rows;
};

// contents: the whole file (a compound file).
LoadedSheet loadXls(const QString& path, QByteArrayView contents);
LoadedSheet loadXlsx(const QString& path);
// contents: the whole file (text).
LoadedSheet loadCsv(const QString& path, QByteArrayView contents);

// Whether the start of a file reads as text rather than binary data.
bool looksLikeText(QByteArrayView head);

} // namespace Sheets

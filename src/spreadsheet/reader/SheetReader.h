#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

// Reading the cell values of a workbook's active sheet: the sheet the workbook
// opens on in a spreadsheet program. Only that sheet is read; its cells are
// kept in memory as text, so cell() is a plain lookup.
//
// Cell texts:
// - text cells as they stand (no trimming);
// - numbers in plain decimal digits with no exponent and no trailing zeros
//   ("9876543210", "15551234567", "12.5", "-42"), so phone numbers stay exact;
//   a number stored as text ("0987654321") keeps its leading zero;
// - dates "yyyy-MM-dd", date-times "yyyy-MM-dd HH:mm:ss", times "HH:mm:ss";
// - booleans "TRUE" / "FALSE"; error values as shown ("#DIV/0!", "#N/A");
// - formulas give their last computed (cached) value, empty when the file
//   holds none;
// - empty and missing cells give empty text.

enum class SheetFormat
{
    Xls,  // Excel 97-2003 workbook (compound file holding a BIFF8 or BIFF5 stream)
    Xlsx, // Excel 2007 and later workbook (zip holding SpreadsheetML)
    Csv   // text with comma, semicolon or tab separated fields (.csv, .txt)
};

// A file that cannot be read. message() (also what(), in UTF-8) is meant for
// the operator: "The file C:\data\list.xls cannot be read: it is not an Excel
// workbook".
class SheetError : public std::runtime_error
{
public:
    SheetError(const QString& path, const QString& reason);

    QString message() const;
    QString path() const { return m_path; }
    // The part after the colon: "it does not exist", "it is empty", "it is
    // damaged", "it is not an Excel workbook", "it is protected by a password"...
    QString reason() const { return m_reason; }

private:
    QString m_path;
    QString m_reason;
};

class SheetReader
{
public:
    // Opens the file and reads its active sheet. Throws SheetError for a
    // missing, unreadable, empty, damaged, protected or foreign file, and
    // for one over 512 MB.
    static std::unique_ptr<SheetReader> open(const QString& path);

    // Which reader the file needs. The contents decide when they are known (a
    // compound file is Xls, a zip is Xlsx, text is Csv, whatever the file is
    // called); a missing or empty file is judged by its extension (.xls,
    // .xlsx/.xlsm, .csv/.txt). Nothing when neither tells (binary contents
    // that are no workbook, or an unknown extension).
    static std::optional<SheetFormat> formatFor(const QString& path);

    SheetFormat format() const { return m_format; }
    // Name of the sheet that was read (for a text file: its base name).
    QString sheetName() const { return m_sheetName; }

    // Extent of the sheet's values: the last row and the last column that
    // hold a non-empty cell (0 and 0 for a sheet without values).
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    int columnCount() const { return m_columnCount; }

    // Text of a cell, 1-based: cell(1, 1) is A1, cell(7, 3) is C7. Outside the
    // extent, and for empty cells, empty text.
    QString cell(int row, int column) const;

    // A sheet made from rows of cell texts (row 0 is sheet row 1). Empty
    // cells at the end of a row and empty rows at the end are dropped. The
    // readers build their result this way; tests of the screens can too.
    using Row = std::vector<QString>;
    SheetReader(SheetFormat format, QString sheetName, std::vector<Row> rows);

private:
    SheetFormat m_format;
    QString m_sheetName;
    std::vector<Row> m_rows;
    int m_columnCount = 0;
};

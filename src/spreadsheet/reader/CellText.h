#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Turning stored cell values into the texts SheetReader gives.
namespace Sheets {

// A number as SpreadsheetML stores it ("9876543210", "9.87654321E9",
// "1.5E-3", "12.50") in plain decimal digits: "9876543210", "0.0015", "12.5".
// The digits are moved, never rounded, so long phone numbers stay exact.
// Text that is no number is given back unchanged.
QString plainNumber(QStringView raw);

// A binary number (.xls): whole values with no decimals ("15551234567"),
// others with the shortest digits that read back to the same value.
QString numberText(double value);

// A date serial number: "yyyy-MM-dd" for whole days, "HH:mm:ss" below one
// day, "yyyy-MM-dd HH:mm:ss" otherwise. Serials are days since 1899-12-30
// (Excel's 1900 system, with its phantom 1900-02-29) or since 1904-01-01.
// Values outside years 1900 to 9999 give numberText().
QString serialDateText(double serial, bool date1904);

// Whether a number format shows a date or time: the built-in ones (14-22,
// 27-36, 45-47, 50-58) or a format code with day, month, year, hour or
// second parts outside quotes and brackets.
bool isDateFormat(int numberFormatId, QStringView formatCode);

// BIFF error code to its text: 0x07 -> "#DIV/0!".
QString errorText(int code);

// Windows-1252 bytes as text.
QString fromWindows1252(QByteArrayView bytes);

// SpreadsheetML escapes characters XML cannot carry as _xHHHH_ ("_x000D_").
QString unescapeXmlChars(const QString& text);

} // namespace Sheets

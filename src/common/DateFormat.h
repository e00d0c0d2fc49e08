#pragma once

#include <QDateTime>
#include <QString>

// Date formatting with the classic pattern letters used throughout the
// system (letter case does not matter):
//   d, dd       day, without / with a leading zero
//   m, mm       month; minute when it follows an hour
//   y           day of the year (1 to 366, no leading zeros)
//   yy, yyyy    two- or four-digit year; "yyy" reads as "yy" then "y"
//   h, hh       hour 0 to 23
//   n, nn       minute
//   s, ss       second
// Any other character is copied as it stands.
namespace DateFormat {

QString format(const QDateTime& when, const QString& pattern);

// The time format of the console: "HH:MM:SS".
inline QString consoleTime(const QDateTime& when)
{
    return format(when, QStringLiteral("HH:MM:SS"));
}

} // namespace DateFormat

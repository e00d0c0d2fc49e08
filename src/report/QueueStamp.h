#pragma once

#include <QDate>
#include <QStringView>
#include <optional>

// Reading the queueing time stamp (RDtTM) of a queue or ledger row. The
// intake paths write two day-first digit forms, and the bulk sender's ledger
// rows a third, written form:
//
//   day-of-year form  "ddmmyyyHHMMSS": day, month, two-digit year, the day of
//                     the year without leading zeros (1 to 366), hours,
//                     minutes, seconds; 13 to 15 digits. The day of the year
//                     must agree with the date.
//   full-year form    "DDMMYYYYHHMMSS": day, month, four-digit year, hours,
//                     minutes, seconds; exactly 14 digits.
//   dashed form       "DD-MM-YYYY HH:MM:SS": the same fields with their
//                     separators; exactly 19 characters.
//
// A 14-digit stamp can have either shape. It is read in the full-year form
// when its digits 5-6 are "20" (a year 2000 to 2099) and that reading is a
// valid date and time; otherwise in the day-of-year form. The two readings
// of one 14-digit text can both be valid only for a day-of-year stamp taken
// in 2020 on days 10 to 99 of the year (digits 5-6 "20", then the day of the
// year); such a stamp reads as the same day and month of the year 20 + the
// day of the year. Every other stamp of any form reads as written; a stamp
// that is not a real day and time of one of the forms cannot be read.
namespace QueueStamp {

enum class Form
{
    Unreadable,
    DayOfYear,
    FullYear,
    Dashed
};

Form form(QStringView stamp);

// The calendar day of the stamp; nothing when it cannot be read. Blanks
// around the digits are ignored.
std::optional<QDate> date(QStringView stamp);

// The day as the number yyyymmdd, or 0 when the stamp cannot be read.
int dayNumber(QStringView stamp);

} // namespace QueueStamp

#include "report/QueueStamp.h"

#include <QTime>

namespace QueueStamp {

namespace {

// The value of a run of ASCII digits, or -1 when the run holds anything else.
int digits(QStringView text, qsizetype from, qsizetype count)
{
    if (from < 0 || count <= 0 || from + count > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

bool validTime(QStringView text, qsizetype from)
{
    return QTime::isValid(digits(text, from, 2), digits(text, from + 2, 2), digits(text, from + 4, 2));
}

std::optional<QDate> fullYear(QStringView s)
{
    if (s.size() != 14 || digits(s, 4, 2) != 20)
        return std::nullopt;
    const int day = digits(s, 0, 2);
    const int month = digits(s, 2, 2);
    const int year = digits(s, 4, 4);
    if (year < 0 || !QDate::isValid(year, month, day) || !validTime(s, 8))
        return std::nullopt;
    return QDate(year, month, day);
}

std::optional<QDate> dashed(QStringView s)
{
    if (s.size() != 19 || s[2] != u'-' || s[5] != u'-' || s[10] != u' ' || s[13] != u':' || s[16] != u':')
        return std::nullopt;
    const int day = digits(s, 0, 2);
    const int month = digits(s, 3, 2);
    const int year = digits(s, 6, 4);
    if (year < 0 || !QDate::isValid(year, month, day) ||
        !QTime::isValid(digits(s, 11, 2), digits(s, 14, 2), digits(s, 17, 2)))
        return std::nullopt;
    return QDate(year, month, day);
}

std::optional<QDate> dayOfYear(QStringView s)
{
    if (s.size() < 13 || s.size() > 15)
        return std::nullopt;
    const int day = digits(s, 0, 2);
    const int month = digits(s, 2, 2);
    const int year = digits(s, 4, 2);
    const qsizetype ordinalLength = s.size() - 12; // 1 to 3 digits, no leading zero
    const int ordinal = digits(s, 6, ordinalLength);
    if (year < 0 || ordinal <= 0 || s[6] == u'0' || !QDate::isValid(2000 + year, month, day))
        return std::nullopt;
    const QDate date(2000 + year, month, day);
    if (date.dayOfYear() != ordinal || !validTime(s, 6 + ordinalLength))
        return std::nullopt;
    return date;
}

} // namespace

Form form(QStringView stamp)
{
    const QStringView s = stamp.trimmed();
    if (fullYear(s))
        return Form::FullYear;
    if (dayOfYear(s))
        return Form::DayOfYear;
    if (dashed(s))
        return Form::Dashed;
    return Form::Unreadable;
}

std::optional<QDate> date(QStringView stamp)
{
    const QStringView s = stamp.trimmed();
    if (auto d = fullYear(s))
        return d;
    if (auto d = dayOfYear(s))
        return d;
    return dashed(s);
}

int dayNumber(QStringView stamp)
{
    const std::optional<QDate> d = date(stamp);
    return d ? d->year() * 10000 + d->month() * 100 + d->day() : 0;
}

} // namespace QueueStamp

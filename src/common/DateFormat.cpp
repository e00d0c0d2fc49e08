#include "common/DateFormat.h"

namespace DateFormat {

namespace {
QString two(int v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}
} // namespace

QString format(const QDateTime& when, const QString& pattern)
{
    const QDate date = when.date();
    const QTime time = when.time();
    QString out;
    bool afterHour = false; // "m" after an hour means minutes
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern[i].toLower();
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run].toLower() == c)
            ++run;
        switch (c.unicode()) {
        case 'd':
            out += run >= 2 ? two(date.day()) : QString::number(date.day());
            afterHour = false;
            break;
        case 'm':
            if (afterHour)
                out += run >= 2 ? two(time.minute()) : QString::number(time.minute());
            else
                out += run >= 2 ? two(date.month()) : QString::number(date.month());
            afterHour = false;
            break;
        case 'n':
            out += run >= 2 ? two(time.minute()) : QString::number(time.minute());
            afterHour = false;
            break;
        case 'y':
            if (run >= 4)
                out += QString::number(date.year());
            else if (run == 3)
                out += two(date.year() % 100) + QString::number(date.dayOfYear());
            else if (run == 2)
                out += two(date.year() % 100);
            else
                out += QString::number(date.dayOfYear());
            afterHour = false;
            break;
        case 'h':
            out += run >= 2 ? two(time.hour()) : QString::number(time.hour());
            afterHour = true;
            break;
        case 's':
            out += run >= 2 ? two(time.second()) : QString::number(time.second());
            afterHour = false;
            break;
        default:
            out += pattern.mid(i, run);
            // A separator between hour and minute ("HH:MM") keeps the hour context.
            break;
        }
        i += run;
    }
    return out;
}

} // namespace DateFormat

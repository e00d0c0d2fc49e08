#include "spreadsheet/reader/CellText.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <algorithm>
#include <cmath>

namespace Sheets {

QString plainNumber(QStringView raw)
{
    const QStringView text = raw.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    QString digits;
    qsizetype integerDigits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            digits.append(c);
            if (!point)
                ++integerDigits;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits.isEmpty())
        return raw.toString();
    long exponent = 0;
    if (i < text.size() && (text[i] == u'E' || text[i] == u'e')) {
        bool ok = false;
        exponent = text.sliced(i + 1).toLong(&ok);
        // Beyond a few hundred places the expansion is no use to anyone.
        if (!ok || std::labs(exponent) > 400)
            return raw.toString();
        i = text.size();
    }
    if (i != text.size())
        return raw.toString();

    // Move the decimal point by the exponent.
    const qsizetype pointAt = integerDigits + exponent;
    QString whole;
    QString fraction;
    if (pointAt <= 0) {
        fraction = QString(-pointAt, u'0') + digits;
    } else if (pointAt >= digits.size()) {
        whole = digits + QString(pointAt - digits.size(), u'0');
    } else {
        whole = digits.left(pointAt);
        fraction = digits.mid(pointAt);
    }
    qsizetype lead = 0;
    while (lead < whole.size() && whole[lead] == u'0')
        ++lead;
    whole.remove(0, lead);
    qsizetype trail = fraction.size();
    while (trail > 0 && fraction[trail - 1] == u'0')
        --trail;
    fraction.truncate(trail);
    if (whole.isEmpty())
        whole = QStringLiteral("0");
    if (whole == u"0" && fraction.isEmpty())
        return whole;
    QString out = negative ? QStringLiteral("-") + whole : whole;
    if (!fraction.isEmpty())
        out += u'.' + fraction;
    return out;
}

QString numberText(double value)
{
    if (!std::isfinite(value))
        return QString();
    if (value == 0)
        return QStringLiteral("0");
    if (std::floor(value) == value)
        return QString::number(value, 'f', 0);
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

QString serialDateText(double serial, bool date1904)
{
    // 2958465 is 9999-12-31 in the 1900 system.
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466)
        return numberText(serial);
    double days = std::floor(serial);
    long long seconds = std::llround((serial - days) * 86400.0);
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    const QTime time = QTime(0, 0).addSecs(int(seconds));
    if (days == 0)
        return time.toString(u"HH:mm:ss");
    QDate date;
    if (date1904) {
        date = QDate(1904, 1, 1).addDays(qint64(days));
    } else if (days < 60) {
        date = QDate(1899, 12, 31).addDays(qint64(days));
    } else if (days == 60) {
        // Excel counts a 29 February 1900 that never was; show its neighbour.
        date = QDate(1900, 2, 28);
    } else {
        date = QDate(1899, 12, 30).addDays(qint64(days));
    }
    const QString day = date.toString(u"yyyy-MM-dd");
    if (seconds == 0)
        return day;
    return day + u' ' + time.toString(u"HH:mm:ss");
}

bool isDateFormat(int numberFormatId, QStringView formatCode)
{
    if ((numberFormatId >= 14 && numberFormatId <= 22) || (numberFormatId >= 27 && numberFormatId <= 36) ||
        (numberFormatId >= 45 && numberFormatId <= 47) || (numberFormatId >= 50 && numberFormatId <= 58))
        return true;
    if (numberFormatId < 164)
        return false;
    bool quoted = false;
    for (qsizetype i = 0; i < formatCode.size(); ++i) {
        const QChar c = formatCode[i];
        if (c == u'"') {
            quoted = !quoted;
        } else if (quoted) {
            continue;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i; // the next character is shown as it is
        } else if (c == u'[') {
            // Colours and conditions are skipped; elapsed time ([h], [mm], [ss]) counts.
            const qsizetype close = formatCode.indexOf(u']', i);
            if (close < 0)
                return false;
            const QStringView inside = formatCode.sliced(i + 1, close - i - 1);
            if (!inside.isEmpty() && QStringLiteral("hHmMsS").contains(inside[0]) &&
                inside.count(inside[0]) == inside.size())
                return true;
            i = close;
        } else if (QStringLiteral("dDmMyYhHsS").contains(c)) {
            return true;
        }
    }
    return false;
}

QString errorText(int code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    default:
        return QStringLiteral("#ERROR!");
    }
}

QString fromWindows1252(QByteArrayView bytes)
{
    // 0x80 to 0x9F differ from Latin-1; the five unassigned codes stay as
    // the control characters of the same number.
    static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* to = out.data();
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *to++ = (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return out;
}

namespace {

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

} // namespace

QString unescapeXmlChars(const QString& text)
{
    if (!text.contains(u"_x"))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            const QStringView hex = QStringView(text).sliced(i + 2, 4);
            if (std::all_of(hex.begin(), hex.end(), [](QChar c) { return isHexDigit(c); })) {
                out.append(QChar(hex.toUShort(nullptr, 16)));
                i += 6;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

} // namespace Sheets

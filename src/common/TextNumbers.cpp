#include "common/TextNumbers.h"

#include <cmath>

namespace TextNumbers {

namespace {
// The leading number of a text as the classic reader takes it: blanks
// skipped, an optional sign, digits and one decimal point (blanks inside the
// number are skipped too). digits holds the digits and the point as written.
bool scanNumber(QStringView text, bool& negative, QString& digits)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && (text[i] == u' ' || text[i] == u'\t'))
            ++i;
    };
    skipBlanks();
    negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
        skipBlanks();
    }
    digits.clear();
    bool seenPoint = false;
    bool seenDigit = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            digits += c;
            seenDigit = true;
        } else if (c == u'.' && !seenPoint) {
            digits += c;
            seenPoint = true;
        } else if (c == u' ' || c == u'\t') {
            continue;
        } else {
            break;
        }
    }
    return seenDigit;
}
} // namespace

double numericValue(QStringView text)
{
    bool negative = false;
    QString digits;
    if (!scanNumber(text, negative, digits))
        return 0.0;
    bool ok = false;
    const double value = digits.toDouble(&ok);
    if (!ok)
        return 0.0;
    return negative ? -value : value;
}

QString numberText(QStringView text)
{
    bool negative = false;
    QString digits;
    if (!scanNumber(text, negative, digits))
        return QStringLiteral("0");
    qsizetype point = digits.indexOf(u'.');
    if (point >= 0) {
        while (digits.endsWith(u'0'))
            digits.chop(1);
        if (digits.endsWith(u'.'))
            digits.chop(1);
    } else {
        point = digits.size();
    }
    qsizetype zeros = 0;
    while (zeros < point && digits[zeros] == u'0')
        ++zeros;
    digits.remove(0, zeros);
    if (digits.isEmpty())
        return QStringLiteral("0");
    if (digits.startsWith(u'.'))
        digits.prepend(u'0');
    return negative ? QStringLiteral("-") + digits : digits;
}

QString plain(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e18)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

QString withLeadingBlank(double value)
{
    const QString text = plain(value);
    return text.startsWith(u'-') ? text : QStringLiteral(" ") + text;
}

} // namespace TextNumbers

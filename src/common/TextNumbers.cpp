#include "common/TextNumbers.h"

#include <cmath>

namespace TextNumbers {

double numericValue(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && (text[i] == u' ' || text[i] == u'\t'))
            ++i;
    };
    skipBlanks();
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
        skipBlanks();
    }
    // Collect digits (blanks inside a number are skipped, as the classic
    // reader does) up to the first character that cannot belong to it.
    QString digits;
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
    if (!seenDigit)
        return 0.0;
    bool ok = false;
    const double value = digits.toDouble(&ok);
    if (!ok)
        return 0.0;
    return negative ? -value : value;
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

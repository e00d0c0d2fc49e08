#include "bulk/Recipients.h"

#include "common/TextNumbers.h"

#include <algorithm>

namespace Recipients {

QString fromNumberBox(const QString& text)
{
    QString joined = text;
    joined.replace(QStringLiteral("\r\n"), QStringLiteral(","));
    joined.replace(QLatin1Char('\n'), QLatin1Char(','));
    joined.replace(QLatin1Char('\r'), QLatin1Char(','));
    return joined;
}

QString fromContacts(const QStringList& mobiles)
{
    QString joined;
    for (const QString& m : mobiles)
        joined += m + QLatin1Char(',');
    return joined;
}

QStringList recipientList(const QString& joined)
{
    QStringList list;
    const QStringList parts = joined.split(QLatin1Char(','));
    for (const QString& part : parts) {
        const QString number = part.trimmed();
        if (!number.isEmpty())
            list << number;
    }
    // QString's operator< compares UTF-16 code units: no locale, case-sensitive.
    std::sort(list.begin(), list.end(), [](const QString& a, const QString& b) { return b < a; });
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
}

QList<QStringList> batches(const QStringList& recipients, int size)
{
    QList<QStringList> runs;
    for (qsizetype i = 0; i < recipients.size(); i += size)
        runs << recipients.mid(i, size);
    return runs;
}

QString confirmTitle(int count)
{
    return TextNumbers::withLeadingBlank(count) + QStringLiteral(" - SMS ");
}

QString confirmText(int count)
{
    return QStringLiteral("Are You Sure Want to Send \r\n") + TextNumbers::withLeadingBlank(count) +
           QStringLiteral("\r\n    SMS     ");
}

} // namespace Recipients

namespace PartCounter {

QString caption(const QString& text)
{
    const qsizetype length = text.size();
    return QString::number(length) + QLatin1Char('/') +
           TextNumbers::withLeadingBlank(double(length / PartLength + 1));
}

} // namespace PartCounter

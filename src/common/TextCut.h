#pragma once

#include <QString>

// The first n UTF-16 units of a text for a column of that width, one fewer
// when the last would be the first half of a surrogate pair: a cut there
// leaves a broken character, which the store cannot keep as UTF-8.
inline QString leftWhole(const QString& text, qsizetype n)
{
    if (n <= 0)
        return QString();
    if (n < text.size() && text[n - 1].isHighSurrogate() && text[n].isLowSurrogate())
        --n;
    return text.left(n);
}

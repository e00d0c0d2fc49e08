#include "common/ControlText.h"

namespace ControlText {

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

void appendEscaped(QString& out, char16_t c)
{
    static const char hex[] = "0123456789ABCDEF";
    out += QLatin1String("\\x");
    out += QLatin1Char(hex[(c >> 4) & 0xf]);
    out += QLatin1Char(hex[c & 0xf]);
}

} // namespace

QString escaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (isControl(c) && c != u'\t' && c != u'\r' && c != u'\n')
            appendEscaped(out, c);
        else
            out += ch;
    }
    return out;
}

QString excerpt(QStringView text, qsizetype maxChars)
{
    const qsizetype total = text.size();
    QStringView head = text.trimmed();
    const bool cut = head.size() > maxChars;
    if (cut)
        head = head.first(maxChars);
    QString out;
    out.reserve(head.size() + 40);
    for (qsizetype i = 0; i < head.size(); ++i) {
        const char16_t c = head[i].unicode();
        if (c == u'\r' && i + 1 < head.size() && head[i + 1] == u'\n')
            continue; // CR LF is one break, one blank
        if (c == u'\r' || c == u'\n')
            out += QLatin1Char(' ');
        else if (isControl(c) && c != u'\t')
            appendEscaped(out, c);
        else
            out += head[i];
    }
    if (cut)
        out += QStringLiteral("... (%1 characters)").arg(total);
    return out;
}

} // namespace ControlText

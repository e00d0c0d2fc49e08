#include "channels/UrlEncode.h"

#include "channels/Windows1252.h"

namespace {
bool isAsciiAlnum(char16_t u)
{
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}
} // namespace

// The encoding replaces "%" and "+" by the codes 1 and 2 first, then replaces
// each code of the code page in ascending order. None of the texts it puts
// in ("%", "+", hexadecimal digits) is replaced again, so one pass over the
// characters gives the same result.
QString UrlEncode(const QString& text)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(text.size() * 3);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (isAsciiAlnum(u)) {
            out.append(c);
        } else if (u == u'%' || u == 1) {
            out.append(QLatin1String("%25"));
        } else if (u == u'+' || u == 2) {
            out.append(QLatin1String("%2B"));
        } else if (u == u' ') {
            out.append(u'+');
        } else {
            const int code = Windows1252::fromUnicode(c);
            if (code < 0) {
                out.append(c); // not in the code page: left as it is
            } else {
                out.append(u'%');
                out.append(QLatin1Char(hex[code >> 4]));
                out.append(QLatin1Char(hex[code & 0xF]));
            }
        }
    }
    return out;
}

#include "GatewayQuery.h"

#include <QStringDecoder>

namespace gatewaysim {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Windows-1252 code points for 0x80..0x9F; 0 marks the unassigned codes.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

} // namespace

QByteArray percentDecode(QByteArrayView raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '+') {
            out.append(' ');
        } else if (c == '%' && i + 2 < raw.size() && hexValue(raw[i + 1]) >= 0 && hexValue(raw[i + 2]) >= 0) {
            out.append(char(hexValue(raw[i + 1]) * 16 + hexValue(raw[i + 2])));
            i += 2;
        } else {
            out.append(c);
        }
    }
    return out;
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b <= 0x9F && kHighControls[b - 0x80] != 0)
            out.append(QChar(kHighControls[b - 0x80]));
        else
            out.append(QChar(char16_t(b)));
    }
    return out;
}

QString decodeComponent(QByteArrayView raw, TextCoding coding)
{
    const QByteArray bytes = percentDecode(raw);
    if (coding == TextCoding::Utf8OrWindows1252) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
    }
    return fromWindows1252(bytes);
}

QString RequestTarget::value(QStringView name, Qt::CaseSensitivity cs) const
{
    for (auto it = items.crbegin(); it != items.crend(); ++it) {
        if (QStringView(it->name).compare(name, cs) == 0)
            return it->value.isNull() ? QStringLiteral("") : it->value;
    }
    return {};
}

bool RequestTarget::has(QStringView name, Qt::CaseSensitivity cs) const
{
    return !value(name, cs).isNull();
}

RequestTarget parseTarget(const QByteArray& raw, TextCoding coding)
{
    RequestTarget target;
    target.raw = raw;

    QByteArrayView rest(raw);
    // Absolute form ("http://host:port/path?query"), as sent to proxies: keep only path and query.
    if (const qsizetype scheme = rest.indexOf("://"); scheme > 0 && !rest.first(scheme).contains('/')) {
        rest = rest.sliced(scheme + 3);
        const qsizetype slash = rest.indexOf('/');
        const qsizetype question = rest.indexOf('?');
        if (slash < 0 && question < 0)
            rest = QByteArrayView("/");
        else if (slash < 0 || (question >= 0 && question < slash))
            rest = rest.sliced(question); // no path, query only
        else
            rest = rest.sliced(slash);
    }

    // A fragment is never sent by clients, but a careless one must not end up in a value.
    if (const qsizetype hash = rest.indexOf('#'); hash >= 0)
        rest = rest.first(hash);

    const qsizetype question = rest.indexOf('?');
    const QByteArrayView path = question < 0 ? rest : rest.first(question);
    target.path = path.isEmpty() ? QByteArray("/") : path.toByteArray();
    if (question < 0)
        return target;

    const QByteArrayView query = rest.sliced(question + 1);
    qsizetype start = 0;
    while (start <= query.size()) {
        qsizetype end = query.indexOf('&', start);
        if (end < 0)
            end = query.size();
        const QByteArrayView piece = query.sliced(start, end - start);
        if (!piece.isEmpty()) {
            const qsizetype eq = piece.indexOf('=');
            QueryItem item;
            item.name = decodeComponent(eq < 0 ? piece : piece.first(eq), coding);
            item.value = eq < 0 ? QStringLiteral("") : decodeComponent(piece.sliced(eq + 1), coding);
            target.items.append(item);
        }
        start = end + 1;
    }
    return target;
}

} // namespace gatewaysim

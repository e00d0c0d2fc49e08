#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

// Decoding of HTTP request targets as the gateway simulator sees them.
//
// The engine encodes message text in Windows-1252 before percent-encoding it, so the parameters of the
// gateway's own paths are read back as Windows-1252. The control paths are written by test code, which
// percent-encodes UTF-8; they are read as UTF-8 and fall back to Windows-1252 for bytes that are not.
namespace gatewaysim {

enum class TextCoding
{
    Windows1252,
    Utf8OrWindows1252,
};

// "+" becomes a blank and "%XX" the byte XX; a "%" not followed by two hex digits stays as it is.
QByteArray percentDecode(QByteArrayView raw);

// Every byte is one character: 0x80-0x9F through the Windows-1252 table (the five unassigned codes map to
// the control characters of the same value), everything else as Latin-1.
QString fromWindows1252(QByteArrayView bytes);

QString decodeComponent(QByteArrayView raw, TextCoding coding);

struct QueryItem
{
    QString name;
    QString value;
};

struct RequestTarget
{
    QByteArray raw;  // the request target exactly as received
    QByteArray path; // the part before "?", without scheme and authority for an absolute target
    QList<QueryItem> items;

    // The value of the last item called name, or a null string when there is none.
    QString value(QStringView name, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
    bool has(QStringView name, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
};

RequestTarget parseTarget(const QByteArray& raw, TextCoding coding);

} // namespace gatewaysim

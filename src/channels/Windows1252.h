#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// The Western single-byte code page (Windows-1252) in which the gateway's
// URL text is encoded and in which a modem's bytes are read. Codes 0 to 127
// and 160 to 255 are the same as Unicode; 128 to 159 hold the typographic
// characters of the code page. The five codes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same number, as
// the platform's conversion does, so every byte has a character.
namespace Windows1252 {

// The character of a byte.
QChar toUnicode(quint8 code);

// The byte of a character, or -1 when the code page cannot represent it.
int fromUnicode(QChar c);

// Bytes to text, every byte one character.
QString decode(const QByteArray& bytes);

// Text to bytes; a character that the code page cannot represent becomes
// the replacement byte.
QByteArray encode(const QString& text, char replacement = '?');

} // namespace Windows1252

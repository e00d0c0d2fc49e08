#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <functional>

class QIODevice;

// Reading the text of a drop file: its encoding, its lines.
namespace DropFileText {

enum class Encoding
{
    Windows1252,
    Utf8,
    Utf16LE,
    Utf16BE
};

// Single-byte Windows-1252 text to Unicode. The five bytes that the code page
// leaves undefined (81, 8D, 8F, 90, 9D) become the control characters of the
// same value, as Windows itself maps them.
QString fromWindows1252(QByteArrayView bytes);

// A file name as the file system holds it, in bytes, as text: UTF-8 when the
// bytes are valid UTF-8 (the only names Qt can open), Windows-1252 otherwise,
// as a program writing in the workstation's code page would have meant it.
// utf8, when given, tells which of the two it was.
QString fileNameFromBytes(QByteArrayView name, bool* utf8 = nullptr);

// Checks UTF-8 fed piece by piece: rejects overlong forms, surrogates, values
// above U+10FFFF and a sequence left incomplete at the end.
class Utf8Validator
{
public:
    void feed(QByteArrayView bytes);
    bool valid() const { return !m_failed && m_need == 0; }
    bool failed() const { return m_failed; }

private:
    int m_need = 0;
    unsigned char m_lo = 0x80;
    unsigned char m_hi = 0xBF;
    bool m_failed = false;
};

// Splits text fed piece by piece into lines. A line ends with CR LF or with
// CR alone; a line feed alone is an ordinary character of the line. Text
// after the last line end is a line of its own when it is not empty. A line
// longer than the cap is cut at the cap and the rest of it is dropped; the
// callback learns that through its second argument.
class LineSplitter
{
public:
    using Callback = std::function<void(QStringView line, bool cut)>;
    LineSplitter(qsizetype cap, Callback onLine);
    void feed(QStringView text);
    void finish();

private:
    void append(QStringView piece);
    void deliver();

    qsizetype m_cap;
    Callback m_onLine;
    QString m_line;
    bool m_cut = false;
    bool m_afterCr = false;
};

struct ReadResult
{
    bool ok = true;
    QString error; // why reading stopped, when !ok
    Encoding encoding = Encoding::Windows1252;
};

// Reads a whole file line by line in bounded memory. A byte order mark picks
// UTF-8 or UTF-16; without one the file is read as UTF-8 when all of it is
// valid UTF-8, as Windows-1252 otherwise. The device must be seekable: it is
// read twice (once to choose the encoding).
ReadResult readLines(QIODevice& device, qsizetype lineCap, const LineSplitter::Callback& onLine);

} // namespace DropFileText

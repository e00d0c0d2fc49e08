#include "intake/DropFileText.h"

#include <QIODevice>
#include <QStringDecoder>
#include <optional>

namespace DropFileText {

namespace {
constexpr qint64 ChunkSize = 64 * 1024;

// Windows-1252 bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool startsWith(QByteArrayView data, QByteArrayView prefix)
{
    return data.size() >= prefix.size() && data.first(prefix.size()) == prefix;
}
} // namespace

QString fromWindows1252(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        d[i] = (b >= 0x80 && b <= 0x9F) ? kHigh[b - 0x80] : char16_t(b);
    }
    return out;
}

void Utf8Validator::feed(QByteArrayView bytes)
{
    for (qsizetype i = 0; i < bytes.size() && !m_failed; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (m_need > 0) {
            if (b < m_lo || b > m_hi) {
                m_failed = true;
                return;
            }
            --m_need;
            m_lo = 0x80;
            m_hi = 0xBF;
            continue;
        }
        if (b < 0x80)
            continue;
        m_lo = 0x80;
        m_hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            m_need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            m_need = 2;
            if (b == 0xE0)
                m_lo = 0xA0; // no overlong forms
            else if (b == 0xED)
                m_hi = 0x9F; // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            m_need = 3;
            if (b == 0xF0)
                m_lo = 0x90;
            else if (b == 0xF4)
                m_hi = 0x8F; // nothing above U+10FFFF
        } else {
            m_failed = true;
        }
    }
}

QString fileNameFromBytes(QByteArrayView name, bool* utf8)
{
    Utf8Validator validator;
    validator.feed(name);
    if (utf8)
        *utf8 = validator.valid();
    if (!validator.valid())
        return fromWindows1252(name);
    // A name may begin with the bytes of a byte order mark: it is part of the
    // name, and the file cannot be opened without it (fromUtf8 drops it).
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(name);
}

LineSplitter::LineSplitter(qsizetype cap, Callback onLine)
    : m_cap(cap > 0 ? cap : 1), m_onLine(std::move(onLine))
{
}

void LineSplitter::append(QStringView piece)
{
    const qsizetype room = m_cap - m_line.size();
    if (piece.size() <= room) {
        m_line += piece;
        return;
    }
    if (room > 0) {
        QStringView kept = piece.first(room);
        // Never keep half of a surrogate pair.
        if (kept.back().isHighSurrogate())
            kept.chop(1);
        m_line += kept;
    }
    m_cut = true;
}

void LineSplitter::deliver()
{
    m_onLine(m_line, m_cut);
    m_line.clear();
    m_cut = false;
}

void LineSplitter::feed(QStringView text)
{
    qsizetype i = 0;
    if (m_afterCr && !text.isEmpty()) {
        if (text[0] == u'\n')
            i = 1; // the LF of a CR LF split across two pieces
        m_afterCr = false;
    }
    while (i < text.size()) {
        const qsizetype cr = text.indexOf(u'\r', i);
        const qsizetype end = cr < 0 ? text.size() : cr;
        if (!m_cut)
            append(text.sliced(i, end - i));
        if (cr < 0)
            break;
        deliver();
        i = cr + 1;
        if (i < text.size()) {
            if (text[i] == u'\n')
                ++i;
        } else {
            m_afterCr = true;
        }
    }
}

void LineSplitter::finish()
{
    if (!m_line.isEmpty() || m_cut)
        deliver();
    m_afterCr = false;
}

ReadResult readLines(QIODevice& device, qsizetype lineCap, const LineSplitter::Callback& onLine)
{
    ReadResult result;
    QByteArray chunk;
    auto readChunk = [&]() -> bool {
        chunk.resize(ChunkSize);
        const qint64 n = device.read(chunk.data(), ChunkSize);
        if (n < 0) {
            result.ok = false;
            result.error = device.errorString();
            chunk.clear();
            return false;
        }
        chunk.resize(n);
        return n > 0;
    };

    // First reading: choose the encoding.
    if (!device.seek(0)) {
        result.ok = false;
        result.error = device.errorString();
        return result;
    }
    bool first = true;
    bool bom = false;
    Utf8Validator utf8;
    while (readChunk()) {
        if (first) {
            first = false;
            if (startsWith(chunk, "\xEF\xBB\xBF")) {
                result.encoding = Encoding::Utf8;
                bom = true;
                break;
            }
            if (startsWith(chunk, "\xFF\xFE")) {
                result.encoding = Encoding::Utf16LE;
                bom = true;
                break;
            }
            if (startsWith(chunk, "\xFE\xFF")) {
                result.encoding = Encoding::Utf16BE;
                bom = true;
                break;
            }
        }
        utf8.feed(chunk);
        if (utf8.failed())
            break;
    }
    if (!result.ok)
        return result;
    if (!bom)
        result.encoding = utf8.valid() ? Encoding::Utf8 : Encoding::Windows1252;

    // Second reading: the lines.
    if (!device.seek(0)) {
        result.ok = false;
        result.error = device.errorString();
        return result;
    }
    LineSplitter splitter(lineCap, onLine);
    std::optional<QStringDecoder> decoder;
    switch (result.encoding) {
    case Encoding::Utf8:
        decoder.emplace(QStringConverter::Utf8);
        break;
    case Encoding::Utf16LE:
        decoder.emplace(QStringConverter::Utf16LE);
        break;
    case Encoding::Utf16BE:
        decoder.emplace(QStringConverter::Utf16BE);
        break;
    case Encoding::Windows1252:
        break;
    }
    while (readChunk()) {
        if (decoder)
            splitter.feed(QString(decoder->decode(chunk)));
        else
            splitter.feed(fromWindows1252(chunk));
    }
    if (!result.ok)
        return result;
    splitter.finish();
    return result;
}

} // namespace DropFileText

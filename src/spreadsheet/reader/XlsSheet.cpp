// .xls workbooks: FreeXL reads the cells; the workbook stream is walked here
// for what FreeXL does not tell: which sheet is active (WINDOW1), whether the
// file is encrypted (FILEPASS), and the values FreeXL flattens or drops
// (booleans and errors come out of it as plain integers, formula results as
// nothing).

#include "spreadsheet/reader/CellText.h"
#include "spreadsheet/reader/CompoundFile.h"
#include "spreadsheet/reader/SheetLoaders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QtEndian>
#include <freexl.h>
#include <map>

namespace Sheets {

namespace {

enum : uint16_t
{
    RecordFormula = 0x0006,
    RecordEof = 0x000A,
    RecordFilePass = 0x002F,
    RecordWindow1 = 0x003D,
    RecordBoundSheet = 0x0085,
    RecordFormatBiff5 = 0x001E,
    RecordFormat = 0x041E,
    RecordSharedStrings = 0x00FC,
    RecordContinue = 0x003C,
    RecordBoolErr = 0x0205,
    RecordString = 0x0207,
    RecordBof = 0x0809,
};

uint16_t u16(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<uint16_t>(data.data() + at);
}

// One BIFF record: type, then the length of its data, then the data.
struct Record
{
    uint16_t type = 0;
    QByteArrayView data;
};

class Records
{
public:
    Records(QByteArrayView stream, qsizetype from) : m_stream(stream), m_at(from) {}
    bool next(Record& record)
    {
        if (m_at < 0 || m_at + 4 > m_stream.size())
            return false;
        const uint16_t length = u16(m_stream, m_at + 2);
        if (m_at + 4 + length > m_stream.size())
            return false;
        record.type = u16(m_stream, m_at);
        record.data = m_stream.sliced(m_at + 4, length);
        m_at += 4 + length;
        return true;
    }

private:
    QByteArrayView m_stream;
    qsizetype m_at;
};

struct BoundSheet
{
    QString name;
    int kind = 0; // 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
    qint64 position = -1;
};

struct Globals
{
    bool biff8 = true;
    bool encrypted = false;
    int activeTab = 0;
    std::vector<BoundSheet> sheets;
};

// A BIFF8 string: character count (one or two bytes), option flags (bit 0:
// two bytes per character, else one byte holding the low byte), characters.
// BIFF5 strings are bytes in the workbook's code page, read here as
// Windows-1252.
QString biffString(QByteArrayView data, qsizetype at, bool wideCount, bool biff8)
{
    const int countBytes = wideCount ? 2 : 1;
    if (at + countBytes > data.size())
        return QString();
    const int count = wideCount ? u16(data, at) : static_cast<uint8_t>(data[at]);
    at += countBytes;
    if (!biff8)
        return fromWindows1252(data.sliced(at, std::min<qsizetype>(count, data.size() - at)));
    if (at >= data.size())
        return QString();
    const bool wide = data[at] & 0x01;
    ++at;
    QString out;
    for (int i = 0; i < count; ++i) {
        if (wide) {
            if (at + 2 > data.size())
                break;
            out.append(QChar(u16(data, at)));
            at += 2;
        } else {
            if (at >= data.size())
                break;
            out.append(QChar(static_cast<uint8_t>(data[at])));
            at += 1;
        }
    }
    return out;
}

// A number format's text as FreeXL copies it: the character count it
// declares (two bytes a character when the flag says so) must fit in the
// record, or the copy runs past the record's buffer.
bool formatTextFits(uint16_t type, QByteArrayView data)
{
    if (type == RecordFormat) {
        if (data.size() < 5)
            return false;
        const qsizetype width = (static_cast<uint8_t>(data[4]) & 0x01) ? 2 : 1;
        return 5 + u16(data, 2) * width <= data.size();
    }
    return data.size() >= 3 && 3 + static_cast<uint8_t>(data[2]) <= data.size();
}

// The shared-string table's data: the SST record's, then that of each
// CONTINUE record behind it, read as one sequence that knows where each
// record ends (a string's characters restart there with a fresh flags byte).
class ContinuedData
{
public:
    explicit ContinuedData(std::vector<QByteArrayView> parts) : m_parts(std::move(parts)) {}

    bool atEnd() const { return m_part == m_parts.size(); }
    qsizetype leftInPart() const { return atEnd() ? 0 : m_parts[m_part].size() - m_at; }

    // Takes n bytes that must lie in the current record.
    bool take(qsizetype n, QByteArrayView* out = nullptr)
    {
        if (n > leftInPart())
            return false;
        if (out)
            *out = m_parts[m_part].sliced(m_at, n);
        m_at += n;
        settle();
        return true;
    }

    // Skips n bytes that may run over into the following records.
    bool skip(qint64 n)
    {
        while (n > 0) {
            if (atEnd())
                return false;
            const qsizetype step = std::min<qint64>(n, leftInPart());
            m_at += step;
            n -= step;
            settle();
        }
        return true;
    }

    bool startedNewPart() const { return m_at == 0; }

private:
    // Steps over finished (and empty) records.
    void settle()
    {
        while (!atEnd() && m_at == m_parts[m_part].size()) {
            ++m_part;
            m_at = 0;
        }
    }

    std::vector<QByteArrayView> m_parts;
    size_t m_part = 0;
    qsizetype m_at = 0;
};

// One shared string: character count, flags (bit 0: two bytes a character;
// bit 3: formatting runs follow, their count here; bit 2: phonetic data
// follows, its size here), the characters, the runs (4 bytes each), the
// phonetic data. Characters cut by a record end go on in the next record
// after a new flags byte.
bool sharedStringFits(ContinuedData& data)
{
    QByteArrayView head;
    if (!data.take(3, &head))
        return false;
    qint64 characters = u16(head, 0);
    const uint8_t flags = static_cast<uint8_t>(head[2]);
    qint64 wide = (flags & 0x01) ? 2 : 1;
    qint64 trailing = 0;
    QByteArrayView field;
    if (flags & 0x08) {
        if (!data.take(2, &field))
            return false;
        trailing += 4 * qint64(u16(field, 0));
    }
    if (flags & 0x04) {
        if (!data.take(4, &field))
            return false;
        trailing += qFromLittleEndian<uint32_t>(field.data());
    }
    while (characters > 0) {
        if (data.startedNewPart() && characters != u16(head, 0)) {
            QByteArrayView restart;
            if (!data.take(1, &restart))
                return false;
            wide = (static_cast<uint8_t>(restart[0]) & 0x01) ? 2 : 1;
        }
        const qint64 here = std::min<qint64>(characters, data.leftInPart() / wide);
        if (here == 0)
            return false;
        data.skip(here * wide);
        characters -= here;
    }
    return data.skip(trailing);
}

// FreeXL copies each shared string by the sizes it declares: the table must
// hold as many strings as it says, each inside the table's records.
bool sharedStringsFit(QByteArrayView stream, qsizetype at)
{
    std::vector<QByteArrayView> parts;
    do {
        const uint16_t length = u16(stream, at + 2);
        parts.push_back(stream.sliced(at + 4, length));
        at += 4 + length;
    } while (at + 4 <= stream.size() && u16(stream, at) == RecordContinue &&
             at + 4 + u16(stream, at + 2) <= stream.size());
    if (parts.front().size() < 8)
        return false;
    const quint32 count = qFromLittleEndian<uint32_t>(parts.front().data() + 4);
    ContinuedData data(std::move(parts));
    data.take(8);
    for (quint32 i = 0; i < count; ++i) {
        if (!sharedStringFits(data))
            return false;
    }
    return true;
}

// FreeXL trusts the sizes a workbook declares: a record longer than the
// format allows (8224 bytes of data), running past the end of the stream, or
// a format text or shared string longer than its record makes it read
// beyond its buffers. Such a stream is refused before FreeXL sees it.
bool recordsAreSound(QByteArrayView stream)
{
    constexpr uint16_t MaxRecordData = 8224;
    qsizetype at = 0;
    while (at + 4 <= stream.size()) {
        const uint16_t type = u16(stream, at);
        const uint16_t length = u16(stream, at + 2);
        if (length > MaxRecordData || at + 4 + length > stream.size())
            return false;
        if ((type == RecordFormat || type == RecordFormatBiff5) &&
            !formatTextFits(type, stream.sliced(at + 4, length)))
            return false;
        if (type == RecordSharedStrings && !sharedStringsFit(stream, at))
            return false;
        at += 4 + length;
    }
    return true;
}

Globals readGlobals(const QString& path, QByteArrayView stream)
{
    Globals globals;
    Records records(stream, 0);
    Record record;
    if (!records.next(record) || record.type != RecordBof || record.data.size() < 4)
        throw SheetError(path, QStringLiteral("it is not an Excel workbook"));
    globals.biff8 = u16(record.data, 0) == 0x0600;
    bool windowSeen = false;
    while (records.next(record) && record.type != RecordEof) {
        switch (record.type) {
        case RecordFilePass:
            globals.encrypted = true;
            break;
        case RecordWindow1:
            // itabCur, the tab shown when the workbook opens, follows the
            // window position, size and option flags.
            if (!windowSeen && record.data.size() >= 12) {
                globals.activeTab = u16(record.data, 10);
                windowSeen = true;
            }
            break;
        case RecordBoundSheet:
            if (record.data.size() >= 7) {
                BoundSheet sheet;
                sheet.position = qFromLittleEndian<uint32_t>(record.data.data());
                sheet.kind = static_cast<uint8_t>(record.data[5]);
                sheet.name = biffString(record.data, 6, false, globals.biff8);
                globals.sheets.push_back(sheet);
            }
            break;
        default:
            break;
        }
    }
    return globals;
}

// Values FreeXL reports wrongly or not at all, by 0-based row and column:
// booleans and error codes (BOOLERR) and the results of formulas (FORMULA,
// followed by a STRING record when the result is text).
std::map<std::pair<int, int>, QString> valuesFreeXlMisses(QByteArrayView stream, qint64 position, bool biff8)
{
    std::map<std::pair<int, int>, QString> values;
    Records records(stream, position);
    Record record;
    if (!records.next(record) || record.type != RecordBof)
        return values;
    int depth = 1; // embedded charts bring their own BOF ... EOF
    std::optional<std::pair<int, int>> awaitingString;
    while (depth > 0 && records.next(record)) {
        if (record.type == RecordBof) {
            ++depth;
            continue;
        }
        if (record.type == RecordEof) {
            --depth;
            continue;
        }
        if (depth != 1)
            continue;
        if (record.type == RecordBoolErr && record.data.size() >= 8) {
            const std::pair<int, int> at(u16(record.data, 0), u16(record.data, 2));
            const int value = static_cast<uint8_t>(record.data[6]);
            const bool isError = record.data[7] != 0;
            values[at] = isError ? errorText(value) : QString::fromLatin1(value ? "TRUE" : "FALSE");
        } else if (record.type == RecordFormula && record.data.size() >= 14) {
            const std::pair<int, int> at(u16(record.data, 0), u16(record.data, 2));
            awaitingString.reset();
            const QByteArrayView result = record.data.sliced(6, 8);
            if (u16(result, 6) != 0xFFFF) {
                values[at] = numberText(qFromLittleEndian<double>(result.data()));
                continue;
            }
            switch (static_cast<uint8_t>(result[0])) {
            case 0:
                awaitingString = at;
                break;
            case 1:
                values[at] = QString::fromLatin1(result[2] ? "TRUE" : "FALSE");
                break;
            case 2:
                values[at] = errorText(static_cast<uint8_t>(result[2]));
                break;
            default:
                values[at] = QString();
                break;
            }
        } else if (record.type == RecordString && awaitingString) {
            values[*awaitingString] = biffString(record.data, 0, true, biff8);
            awaitingString.reset();
        }
    }
    return values;
}

// Owns a FreeXL handle.
class FreeXl
{
public:
    explicit FreeXl(const QString& path)
    {
        m_result = freexl_open(QFile::encodeName(path).constData(), &m_handle);
    }
    ~FreeXl() { freexl_close(m_handle); }
    FreeXl(const FreeXl&) = delete;
    FreeXl& operator=(const FreeXl&) = delete;

    int result() const { return m_result; }
    const void* handle() const { return m_handle; }

private:
    const void* m_handle = nullptr;
    int m_result = FREEXL_OK;
};

QString freeXlFailure(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("it cannot be opened");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("it is too large to be read");
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("it is not an Excel workbook");
    default:
        return QStringLiteral("it is damaged");
    }
}

QString cellText(const FreeXL_CellValue& value)
{
    switch (value.type) {
    case FREEXL_CELL_INT:
        return QString::number(value.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return numberText(value.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        return value.value.text_value ? QString::fromUtf8(value.value.text_value) : QString();
    default:
        return QString();
    }
}

} // namespace

LoadedSheet loadXls(const QString& path, QByteArrayView contents)
{
    const CompoundFile container(contents);
    if (!container.isValid())
        throw SheetError(path, QStringLiteral("it is damaged"));
    QString streamName;
    for (const QString& candidate : {QStringLiteral("Workbook"), QStringLiteral("Book")})
        if (container.hasStream(candidate)) {
            streamName = candidate;
            break;
        }
    if (streamName.isEmpty()) {
        // An encrypted .xlsx is a compound file too.
        if (container.hasStream(QStringLiteral("EncryptedPackage")))
            throw SheetError(path, QStringLiteral("it is protected by a password"));
        throw SheetError(path, QStringLiteral("it is not an Excel workbook"));
    }
    const std::optional<QByteArray> stream = container.readStream(streamName);
    if (!stream)
        throw SheetError(path, QStringLiteral("it is damaged"));
    const Globals globals = readGlobals(path, *stream);
    if (!recordsAreSound(*stream))
        throw SheetError(path, QStringLiteral("it is damaged"));
    if (globals.encrypted)
        throw SheetError(path, QStringLiteral("it is protected by a password"));

    // FreeXL opens files by path only, and its own container reader looks
    // for the workbook stream in the first directory sector only and misreads
    // a stream kept in the mini stream. It is therefore always handed the
    // stream alone, in a plain compound file written by the library: it never
    // sees the container as the user's program wrote it.
    const std::optional<QByteArray> single = CompoundFile::withSingleStream(streamName, *stream);
    QTemporaryFile repacked(QDir::tempPath() + QStringLiteral("/sheet-XXXXXX.xls"));
    if (!single || !repacked.open() || repacked.write(*single) != single->size() || !repacked.flush())
        throw SheetError(path, QStringLiteral("it cannot be read (no room for a temporary copy)"));
    const QString freeXlPath = repacked.fileName();

    const FreeXl book(freeXlPath);
    if (book.result() != FREEXL_OK)
        throw SheetError(path, freeXlFailure(book.result()));
    unsigned int sheetCount = 0;
    freexl_get_info(book.handle(), FREEXL_BIFF_SHEET_COUNT, &sheetCount);
    if (sheetCount == 0)
        throw SheetError(path, QStringLiteral("it holds no worksheet"));

    // The active tab, unless it is a chart or another sheet without cells:
    // then the first worksheet.
    const BoundSheet* active = nullptr;
    if (globals.activeTab < int(globals.sheets.size()) && globals.sheets[globals.activeTab].kind == 0)
        active = &globals.sheets[globals.activeTab];
    for (size_t i = 0; !active && i < globals.sheets.size(); ++i)
        if (globals.sheets[i].kind == 0)
            active = &globals.sheets[i];

    // FreeXL lists worksheets only; find the active one by name, or failing
    // that by its place among the worksheets.
    unsigned short index = 0;
    bool found = false;
    for (unsigned int i = 0; active && !found && i < sheetCount; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(book.handle(), static_cast<unsigned short>(i), &name) == FREEXL_OK &&
            name && QString::fromUtf8(name) == active->name) {
            index = static_cast<unsigned short>(i);
            found = true;
        }
    }
    if (active && !found) {
        unsigned int before = 0;
        for (const BoundSheet& sheet : globals.sheets) {
            if (&sheet == active)
                break;
            before += sheet.kind == 0 ? 1 : 0;
        }
        index = static_cast<unsigned short>(before < sheetCount ? before : 0);
    }

    if (freexl_select_active_worksheet(book.handle(), index) != FREEXL_OK)
        throw SheetError(path, QStringLiteral("it is damaged"));
    LoadedSheet sheet;
    const char* name = nullptr;
    if (freexl_get_worksheet_name(book.handle(), index, &name) == FREEXL_OK && name)
        sheet.name = QString::fromUtf8(name);
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(book.handle(), &rows, &columns) != FREEXL_OK)
        throw SheetError(path, QStringLiteral("it is damaged"));

    RowsBuilder builder(path);
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue value;
            if (freexl_get_cell_value(book.handle(), r, c, &value) == FREEXL_OK)
                builder.set(int(r), int(c), cellText(value));
        }
    }
    if (active && found) {
        for (auto& [at, text] : valuesFreeXlMisses(*stream, active->position, globals.biff8))
            builder.set(at.first, at.second, std::move(text));
    }
    sheet.rows = builder.take();
    return sheet;
}

} // namespace Sheets

// Text files (.csv, .txt): one row per line, fields separated by commas (or
// by semicolons or tabs when the first line has no comma but those), fields
// in double quotes may hold separators, line ends and doubled quotes.
// Field texts are kept exactly as written: no number conversion, so
// "0987654321" keeps its zero and long numbers keep every digit.

#include "spreadsheet/reader/CellText.h"
#include "spreadsheet/reader/SheetLoaders.h"

#include <QFileInfo>
#include <QStringDecoder>

namespace Sheets {

namespace {

// UTF-8 (with or without byte order mark) or UTF-16 with its mark; anything
// that is not valid UTF-8 is taken as Windows-1252, the usual encoding of
// text saved on Windows in Western Europe and the Americas.
QString decode(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.sliced(3));
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE).decode(bytes.sliced(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16BE).decode(bytes.sliced(2));
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return fromWindows1252(bytes);
    return text;
}

QChar separatorOf(QStringView text)
{
    qsizetype end = 0;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
        ++end;
    const QStringView firstLine = text.first(end);
    if (firstLine.contains(u','))
        return u',';
    const qsizetype semicolons = firstLine.count(u';');
    const qsizetype tabs = firstLine.count(u'\t');
    if (semicolons == 0 && tabs == 0)
        return u',';
    return semicolons >= tabs ? u';' : u'\t';
}

std::vector<SheetReader::Row> parse(QStringView text, QChar separator, CellBudget& budget)
{
    std::vector<SheetReader::Row> rows;
    SheetReader::Row record;
    QString field;
    bool inQuotes = false;
    bool fieldStart = true;     // nothing of the current field read yet
    bool recordStarted = false; // anything of the current record read yet

    auto endField = [&] {
        budget.spend(1);
        record.push_back(std::move(field));
        field = QString();
        fieldStart = true;
    };
    auto endRecord = [&] {
        budget.spend(1);
        endField();
        rows.push_back(std::move(record));
        record = SheetReader::Row();
        recordStarted = false;
    };

    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        recordStarted = true;
        if (inQuotes) {
            if (c != u'"') {
                field.append(c);
            } else if (i + 1 < text.size() && text[i + 1] == u'"') {
                field.append(c);
                ++i;
            } else {
                inQuotes = false;
            }
        } else if (c == separator) {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            endRecord();
        } else if (c == u'"' && fieldStart) {
            inQuotes = true;
            fieldStart = false;
        } else {
            // Text after a closing quote is kept as it stands, as
            // spreadsheet programs do.
            field.append(c);
            fieldStart = false;
        }
    }
    // The last line may lack its line end; an unclosed quote runs to the end.
    if (recordStarted)
        endRecord();
    return rows;
}

} // namespace

LoadedSheet loadCsv(const QString& path, QByteArrayView contents)
{
    const QString text = decode(contents);
    CellBudget budget(path);
    return LoadedSheet{QFileInfo(path).completeBaseName(), parse(text, separatorOf(text), budget)};
}

} // namespace Sheets

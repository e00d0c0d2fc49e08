#include "spreadsheet/reader/SheetReader.h"

#include "spreadsheet/reader/CompoundFile.h"
#include "spreadsheet/reader/SheetLoaders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

// Far beyond any contact list; larger files would only exhaust memory.
constexpr qint64 MaxFileSize = qint64(512) * 1024 * 1024;

QString fullMessage(const QString& path, const QString& reason)
{
    return QStringLiteral("The file %1 cannot be read: %2").arg(QDir::toNativeSeparators(path), reason);
}

std::optional<SheetFormat> formatByExtension(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"xls")
        return SheetFormat::Xls;
    if (suffix == u"xlsx" || suffix == u"xlsm")
        return SheetFormat::Xlsx;
    if (suffix == u"csv" || suffix == u"txt")
        return SheetFormat::Csv;
    return std::nullopt;
}

std::optional<SheetFormat> formatByContents(QByteArrayView head)
{
    if (Sheets::CompoundFile::hasSignature(head))
        return SheetFormat::Xls;
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06"))
        return SheetFormat::Xlsx;
    if (Sheets::looksLikeText(head))
        return SheetFormat::Csv;
    return std::nullopt;
}

} // namespace

SheetError::SheetError(const QString& path, const QString& reason)
    : std::runtime_error(fullMessage(path, reason).toStdString()), m_path(path), m_reason(reason)
{
}

QString SheetError::message() const
{
    return fullMessage(m_path, m_reason);
}

namespace Sheets {

void CellBudget::spend(qsizetype n)
{
    m_spent += n;
    if (m_spent > MaxSlots)
        throw SheetError(m_path, QStringLiteral("it is too large to be read (over %1 cells)").arg(MaxSlots));
}

void RowsBuilder::set(int row, int column, QString text)
{
    if (row < 0 || column < 0)
        return;
    if (text.isEmpty()) {
        if (size_t(row) < m_rows.size() && size_t(column) < m_rows[row].size())
            m_rows[row][column].clear();
        return;
    }
    if (size_t(row) >= m_rows.size()) {
        m_budget.spend(qsizetype(row) + 1 - qsizetype(m_rows.size()));
        m_rows.resize(size_t(row) + 1);
    }
    SheetReader::Row& cells = m_rows[row];
    if (size_t(column) >= cells.size()) {
        m_budget.spend(qsizetype(column) + 1 - qsizetype(cells.size()));
        cells.resize(size_t(column) + 1);
    }
    cells[column] = std::move(text);
}

bool looksLikeText(QByteArrayView head)
{
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        return true;
    // Text has no control characters besides tab, line ends, form feed and
    // the old end-of-file mark; binary data has plenty.
    return std::none_of(head.begin(), head.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1A) || b == 0x7F;
    });
}

} // namespace Sheets

std::optional<SheetFormat> SheetReader::formatFor(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.read(4096);
        if (!head.isEmpty())
            return formatByContents(head);
    }
    return formatByExtension(path);
}

std::unique_ptr<SheetReader> SheetReader::open(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw SheetError(path, QStringLiteral("it does not exist"));
    if (info.isDir())
        throw SheetError(path, QStringLiteral("it is a folder, not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SheetError(path, QStringLiteral("it cannot be opened (%1)").arg(file.errorString()));
    if (file.size() == 0)
        throw SheetError(path, QStringLiteral("it is empty"));
    if (file.size() > MaxFileSize)
        throw SheetError(path, QStringLiteral("it is too large (over 512 MB)"));

    const std::optional<SheetFormat> format = formatByContents(file.peek(4096));
    if (!format) {
        throw SheetError(path, formatByExtension(path) == SheetFormat::Csv
                                   ? QStringLiteral("it is not a text file")
                                   : QStringLiteral("it is not an Excel workbook"));
    }

    // Mapped rather than read: only the pages a reader touches are loaded.
    const qint64 size = file.size();
    const uchar* bytes = file.map(0, size);
    QByteArray copy;
    if (!bytes) {
        copy = file.readAll();
        if (copy.size() != size)
            throw SheetError(path, QStringLiteral("it cannot be read (%1)").arg(file.errorString()));
        bytes = reinterpret_cast<const uchar*>(copy.constData());
    }
    const QByteArrayView contents(bytes, size);
    Sheets::LoadedSheet sheet;
    switch (*format) {
    case SheetFormat::Xls:
        sheet = Sheets::loadXls(path, contents);
        break;
    case SheetFormat::Xlsx:
        sheet = Sheets::loadXlsx(path, contents);
        break;
    case SheetFormat::Csv:
        sheet = Sheets::loadCsv(path, contents);
        break;
    }
    return std::make_unique<SheetReader>(*format, std::move(sheet.name), std::move(sheet.rows));
}

SheetReader::SheetReader(SheetFormat format, QString sheetName, std::vector<Row> rows)
    : m_format(format), m_sheetName(std::move(sheetName)), m_rows(std::move(rows))
{
    for (Row& row : m_rows) {
        while (!row.empty() && row.back().isEmpty())
            row.pop_back();
        row.shrink_to_fit();
        m_columnCount = std::max(m_columnCount, static_cast<int>(row.size()));
    }
    while (!m_rows.empty() && m_rows.back().empty())
        m_rows.pop_back();
}

QString SheetReader::cell(int row, int column) const
{
    if (row < 1 || column < 1 || size_t(row) > m_rows.size())
        return QString();
    const Row& cells = m_rows[size_t(row) - 1];
    if (size_t(column) > cells.size())
        return QString();
    return cells[size_t(column) - 1];
}

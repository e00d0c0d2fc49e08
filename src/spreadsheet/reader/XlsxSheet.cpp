// .xlsx workbooks: a zip of XML parts. The package relationships name the
// workbook part; the workbook lists the tabs and says which is active; the
// workbook's relationships name each tab's part, the shared strings and the
// styles (needed to tell dates from numbers). Only the active sheet's part
// is parsed for cells, as a stream.

#include "spreadsheet/reader/CellText.h"
#include "spreadsheet/reader/SheetLoaders.h"

#include <QDir>
#include <QHash>
#include <QIODevice>
#include <QXmlStreamReader>
#include <quazip.h>
#include <quazipfile.h>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace Sheets {

namespace {

// Whether a part has more to read. A read error of the part's device (its
// compressed data is damaged) leaves a reader fed from a device waiting for
// more data for ever: any error ends the reading, and parse() reports it.
bool reading(const QXmlStreamReader& xml)
{
    return !xml.atEnd() && !xml.hasError();
}

// Excel's limits: anything beyond them is no real cell.
constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;

constexpr QStringView WorksheetType = u"/worksheet";

struct Relationship
{
    QString type;
    QString target; // part name in the zip, resolved
};

// The file's bytes as a device for the zip library. Unlike QBuffer it lets a
// damaged archive seek beyond the end without a warning (reads there give
// nothing), as a file does.
class BytesDevice : public QIODevice
{
public:
    explicit BytesDevice(QByteArrayView bytes) : m_bytes(bytes) {}
    qint64 size() const override { return m_bytes.size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 at = pos();
        if (at >= m_bytes.size())
            return 0;
        const qint64 n = std::min(maxSize, m_bytes.size() - at);
        std::memcpy(data, m_bytes.data() + at, size_t(n));
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArrayView m_bytes;
};

class Package
{
public:
    // The zip library reads its headers a few bytes at a time, and a damaged
    // archive can make it read tens of thousands of times: from memory that
    // costs nothing, from the file a system call each.
    Package(const QString& path, QByteArrayView contents) : m_path(path), m_device(contents), m_zip(&m_device)
    {
        if (!m_zip.open(QuaZip::mdUnzip))
            throw SheetError(path, QStringLiteral("it is damaged or not an Excel workbook"));
        for (const QString& name : m_zip.getFileNameList())
            m_parts.insert(name.toLower(), name);
    }

    const QString& path() const { return m_path; }
    bool contains(const QString& part) const { return m_parts.contains(part.toLower()); }

    // Runs read(reader) over the part's XML; XML or zip failures throw.
    template <typename Read> void parse(const QString& part, Read&& read)
    {
        const auto name = m_parts.constFind(part.toLower());
        if (name == m_parts.cend() || !m_zip.setCurrentFile(*name, QuaZip::csSensitive))
            throw SheetError(m_path, QStringLiteral("it is damaged (the part %1 is missing)").arg(part));
        QuaZipFile file(&m_zip);
        if (!file.open(QIODevice::ReadOnly))
            throw SheetError(m_path, QStringLiteral("it is damaged"));
        QXmlStreamReader xml(&file);
        read(xml);
        const bool xmlFailed = xml.hasError();
        file.close();
        // Closing checks the part's checksum.
        if (xmlFailed || file.getZipError() != UNZ_OK)
            throw SheetError(m_path, QStringLiteral("it is damaged"));
    }

private:
    QString m_path;
    BytesDevice m_device;
    QuaZip m_zip;
    QHash<QString, QString> m_parts; // lower-case name -> name as stored
};

QString attribute(const QXmlStreamReader& xml, QLatin1StringView name)
{
    return xml.attributes().value(name).toString();
}

// The relationship id of <sheet r:id="...">: "id" in a namespace (transitional
// and strict documents use different ones).
QString relationshipId(const QXmlStreamReader& xml)
{
    for (const QXmlStreamAttribute& a : xml.attributes())
        if (a.name() == u"id" && !a.namespaceUri().isEmpty())
            return a.value().toString();
    return QString();
}

QString resolveTarget(const QString& folder, const QString& target)
{
    if (target.startsWith(u'/'))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(folder.isEmpty() ? target : folder + u'/' + target);
}

QString folderOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash);
}

// Relationships of a part, by id; a part without any has none. An empty
// part name stands for the package itself (_rels/.rels).
QHash<QString, Relationship> relationshipsOf(Package& package, const QString& part)
{
    const QString folder = folderOf(part);
    const QString relsPart = (folder.isEmpty() ? QString() : folder + u'/') + QStringLiteral("_rels/") +
                             part.mid(folder.isEmpty() ? 0 : folder.size() + 1) + QStringLiteral(".rels");
    QHash<QString, Relationship> found;
    if (!package.contains(relsPart))
        return found;
    package.parse(relsPart, [&](QXmlStreamReader& xml) {
        while (reading(xml)) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Relationship")
                continue;
            if (attribute(xml, "TargetMode"_L1).compare(u"External", Qt::CaseInsensitive) == 0)
                continue;
            found.insert(
                attribute(xml, "Id"_L1),
                Relationship{attribute(xml, "Type"_L1), resolveTarget(folder, attribute(xml, "Target"_L1))});
        }
    });
    return found;
}

std::optional<Relationship> firstOfType(const QHash<QString, Relationship>& rels, QStringView typeEnd)
{
    for (const Relationship& rel : rels)
        if (rel.type.endsWith(typeEnd))
            return rel;
    return std::nullopt;
}

// Text of an <si> or <is> element: its <t> texts, including those of rich
// text runs, but not the phonetic guides (<rPh>). The reader stands on the
// element's start and is left on its end.
QString richText(QXmlStreamReader& xml)
{
    QString text;
    int depth = 1;
    while (depth > 0 && reading(xml)) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == u"rPh") {
                xml.skipCurrentElement();
            } else if (xml.name() == u"t") {
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
            } else {
                ++depth;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    return unescapeXmlChars(text);
}

struct Workbook
{
    struct Tab
    {
        QString name;
        QString relationshipId;
    };
    std::vector<Tab> tabs;
    int activeTab = 0;
    bool date1904 = false;
};

Workbook readWorkbook(Package& package, const QString& part)
{
    Workbook book;
    bool viewSeen = false;
    package.parse(part, [&](QXmlStreamReader& xml) {
        while (reading(xml)) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"sheet") {
                book.tabs.push_back({attribute(xml, "name"_L1), relationshipId(xml)});
            } else if (xml.name() == u"workbookView" && !viewSeen) {
                viewSeen = true;
                bool ok = false;
                const int tab = xml.attributes().value("activeTab"_L1).toInt(&ok);
                book.activeTab = ok ? tab : 0;
            } else if (xml.name() == u"workbookPr") {
                const QStringView value = xml.attributes().value("date1904"_L1);
                book.date1904 = value == u"1" || value == u"true";
            }
        }
    });
    return book;
}

std::vector<QString> readSharedStrings(Package& package, const QString& part)
{
    std::vector<QString> strings;
    package.parse(part, [&](QXmlStreamReader& xml) {
        while (reading(xml)) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"si")
                strings.push_back(richText(xml));
        }
    });
    return strings;
}

// For each cell format (the s attribute of a cell), whether it shows a date.
std::vector<bool> readDateStyles(Package& package, const QString& part)
{
    QHash<int, QString> codes;
    std::vector<int> formatIds;
    package.parse(part, [&](QXmlStreamReader& xml) {
        bool inCellFormats = false;
        while (reading(xml)) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::StartElement) {
                if (xml.name() == u"numFmt") {
                    codes.insert(xml.attributes().value("numFmtId"_L1).toInt(),
                                 attribute(xml, "formatCode"_L1));
                } else if (xml.name() == u"cellXfs") {
                    inCellFormats = true;
                } else if (xml.name() == u"xf" && inCellFormats) {
                    formatIds.push_back(xml.attributes().value("numFmtId"_L1).toInt());
                }
            } else if (token == QXmlStreamReader::EndElement && xml.name() == u"cellXfs") {
                inCellFormats = false;
            }
        }
    });
    std::vector<bool> dates;
    dates.reserve(formatIds.size());
    for (int id : formatIds)
        dates.push_back(isDateFormat(id, codes.value(id)));
    return dates;
}

// "C7" -> column 3, row 7 (1-based); false for anything else.
bool parseReference(QStringView reference, int& row, int& column)
{
    qsizetype i = 0;
    int c = 0;
    while (i < reference.size() && i < 3 && reference[i].isLetter() && reference[i].unicode() < 128)
        c = c * 26 + (reference[i++].toUpper().unicode() - u'A' + 1);
    int r = 0;
    const qsizetype digitsFrom = i;
    while (i < reference.size() && i - digitsFrom < 8 && reference[i].isDigit() &&
           reference[i].unicode() < 128)
        r = r * 10 + (reference[i++].unicode() - u'0');
    if (i != reference.size() || digitsFrom == 0 || i == digitsFrom || c > MaxColumns || r < 1 || r > MaxRows)
        return false;
    row = r;
    column = c;
    return true;
}

struct SheetContext
{
    const std::vector<QString>& sharedStrings;
    const std::vector<bool>& dateStyles;
    bool date1904;
};

void readCells(Package& package, const QString& part, const SheetContext& context, RowsBuilder& builder)
{
    const QString& path = package.path();
    package.parse(part, [&](QXmlStreamReader& xml) {
        int row = 0;
        int column = 0;
        while (reading(xml)) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == u"sheetData")
                break;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"row") {
                const QStringView r = xml.attributes().value("r"_L1);
                bool ok = true;
                row = r.isEmpty() ? row + 1 : r.toInt(&ok);
                if (!ok || row < 1 || row > MaxRows)
                    throw SheetError(path, QStringLiteral("it is damaged (bad row number)"));
                column = 0;
                continue;
            }
            if (xml.name() != u"c")
                continue;

            const QXmlStreamAttributes attributes = xml.attributes();
            const QStringView reference = attributes.value("r"_L1);
            if (reference.isEmpty()) {
                if (++column > MaxColumns || row < 1)
                    throw SheetError(path, QStringLiteral("it is damaged (bad cell position)"));
            } else if (!parseReference(reference, row, column)) {
                throw SheetError(path, QStringLiteral("it is damaged (bad cell reference %1)")
                                           .arg(reference.left(20).toString()));
            }
            const QStringView type = attributes.value("t"_L1);
            const int style = attributes.value("s"_L1).toInt();

            QString value;
            QString inlineText;
            bool hasInline = false;
            while (reading(xml)) {
                const QXmlStreamReader::TokenType inner = xml.readNext();
                if (inner == QXmlStreamReader::EndElement && xml.name() == u"c")
                    break;
                if (inner != QXmlStreamReader::StartElement)
                    continue;
                if (xml.name() == u"v") {
                    value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                } else if (xml.name() == u"is") {
                    inlineText = richText(xml);
                    hasInline = true;
                } else {
                    xml.skipCurrentElement(); // <f>, <extLst>
                }
            }

            QString text;
            if (type == u"s") {
                if (!value.trimmed().isEmpty()) {
                    bool ok = false;
                    const qulonglong index = value.trimmed().toULongLong(&ok);
                    if (!ok || index >= context.sharedStrings.size())
                        throw SheetError(path, QStringLiteral("it is damaged (bad shared string)"));
                    text = context.sharedStrings[index];
                }
            } else if (type == u"inlineStr") {
                text = hasInline ? inlineText : value;
            } else if (type == u"str" || type == u"e" || type == u"d") {
                text = unescapeXmlChars(value);
            } else if (type == u"b") {
                const QString flag = value.trimmed();
                text = flag == u"1" || flag == u"true"    ? QStringLiteral("TRUE")
                       : flag == u"0" || flag == u"false" ? QStringLiteral("FALSE")
                                                          : flag;
            } else if (!value.isEmpty()) {
                bool ok = false;
                const double number = value.toDouble(&ok);
                const bool isDate = style >= 0 && size_t(style) < context.dateStyles.size() &&
                                    context.dateStyles[size_t(style)];
                text = ok && isDate ? serialDateText(number, context.date1904) : plainNumber(value);
            }
            builder.set(row - 1, column - 1, std::move(text));
        }
    });
}

} // namespace

LoadedSheet loadXlsx(const QString& path, QByteArrayView contents)
{
    Package package(path, contents);

    QString workbookPart = QStringLiteral("xl/workbook.xml");
    const QHash<QString, Relationship> packageRels = relationshipsOf(package, QString());
    if (const auto office = firstOfType(packageRels, u"/officeDocument"))
        workbookPart = office->target;
    if (!package.contains(workbookPart) || !workbookPart.endsWith(u".xml", Qt::CaseInsensitive))
        throw SheetError(path, QStringLiteral("it is not an Excel workbook"));

    const Workbook book = readWorkbook(package, workbookPart);
    const QHash<QString, Relationship> rels = relationshipsOf(package, workbookPart);

    // The active tab, unless it is a chart or dialog sheet: then the first worksheet.
    auto isWorksheet = [&](const Workbook::Tab& tab) {
        const auto rel = rels.constFind(tab.relationshipId);
        return rel != rels.cend() && rel->type.endsWith(WorksheetType);
    };
    const Workbook::Tab* active = nullptr;
    if (book.activeTab >= 0 && size_t(book.activeTab) < book.tabs.size() &&
        isWorksheet(book.tabs[book.activeTab]))
        active = &book.tabs[size_t(book.activeTab)];
    for (size_t i = 0; !active && i < book.tabs.size(); ++i)
        if (isWorksheet(book.tabs[i]))
            active = &book.tabs[i];
    if (!active)
        throw SheetError(path, QStringLiteral("it holds no worksheet"));

    std::vector<QString> sharedStrings;
    if (const auto shared = firstOfType(rels, u"/sharedStrings"); shared && package.contains(shared->target))
        sharedStrings = readSharedStrings(package, shared->target);
    std::vector<bool> dateStyles;
    if (const auto styles = firstOfType(rels, u"/styles"); styles && package.contains(styles->target))
        dateStyles = readDateStyles(package, styles->target);

    RowsBuilder builder(path);
    readCells(package, rels.value(active->relationshipId).target, {sharedStrings, dateStyles, book.date1904},
              builder);
    return LoadedSheet{active->name, builder.take()};
}

} // namespace Sheets

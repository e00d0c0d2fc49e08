// SheetReader on generated workbooks (.xls from xlwt, .xlsx from openpyxl and hand-made packages, text
// files written here) and on files it must refuse; and the pieces under it: number and date texts, text
// decoding, and the compound-file container of .xls workbooks.

#include "spreadsheet/reader/CellText.h"
#include "spreadsheet/reader/CompoundFile.h"
#include "spreadsheet/reader/SheetReader.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <climits>
#include <cmath>

using namespace Sheets;

Q_DECLARE_METATYPE(SheetFormat)
Q_DECLARE_METATYPE(std::optional<SheetFormat>)

namespace {

QString dataFile(const QString& name)
{
    return QStringLiteral(SHEET_DATA_DIR "/") + name;
}

// Cells as "C7=text".
using Cells = QStringList;
const Cells contactCells = {"A1=Mobile",
                            "B1=Name",
                            "A2=9876543210",
                            "B2=RAVI",
                            "A3=15551234567",
                            QString::fromUtf8("B3=Ravi Kumār"),
                            "A4=0987654321",
                            "B4=  padded  ",
                            "A5=",
                            "B5=ASHA",
                            "A6=12.5",
                            "B6=TRUE",
                            "A7=2024-01-31",
                            "B7=FALSE",
                            "A8=-42",
                            "B8=",
                            "C8=",
                            "C9=last",
                            "D1=",
                            "A10="};
const Cells introCells = {"A1=WRONG SHEET Intro", "B1=1111111111", "A2=2222222222", "B2=wrong"};
const Cells blankFirstCells = {"A1=", "B1=x", "A2=y", "B2="};
const Cells unicodeCells = {QString::fromUtf8("A1=Ашa"), QString::fromUtf8("B1=कुमार"),
                            QString::fromUtf8("A2=€ 5"), QString::fromUtf8("B2=naïve")};
const Cells craftedCells = {"A1=Mobile",
                            "B1=",
                            "C1=Ravi",
                            "A2=9876543210",
                            "B2=inline",
                            "C2=  two  words  ",
                            "A3=15551234567",
                            "B3=TRUE",
                            "C3=FALSE",
                            "D3=#DIV/0!",
                            "A4=31102469134",
                            "B4=ab",
                            "C4=",
                            "D4=line\r\nbreak & <tag>",
                            "A5=0.0015",
                            "B5=9876543210",
                            "C5=",
                            "D5=0",
                            "A6=",
                            "A7=2024-01-31",
                            "B7=2024-01-31 18:00:00",
                            "C7=7",
                            "D7=12:00:00",
                            "E7=1900-02-28",
                            "E8=",
                            "E9=corner"};

// Every cell of the sheet, a row per line, cells separated by "|".
QStringList grid(const SheetReader& sheet)
{
    QStringList rows;
    for (int r = 1; r <= sheet.rowCount(); ++r) {
        QStringList cells;
        for (int c = 1; c <= sheet.columnCount(); ++c)
            cells << sheet.cell(r, c);
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace

class TestSheetReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_huge;

private Q_SLOTS:
    void initTestCase()
    {
        m_huge = m_dir.filePath(QStringLiteral("huge.csv"));
        QFile file(m_huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("a,b\r\n");
        QVERIFY(file.resize(qint64(512) * 1024 * 1024 + 1)); // sparse: no disk used
    }

    void workbooks_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<SheetFormat>("format");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<Cells>("cells");
        const auto row = [](const char* name, const char* file, SheetFormat format, const QString& sheet,
                            int rows, int columns, const Cells& cells) {
            QTest::newRow(name) << QString::fromLatin1(file) << format << sheet << rows << columns << cells;
        };
        using enum SheetFormat;
        const QString numbers = QStringLiteral("Numbers"), intro = QStringLiteral("Intro");
        const QString blank = QStringLiteral("Blank"), empty = QStringLiteral("Empty");
        const QString beta = QStringLiteral("Beta"), czech = QString::fromUtf8("Číslo");
        row("xls, active sheet second of three", "contacts.xls", Xls, numbers, 9, 3, contactCells);
        row("xlsx, active sheet second of three", "contacts.xlsx", Xlsx, numbers, 9, 3, contactCells);
        row("xls, first sheet active", "first_tab.xls", Xls, intro, 2, 2, introCells);
        row("xlsx, first sheet active", "first_tab.xlsx", Xlsx, intro, 2, 2, introCells);
        row("xls, last sheet active", "last_tab.xls", Xls, numbers, 9, 3, contactCells);
        row("xls without WINDOW1 opens the first sheet", "no_window1.xls", Xls, intro, 2, 2, introCells);
        row("xls, stream Book", "book_stream.xls", Xls, numbers, 9, 3, contactCells);
        row("xls, hand-made container", "big_stream.xls", Xls, numbers, 9, 3, contactCells);
        row("xls, workbook after the first directory sector", "crowded.xls", Xls, numbers, 9, 3,
            contactCells);
        row("xls, workbook in the mini stream", "mini_stream.xls", Xls, blank, 2, 2, blankFirstCells);
        row("xls, empty first cell", "first_empty.xls", Xls, blank, 2, 2, blankFirstCells);
        row("xlsx, empty first cell", "first_empty.xlsx", Xlsx, blank, 2, 2, blankFirstCells);
        row("xls, empty sheet", "empty_sheet.xls", Xls, empty, 0, 0, {"A1="});
        row("xlsx, empty sheet", "empty_sheet.xlsx", Xlsx, empty, 0, 0, {"A1="});
        row("xls, non-ASCII texts and sheet name", "unicode.xls", Xls, czech, 2, 2, unicodeCells);
        row("xlsx, non-ASCII texts and sheet name", "unicode.xlsx", Xlsx, czech, 2, 2, unicodeCells);
        row("xls, formula results, booleans, errors", "formulas.xls", Xls, "Formulas", 6, 2,
            {"A1=3", "B1=TRUE", "A2=abc", "B2=#N/A", "A3=TRUE", "B3=FALSE", "A4=#DIV/0!", "B4=#DIV/0!",
             "A5=", "B5=", "A6=9876543210"});
        row("xlsx renamed .xls", "xlsx_named.xls", Xlsx, numbers, 9, 3, contactCells);
        row("xls renamed .xlsx", "xls_named.xlsx", Xls, numbers, 9, 3, contactCells);
        row("csv renamed .xls", "csv_named.xls", Csv, "csv_named", 2, 2,
            {"A1=Mobile", "B1=Name", "A2=9876543210", "B2=RAVI"});
        row("xlsx, shared strings, rels out of order", "crafted.xlsx", Xlsx, beta, 9, 5, craftedCells);
        row("xlsx, absolute sheet target", "crafted_absolute.xlsx", Xlsx, beta, 9, 5, craftedCells);
        row("xlsx, sheet target with dot segments", "crafted_dotted.xlsx", Xlsx, beta, 9, 5, craftedCells);
        row("xlsx, 1904 dates", "date1904.xlsx", Xlsx, "S", 1, 1, {"A1=2024-01-31"});
        row("xlsx, chart sheet active", "chart_active.xlsx", Xlsx, "Data", 1, 1, {"A1=data sheet"});
        row("xlsx without workbook view", "no_view.xlsx", Xlsx, "First", 1, 1, {"A1=first tab"});
        row("xlsx, active tab out of range", "bad_tab.xlsx", Xlsx, "Only", 1, 1, {"A1=only tab"});
        row("xlsx, workbook part named by package rels", "renamed_part.xlsx", Xlsx, "Main", 1, 1,
            {"A1=found through rels"});
    }

    void workbooks()
    {
        QFETCH(QString, file);
        QFETCH(SheetFormat, format);
        QFETCH(QString, sheet);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(Cells, cells);
        const std::unique_ptr<SheetReader> reader = SheetReader::open(dataFile(file));
        QCOMPARE(reader->format(), format);
        QCOMPARE(reader->sheetName(), sheet);
        QCOMPARE(reader->rowCount(), rows);
        QCOMPARE(reader->columnCount(), columns);
        for (const QString& check : cells) {
            const qsizetype equals = check.indexOf(u'=');
            const int column = check[0].unicode() - 'A' + 1;
            QCOMPARE(reader->cell(check.mid(1, equals - 1).toInt(), column), check.mid(equals + 1));
        }
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, const QString& file, const char* reason) {
            QTest::newRow(name) << (file.contains(u'/') || file.isEmpty() ? file : dataFile(file)) << reason;
        };
        row("missing", "missing.xls", "it does not exist");
        row("no name", QString(), "it does not exist");
        row("folder", QStringLiteral(SHEET_DATA_DIR), "it is a folder, not a file");
        row("over 512 MB", m_huge, "it is too large (over 512 MB)");
        row("empty .xls", "empty.xls", "it is empty");
        row("empty .xlsx", "empty.xlsx", "it is empty");
        row("empty .csv", "empty.csv", "it is empty");
        row("random bytes .xls", "random.xls", "it is not an Excel workbook");
        row("random bytes .xlsx", "random.xlsx", "it is not an Excel workbook");
        row("random bytes .csv", "random.csv", "it is not a text file");
        row("container header, random body", "cfb_random.xls", "it is damaged");
        row("truncated .xls", "truncated.xls", "it is damaged");
        row("looping allocation table", "fat_loop.xls", "it is damaged");
        row("container without workbook", "document.xls", "it is not an Excel workbook");
        row("encrypted .xls", "filepass.xls", "it is protected by a password");
        row("encrypted .xlsx", "encrypted.xlsx", "it is protected by a password");
        row("truncated .xlsx", "truncated.xlsx", "it is damaged or not an Excel workbook");
        row("zip without workbook", "not_workbook.xlsx", "it is not an Excel workbook");
        row("shared string out of range", "bad_sst_index.xlsx", "it is damaged (bad shared string)");
        row("bad cell reference", "bad_ref.xlsx", "it is damaged (bad cell reference 1A)");
        row("broken sheet XML", "bad_xml.xlsx", "it is damaged");
        row("sheet part missing", "missing_sheet.xlsx",
            "it is damaged (the part xl/worksheets/gone.xml is missing)");
    }

    void refusedFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        try {
            SheetReader::open(file);
            QFAIL("the file was accepted");
        } catch (const SheetError& error) {
            QCOMPARE(error.reason(), reason);
            QCOMPARE(error.path(), file);
            const QString message =
                QStringLiteral("The file %1 cannot be read: %2").arg(QDir::toNativeSeparators(file), reason);
            QCOMPARE(error.message(), message);
            QCOMPARE(QString::fromUtf8(error.what()), message);
        }
    }

    // Contents decide; the extension only for a file that is missing or empty.
    void formats_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::optional<SheetFormat>>("format");
        QTest::newRow("xlsx contents named .xls")
            << dataFile("xlsx_named.xls") << std::optional(SheetFormat::Xlsx);
        QTest::newRow("random bytes named .xls") << dataFile("random.xls") << std::optional<SheetFormat>();
        QTest::newRow("empty .xlsx") << dataFile("empty.xlsx") << std::optional(SheetFormat::Xlsx);
        QTest::newRow("missing .XLS") << dataFile("missing.XLS") << std::optional(SheetFormat::Xls);
        QTest::newRow("missing .xlsm") << dataFile("missing.xlsm") << std::optional(SheetFormat::Xlsx);
        QTest::newRow("missing .txt") << dataFile("missing.txt") << std::optional(SheetFormat::Csv);
        QTest::newRow("missing .doc") << dataFile("missing.doc") << std::optional<SheetFormat>();
    }

    void formats()
    {
        QFETCH(QString, file);
        QFETCH(std::optional<SheetFormat>, format);
        QCOMPARE(SheetReader::formatFor(file), format);
    }

    void textFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, const QByteArray& bytes, const QStringList& expected,
                            const char* file = "list.csv") {
            QTest::newRow(name) << QString::fromLatin1(file) << bytes << expected;
        };
        QStringEncoder utf16(QStringConverter::Utf16LE);
        const QByteArray utf16Text = utf16.encode(QString::fromUtf8("Name\tCity\r\nJosé\tZürich\r\n"));
        row("CR LF", "Mobile,Name\r\n9876543210,RAVI\r\n", {"Mobile|Name", "9876543210|RAVI"});
        row("LF", "a,b\nc,d\n", {"a|b", "c|d"});
        row("CR, no final line end", "a,b\rc,d", {"a|b", "c|d"});
        row("quoted separators, quotes and line ends",
            "\"Kumar, Ravi\",\"He said \"\"hi\"\"\"\r\n\"line1\nline2\",x\r\n",
            {"Kumar, Ravi|He said \"hi\"", "line1\nline2|x"});
        row("empty quoted field", "\"\",b\r\n", {"|b"});
        row("text after closing quote", "\"ab\"cd,e\r\n", {"abcd|e"});
        row("quote inside a field", "5\" disk,x\r\n", {"5\" disk|x"});
        row("unclosed quote runs to the end", "\"abc,def\r\nghi", {"abc,def\r\nghi"});
        row("UTF-8 with mark", "\xEF\xBB\xBFName,City\r\nJos\xC3\xA9,Z\xC3\xBCrich\r\n",
            {"Name|City", QString::fromUtf8("José|Zürich")});
        row("UTF-8 without mark", "\xD0\x90\xD1\x88\x61,1\n", {QString::fromUtf8("Ашa|1")});
        row("Windows-1252", "Jos\xE9,\x80 5,\x93q\x94\r\n", {QString::fromUtf8("José|€ 5|“q”")});
        row("UTF-16 with mark, tabs", QByteArray("\xFF\xFE", 2) + utf16Text,
            {"Name|City", QString::fromUtf8("José|Zürich")}, "list.txt");
        row("semicolons", "a;b;c\r\n1;2;3\r\n", {"a|b|c", "1|2|3"});
        row("tabs", "a\tb\r\n1\t2\r\n", {"a|b", "1|2"}, "list.txt");
        row("comma in the first line wins", "a,b;c\r\n1,2;3\r\n", {"a|b;c", "1|2;3"});
        row("single column", "9876543210\n15551234567\n", {"9876543210", "15551234567"}, "list.txt");
        row("empty fields and an empty line in between", ",x\r\n\r\ny,\r\n", {"|x", "|", "y|"});
        row("empty lines at the end are no rows", "a\r\n\r\n\n", {"a"});
        row("texts kept as written", "0987654321,12345678901234567890, a ,=1+2,1E3\r\n",
            {"0987654321|12345678901234567890| a |=1+2|1E3"});
    }

    void textFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        const std::unique_ptr<SheetReader> reader = SheetReader::open(file.fileName());
        QCOMPARE(reader->format(), SheetFormat::Csv);
        QCOMPARE(reader->sheetName(), QStringLiteral("list"));
        QCOMPARE(grid(*reader), expected);
    }

    void cellsOutsideTheSheet()
    {
        const std::unique_ptr<SheetReader> reader = SheetReader::open(dataFile("contacts.xls"));
        // Row 0, column 0, negative, below the last row, right of the last column, right of a short row.
        const std::pair<int, int> outside[] = {{0, 1}, {1, 0}, {-1, -1},          {10, 1},
                                               {1, 4}, {2, 3}, {INT_MAX, INT_MAX}};
        for (const auto& [row, column] : outside)
            QCOMPARE(reader->cell(row, column), QString());
        // Empty cells and rows at the ends are no part of the sheet.
        const SheetReader sheet(SheetFormat::Csv, QStringLiteral("mem"),
                                {{"a", ""}, {}, {"", "b", "", ""}, {""}, {}});
        QCOMPARE(sheet.columnCount(), 2);
        QCOMPARE(grid(sheet), (QStringList{"a|", "|", "|b"}));
    }

    void plainNumbers_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("expected");
        const char* rows[][3] = {
            {"phone", "9876543210", "9876543210"},
            {"phone with exponent", "9.87654321E9", "9876543210"},
            {"signed exponent", "9.87654321e+9", "9876543210"},
            {"beyond double precision", "12345678901234567890", "12345678901234567890"},
            {"exponent beyond double precision", "1.23456789012345678E17", "123456789012345678"},
            {"large exponent", "1E20", "100000000000000000000"},
            {"negative exponent", "1.5E-3", "0.0015"},
            {"whole with zero decimals", "9876543210.000", "9876543210"},
            {"trailing zero", "12.50", "12.5"},
            {"no leading digit", ".5", "0.5"},
            {"leading zeros", "007", "7"},
            {"negative", "-42", "-42"},
            {"negative zero", "-0.0", "0"},
            {"plus sign", "+7", "7"},
            {"blanks around", " 42 ", "42"},
            {"not a number", "abc", "abc"},
            {"empty", "", ""},
            {"exponent without digits", "1E", "1E"},
            {"two points", "1.2.3", "1.2.3"},
            {"absurd exponent kept", "1E999", "1E999"}};
        for (const auto& [name, raw, expected] : rows)
            QTest::newRow(name) << QString::fromLatin1(raw) << QString::fromLatin1(expected);
    }

    void plainNumbers()
    {
        QFETCH(QString, raw);
        QFETCH(QString, expected);
        QCOMPARE(plainNumber(raw), expected);
    }

    // Binary numbers as text, and as dates in both date systems.
    void binaryNumbers_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("as"); // 0: a number, 1900 or 1904: a date
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, double value, int as, const char* expected) {
            QTest::newRow(name) << value << as << QString::fromLatin1(expected);
        };
        row("phone", 9876543210.0, 0, "9876543210");
        row("fraction", 12.5, 0, "12.5");
        row("shortest digits", 0.1 + 0.2, 0, "0.30000000000000004");
        row("small", 1e-7, 0, "0.0000001");
        row("negative whole", -42.0, 0, "-42");
        row("negative zero", -0.0, 0, "0");
        row("huge whole", 1e20, 0, "100000000000000000000");
        row("not a number", std::nan(""), 0, "");
        row("infinite", HUGE_VAL, 0, "");
        row("date", 45322.0, 1900, "2024-01-31");
        row("date and time", 45322.75, 1900, "2024-01-31 18:00:00");
        row("time only", 0.5, 1900, "12:00:00");
        row("first day", 1.0, 1900, "1900-01-01");
        row("before the phantom leap day", 59.0, 1900, "1900-02-28");
        row("after the phantom leap day", 61.0, 1900, "1900-03-01");
        row("rounds up to midnight", 45322.999999999, 1900, "2024-02-01");
        row("1904 system", 43860.0, 1904, "2024-01-31");
        row("1904 time", 0.25, 1904, "06:00:00");
        row("negative date", -1.0, 1900, "-1");
        row("beyond year 9999", 3000000.0, 1900, "3000000");
    }

    void binaryNumbers()
    {
        QFETCH(double, value);
        QFETCH(int, as);
        QFETCH(QString, expected);
        QCOMPARE(as ? serialDateText(value, as == 1904) : numberText(value), expected);
    }

    void dateFormats_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("isDate");
        const auto row = [](const char* name, int id, const char* code, bool isDate) {
            QTest::newRow(name) << id << QString::fromLatin1(code) << isDate;
        };
        row("built-in date", 14, "", true);
        row("built-in date time", 22, "", true);
        row("built-in minutes", 45, "", true);
        row("general", 0, "General", false);
        row("built-in decimals", 2, "0.00", false);
        row("custom date", 164, "dd/mm/yyyy", true);
        row("custom time", 165, "hh:mm AM/PM", true);
        row("elapsed hours", 166, "[h]:mm", true);
        row("quoted letters", 167, "\"Day\"\\ 0", false);
        row("colour", 168, "[Red]0.00", false);
        row("scientific", 169, "0.00E+00", false);
        row("escaped letter", 170, "\\d0", false);
        row("padding character", 171, "_m0", false);
    }

    void dateFormats()
    {
        QFETCH(int, id);
        QFETCH(QString, code);
        QFETCH(bool, isDate);
        QCOMPARE(isDateFormat(id, code), isDate);
    }

    void textDecoding()
    {
        QCOMPARE(fromWindows1252("\x80 \x93q\x94 Jos\xE9 A"), QString::fromUtf8("€ “q” José A"));
        // Unassigned codes stay the control characters of the same number.
        QCOMPARE(fromWindows1252("\x81"), QString(QChar(0x81)));
        QCOMPARE(unescapeXmlChars(QStringLiteral("a_x000D__x000A_b")), QStringLiteral("a\r\nb"));
        QCOMPARE(unescapeXmlChars(QStringLiteral("_x005F_x0041_")), QStringLiteral("_x0041_"));
        for (const char* kept : {"_xZZZZ_", "a_x00", "plain_text"})
            QCOMPARE(unescapeXmlChars(QString::fromLatin1(kept)), QString::fromLatin1(kept));
        QCOMPARE(errorText(0x0F), QStringLiteral("#VALUE!"));
        QCOMPARE(errorText(0x99), QStringLiteral("#ERROR!"));
    }

    void singleStreamFileReadsBack_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("streamSize");
        QTest::newRow("small stream padded out of the mini stream") << 100 << 4096;
        QTest::newRow("whole sectors") << 8192 << 8192;
        QTest::newRow("part sector") << 10000 << 10240;
        QTest::newRow("several allocation sectors") << 200000 << 200192;
    }

    void singleStreamFileReadsBack()
    {
        QFETCH(int, size);
        QFETCH(int, streamSize);
        QByteArray data(size, '\0');
        for (int i = 0; i < size; ++i)
            data[i] = char('a' + i % 26);
        const std::optional<QByteArray> file =
            CompoundFile::withSingleStream(QStringLiteral("Workbook"), data);
        QVERIFY(file);
        const CompoundFile container(*file);
        QVERIFY(container.isValid());
        QCOMPARE(container.streamNames(), QStringList{QStringLiteral("Workbook")});
        QVERIFY(!container.isInMiniStream(QStringLiteral("Workbook")));
        QCOMPARE(container.readStream(QStringLiteral("workbook")),
                 data + QByteArray(streamSize - size, '\0'));
    }

    void damagedContainers_data()
    {
        QTest::addColumn<int>("offset"); // -1: none changed
        QTest::addColumn<quint32>("value");
        QTest::addColumn<int>("truncateTo"); // -1: whole
        QTest::newRow("intact") << -1 << 0u << -1;
        QTest::newRow("cut inside the header") << -1 << 0u << 300;
        QTest::newRow("byte order mark") << 0x1C << 0x1234u << -1;
        QTest::newRow("sector size") << 0x1E << 0x0007u << -1;
        QTest::newRow("allocation sector count") << 0x2C << 0xFFFFFFu << -1;
        QTest::newRow("directory beyond the file") << 0x30 << 0xFFFFFF00u << -1;
        QTest::newRow("allocation sector beyond the file") << 0x4C << 0x00FFFFFFu << -1;
    }

    void damagedContainers()
    {
        QFETCH(int, offset);
        QFETCH(quint32, value);
        QFETCH(int, truncateTo);
        QFile file(dataFile("contacts.xls"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        if (offset == 0x1C || offset == 0x1E)
            qToLittleEndian(quint16(value), bytes.data() + offset);
        else if (offset >= 0)
            qToLittleEndian(value, bytes.data() + offset);
        if (truncateTo >= 0)
            bytes.truncate(truncateTo);
        const CompoundFile container(bytes);
        const bool intact = offset < 0 && truncateTo < 0;
        QCOMPARE(container.isValid(), intact);
        QCOMPARE(container.readStream(QStringLiteral("Workbook")).has_value(), intact);
    }
};

QTEST_GUILESS_MAIN(TestSheetReader)
#include "tst_sheetreader.moc"

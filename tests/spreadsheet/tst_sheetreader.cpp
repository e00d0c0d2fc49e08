// SheetReader on generated workbooks, text files written here and files it must refuse; and the pieces
// under it: number and date texts, text decoding, the compound-file container of .xls workbooks.

#include "spreadsheet/reader/CellText.h"
#include "spreadsheet/reader/CompoundFile.h"
#include "spreadsheet/reader/SheetReader.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <climits>
#include <cmath>

using namespace Qt::StringLiterals;

using namespace Sheets;

Q_DECLARE_METATYPE(SheetFormat)
Q_DECLARE_METATYPE(std::optional<SheetFormat>)

namespace {

// The sheets the workbooks open on, a row per line, cells separated by "|".
const QStringList contacts{
    "Mobile|Name|", "9876543210|RAVI|", "15551234567|Ravi Kumār|", "0987654321|  padded  |",
    "|ASHA|",       "12.5|TRUE|",       "2024-01-31|FALSE|",       "-42||",
    "||last"};
const QStringList intro{"WRONG SHEET Intro|1111111111", "2222222222|wrong"};
const QStringList blankFirst{"|x", "y|"};
const QStringList crafted{"Mobile||Ravi||",
                          "9876543210|inline|  two  words  ||",
                          "15551234567|TRUE|FALSE|#DIV/0!|",
                          "31102469134|ab||line\r\nbreak & <tag>|",
                          "0.0015|9876543210||0|",
                          "||||",
                          "2024-01-31|2024-01-31 18:00:00|7|12:00:00|1900-02-28",
                          "||||",
                          "||||corner"};

// The one column of many_texts.xls, as the generator writes it.
QStringList manyTexts()
{
    QStringList rows;
    for (int i = 0; i < 1200; ++i) {
        const QString middle = i % 2 ? QString(i % 7, QChar(0x0436)) : QString(i % 11, u'x');
        rows << u"text %1 "_s.arg(i, 4, 10, QChar(u'0')) + middle + QString(20, u'-');
    }
    return rows;
}

// Every cell of the sheet, a row per line, cells separated by "|".
struct Book
{
    QString file, sheet;
    SheetFormat format;
    QStringList rows;
    QByteArray bytes = {}; // written to the file first; empty: a generated workbook
};

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

Q_DECLARE_METATYPE(Book)

class TestSheetReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_huge;

    static QString dataFile(const QString& name) { return QStringLiteral(SHEET_DATA_DIR "/") + name; }

private Q_SLOTS:
    void initTestCase()
    {
        m_huge = m_dir.filePath(u"huge.csv"_s);
        QFile file(m_huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("a,b\r\n");
        QVERIFY(file.resize(qint64(512) * 1024 * 1024 + 1)); // sparse: no disk used
    }

    void workbooks_data()
    {
        QTest::addColumn<Book>("b");
        using enum SheetFormat;
        const auto row = [](const char* name, const Book& b) { QTest::newRow(name) << b; };
        const auto both = [](const char* name, const QString& stem, const QString& sheet,
                             const QStringList& rows) {
            QTest::addRow("xls, %s", name) << Book{stem + ".xls", sheet, Xls, rows};
            QTest::addRow("xlsx, %s", name) << Book{stem + ".xlsx", sheet, Xlsx, rows};
        };
        const auto text = [](const char* name, const QByteArray& bytes, const QStringList& rows,
                             const char* file = "list.csv") {
            QTest::newRow(name) << Book{file, "list", Csv, rows, bytes};
        };
        both("active sheet second of three", "contacts", "Numbers", contacts);
        both("first sheet active", "first_tab", "Intro", intro);
        row("xls, last sheet active", {"last_tab.xls", "Numbers", Xls, contacts});
        row("xls without WINDOW1 opens the first sheet", {"no_window1.xls", "Intro", Xls, intro});
        row("xls, stream Book", {"book_stream.xls", "Numbers", Xls, contacts});
        row("xls, hand-made container", {"big_stream.xls", "Numbers", Xls, contacts});
        row("xls, workbook after the first directory sector", {"crowded.xls", "Numbers", Xls, contacts});
        row("xls, workbook in the mini stream", {"mini_stream.xls", "Blank", Xls, blankFirst});
        row("xls, shared strings over several records", {"many_texts.xls", "Texts", Xls, manyTexts()});
        both("empty first cell", "first_empty", "Blank", blankFirst);
        both("empty sheet", "empty_sheet", "Empty", {});
        both("non-ASCII texts and sheet name", "unicode", "Číslo", {"Ашa|कुमार", "€ 5|naïve"});
        row("xls, formula results, booleans, errors",
            {"formulas.xls",
             "Formulas",
             Xls,
             {"3|TRUE", "abc|#N/A", "TRUE|FALSE", "#DIV/0!|#DIV/0!", "|", "9876543210|"}});
        row("xlsx renamed .xls", {"xlsx_named.xls", "Numbers", Xlsx, contacts});
        row("xls renamed .xlsx", {"xls_named.xlsx", "Numbers", Xls, contacts});
        row("csv renamed .xls", {"csv_named.xls", "csv_named", Csv, {"Mobile|Name", "9876543210|RAVI"}});
        row("xlsx, shared strings, rels out of order", {"crafted.xlsx", "Beta", Xlsx, crafted});
        row("xlsx, absolute sheet target", {"crafted_absolute.xlsx", "Beta", Xlsx, crafted});
        row("xlsx, sheet target with dot segments", {"crafted_dotted.xlsx", "Beta", Xlsx, crafted});
        row("xlsx, 1904 dates", {"date1904.xlsx", "S", Xlsx, {"2024-01-31"}});
        row("xlsx, chart sheet active", {"chart_active.xlsx", "Data", Xlsx, {"data sheet"}});
        row("xlsx without workbook view", {"no_view.xlsx", "First", Xlsx, {"first tab"}});
        row("xlsx, active tab out of range", {"bad_tab.xlsx", "Only", Xlsx, {"only tab"}});
        row("xlsx, workbook part named by package rels",
            {"renamed_part.xlsx", "Main", Xlsx, {"found through rels"}});
        QStringEncoder utf16(QStringConverter::Utf16LE);
        const QByteArray utf16Text = utf16.encode(QString::fromUtf8("Name\tCity\r\nJosé\tZürich\r\n"));
        text("CR LF", "Mobile,Name\r\n9876543210,RAVI\r\n", {"Mobile|Name", "9876543210|RAVI"});
        text("LF", "a,b\nc,d\n", {"a|b", "c|d"});
        text("CR, no final line end", "a,b\rc,d", {"a|b", "c|d"});
        text("quoted separators, quotes and line ends",
             "\"Kumar, Ravi\",\"He said \"\"hi\"\"\"\r\n\"line1\nline2\",x\r\n",
             {"Kumar, Ravi|He said \"hi\"", "line1\nline2|x"});
        text("empty quoted field", "\"\",b\r\n", {"|b"});
        text("text after closing quote", "\"ab\"cd,e\r\n", {"abcd|e"});
        text("quote inside a field", "5\" disk,x\r\n", {"5\" disk|x"});
        text("unclosed quote runs to the end", "\"abc,def\r\nghi", {"abc,def\r\nghi"});
        text("UTF-8 with mark", "\xEF\xBB\xBFName,City\r\nJos\xC3\xA9,Z\xC3\xBCrich\r\n",
             {"Name|City", QString::fromUtf8("José|Zürich")});
        text("UTF-8 without mark", "\xD0\x90\xD1\x88\x61,1\n", {QString::fromUtf8("Ашa|1")});
        text("Windows-1252", "Jos\xE9,\x80 5,\x93q\x94\r\n", {QString::fromUtf8("José|€ 5|“q”")});
        text("UTF-16 with mark, tabs", QByteArray("\xFF\xFE", 2) + utf16Text,
             {"Name|City", QString::fromUtf8("José|Zürich")}, "list.txt");
        text("semicolons", "a;b;c\r\n1;2;3\r\n", {"a|b|c", "1|2|3"});
        text("tabs", "a\tb\r\n1\t2\r\n", {"a|b", "1|2"}, "list.txt");
        text("comma in the first line wins", "a,b;c\r\n1,2;3\r\n", {"a|b;c", "1|2;3"});
        text("single column", "9876543210\n15551234567\n", {"9876543210", "15551234567"}, "list.txt");
        text("empty fields and an empty line in between", ",x\r\n\r\ny,\r\n", {"|x", "|", "y|"});
        text("empty lines at the end are no rows", "a\r\n\r\n\n", {"a"});
        text("texts kept as written", "0987654321,12345678901234567890, a ,=1+2,1E3\r\n",
             {"0987654321|12345678901234567890| a |=1+2|1E3"});
    }

    void workbooks()
    {
        QFETCH(Book, b);
        const QString path = b.bytes.isEmpty() ? dataFile(b.file) : m_dir.filePath(b.file);
        if (!b.bytes.isEmpty()) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            QCOMPARE(out.write(b.bytes), b.bytes.size());
        }
        QCOMPARE(SheetReader::formatFor(path), std::optional(b.format));
        const std::unique_ptr<SheetReader> reader = SheetReader::open(path);
        QCOMPARE(reader->format(), b.format);
        QCOMPARE(reader->sheetName(), b.sheet);
        QCOMPARE(grid(*reader), b.rows);
        if (b.rows.isEmpty())
            QCOMPARE(reader->columnCount(), 0);
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
        row("container header cut short", "header_cut.xls", "it is damaged");
        row("container byte order mark", "header_byte_order.xls", "it is damaged");
        row("container sector size", "header_sector_size.xls", "it is damaged");
        row("container allocation sector count", "header_fat_count.xls", "it is damaged");
        row("container directory beyond the file", "header_dir_beyond.xls", "it is damaged");
        row("container allocation sector beyond the file", "header_fat_beyond.xls", "it is damaged");
        row("truncated .xls", "truncated.xls", "it is damaged");
        row("looping allocation table", "fat_loop.xls", "it is damaged");
        row("container without workbook", "document.xls", "it is not an Excel workbook");
        row("encrypted .xls", "filepass.xls", "it is protected by a password");
        row("record longer than BIFF allows", "long_record.xls", "it is damaged");
        row("record running past the stream", "record_past_end.xls", "it is damaged");
        row("number format text longer than its record", "format_past_record.xls", "it is damaged");
        row("shared string longer than its table", "shared_string_past_record.xls", "it is damaged");
        row("fewer shared strings than declared", "shared_strings_missing.xls", "it is damaged");
        row("encrypted .xlsx", "encrypted.xlsx", "it is protected by a password");
        row("truncated .xlsx", "truncated.xlsx", "it is damaged or not an Excel workbook");
        row("zip without workbook", "not_workbook.xlsx", "it is not an Excel workbook");
        row("shared string out of range", "bad_sst_index.xlsx", "it is damaged (bad shared string)");
        row("bad cell reference", "bad_ref.xlsx", "it is damaged (bad cell reference 1A)");
        row("broken sheet XML", "bad_xml.xlsx", "it is damaged");
        row("sheet part missing", "missing_sheet.xlsx",
            "it is damaged (the part xl/worksheets/gone.xml is missing)");
        row("16 KB naming 49 million cells", "wide.xlsx", "it is too large to be read (over 5000000 cells)");
        row("a line of 6 million fields", "commas.csv", "it is too large to be read (over 5000000 cells)");
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
                u"The file %1 cannot be read: %2"_s.arg(QDir::toNativeSeparators(file), reason);
            QCOMPARE(error.message(), message);
            QCOMPARE(QString::fromUtf8(error.what()), message);
        }
    }

    // The contents decide, the extension only for a file that is missing or empty.
    void formats()
    {
        QCOMPARE(SheetReader::formatFor(dataFile("random.xls")), std::optional<SheetFormat>());
        QCOMPARE(SheetReader::formatFor(dataFile("empty.xlsx")), std::optional(SheetFormat::Xlsx));
        QCOMPARE(SheetReader::formatFor(dataFile("missing.XLS")), std::optional(SheetFormat::Xls));
        QCOMPARE(SheetReader::formatFor(dataFile("missing.xlsm")), std::optional(SheetFormat::Xlsx));
        QCOMPARE(SheetReader::formatFor(dataFile("missing.txt")), std::optional(SheetFormat::Csv));
        QCOMPARE(SheetReader::formatFor(dataFile("missing.doc")), std::optional<SheetFormat>());
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
        const SheetReader sheet(SheetFormat::Csv, u"mem"_s, {{"a", ""}, {}, {"", "b", "", ""}, {""}, {}});
        QCOMPARE(sheet.columnCount(), 2);
        QCOMPARE(grid(sheet), (QStringList{"a|", "|", "|b"}));
    }

    // Numbers as a sheet stores them: as text (.xlsx), as binary doubles, and as serial dates of the 1900 and
    // 1904 date systems.
    void numbers()
    {
        const std::pair<const char*, const char*> texts[] = {{"9.87654321E9", "9876543210"},
                                                             {"1.5E-3", "0.0015"},
                                                             {"9876543210.000", "9876543210"},
                                                             {"12.50", "12.5"},
                                                             {".5", "0.5"},
                                                             {"007", "7"},
                                                             {"-0.0", "0"},
                                                             {"+7", "7"},
                                                             {" 42 ", "42"}};
        for (const auto& [text, expected] : texts)
            QCOMPARE(plainNumber(QString::fromLatin1(text)), QString::fromLatin1(expected));
        // Too long for a double, or no number at all: kept as written.
        for (const char* kept : {"12345678901234567890", "abc", "", "1E", "1.2.3", "1E999"})
            QCOMPARE(plainNumber(QString::fromLatin1(kept)), QString::fromLatin1(kept));
        // Not a number, as any other value that is not finite, shows as an empty cell.
        const std::pair<double, const char*> doubles[] = {{0.1 + 0.2, "0.30000000000000004"},
                                                          {1e-7, "0.0000001"},
                                                          {-0.0, "0"},
                                                          {1e20, "100000000000000000000"},
                                                          {std::nan(""), ""}};
        for (const auto& [value, expected] : doubles)
            QCOMPARE(numberText(value), QString::fromLatin1(expected));
        const std::tuple<double, bool, const char*> dates[] = {
            {1.0, false, "1900-01-01"}, {61.0, false, "1900-03-01"}, {45322.999999999, false, "2024-02-01"},
            {0.25, true, "06:00:00"},   {-1.0, false, "-1"},         {3000000.0, false, "3000000"}};
        for (const auto& [value, from1904, expected] : dates)
            QCOMPARE(serialDateText(value, from1904), QString::fromLatin1(expected));
    }

    // Built-in formats are dates by their number alone, custom ones (from 164) by a date letter outside
    // quotes, escapes, paddings and colours.
    void dateFormats()
    {
        for (const int id : {14, 22, 45})
            QVERIFY(isDateFormat(id, u""));
        QVERIFY(!isDateFormat(0, u"General"));
        QVERIFY(isDateFormat(164, u"dd/mm/yyyy"));
        QVERIFY(isDateFormat(166, u"[h]:mm"));
        for (const QStringView code : {u"\"Day\"\\ 0", u"[Red]0.00", u"\\d0", u"_m0"})
            QVERIFY2(!isDateFormat(167, code), qPrintable(code.toString()));
    }

    void textDecoding()
    {
        QCOMPARE(fromWindows1252("\x80 \x93q\x94 Jos\xE9 A"), QString::fromUtf8("€ “q” José A"));
        // Unassigned codes stay the control characters of the same number.
        QCOMPARE(fromWindows1252("\x81"), QString(QChar(0x81)));
        QCOMPARE(unescapeXmlChars(u"a_x000D__x000A_b"_s), u"a\r\nb"_s);
        QCOMPARE(unescapeXmlChars(u"_x005F_x0041_"_s), u"_x0041_"_s);
        for (const char* kept : {"_xZZZZ_", "a_x00", "plain_text"})
            QCOMPARE(unescapeXmlChars(QString::fromLatin1(kept)), QString::fromLatin1(kept));
        QCOMPARE(errorText(0x0F), u"#VALUE!"_s);
        QCOMPARE(errorText(0x99), u"#ERROR!"_s);
    }

    // A small stream is padded out of the mini stream; a large one needs several allocation sectors.
    void singleStreamFileReadsBack()
    {
        for (const auto& [size, streamSize] :
             {std::pair(100, 4096), std::pair(8192, 8192), std::pair(200000, 200000)}) {
            QByteArray data(size, '\0');
            for (int i = 0; i < size; ++i)
                data[i] = char('a' + i % 26);
            const std::optional<QByteArray> file = CompoundFile::withSingleStream(u"Workbook"_s, data);
            QVERIFY(file);
            const CompoundFile container(*file);
            QVERIFY(container.isValid());
            QCOMPARE(container.streamNames(), QStringList{u"Workbook"_s});
            QCOMPARE(container.readStream(u"workbook"_s), data + QByteArray(streamSize - size, '\0'));
        }
    }
};

QTEST_GUILESS_MAIN(TestSheetReader)
#include "tst_sheetreader.moc"

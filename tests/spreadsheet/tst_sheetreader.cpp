// SheetReader on generated workbooks (.xls from xlwt, .xlsx from openpyxl and
// hand-made packages, text files written here), and on files it must refuse.

#include "spreadsheet/reader/SheetReader.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <climits>

Q_DECLARE_METATYPE(SheetFormat)
Q_DECLARE_METATYPE(std::optional<SheetFormat>)

namespace {

QString dataFile(const QString& name)
{
    return QStringLiteral(SHEET_DATA_DIR "/") + name;
}

// "C7" -> row 7, column 3.
std::pair<int, int> position(const QString& reference)
{
    int column = 0;
    int i = 0;
    while (i < reference.size() && reference[i].isLetter())
        column = column * 26 + (reference[i++].unicode() - 'A' + 1);
    return {reference.mid(i).toInt(), column};
}

// The sheet the contacts workbooks open on.
const QStringList contactCells = {
    "A1=Mobile",
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
    "A10=",
};
const QStringList introCells = {"A1=WRONG SHEET Intro", "B1=1111111111", "A2=2222222222", "B2=wrong"};
const QStringList blankFirstCells = {"A1=", "B1=x", "A2=y", "B2="};
const QStringList unicodeCells = {QString::fromUtf8("A1=Ашa"), QString::fromUtf8("B1=कुमार"),
                                  QString::fromUtf8("A2=€ 5"), QString::fromUtf8("B2=naïve")};
const QStringList craftedCells = {
    "A1=Mobile",
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
    "E9=corner",
};

QByteArray utf16WithMark(const QString& text)
{
    QStringEncoder encoder(QStringConverter::Utf16LE);
    return QByteArray("\xFF\xFE", 2) + QByteArray(encoder.encode(text));
}

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

private Q_SLOTS:
    void workbooks_data();
    void workbooks();
    void refusedFiles_data();
    void refusedFiles();
    void hugeFileRefused();
    void formats_data();
    void formats();
    void textFiles_data();
    void textFiles();
    void cellsOutsideTheSheet_data();
    void cellsOutsideTheSheet();
    void sheetMadeInMemory();
};

void TestSheetReader::workbooks_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<SheetFormat>("format");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("cells");

    const auto xls = SheetFormat::Xls;
    const auto xlsx = SheetFormat::Xlsx;
    QTest::newRow("xls, active sheet second of three")
        << "contacts.xls" << xls << "Numbers" << 9 << 3 << contactCells;
    QTest::newRow("xlsx, active sheet second of three")
        << "contacts.xlsx" << xlsx << "Numbers" << 9 << 3 << contactCells;
    QTest::newRow("xls, first sheet active") << "first_tab.xls" << xls << "Intro" << 2 << 2 << introCells;
    QTest::newRow("xlsx, first sheet active") << "first_tab.xlsx" << xlsx << "Intro" << 2 << 2 << introCells;
    QTest::newRow("xls, last sheet active") << "last_tab.xls" << xls << "Numbers" << 9 << 3 << contactCells;
    QTest::newRow("xls without WINDOW1 opens the first sheet")
        << "no_window1.xls" << xls << "Intro" << 2 << 2 << introCells;
    QTest::newRow("xls, stream Book") << "book_stream.xls" << xls << "Numbers" << 9 << 3 << contactCells;
    QTest::newRow("xls, hand-made container")
        << "big_stream.xls" << xls << "Numbers" << 9 << 3 << contactCells;
    QTest::newRow("xls, workbook after the first directory sector")
        << "crowded.xls" << xls << "Numbers" << 9 << 3 << contactCells;
    QTest::newRow("xls, workbook in the mini stream")
        << "mini_stream.xls" << xls << "Blank" << 2 << 2 << blankFirstCells;
    QTest::newRow("xls, empty first cell")
        << "first_empty.xls" << xls << "Blank" << 2 << 2 << blankFirstCells;
    QTest::newRow("xlsx, empty first cell")
        << "first_empty.xlsx" << xlsx << "Blank" << 2 << 2 << blankFirstCells;
    QTest::newRow("xls, empty sheet") << "empty_sheet.xls" << xls << "Empty" << 0 << 0 << QStringList{"A1="};
    QTest::newRow("xlsx, empty sheet")
        << "empty_sheet.xlsx" << xlsx << "Empty" << 0 << 0 << QStringList{"A1="};
    QTest::newRow("xls, non-ASCII texts and sheet name")
        << "unicode.xls" << xls << QString::fromUtf8("Číslo") << 2 << 2 << unicodeCells;
    QTest::newRow("xlsx, non-ASCII texts and sheet name")
        << "unicode.xlsx" << xlsx << QString::fromUtf8("Číslo") << 2 << 2 << unicodeCells;
    QTest::newRow("xls, formula results, booleans, errors")
        << "formulas.xls" << xls << "Formulas" << 6 << 2
        << QStringList{"A1=3",       "B1=TRUE",    "A2=abc", "B2=#N/A", "A3=TRUE",      "B3=FALSE",
                       "A4=#DIV/0!", "B4=#DIV/0!", "A5=",    "B5=",     "A6=9876543210"};
    QTest::newRow("xlsx renamed .xls") << "xlsx_named.xls" << xlsx << "Numbers" << 9 << 3 << contactCells;
    QTest::newRow("xls renamed .xlsx") << "xls_named.xlsx" << xls << "Numbers" << 9 << 3 << contactCells;
    QTest::newRow("csv renamed .xls") << "csv_named.xls" << SheetFormat::Csv << "csv_named" << 2 << 2
                                      << QStringList{"A1=Mobile", "B1=Name", "A2=9876543210", "B2=RAVI"};
    QTest::newRow("xlsx, shared strings, rels out of order")
        << "crafted.xlsx" << xlsx << "Beta" << 9 << 5 << craftedCells;
    QTest::newRow("xlsx, absolute sheet target")
        << "crafted_absolute.xlsx" << xlsx << "Beta" << 9 << 5 << craftedCells;
    QTest::newRow("xlsx, sheet target with dot segments")
        << "crafted_dotted.xlsx" << xlsx << "Beta" << 9 << 5 << craftedCells;
    QTest::newRow("xlsx, 1904 dates")
        << "date1904.xlsx" << xlsx << "S" << 1 << 1 << QStringList{"A1=2024-01-31"};
    QTest::newRow("xlsx, chart sheet active")
        << "chart_active.xlsx" << xlsx << "Data" << 1 << 1 << QStringList{"A1=data sheet"};
    QTest::newRow("xlsx without workbook view")
        << "no_view.xlsx" << xlsx << "First" << 1 << 1 << QStringList{"A1=first tab"};
    QTest::newRow("xlsx, active tab out of range")
        << "bad_tab.xlsx" << xlsx << "Only" << 1 << 1 << QStringList{"A1=only tab"};
    QTest::newRow("xlsx, workbook part named by package rels")
        << "renamed_part.xlsx" << xlsx << "Main" << 1 << 1 << QStringList{"A1=found through rels"};
}

void TestSheetReader::workbooks()
{
    QFETCH(QString, file);
    QFETCH(SheetFormat, format);
    QFETCH(QString, sheet);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QStringList, cells);

    const std::unique_ptr<SheetReader> reader = SheetReader::open(dataFile(file));
    QCOMPARE(reader->format(), format);
    QCOMPARE(reader->sheetName(), sheet);
    QCOMPARE(reader->rowCount(), rows);
    QCOMPARE(reader->columnCount(), columns);
    for (const QString& check : cells) {
        const qsizetype equals = check.indexOf(u'=');
        const auto [row, column] = position(check.left(equals));
        QVERIFY2(row > 0 && column > 0, qPrintable(check));
        QCOMPARE(reader->cell(row, column), check.mid(equals + 1));
    }
}

void TestSheetReader::refusedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << dataFile("missing.xls") << "it does not exist";
    QTest::newRow("no name") << QString() << "it does not exist";
    QTest::newRow("folder") << QStringLiteral(SHEET_DATA_DIR) << "it is a folder, not a file";
    QTest::newRow("empty .xls") << dataFile("empty.xls") << "it is empty";
    QTest::newRow("empty .xlsx") << dataFile("empty.xlsx") << "it is empty";
    QTest::newRow("empty .csv") << dataFile("empty.csv") << "it is empty";
    QTest::newRow("random bytes .xls") << dataFile("random.xls") << "it is not an Excel workbook";
    QTest::newRow("random bytes .xlsx") << dataFile("random.xlsx") << "it is not an Excel workbook";
    QTest::newRow("random bytes .csv") << dataFile("random.csv") << "it is not a text file";
    QTest::newRow("container header, random body") << dataFile("cfb_random.xls") << "it is damaged";
    QTest::newRow("truncated .xls") << dataFile("truncated.xls") << "it is damaged";
    QTest::newRow("looping allocation table") << dataFile("fat_loop.xls") << "it is damaged";
    QTest::newRow("container without workbook") << dataFile("document.xls") << "it is not an Excel workbook";
    QTest::newRow("encrypted .xls") << dataFile("filepass.xls") << "it is protected by a password";
    QTest::newRow("encrypted .xlsx") << dataFile("encrypted.xlsx") << "it is protected by a password";
    QTest::newRow("truncated .xlsx") << dataFile("truncated.xlsx")
                                     << "it is damaged or not an Excel workbook";
    QTest::newRow("zip without workbook") << dataFile("not_workbook.xlsx") << "it is not an Excel workbook";
    QTest::newRow("shared string out of range")
        << dataFile("bad_sst_index.xlsx") << "it is damaged (bad shared string)";
    QTest::newRow("bad cell reference")
        << dataFile("bad_ref.xlsx") << "it is damaged (bad cell reference 1A)";
    QTest::newRow("broken sheet XML") << dataFile("bad_xml.xlsx") << "it is damaged";
    QTest::newRow("sheet part missing")
        << dataFile("missing_sheet.xlsx") << "it is damaged (the part xl/worksheets/gone.xml is missing)";
}

void TestSheetReader::refusedFiles()
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

void TestSheetReader::hugeFileRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("huge.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("a,b\r\n");
    QVERIFY(file.resize(qint64(512) * 1024 * 1024 + 1)); // sparse: no disk used
    file.close();
    try {
        SheetReader::open(path);
        QFAIL("the file was accepted");
    } catch (const SheetError& error) {
        QCOMPARE(error.reason(), QStringLiteral("it is too large (over 512 MB)"));
    }
}

void TestSheetReader::formats_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<std::optional<SheetFormat>>("format");
    QTest::newRow("xls") << dataFile("contacts.xls") << std::optional(SheetFormat::Xls);
    QTest::newRow("xlsx") << dataFile("contacts.xlsx") << std::optional(SheetFormat::Xlsx);
    QTest::newRow("xlsx contents named .xls")
        << dataFile("xlsx_named.xls") << std::optional(SheetFormat::Xlsx);
    QTest::newRow("xls contents named .xlsx")
        << dataFile("xls_named.xlsx") << std::optional(SheetFormat::Xls);
    QTest::newRow("text named .xls") << dataFile("csv_named.xls") << std::optional(SheetFormat::Csv);
    QTest::newRow("random bytes named .xls") << dataFile("random.xls") << std::optional<SheetFormat>();
    QTest::newRow("empty .xlsx by extension") << dataFile("empty.xlsx") << std::optional(SheetFormat::Xlsx);
    QTest::newRow("missing .XLS by extension") << dataFile("missing.XLS") << std::optional(SheetFormat::Xls);
    QTest::newRow("missing .xlsm by extension")
        << dataFile("missing.xlsm") << std::optional(SheetFormat::Xlsx);
    QTest::newRow("missing .txt by extension") << dataFile("missing.txt") << std::optional(SheetFormat::Csv);
    QTest::newRow("missing .doc") << dataFile("missing.doc") << std::optional<SheetFormat>();
}

void TestSheetReader::formats()
{
    QFETCH(QString, file);
    QFETCH(std::optional<SheetFormat>, format);
    QCOMPARE(SheetReader::formatFor(file), format);
}

void TestSheetReader::textFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("CR LF") << "list.csv" << QByteArray("Mobile,Name\r\n9876543210,RAVI\r\n")
                           << QStringList{"Mobile|Name", "9876543210|RAVI"};
    QTest::newRow("LF") << "list.csv" << QByteArray("a,b\nc,d\n") << QStringList{"a|b", "c|d"};
    QTest::newRow("CR, no final line end")
        << "list.csv" << QByteArray("a,b\rc,d") << QStringList{"a|b", "c|d"};
    QTest::newRow("quoted separators, quotes and line ends")
        << "list.csv" << QByteArray("\"Kumar, Ravi\",\"He said \"\"hi\"\"\"\r\n\"line1\nline2\",x\r\n")
        << QStringList{"Kumar, Ravi|He said \"hi\"", "line1\nline2|x"};
    QTest::newRow("empty quoted field") << "list.csv" << QByteArray("\"\",b\r\n") << QStringList{"|b"};
    QTest::newRow("text after closing quote")
        << "list.csv" << QByteArray("\"ab\"cd,e\r\n") << QStringList{"abcd|e"};
    QTest::newRow("quote inside a field")
        << "list.csv" << QByteArray("5\" disk,x\r\n") << QStringList{"5\" disk|x"};
    QTest::newRow("unclosed quote runs to the end")
        << "list.csv" << QByteArray("\"abc,def\r\nghi") << QStringList{"abc,def\r\nghi"};
    QTest::newRow("UTF-8 with mark") << "list.csv"
                                     << QByteArray("\xEF\xBB\xBFName,City\r\nJos\xC3\xA9,Z\xC3\xBCrich\r\n")
                                     << QStringList{"Name|City", QString::fromUtf8("José|Zürich")};
    QTest::newRow("UTF-8 without mark")
        << "list.csv" << QByteArray("\xD0\x90\xD1\x88\x61,1\n") << QStringList{QString::fromUtf8("Ашa|1")};
    QTest::newRow("Windows-1252") << "list.csv" << QByteArray("Jos\xE9,\x80 5,\x93q\x94\r\n")
                                  << QStringList{QString::fromUtf8("José|€ 5|“q”")};
    QTest::newRow("UTF-16 with mark, tabs")
        << "list.txt" << utf16WithMark(QString::fromUtf8("Name\tCity\r\nJosé\tZürich\r\n"))
        << QStringList{"Name|City", QString::fromUtf8("José|Zürich")};
    QTest::newRow("semicolons") << "list.csv" << QByteArray("a;b;c\r\n1;2;3\r\n")
                                << QStringList{"a|b|c", "1|2|3"};
    QTest::newRow("tabs") << "list.txt" << QByteArray("a\tb\r\n1\t2\r\n") << QStringList{"a|b", "1|2"};
    QTest::newRow("comma in the first line wins")
        << "list.csv" << QByteArray("a,b;c\r\n1,2;3\r\n") << QStringList{"a|b;c", "1|2;3"};
    QTest::newRow("single column") << "list.txt" << QByteArray("9876543210\n15551234567\n")
                                   << QStringList{"9876543210", "15551234567"};
    QTest::newRow("empty fields and an empty line in between")
        << "list.csv" << QByteArray(",x\r\n\r\ny,\r\n") << QStringList{"|x", "|", "y|"};
    QTest::newRow("empty lines at the end are no rows")
        << "list.csv" << QByteArray("a\r\n\r\n\n") << QStringList{"a"};
    QTest::newRow("texts kept as written")
        << "list.csv" << QByteArray("0987654321,12345678901234567890, a ,=1+2,1E3\r\n")
        << QStringList{"0987654321|12345678901234567890| a |=1+2|1E3"};
}

void TestSheetReader::textFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    const std::unique_ptr<SheetReader> reader = SheetReader::open(path);
    QCOMPARE(reader->format(), SheetFormat::Csv);
    QCOMPARE(reader->sheetName(), QStringLiteral("list"));
    QCOMPARE(grid(*reader), expected);
}

void TestSheetReader::cellsOutsideTheSheet_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("row 0") << 0 << 1;
    QTest::newRow("column 0") << 1 << 0;
    QTest::newRow("negative") << -1 << -1;
    QTest::newRow("below the last row") << 10 << 1;
    QTest::newRow("right of the last column") << 1 << 4;
    QTest::newRow("right of a short row") << 2 << 3;
    QTest::newRow("far away") << INT_MAX << INT_MAX;
}

void TestSheetReader::cellsOutsideTheSheet()
{
    QFETCH(int, row);
    QFETCH(int, column);
    const std::unique_ptr<SheetReader> reader = SheetReader::open(dataFile("contacts.xls"));
    QCOMPARE(reader->cell(row, column), QString());
}

void TestSheetReader::sheetMadeInMemory()
{
    const SheetReader sheet(SheetFormat::Csv, QStringLiteral("mem"),
                            {{"a", ""}, {}, {"", "b", "", ""}, {""}, {}});
    QCOMPARE(sheet.rowCount(), 3);
    QCOMPARE(sheet.columnCount(), 2);
    QCOMPARE(grid(sheet), (QStringList{"a|", "|", "|b"}));
}

QTEST_GUILESS_MAIN(TestSheetReader)
#include "tst_sheetreader.moc"

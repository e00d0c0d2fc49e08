// The pieces under the readers: number and date texts, text decoding, and
// the compound-file container of .xls workbooks.

#include "spreadsheet/reader/CellText.h"
#include "spreadsheet/reader/CompoundFile.h"

#include <QFile>
#include <QTest>
#include <QtEndian>
#include <cmath>
#include <limits>

using namespace Sheets;

class TestSheetCells : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plainNumbers_data();
    void plainNumbers();
    void binaryNumbers_data();
    void binaryNumbers();
    void serialDates_data();
    void serialDates();
    void dateFormats_data();
    void dateFormats();
    void windows1252();
    void xmlCharEscapes_data();
    void xmlCharEscapes();
    void errorCodes();
    void singleStreamFileReadsBack_data();
    void singleStreamFileReadsBack();
    void damagedContainers_data();
    void damagedContainers();
};

void TestSheetCells::plainNumbers_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("expected");
    QTest::newRow("phone") << "9876543210"
                           << "9876543210";
    QTest::newRow("phone with exponent") << "9.87654321E9"
                                         << "9876543210";
    QTest::newRow("signed exponent") << "9.87654321e+9"
                                     << "9876543210";
    QTest::newRow("eleven digits") << "15551234567"
                                   << "15551234567";
    QTest::newRow("beyond double precision") << "12345678901234567890"
                                             << "12345678901234567890";
    QTest::newRow("exponent beyond double precision") << "1.23456789012345678E17"
                                                      << "123456789012345678";
    QTest::newRow("large exponent") << "1E20"
                                    << "100000000000000000000";
    QTest::newRow("negative exponent") << "1.5E-3"
                                       << "0.0015";
    QTest::newRow("whole with zero decimals") << "9876543210.000"
                                              << "9876543210";
    QTest::newRow("trailing zero") << "12.50"
                                   << "12.5";
    QTest::newRow("fraction") << "0.1"
                              << "0.1";
    QTest::newRow("no leading digit") << ".5"
                                      << "0.5";
    QTest::newRow("leading zeros") << "007"
                                   << "7";
    QTest::newRow("negative") << "-42"
                              << "-42";
    QTest::newRow("negative zero") << "-0.0"
                                   << "0";
    QTest::newRow("plus sign") << "+7"
                               << "7";
    QTest::newRow("blanks around") << " 42 "
                                   << "42";
    QTest::newRow("not a number") << "abc"
                                  << "abc";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("exponent without digits") << "1E"
                                             << "1E";
    QTest::newRow("two points") << "1.2.3"
                                << "1.2.3";
    QTest::newRow("absurd exponent kept") << "1E999"
                                          << "1E999";
}

void TestSheetCells::plainNumbers()
{
    QFETCH(QString, raw);
    QFETCH(QString, expected);
    QCOMPARE(plainNumber(raw), expected);
}

void TestSheetCells::binaryNumbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("phone") << 9876543210.0 << "9876543210";
    QTest::newRow("eleven digits") << 15551234567.0 << "15551234567";
    QTest::newRow("fraction") << 12.5 << "12.5";
    QTest::newRow("tenth") << 0.1 << "0.1";
    QTest::newRow("shortest digits") << 0.1 + 0.2 << "0.30000000000000004";
    QTest::newRow("small") << 1e-7 << "0.0000001";
    QTest::newRow("negative whole") << -42.0 << "-42";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("huge whole") << 1e20 << "100000000000000000000";
    QTest::newRow("not a number") << std::nan("") << "";
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "";
}

void TestSheetCells::binaryNumbers()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(numberText(value), expected);
}

void TestSheetCells::serialDates_data()
{
    QTest::addColumn<double>("serial");
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("expected");
    QTest::newRow("date") << 45322.0 << false << "2024-01-31";
    QTest::newRow("date and time") << 45322.75 << false << "2024-01-31 18:00:00";
    QTest::newRow("time only") << 0.5 << false << "12:00:00";
    QTest::newRow("first day") << 1.0 << false << "1900-01-01";
    QTest::newRow("before the phantom leap day") << 59.0 << false << "1900-02-28";
    QTest::newRow("after the phantom leap day") << 61.0 << false << "1900-03-01";
    QTest::newRow("rounds up to midnight") << 45322.999999999 << false << "2024-02-01";
    QTest::newRow("1904 system") << 43860.0 << true << "2024-01-31";
    QTest::newRow("1904 time") << 0.25 << true << "06:00:00";
    QTest::newRow("negative") << -1.0 << false << "-1";
    QTest::newRow("beyond year 9999") << 3000000.0 << false << "3000000";
}

void TestSheetCells::serialDates()
{
    QFETCH(double, serial);
    QFETCH(bool, date1904);
    QFETCH(QString, expected);
    QCOMPARE(serialDateText(serial, date1904), expected);
}

void TestSheetCells::dateFormats_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("isDate");
    QTest::newRow("built-in date") << 14 << "" << true;
    QTest::newRow("built-in date time") << 22 << "" << true;
    QTest::newRow("built-in minutes") << 45 << "" << true;
    QTest::newRow("general") << 0 << "General" << false;
    QTest::newRow("built-in decimals") << 2 << "0.00" << false;
    QTest::newRow("custom date") << 164 << "dd/mm/yyyy" << true;
    QTest::newRow("custom time") << 165 << "hh:mm AM/PM" << true;
    QTest::newRow("elapsed hours") << 166 << "[h]:mm" << true;
    QTest::newRow("quoted letters") << 167 << "\"Day\"\\ 0" << false;
    QTest::newRow("colour") << 168 << "[Red]0.00" << false;
    QTest::newRow("scientific") << 169 << "0.00E+00" << false;
    QTest::newRow("escaped letter") << 170 << "\\d0" << false;
    QTest::newRow("padding character") << 171 << "_m0" << false;
}

void TestSheetCells::dateFormats()
{
    QFETCH(int, id);
    QFETCH(QString, code);
    QFETCH(bool, isDate);
    QCOMPARE(isDateFormat(id, code), isDate);
}

void TestSheetCells::windows1252()
{
    QCOMPARE(fromWindows1252("\x80 \x93q\x94 Jos\xE9 A"), QString::fromUtf8("€ “q” José A"));
    // Unassigned codes stay the control characters of the same number.
    QCOMPARE(fromWindows1252("\x81"), QString(QChar(0x81)));
}

void TestSheetCells::xmlCharEscapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("line break") << "a_x000D__x000A_b"
                                << "a\r\nb";
    QTest::newRow("escaped escape") << "_x005F_x0041_"
                                    << "_x0041_";
    QTest::newRow("not hex") << "_xZZZZ_"
                             << "_xZZZZ_";
    QTest::newRow("too short") << "a_x00"
                               << "a_x00";
    QTest::newRow("plain") << "plain_text"
                           << "plain_text";
}

void TestSheetCells::xmlCharEscapes()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(unescapeXmlChars(text), expected);
}

void TestSheetCells::errorCodes()
{
    QCOMPARE(errorText(0x07), QStringLiteral("#DIV/0!"));
    QCOMPARE(errorText(0x2A), QStringLiteral("#N/A"));
    QCOMPARE(errorText(0x0F), QStringLiteral("#VALUE!"));
    QCOMPARE(errorText(0x99), QStringLiteral("#ERROR!"));
}

void TestSheetCells::singleStreamFileReadsBack_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("expectedStreamSize");
    QTest::newRow("small stream padded out of the mini stream") << 100 << 4096;
    QTest::newRow("whole sectors") << 8192 << 8192;
    QTest::newRow("part sector") << 10000 << 10240;
    QTest::newRow("several allocation sectors") << 200000 << 200192;
}

void TestSheetCells::singleStreamFileReadsBack()
{
    QFETCH(int, size);
    QFETCH(int, expectedStreamSize);
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char('a' + i % 26);

    const std::optional<QByteArray> file = CompoundFile::withSingleStream(QStringLiteral("Workbook"), data);
    QVERIFY(file);
    const CompoundFile container(*file);
    QVERIFY(container.isValid());
    QCOMPARE(container.streamNames(), QStringList{QStringLiteral("Workbook")});
    QCOMPARE(container.directoryIndex(QStringLiteral("workbook")), std::optional<int>(1));
    QVERIFY(!container.isInMiniStream(QStringLiteral("Workbook")));
    const std::optional<QByteArray> stream = container.readStream(QStringLiteral("Workbook"));
    QVERIFY(stream);
    QCOMPARE(stream->size(), expectedStreamSize);
    QCOMPARE(stream->left(size), data);
    QCOMPARE(stream->mid(size), QByteArray(expectedStreamSize - size, '\0'));
}

void TestSheetCells::damagedContainers_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<int>("truncateTo");
    QTest::newRow("intact") << -1 << 0u << -1;
    QTest::newRow("cut inside the header") << -1 << 0u << 300;
    QTest::newRow("byte order mark") << 0x1C << 0x1234u << -1;
    QTest::newRow("sector size") << 0x1E << 0x0007u << -1;
    QTest::newRow("allocation sector count") << 0x2C << 0xFFFFFFu << -1;
    QTest::newRow("directory beyond the file") << 0x30 << 0xFFFFFF00u << -1;
    QTest::newRow("allocation sector beyond the file") << 0x4C << 0x00FFFFFFu << -1;
}

void TestSheetCells::damagedContainers()
{
    QFETCH(int, offset);
    QFETCH(quint32, value);
    QFETCH(int, truncateTo);
    QFile file(QStringLiteral(SHEET_DATA_DIR "/contacts.xls"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    if (offset >= 0) {
        if (offset == 0x1C || offset == 0x1E)
            qToLittleEndian(quint16(value), bytes.data() + offset);
        else
            qToLittleEndian(value, bytes.data() + offset);
    }
    if (truncateTo >= 0)
        bytes.truncate(truncateTo);

    const CompoundFile container(bytes);
    const bool intact = offset < 0 && truncateTo < 0;
    QCOMPARE(container.isValid(), intact);
    QCOMPARE(container.readStream(QStringLiteral("Workbook")).has_value(), intact);
}

QTEST_GUILESS_MAIN(TestSheetCells)
#include "tst_sheetcells.moc"

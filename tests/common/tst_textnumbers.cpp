#include "common/TextNumbers.h"

#include <QTest>

class TextNumbersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void numericValue_data();
    void numericValue();
    void leadingBlank_data();
    void leadingBlank();
};

void TextNumbersTest::numericValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("whole") << "42" << 42.0;
    QTest::newRow("leading blanks, trailing text") << "   42abc" << 42.0;
    QTest::newRow("tab before") << "\t9" << 9.0;
    QTest::newRow("negative fraction") << "-3.5x" << -3.5;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("blank after sign") << " - 5" << -5.0;
    QTest::newRow("blanks inside the digits") << "1 2 3" << 123.0;
    QTest::newRow("second point ends it") << "1.2.3" << 1.2;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("leading zeros") << "0012" << 12.0;
    QTest::newRow("comma ends it") << "1,000" << 1.0;
    QTest::newRow("no exponent") << "12e3" << 12.0;
    QTest::newRow("letters first") << "abc12" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("two signs") << "--5" << 0.0;
    QTest::newRow("non-latin digits") << QString::fromUtf8("\u0663\u0664") << 0.0;
    QTest::newRow("long mobile number") << "966501234567" << 966501234567.0;
}

void TextNumbersTest::numericValue()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(TextNumbers::numericValue(text), expected);
}

void TextNumbersTest::leadingBlank_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("withBlank");
    QTest::addColumn<QString>("plain");
    QTest::newRow("positive whole") << 42.0 << " 42"
                                    << "42";
    QTest::newRow("negative whole") << -3.0 << "-3"
                                    << "-3";
    QTest::newRow("zero") << 0.0 << " 0"
                          << "0";
    QTest::newRow("negative zero") << -0.0 << " 0"
                                   << "0";
    QTest::newRow("whole from double") << 5.0 << " 5"
                                       << "5";
    QTest::newRow("fraction") << 2.5 << " 2.5"
                              << "2.5";
    QTest::newRow("negative fraction") << -0.25 << "-0.25"
                                       << "-0.25";
    QTest::newRow("large whole, no exponent") << 1234567890123.0 << " 1234567890123"
                                              << "1234567890123";
    QTest::newRow("counter above 32 bits") << 4294967296.0 << " 4294967296"
                                           << "4294967296";
}

void TextNumbersTest::leadingBlank()
{
    QFETCH(double, value);
    QFETCH(QString, withBlank);
    QFETCH(QString, plain);
    QCOMPARE(TextNumbers::withLeadingBlank(value), withBlank);
    QCOMPARE(TextNumbers::plain(value), plain);
}

QTEST_GUILESS_MAIN(TextNumbersTest)
#include "tst_textnumbers.moc"

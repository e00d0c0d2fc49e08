#include "common/TextNumbers.h"

#include <QTest>

using namespace Qt::StringLiterals;

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
    QTest::newRow("empty") << u""_s << 0.0;
    QTest::newRow("leading blanks, trailing text") << u"   42abc"_s << 42.0;
    QTest::newRow("tab before") << u"\t9"_s << 9.0;
    QTest::newRow("negative fraction") << u"-3.5x"_s << -3.5;
    QTest::newRow("plus sign") << u"+7"_s << 7.0;
    QTest::newRow("blank after sign") << u" - 5"_s << -5.0;
    QTest::newRow("blanks inside the digits") << u"1 2 3"_s << 123.0;
    QTest::newRow("second point ends it") << u"1.2.3"_s << 1.2;
    QTest::newRow("point first") << u".5"_s << 0.5;
    QTest::newRow("leading zeros") << u"0012"_s << 12.0;
    QTest::newRow("comma ends it") << u"1,000"_s << 1.0;
    QTest::newRow("no exponent") << u"12e3"_s << 12.0;
    QTest::newRow("letters first") << u"abc12"_s << 0.0;
    QTest::newRow("point only") << u"."_s << 0.0;
    QTest::newRow("sign only") << u"-"_s << 0.0;
    QTest::newRow("two signs") << u"--5"_s << 0.0;
    QTest::newRow("non-latin digits") << u"\u0663\u0664"_s << 0.0;
    QTest::newRow("long mobile number") << u"966501234567"_s << 966501234567.0;
}

void TextNumbersTest::numericValue()
{
    QFETCH(QString, text);
    QTEST(TextNumbers::numericValue(text), "expected");
}

void TextNumbersTest::leadingBlank_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("withBlank");
    QTest::newRow("positive whole") << 42.0 << u" 42"_s;
    QTest::newRow("negative whole") << -3.0 << u"-3"_s;
    QTest::newRow("zero") << 0.0 << u" 0"_s;
    QTest::newRow("negative zero") << -0.0 << u" 0"_s;
    QTest::newRow("fraction") << 2.5 << u" 2.5"_s;
    QTest::newRow("negative fraction") << -0.25 << u"-0.25"_s;
    QTest::newRow("large whole, no exponent") << 1234567890123.0 << u" 1234567890123"_s;
    QTest::newRow("counter above 32 bits") << 4294967296.0 << u" 4294967296"_s;
}

void TextNumbersTest::leadingBlank()
{
    QFETCH(double, value);
    QFETCH(QString, withBlank);
    QCOMPARE(TextNumbers::withLeadingBlank(value), withBlank);
    // Without it, the same digits.
    QCOMPARE(TextNumbers::plain(value), withBlank.startsWith(u' ') ? withBlank.mid(1) : withBlank);
}

QTEST_GUILESS_MAIN(TextNumbersTest)
#include "tst_textnumbers.moc"

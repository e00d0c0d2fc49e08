#include "common/ControlText.h"
#include "common/DateFormat.h"
#include "common/KeyFilters.h"
#include "common/TextNumbers.h"

#include <QTest>

using namespace Qt::StringLiterals;

class CommonTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void numericValue_data()
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
        QTest::newRow("comma ends it") << u"1,000"_s << 1.0;
        QTest::newRow("no exponent") << u"12e3"_s << 12.0;
        QTest::newRow("letters first") << u"abc12"_s << 0.0;
        QTest::newRow("point only") << u"."_s << 0.0;
        QTest::newRow("sign only") << u"-"_s << 0.0;
        QTest::newRow("two signs") << u"--5"_s << 0.0;
        QTest::newRow("non-latin digits") << u"\u0663\u0664"_s << 0.0;
        QTest::newRow("long mobile number") << u"966501234567"_s << 966501234567.0;
    }
    void numericValue()
    {
        QFETCH(QString, text);
        QTEST(TextNumbers::numericValue(text), "expected");
    }
    void leadingBlank_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("withBlank");
        QTest::newRow("positive whole") << 42.0 << u" 42"_s;
        QTest::newRow("negative whole") << -3.0 << u"-3"_s;
        QTest::newRow("zero") << 0.0 << u" 0"_s;
        QTest::newRow("negative zero") << -0.0 << u" 0"_s;
        QTest::newRow("fraction") << 2.5 << u" 2.5"_s;
        QTest::newRow("negative fraction") << -0.25 << u"-0.25"_s;
        QTest::newRow("counter above 32 bits") << 4294967296.0 << u" 4294967296"_s;
    }
    void leadingBlank()
    {
        QFETCH(double, value);
        QFETCH(QString, withBlank);
        QCOMPARE(TextNumbers::withLeadingBlank(value), withBlank);
        QCOMPARE(TextNumbers::plain(value), withBlank.startsWith(u' ') ? withBlank.mid(1) : withBlank);
    }
    void format_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        const QDateTime jan5(QDate(2024, 1, 5), QTime(14, 3, 9));
        const QDateTime dec31(QDate(2024, 12, 31), QTime(23, 59, 59));
        const QDateTime midnight(QDate(2023, 3, 1), QTime(0, 0, 0));
        const QDateTime leapMarch(QDate(2024, 3, 1), QTime(9, 5, 7));

        // Queue time stamps: "yyy" is the two-digit year followed by the day of the year.
        QTest::newRow("queue stamp, 5 Jan") << jan5 << u"ddmmyyyHHMMSS"_s << u"0501245140309"_s;
        QTest::newRow("queue stamp, 31 Dec, leap year")
            << dec31 << u"ddmmyyyHHMMSS"_s << u"311224366235959"_s;
        QTest::newRow("sheet stamp") << jan5 << u"DDMMYYYYHHMMSS"_s << u"05012024140309"_s;
        QTest::newRow("console time") << jan5 << u"HH:MM:SS"_s << u"14:03:09"_s;
        QTest::newRow("console time, midnight") << midnight << u"HH:MM:SS"_s << u"00:00:00"_s;
        QTest::newRow("month before day") << jan5 << u"mm/dd"_s << u"01/05"_s;
        QTest::newRow("minute right after hour") << jan5 << u"HHmm"_s << u"1403"_s;
        QTest::newRow("n is always the minute") << jan5 << u"nn"_s << u"03"_s;
        QTest::newRow("single letters") << leapMarch << u"d/m/yy h:n:s"_s << u"1/3/24 9:5:7"_s;
        QTest::newRow("day of year, common year") << midnight << u"y"_s << u"60"_s;
        QTest::newRow("day of year, leap year") << leapMarch << u"y"_s << u"61"_s;
        QTest::newRow("other characters copied") << jan5 << u"[dd] #"_s << u"[05] #"_s;
    }
    void format()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, pattern);
        QTEST(DateFormat::format(when, pattern), "expected");
        if (pattern == u"HH:MM:SS")
            QTEST(DateFormat::consoleTime(when), "expected");
    }
    void controlText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::addColumn<QString>("excerpt");
        QTest::newRow("plain") << u"1001 accepted"_s << u"1001 accepted"_s << u"1001 accepted"_s;
        QTest::newRow("line breaks and tabs")
            << u"a\r\nb\tc\nd\re"_s << u"a\r\nb\tc\nd\re"_s << u"a b\tc d e"_s;
        QTest::newRow("escape sequence and bell")
            << u"\x1b[2J\x1b]0;x\x07id"_s << u"\\x1B[2J\\x1B]0;x\\x07id"_s << u"\\x1B[2J\\x1B]0;x\\x07id"_s;
        QTest::newRow("NUL, DEL and C1") << QString(u"a"_s + QChar(0) + u"\x7f\x9b\u00e9"_s)
                                         << u"a\\x00\\x7F\\x9B\u00e9"_s << u"a\\x00\\x7F\\x9B\u00e9"_s;
        QTest::newRow("cut to a short excerpt")
            << QString(300, u'y') << QString(300, u'y') << QString(200, u'y') + u"... (300 characters)"_s;
    }
    void controlText()
    {
        QFETCH(QString, text);
        QTEST(ControlText::escaped(text), "escaped");
        QTEST(ControlText::excerpt(text), "excerpt");
    }
    void keyFilters()
    {
        // Digits, Backspace (8) and Enter (13) pass; their neighbours, a blank, sign, Tab, Escape do not.
        for (int key : std::initializer_list<int>{'0', '5', '9', 8, 13})
            QCOMPARE(KeyFilters::digitsOnly(key), key);
        for (int key : std::initializer_list<int>{'/', ':', 'a', ' ', '+', '\'', '\t', 27})
            QCOMPARE(KeyFilters::digitsOnly(key), KeyFilters::Suppressed);
        QCOMPARE(KeyFilters::upperCaseKey('\''), KeyFilters::Suppressed);
        for (int key : std::initializer_list<int>{'a', 'm', 'z'})
            QCOMPARE(KeyFilters::upperCaseKey(key), key - 'a' + 'A');
        // Upper case, the neighbours of a..z, digits, other quotes and Backspace stay as they are.
        for (int key : std::initializer_list<int>{'Q', '`', '{', '7', '"', 8})
            QCOMPARE(KeyFilters::upperCaseKey(key), key);
    }
};

QTEST_GUILESS_MAIN(CommonTest)
#include "tst_common.moc"

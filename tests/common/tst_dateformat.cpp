#include "common/DateFormat.h"

#include <QTest>

using namespace Qt::StringLiterals;

class DateFormatTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void format_data();
    void format();
};

void DateFormatTest::format_data()
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
    QTest::newRow("queue stamp, 31 Dec of a leap year")
        << dec31 << u"ddmmyyyHHMMSS"_s << u"311224366235959"_s;
    QTest::newRow("sheet stamp") << jan5 << u"DDMMYYYYHHMMSS"_s << u"05012024140309"_s;
    QTest::newRow("sheet stamp, midnight") << midnight << u"DDMMYYYYHHMMSS"_s << u"01032023000000"_s;
    QTest::newRow("console time") << jan5 << u"HH:MM:SS"_s << u"14:03:09"_s;
    QTest::newRow("console time, midnight") << midnight << u"HH:MM:SS"_s << u"00:00:00"_s;
    QTest::newRow("ledger time") << jan5 << u"dd-mm-yyyy hh:mm:ss"_s << u"05-01-2024 14:03:09"_s;
    QTest::newRow("sortable date") << dec31 << u"yyyymmdd"_s << u"20241231"_s;
    QTest::newRow("month before day") << jan5 << u"mm/dd"_s << u"01/05"_s;
    QTest::newRow("minute right after hour") << jan5 << u"HHmm"_s << u"1403"_s;
    QTest::newRow("n is always the minute") << jan5 << u"nn"_s << u"03"_s;
    QTest::newRow("single letters") << leapMarch << u"d/m/yy h:n:s"_s << u"1/3/24 9:5:7"_s;
    QTest::newRow("day of year, common year") << midnight << u"y"_s << u"60"_s;
    QTest::newRow("day of year, leap year") << leapMarch << u"y"_s << u"61"_s;
    QTest::newRow("other characters copied") << jan5 << u"[dd] #"_s << u"[05] #"_s;
}

void DateFormatTest::format()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, pattern);
    QTEST(DateFormat::format(when, pattern), "expected");
    if (pattern == u"HH:MM:SS")
        QTEST(DateFormat::consoleTime(when), "expected");
}

QTEST_GUILESS_MAIN(DateFormatTest)
#include "tst_dateformat.moc"

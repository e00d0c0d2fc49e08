#include "common/DateFormat.h"

#include <QTest>

class DateFormatTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void format_data();
    void format();
    void consoleTime();
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
    QTest::newRow("queue stamp, 5 Jan") << jan5 << "ddmmyyyHHMMSS"
                                        << "0501245140309";
    QTest::newRow("queue stamp, 31 Dec of a leap year") << dec31 << "ddmmyyyHHMMSS"
                                                        << "311224366235959";
    QTest::newRow("sheet stamp") << jan5 << "DDMMYYYYHHMMSS"
                                 << "05012024140309";
    QTest::newRow("sheet stamp, midnight") << midnight << "DDMMYYYYHHMMSS"
                                           << "01032023000000";
    QTest::newRow("console time") << jan5 << "HH:MM:SS"
                                  << "14:03:09";
    QTest::newRow("console time, midnight") << midnight << "HH:MM:SS"
                                            << "00:00:00";
    QTest::newRow("ledger time") << jan5 << "dd-mm-yyyy hh:mm:ss"
                                 << "05-01-2024 14:03:09";
    QTest::newRow("sortable date") << dec31 << "yyyymmdd"
                                   << "20241231";
    QTest::newRow("month before day") << jan5 << "mm/dd"
                                      << "01/05";
    QTest::newRow("minute right after hour") << jan5 << "HHmm"
                                             << "1403";
    QTest::newRow("n is always the minute") << jan5 << "nn"
                                            << "03";
    QTest::newRow("single letters") << leapMarch << "d/m/yy h:n:s"
                                    << "1/3/24 9:5:7";
    QTest::newRow("day of year, common year") << midnight << "y"
                                              << "60";
    QTest::newRow("day of year, leap year") << leapMarch << "y"
                                            << "61";
    QTest::newRow("other characters copied") << jan5 << "[dd] #"
                                             << "[05] #";
}

void DateFormatTest::format()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(DateFormat::format(when, pattern), expected);
}

void DateFormatTest::consoleTime()
{
    QCOMPARE(DateFormat::consoleTime(QDateTime(QDate(2024, 6, 30), QTime(7, 8, 9))),
             QStringLiteral("07:08:09"));
}

QTEST_GUILESS_MAIN(DateFormatTest)
#include "tst_dateformat.moc"

#include "common/KeyFilters.h"

#include <QTest>

class KeyFiltersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void digitsOnly_data();
    void digitsOnly();
    void upperCaseKey_data();
    void upperCaseKey();
};

void KeyFiltersTest::digitsOnly_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::newRow("0") << int('0') << int('0');
    QTest::newRow("5") << int('5') << int('5');
    QTest::newRow("9") << int('9') << int('9');
    QTest::newRow("Backspace") << 8 << 8;
    QTest::newRow("Enter") << 13 << 13;
    QTest::newRow("just below 0: /") << int('/') << KeyFilters::Suppressed;
    QTest::newRow("just above 9: colon") << int(':') << KeyFilters::Suppressed;
    QTest::newRow("letter") << int('a') << KeyFilters::Suppressed;
    QTest::newRow("blank") << int(' ') << KeyFilters::Suppressed;
    QTest::newRow("plus") << int('+') << KeyFilters::Suppressed;
    QTest::newRow("apostrophe") << 39 << KeyFilters::Suppressed;
    QTest::newRow("Tab") << 9 << KeyFilters::Suppressed;
    QTest::newRow("Escape") << 27 << KeyFilters::Suppressed;
}

void KeyFiltersTest::digitsOnly()
{
    QFETCH(int, key);
    QFETCH(int, expected);
    QCOMPARE(KeyFilters::digitsOnly(key), expected);
}

void KeyFiltersTest::upperCaseKey_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::newRow("apostrophe") << 39 << KeyFilters::Suppressed;
    QTest::newRow("a") << int('a') << int('A');
    QTest::newRow("m") << int('m') << int('M');
    QTest::newRow("z") << int('z') << int('Z');
    QTest::newRow("already upper") << int('Q') << int('Q');
    QTest::newRow("backquote below a") << int('`') << int('`');
    QTest::newRow("brace above z") << int('{') << int('{');
    QTest::newRow("digit") << int('7') << int('7');
    QTest::newRow("double quote") << int('"') << int('"');
    QTest::newRow("Backspace") << 8 << 8;
}

void KeyFiltersTest::upperCaseKey()
{
    QFETCH(int, key);
    QFETCH(int, expected);
    QCOMPARE(KeyFilters::upperCaseKey(key), expected);
}

QTEST_GUILESS_MAIN(KeyFiltersTest)
#include "tst_keyfilters.moc"

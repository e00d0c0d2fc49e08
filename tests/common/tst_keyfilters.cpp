#include "common/KeyFilters.h"

#include <QTest>

class KeyFiltersTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void digitsOnly();
    void upperCaseKey();
};

void KeyFiltersTest::digitsOnly()
{
    // Digits, Backspace (8) and Enter (13) pass.
    for (int key : std::initializer_list<int>{'0', '5', '9', 8, 13})
        QCOMPARE(KeyFilters::digitsOnly(key), key);
    // The neighbours of the digits, letters, blank, sign, apostrophe, Tab, Escape do not.
    for (int key : std::initializer_list<int>{'/', ':', 'a', ' ', '+', '\'', '\t', 27})
        QCOMPARE(KeyFilters::digitsOnly(key), KeyFilters::Suppressed);
}

void KeyFiltersTest::upperCaseKey()
{
    QCOMPARE(KeyFilters::upperCaseKey('\''), KeyFilters::Suppressed);
    for (int key : std::initializer_list<int>{'a', 'm', 'z'})
        QCOMPARE(KeyFilters::upperCaseKey(key), key - 'a' + 'A');
    // Upper case, the neighbours of a..z, digits, other quotes and Backspace stay as they are.
    for (int key : std::initializer_list<int>{'Q', '`', '{', '7', '"', 8})
        QCOMPARE(KeyFilters::upperCaseKey(key), key);
}

QTEST_GUILESS_MAIN(KeyFiltersTest)
#include "tst_keyfilters.moc"

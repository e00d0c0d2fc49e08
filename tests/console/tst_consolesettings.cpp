#include "common/SettingsKeys.h"
#include "console/ConsoleSettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestConsoleSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startValue_data();
    void startValue();
    void channel_data();
    void channel();
    void writesWhereOthersRead();
    void platformStoreUsesApplicationName();

private:
    // A settings file of the current data row holding the value, if any.
    QString settingsFileWith(const QString& key, const QVariant& value)
    {
        const QString file = m_dir.filePath(key + QTest::currentDataTag() + QStringLiteral(".ini"));
        if (value.isValid())
            QSettings(file, QSettings::IniFormat).setValue(QStringLiteral("AutoStartService/") + key, value);
        return file;
    }
    QTemporaryDir m_dir;
};

void TestConsoleSettings::startValue_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("value");

    QTest::newRow("missing") << QVariant() << 0;
    QTest::newRow("1") << QVariant("1") << 1;
    QTest::newRow("0") << QVariant("0") << 0;
    QTest::newRow("empty") << QVariant("") << 0;
    QTest::newRow("not a number") << QVariant("True") << 0;
    QTest::newRow("blanks around") << QVariant("  1  ") << 1;
    QTest::newRow("number then text") << QVariant("1 (on)") << 1;
    QTest::newRow("negative") << QVariant("-1") << -1;
    QTest::newRow("huge") << QVariant("99999999999999999999") << 0;
}

void TestConsoleSettings::startValue()
{
    QFETCH(QVariant, stored);
    QFETCH(int, value);

    ConsoleSettings settings(settingsFileWith(QStringLiteral("Start"), stored));
    QCOMPARE(settings.autoStartValue(), value);
    QCOMPARE(settings.autoStart(), value == 1);
}

void TestConsoleSettings::channel_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("gsm");

    QTest::newRow("missing") << QVariant() << false;
    QTest::newRow("GSM") << QVariant("GSM") << true;
    QTest::newRow("INT") << QVariant("INT") << false;
    QTest::newRow("lower case") << QVariant("gsm") << false;
    QTest::newRow("with a blank") << QVariant("GSM ") << false;
    QTest::newRow("anything else") << QVariant("MODEM") << false;
}

void TestConsoleSettings::channel()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, gsm);

    QCOMPARE(ConsoleSettings(settingsFileWith(QStringLiteral("Divice"), stored)).gsmChannel(), gsm);
}

void TestConsoleSettings::writesWhereOthersRead()
{
    const QString file = m_dir.filePath(QStringLiteral("written.ini"));
    ConsoleSettings settings(file);
    const QList<std::tuple<bool, bool, QString, QString>> steps = {
        {true, true, "1", "GSM"},
        {false, false, "0", "INT"},
        {true, false, "1", "INT"},
    };
    for (const auto& [start, gsm, startText, deviceText] : steps) {
        settings.setAutoStart(start);
        settings.setGsmChannel(gsm);
        // Written at once, as text, where a second reader finds it.
        QSettings raw(file, QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("AutoStartService/Start")).toString(), startText);
        QCOMPARE(raw.value(QStringLiteral("AutoStartService/Divice")).toString(), deviceText);
        QCOMPARE(ConsoleSettings(file).autoStart(), start);
        QCOMPARE(ConsoleSettings(file).gsmChannel(), gsm);
    }
}

void TestConsoleSettings::platformStoreUsesApplicationName()
{
    // The per-user store, moved into a temporary folder.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("user")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("user")));
    ConsoleSettings settings;
    settings.setGsmChannel(true);
    QVERIFY2(settings.location().startsWith(m_dir.filePath(QStringLiteral("user"))),
             qPrintable(settings.location()));
    QVERIFY2(settings.location().contains(QStringLiteral("GarvelloSMSEng")), qPrintable(settings.location()));
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, SettingsKeys::Organization,
                  QStringLiteral("GarvelloSMSEng"));
    QCOMPARE(raw.value(QStringLiteral("AutoStartService/Divice")).toString(), QStringLiteral("GSM"));
}

QTEST_GUILESS_MAIN(TestConsoleSettings)
#include "tst_consolesettings.moc"

// Which serial device the modem is on: the port number's device, and the
// overrides by environment and per-user setting.

#include "channels/ModemDevicePath.h"

#include <QStandardPaths>
#include <QTest>

class TestModemDevicePath : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void portNumber_data();
    void portNumber();
    void overrides_data();
    void overrides();
};

void TestModemDevicePath::initTestCase()
{
    // Settings go to a test folder, never to the user's own.
    QStandardPaths::setTestModeEnabled(true);
}

void TestModemDevicePath::init()
{
    qunsetenv(ModemDevicePath::EnvironmentVariable);
    ModemDevicePath::setConfiguredDevice(QString());
}

void TestModemDevicePath::cleanup()
{
    init();
}

void TestModemDevicePath::portNumber_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::newRow("port 1 is the first serial port") << 1 << "/dev/ttyS0";
    QTest::newRow("port 3") << 3 << "/dev/ttyS2";
    QTest::newRow("two-digit port") << 16 << "/dev/ttyS15";
    QTest::newRow("port 0 names no device") << 0 << "";
    QTest::newRow("negative port names no device") << -4 << "";
}

void TestModemDevicePath::portNumber()
{
    QFETCH(int, port);
    QFETCH(QString, device);
    QCOMPARE(ModemDevicePath::forPortNumber(static_cast<qint16>(port)), device);
    QCOMPARE(ModemDevicePath::resolve(static_cast<qint16>(port)), device);
}

void TestModemDevicePath::overrides_data()
{
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("device");
    QTest::newRow("neither: the port number") << ""
                                              << ""
                                              << "/dev/ttyS1";
    QTest::newRow("setting") << ""
                             << "/dev/ttyUSB0"
                             << "/dev/ttyUSB0";
    QTest::newRow("environment") << "/dev/pts/7"
                                 << ""
                                 << "/dev/pts/7";
    QTest::newRow("environment before setting") << "/dev/pts/7"
                                                << "/dev/ttyUSB0"
                                                << "/dev/pts/7";
    QTest::newRow("blanks trimmed") << "  /dev/ttyACM0 "
                                    << ""
                                    << "/dev/ttyACM0";
    QTest::newRow("blank environment is not set") << "   "
                                                  << "/dev/ttyUSB1"
                                                  << "/dev/ttyUSB1";
}

void TestModemDevicePath::overrides()
{
    QFETCH(QString, environment);
    QFETCH(QString, setting);
    QFETCH(QString, device);
    if (!environment.isEmpty())
        qputenv(ModemDevicePath::EnvironmentVariable, environment.toLocal8Bit());
    ModemDevicePath::setConfiguredDevice(setting);
    QCOMPARE(ModemDevicePath::resolve(2), device);
}

QTEST_GUILESS_MAIN(TestModemDevicePath)
#include "tst_modemdevicepath.moc"

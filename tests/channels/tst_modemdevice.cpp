// Which serial device the modem is on: the port number's device, and the
// overrides by environment and per-user setting.

#include "channels/ModemDevice.h"

#include <QStandardPaths>
#include <QtTest>

class TestModemDevice : public QObject
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

void TestModemDevice::initTestCase()
{
    // Settings go to a test folder, never to the user's own.
    QStandardPaths::setTestModeEnabled(true);
}

void TestModemDevice::init()
{
    qunsetenv(ModemDevice::EnvironmentVariable);
    ModemDevice::setConfiguredDevice(QString());
}

void TestModemDevice::cleanup()
{
    init();
}

void TestModemDevice::portNumber_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::newRow("port 1 is the first serial port") << 1 << "/dev/ttyS0";
    QTest::newRow("port 3") << 3 << "/dev/ttyS2";
    QTest::newRow("two-digit port") << 16 << "/dev/ttyS15";
    QTest::newRow("port 0 names no device") << 0 << "";
    QTest::newRow("negative port names no device") << -4 << "";
}

void TestModemDevice::portNumber()
{
    QFETCH(int, port);
    QFETCH(QString, device);
    QCOMPARE(ModemDevice::forPortNumber(static_cast<qint16>(port)), device);
    QCOMPARE(ModemDevice::resolve(static_cast<qint16>(port)), device);
}

void TestModemDevice::overrides_data()
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

void TestModemDevice::overrides()
{
    QFETCH(QString, environment);
    QFETCH(QString, setting);
    QFETCH(QString, device);
    if (!environment.isEmpty())
        qputenv(ModemDevice::EnvironmentVariable, environment.toLocal8Bit());
    ModemDevice::setConfiguredDevice(setting);
    QCOMPARE(ModemDevice::resolve(2), device);
}

QTEST_GUILESS_MAIN(TestModemDevice)
#include "tst_modemdevice.moc"

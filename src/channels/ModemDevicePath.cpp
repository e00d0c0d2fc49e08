#include "channels/ModemDevicePath.h"

#include "common/SettingsKeys.h"

#include <QSettings>

namespace ModemDevicePath {

QString forPortNumber(qint16 portNumber)
{
    if (portNumber <= 0)
        return QString();
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}

QString configuredDevice()
{
    const QString fromEnvironment = qEnvironmentVariable(EnvironmentVariable).trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return SettingsKeys::userSettings()
        ->value(SettingsKeys::ModemDevice, SettingsKeys::ModemDeviceDefault)
        .toString()
        .trimmed();
}

QString resolve(qint16 portNumber)
{
    const QString configured = configuredDevice();
    return configured.isEmpty() ? forPortNumber(portNumber) : configured;
}

void setConfiguredDevice(const QString& path)
{
    const auto settings = SettingsKeys::userSettings();
    if (path.trimmed().isEmpty())
        settings->remove(SettingsKeys::ModemDevice);
    else
        settings->setValue(SettingsKeys::ModemDevice, path.trimmed());
    settings->sync();
}

} // namespace ModemDevicePath

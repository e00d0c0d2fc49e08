#include "channels/ModemDevicePath.h"

#include <QSettings>

namespace ModemDevicePath {

namespace {
// The console's settings file: organisation "Telvora Software", application "GarvelloSMSEng".
QSettings userSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Telvora Software"),
                     QStringLiteral("GarvelloSMSEng"));
}
const QString kKey = QStringLiteral("Modem/Device");
} // namespace

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
    return userSettings().value(kKey).toString().trimmed();
}

QString resolve(qint16 portNumber)
{
    const QString configured = configuredDevice();
    return configured.isEmpty() ? forPortNumber(portNumber) : configured;
}

void setConfiguredDevice(const QString& path)
{
    QSettings settings = userSettings();
    if (path.trimmed().isEmpty())
        settings.remove(kKey);
    else
        settings.setValue(kKey, path.trimmed());
    settings.sync();
}

} // namespace ModemDevicePath

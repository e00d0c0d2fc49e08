#include "console/ConsoleSettings.h"

#include "common/SettingsKeys.h"
#include "common/TextNumbers.h"

#include <QSettings>
#include <cmath>
#include <limits>

ConsoleSettings::ConsoleSettings(const QString& iniFile)
    : m_settings(iniFile.isEmpty() ? SettingsKeys::userSettings()
                                   : std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

ConsoleSettings::~ConsoleSettings() = default;

QString ConsoleSettings::read(const QString& key, const QString& fallback) const
{
    m_settings->sync(); // another console session may have written since
    return m_settings->value(SettingsKeys::AutoStartGroup + QLatin1Char('/') + key, fallback).toString();
}

void ConsoleSettings::write(const QString& key, const QString& value)
{
    m_settings->setValue(SettingsKeys::AutoStartGroup + QLatin1Char('/') + key, value);
    m_settings->sync();
}

int ConsoleSettings::autoStartValue() const
{
    const double value =
        TextNumbers::numericValue(read(SettingsKeys::AutoStart, SettingsKeys::AutoStartDefault));
    // Out-of-range text ("1e99") must not overflow the conversion.
    if (!std::isfinite(value) || std::abs(value) > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(std::lround(value));
}

void ConsoleSettings::setAutoStart(bool on)
{
    write(SettingsKeys::AutoStart, on ? QStringLiteral("1") : QStringLiteral("0"));
}

bool ConsoleSettings::gsmChannel() const
{
    return read(SettingsKeys::Device, SettingsKeys::DeviceDefault) == SettingsKeys::DeviceGsm;
}

void ConsoleSettings::setGsmChannel(bool gsm)
{
    write(SettingsKeys::Device, gsm ? SettingsKeys::DeviceGsm : SettingsKeys::DeviceHttp);
}

QString ConsoleSettings::location() const
{
    return m_settings->fileName();
}

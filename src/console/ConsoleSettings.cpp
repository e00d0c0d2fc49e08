#include "console/ConsoleSettings.h"

#include "common/TextNumbers.h"

#include <QSettings>
#include <cmath>
#include <limits>

ConsoleSettings::ConsoleSettings(const QString& iniFile)
    : m_settings(iniFile.isEmpty()
                     ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                   Organization, Application)
                     : std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

ConsoleSettings::~ConsoleSettings() = default;

QString ConsoleSettings::read(const QString& key) const
{
    m_settings->sync(); // another console session may have written since
    return m_settings->value(Group + QLatin1Char('/') + key).toString();
}

void ConsoleSettings::write(const QString& key, const QString& value)
{
    m_settings->setValue(Group + QLatin1Char('/') + key, value);
    m_settings->sync();
}

int ConsoleSettings::autoStartValue() const
{
    const double value = TextNumbers::numericValue(read(StartKey));
    // Out-of-range text ("1e99") must not overflow the conversion.
    if (!std::isfinite(value) || std::abs(value) > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(std::lround(value));
}

void ConsoleSettings::setAutoStart(bool on)
{
    write(StartKey, on ? QStringLiteral("1") : QStringLiteral("0"));
}

bool ConsoleSettings::gsmChannel() const
{
    return read(DeviceKey) == GsmValue;
}

void ConsoleSettings::setGsmChannel(bool gsm)
{
    write(DeviceKey, gsm ? GsmValue : HttpValue);
}

QString ConsoleSettings::location() const
{
    return m_settings->fileName();
}

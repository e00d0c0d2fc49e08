#include "dispatch/ReportHost.h"

#include <QSettings>

namespace ReportHost {

Effective effective()
{
    const QString env = qEnvironmentVariable(qPrintable(EnvironmentVariable)).trimmed();
    if (!env.isEmpty())
        return {env, Source::Environment};
    const QString setting = stored();
    if (!setting.isEmpty())
        return {setting, Source::Setting};
    return {Default, Source::Default};
}

QString resolve()
{
    return effective().host;
}

QString stored()
{
    return SettingsKeys::userSettings()->value(SettingKey).toString().trimmed();
}

bool store(const QString& host)
{
    const auto s = SettingsKeys::userSettings();
    s->setValue(SettingKey, host.trimmed());
    s->sync();
    return s->status() == QSettings::NoError;
}

QString settingsFile()
{
    return SettingsKeys::userSettings()->fileName();
}

bool polledFor(const QString& sendUrl, const QString& host)
{
    return !host.isEmpty() && sendUrl.contains(host, Qt::CaseSensitive);
}

} // namespace ReportHost

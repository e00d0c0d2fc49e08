#include "dispatch/ReportHost.h"

#include <QSettings>

namespace ReportHost {

namespace {
QSettings settings()
{
    return QSettings(QStringLiteral("Telvora Software"), QStringLiteral("GarvelloSMSEng"));
}
} // namespace

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
    return settings().value(SettingKey).toString().trimmed();
}

bool store(const QString& host)
{
    QSettings s = settings();
    s.setValue(SettingKey, host.trimmed());
    s.sync();
    return s.status() == QSettings::NoError;
}

QString settingsFile()
{
    return settings().fileName();
}

bool polledFor(const QString& sendUrl, const QString& host)
{
    return !host.isEmpty() && sendUrl.contains(host, Qt::CaseSensitive);
}

} // namespace ReportHost

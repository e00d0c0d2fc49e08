#include "dispatch/ReportHost.h"

#include <QSettings>

namespace ReportHost {

namespace {
QSettings settings()
{
    return QSettings(QStringLiteral("Telvora Software"), QStringLiteral("GarvelloSMSEng"));
}
} // namespace

QString resolve()
{
    const QString env = qEnvironmentVariable("SMSENGINE_REPORT_HOST").trimmed();
    if (!env.isEmpty())
        return env;
    const QString stored = settings().value(QStringLiteral("Engine/ReportHost")).toString().trimmed();
    return stored.isEmpty() ? Default : stored;
}

void store(const QString& host)
{
    settings().setValue(QStringLiteral("Engine/ReportHost"), host.trimmed());
}

} // namespace ReportHost

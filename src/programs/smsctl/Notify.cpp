#include "programs/smsctl/Notify.h"

#include <systemd/sd-daemon.h>

namespace Notify {

void ready(const QString& status)
{
    sd_notify(0, QStringLiteral("READY=1\nSTATUS=%1").arg(status).toUtf8().constData());
}

void watchdog()
{
    sd_notify(0, "WATCHDOG=1");
}

void stopping()
{
    sd_notify(0, "STOPPING=1");
}

qint64 watchdogMs()
{
    uint64_t usec = 0;
    return sd_watchdog_enabled(0, &usec) > 0 ? static_cast<qint64>(usec / 1000) : 0;
}

} // namespace Notify

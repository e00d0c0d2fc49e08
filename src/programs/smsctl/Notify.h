#pragma once

#include <QString>
#include <QtGlobal>

// What `smsctl run` tells systemd when it runs as a Type=notify service.
// Outside a service (no NOTIFY_SOCKET) every call does nothing.
namespace Notify {

void ready(const QString& status);
void watchdog();
void stopping();
// The watchdog period systemd expects pings within, in milliseconds; 0 when
// there is no watchdog.
qint64 watchdogMs();

} // namespace Notify

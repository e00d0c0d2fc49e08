#pragma once

#include <QString>
#include <memory>

class QSettings;

// Every per-user setting of the engine and its console, in one place so that
// the console, the report poll and the modem read and write the same file
// under the same names. The names are those earlier installations wrote;
// they must not change (not even the spelling of "Divice").
namespace SettingsKeys {

inline const QString Organization = QStringLiteral("Telvora Software");
inline const QString Application = QStringLiteral("GarvelloSMSEng");

// The console's group: auto-start and the channel last chosen.
inline const QString AutoStartGroup = QStringLiteral("AutoStartService");
inline const QString AutoStart = QStringLiteral("Start");
inline const QString AutoStartDefault = QStringLiteral("0"); // off
inline const QString Device = QStringLiteral("Divice");
inline const QString DeviceGsm = QStringLiteral("GSM");
inline const QString DeviceHttp = QStringLiteral("INT");
inline const QString DeviceDefault = DeviceHttp;

// The report's column widths as the operator left them, per list kind and caption.
inline const QString ReportColumns = QStringLiteral("Report/Columns");

// The host of the gateway that delivers reports.
inline const QString ReportHost = QStringLiteral("Engine/ReportHost");
inline const QString ReportHostDefault = QStringLiteral("127.0.0.1");

// The modem's serial device; empty: the device of the stored port number.
inline const QString ModemDevice = QStringLiteral("Modem/Device");
inline const QString ModemDeviceDefault;

// Server mode, several engines on one queue: how long a claimed row stays
// with the engine that took it (seconds; a few times the modem's 50 s bound),
// how many failed sends give a row up, and the pause after a row's first
// failed send (seconds; the n-th failure waits n times as long).
inline const QString ServerLease = QStringLiteral("Server/LeaseSeconds");
constexpr int ServerLeaseDefault = 180;
inline const QString ServerFailureBound = QStringLiteral("Server/FailureBound");
constexpr int ServerFailureBoundDefault = 10;
inline const QString ServerRetryDelay = QStringLiteral("Server/RetrySeconds");
constexpr double ServerRetryDelayDefault = 30;

// The platform's per-user settings store of the application.
std::unique_ptr<QSettings> userSettings();

} // namespace SettingsKeys

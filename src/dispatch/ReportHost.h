#pragma once

#include "common/SettingsKeys.h"

#include <QString>

// The host of the one gateway that delivers reports: the engine polls
// reports only while the send URL template contains it. The environment
// variable SMSENGINE_REPORT_HOST wins; then the per-user setting
// "Engine/ReportHost" of GarvelloSMSEng; then 127.0.0.1.
namespace ReportHost {

inline const QString& Default = SettingsKeys::ReportHostDefault;
inline const QString EnvironmentVariable = QStringLiteral("SMSENGINE_REPORT_HOST");
inline const QString& SettingKey = SettingsKeys::ReportHost;

enum class Source
{
    Environment,
    Setting,
    Default,
};

struct Effective
{
    QString host;
    Source source = Source::Default;
};

Effective effective();
QString resolve();

// The per-user setting alone, whatever the environment says (empty when unset).
QString stored();
// Writes the per-user setting; false when the settings file cannot be written.
bool store(const QString& host);
// The file that holds the per-user setting.
QString settingsFile();

// True when reports are polled for a profile with this send URL template.
bool polledFor(const QString& sendUrl, const QString& host);

} // namespace ReportHost

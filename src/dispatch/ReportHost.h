#pragma once

#include <QString>

// The host of the one gateway that delivers reports: the engine polls
// reports only while the send URL template contains it. The environment
// variable SMSENGINE_REPORT_HOST wins; then the per-user setting
// "Engine/ReportHost" of GarvelloSMSEng; then 127.0.0.1.
namespace ReportHost {

inline const QString Default = QStringLiteral("127.0.0.1");

QString resolve();
void store(const QString& host);

} // namespace ReportHost

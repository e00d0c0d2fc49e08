#pragma once

#include <QString>

// The program folder: where SMS.db and the drop folders live. It is the
// executable's folder unless SMSENGINE_HOME names another one, or a caller
// (smsctl --home) sets it explicitly.
namespace ProgramHome {

QString path();
void setOverride(const QString& folder);
QString filePath(const QString& relative);

} // namespace ProgramHome

#pragma once

#include <QString>
#include <QStringList>

// The program folder: where SMS.db and the drop folders live.
//
// In this order: the folder a caller sets (smsctl --home), SMSENGINE_HOME,
// the executable's folder when it already holds SMS.db (a portable copy or
// a build tree), the per-user data folder (~/.local/share/smsengine) when the
// executable is the installed one, and otherwise the executable's folder.
// An installed program never writes beside itself (/usr/bin).
namespace ProgramHome {

enum class Source
{
    Override,
    Environment,
    BesideStore,
    Installed,
    ExecutableFolder
};

struct Choice
{
    QString path;
    Source source = Source::ExecutableFolder;
    // Why this folder, in words for `smsctl init`.
    QString reason() const;
};

// What the folder choice looks at, so that it can be decided for any case.
struct Inputs
{
    QString override;    // --home
    QString environment; // SMSENGINE_HOME
    QString executableFolder;
    QStringList installedFolders; // where `make install` and the package put the programs
    QString userDataFolder;       // ~/.local/share/smsengine
};

Choice choose(const Inputs& inputs);
// The choice for this process.
Choice choice();

QString path();
void setOverride(const QString& folder);
QString filePath(const QString& relative);

} // namespace ProgramHome

#include "common/ProgramHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString& overrideFolder()
{
    static QString folder;
    return folder;
}

QString canonical(const QString& folder)
{
    const QString c = QFileInfo(folder).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : c;
}
} // namespace

namespace ProgramHome {

QString Choice::reason() const
{
    switch (source) {
    case Source::Override:
        return QStringLiteral("given with --home");
    case Source::Environment:
        return QStringLiteral("given by the environment variable SMSENGINE_HOME");
    case Source::BesideStore:
        return QStringLiteral(
            "the executable's folder already holds SMS.db (a portable copy or a build tree)");
    case Source::Installed:
        return QStringLiteral("the program is installed, so its data goes to the per-user data folder; "
                              "give --home or SMSENGINE_HOME for another one");
    case Source::ExecutableFolder:
        break;
    }
    return QStringLiteral("the executable's folder (a program that is not installed keeps its data beside "
                          "itself)");
}

Choice choose(const Inputs& in)
{
    if (!in.override.isEmpty())
        return {QDir(in.override).absolutePath(), Source::Override};
    if (!in.environment.isEmpty())
        return {QDir(in.environment).absolutePath(), Source::Environment};
    if (QFileInfo::exists(QDir(in.executableFolder).filePath(QStringLiteral("SMS.db"))))
        return {in.executableFolder, Source::BesideStore};
    if (!in.userDataFolder.isEmpty())
        for (const QString& installed : in.installedFolders)
            if (!installed.isEmpty() && canonical(in.executableFolder) == canonical(installed))
                return {in.userDataFolder, Source::Installed};
    return {in.executableFolder, Source::ExecutableFolder};
}

Choice choice()
{
    Inputs in;
    in.override = overrideFolder();
    in.environment = qEnvironmentVariable("SMSENGINE_HOME");
    in.executableFolder = QCoreApplication::applicationDirPath();
    in.installedFolders = {QStringLiteral(SMS_INSTALL_BINDIR), QStringLiteral(SMS_PACKAGE_BINDIR)};
    // Shared by smsengine and smsctl, whatever their application names.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty())
        in.userDataFolder = data + QStringLiteral("/smsengine");
    return choose(in);
}

QString path()
{
    return choice().path;
}

void setOverride(const QString& folder)
{
    overrideFolder() = folder.isEmpty() ? QString() : QDir(folder).absolutePath();
}

QString filePath(const QString& relative)
{
    return QDir(path()).filePath(relative);
}

} // namespace ProgramHome

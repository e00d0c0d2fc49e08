#include "common/ProgramHome.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString& overrideFolder()
{
    static QString folder;
    return folder;
}
} // namespace

namespace ProgramHome {

QString path()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    const QString env = qEnvironmentVariable("SMSENGINE_HOME");
    if (!env.isEmpty())
        return QDir(env).absolutePath();
    return QCoreApplication::applicationDirPath();
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

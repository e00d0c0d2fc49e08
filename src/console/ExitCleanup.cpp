#include "console/ExitCleanup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ExitCleanup {

int deleteQueueLeftovers(const QString& home)
{
    const QDir homeDir(home);
    if (home.isEmpty() || !homeDir.exists())
        return 0;
    int deleted = 0;
    const QFileInfoList folders = homeDir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& folder : folders) {
        if (folder.fileName().compare(QLatin1String("SMSQ"), Qt::CaseInsensitive) != 0)
            continue;
        const QFileInfoList files = QDir(folder.absoluteFilePath()).entryInfoList(QDir::Files);
        for (const QFileInfo& file : files) {
            if (!file.fileName().endsWith(QLatin1String(".sm"), Qt::CaseInsensitive))
                continue;
            if (QFile::remove(file.absoluteFilePath()))
                ++deleted;
        }
    }
    return deleted;
}

} // namespace ExitCleanup

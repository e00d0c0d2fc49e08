#include "core/Startup.h"

#include "core/ModemPortNumber.h"
#include "core/ProfileLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

int StartupResult::exitCode() const
{
    switch (status) {
    case Status::Ready:
    case Status::AlreadyRunning:
        return Startup::ExitOk;
    case Status::LockFailed:
    case Status::StoreUnavailable:
        return Startup::ExitStoreError;
    case Status::ProfileNotFound:
        return Startup::ExitNoDefaultProfile;
    case Status::ProfileFailed:
        return Startup::ExitProfileError;
    }
    return Startup::ExitStoreError;
}

namespace Startup {

QString storePath(const QString& programFolder)
{
    return QDir(programFolder).absoluteFilePath(storeFileName());
}

QStringList restrictStoreToOwner(const QString& storeFile)
{
    QStringList notes;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        const QString path = storeFile + QLatin1String(suffix);
        const QByteArray native = QFile::encodeName(path);
        struct stat st = {};
        if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if ((st.st_mode & (S_IRWXG | S_IRWXO)) == 0)
            continue;
        const mode_t narrowed = st.st_mode & S_IRWXU;
        if (::chmod(native.constData(), narrowed) == 0)
            notes << QStringLiteral("%1 was open to other users; its permissions are now %2 (owner only)")
                         .arg(path)
                         .arg(narrowed, 4, 8, QLatin1Char('0'));
        else
            notes << QStringLiteral("WARNING: %1 holds the gateway passwords and other users may read it "
                                    "(permissions %2); it cannot be restricted to its owner: %3. "
                                    "Run 'chmod 600 %1' as its owner.")
                         .arg(path)
                         .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'))
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return notes;
}

StartupResult run(const QString& programFolder, const Schema::UpgradeProgress& progress)
{
    StartupResult result;
    const QString folder = QDir(programFolder).absolutePath();
    const QString storeFile = storePath(folder);

    // The lock file lives in the program folder: without the folder there is
    // neither a lock nor a store, and nothing is created to make one.
    if (!QFileInfo(folder).isDir()) {
        result.status = StartupResult::Status::StoreUnavailable;
        result.message =
            QStringLiteral("Cannot open the store %1: the folder %2 does not exist").arg(storeFile, folder);
        return result;
    }

    result.lock = std::make_unique<InstanceLock>(folder);
    switch (result.lock->acquire()) {
    case InstanceLock::Result::Acquired:
        break;
    case InstanceLock::Result::HeldByOther:
        result.status = StartupResult::Status::AlreadyRunning;
        result.lock.reset();
        return result;
    case InstanceLock::Result::Failed:
        result.status = StartupResult::Status::LockFailed;
        result.message = result.lock->errorString();
        result.lock.reset();
        return result;
    }

    result.notes = restrictStoreToOwner(storeFile);
    std::unique_ptr<Store> store;
    try {
        store = Store::openFile(storeFile, false);
    } catch (const StoreError& e) {
        result.status = StartupResult::Status::StoreUnavailable;
        result.message = e.text();
        return result;
    }

    const qint16 modemPort = ModemPortNumber::read(*store);
    // A store that cannot be brought up to date is not run half-upgraded: the
    // engine would fail on the missing columns with every message.
    try {
        result.upgrade = Schema::upgradeWithReport(*store, progress);
    } catch (const StoreError& e) {
        result.status = StartupResult::Status::StoreUnavailable;
        result.message = e.text();
        return result;
    }

    auto context = std::make_unique<EngineContext>(std::move(store));
    context->setModemPort(modemPort);
    context->setProgramFolder(folder);
    try {
        context->loadProfile(QString());
    } catch (const ProfileNotFound&) {
        result.status = StartupResult::Status::ProfileNotFound;
        result.message = ProfileLoader::NotFoundMessage;
        return result;
    } catch (const StoreError& e) {
        result.status = StartupResult::Status::ProfileFailed;
        result.message =
            QStringLiteral("Cannot load the default gateway profile from %1: %2").arg(storeFile, e.text());
        return result;
    }

    result.status = StartupResult::Status::Ready;
    result.context = std::move(context);
    return result;
}

} // namespace Startup

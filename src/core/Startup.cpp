#include "core/Startup.h"

#include "core/ModemPortNumber.h"
#include "core/ProfileLoader.h"

#include <QDir>
#include <QFileInfo>

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

#pragma once

#include "core/EngineContext.h"
#include "core/InstanceLock.h"
#include "core/Schema.h"

#include <QString>
#include <QStringList>
#include <memory>

// The result of the engine's start-up: either a ready EngineContext (with the
// instance lock that must be held while the engine runs) or the reason why the
// program ends, with the message to show and the exit status.
struct StartupResult
{
    enum class Status
    {
        Ready,            // context holds the store, the modem port and the default profile
        AlreadyRunning,   // another engine holds this program folder: end silently, status 0
        LockFailed,       // the lock file cannot be made
        StoreUnavailable, // the store cannot be opened, lacks a table the engine needs or cannot be upgraded
        ProfileNotFound,  // no default profile: " Please Call Administrator "
        ProfileFailed,    // the default profile cannot be loaded (Null, bad number, server)
    };

    Status status = Status::StoreUnavailable;
    // What to tell the operator (empty for Ready and AlreadyRunning).
    QString message;
    std::unique_ptr<InstanceLock> lock;
    std::unique_ptr<EngineContext> context;
    // What the upgrade changed on this start.
    Schema::UpgradeReport upgrade;
    // What the administrator should know although the start went on (a
    // store readable by others whose permissions could not be narrowed).
    QStringList notes;

    bool ready() const { return status == Status::Ready; }
    // The process exit status for this outcome.
    int exitCode() const;
};

namespace Startup {

// Exit statuses of the engine program.
constexpr int ExitOk = 0;
constexpr int ExitStoreError = 1;
constexpr int ExitNoDefaultProfile = 3;
constexpr int ExitProfileError = 4;

inline QString storeFileName()
{
    return QStringLiteral("SMS.db");
}
QString storePath(const QString& programFolder);

// Takes read and write access away from the group and others on the store
// and SQLite's side files beside it. Returns one note per file: what was
// narrowed, or why it could not be (the start goes on either way).
QStringList restrictStoreToOwner(const QString& storeFile);

// Start-up, in order: the single-instance lock, the store (never created
// here; narrowed to its owner when others may read it, since it holds the
// gateway passwords), the modem port from GSMSet, the upgrade statements,
// then the default profile. Never throws. progress follows the
// upgrade's statements.
StartupResult run(const QString& programFolder, const Schema::UpgradeProgress& progress = {});

} // namespace Startup

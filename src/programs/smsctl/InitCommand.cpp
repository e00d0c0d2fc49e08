#include "core/Schema.h"
#include "core/Store.h"
#include "programs/smsctl/Commands.h"

#include <QDir>
#include <QFileInfo>

namespace Cli {

// Creates the program folder and the store when missing, completes the schema
// and applies the upgrade; safe to run again on a store in use.
int runInit(Context& context, const QStringList& args)
{
    parse(args, {}, 0, QStringLiteral("init"));

    const QString folder = QDir(context.home).absolutePath();
    context.out << "Program folder " << folder << ": " << context.homeReason << '\n';
    if (!QFileInfo(folder).isDir()) {
        if (QFileInfo::exists(folder))
            throw CommandError(QStringLiteral("%1 is not a folder").arg(folder));
        if (!QDir().mkpath(folder))
            throw CommandError(QStringLiteral("cannot create the program folder %1").arg(folder));
        context.out << "Created the program folder " << folder << '\n';
    }

    const QString path = context.storePath();
    const bool existed = QFileInfo::exists(path);
    std::unique_ptr<Store> store;
    try {
        store = Store::openFile(path, true);
    } catch (const StoreError& e) {
        throw CommandError(e.text());
    }
    bool changed = !existed;
    if (existed)
        context.out << "Store " << path << " exists\n";
    else
        context.out << "Created the store " << path << " (readable by its owner only)\n";

    if (existed && Store::restrictToOwner(path)) {
        context.out << "Restricted the permissions of " << path << " to its owner\n";
        changed = true;
    }

    const QStringList created = Schema::createMissingTables(*store);
    if (!created.isEmpty()) {
        context.out << "Created the tables " << created.join(QStringLiteral(", ")) << '\n';
        changed = true;
    }

    const Schema::UpgradeReport report = Schema::upgradeWithReport(*store, context.upgradeProgress());
    for (const QString& statement : report.structuralChanges()) {
        context.out << "Upgraded: " << statement << '\n';
        changed = true;
    }
    if (report.tryNullsFixed() > 0) {
        context.out << "Upgraded: set Try to 0 in " << report.tryNullsFixed() << " sent messages\n";
        changed = true;
    }
    if (!changed)
        context.out << "The store is up to date\n";
    return ExitOk;
}

} // namespace Cli

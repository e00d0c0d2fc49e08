#include "common/SettingsKeys.h"
#include "core/InstanceLock.h"
#include "core/Store.h"
#include "programs/smsctl/Commands.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSettings>
#include <QSqlQuery>

#include <cerrno>
#include <csignal>

namespace Cli {

namespace {
// The process that holds the engine lock of the folder, 0 when none does.
// Only reads the lock file: taking the lock, even for a moment, could turn
// away an engine that starts at that instant.
qint64 lockHolder(const QString& home)
{
    QLockFile lock(QDir(home).filePath(InstanceLock::fileName()));
    qint64 pid = 0;
    QString host, app;
    if (!lock.getLockInfo(&pid, &host, &app) || pid <= 0)
        return 0;
    // EPERM: alive, only owned by another user (the service's own).
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return 0;
    return pid;
}
} // namespace

// "status [--json]": what an administrator asks first.
int runStatus(Context& context, const QStringList& args)
{
    const Options options = parse(args, {{QStringLiteral("json"), false}}, 0, QStringLiteral("status"));
    const auto store = context.openStore();
    const int queued = store->scalar(QStringLiteral("SELECT count(*) FROM Rsms")).toInt();
    const int pending = store->scalar(QStringLiteral("SELECT count(*) FROM sms WHERE Status = 'P'")).toInt();
    // SDTTm is written as "yyyy-MM-dd HH:mm:ss" local time.
    QJsonObject today{{QStringLiteral("P"), 0}, {QStringLiteral("Y"), 0}, {QStringLiteral("N"), 0}};
    QSqlQuery q = store->query(
        QStringLiteral("SELECT coalesce(Status, ''), count(*) FROM sms WHERE SDTTm >= "
                       "? AND SDTTm < ? GROUP BY 1"),
        {QDate::currentDate().toString(Qt::ISODate), QDate::currentDate().addDays(1).toString(Qt::ISODate)});
    int sentToday = 0;
    while (q.next()) {
        today.insert(q.value(0).toString(), q.value(1).toInt());
        sentToday += q.value(1).toInt();
    }
    const QString profile =
        store->scalar(QStringLiteral("SELECT UName FROM config WHERE Defult = 1 ORDER BY rowid LIMIT 1"))
            .toString();
    const auto settings = SettingsKeys::userSettings();
    settings->beginGroup(SettingsKeys::AutoStartGroup);
    const bool gsm = settings->value(SettingsKeys::Device, SettingsKeys::DeviceDefault).toString() ==
                     SettingsKeys::DeviceGsm;
    const QString channel = gsm ? QStringLiteral("gsm") : QStringLiteral("http");
    const qint64 engine = lockHolder(context.home);

    if (options.has(QStringLiteral("json"))) {
        const QJsonObject status{
            {QStringLiteral("home"), context.home},         {QStringLiteral("queued"), queued},
            {QStringLiteral("pendingReports"), pending},    {QStringLiteral("sentToday"), today},
            {QStringLiteral("engineRunning"), engine != 0}, {QStringLiteral("enginePid"), engine},
            {QStringLiteral("defaultProfile"), profile},    {QStringLiteral("consoleChannel"), channel}};
        context.out << QJsonDocument(status).toJson(QJsonDocument::Indented);
        return ExitOk;
    }
    context.out << "Program folder:   " << context.home << '\n'
                << "Engine:           "
                << (engine ? QStringLiteral("running (process %1)").arg(engine)
                           : QStringLiteral("not running"))
                << '\n'
                << "Queued messages:  " << queued << '\n'
                << "Pending reports:  " << pending << '\n'
                << "Sent today:       " << sentToday << " (delivered "
                << today.value(QStringLiteral("Y")).toInt() << ", not delivered "
                << today.value(QStringLiteral("N")).toInt() << ", report pending "
                << today.value(QStringLiteral("P")).toInt() << ")\n"
                << "Default profile:  " << (profile.isEmpty() ? QStringLiteral("(none)") : profile) << '\n'
                << "Console channel:  " << (gsm ? "GSM modem" : "HTTP gateway") << '\n';
    return ExitOk;
}

} // namespace Cli

#include "channels/ServerQueueClaim.h"

#include "common/SettingsKeys.h"
#include "core/ServerConnection.h"
#include "core/ServerQueueSchema.h"

#include <QDir>
#include <QLoggingCategory>
#include <QSettings>
#include <QSysInfo>

#include <algorithm>

Q_LOGGING_CATEGORY(lcClaim, "sms.channels.claim", QtInfoMsg)

namespace {
// A row that keeps failing is tried at least once an hour until the bound gives it up.
constexpr double kLongestRetrySeconds = 3600;

bool isSqlServer(Store::Dialect dialect)
{
    return dialect == Store::Dialect::SqlServer;
}

// The rows an engine may take: not sent, not given up, not deferred, not
// claimed by a live lease. %1: the lease's limit, %2: now.
QString freeRows(const QString& leaseLimit, const QString& now)
{
    return QStringLiteral(
               "status <> 'Y' AND (status <> 'N' OR FailReason IS NULL) "
               "AND (ClaimTime IS NULL OR ClaimTime < %1) AND (RetryAfter IS NULL OR RetryAfter <= %2)")
        .arg(leaseLimit, now);
}

QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text.simplified();
}
} // namespace

ServerQueueClaim::Settings ServerQueueClaim::Settings::fromUserSettings()
{
    const auto s = SettingsKeys::userSettings();
    Settings settings;
    bool ok = false;
    const int lease = s->value(SettingsKeys::ServerLease).toInt(&ok);
    if (ok && lease > 0)
        settings.leaseSeconds = lease;
    const int bound = s->value(SettingsKeys::ServerFailureBound).toInt(&ok);
    if (ok && bound > 0)
        settings.failureBound = bound;
    const double retry = s->value(SettingsKeys::ServerRetryDelay).toDouble(&ok);
    if (ok && retry >= 0)
        settings.retrySeconds = retry;
    return settings;
}

ServerQueueClaim::ServerQueueClaim(QString engineId, Settings settings)
    : m_engineId(std::move(engineId)), m_settings(settings)
{
}

QString ServerQueueClaim::engineIdFor(const QString& programFolder)
{
    const QString id = QSysInfo::machineHostName() + u':' + QDir::cleanPath(programFolder);
    // The folder's end tells engines apart better than its start.
    return id.size() <= ServerQueueSchema::TextWidth ? id : id.right(ServerQueueSchema::TextWidth);
}

QString ServerQueueClaim::claimStatement(Store::Dialect dialect)
{
    if (isSqlServer(dialect))
        return QStringLiteral(
                   "WITH pick AS (SELECT TOP (1) autono, MobileNo, SmsText, FailCount, ClaimEngine, "
                   "ClaimTime FROM SendSMS WITH (UPDLOCK, READPAST, ROWLOCK) WHERE %1 "
                   "ORDER BY Piority, autono) "
                   "UPDATE pick SET ClaimEngine = ?, ClaimTime = GETDATE() "
                   "OUTPUT inserted.autono, inserted.MobileNo AS mobile, inserted.SmsText AS msg, "
                   "inserted.FailCount")
            .arg(freeRows(QStringLiteral("DATEADD(second, -?, GETDATE())"), QStringLiteral("GETDATE()")));
    return QStringLiteral("WITH pick AS (SELECT autono FROM SendSMS WHERE %1 ORDER BY Piority, autono "
                          "LIMIT 1 FOR UPDATE SKIP LOCKED) "
                          "UPDATE SendSMS SET ClaimEngine = ?, ClaimTime = CURRENT_TIMESTAMP FROM pick "
                          "WHERE SendSMS.autono = pick.autono "
                          "RETURNING SendSMS.autono, SendSMS.MobileNo AS mobile, SendSMS.SmsText AS msg, "
                          "SendSMS.FailCount")
        .arg(freeRows(QStringLiteral("CURRENT_TIMESTAMP - make_interval(secs => ?)"),
                      QStringLiteral("CURRENT_TIMESTAMP")));
}

QString ServerQueueClaim::deferStatement(Store::Dialect dialect)
{
    return QStringLiteral("UPDATE SendSMS SET FailCount = ?, RetryAfter = %1, ClaimEngine = NULL, "
                          "ClaimTime = NULL WHERE autono = ? AND ClaimEngine = ?")
        .arg(isSqlServer(dialect) ? QStringLiteral("DATEADD(millisecond, ?, GETDATE())")
                                  : QStringLiteral("CURRENT_TIMESTAMP + make_interval(secs => ?)"));
}

QString ServerQueueClaim::giveUpStatement(Store::Dialect)
{
    return QStringLiteral(
               "UPDATE SendSMS SET status = '%1', FailCount = ?, FailReason = ?, RetryAfter = NULL, "
               "ClaimEngine = NULL, ClaimTime = NULL WHERE autono = ? AND ClaimEngine = ?")
        .arg(ServerQueueSchema::GivenUpStatus);
}

QString ServerQueueClaim::releaseStatement(Store::Dialect)
{
    return QStringLiteral(
        "UPDATE SendSMS SET ClaimEngine = NULL, ClaimTime = NULL WHERE autono = ? AND ClaimEngine = ?");
}

double ServerQueueClaim::retryDelay(int failures) const
{
    return std::min(m_settings.retrySeconds * std::max(failures, 1), kLongestRetrySeconds);
}

QueueCursor ServerQueueClaim::claim(Store& server) const
{
    QSqlQuery q = server.query(claimStatement(server.dialect()), {m_settings.leaseSeconds, m_engineId});
    if (!q.next())
        return QueueCursor();
    const QSqlRecord r = q.record();
    return QueueCursor::onServerRow(
        Store::field(r, QStringLiteral("autono")).toLongLong(), Store::text(r, QStringLiteral("mobile")),
        Store::text(r, QStringLiteral("msg")), Store::field(r, ServerQueueSchema::FailCount).toInt());
}

QString ServerQueueClaim::afterFailedSend(ServerConnection& server, QueueCursor& cursor,
                                          const QString& answer, AfterFailure* what) const
{
    AfterFailure outcome = AfterFailure::Released;
    QString note;
    Store* store = server.isOpen() ? server.store() : nullptr;
    if (!store) {
        note = QStringLiteral("claim left to its lease: the server connection is closed");
    } else if (oneLine(answer).isEmpty()) {
        store->exec(releaseStatement(store->dialect()), {cursor.key(), m_engineId});
        note = QStringLiteral("released for any engine: the channel gave no answer");
    } else {
        const int failures = cursor.failures() + 1;
        const QString reason = oneLine(answer).left(ServerQueueSchema::TextWidth);
        int changed = 0;
        if (failures >= m_settings.failureBound) {
            changed =
                store->exec(giveUpStatement(store->dialect()), {failures, reason, cursor.key(), m_engineId});
            outcome = AfterFailure::GivenUp;
            note = QStringLiteral("given up after %1 failed sends: status %2")
                       .arg(failures)
                       .arg(ServerQueueSchema::GivenUpStatus);
        } else {
            const double delay = retryDelay(failures);
            const QVariant delayValue =
                isSqlServer(store->dialect()) ? QVariant(qRound64(delay * 1000)) : QVariant(delay);
            changed = store->exec(deferStatement(store->dialect()),
                                  {failures, delayValue, cursor.key(), m_engineId});
            outcome = AfterFailure::Deferred;
            note = QStringLiteral("deferred after failed send %1 of %2, next try in %3 s")
                       .arg(failures)
                       .arg(m_settings.failureBound)
                       .arg(delay);
        }
        if (changed == 0) {
            outcome = AfterFailure::Lost;
            note = QStringLiteral("left alone: its lease ran out and another engine holds it");
        } else if (outcome == AfterFailure::GivenUp) {
            qCCritical(lcClaim).noquote() << "SendSMS row" << cursor.key() << "to"
                                          << cursor.mobile().trimmed() << note << "; last answer:" << reason;
        }
    }
    cursor.close();
    if (what)
        *what = outcome;
    return QStringLiteral("SendSMS row %1 %2").arg(cursor.key()).arg(note);
}

void ServerQueueClaim::release(ServerConnection& server, QueueCursor& cursor) const noexcept
{
    try {
        if (cursor.isOpen() && cursor.isServer() && server.isOpen())
            server.store()->exec(releaseStatement(server.store()->dialect()), {cursor.key(), m_engineId});
    } catch (const std::exception&) {
    }
    cursor.close();
}

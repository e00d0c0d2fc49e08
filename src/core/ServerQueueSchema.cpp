#include "core/ServerQueueSchema.h"

#include <QSqlError>
#include <QSqlQuery>

namespace ServerQueueSchema {

QStringList columnDefinitions(Store::Dialect dialect)
{
    const bool mssql = dialect == Store::Dialect::SqlServer;
    const QString text = QStringLiteral("%1(%2)")
                             .arg(mssql ? QStringLiteral("nvarchar") : QStringLiteral("varchar"))
                             .arg(TextWidth);
    // With time zone on PostgreSQL: engines whose sessions run in different
    // zones still compare one instant.
    const QString time = mssql ? QStringLiteral("datetime") : QStringLiteral("timestamptz");
    return {ClaimEngine + u' ' + text, ClaimTime + u' ' + time, FailCount + QStringLiteral(" integer"),
            RetryAfter + u' ' + time, FailReason + u' ' + text};
}

QStringList ensureColumns(Store& server)
{
    const bool mssql = server.dialect() == Store::Dialect::SqlServer;
    QStringList added;
    for (const QString& definition : columnDefinitions(server.dialect())) {
        const QString name = definition.section(u' ', 0, 0);
        // PostgreSQL folds the unquoted names of the table and its columns to lower case.
        const QVariant present =
            mssql
                ? server.scalar(QStringLiteral("SELECT COL_LENGTH('SendSMS', ?)"), {name})
                : server.scalar(QStringLiteral("SELECT 1 FROM information_schema.columns WHERE table_name = "
                                               "'sendsms' AND column_name = ? AND table_schema = "
                                               "ANY (current_schemas(false))"),
                                {name.toLower()});
        if (!present.isNull())
            continue;
        // IF NOT EXISTS: another engine starting at the same moment may have added it since.
        // Run as it stands, not prepared: PostgreSQL prepares no ALTER TABLE. The text is all constants.
        const QString sql =
            mssql ? QStringLiteral("IF COL_LENGTH('SendSMS', '%1') IS NULL ALTER TABLE SendSMS ADD %2")
                        .arg(name, definition)
                  : QStringLiteral("ALTER TABLE SendSMS ADD COLUMN IF NOT EXISTS %1").arg(definition);
        QSqlQuery alter(server.db());
        if (!alter.exec(sql))
            throw StoreError::fromSql(alter.lastError());
        added << name;
    }
    return added;
}

} // namespace ServerQueueSchema

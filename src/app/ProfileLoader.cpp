#include "app/ProfileLoader.h"

#include "app/ServerConnection.h"
#include "app/Store.h"

#include <QSqlRecord>
#include <limits>

ProfileNotFound::ProfileNotFound(const QString& profileName)
    : StoreError(-10, QStringLiteral("No gateway profile %1").arg(profileName.isEmpty() ? QStringLiteral("marked as default")
                                                                                     : QStringLiteral("named '%1'").arg(profileName))),
      name(profileName)
{
}

namespace ProfileLoader {

namespace {
QString requiredText(const QSqlRecord& r, const QString& column)
{
    const QVariant v = Store::field(r, column);
    if (v.isNull())
        throw StoreError(94, QStringLiteral("Invalid use of Null: config.%1 is empty in the gateway profile").arg(column));
    return v.toString();
}

qint32 requiredNumber(const QSqlRecord& r, const QString& column)
{
    const QVariant v = Store::field(r, column);
    if (v.isNull())
        throw StoreError(94, QStringLiteral("Invalid use of Null: config.%1 is empty in the gateway profile").arg(column));
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok);
    if (!ok)
        throw StoreError(13, QStringLiteral("Type mismatch: config.%1 holds '%2', not a whole number")
                                 .arg(column, v.toString()));
    if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        throw StoreError(6, QStringLiteral("Overflow: config.%1 holds %2").arg(column).arg(n));
    return static_cast<qint32>(n);
}
} // namespace

QString fillBalanceUrl(const QString& balstr, const QString& user, const QString& password)
{
    QString url = balstr;
    url.replace(QStringLiteral("<UName>"), user, Qt::CaseInsensitive);
    url.replace(QStringLiteral("<PassWord>"), password, Qt::CaseSensitive);
    return url;
}

bool httpGatewayFlag(const QString& consrt)
{
    return consrt.trimmed().toUpper() == QStringLiteral("C");
}

bool namesServer(const QString& consrt)
{
    return consrt.trimmed().size() > 2;
}

void load(Store& store, const QString& name, ProfileState& state, ServerConnection& server)
{
    QSqlQuery q = name.isEmpty()
                      ? store.query(QStringLiteral(" select * from config where Defult = 1 "))
                      : store.query(QStringLiteral(" select * from config where UName = ? "), {name});
    if (!q.next())
        throw ProfileNotFound(name);
    const QSqlRecord r = q.record();

    ProfileState next = state;
    next.sendUrl = requiredText(r, QStringLiteral("Provider"));
    next.userName = requiredText(r, QStringLiteral("uname"));
    next.password = requiredText(r, QStringLiteral("Password"));
    next.interval = requiredNumber(r, QStringLiteral("TmInterval"));
    next.smsId = requiredNumber(r, QStringLiteral("Smsid"));
    next.reportUrl = Store::text(r, QStringLiteral("RepoStr"));
    const QString balstr = Store::text(r, QStringLiteral("balstr"));
    if (!balstr.isEmpty())
        next.balanceUrl = fillBalanceUrl(balstr, next.userName, next.password);
    next.gsmSid = Store::text(r, QStringLiteral("GsmSid"));
    next.cdmaSid = Store::text(r, QStringLiteral("CdmaSid"));
    const QString consrt = Store::text(r, QStringLiteral("ConSrt"));
    next.httpGateway = httpGatewayFlag(consrt);
    q.finish();

    if (namesServer(consrt))
        server.open(consrt); // throws with the old state kept
    state = next;
}

} // namespace ProfileLoader

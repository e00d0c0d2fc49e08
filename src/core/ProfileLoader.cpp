#include "core/ProfileLoader.h"

#include "common/LogHandler.h"
#include "core/ServerConnection.h"
#include "core/Store.h"

#include <QSqlRecord>
#include <limits>

ProfileNotFound::ProfileNotFound(const QString& profileName)
    : StoreError(-10, QStringLiteral("No gateway profile %1")
                          .arg(profileName.isEmpty() ? QStringLiteral("marked as default")
                                                     : QStringLiteral("named '%1'").arg(profileName))),
      name(profileName)
{
}

namespace ProfileLoader {

namespace {
QString describe(const QString& profileName)
{
    return profileName.isEmpty() ? QStringLiteral("the default gateway profile")
                                 : QStringLiteral("the gateway profile '%1'").arg(profileName);
}

QVariant requiredValue(const QSqlRecord& r, const QString& column, const QString& profileName)
{
    const QVariant v = Store::field(r, column);
    if (v.isNull())
        throw StoreError(94, QStringLiteral("Invalid use of Null: config.%1 has no value in %2")
                                 .arg(column, describe(profileName)));
    return v;
}

QString requiredText(const QSqlRecord& r, const QString& column, const QString& profileName)
{
    return requiredValue(r, column, profileName).toString();
}

qint32 requiredNumber(const QSqlRecord& r, const QString& column, const QString& profileName)
{
    const QVariant v = requiredValue(r, column, profileName);
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok);
    if (!ok)
        throw StoreError(13, QStringLiteral("Type mismatch: config.%1 holds '%2', not a whole number, in %3")
                                 .arg(column, v.toString(), describe(profileName)));
    if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        throw StoreError(6, QStringLiteral("Overflow: config.%1 holds %2 in %3")
                                .arg(column)
                                .arg(n)
                                .arg(describe(profileName)));
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

QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

QString sendUrlProblem(const QString& sendUrl)
{
    QStringList missing;
    for (const QString& placeholder : {QStringLiteral("<mobile>"), QStringLiteral("<msg>")})
        if (!sendUrl.contains(placeholder, Qt::CaseSensitive))
            missing << placeholder;
    if (missing.isEmpty())
        return QString();
    return QStringLiteral("the send URL %1 has no %2 (letter case counts), so every message would go out "
                          "without its %3")
        .arg(sendUrl, missing.join(QStringLiteral(" and no ")),
             missing.size() == 2                             ? QStringLiteral("number and text")
             : missing.first() == QStringLiteral("<mobile>") ? QStringLiteral("number")
                                                             : QStringLiteral("text"));
}

bool httpGatewayFlag(const QString& consrt)
{
    return trimBlanks(consrt).toUpper() == QStringLiteral("C");
}

bool namesServer(const QString& consrt)
{
    return trimBlanks(consrt).size() > 2;
}

void load(Store& store, const QString& name, ProfileState& state, ServerConnection& server)
{
    // With several default rows the first one stored wins; rowid order makes
    // that the same row on every start.
    QSqlQuery q =
        name.isEmpty()
            ? store.query(QStringLiteral(" select * from config where Defult = 1 order by rowid"))
            : store.query(QStringLiteral(" select * from config where UName = ? order by rowid"), {name});
    if (!q.next())
        throw ProfileNotFound(name);
    const QSqlRecord r = q.record();

    ProfileState next = state;
    next.sendUrl = requiredText(r, QStringLiteral("Provider"), name);
    next.userName = requiredText(r, QStringLiteral("uname"), name);
    next.password = requiredText(r, QStringLiteral("Password"), name);
    LogHandler::addSecret(next.password); // every log line from here on hides it
    next.interval = requiredNumber(r, QStringLiteral("TmInterval"), name);
    next.smsId = requiredNumber(r, QStringLiteral("Smsid"), name);
    next.reportUrl = Store::text(r, QStringLiteral("RepoStr"));
    const QString balstr = Store::text(r, QStringLiteral("balstr"));
    if (!balstr.isEmpty())
        next.balanceUrl = fillBalanceUrl(balstr, next.userName, next.password);
    next.gsmSid = Store::text(r, QStringLiteral("GsmSid"));
    next.cdmaSid = Store::text(r, QStringLiteral("CdmaSid"));
    const QString consrt = Store::text(r, QStringLiteral("ConSrt"));
    next.httpGateway = httpGatewayFlag(consrt);
    q.finish();

    // Only the HTTP gateway fills the template; a profile for the modem alone
    // may carry any send URL.
    if (next.httpGateway) {
        const QString problem = sendUrlProblem(next.sendUrl);
        if (!problem.isEmpty())
            throw StoreError(
                -11, QStringLiteral("Cannot use %1 ('%2'): %3").arg(describe(name), next.userName, problem));
    }

    if (namesServer(consrt))
        server.open(consrt); // throws with the old state kept
    state = next;
}

} // namespace ProfileLoader

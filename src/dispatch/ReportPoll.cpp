#include "dispatch/ReportPoll.h"

#include "common/TextCut.h"
#include "core/Schema.h"
#include "core/Store.h"

#include <QSqlRecord>

QString ReportPoll::reportUrl(const QString& reportTemplate, const QString& messageId)
{
    QString url = reportTemplate;
    url.replace(QStringLiteral("<MassgeID>"), messageId, Qt::CaseSensitive);
    url.remove(QStringLiteral("\r\n"));
    return url;
}

ReportPoll::Outcome ReportPoll::classify(const QString& answer)
{
    if (answer.contains(QStringLiteral("DELIVRD"), Qt::CaseSensitive))
        return Outcome::Delivered;
    if (answer.contains(QStringLiteral("NCPR"), Qt::CaseInsensitive))
        return Outcome::NotDelivered;
    return Outcome::Inconclusive;
}

QString ReportPoll::storedReply(const QString& answer)
{
    return leftWhole(answer, Schema::ReplyWidth);
}

QCoro::Task<ReportPoll::Outcome> ReportPoll::poll(Store& store, QString reportTemplate, Fetch fetch)
{
    // Rows without a message id (modem and bulk rows) are passed over: they
    // can never be asked for and would otherwise hold back every row behind
    // them. A Null Try sorts first ascending and last descending.
    const QString order = m_suffix.isEmpty() ? QStringLiteral(" asc ") : m_suffix;
    QString id;
    QVariant tries;
    {
        QSqlQuery q = store.query(QStringLiteral("select ANS, Try, Mobile from sms where Status = 'P' "
                                                 "and ANS is not null and ANS <> '' order by Try") +
                                  order + QStringLiteral(", SDTTm") + order + QStringLiteral("limit 1"));
        if (!q.next())
            co_return Outcome::NoPendingRow;
        id = q.value(0).toString();
        tries = q.value(1);
    }

    const QString answer = co_await fetch(reportUrl(reportTemplate, id));
    const QString reply = storedReply(answer);

    switch (classify(answer)) {
    case Outcome::Delivered:
        store.exec(QStringLiteral("update sms set Status = 'Y', Reply = ? where ANS = ?"), {reply, id});
        co_return Outcome::Delivered;
    case Outcome::NotDelivered:
        store.exec(QStringLiteral("update sms set Status = 'N', Reply = ? where ANS = ?"), {reply, id});
        co_return Outcome::NotDelivered;
    default:
        break;
    }

    bool flip = false;
    {
        Store::Transaction t(store);
        // Only pending rows are given up: a delivered row stays delivered.
        store.exec(QStringLiteral("update sms set Status = 'N' where Status = 'P' and Try > ?"),
                   {GiveUpAfter});
        if (tries.isNull()) {
            store.exec(QStringLiteral("update sms set Status = 'P', Reply = ? where ANS = ?"), {reply, id});
        } else if (tries.toInt() != CountLimit) {
            store.exec(QStringLiteral("update sms set Try = Try + 1, Reply = ? where ANS = ?"), {reply, id});
            flip = true;
        }
        t.commit();
    }
    if (flip)
        m_suffix = m_suffix.isEmpty() ? QStringLiteral(" desc ") : QString();
    co_return Outcome::Inconclusive;
}

int ReportPoll::recheck(Store& store)
{
    return store.exec(QStringLiteral("update sms set Status = 'P', Try = ? where Status <> 'Y'"),
                      {RecheckTry});
}

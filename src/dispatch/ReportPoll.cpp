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

// Rows without a message id (modem and bulk rows) are passed over: they can
// never be asked for and would otherwise hold back every row behind them. A
// Null Try sorts first ascending and last descending. The test on ANS is
// written as the index ix_sms_poll_asked has it, which holds the rows that
// can be asked for in this order: the pick reads one entry, however many
// rows without a message id the ledger keeps.
QString ReportPoll::pickSql(bool descending)
{
    const QString order = descending ? QStringLiteral(" desc") : QStringLiteral(" asc");
    return QStringLiteral("select ANS, Try, Mobile from sms where Status = 'P' and "
                          "(ANS IS NULL OR ANS = '') = 0 order by Try") +
           order + QStringLiteral(", SDTTm") + order + QStringLiteral(" limit 1");
}

// Only pending rows are given up: a delivered row stays delivered. The index
// on (Status, Try) reaches just the rows it changes.
const QString ReportPoll::GiveUpSql =
    QStringLiteral("update sms set Status = 'N' where Status = 'P' and Try > ?");

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
    QString id;
    QVariant tries;
    {
        const std::optional<QSqlRecord> row = store.firstRowPrepared(pickSql(!m_suffix.isEmpty()));
        if (!row)
            co_return Outcome::NoPendingRow;
        id = row->value(0).toString();
        tries = row->value(1);
    }

    const QString answer = co_await fetch(reportUrl(reportTemplate, id));
    const QString reply = storedReply(answer);

    switch (classify(answer)) {
    case Outcome::Delivered:
        store.execPrepared(QStringLiteral("update sms set Status = 'Y', Reply = ? where ANS = ?"),
                           {reply, id});
        co_return Outcome::Delivered;
    case Outcome::NotDelivered:
        store.execPrepared(QStringLiteral("update sms set Status = 'N', Reply = ? where ANS = ?"),
                           {reply, id});
        co_return Outcome::NotDelivered;
    default:
        break;
    }

    bool flip = false;
    {
        Store::Transaction t(store);
        store.execPrepared(GiveUpSql, {GiveUpAfter});
        if (tries.isNull()) {
            store.execPrepared(QStringLiteral("update sms set Status = 'P', Reply = ? where ANS = ?"),
                               {reply, id});
        } else if (tries.toInt() != CountLimit) {
            store.execPrepared(QStringLiteral("update sms set Try = Try + 1, Reply = ? where ANS = ?"),
                               {reply, id});
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

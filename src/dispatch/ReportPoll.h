#pragma once

#include <QCoroTask>
#include <QString>
#include <functional>

class Store;

// Asks the gateway for the delivery report of one pending ledger row and
// writes the answer into the ledger. Consecutive inconclusive polls alternate
// between the least- and the most-tried pending row.
class ReportPoll
{
public:
    // Fetches a URL and returns the body; throws on failure.
    using Fetch = std::function<QCoro::Task<QString>(QString url)>;

    enum class Outcome
    {
        NoPendingRow,
        Delivered,
        NotDelivered,
        Inconclusive
    };

    static constexpr int GiveUpAfter = 25; // a pending row whose Try is above this: not delivered
    static constexpr int CountLimit = 50;  // Try at this value is not counted further
    static constexpr int RecheckTry = 20;

    // The order suffix: empty or " desc ".
    const QString& orderSuffix() const { return m_suffix; }

    // One poll. reportTemplate holds "<MassgeID>".
    QCoro::Task<Outcome> poll(Store& store, QString reportTemplate, Fetch fetch);

    // Puts every row that is not delivered back into the poll; returns the
    // number of rows changed.
    static int recheck(Store& store);

    static QString reportUrl(const QString& reportTemplate, const QString& messageId);
    // What an answer says: "DELIVRD" (exact case) delivered, "NCPR" (any
    // case) not delivered, anything else inconclusive.
    static Outcome classify(const QString& answer);
    // The part of an answer kept in the ledger's Reply column.
    static QString storedReply(const QString& answer);

    // The statements of an idle tick, each answered from an index: the pick
    // of the next row to ask for (ascending or descending), and the give-up
    // of the rows counted past GiveUpAfter.
    static QString pickSql(bool descending);
    static const QString GiveUpSql;

private:
    QString m_suffix;
};

#include "bulk/BulkSender.h"

#include "bulk/Recipients.h"
#include "channels/HttpFetcher.h"
#include "channels/SendUrl.h"
#include "channels/SentLedger.h"
#include "common/LogCategories.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"

#include <QCoroTimer>
#include <QElapsedTimer>
#include <algorithm>
#include <limits>

const QString BulkSender::WorkingMark = QStringLiteral("Working");

namespace {
// Sets a flag for the lifetime of a send, whatever way it ends.
class BusyFlag
{
public:
    explicit BusyFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyFlag() { m_flag = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& m_flag;
};
} // namespace

BulkSender::BulkSender(EngineContext& context, QObject* parent)
    : QObject(parent), m_context(context), m_inet1(new HttpFetcher(this)), m_inetBal(new HttpFetcher(this))
{
    m_fetch = [this](QString url, Client client, std::chrono::milliseconds timeout) -> QCoro::Task<QString> {
        HttpFetcher* http = client == Client::Send ? m_inet1 : m_inetBal;
        http->setTimeout(timeout);
        co_return co_await http->fetch(url);
    };
    m_confirm = [](const QString&, const QString&) { return false; };
}

void BulkSender::cancel()
{
    if (m_busy)
        m_cancelled = true;
}

BulkSender::~BulkSender() = default;

QString BulkSender::requestUrl(const ProfileState& account, const QString& mobno, const QString& message)
{
    // The text goes as one line: the line breaks are removed, not replaced.
    QString text = message;
    text.remove(QStringLiteral("\r\n"));
    return SendUrl::build(account.sendUrl, SendUrl::fromProfile(account, mobno, text));
}

int BulkSender::record(const QStringList& numbers, const QString& message, const QString& account)
{
    if (numbers.isEmpty())
        return 0;
    const qint32 count = qint32(numbers.size());
    constexpr qint32 largest = std::numeric_limits<qint32>::max();

    Store& store = m_context.store();
    Store::Transaction transaction(store);
    for (const QString& number : numbers) {
        const QDateTime now = m_context.clock().now();
        store.exec(QStringLiteral(" insert into sms (Mobile, msg, RDTTM, SDTTm, typ, uname, Status) "
                                  "values (?, ?, ?, ?, 0, ?, 'P')"),
                   {number, message, now.toString(QStringLiteral("dd-MM-yyyy HH:mm:ss")),
                    SentLedger::sentTime(now), account});
    }
    // Advanced from the stored value: the profile loaded now may be another
    // account's. The numbers went out, so they are recorded even when the
    // counter has reached its largest value; it then stays there.
    store.exec(QStringLiteral(" Update config set Smsid = case when Smsid > ? then ? else Smsid + ? end "
                              "Where UName = ?"),
               {largest - count, largest, count, account});
    const QVariant stored =
        store.scalar(QStringLiteral("select Smsid from config where UName = ?"), {account});
    transaction.commit();
    ProfileState& loaded = m_context.profile();
    if (loaded.userName == account && !stored.isNull())
        loaded.smsId = stored.toInt();
    return count;
}

QCoro::Task<BulkSender::FireResult> BulkSender::urlFire(QString mobno, QString message, ProfileState account)
{
    FireResult result;
    const QString url = requestUrl(account, mobno, message);
    try {
        result.answer = co_await m_fetch(url, Client::Send, m_settings.requestTimeout);
        for (int retry = 0; result.answer.isEmpty() && retry < m_settings.emptyAnswerRetries; ++retry) {
            co_await QCoro::sleepFor(m_settings.retryDelay);
            result.answer = co_await m_fetch(url, Client::Send, m_settings.requestTimeout);
        }
    } catch (const EngineError& e) {
        // The list must not go on showing the answer to the request before.
        Q_EMIT responseReceived(e.text());
        throw;
    }
    Q_EMIT responseReceived(result.answer);
    if (!result.answer.isEmpty())
        result.recorded =
            record(mobno.split(QLatin1Char(','), Qt::SkipEmptyParts), message, account.userName);
    co_return result;
}

QCoro::Task<BulkSender::Outcome> BulkSender::send(QString message, QString numbers, ProfileState account)
{
    Outcome outcome;
    if (m_busy) {
        outcome.kind = Outcome::Kind::Busy;
        co_return outcome;
    }
    BusyFlag busy(m_busy);

    Q_EMIT balanceChanged(WorkingMark);
    Q_EMIT responseCleared();

    const QStringList recipients = Recipients::recipientList(numbers);
    outcome.recipients = int(recipients.size());
    if (recipients.isEmpty()) {
        outcome.kind = Outcome::Kind::NoRecipients;
        co_return outcome;
    }
    if (account.userName.size() > Schema::UnameWidth) {
        // The ledger could not name the account: refuse before anything goes out.
        outcome.kind = Outcome::Kind::Failed;
        outcome.error = QStringLiteral("The account name \"%1\" is longer than the %2 characters the sent "
                                       "messages can record; nothing was sent.")
                            .arg(account.userName)
                            .arg(Schema::UnameWidth);
        co_return outcome;
    }
    if (outcome.recipients >= Recipients::ConfirmFrom &&
        !m_confirm(Recipients::confirmTitle(outcome.recipients),
                   Recipients::confirmText(outcome.recipients))) {
        outcome.kind = Outcome::Kind::Declined;
        co_return outcome;
    }
    if (!account.httpGateway) {
        outcome.kind = Outcome::Kind::GatewayOff;
        co_return outcome;
    }

    const QList<QStringList> runs = Recipients::batches(recipients);
    outcome.batches = int(runs.size());
    m_cancelled = false;
    Q_EMIT progress(0, int(runs.size()));
    for (qsizetype i = 0; i < runs.size(); ++i) {
        if (m_cancelled) {
            outcome.kind = Outcome::Kind::Cancelled;
            co_return outcome;
        }
        try {
            const FireResult fired = co_await urlFire(runs[i].join(QLatin1Char(',')), message, account);
            ++outcome.requests;
            if (!fired.answer.isEmpty())
                ++outcome.answered;
            outcome.recorded += fired.recorded;
        } catch (const std::exception& e) {
            outcome.kind = Outcome::Kind::Failed;
            const auto* engine = dynamic_cast<const EngineError*>(&e);
            const QString reason = engine ? engine->text() : QString::fromLocal8Bit(e.what());
            qCWarning(lcBulk).noquote()
                << "sending stopped at request" << i + 1 << "of" << runs.size() << ":" << reason;
            outcome.error =
                QStringLiteral("Sending stopped at request %1 of %2: %3\n%4 of %5 numbers were sent and "
                               "recorded.")
                    .arg(i + 1)
                    .arg(runs.size())
                    .arg(reason)
                    .arg(outcome.recorded)
                    .arg(outcome.recipients);
            co_return outcome;
        }
        Q_EMIT progress(int(i + 1), int(runs.size()));
    }
    co_return outcome;
}

QCoro::Task<QString> BulkSender::fetchBalance()
{
    const QString url = m_context.profile().balanceUrl;
    if (url.isEmpty())
        co_return QString();
    co_return co_await m_fetch(url, Client::Balance, m_settings.balanceTimeout);
}

QCoro::Task<QString> BulkSender::refreshBalance()
{
    const QString url = m_context.profile().balanceUrl;
    if (url.isEmpty())
        co_return QString();
    // Every request, the pauses included, stays within the deadline.
    QElapsedTimer elapsed;
    elapsed.start();
    auto remaining = [&] {
        return m_settings.balanceDeadline - std::chrono::milliseconds(elapsed.elapsed());
    };
    QString text;
    try {
        text = co_await m_fetch(url, Client::Balance, std::min(m_settings.balanceTimeout, remaining()));
        Q_EMIT balanceChanged(text);
        for (int retry = 0; text.isEmpty() && retry < m_settings.balanceRetries; ++retry) {
            if (remaining() <= m_settings.balanceRetryDelay)
                break;
            co_await QCoro::sleepFor(m_settings.balanceRetryDelay);
            text = co_await m_fetch(url, Client::Balance, std::min(m_settings.balanceTimeout, remaining()));
            Q_EMIT balanceChanged(text);
        }
    } catch (const EngineError& e) {
        text = QStringLiteral("Balance not available: ") + e.text();
        qCWarning(lcBulk).noquote() << text;
        Q_EMIT balanceChanged(text);
    }
    co_return text;
}

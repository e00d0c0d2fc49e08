#include "intake/SingleMessage.h"

#include "common/DateFormat.h"
#include "common/TextNumbers.h"
#include "core/ProfileState.h"
#include "core/Store.h"
#include "intake/SendQueue.h"

#include <cmath>
#include <limits>

namespace SingleMessage {

// The screen's field holds at most MaxMessageLength characters (line breaks
// counted as CR LF, which the click removes), so its text always fits the queue.
static_assert(MaxMessageLength <= SendQueue::MaxTextLength);

QString lengthCounter(qsizetype length)
{
    return TextNumbers::withLeadingBlank(static_cast<double>(length)) + QStringLiteral("/ 160");
}

bool sendEnabled(const QString& number, const QString& message)
{
    return !number.trimmed().isEmpty() && !message.trimmed().isEmpty();
}

std::optional<qint32> counterFromText(const QString& text, bool* outOfRange)
{
    if (outOfRange)
        *outOfRange = false;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double whole = std::floor(value);
    if (whole < std::numeric_limits<qint32>::min() || whole > std::numeric_limits<qint32>::max()) {
        if (outOfRange)
            *outOfRange = true;
        return std::nullopt;
    }
    return static_cast<qint32>(whole);
}

Result send(Store& store, ProfileState& profile, const Request& request)
{
    Result result;
    result.number = request.number.trimmed();
    result.message = request.message;
    result.message.remove(QStringLiteral("\r\n"));

    bool outOfRange = false;
    if (const std::optional<qint32> id = counterFromText(request.smsIdText, &outOfRange))
        profile.smsId = *id;
    result.counter = profile.smsId;
    if (outOfRange) {
        result.outcome = Outcome::BadSmsId;
        return result;
    }

    result.stamp = DateFormat::format(request.now, StampPattern);

    const double value = TextNumbers::numericValue(result.number);
    if (!(value > 1000000000.0 && value < 10000000000.0) || result.message.isEmpty()) {
        result.outcome = Outcome::NotQueued;
        return result;
    }
    if (profile.smsId == std::numeric_limits<qint32>::max()) {
        result.outcome = Outcome::CounterAtLimit;
        return result;
    }

    const qint32 next = profile.smsId + 1;
    {
        Store::Transaction transaction(store);
        SendQueue::enqueue(store, QueueRecord{result.number, result.message, result.stamp, 0, 0});
        store.exec(QStringLiteral(" Update config set smsid = ?"), {next});
        transaction.commit();
    }
    profile.smsId = next;
    result.counter = next;
    result.outcome = Outcome::Queued;
    return result;
}

} // namespace SingleMessage

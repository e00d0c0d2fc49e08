#include "common/DateFormat.h"
#include "common/TextNumbers.h"
#include "core/Store.h"
#include "intake/SendQueue.h"
#include "intake/SingleMessage.h"
#include "programs/smsctl/Commands.h"

#include <QDateTime>
#include <QRegularExpression>

namespace Cli {

// "send --to NUMBER --text TEXT [--urgent N] [--type N]": one message into the
// send queue, through the same insert as every other intake path.
int runSend(Context& context, const QStringList& args)
{
    const QString command = QStringLiteral("send");
    const Options options = parse(args,
                                  {{QStringLiteral("to"), true},
                                   {QStringLiteral("text"), true},
                                   {QStringLiteral("urgent"), true},
                                   {QStringLiteral("type"), true}},
                                  0, command);
    const QString number = options.required(QStringLiteral("to"), command).trimmed();
    QString text = options.required(QStringLiteral("text"), command);
    const qint64 urgent = options.number(QStringLiteral("urgent"), 0, 0, 999999, command);
    const qint64 type = options.number(QStringLiteral("type"), 0, 0, 2147483647, command);

    // The single-message screen's rule: a ten-digit number above 1000000000.
    // The screen lets only digits in; here anything else is refused rather
    // than cut off, so that a typing error never reaches a stranger.
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const double value = TextNumbers::numericValue(number);
    if (!digits.match(number).hasMatch() || !(value > 1000000000.0 && value < 10000000000.0))
        throw UsageError(QStringLiteral("'%1' is not a mobile number: give ten digits, 1000000001 to "
                                        "9999999999")
                             .arg(number),
                         command);
    if (text == QStringLiteral("-")) {
        text = readStandardInput();
        // echo and here-documents end the text with a line break nobody means to send
        while (text.endsWith(u'\n') || text.endsWith(u'\r'))
            text.chop(1);
    }
    if (text.trimmed().isEmpty())
        throw UsageError(QStringLiteral("the message text is empty"), command);
    if (!SendQueue::fits(text.size()))
        throw UsageError(QStringLiteral("the message text has %1 characters; the queue takes at most %2")
                             .arg(text.size())
                             .arg(SendQueue::MaxTextLength),
                         command);

    const auto store = context.openStore();
    const QString stamp = DateFormat::format(QDateTime::currentDateTime(), SingleMessage::StampPattern);
    SendQueue::enqueue(*store, QueueRecord{number, text, stamp, double(urgent), double(type)});
    const int queued = store->scalar(QStringLiteral("SELECT count(*) FROM Rsms")).toInt();
    context.out << "Queued a message to " << number << " (" << text.size() << " characters, urgency "
                << urgent << "); " << queued << (queued == 1 ? " message" : " messages") << " in the queue\n";
    return ExitOk;
}

} // namespace Cli

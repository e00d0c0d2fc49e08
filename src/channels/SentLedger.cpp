#include "channels/SentLedger.h"

#include "channels/QueueCursor.h"
#include "common/LogCategories.h"
#include "common/TextCut.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"

#include <limits>

namespace {
const QString kCounterUpdate = QStringLiteral("UPDATE config SET Smsid = ? WHERE UName = ?");
const QString kCounterAtMaximum = QStringLiteral("Counter at its largest value: not advanced");

// Null as the SQL layer binds it: a null variant or a null text.
bool isNull(const QVariant& v)
{
    return v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isNull());
}
} // namespace

SentLedger::SentLedger(EngineContext& context) : m_context(context) {}

QString SentLedger::answerForLedger(const QString& response)
{
    QString answer = response;
    answer.remove(QStringLiteral("<br>"), Qt::CaseSensitive);
    return leftWhole(answer, Schema::AnsWidth);
}

QString SentLedger::sentTime(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString SentLedger::serverUpdate(Store::Dialect dialect)
{
    const QString now = dialect == Store::Dialect::SqlServer ? QStringLiteral("Getdate()")
                                                             : QStringLiteral("CURRENT_TIMESTAMP");
    // The claim ends with the send: the row is nobody's any more.
    return QStringLiteral("update SendSMS set Status = 'Y', sdt = %1, ClaimEngine = NULL, ClaimTime = NULL, "
                          "RetryAfter = NULL where autono = ?")
        .arg(now);
}

qint32 SentLedger::advanced(qint32 counter, bool* atMaximum)
{
    *atMaximum = counter == std::numeric_limits<qint32>::max();
    return *atMaximum ? counter : counter + 1;
}

void SentLedger::saveSentSms(QueueCursor& cursor, const QString& answer)
{
    ConsoleState& console = m_context.console();
    console.appendTraceLine(QStringLiteral("Save Data"));
    if (!cursor.isOpen())
        return;

    ProfileState& profile = m_context.profile();
    Store& store = m_context.store();
    const QString userName = console.text(ConsoleState::Field::UserName);
    bool atMaximum = false;
    const qint32 counter = advanced(profile.smsId, &atMaximum);

    if (cursor.isServer()) {
        Store* server = m_context.server().store();
        if (!server || !m_context.server().isOpen())
            throw StoreError(-6,
                             QStringLiteral("The server connection is closed: the sent message %1 cannot be "
                                            "marked")
                                 .arg(cursor.key()));
        server->exec(serverUpdate(server->dialect()), {cursor.key()});
        if (!atMaximum) {
            store.exec(kCounterUpdate, {counter, userName});
            profile.smsId = counter;
        } else {
            console.appendTraceLine(kCounterAtMaximum);
        }
        cursor.close();
        return;
    }

    console.appendTraceLine(QStringLiteral("Add Record"));
    const bool http = console.channel() != ConsoleState::Channel::Gsm;
    // An empty text, not a null one: the SQL layer binds a null text as Null.
    const QVariant rdtTm = isNull(cursor.rdtTm()) ? QVariant(QStringLiteral("")) : cursor.rdtTm();
    const QVariant typ = isNull(cursor.typ()) ? QVariant(0) : cursor.typ();
    const QVariant ans = http ? QVariant(answerForLedger(answer)) : QVariant(QMetaType::fromType<QString>());
    {
        Store::Transaction transaction(store);
        // Try 0, not Null: the report poll counts a row only from a number,
        // and an uncounted row would be asked for at every idle tick.
        store.execPrepared(
            QStringLiteral("INSERT INTO sms (Mobile, msg, RDTTM, SDTTm, typ, ANS, Uname, Status, Try) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, 'P', 0)"),
            {cursor.mobile(), cursor.msg(), rdtTm, sentTime(m_context.clock().now()), typ, ans,
             userName.left(Schema::UnameWidth)});
        // A row that an operator deleted while the message was on its way is
        // gone already: nothing left to delete, the record stands.
        store.execPrepared(QStringLiteral("DELETE FROM Rsms WHERE rowid = ?"), {cursor.key()});
        if (!atMaximum)
            store.execPrepared(kCounterUpdate, {counter, userName});
        transaction.commit();
    }
    profile.smsId = counter;
    cursor.close();
    if (atMaximum) {
        console.appendTraceLine(kCounterAtMaximum);
        qCWarning(lcStore).noquote() << kCounterAtMaximum.trimmed();
    }
    console.appendTraceLine(QStringLiteral("Save End"));
}

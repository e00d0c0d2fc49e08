#include "dispatch/OperatorActions.h"

#include "channels/DeliveryChannels.h"
#include "core/EngineContext.h"
#include "dispatch/Engine.h"
#include "dispatch/ReportPoll.h"

using Field = ConsoleState::Field;

OperatorActions::OperatorActions(Engine& engine) : m_engine(engine) {}

QCoro::Task<bool> OperatorActions::displayBalance()
{
    EngineContext& context = m_engine.context();
    const QString url = context.profile().balanceUrl;
    if (url.isEmpty())
        co_return false;
    const QString text = co_await m_engine.channels().http().fetch(url);
    context.console().setText(Field::Response, text);
    co_return true;
}

QCoro::Task<int> OperatorActions::deleteShownNumber()
{
    return deleteNumber(m_engine.context().console().text(Field::DeleteTag));
}

QCoro::Task<int> OperatorActions::deleteNumber(QString number)
{
    // Wait for a send in progress: deleting under it could remove the row the
    // ledger is about to take out of the queue, leaving the message both
    // recorded and queued, or delete a message the gateway has just taken.
    EngineContext& context = m_engine.context();
    if (number.isEmpty())
        co_return 0;
    co_await m_engine.waitUntilIdle();
    const int deleted = context.store().exec(QStringLiteral("delete from Rsms where Mobile = ?"), {number});
    context.console().setText(Field::Mobile, QString());
    context.console().setText(Field::Message, QString());
    co_return deleted;
}

bool OperatorActions::oldPasswordMatches(const QString& oldPassword) const
{
    return oldPassword == m_engine.context().profile().password;
}

OperatorActions::PasswordCheck OperatorActions::checkPasswordChange(const QString& oldPassword,
                                                                    const QString& newPassword,
                                                                    const QString& confirmation) const
{
    if (!oldPasswordMatches(oldPassword))
        return PasswordCheck::OldMismatch;
    if (newPassword.isEmpty())
        return PasswordCheck::NewEmpty;
    if (confirmation != newPassword)
        return PasswordCheck::ConfirmMismatch;
    return PasswordCheck::Ok;
}

int OperatorActions::changePassword(const QString& newPassword)
{
    EngineContext& context = m_engine.context();
    const int changed =
        context.store().exec(QStringLiteral("update config set [Password] = ? where Provider = ?"),
                             {newPassword, context.profile().sendUrl});
    context.profile().password = newPassword;
    return changed;
}

int OperatorActions::recheck()
{
    return ReportPoll::recheck(m_engine.context().store());
}

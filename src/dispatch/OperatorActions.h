#pragma once

#include <QCoroTask>
#include <QString>

class Engine;

// What the operator can do on the running engine from the console's links:
// ask for the balance, delete the queued messages of the number on show,
// change the gateway password and recheck undelivered messages. The console
// asks its questions through prompts and calls these; failures throw
// StoreError (or the fetch error) for the console to show.
class OperatorActions
{
public:
    explicit OperatorActions(Engine& engine);

    // Fetches the balance URL into the response box; nothing when no balance
    // URL is set. Returns false when nothing was fetched.
    QCoro::Task<bool> displayBalance();

    // Deletes every queued row of the number on show (the tag of "Delete this
    // SMS"). A send in progress is waited for first, so the message being
    // sent is either recorded or deleted, never both recorded and still
    // queued. Returns the number of rows deleted.
    QCoro::Task<int> deleteShownNumber();
    // The same for a number taken from the console earlier: the console reads
    // it when the operator clicks, since a tick may show another number while
    // the question is open. An empty number deletes nothing.
    QCoro::Task<int> deleteNumber(QString number);

    // The old password typed must match the loaded profile's exactly.
    bool oldPasswordMatches(const QString& oldPassword) const;

    enum class PasswordCheck
    {
        Ok,
        OldMismatch,
        NewEmpty,
        ConfirmMismatch
    };
    PasswordCheck checkPasswordChange(const QString& oldPassword, const QString& newPassword,
                                      const QString& confirmation) const;
    // Writes the new password into every profile with the current send URL
    // template and into the loaded profile. Returns the rows changed.
    int changePassword(const QString& newPassword);

    // Puts every row not delivered back into the report poll.
    int recheck();

private:
    Engine& m_engine;
};

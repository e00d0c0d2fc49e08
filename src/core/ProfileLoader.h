#pragma once

#include "core/ProfileState.h"
#include "core/StoreError.h"

class Store;
class ServerConnection;

// Raised when no config row matches: the caller shows
// " Please Call Administrator " and ends the program.
class ProfileNotFound : public StoreError
{
public:
    explicit ProfileNotFound(const QString& name);
    QString name;
};

namespace ProfileLoader {

inline const QString NotFoundMessage = QStringLiteral(" Please Call Administrator ");

// Loads the row with Defult = 1 (empty name) or the row whose UName equals
// name into state. The load is all or nothing: a Null in a required column,
// a bad number, a send URL that cannot carry the message while the HTTP
// gateway is on, or an unreachable server throws StoreError and leaves state
// and server as they were.
void load(Store& store, const QString& name, ProfileState& state, ServerConnection& server);

// "<UName>" (any letter case) then "<PassWord>" (exact case) filled into a
// balance URL template.
QString fillBalanceUrl(const QString& balstr, const QString& user, const QString& password);

// The text without the blanks (spaces) at either end; other white space stays.
QString trimBlanks(const QString& text);

// What keeps a send URL template from carrying a message: empty when it has
// both "<mobile>" and "<msg>" (in exactly this letter case, as they are
// filled in), else a sentence naming what is missing.
QString sendUrlProblem(const QString& sendUrl);

// True when ConSrt sets the HTTP gateway flag ("C", trimmed, any case).
bool httpGatewayFlag(const QString& consrt);
// True when ConSrt names a server (trimmed length above 2).
bool namesServer(const QString& consrt);

} // namespace ProfileLoader

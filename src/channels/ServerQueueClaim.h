#pragma once

#include "channels/QueueCursor.h"
#include "core/Store.h"

#include <QString>

class ServerConnection;

// How engines share the server queue SendSMS without sending a row twice and
// without one bad row holding up the rest.
//
// An engine claims the row it will send in one statement that no other
// engine can interleave with (PostgreSQL: FOR UPDATE SKIP LOCKED; SQL Server:
// UPDLOCK, READPAST, ROWLOCK): the first row by Piority, then autono, whose
// status is not "Y", that is not given up, not deferred and not claimed (or
// whose claim is older than the lease). The send itself runs outside any
// transaction; marking the row "Y" clears the claim (SentLedger).
//
// A failed send releases the claim. When the channel answered (the modem said
// "Error"), the failure counts against the row: it is deferred for the retry
// delay times its failure count, and at the failure bound it is given up with
// status "N" and the answer in FailReason. When nothing answered (the port
// failed, the HTTP gateway is off), the fault is the engine's, not the row's:
// the claim is released and nothing is counted, so that a broken workstation
// cannot give up the shared queue.
class ServerQueueClaim
{
public:
    struct Settings
    {
        int leaseSeconds = 180;
        int failureBound = 10;
        double retrySeconds = 30;

        // The per-user settings (SettingsKeys::Server*); a missing or unusable value gives the default.
        static Settings fromUserSettings();
    };

    // What became of a row whose send failed.
    enum class AfterFailure
    {
        Released, // nothing answered: free for any engine at once, nothing counted
        Deferred, // counted, free again after the retry delay
        GivenUp,  // counted up to the bound: status "N", never taken again
        Lost,     // the claim had passed to another engine (lease expired): left alone
    };

    ServerQueueClaim(QString engineId, Settings settings);

    const QString& engineId() const { return m_engineId; }
    const Settings& settings() const { return m_settings; }
    void setSettings(const Settings& settings) { m_settings = settings; }

    // An engine's name in ClaimEngine: its host and program folder, which the
    // instance lock keeps to one engine at a time.
    static QString engineIdFor(const QString& programFolder);

    // Claims the next row and returns a cursor on it; closed when no row is free.
    QueueCursor claim(Store& server) const;

    // After a send that left the cursor open (not recorded): releases, defers
    // or gives up the row as the class comment says; answer is the channel's.
    // Returns a line for the log and closes the cursor.
    QString afterFailedSend(ServerConnection& server, QueueCursor& cursor, const QString& answer,
                            AfterFailure* what = nullptr) const;
    // Releases the claim without counting (the tick failed around the send).
    // Errors are swallowed: the lease frees the row all the same.
    void release(ServerConnection& server, QueueCursor& cursor) const noexcept;

    // The statements, by dialect (the SQL Server ones are checked by text).
    // claim binds: lease seconds, engine id. defer: failures, retry delay
    // (seconds on PostgreSQL, milliseconds on SQL Server), autono, engine id.
    // giveUp: failures, reason, autono, engine id. release: autono, engine id.
    static QString claimStatement(Store::Dialect dialect);
    static QString deferStatement(Store::Dialect dialect);
    static QString giveUpStatement(Store::Dialect dialect);
    static QString releaseStatement(Store::Dialect dialect);

    // Seconds a row waits after its n-th failed send.
    double retryDelay(int failures) const;

private:
    QString m_engineId;
    Settings m_settings;
};

#pragma once

#include "core/Store.h"

#include <QString>
#include <memory>

// The connection of server mode: the queue table SendSMS of a server
// database. ConSrt names a SQL Server (reached through ODBC and FreeTDS) or,
// written as a postgresql:// URI, a PostgreSQL database. Server mode is in
// force while the connection is open.
class ServerConnection
{
public:
    static constexpr int LoginTimeoutSeconds = 60;
    // The server database and the fixed account used when ConSrt names none.
    static constexpr const char* DefaultDatabase = "SMS001";
    static constexpr const char* DefaultUser = "Telvora";
    static constexpr const char* DefaultPassword = "@502718364";

    ServerConnection();
    ~ServerConnection();

    bool isOpen() const;
    // The open server, or nullptr.
    Store* store() const { return m_store.get(); }
    // The ConSrt value the open connection was made from.
    QString source() const { return m_source; }

    // Opens the server named by consrt (blanks around the name are ignored)
    // and adds the claim columns that SendSMS lacks (ServerQueueSchema).
    // The same ConSrt again keeps the open connection; another server is opened first
    // and replaces the old one only on success. Failures throw StoreError and
    // leave the previous state as it was.
    void open(const QString& consrt);
    void close();

    // Login time-out of the next open (seconds); LoginTimeoutSeconds unless set.
    void setLoginTimeout(int seconds) { m_loginTimeout = seconds; }
    int loginTimeout() const { return m_loginTimeout; }

    // True for a ConSrt written as a postgresql:// (or postgres://) URI.
    static bool isPostgresUri(const QString& consrt);
    // The server as messages name it: trimmed, a URI without its password.
    static QString displayName(const QString& consrt);

private:
    std::unique_ptr<Store> m_store;
    QString m_source;
    int m_loginTimeout = LoginTimeoutSeconds;
};

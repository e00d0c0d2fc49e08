#pragma once

#include "app/Store.h"

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

    ServerConnection();
    ~ServerConnection();

    bool isOpen() const;
    // The open server, or nullptr.
    Store* store() const { return m_store.get(); }
    // The ConSrt value the open connection was made from.
    QString source() const { return m_source; }

    // Opens the server named by consrt (as stored, not trimmed). The same
    // server again keeps the open connection; another server is opened first
    // and replaces the old one only on success. Failures throw StoreError and
    // leave the previous state as it was.
    void open(const QString& consrt);
    void close();

private:
    std::unique_ptr<Store> m_store;
    QString m_source;
};

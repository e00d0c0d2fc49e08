#pragma once

#include "common/Clock.h"
#include "core/ConsoleState.h"
#include "core/ProfileState.h"
#include "core/ServerConnection.h"
#include "core/Store.h"

#include <QString>
#include <memory>

// The process-wide state of the engine: the store connection, the loaded
// profile, the server connection of server mode, the modem port and what the
// console shows. Every screen and the headless engine share one instance.
class EngineContext
{
public:
    explicit EngineContext(std::unique_ptr<Store> store);

    Store& store() { return *m_store; }
    ProfileState& profile() { return m_profile; }
    ServerConnection& server() { return m_server; }
    ConsoleState& console() { return m_console; }
    Clock& clock() { return m_clock; }

    // Loads a profile (empty name: the default one); throws as ProfileLoader::load.
    void loadProfile(const QString& name);

    qint16 modemPort() const { return m_modemPort; }
    void setModemPort(qint16 port) { m_modemPort = port; }

    // The program folder the engine runs in (the store and the drop folders).
    QString programFolder() const { return m_programFolder; }
    void setProgramFolder(const QString& folder) { m_programFolder = folder; }

private:
    std::unique_ptr<Store> m_store;
    ProfileState m_profile;
    ServerConnection m_server;
    ConsoleState m_console;
    Clock m_clock;
    qint16 m_modemPort = 1;
    QString m_programFolder;
};

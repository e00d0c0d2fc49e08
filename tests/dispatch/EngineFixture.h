#pragma once

#include "StoreFixture.h"
#include "TaskWait.h"
#include "channels/DeliveryChannels.h"
#include "dispatch/Engine.h"

#include <QTcpServer>

#include <chrono>
#include <memory>

// The store with the default profile "acme" (counter 5000) that sends, asks for reports and for the
// balance at the gateway `base`, and an engine on it that takes that gateway for the one that reports.
class EngineFixture : public StoreFixture
{
public:
    explicit EngineFixture(const QString& base)
    {
        loadDefaultProfile("acme", {{"Provider", base + "/send?u=<UName>&p=<PassWord>&to=<mobile>&msg=<msg>"},
                                    {"RepoStr", base + "/report?id=<MassgeID>"},
                                    {"balstr", base + "/balance?u=<UName>&p=<PassWord>"},
                                    {"Smsid", 5000}});
        engine = std::make_unique<Engine>(context());
        engine->setReportHost("127.0.0.1");
        engine->channels().http().setTimeout(std::chrono::milliseconds(2000));
    }

    const TickOutcome& tick()
    {
        TaskWait::run(engine->runTick());
        return engine->lastOutcome();
    }
    ConsoleState& console() { return context().console(); }
    QString text(ConsoleState::Field field) { return console().text(field); }
    ProfileState& profile() { return context().profile(); }

    // A URL on a loopback port on which nothing listens.
    static QString refusingUrl(const QString& path)
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()) + path;
    }

    std::unique_ptr<Engine> engine;
};

#pragma once

// A program folder for console tests: a store with gateway profiles, the
// default profile loaded, a settings file of its own, an engine and a
// scripted prompt.

#include "console/ConsoleSettings.h"
#include "console/ConsoleWindow.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"
#include "dispatch/Engine.h"
#include "ui/Prompt.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct ProfileRow
{
    QString name;
    QVariant password;
    QString gsmSid;
    QString cdmaSid;
    int interval;
    int smsId;
    bool isDefault;
};

class ScriptedPrompt : public Prompt
{
public:
    struct Shown
    {
        QString title;
        QString text;
        Icon icon;
    };
    QList<Shown> messages;
    QList<Answer> answers; // taken in order by question()

    void message(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        messages.append({title, text, icon});
    }
    Answer question(QWidget*, const QString& title, const QString& text) override
    {
        messages.append({title, text, Icon::Question});
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }
    bool input(QWidget*, const QString&, const QString&, QString&) override { return false; }
    QString openFileName(QWidget*, const QString&, const QString&) override { return QString(); }
};

class ConsoleFixture
{
public:
    static QList<ProfileRow> standardProfiles()
    {
        return {
            {QStringLiteral("alpha"), QStringLiteral("pa"), QStringLiteral("AG"), QStringLiteral("AC"), 3000,
             42, true},
            {QStringLiteral("beta"), QStringLiteral("pb"), QStringLiteral("BG"), QStringLiteral("BC"), 7000,
             7, false},
            {QStringLiteral("gamma"), QStringLiteral("pc"), QStringLiteral("CG"), QString(), 1500, 0, false},
        };
    }

    explicit ConsoleFixture(const QList<ProfileRow>& profiles = standardProfiles())
    {
        QVERIFY2(dir.isValid(), "temporary folder");
        settingsFile = dir.filePath(QStringLiteral("settings/console.ini"));
        auto store = Store::openFile(dir.filePath(QStringLiteral("SMS.db")), true);
        Schema::createMissingTables(*store);
        for (const ProfileRow& p : profiles) {
            store->exec(
                QStringLiteral("insert into config (UName, Password, Provider, RepoStr, balstr, GsmSid, "
                               "CDMASid, TmInterval, Smsid, ConSrt, Defult) values (?,?,?,?,?,?,?,?,?,?,?)"),
                {p.name, p.password, QStringLiteral("http://127.0.0.1:9/send?u=<UName>&p=<PassWord>"),
                 QString(), QString(), p.gsmSid, p.cdmaSid, p.interval, p.smsId, QString(),
                 p.isDefault ? 1 : 0});
        }
        context = std::make_unique<EngineContext>(std::move(store));
        context->setProgramFolder(dir.path());
        context->loadProfile(QString());
        engine = std::make_unique<Engine>(*context);
        Prompt::install(&prompt);
    }

    ~ConsoleFixture()
    {
        form.reset();
        Prompt::install(nullptr);
    }

    ConsoleWindow& makeConsole(ConsoleTray::Availability tray = ConsoleTray::Availability::Unavailable)
    {
        ConsoleOptions options;
        options.settingsFile = settingsFile;
        options.tray = tray;
        form = std::make_unique<ConsoleWindow>(*context, *engine, options);
        return *form;
    }

    ConsoleWindow& loadConsole(ConsoleTray::Availability tray = ConsoleTray::Availability::Unavailable)
    {
        ConsoleWindow& f = makeConsole(tray);
        f.load();
        return f;
    }

    // The stored settings, read as any other program would read them.
    void writeSetting(const QString& key, const QString& value)
    {
        QSettings s(settingsFile, QSettings::IniFormat);
        s.setValue(QStringLiteral("AutoStartService/") + key, value);
        s.sync();
    }
    QVariant setting(const QString& key) const
    {
        QSettings s(settingsFile, QSettings::IniFormat);
        return s.value(QStringLiteral("AutoStartService/") + key);
    }

    template <typename T> T* child(const char* name) const
    {
        T* w = form->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }

    QTemporaryDir dir;
    QString settingsFile;
    ScriptedPrompt prompt;
    std::unique_ptr<EngineContext> context;
    std::unique_ptr<Engine> engine; // outlives the console
    std::unique_ptr<ConsoleWindow> form;
};

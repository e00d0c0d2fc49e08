#include "ScriptedPrompt.h"
#include "StoreFixture.h"

#include "common/SettingsKeys.h"
#include "console/ConsoleLauncher.h"
#include "console/ConsoleSettings.h"
#include "dispatch/Engine.h"
#include "ui/ScreenRegistry.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;
using Availability = ConsoleTray::Availability;
using Field = ConsoleState::Field;
using Flag = ConsoleState::Flag;

// Three gateway profiles, the default one "main" in the middle, so that the console must find it.
class ConsoleFixture : public StoreFixture
{
public:
    explicit ConsoleFixture(int mainInterval = 3000)
    {
        addProfile("alpha", {{"TmInterval", 7000}, {"Smsid", 7}, {"GsmSid", "BG"}, {"CDMASid", "BC"}});
        addProfile("main", {{"TmInterval", mainInterval},
                            {"Smsid", 42},
                            {"GsmSid", "AG"},
                            {"CDMASid", "AC"},
                            {"Defult", 1}});
        addProfile("gamma", {{"TmInterval", 1500}, {"Smsid", 0}, {"GsmSid", "CG"}, {"CDMASid", QVariant()}});
        context().loadProfile(QString());
    }
    ConsoleOptions options(Availability tray) const { return {path("settings/console.ini"), tray}; }
    ConsoleWindow& open(Availability tray = Availability::Unavailable, bool load = true)
    {
        form.reset();
        form = std::make_unique<ConsoleWindow>(context(), engine, options(tray));
        if (load)
            form->load();
        return *form;
    }
    QVariant setting(const QString& key) const
    {
        return QSettings(path("settings/console.ini"), QSettings::IniFormat).value("AutoStartService/" + key);
    }
    template <typename T = QWidget> T* child(const QString& name) const
    {
        T* w = form->findChild<T*>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }
    bool shown(const QString& name) const { return !child(name)->isHidden(); }
    void click(const QString& name) { child<QAbstractButton>(name)->click(); }
    QStringList profileNames() const
    {
        QStringList names;
        for (auto* box = child<QComboBox>("Combo1"); names.size() < box->count();)
            names << box->itemText(names.size());
        return names;
    }
    void chooseProfile(int index)
    {
        child<QComboBox>("Combo1")->setCurrentIndex(index);
        Q_EMIT child<QComboBox>("Combo1")->activated(index); // the operator's choice
    }

    ScriptedPrompt prompt;
    Engine engine{context()}; // outlives the console
    std::unique_ptr<ConsoleWindow> form;
};

namespace {
ConsoleWindow* liveConsole()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<ConsoleWindow*>(w))
            return f;
    return nullptr;
}

QWidget* openReport()
{
    ScreenRegistry::instance().registerScreen(Screens::Report, [] { return new QWidget; });
    return ScreenRegistry::instance().show(Screens::Report);
}

// Runs showConsole with the script queued inside its loop and a watchdog that ends the loop with 99.
int runConsole(ConsoleFixture& fx, const std::function<void()>& script)
{
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    QTimer::singleShot(0, script);
    return showConsole(fx.context(), fx.engine, fx.options(Availability::Available));
}

QStringList balloonTexts(const QSignalSpy& balloons)
{
    QStringList out;
    for (const auto& b : balloons)
        out << b.at(0).toString() + "|" + b.at(1).toString();
    return out;
}
} // namespace

class TestConsoleWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        ScreenRegistry::instance().clear();
        for (QWidget* w : QApplication::topLevelWidgets())
            w->close();
    }

    void load_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("divice");
        QTest::addColumn<int>("tmInterval");
        QTest::addColumn<int>("interval"); // 0: not running, -1: running without a tick
        const auto row = [](const char* tag, const char* start, const char* divice, int tm, int interval) {
            QTest::newRow(tag) << QString(start) << QString(divice) << tm << interval;
        };
        row("nothing stored", nullptr, nullptr, 3000, 0);
        row("GSM, auto-start", "1", "GSM", 3000, 10000);
        row("GSM, auto-start, no-tick profile", "1", "GSM", 0, 10000);
        row("INT, auto-start", "1", "INT", 3000, 3000);
        row("INT, auto-start above 65535", "1", "INT", 65536, 65536);
        row("INT, auto-start, zero: no tick", "1", "INT", 0, -1);
        row("GSM, auto-start off", "0", "GSM", 3000, 0);
        row("Start empty", "", "INT", 3000, 0);
        row("Start not a number", "True", "INT", 3000, 0);
        row("Start a number then text", "1 (on)", "INT", 3000, 3000);
        row("Start negative", "-1", "INT", 3000, 0);
        row("Start 2 is not ticked", "2", "INT", 3000, 0);
        row("Start too large", "99999999999999999999", "INT", 3000, 0);
        row("gsm in lower case is not GSM", "1", "gsm", 3000, 3000);
    }
    void load()
    {
        QFETCH(QString, start);
        QFETCH(QString, divice);
        QFETCH(int, tmInterval);
        QFETCH(int, interval);
        const bool running = interval != 0, gsm = divice == "GSM";

        ConsoleFixture fx(tmInterval);
        QSettings stored(fx.path("settings/console.ini"), QSettings::IniFormat);
        if (!start.isNull())
            stored.setValue("AutoStartService/Start", start);
        if (!divice.isNull())
            stored.setValue("AutoStartService/Divice", divice);
        stored.sync();
        ConsoleWindow& form = fx.open(Availability::Unavailable, false);
        QSignalSpy balloons(&form.tray(), &ConsoleTray::balloonShown);
        form.load();

        QCOMPARE(form.isRunning(), running);
        QCOMPARE(fx.child<QCheckBox>("ChAuto")->isChecked(), running);
        QCOMPARE(fx.engine.interval(), std::max(interval, 0));
        QCOMPARE(fx.engine.isTicking(), interval > 0);
        const QString status = fx.child<QLabel>("Label2")->text();
        QCOMPARE(status.contains("not ticking"), interval < 0);
        QVERIFY2(interval >= 0 || status.contains(QString::number(tmInterval)), qPrintable(status));
        QCOMPARE(fx.child<QRadioButton>("OpGSM")->isChecked(), gsm);
        QCOMPARE(fx.child<QRadioButton>("Option2")->isChecked(), !gsm);
        QCOMPARE(fx.context().console().channel(),
                 gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
        QCOMPARE(fx.shown("LbReturn"), !gsm && !running);
        QCOMPARE(fx.shown("Label3"), !gsm);
        QVERIFY(!fx.shown("Label4"));
        // Loading writes nothing but the ticked box: what was stored stays, and a first run writes nothing.
        QCOMPARE(fx.setting("Start"), start.isNull() ? QVariant() : QVariant(running ? u"1"_s : start));
        QCOMPARE(fx.setting("Divice"), divice.isNull() ? QVariant() : QVariant(divice));
        QCOMPARE(fx.profileNames(), (QStringList{"alpha", "main", "gamma"}));
        QCOMPARE(fx.child<QComboBox>("Combo1")->currentText(), u"main");
        QCOMPARE(fx.context().console().text(Field::UserName), u"main");

        QCOMPARE(fx.child<QLabel>("Lb1")->text(), u"Engine Start Time :14:05:09");
        QCOMPARE(fx.child<QLabel>("LB2")->text(), u"Total Sms Sent : 42");
        QCOMPARE(form.windowTitle(), ConsoleWindow::loadCaption());
        QCOMPARE(fx.context().console().text(Field::Title), ConsoleWindow::loadCaption());
        QVERIFY(form.tray().installed());
        const QStringList said{"Telvora Software|SMS Engine Started.", "Telvora Software|SMS Engine Start."};
        QCOMPARE(balloonTexts(balloons), said.mid(0, running ? 2 : 1));
        const QString tip = running ? "Start" : "Telvora Software Sms Engine";
        QCOMPARE(form.tray().tip(), tip);
        QCOMPARE(form.tray().icon()->toolTip(), tip);
    }

    void gsmIntervalKeptUntilProfileLoad()
    {
        ConsoleFixture fx;
        ConsoleWindow& form = fx.open();
        fx.click("OpGSM");
        fx.click("CmdStart");
        QCOMPARE(fx.engine.interval(), 10000);
        QCOMPARE(fx.context().profile().interval, 10000);
        fx.click("CmdStop");
        QVERIFY(!fx.engine.isTicking());
        // The password link belongs to the HTTP gateway, also after a stop.
        QVERIFY(!fx.shown("LbReturn"));
        fx.click("Option2");
        QVERIFY(fx.shown("LbReturn"));
        fx.click("CmdStart");
        QCOMPARE(fx.engine.interval(), 10000); // still the modem's pace
        fx.click("CmdStop");
        QVERIFY(form.chooseProfile("main"));
        fx.click("CmdStart");
        QCOMPARE(fx.engine.interval(), 3000);
    }

    void channelClicks_data()
    {
        QTest::addColumn<QString>("clicks"); // G = OpGSM, I = Option2
        QTest::addColumn<bool>("gsm");
        QTest::addRow("GSM") << u"G"_s << true;
        QTest::addRow("GSM then INTERNET") << u"GI"_s << false;
        QTest::addRow("INTERNET already selected") << u"I"_s << false;
        QTest::addRow("back and forth") << u"GIG"_s << true;
    }
    void channelClicks()
    {
        QFETCH(QString, clicks);
        QFETCH(bool, gsm);
        ConsoleFixture fx;
        fx.open();
        for (const QChar c : clicks)
            fx.click(c == u'G' ? "OpGSM" : "Option2");
        QCOMPARE(fx.setting("Divice").toString(), gsm ? "GSM" : "INT");
        QCOMPARE(fx.shown("LbReturn"), !gsm);
        QCOMPARE(fx.shown("Label3"), !gsm);
        QCOMPARE(fx.context().console().channel(),
                 gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
        fx.click("ChAuto");
        QCOMPARE(fx.setting("Start").toString(), u"1");
        fx.open(); // the next console reads the choices back
        QCOMPARE(fx.child<QRadioButton>("OpGSM")->isChecked(), gsm);
        QVERIFY(fx.engine.isTicking());
        fx.click("ChAuto");
        QCOMPARE(fx.setting("Start").toString(), u"0");
    }

    void settingsWithoutAFileUseThePlatformStore()
    {
        QTemporaryDir home;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
        ConsoleSettings settings;
        settings.setGsmChannel(true);
        QVERIFY2(settings.location().startsWith(home.path()), qPrintable(settings.location()));
        QVERIFY2(settings.location().contains("GarvelloSMSEng"), qPrintable(settings.location()));
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, SettingsKeys::Organization,
                      "GarvelloSMSEng");
        QCOMPARE(raw.value("AutoStartService/Divice").toString(), u"GSM");
    }

    void profileChoice_data()
    {
        QTest::addColumn<QString>("breakSql");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("label3");  // on success
        QTest::addColumn<QString>("message"); // on failure, when "main" stays loaded
        QTest::addColumn<QStringList>("names");
        const QStringList all{"alpha", "main", "gamma"};
        QTest::addRow("alpha") << QString() << 0 << u" GSM : BG    CDMA : BC"_s << QString() << all;
        QTest::addRow("gamma without CDMA id")
            << QString() << 2 << u" GSM : CG    CDMA : "_s << QString() << all;
        QTest::addRow("profile removed meanwhile")
            << u"delete from config where UName = 'alpha'"_s << 0 << QString()
            << u" Please Call Administrator "_s << QStringList{"main", "gamma"};
        QTest::addRow("profile without password")
            << u"update config set Password = NULL where UName = 'alpha'"_s << 0 << QString() << u"Password"_s
            << all;
    }
    void profileChoice()
    {
        QFETCH(QString, breakSql);
        QFETCH(int, index);
        QFETCH(QString, label3);
        QFETCH(QString, message);
        QFETCH(QStringList, names);
        ConsoleFixture fx;
        fx.open();
        fx.context().profile().interval = 10000; // as a GSM start leaves it
        if (!breakSql.isEmpty())
            fx.store().exec(breakSql);
        fx.chooseProfile(index);
        const bool failed = !message.isEmpty();
        const QString loaded = failed ? "main" : names[index];
        QCOMPARE(fx.context().profile().userName, loaded);
        QCOMPARE(fx.context().profile().interval, QList<int>({7000, 10000, 1500})[failed ? 1 : index]);
        QCOMPARE(fx.context().profile().smsId, QList<int>({7, 42, 0})[failed ? 1 : index]);
        QCOMPARE(fx.child<QComboBox>("Combo1")->currentText(), loaded);
        QCOMPARE(fx.context().console().text(Field::UserName), loaded);
        QCOMPARE(fx.profileNames(), names);
        QCOMPARE(fx.prompt.messages.size(), failed ? 1 : 0);
        if (failed) {
            QVERIFY2(fx.prompt.messages[0].text.contains(message), qPrintable(fx.prompt.messages[0].text));
            QCOMPARE(fx.prompt.messages[0].icon, Prompt::Icon::Critical);
        } else {
            QCOMPARE(fx.child<QLabel>("Label3")->text(), label3);
        }
    }

    void startAndStop_data()
    {
        QTest::addColumn<QString>("steps"); // s/t = CmdStart/CmdStop click, S/T = mnuStart/mnuStop
        QTest::addColumn<bool>("running");
        QTest::addRow("loaded") << QString() << false;
        QTest::addRow("started by button") << u"s"_s << true;
        QTest::addRow("started by menu") << u"S"_s << true;
        QTest::addRow("started and stopped") << u"st"_s << false;
        QTest::addRow("button start, menu stop") << u"sT"_s << false;
        QTest::addRow("stopped, started again") << u"sts"_s << true;
    }
    void startAndStop()
    {
        QFETCH(QString, steps);
        QFETCH(bool, running);
        ConsoleFixture fx;
        ConsoleWindow& form = fx.open();
        QSignalSpy balloons(&form.tray(), &ConsoleTray::balloonShown);
        fx.context().console().setFlag(Flag::RecheckVisible, true); // as an idle tick leaves it
        QStringList said;
        for (const QChar c : steps) {
            const QString name =
                (c.isLower() ? u"Cmd"_s : u"mnu"_s) + (c.toLower() == u's' ? "Start" : "Stop");
            c.isLower() ? fx.click(name) : fx.child<QAction>(name)->trigger();
            said << (c.toLower() == u's' ? "Telvora Software|SMS Engine Start."
                                         : "Telvora Software|SMS Engine Stop.");
        }
        const bool loadedOnly = steps.isEmpty();
        QCOMPARE(form.isRunning(), running);
        QCOMPARE(fx.engine.isTicking(), running);
        QCOMPARE(fx.child("CmdStart")->isEnabled(), !running);
        QCOMPARE(fx.child<QAction>("mnuStart")->isEnabled(), !running);
        QCOMPARE(fx.child("CmdStop")->isEnabled(), running || loadedOnly);
        QCOMPARE(fx.child<QAction>("mnuStop")->isEnabled(), running || loadedOnly);
        for (const char* name : {"OpGSM", "Option2", "Combo1"})
            QCOMPARE(fx.child(name)->isEnabled(), !running);
        QCOMPARE(fx.shown("Lbbal"), !running);
        QCOMPARE(fx.shown("LbReturn"), !running);
        // Start and stop both hide the recheck link; the tick shows it again.
        QCOMPARE(fx.shown("Label4"), loadedOnly);
        QCOMPARE(balloonTexts(balloons), said);
        QCOMPARE(form.tray().tip(), loadedOnly ? "Telvora Software Sms Engine" : running ? "Start" : "Stop");
        QCOMPARE(form.tray().icon()->toolTip(), form.tray().tip());
    }

    void stateReachesWidgets()
    {
        // Title has no widget: it is the window's caption.
        const QList<std::tuple<Field, const char*, QString>> texts = {
            {Field::Trace, "Text2", "1 2 \r\nSelect Record \r\n"},
            {Field::Response, "Text1", "Message Submitted\r\nid=7"},
            {Field::Mobile, "LBmobile", "98-765 4321"},
            {Field::Message, "Lbmsg", "<b>Hi</b> & bye"},
            {Field::Status, "Label2", "Pending SMS : 3"},
            {Field::LastAttempt, "LB3", "14:05:09"},
            {Field::Counter, "LB4", "17"},
            {Field::Balance, "Lbbal1", "Balance: 120.50"},
            {Field::Title, "", "14:05:09"}};
        ConsoleFixture fx;
        const auto shownTexts = [&] {
            QStringList out;
            for (const auto& [field, widget, value] : texts) {
                auto* label = fx.form->findChild<QLabel*>(widget);
                if (!*widget)
                    out << fx.form->windowTitle();
                else if (label) // the engine's texts are never read as markup
                    out << (label->textFormat() == Qt::PlainText ? label->text() : "<markup>");
                else
                    out << fx.child<QPlainTextEdit>(widget)->toPlainText();
            }
            return out;
        };
        QStringList expected;
        fx.open();
        for (const auto& [field, widget, value] : texts) {
            fx.context().console().setText(field, value);
            expected << QString(value).replace("\r\n", "\n");
        }
        QCOMPARE(shownTexts(), expected);
        fx.open(Availability::Unavailable, false); // made after the engine wrote
        QCOMPARE(shownTexts(), expected);

        fx.open();
        ConsoleState& state = fx.context().console();
        for (const bool on : {true, false, true}) {
            for (const Flag flag :
                 {Flag::RecheckVisible, Flag::DeleteVisible, Flag::DeleteEnabled, Flag::WindowEnabled})
                state.setFlag(flag, on);
            QCOMPARE(fx.shown("Label4"), on);
            QCOMPARE(fx.shown("lbDelete"), on);
            QCOMPARE(fx.child("lbDelete")->isEnabled(), on);
            QCOMPARE(fx.child("CmdStart")->isEnabled(), on);
        }
        // The icon's menu stays usable while the window takes no input.
        state.setFlag(Flag::WindowEnabled, false);
        QVERIFY(fx.child<QAction>("mnuExit")->isEnabled() && fx.form->menu()->isEnabled());

        state.setChannel(ConsoleState::Channel::Gsm);
        QVERIFY(fx.child<QRadioButton>("OpGSM")->isChecked());
        QCOMPARE(fx.setting("Divice").toString(), u"GSM");
        QVERIFY(!fx.shown("LbReturn"));
        // Another screen that loads a profile shows its name here, without the console loading anything.
        fx.context().loadProfile("alpha");
        state.setText(Field::UserName, "alpha");
        QCOMPARE(fx.child<QComboBox>("Combo1")->currentText(), u"alpha");
        QCOMPARE(fx.context().profile().userName, u"alpha");
    }

    void trayAndCloseBox_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addRow("with a tray") << true;
        QTest::addRow("without a tray") << false;
    }
    void trayAndCloseBox()
    {
        QFETCH(bool, tray);
        ConsoleFixture fx;
        ConsoleWindow& form = fx.open(tray ? Availability::Available : Availability::Unavailable);
        auto* label3 = fx.child<QLabel>("Label3");
        label3->clear();
        form.show();
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&form, &activate);
        // The first time it comes up it steps aside behind the icon; without one it stays, and says so.
        QCOMPARE(form.isHidden(), tray);
        QCOMPARE(fx.child("noTrayNote")->isVisibleTo(&form), !tray);
        QCOMPARE(label3->text(), u" GSM : AG");
        fx.context().profile().gsmSid = "NEW";
        fx.child<QAction>("mnuShow")->trigger();
        QApplication::sendEvent(&form, &activate);
        QVERIFY(form.isVisible());
        QCOMPARE(label3->text(), u" GSM : NEW");

        fx.click("CmdStart");
        QVERIFY(!form.close()); // the close box: refused, the engine goes on
        QVERIFY(fx.engine.isTicking());
        QVERIFY(!form.isUnloaded() && form.tray().installed());
        QCOMPARE(form.isHidden(), tray);
        QCOMPARE(form.isMinimized(), !tray);
        // Only the right button opens the menu, and no click shows a hidden console.
        for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick,
                                  QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Context}) {
            Q_EMIT form.tray().icon()->activated(reason);
            QCOMPARE(form.menu()->isVisible(), reason == QSystemTrayIcon::Context);
            QCOMPARE(form.isHidden(), tray);
        }
        form.menu()->hide();
        fx.child<QAction>("mnuShow")->trigger();
        QVERIFY(form.isVisible() && !form.isMinimized());

        // A console that goes without Exit takes its icon along and stops the engine.
        QPointer<QSystemTrayIcon> icon = form.tray().icon();
        fx.form.reset();
        QVERIFY(icon.isNull());
        QVERIFY(!fx.engine.isTicking());
    }

    void exitDeletesLeftovers()
    {
        ConsoleFixture fx;
        for (const char* name : {"SMSQ/A.SM", "SMSQ/b.Sm", "SMSQ/c.sm", "SMSQ/order.sms", "SMSQ/note.txt",
                                 "SMSQ/x.smx", "smsq/a.sm", "smsq/b.SMS"})
            fx.writeFile(name, "x");
        QVERIFY(QDir().mkpath(fx.path("SMSQ/keep.sm"))); // a folder, not a leftover
        ConsoleWindow& form = fx.open(Availability::Available);
        form.show();
        fx.click("CmdStart");
        QSignalSpy unloaded(&form, &ConsoleWindow::unloaded);
        QSignalSpy removed(&form.tray(), &ConsoleTray::removed);
        // The menu's Exit while the button's Exit waits for pending events does nothing more.
        auto first = form.exitEngine();
        fx.child<QAction>("mnuExit")->trigger();
        QCoro::waitFor(std::move(first));
        QCoreApplication::processEvents();

        QCOMPARE(removed.size(), 1);
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!form.tray().installed() && form.isUnloaded() && form.isHidden());
        QVERIFY(!fx.engine.isTicking());
        QVERIFY(fx.prompt.messages.isEmpty());
        QCOMPARE(QDir(fx.path("SMSQ")).entryList(QDir::Files, QDir::Name),
                 (QStringList{"note.txt", "order.sms", "x.smx"}));
        QCOMPARE(QDir(fx.path("smsq")).entryList(QDir::Files, QDir::Name), QStringList{"b.SMS"});
        QVERIFY(QFileInfo(fx.path("SMSQ/keep.sm")).isDir());
        // An unloaded console no longer starts the engine.
        form.startEngine();
        QVERIFY(!fx.engine.isTicking());
    }

    void menuEntriesAndLinks()
    {
        ConsoleFixture fx;
        ConsoleWindow& form = fx.open();
        fx.context().console().setFlag(Flag::DeleteVisible, true);
        fx.context().console().setFlag(Flag::RecheckVisible, true);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // Each entry of the icon's menu, and the console's own button for the same screen.
        const QList<std::tuple<const char*, const char*, QString>> entries = {
            {"Ismssender", "screenBulkSender", Screens::BulkSender},
            {"singleSMS", "screenSingleMessage", Screens::SingleMessage},
            {"excelsheet", "screenSpreadsheet", Screens::SpreadsheetMessages},
            {"rpt", "screenReport", Screens::Report}};
        for (const auto& [entry, button, screen] : entries) {
            auto* action = fx.child<QAction>(entry);
            action->trigger(); // not registered: nothing opens, nothing breaks
            QVERIFY(!ScreenRegistry::instance().open(screen));
            int made = 0;
            ScreenRegistry::instance().registerScreen(screen, [&made] { return ++made, new QWidget; });
            action->trigger();
            QWidget* opened = ScreenRegistry::instance().open(screen);
            QVERIFY2(opened && opened->isVisible(), entry);
            action->trigger(); // a second time: the same screen, brought forward
            QCOMPARE(ScreenRegistry::instance().open(screen), opened);
            QCOMPARE(made, 1);
            opened->close();
            QVERIFY2(fx.shown(button), button);
            fx.click(button);
            QVERIFY2(opened->isVisible(), button);
            opened->close();
        }

        // The title hides a door to the single message screen.
        QVERIFY(!fx.shown("JeweledButton1"));
        QTest::mouseClick(fx.child("Label1"), Qt::LeftButton);
        fx.click("JeweledButton1");
        QVERIFY(!fx.shown("JeweledButton1"));
        QVERIFY(ScreenRegistry::instance().open(Screens::SingleMessage)->isVisible());

        QSignalSpy spies[] = {{&form, &ConsoleWindow::balanceRequested},
                              {&form, &ConsoleWindow::deleteRequested},
                              {&form, &ConsoleWindow::passwordChangeRequested},
                              {&form, &ConsoleWindow::recheckRequested}};
        const char* links[] = {"Lbbal", "lbDelete", "LbReturn", "Label4"};
        for (int i = 0; i < 4; ++i) {
            QTest::mouseClick(fx.child(links[i]), Qt::LeftButton);
            fx.child(links[i])->setEnabled(false); // a disabled link takes no click
            QTest::mouseClick(fx.child(links[i]), Qt::LeftButton);
            for (int j = 0; j < 4; ++j)
                QCOMPARE(spies[j].size(), j <= i ? 1 : 0);
        }

        // The channel row keeps its place when the sender ids hide with the modem channel.
        const QRect internet = fx.child("Option2")->geometry();
        fx.click("OpGSM");
        QApplication::sendPostedEvents(); // the layout settles
        QVERIFY(!fx.shown("Label3"));
        QCOMPARE(fx.child("Option2")->geometry(), internet);
    }

    // The cases below run the real event loop through showConsole().
    void exitEndsProcess_data()
    {
        QTest::addColumn<bool>("reportOpen");
        QTest::addColumn<bool>("consoleHidden");
        QTest::addColumn<bool>("exit"); // else the close box, then the report closes
        QTest::addRow("nothing else open") << false << false << true;
        QTest::addRow("nothing else open, console hidden") << false << true << true;
        QTest::addRow("report open: ends when it closes") << true << true << true;
        QTest::addRow("close box: goes on behind the icon") << true << false << false;
    }
    void exitEndsProcess()
    {
        QFETCH(bool, reportOpen);
        QFETCH(bool, consoleHidden);
        QFETCH(bool, exit);
        ConsoleFixture fx;
        bool reportOpenAfterExit = false, consoleAlive = false;
        const int code = runConsole(fx, [&] {
            ConsoleWindow* form = liveConsole();
            QVERIFY(form);
            form->setHidden(consoleHidden);
            QWidget* report = reportOpen ? openReport() : nullptr;
            if (exit) {
                form->findChild<QAction*>("mnuExit")->trigger();
            } else {
                form->close();
                QVERIFY(form->isHidden());
                report->close(); // nothing is visible any more
            }
            if (report) {
                QTimer::singleShot(300, [&, report] {
                    ConsoleWindow* still = liveConsole();
                    consoleAlive = still && !still->isUnloaded() && fx.engine.interval() == 0;
                    reportOpenAfterExit = exit && report->isVisible(); // the report kept the process alive
                    exit ? void(report->close()) : QCoreApplication::exit(7);
                });
            }
        });
        QCOMPARE(code, exit ? 0 : 7);
        QVERIFY(!liveConsole()); // showConsole deletes it on its way out
        QCOMPARE(reportOpenAfterExit, reportOpen && exit);
        QCOMPARE(consoleAlive, !exit);
    }

    void consoleFailsToLoad()
    {
        ConsoleFixture fx;
        fx.store().exec("drop table config");
        QCOMPARE(showConsole(fx.context(), fx.engine, fx.options(Availability::Detect)), 1);
        QCOMPARE(fx.prompt.messages.size(), 1);
        QCOMPARE(fx.prompt.messages[0].icon, Prompt::Icon::Critical);
        QVERIFY(!liveConsole());
    }
};

QTEST_MAIN(TestConsoleWindow)
#include "tst_consolewindow.moc"

#include "ScriptedPrompt.h"
#include "StoreFixture.h"

#include "console/ConsoleLauncher.h"
#include "console/ConsoleWindow.h"
#include "dispatch/Engine.h"
#include "ui/ScreenRegistry.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <QCoroTask>

using Availability = ConsoleTray::Availability;
using Field = ConsoleState::Field;
using Flag = ConsoleState::Flag;
Q_DECLARE_METATYPE(ConsoleTray::Availability)

// Three gateway profiles (alpha the default unless told otherwise), an engine, a settings file of the
// test's own and the console on it.
class ConsoleFixture : public StoreFixture
{
public:
    explicit ConsoleFixture(int alphaInterval = 3000, const QString& defaultProfile = "alpha")
    {
        const auto profile = [&](const QString& name, int interval, int smsId, const char* gsm,
                                 const QVariant& cdma) {
            addProfile(name, {{"TmInterval", interval},
                              {"Smsid", smsId},
                              {"GsmSid", gsm},
                              {"CDMASid", cdma},
                              {"Defult", int(name == defaultProfile)}});
        };
        profile("alpha", alphaInterval, 42, "AG", "AC");
        profile("beta", 7000, 7, "BG", "BC");
        profile("gamma", 1500, 0, "CG", QVariant());
        context().loadProfile(QString());
    }

    ConsoleOptions options(Availability tray) const
    {
        ConsoleOptions o;
        o.settingsFile = path("settings/console.ini");
        o.tray = tray;
        return o;
    }
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
    void writeSetting(const QString& key, const QVariant& value)
    {
        if (value.isValid())
            QSettings(path("settings/console.ini"), QSettings::IniFormat)
                .setValue("AutoStartService/" + key, value);
    }
    template <typename T = QWidget> T* child(const QString& name) const
    {
        T* w = form->findChild<T*>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }
    bool shown(const QString& name) const { return !child(name)->isHidden(); }
    QStringList profileNames() const
    {
        QStringList names;
        for (int i = 0; i < child<QComboBox>("Combo1")->count(); ++i)
            names << child<QComboBox>("Combo1")->itemText(i);
        return names;
    }

    ScriptedPrompt prompt;
    Engine engine{context()}; // outlives the console
    std::unique_ptr<ConsoleWindow> form;
};

class TestConsoleWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void load_data();
    void load();
    void gsmIntervalKeptUntilProfileLoad();
    void channelClicks_data();
    void channelClicks();
    void profileList();
    void profileChoice_data();
    void profileChoice();
    void profileChoiceFailures_data();
    void profileChoiceFailures();
    void startAndStop_data();
    void startAndStop();
    void dispatchInterval_data();
    void dispatchInterval();
    void stateTextsReachWidgets_data();
    void stateTextsReachWidgets();
    void stateFlagsReachWidgets_data();
    void stateFlagsReachWidgets();
    void stateChannelAndUserName();
    void closeBox_data();
    void closeBox();
    void firstActivation_data();
    void firstActivation();
    void trayClicks_data();
    void trayClicks();
    void exitDeletesLeftovers_data();
    void exitDeletesLeftovers();
    void unloadRemovesIcon();
    void menuScreens_data();
    void menuScreens();
    void singleMessageDoor();
    void links_data();
    void links();
    // These run the real event loop through showConsole().
    void exitEndsProcess_data();
    void exitEndsProcess();
    void hiddenConsoleKeepsProcess();
    void consoleFailsToLoad();
};

void TestConsoleWindow::cleanup()
{
    ScreenRegistry::instance().clear();
    for (QWidget* w : QApplication::topLevelWidgets())
        w->close();
}

void TestConsoleWindow::load_data()
{
    QTest::addColumn<QVariant>("start");
    QTest::addColumn<QVariant>("divice");
    QTest::addColumn<int>("tmInterval");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("gsm");

    const QVariant none;
    QTest::newRow("nothing stored") << none << none << 3000 << false << 0 << false;
    QTest::newRow("GSM, auto-start") << QVariant("1") << QVariant("GSM") << 3000 << true << 10000 << true;
    QTest::newRow("GSM, auto-start, no-tick profile")
        << QVariant("1") << QVariant("GSM") << 0 << true << 10000 << true;
    QTest::newRow("INT, auto-start") << QVariant("1") << QVariant("INT") << 3000 << true << 3000 << false;
    QTest::newRow("GSM, auto-start off") << QVariant("0") << QVariant("GSM") << 3000 << false << 0 << true;
}

void TestConsoleWindow::load()
{
    QFETCH(QVariant, start);
    QFETCH(QVariant, divice);
    QFETCH(int, tmInterval);
    QFETCH(bool, running);
    QFETCH(int, interval);
    QFETCH(bool, gsm);

    ConsoleFixture fx(tmInterval);
    fx.writeSetting("Start", start);
    fx.writeSetting("Divice", divice);
    ConsoleWindow& form = fx.open(Availability::Unavailable, false);
    QSignalSpy balloons(&form.tray(), &ConsoleTray::balloonShown);
    form.load();

    QCOMPARE(form.isRunning(), running);
    QCOMPARE(fx.child<QCheckBox>("ChAuto")->isChecked(), running);
    QCOMPARE(fx.engine.interval(), interval);
    QCOMPARE(fx.engine.isTicking(), interval > 0);
    QCOMPARE(fx.child<QRadioButton>("OpGSM")->isChecked(), gsm);
    QCOMPARE(fx.child<QRadioButton>("Option2")->isChecked(), !gsm);
    QCOMPARE(fx.context().console().channel(),
             gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
    QCOMPARE(fx.shown("LbReturn"), !gsm && !running);
    QCOMPARE(fx.shown("Label3"), !gsm);
    QVERIFY(!fx.shown("Label4"));
    // Loading chooses nothing: what was stored stays, and nothing is written on a first run.
    QCOMPARE(fx.setting("Start"), start);
    QCOMPARE(fx.setting("Divice"), divice);

    QVERIFY(QRegularExpression("^Engine Start Time :\\d\\d:\\d\\d:\\d\\d$")
                .match(fx.child<QLabel>("Lb1")->text())
                .hasMatch());
    QCOMPARE(fx.child<QLabel>("LB2")->text(), QStringLiteral("Total Sms Sent : 42"));
    QCOMPARE(form.windowTitle(), ConsoleWindow::loadCaption());
    QCOMPARE(fx.context().console().text(Field::Title), ConsoleWindow::loadCaption());

    QVERIFY(form.tray().installed());
    QStringList texts;
    for (const auto& b : balloons) {
        QCOMPARE(b.at(0).toString(), QStringLiteral("Telvora Software"));
        texts << b.at(1).toString();
    }
    QStringList expected{"SMS Engine Started."};
    if (running)
        expected << "SMS Engine Start.";
    QCOMPARE(texts, expected);
    const QString tip = running ? "Start" : "Telvora Software Sms Engine";
    QCOMPARE(form.tray().tip(), tip);
    QCOMPARE(form.tray().icon()->toolTip(), tip);
}

void TestConsoleWindow::gsmIntervalKeptUntilProfileLoad()
{
    ConsoleFixture fx;
    ConsoleWindow& form = fx.open();
    auto* start = fx.child<QPushButton>("CmdStart");
    auto* stop = fx.child<QPushButton>("CmdStop");

    fx.child<QRadioButton>("OpGSM")->click();
    start->click();
    QCOMPARE(fx.engine.interval(), 10000);
    QCOMPARE(fx.context().profile().interval, 10000);
    stop->click();
    QCOMPARE(fx.engine.interval(), 0);
    QVERIFY(!fx.engine.isTicking());
    // The password link belongs to the HTTP gateway, also after a stop.
    QVERIFY(!fx.shown("LbReturn"));

    fx.child<QRadioButton>("Option2")->click();
    QVERIFY(fx.shown("LbReturn"));
    start->click();
    QCOMPARE(fx.engine.interval(), 10000); // still the modem's pace
    stop->click();

    QVERIFY(form.chooseProfile("alpha"));
    start->click();
    QCOMPARE(fx.engine.interval(), 3000); // the profile's own again
}

void TestConsoleWindow::channelClicks_data()
{
    QTest::addColumn<QString>("clicks"); // G = OpGSM, I = Option2
    QTest::addColumn<bool>("gsm");

    QTest::newRow("GSM") << "G" << true;
    QTest::newRow("GSM then INTERNET") << "GI" << false;
    QTest::newRow("INTERNET already selected") << "I" << false;
    QTest::newRow("back and forth") << "GIG" << true;
}

void TestConsoleWindow::channelClicks()
{
    QFETCH(QString, clicks);
    QFETCH(bool, gsm);

    ConsoleFixture fx;
    fx.open();
    for (const QChar c : clicks)
        fx.child<QRadioButton>(c == u'G' ? "OpGSM" : "Option2")->click();

    QCOMPARE(fx.setting("Divice").toString(), gsm ? "GSM" : "INT");
    QCOMPARE(fx.shown("LbReturn"), !gsm);
    QCOMPARE(fx.shown("Label3"), !gsm);
    QCOMPARE(fx.context().console().channel(),
             gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
    // The next console reads the choice back.
    fx.open();
    QCOMPARE(fx.child<QRadioButton>("OpGSM")->isChecked(), gsm);
}

void TestConsoleWindow::profileList()
{
    // The names as the store returns them, the default one selected even when it is not the first.
    ConsoleFixture fx(3000, "gamma");
    fx.open();
    QCOMPARE(fx.profileNames(), (QStringList{"alpha", "beta", "gamma"}));
    QCOMPARE(fx.child<QComboBox>("Combo1")->currentText(), QStringLiteral("gamma"));
    QCOMPARE(fx.context().console().text(Field::UserName), QStringLiteral("gamma"));
}

void TestConsoleWindow::profileChoice_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("label3");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("smsId");

    QTest::newRow("beta") << 1 << " GSM : BG    CDMA : BC" << 7000 << 7;
    QTest::newRow("gamma without CDMA id") << 2 << " GSM : CG    CDMA : " << 1500 << 0;
}

void TestConsoleWindow::profileChoice()
{
    QFETCH(int, index);
    QFETCH(QString, label3);
    QFETCH(int, interval);
    QFETCH(int, smsId);

    ConsoleFixture fx;
    fx.open();
    fx.context().profile().interval = 10000; // as a GSM start leaves it
    auto* combo = fx.child<QComboBox>("Combo1");
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index); // the operator's choice

    QCOMPARE(fx.context().profile().userName, combo->itemText(index));
    QCOMPARE(fx.context().profile().interval, interval);
    QCOMPARE(fx.context().profile().smsId, smsId);
    QCOMPARE(fx.child<QLabel>("Label3")->text(), label3);
    QCOMPARE(fx.context().console().text(Field::UserName), combo->itemText(index));
    QVERIFY(fx.prompt.messages.isEmpty());
}

void TestConsoleWindow::profileChoiceFailures_data()
{
    QTest::addColumn<QString>("breakSql");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("namesAfter");

    QTest::newRow("profile removed meanwhile")
        << "delete from config where UName = 'beta'"
        << " Please Call Administrator " << QStringList{"alpha", "gamma"};
    QTest::newRow("profile without password") << "update config set Password = NULL where UName = 'beta'"
                                              << "Password" << QStringList{"alpha", "beta", "gamma"};
}

void TestConsoleWindow::profileChoiceFailures()
{
    QFETCH(QString, breakSql);
    QFETCH(QString, message);
    QFETCH(QStringList, namesAfter);

    ConsoleFixture fx;
    fx.open();
    auto* combo = fx.child<QComboBox>("Combo1");
    fx.store().exec(breakSql);
    combo->setCurrentIndex(1);
    Q_EMIT combo->activated(1);

    // The operator is told, and the loaded profile stays in force.
    QCOMPARE(fx.prompt.messages.size(), 1);
    QVERIFY2(fx.prompt.messages[0].text.contains(message), qPrintable(fx.prompt.messages[0].text));
    QCOMPARE(fx.prompt.messages[0].icon, Prompt::Icon::Critical);
    QCOMPARE(fx.context().profile().userName, QStringLiteral("alpha"));
    QCOMPARE(combo->currentText(), QStringLiteral("alpha"));
    QCOMPARE(fx.context().console().text(Field::UserName), QStringLiteral("alpha"));
    QCOMPARE(fx.profileNames(), namesAfter);
}

void TestConsoleWindow::startAndStop_data()
{
    QTest::addColumn<QString>("steps"); // s/t = CmdStart/CmdStop click, S/T = mnuStart/mnuStop
    QTest::addColumn<bool>("running");

    QTest::newRow("loaded") << "" << false;
    QTest::newRow("started by button") << "s" << true;
    QTest::newRow("started by menu") << "S" << true;
    QTest::newRow("started and stopped") << "st" << false;
    QTest::newRow("button start, menu stop") << "sT" << false;
    QTest::newRow("stopped, started again") << "sts" << true;
}

void TestConsoleWindow::startAndStop()
{
    QFETCH(QString, steps);
    QFETCH(bool, running);

    ConsoleFixture fx;
    ConsoleWindow& form = fx.open();
    QSignalSpy balloons(&form.tray(), &ConsoleTray::balloonShown);
    fx.context().console().setFlag(Flag::RecheckVisible, true); // as an idle tick leaves it
    const QMap<QChar, QString> controls{
        {u's', "CmdStart"}, {u't', "CmdStop"}, {u'S', "mnuStart"}, {u'T', "mnuStop"}};
    for (const QChar c : steps) {
        if (c.isLower())
            fx.child<QPushButton>(controls[c])->click();
        else
            fx.child<QAction>(controls[c])->trigger();
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
    if (!loadedOnly) {
        QCOMPARE(form.tray().tip(), running ? "Start" : "Stop");
        QCOMPARE(form.tray().icon()->toolTip(), form.tray().tip());
        QVERIFY(!balloons.isEmpty());
        QCOMPARE(balloons.last().at(0).toString(), QStringLiteral("Telvora Software"));
        QCOMPARE(balloons.last().at(1).toString(), running ? "SMS Engine Start." : "SMS Engine Stop.");
    }
}

void TestConsoleWindow::dispatchInterval_data()
{
    QTest::addColumn<int>("tmInterval");
    QTest::addColumn<int>("timerInterval");

    QTest::newRow("ordinary") << 3000 << 3000;
    QTest::newRow("above 65535 is honoured") << 65536 << 65536;
    QTest::newRow("zero: no tick") << 0 << 0;
    QTest::newRow("negative: no tick") << -5 << 0;
}

void TestConsoleWindow::dispatchInterval()
{
    QFETCH(int, tmInterval);
    QFETCH(int, timerInterval);

    ConsoleFixture fx(tmInterval);
    fx.open();
    fx.context().console().setText(Field::Status, "No SMS in Queue 10:00:00");
    fx.child<QPushButton>("CmdStart")->click();
    QCOMPARE(fx.engine.interval(), timerInterval);
    QCOMPARE(fx.engine.isTicking(), timerInterval > 0);
    const QString status = fx.child<QLabel>("Label2")->text();
    if (timerInterval > 0) {
        QCOMPARE(status, QStringLiteral("No SMS in Queue 10:00:00"));
    } else {
        QVERIFY2(status.contains("not ticking"), qPrintable(status));
        QVERIFY2(status.contains(QString::number(tmInterval)), qPrintable(status));
    }
}

void TestConsoleWindow::stateTextsReachWidgets_data()
{
    QTest::addColumn<Field>("field");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");

    const auto row = [](const char* tag, Field field, const char* widget, const QString& value,
                        const QString& shown) {
        QTest::newRow(tag) << field << QString(widget) << value << shown;
    };
    row("trace", Field::Trace, "Text2", "1 2 \r\nSelect Record \r\n", "1 2 \nSelect Record \n");
    row("response", Field::Response, "Text1", "Message Submitted\r\nid=7", "Message Submitted\nid=7");
    row("mobile", Field::Mobile, "LBmobile", "98-765 4321", "98-765 4321");
    row("message as markup text", Field::Message, "Lbmsg", "<b>Hi</b> & bye", "<b>Hi</b> & bye");
    row("status", Field::Status, "Label2", "Pending SMS : 3", "Pending SMS : 3");
    row("last attempt", Field::LastAttempt, "LB3", "14:05:09", "14:05:09");
    row("counter", Field::Counter, "LB4", "17", "17");
    row("balance", Field::Balance, "Lbbal1", "Balance: 120.50", "Balance: 120.50");
    row("title", Field::Title, "Form2", "14:05:09", "14:05:09");
}

void TestConsoleWindow::stateTextsReachWidgets()
{
    QFETCH(Field, field);
    QFETCH(QString, widget);
    QFETCH(QString, value);
    QFETCH(QString, shown);

    ConsoleFixture fx;
    const auto text = [&] {
        if (widget == "Form2")
            return fx.form->windowTitle();
        if (auto* box = fx.form->findChild<QPlainTextEdit*>(widget))
            return box->toPlainText();
        auto* label = fx.child<QLabel>(widget);
        return label->textFormat() == Qt::PlainText ? label->text() : QStringLiteral("<not plain text>");
    };
    fx.open();
    fx.context().console().setText(field, value);
    QCOMPARE(text(), shown);
    // A console made while the engine already wrote shows the same.
    fx.open(Availability::Unavailable, false);
    QCOMPARE(text(), shown);
}

void TestConsoleWindow::stateFlagsReachWidgets_data()
{
    QTest::addColumn<Flag>("flag");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<bool>("visibility"); // else enabled state

    QTest::newRow("recheck link") << Flag::RecheckVisible << "Label4" << true;
    QTest::newRow("delete link shown") << Flag::DeleteVisible << "lbDelete" << true;
    QTest::newRow("delete link enabled") << Flag::DeleteEnabled << "lbDelete" << false;
    QTest::newRow("window takes input") << Flag::WindowEnabled << "CmdStart" << false;
}

void TestConsoleWindow::stateFlagsReachWidgets()
{
    QFETCH(Flag, flag);
    QFETCH(QString, widget);
    QFETCH(bool, visibility);

    ConsoleFixture fx;
    ConsoleWindow& form = fx.open();
    QWidget* w = fx.child(widget);
    for (const bool on : {true, false, true}) {
        fx.context().console().setFlag(flag, on);
        QCOMPARE(visibility ? !w->isHidden() : w->isEnabled(), on);
    }
    if (flag == Flag::WindowEnabled) {
        // The icon's menu stays usable while the window takes no input.
        fx.context().console().setFlag(flag, false);
        QVERIFY(fx.child<QAction>("mnuExit")->isEnabled());
        QVERIFY(form.menu()->isEnabled());
    }
}

void TestConsoleWindow::stateChannelAndUserName()
{
    ConsoleFixture fx;
    fx.open();
    fx.context().console().setChannel(ConsoleState::Channel::Gsm);
    QVERIFY(fx.child<QRadioButton>("OpGSM")->isChecked());
    QCOMPARE(fx.setting("Divice").toString(), QStringLiteral("GSM"));
    QVERIFY(!fx.shown("LbReturn"));

    // Another screen that loads a profile shows its name here, without the console loading anything.
    fx.context().loadProfile("beta");
    fx.context().console().setText(Field::UserName, "beta");
    QCOMPARE(fx.child<QComboBox>("Combo1")->currentText(), QStringLiteral("beta"));
    QCOMPARE(fx.context().profile().userName, QStringLiteral("beta"));
}

void TestConsoleWindow::closeBox_data()
{
    QTest::addColumn<Availability>("tray");
    QTest::newRow("with a tray: hidden") << Availability::Available;
    QTest::newRow("without a tray: minimized") << Availability::Unavailable;
}

void TestConsoleWindow::closeBox()
{
    QFETCH(Availability, tray);

    ConsoleFixture fx;
    ConsoleWindow& form = fx.open(tray);
    form.show();
    fx.child<QPushButton>("CmdStart")->click();

    QVERIFY(!form.close()); // the close box: refused, the engine goes on
    QVERIFY(fx.engine.isTicking());
    QCOMPARE(fx.engine.interval(), 3000);
    QVERIFY(!form.isUnloaded());
    QVERIFY(form.tray().installed());
    QCOMPARE(form.isHidden(), tray == Availability::Available);
    QCOMPARE(form.isMinimized(), tray == Availability::Unavailable);

    fx.child<QAction>("mnuShow")->trigger();
    QVERIFY(form.isVisible());
    QVERIFY(!form.isMinimized());
}

void TestConsoleWindow::firstActivation_data()
{
    QTest::addColumn<Availability>("tray");
    QTest::addColumn<bool>("shownByMenuFirst");
    QTest::addColumn<bool>("hiddenAfterFirst");
    QTest::newRow("with a tray") << Availability::Available << false << true;
    QTest::newRow("without a tray") << Availability::Unavailable << false << false;
    QTest::newRow("with a tray, Show Main Window first") << Availability::Available << true << false;
}

void TestConsoleWindow::firstActivation()
{
    QFETCH(Availability, tray);
    QFETCH(bool, shownByMenuFirst);
    QFETCH(bool, hiddenAfterFirst);

    ConsoleFixture fx;
    ConsoleWindow& form = fx.open(tray);
    auto* label3 = fx.child<QLabel>("Label3");
    label3->clear();
    if (shownByMenuFirst)
        fx.child<QAction>("mnuShow")->trigger();
    else
        form.show();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&form, &activate);
    QCOMPARE(form.isHidden(), hiddenAfterFirst);
    QCOMPARE(label3->text(), QStringLiteral(" GSM : AG"));

    // Later activations only refresh the sender id.
    fx.context().profile().gsmSid = "NEW";
    fx.child<QAction>("mnuShow")->trigger();
    QApplication::sendEvent(&form, &activate);
    QVERIFY(form.isVisible());
    QCOMPARE(label3->text(), QStringLiteral(" GSM : NEW"));
}

void TestConsoleWindow::trayClicks_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<bool>("menuOpens");
    QTest::addColumn<bool>("consoleShown");

    QTest::newRow("right button, console shown") << QSystemTrayIcon::Context << true << true;
    QTest::newRow("right button, console hidden") << QSystemTrayIcon::Context << true << false;
    QTest::newRow("left click, console hidden") << QSystemTrayIcon::Trigger << false << false;
    QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << false << false;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << false << false;
}

void TestConsoleWindow::trayClicks()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(bool, menuOpens);
    QFETCH(bool, consoleShown);

    ConsoleFixture fx;
    ConsoleWindow& form = fx.open(Availability::Available);
    form.setVisible(consoleShown);
    Q_EMIT form.tray().icon()->activated(reason);
    QCOMPARE(form.menu()->isVisible(), menuOpens);
    // The click never shows a hidden console by itself.
    QCOMPARE(form.isVisible(), consoleShown);
    form.menu()->hide();
}

void TestConsoleWindow::exitDeletesLeftovers_data()
{
    QTest::addColumn<QString>("folder"); // empty: no folder
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("kept");

    QTest::newRow("leftovers in any letter case")
        << "SMSQ" << QStringList{"A.SM", "b.Sm", "c.sm", "order.sms", "note.txt", "x.smx"}
        << QStringList{"note.txt", "order.sms", "x.smx"};
    QTest::newRow("folder in lower case") << "smsq" << QStringList{"a.sm", "b.SMS"} << QStringList{"b.SMS"};
    QTest::newRow("no folder") << "" << QStringList{} << QStringList{};
}

void TestConsoleWindow::exitDeletesLeftovers()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, files);
    QFETCH(QStringList, kept);

    ConsoleFixture fx;
    if (!folder.isEmpty()) {
        for (const QString& name : files)
            fx.writeFile(folder + "/" + name, "x");
        // A folder named like a leftover is not a file to delete.
        QVERIFY(QDir().mkpath(fx.path(folder + "/keep.sm")));
    }
    ConsoleWindow& form = fx.open(Availability::Available);
    form.show();
    fx.child<QPushButton>("CmdStart")->click();
    QSignalSpy unloaded(&form, &ConsoleWindow::unloaded);
    QSignalSpy removed(&form.tray(), &ConsoleTray::removed);

    // The menu's Exit while the button's Exit waits for pending events does nothing more.
    auto first = form.exitEngine();
    fx.child<QAction>("mnuExit")->trigger();
    QCoro::waitFor(std::move(first));
    QCoreApplication::processEvents();

    QCOMPARE(removed.size(), 1);
    QVERIFY(!form.tray().installed());
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(form.isUnloaded());
    QVERIFY(form.isHidden());
    QVERIFY(!fx.engine.isTicking());
    QVERIFY(fx.prompt.messages.isEmpty()); // no message of any kind
    if (!folder.isEmpty()) {
        QCOMPARE(QDir(fx.path(folder)).entryList(QDir::Files, QDir::Name), kept);
        QVERIFY(QFileInfo(fx.path(folder + "/keep.sm")).isDir());
    }
    // An unloaded console no longer starts the engine.
    form.startEngine();
    QVERIFY(!fx.engine.isTicking());
}

void TestConsoleWindow::unloadRemovesIcon()
{
    ConsoleFixture fx;
    ConsoleWindow& form = fx.open(Availability::Available);
    fx.child<QPushButton>("CmdStart")->click();
    QPointer<QSystemTrayIcon> icon = form.tray().icon();
    QVERIFY(icon && icon->isVisible());
    fx.form.reset(); // the console goes without Exit
    QVERIFY(icon.isNull());
    QVERIFY(!fx.engine.isTicking());
}

void TestConsoleWindow::menuScreens_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("screen");
    QTest::newRow("Instant SMS Sender") << "Ismssender" << Screens::BulkSender;
    QTest::newRow("Single SMS") << "singleSMS" << Screens::SingleMessage;
    QTest::newRow("Sms From ExcelSheet") << "excelsheet" << Screens::SpreadsheetMessages;
    QTest::newRow("Report Window") << "rpt" << Screens::Report;
}

void TestConsoleWindow::menuScreens()
{
    QFETCH(QString, entry);
    QFETCH(QString, screen);

    ConsoleFixture fx;
    fx.open();
    auto* action = fx.child<QAction>(entry);
    // Not registered yet: nothing opens, nothing breaks.
    action->trigger();
    QVERIFY(!ScreenRegistry::instance().open(screen));

    int made = 0;
    ScreenRegistry::instance().registerScreen(screen, [&made] {
        ++made;
        return new QWidget;
    });
    action->trigger();
    QWidget* opened = ScreenRegistry::instance().open(screen);
    QVERIFY(opened && opened->isVisible());
    action->trigger(); // a second time: the same screen, brought forward
    QCOMPARE(ScreenRegistry::instance().open(screen), opened);
    QCOMPARE(made, 1);
}

void TestConsoleWindow::singleMessageDoor()
{
    ConsoleFixture fx;
    ConsoleWindow& form = fx.open();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ScreenRegistry::instance().registerScreen(Screens::SingleMessage, [] { return new QWidget; });
    auto* button = fx.child<QPushButton>("JeweledButton1");
    QVERIFY(button->isHidden());
    QTest::mouseClick(fx.child("Label1"), Qt::LeftButton);
    QVERIFY(!button->isHidden());
    button->click();
    QVERIFY(button->isHidden());
    QWidget* single = ScreenRegistry::instance().open(Screens::SingleMessage);
    QVERIFY(single && single->isVisible());
}

void TestConsoleWindow::links_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("signal"); // index into the signals below
    QTest::newRow("Display Bal.") << "Lbbal" << 0;
    QTest::newRow("Delete this SMS") << "lbDelete" << 1;
    QTest::newRow("Chnage Password ") << "LbReturn" << 2;
    QTest::newRow("Re-Check For Undiliverd") << "Label4" << 3;
}

void TestConsoleWindow::links()
{
    QFETCH(QString, link);
    QFETCH(int, signal);

    ConsoleFixture fx;
    ConsoleWindow& form = fx.open();
    fx.context().console().setFlag(Flag::DeleteVisible, true);
    fx.context().console().setFlag(Flag::RecheckVisible, true);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy spies[] = {{&form, &ConsoleWindow::balanceRequested},
                          {&form, &ConsoleWindow::deleteRequested},
                          {&form, &ConsoleWindow::passwordChangeRequested},
                          {&form, &ConsoleWindow::recheckRequested}};
    QWidget* label = fx.child(link);
    QVERIFY(label->isVisible());
    QTest::mouseClick(label, Qt::LeftButton);
    // A disabled link takes no click.
    label->setEnabled(false);
    QTest::mouseClick(label, Qt::LeftButton);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(spies[i].size(), i == signal ? 1 : 0);
}

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

// Runs showConsole, with script queued to run inside its loop and a watchdog that ends the loop with 99.
int runConsole(ConsoleFixture& fx, const std::function<void()>& script)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    QTimer::singleShot(0, script);
    return showConsole(fx.context(), fx.engine, fx.options(Availability::Available));
}
} // namespace

void TestConsoleWindow::exitEndsProcess_data()
{
    QTest::addColumn<bool>("reportOpen");
    QTest::addColumn<bool>("consoleHidden");
    QTest::newRow("nothing else open") << false << false;
    QTest::newRow("nothing else open, console hidden") << false << true;
    QTest::newRow("report open: ends when it closes") << true << true;
}

void TestConsoleWindow::exitEndsProcess()
{
    QFETCH(bool, reportOpen);
    QFETCH(bool, consoleHidden);

    ConsoleFixture fx;
    bool reportStillOpenAfterExit = false;
    bool stillRunningAfterExit = false;
    const int code = runConsole(fx, [&] {
        ConsoleWindow* form = liveConsole();
        QVERIFY(form);
        if (consoleHidden)
            form->hide();
        QWidget* report = reportOpen ? openReport() : nullptr;
        form->findChild<QAction*>("mnuExit")->trigger();
        if (report) {
            QTimer::singleShot(300, report, [&, report] {
                // Exit has run; the report keeps the process alive.
                stillRunningAfterExit = true;
                reportStillOpenAfterExit = report->isVisible();
                report->close();
            });
        }
    });
    QCOMPARE(code, 0);
    QVERIFY(!liveConsole()); // the console was unloaded and deleted
    QCOMPARE(stillRunningAfterExit, reportOpen);
    QCOMPARE(reportStillOpenAfterExit, reportOpen);
}

void TestConsoleWindow::hiddenConsoleKeepsProcess()
{
    ConsoleFixture fx;
    bool consoleAlive = false;
    const int code = runConsole(fx, [&] {
        ConsoleWindow* form = liveConsole();
        QVERIFY(form);
        QWidget* report = openReport();
        form->close(); // the close box: hidden behind the icon
        QVERIFY(form->isHidden());
        report->close();
        // Nothing is visible any more, yet the engine goes on.
        QTimer::singleShot(300, [&] {
            ConsoleWindow* still = liveConsole();
            consoleAlive = still && !still->isUnloaded() && fx.engine.interval() == 0;
            QCoreApplication::exit(7);
        });
    });
    QCOMPARE(code, 7);
    QVERIFY(consoleAlive);
    QVERIFY(!liveConsole()); // showConsole deletes it on its way out
}

void TestConsoleWindow::consoleFailsToLoad()
{
    ConsoleFixture fx;
    fx.store().exec("drop table config");
    QCOMPARE(showConsole(fx.context(), fx.engine, fx.options(Availability::Unavailable)), 1);
    QCOMPARE(fx.prompt.messages.size(), 1);
    QCOMPARE(fx.prompt.messages[0].icon, Prompt::Icon::Critical);
    QVERIFY(!liveConsole());
}

QTEST_MAIN(TestConsoleWindow)
#include "tst_consolewindow.moc"

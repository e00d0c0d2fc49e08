#include "ConsoleFixture.h"

#include "ui/ScreenRegistry.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSystemTrayIcon>

#include <QCoroTask>

using Availability = ConsoleTray::Availability;
using Field = ConsoleState::Field;
using Flag = ConsoleState::Flag;

Q_DECLARE_METATYPE(ConsoleTray::Availability)

class TestConsoleWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ScreenRegistry::instance().clear(); }

    void captions();
    void firstRunWithoutSettings();
    void loadFromSettings_data();
    void loadFromSettings();
    void gsmIntervalKeptUntilProfileLoad();
    void channelClicks_data();
    void channelClicks();
    void profileList();
    void profileChoice_data();
    void profileChoice();
    void profileChoiceFailures_data();
    void profileChoiceFailures();
    void enabledStates_data();
    void enabledStates();
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
    void exitTwiceRunsOnce();
    void unloadRemovesIcon();
    void menuScreens_data();
    void menuScreens();
    void singleMessageDoor();
    void links_data();
    void links();
};

void TestConsoleWindow::captions()
{
    ConsoleFixture fx;
    ConsoleWindow& form = fx.makeConsole();
    QCOMPARE(form.objectName(), QStringLiteral("Form2"));

    const QList<QPair<const char*, QString>> buttons = {
        {"CmdStart", QStringLiteral("&START")},
        {"CmdStop", QStringLiteral("S&TOP")},
        {"CmdExit", QStringLiteral("E&XIT")},
        {"ChAuto", QStringLiteral("Auto Start Service")},
        {"OpGSM", QStringLiteral("GSM")},
        {"Option2", QStringLiteral("INTERNET")},
        {"JeweledButton1", QStringLiteral("SMS Single")},
    };
    for (const auto& [name, caption] : buttons)
        QCOMPARE(fx.child<QAbstractButton>(name)->text(), caption);
    const QList<QPair<const char*, QString>> labels = {
        {"Label1", QStringLiteral("SMS Engine")},
        {"LbReturn", QStringLiteral("Chnage Password ")},
        {"Lbbal", QStringLiteral("Display Bal.")},
        {"Label4", QStringLiteral("Re-Check For Undiliverd")},
        {"lbDelete", QStringLiteral("Delete this SMS")},
    };
    for (const auto& [name, caption] : labels)
        QCOMPARE(fx.child<QLabel>(name)->text(), caption);
    for (const char* name : {"Lb1", "LB2", "LB3", "LB4", "Label2", "Label3", "LBmobile", "Lbmsg", "Lbbal1"})
        QVERIFY(fx.child<QLabel>(name));
    QVERIFY(fx.child<QPlainTextEdit>("Text1")->isReadOnly());
    QVERIFY(fx.child<QPlainTextEdit>("Text2")->isReadOnly());
    QVERIFY(!fx.child<QComboBox>("Combo1")->isEditable());
    QVERIFY(fx.child<QWidget>("JeweledButton1")->isHidden());

    QMenu* menu = fx.child<QMenu>("Mnu");
    QCOMPARE(menu, form.menu());
    QStringList entries;
    for (const QAction* a : menu->actions())
        entries << a->objectName() + QLatin1Char('=') + a->text();
    QCOMPARE(entries,
             (QStringList{"Ismssender=Instant SMS Sender", "mnuShow=Show Main Window",
                          "mnuStart=&Start Sms Engine", "mnuStop=S&top Sms Engone", "singleSMS=Single SMS",
                          "excelsheet=Sms From ExcelSheet", "rpt=Report Window", "mnuExit=Exit"}));
    QCOMPARE(form.windowTitle(), QStringLiteral("Telvora Software   -    SMS ENGINE"));
    QCOMPARE(ConsoleWindow::loadCaption(), QStringLiteral("Telvora Software   -    SMS ENGINE") +
                                               QString(10, u' ') + QString::number(SMS_VERSION_REVISION));
}

void TestConsoleWindow::firstRunWithoutSettings()
{
    ConsoleFixture fx;
    QSignalSpy balloons(&fx.makeConsole().tray(), &ConsoleTray::balloonShown);
    ConsoleWindow& form = *fx.form;
    form.load();

    QVERIFY(!fx.child<QCheckBox>("ChAuto")->isChecked());
    QVERIFY(fx.child<QRadioButton>("Option2")->isChecked());
    QVERIFY(!fx.child<QRadioButton>("OpGSM")->isChecked());
    QVERIFY(!fx.child<QWidget>("LbReturn")->isHidden());
    QVERIFY(!fx.child<QWidget>("Label3")->isHidden());
    QVERIFY(fx.child<QWidget>("Label4")->isHidden());
    QVERIFY(!form.isRunning());
    QCOMPARE(fx.engine->interval(), 0);
    QVERIFY(!fx.engine->isTicking());
    QCOMPARE(fx.context->console().channel(), ConsoleState::Channel::Http);

    QVERIFY(QRegularExpression(QStringLiteral("^Engine Start Time :\\d\\d:\\d\\d:\\d\\d$"))
                .match(fx.child<QLabel>("Lb1")->text())
                .hasMatch());
    QCOMPARE(fx.child<QLabel>("LB2")->text(), QStringLiteral("Total Sms Sent : 42"));
    QCOMPARE(form.windowTitle(), ConsoleWindow::loadCaption());
    QCOMPARE(fx.context->console().text(Field::Title), ConsoleWindow::loadCaption());

    QVERIFY(form.tray().installed());
    QCOMPARE(form.tray().icon()->toolTip(), QStringLiteral("Telvora Software Sms Engine"));
    QCOMPARE(balloons.size(), 1);
    QCOMPARE(balloons.at(0).at(0).toString(), QStringLiteral("Telvora Software"));
    QCOMPARE(balloons.at(0).at(1).toString(), QStringLiteral("SMS Engine Started."));

    // Loading chooses nothing: no setting is written on a first run.
    QVERIFY(!fx.setting(QStringLiteral("Start")).isValid());
    QVERIFY(!fx.setting(QStringLiteral("Divice")).isValid());
}

void TestConsoleWindow::loadFromSettings_data()
{
    QTest::addColumn<QVariant>("start");
    QTest::addColumn<QVariant>("divice");
    QTest::addColumn<int>("tmInterval");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("gsm");

    const QVariant none;
    QTest::newRow("GSM, auto-start") << QVariant("1") << QVariant("GSM") << 3000 << true << 10000 << true;
    QTest::newRow("GSM, auto-start, long profile interval")
        << QVariant("1") << QVariant("GSM") << 90000 << true << 10000 << true;
    QTest::newRow("GSM, auto-start, no-tick profile")
        << QVariant("1") << QVariant("GSM") << 0 << true << 10000 << true;
    QTest::newRow("INT, auto-start") << QVariant("1") << QVariant("INT") << 3000 << true << 3000 << false;
    QTest::newRow("no channel, auto-start") << QVariant("1") << none << 2500 << true << 2500 << false;
    QTest::newRow("gsm in lower case is not GSM")
        << QVariant("1") << QVariant("gsm") << 3000 << true << 3000 << false;
    QTest::newRow("GSM, auto-start off") << QVariant("0") << QVariant("GSM") << 3000 << false << 0 << true;
    QTest::newRow("Start not a number") << QVariant("yes") << QVariant("GSM") << 3000 << false << 0 << true;
    QTest::newRow("Start empty") << QVariant("") << none << 3000 << false << 0 << false;
    QTest::newRow("Start with blanks") << QVariant(" 1 ") << none << 3000 << true << 3000 << false;
    QTest::newRow("Start 2 is not ticked") << QVariant("2") << none << 3000 << false << 0 << false;
}

void TestConsoleWindow::loadFromSettings()
{
    QFETCH(QVariant, start);
    QFETCH(QVariant, divice);
    QFETCH(int, tmInterval);
    QFETCH(bool, running);
    QFETCH(int, interval);
    QFETCH(bool, gsm);

    ConsoleFixture fx({{QStringLiteral("alpha"), QStringLiteral("p"), QStringLiteral("G"),
                        QStringLiteral("C"), tmInterval, 1, true}});
    if (start.isValid())
        fx.writeSetting(QStringLiteral("Start"), start.toString());
    if (divice.isValid())
        fx.writeSetting(QStringLiteral("Divice"), divice.toString());
    QSignalSpy balloons(&fx.makeConsole().tray(), &ConsoleTray::balloonShown);
    fx.form->load();

    QCOMPARE(fx.form->isRunning(), running);
    QCOMPARE(fx.child<QCheckBox>("ChAuto")->isChecked(), running);
    QCOMPARE(fx.engine->interval(), interval);
    QCOMPARE(fx.engine->isTicking(), interval > 0);
    QCOMPARE(fx.child<QRadioButton>("OpGSM")->isChecked(), gsm);
    QCOMPARE(fx.child<QRadioButton>("Option2")->isChecked(), !gsm);
    QCOMPARE(fx.context->console().channel(), gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
    QCOMPARE(fx.child<QWidget>("LbReturn")->isHidden(), gsm || running);
    QCOMPARE(fx.child<QWidget>("Label3")->isHidden(), gsm);
    // The stored channel is kept as it was chosen.
    if (divice.isValid())
        QCOMPARE(fx.setting(QStringLiteral("Divice")).toString(), divice.toString());

    QStringList texts;
    for (const auto& b : balloons)
        texts << b.at(1).toString();
    QStringList expected{QStringLiteral("SMS Engine Started.")};
    if (running)
        expected << QStringLiteral("SMS Engine Start.");
    QCOMPARE(texts, expected);
    QCOMPARE(fx.form->tray().tip(),
             running ? QStringLiteral("Start") : QStringLiteral("Telvora Software Sms Engine"));
}

void TestConsoleWindow::gsmIntervalKeptUntilProfileLoad()
{
    ConsoleFixture fx;
    ConsoleWindow& form = fx.loadConsole();
    auto* gsm = fx.child<QRadioButton>("OpGSM");
    auto* http = fx.child<QRadioButton>("Option2");
    auto* start = fx.child<QPushButton>("CmdStart");
    auto* stop = fx.child<QPushButton>("CmdStop");

    gsm->click();
    start->click();
    QCOMPARE(fx.engine->interval(), 10000);
    QCOMPARE(fx.context->profile().interval, 10000);
    stop->click();
    QCOMPARE(fx.engine->interval(), 0);
    QVERIFY(!fx.engine->isTicking());
    // The password link belongs to the HTTP gateway, also after a stop.
    QVERIFY(fx.child<QWidget>("LbReturn")->isHidden());

    http->click();
    QVERIFY(!fx.child<QWidget>("LbReturn")->isHidden());
    start->click();
    QCOMPARE(fx.engine->interval(), 10000); // still the modem's pace
    stop->click();

    QVERIFY(form.chooseProfile(QStringLiteral("alpha")));
    start->click();
    QCOMPARE(fx.engine->interval(), 3000); // the profile's own again
}

void TestConsoleWindow::channelClicks_data()
{
    QTest::addColumn<QString>("clicks"); // G = OpGSM, I = Option2
    QTest::addColumn<QString>("divice");
    QTest::addColumn<bool>("httpLinksShown");

    QTest::newRow("GSM") << "G"
                         << "GSM" << false;
    QTest::newRow("GSM then INTERNET") << "GI"
                                       << "INT" << true;
    QTest::newRow("INTERNET already selected") << "I"
                                               << "INT" << true;
    QTest::newRow("GSM twice") << "GG"
                               << "GSM" << false;
    QTest::newRow("back and forth") << "GIG"
                                    << "GSM" << false;
}

void TestConsoleWindow::channelClicks()
{
    QFETCH(QString, clicks);
    QFETCH(QString, divice);
    QFETCH(bool, httpLinksShown);

    ConsoleFixture fx;
    fx.loadConsole();
    QSignalSpy channel(&fx.context->console(), &ConsoleState::channelChanged);
    for (const QChar c : clicks)
        fx.child<QRadioButton>(c == u'G' ? "OpGSM" : "Option2")->click();

    QCOMPARE(fx.setting(QStringLiteral("Divice")).toString(), divice);
    QCOMPARE(!fx.child<QWidget>("LbReturn")->isHidden(), httpLinksShown);
    QCOMPARE(!fx.child<QWidget>("Label3")->isHidden(), httpLinksShown);
    QCOMPARE(fx.context->console().channel(),
             httpLinksShown ? ConsoleState::Channel::Http : ConsoleState::Channel::Gsm);
    // The next console reads the choice back.
    fx.form.reset();
    fx.loadConsole();
    QCOMPARE(fx.child<QRadioButton>("OpGSM")->isChecked(), !httpLinksShown);
}

void TestConsoleWindow::profileList()
{
    QList<ProfileRow> rows = ConsoleFixture::standardProfiles();
    // The list holds the names as the store returns them, the default one
    // selected even when it is not the first.
    rows[0].isDefault = false;
    rows[2].isDefault = true;
    ConsoleFixture fx(rows);
    fx.loadConsole();
    auto* combo = fx.child<QComboBox>("Combo1");
    QStringList names;
    for (int i = 0; i < combo->count(); ++i)
        names << combo->itemText(i);
    QCOMPARE(names, (QStringList{"alpha", "beta", "gamma"}));
    QCOMPARE(combo->currentText(), QStringLiteral("gamma"));
    QCOMPARE(fx.context->console().text(Field::UserName), QStringLiteral("gamma"));
}

void TestConsoleWindow::profileChoice_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("label3");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("smsId");

    QTest::newRow("beta") << 1 << " GSM : BG    CDMA : BC" << 7000 << 7;
    QTest::newRow("gamma without CDMA id") << 2 << " GSM : CG    CDMA : " << 1500 << 0;
    QTest::newRow("alpha again") << 0 << " GSM : AG    CDMA : AC" << 3000 << 42;
}

void TestConsoleWindow::profileChoice()
{
    QFETCH(int, index);
    QFETCH(QString, label3);
    QFETCH(int, interval);
    QFETCH(int, smsId);

    ConsoleFixture fx;
    fx.loadConsole();
    fx.context->profile().interval = 10000; // as a GSM start leaves it
    auto* combo = fx.child<QComboBox>("Combo1");
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index); // the operator's choice

    QCOMPARE(fx.context->profile().userName, combo->itemText(index));
    QCOMPARE(fx.context->profile().interval, interval);
    QCOMPARE(fx.context->profile().smsId, smsId);
    QCOMPARE(fx.child<QLabel>("Label3")->text(), label3);
    QCOMPARE(fx.context->console().text(Field::UserName), combo->itemText(index));
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
    fx.loadConsole();
    auto* combo = fx.child<QComboBox>("Combo1");
    fx.context->store().exec(breakSql);
    combo->setCurrentIndex(1);
    Q_EMIT combo->activated(1);

    // The operator is told, and the loaded profile stays in force.
    QCOMPARE(fx.prompt.messages.size(), 1);
    QVERIFY2(fx.prompt.messages[0].text.contains(message), qPrintable(fx.prompt.messages[0].text));
    QCOMPARE(fx.prompt.messages[0].icon, Prompt::Icon::Critical);
    QCOMPARE(fx.context->profile().userName, QStringLiteral("alpha"));
    QCOMPARE(combo->currentText(), QStringLiteral("alpha"));
    QCOMPARE(fx.context->console().text(Field::UserName), QStringLiteral("alpha"));
    QStringList names;
    for (int i = 0; i < combo->count(); ++i)
        names << combo->itemText(i);
    QCOMPARE(names, namesAfter);
}

void TestConsoleWindow::enabledStates_data()
{
    QTest::addColumn<QString>("steps"); // s/t = CmdStart/CmdStop click, S/T = mnuStart/mnuStop
    QTest::addColumn<bool>("running");

    QTest::newRow("loaded") << "" << false;
    QTest::newRow("started by button") << "s" << true;
    QTest::newRow("started by menu") << "S" << true;
    QTest::newRow("started and stopped") << "st" << false;
    QTest::newRow("menu start, button stop") << "sT" << false;
    QTest::newRow("stopped, started again") << "sts" << true;
    QTest::newRow("disabled menu start does nothing") << "sS" << true;
    QTest::newRow("disabled menu stop does nothing") << "stT" << false;
}

void TestConsoleWindow::enabledStates()
{
    QFETCH(QString, steps);
    QFETCH(bool, running);

    ConsoleFixture fx;
    fx.context->console().setFlag(Flag::RecheckVisible, true);
    ConsoleWindow& form = fx.loadConsole();
    QSignalSpy balloons(&form.tray(), &ConsoleTray::balloonShown);
    auto* mnuStart = fx.child<QAction>("mnuStart");
    auto* mnuStop = fx.child<QAction>("mnuStop");
    fx.context->console().setFlag(Flag::RecheckVisible, true); // as an idle tick leaves it
    for (const QChar c : steps) {
        if (c == u's')
            fx.child<QPushButton>("CmdStart")->click();
        else if (c == u't')
            fx.child<QPushButton>("CmdStop")->click();
        else if (c == u'S')
            mnuStart->trigger();
        else
            mnuStop->trigger();
    }

    const bool loadedOnly = steps.isEmpty();
    QCOMPARE(form.isRunning(), running);
    QCOMPARE(fx.engine->isTicking(), running);
    QCOMPARE(fx.child<QWidget>("CmdStart")->isEnabled(), !running);
    QCOMPARE(mnuStart->isEnabled(), !running);
    QCOMPARE(fx.child<QWidget>("CmdStop")->isEnabled(), running || loadedOnly);
    QCOMPARE(mnuStop->isEnabled(), running || loadedOnly);
    for (const char* name : {"OpGSM", "Option2", "Combo1"})
        QCOMPARE(fx.child<QWidget>(name)->isEnabled(), !running);
    QCOMPARE(fx.child<QWidget>("Lbbal")->isHidden(), running);
    QCOMPARE(fx.child<QWidget>("LbReturn")->isHidden(), running);
    if (!loadedOnly) {
        // Start and stop both hide the recheck link; the tick shows it again.
        QVERIFY(fx.child<QWidget>("Label4")->isHidden());
        QCOMPARE(form.tray().tip(), running ? QStringLiteral("Start") : QStringLiteral("Stop"));
        QCOMPARE(form.tray().icon()->toolTip(), form.tray().tip());
        QVERIFY(!balloons.isEmpty());
        QCOMPARE(balloons.last().at(0).toString(), QStringLiteral("Telvora Software"));
        QCOMPARE(balloons.last().at(1).toString(),
                 running ? QStringLiteral("SMS Engine Start.") : QStringLiteral("SMS Engine Stop."));
    }
}

void TestConsoleWindow::dispatchInterval_data()
{
    QTest::addColumn<int>("tmInterval");
    QTest::addColumn<int>("timerInterval");

    QTest::newRow("ordinary") << 3000 << 3000;
    QTest::newRow("at 65535") << 65535 << 65535;
    QTest::newRow("above 65535 is honoured") << 65536 << 65536;
    QTest::newRow("ten minutes") << 600000 << 600000;
    QTest::newRow("zero: no tick") << 0 << 0;
    QTest::newRow("negative: no tick") << -5 << 0;
}

void TestConsoleWindow::dispatchInterval()
{
    QFETCH(int, tmInterval);
    QFETCH(int, timerInterval);

    ConsoleFixture fx({{QStringLiteral("alpha"), QStringLiteral("p"), QStringLiteral("G"),
                        QStringLiteral("C"), tmInterval, 1, true}});
    fx.loadConsole();
    fx.context->console().setText(Field::Status, QStringLiteral("No SMS in Queue 10:00:00"));
    fx.child<QPushButton>("CmdStart")->click();
    QCOMPARE(fx.engine->interval(), timerInterval);
    QCOMPARE(fx.engine->isTicking(), timerInterval > 0);
    const QString status = fx.child<QLabel>("Label2")->text();
    if (timerInterval > 0) {
        QCOMPARE(status, QStringLiteral("No SMS in Queue 10:00:00"));
    } else {
        QVERIFY2(status.contains(QStringLiteral("not ticking")), qPrintable(status));
        QVERIFY2(status.contains(QString::number(tmInterval)), qPrintable(status));
    }
}

void TestConsoleWindow::stateTextsReachWidgets_data()
{
    QTest::addColumn<Field>("field");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");

    QTest::newRow("trace") << Field::Trace << "Text2"
                           << "1 2 \r\nSelect Record \r\n"
                           << "1 2 \nSelect Record \n";
    QTest::newRow("response") << Field::Response << "Text1"
                              << "Message Submitted\r\nid=7"
                              << "Message Submitted\nid=7";
    QTest::newRow("mobile") << Field::Mobile << "LBmobile"
                            << "98-765 4321"
                            << "98-765 4321";
    QTest::newRow("message as markup text") << Field::Message << "Lbmsg"
                                            << "<b>Hi</b> & bye"
                                            << "<b>Hi</b> & bye";
    QTest::newRow("status") << Field::Status << "Label2"
                            << "Pending SMS : 3"
                            << "Pending SMS : 3";
    QTest::newRow("last attempt") << Field::LastAttempt << "LB3"
                                  << "14:05:09"
                                  << "14:05:09";
    QTest::newRow("counter") << Field::Counter << "LB4"
                             << "17"
                             << "17";
    QTest::newRow("balance") << Field::Balance << "Lbbal1"
                             << "Balance: 120.50"
                             << "Balance: 120.50";
    QTest::newRow("title") << Field::Title << "Form2"
                           << "14:05:09"
                           << "14:05:09";
}

void TestConsoleWindow::stateTextsReachWidgets()
{
    QFETCH(Field, field);
    QFETCH(QString, widget);
    QFETCH(QString, value);
    QFETCH(QString, shown);

    ConsoleFixture fx;
    ConsoleWindow& form = fx.loadConsole();
    fx.context->console().setText(field, value);
    QString text;
    if (widget == QLatin1String("Form2"))
        text = form.windowTitle();
    else if (auto* box = form.findChild<QPlainTextEdit*>(widget))
        text = box->toPlainText();
    else if (auto* label = form.findChild<QLabel*>(widget)) {
        text = label->text();
        QCOMPARE(label->textFormat(), Qt::PlainText);
    } else
        QFAIL("no such widget");
    QCOMPARE(text, shown);

    // A console made while the engine already wrote shows the same.
    fx.form.reset();
    ConsoleWindow& again = fx.makeConsole();
    if (widget == QLatin1String("Form2"))
        QCOMPARE(again.windowTitle(), shown);
    else if (auto* box = again.findChild<QPlainTextEdit*>(widget))
        QCOMPARE(box->toPlainText(), shown);
    else
        QCOMPARE(again.findChild<QLabel*>(widget)->text(), shown);
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
    ConsoleWindow& form = fx.loadConsole();
    QWidget* w = form.findChild<QWidget*>(widget);
    QVERIFY(w);
    for (const bool on : {true, false, true}) {
        fx.context->console().setFlag(flag, on);
        if (visibility)
            QCOMPARE(!w->isHidden(), on);
        else
            QCOMPARE(w->isEnabled(), on);
    }
    if (flag == Flag::WindowEnabled) {
        // The icon's menu stays usable while the window takes no input.
        fx.context->console().setFlag(flag, false);
        QVERIFY(fx.child<QAction>("mnuExit")->isEnabled());
        QVERIFY(form.menu()->isEnabled());
    }
}

void TestConsoleWindow::stateChannelAndUserName()
{
    ConsoleFixture fx;
    fx.loadConsole();
    fx.context->console().setChannel(ConsoleState::Channel::Gsm);
    QVERIFY(fx.child<QRadioButton>("OpGSM")->isChecked());
    QCOMPARE(fx.setting(QStringLiteral("Divice")).toString(), QStringLiteral("GSM"));
    QVERIFY(fx.child<QWidget>("LbReturn")->isHidden());

    // Another screen that loads a profile shows its name here, without the
    // console loading anything itself.
    fx.context->loadProfile(QStringLiteral("beta"));
    fx.context->console().setText(Field::UserName, QStringLiteral("beta"));
    QCOMPARE(fx.child<QComboBox>("Combo1")->currentText(), QStringLiteral("beta"));
    QCOMPARE(fx.context->profile().userName, QStringLiteral("beta"));
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
    ConsoleWindow& form = fx.loadConsole(tray);
    form.show();
    fx.child<QPushButton>("CmdStart")->click();
    QVERIFY(fx.engine->isTicking());

    QVERIFY(!form.close()); // the close box: refused
    QVERIFY(fx.engine->isTicking());
    QCOMPARE(fx.engine->interval(), 3000);
    QVERIFY(!form.isUnloaded());
    QVERIFY(form.tray().installed());
    if (tray == Availability::Available) {
        QVERIFY(form.isHidden());
    } else {
        QVERIFY(form.isVisible());
        QVERIFY(form.isMinimized());
    }

    // "Show Main Window" brings it back.
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
    ConsoleWindow& form = fx.loadConsole(tray);
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
    fx.context->profile().gsmSid = QStringLiteral("NEW");
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
    QTest::newRow("left click") << QSystemTrayIcon::Trigger << false << true;
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
    ConsoleWindow& form = fx.loadConsole(Availability::Available);
    if (consoleShown)
        form.show();
    QSystemTrayIcon* icon = form.tray().icon();
    QVERIFY(icon);
    Q_EMIT icon->activated(reason);
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
    QTest::newRow("empty folder") << "SMSQ" << QStringList{} << QStringList{};
    QTest::newRow("no folder") << "" << QStringList{} << QStringList{};
}

void TestConsoleWindow::exitDeletesLeftovers()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, files);
    QFETCH(QStringList, kept);

    ConsoleFixture fx;
    if (!folder.isEmpty()) {
        QVERIFY(QDir(fx.dir.path()).mkdir(folder));
        for (const QString& name : files) {
            QFile f(fx.dir.filePath(folder + QLatin1Char('/') + name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
        // A folder named like a leftover is not a file to delete.
        QVERIFY(QDir(fx.dir.filePath(folder)).mkdir(QStringLiteral("keep.sm")));
    }
    ConsoleWindow& form = fx.loadConsole(Availability::Available);
    form.show();
    fx.child<QPushButton>("CmdStart")->click();
    QSignalSpy unloaded(&form, &ConsoleWindow::unloaded);
    QSignalSpy removed(&form.tray(), &ConsoleTray::removed);

    QCoro::waitFor(form.exitEngine());

    QCOMPARE(removed.size(), 1);
    QVERIFY(!form.tray().installed());
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(form.isUnloaded());
    QVERIFY(form.isHidden());
    QVERIFY(!fx.engine->isTicking());
    QVERIFY(fx.prompt.messages.isEmpty()); // no message of any kind
    if (!folder.isEmpty()) {
        QStringList left = QDir(fx.dir.filePath(folder)).entryList(QDir::Files, QDir::Name);
        QCOMPARE(left, kept);
        QVERIFY(QFileInfo(fx.dir.filePath(folder + QStringLiteral("/keep.sm"))).isDir());
    }
    // An unloaded console no longer starts the engine.
    form.startEngine();
    QVERIFY(!fx.engine->isTicking());
}

void TestConsoleWindow::exitTwiceRunsOnce()
{
    ConsoleFixture fx;
    ConsoleWindow& form = fx.loadConsole();
    QSignalSpy unloaded(&form, &ConsoleWindow::unloaded);
    // The menu's Exit while the button's Exit waits for pending events.
    auto first = form.exitEngine();
    fx.child<QAction>("mnuExit")->trigger();
    QCoro::waitFor(std::move(first));
    QTRY_COMPARE(unloaded.size(), 1);
    QTest::qWait(20);
    QCOMPARE(unloaded.size(), 1);
}

void TestConsoleWindow::unloadRemovesIcon()
{
    ConsoleFixture fx;
    ConsoleWindow& form = fx.loadConsole(Availability::Available);
    fx.child<QPushButton>("CmdStart")->click();
    QPointer<QSystemTrayIcon> icon = form.tray().icon();
    QVERIFY(icon);
    QVERIFY(icon->isVisible());
    fx.form.reset(); // the console goes without Exit
    QVERIFY(icon.isNull());
    QVERIFY(!fx.engine->isTicking());
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
    ConsoleWindow& form = fx.loadConsole();
    auto* action = form.findChild<QAction*>(entry);
    QVERIFY(action);

    // Not registered yet: nothing opens, nothing breaks.
    action->trigger();
    QVERIFY(!ScreenRegistry::instance().open(screen));

    int made = 0;
    ScreenRegistry::instance().registerScreen(screen, [&made, screen] {
        ++made;
        auto* w = new QWidget;
        w->setObjectName(screen);
        return w;
    });
    action->trigger();
    QWidget* opened = ScreenRegistry::instance().open(screen);
    QVERIFY(opened);
    QVERIFY(opened->isVisible());
    action->trigger(); // a second time: the same screen, brought forward
    QCOMPARE(ScreenRegistry::instance().open(screen), opened);
    QCOMPARE(made, 1);
    opened->close();
    QTRY_VERIFY(!ScreenRegistry::instance().open(screen));
}

void TestConsoleWindow::singleMessageDoor()
{
    ConsoleFixture fx;
    ConsoleWindow& form = fx.loadConsole();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ScreenRegistry::instance().registerScreen(Screens::SingleMessage, [] { return new QWidget; });
    auto* button = fx.child<QPushButton>("JeweledButton1");
    QVERIFY(button->isHidden());
    QTest::mouseClick(fx.child<QLabel>("Label1"), Qt::LeftButton);
    QVERIFY(!button->isHidden());
    button->click();
    QVERIFY(button->isHidden());
    QWidget* single = ScreenRegistry::instance().open(Screens::SingleMessage);
    QVERIFY(single);
    QVERIFY(single->isVisible());
    single->close();
}

void TestConsoleWindow::links_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("signal");
    QTest::newRow("Display Bal.") << "Lbbal"
                                  << "balanceRequested";
    QTest::newRow("Delete this SMS") << "lbDelete"
                                     << "deleteRequested";
    QTest::newRow("Chnage Password ") << "LbReturn"
                                      << "passwordChangeRequested";
    QTest::newRow("Re-Check For Undiliverd") << "Label4"
                                             << "recheckRequested";
}

void TestConsoleWindow::links()
{
    QFETCH(QString, link);
    QFETCH(QString, signal);

    ConsoleFixture fx;
    ConsoleWindow& form = fx.loadConsole();
    fx.context->console().setFlag(Flag::DeleteVisible, true);
    fx.context->console().setFlag(Flag::RecheckVisible, true);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    const QList<QByteArray> all{"balanceRequested", "deleteRequested", "passwordChangeRequested",
                                "recheckRequested"};
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const QByteArray& name : all) {
        const QByteArray sig = "2" + name + "()";
        spies.push_back(std::make_unique<QSignalSpy>(&form, sig.constData()));
    }
    auto* label = form.findChild<QLabel*>(link);
    QVERIFY(label && label->isVisible());
    QTest::mouseClick(label, Qt::LeftButton);
    for (int i = 0; i < all.size(); ++i)
        QCOMPARE(spies[i]->size(), all[i] == signal.toLatin1() ? 1 : 0);

    // A disabled link takes no click.
    label->setEnabled(false);
    QTest::mouseClick(label, Qt::LeftButton);
    for (int i = 0; i < all.size(); ++i)
        QCOMPARE(spies[i]->size(), all[i] == signal.toLatin1() ? 1 : 0);
}

QTEST_MAIN(TestConsoleWindow)
#include "tst_consolewindow.moc"

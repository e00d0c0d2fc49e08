// Hand-run preview of the engine console on a display, on a throw-away
// program folder with two gateway profiles. Not part of the product.
//
//   console_preview [--grab FILE] [--menu-grab FILE] [--screen-grab FILE]
//                   [--quit-after MS] [--sample]
//
// --grab saves a picture of the console (brought back with "Show Main
// Window" after it hid behind its icon), --menu-grab one of the icon's menu,
// --screen-grab the whole screen three seconds after start (the tray
// included; click the icon meanwhile to see its menu),
// --sample fills the fields as a sending tick would.

#include "console/ConsoleLauncher.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"
#include "dispatch/Engine.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption grab(QStringLiteral("grab"), QStringLiteral("Save the console to FILE."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption menuGrab(QStringLiteral("menu-grab"), QStringLiteral("Save the menu to FILE."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("End after MS milliseconds."), QStringLiteral("MS"));
    const QCommandLineOption sample(QStringLiteral("sample"), QStringLiteral("Show sample engine texts."));
    const QCommandLineOption screenGrab(QStringLiteral("screen-grab"),
                                        QStringLiteral("Save the screen to FILE."), QStringLiteral("FILE"));
    parser.addOptions({grab, menuGrab, screenGrab, quitAfter, sample});
    parser.process(app);

    QTemporaryDir home;
    auto store = Store::openFile(home.filePath(QStringLiteral("SMS.db")), true);
    Schema::createMissingTables(*store);
    const QString insert =
        QStringLiteral("insert into config (UName, Password, Provider, TmInterval, Smsid, GsmSid, "
                       "CDMASid, ConSrt, Defult) values (?,?,?,?,?,?,?,?,?)");
    store->exec(insert, {QStringLiteral("telvora"), QStringLiteral("secret"),
                         QStringLiteral("http://127.0.0.1:9/send"), 5000, 1234, QStringLiteral("TELVRA"),
                         QStringLiteral("9876543210"), QString(), 1});
    store->exec(insert, {QStringLiteral("backup"), QStringLiteral("secret"),
                         QStringLiteral("http://127.0.0.1:9/send"), 8000, 0, QStringLiteral("BACKUP"),
                         QString(), QString(), 0});
    EngineContext context(std::move(store));
    context.setProgramFolder(home.path());
    context.loadProfile(QString());
    Engine engine(context);

    std::printf("tray available: %s\n", QSystemTrayIcon::isSystemTrayAvailable() ? "yes" : "no");
    std::fflush(stdout);

    ConsoleOptions options;
    options.settingsFile = home.filePath(QStringLiteral("console.ini"));
    return showConsole(context, engine, options, [&](ConsoleWindow& form) {
        QTimer::singleShot(1000, &form, [&, f = &form] {
            if (parser.isSet(sample)) {
                ConsoleState& s = context.console();
                s.resetTrace(QStringLiteral("1 "));
                for (const char* line :
                     {"2 ", "Select Record ", "Sms Fire-1 ", "Send Sms Ok", "Bal", "Bal OK"})
                    s.appendTraceLine(QString::fromLatin1(line));
                s.setText(ConsoleState::Field::Response, QStringLiteral("Message Submitted 4711"));
                s.setText(ConsoleState::Field::Mobile, QStringLiteral("9876543210"));
                s.setText(ConsoleState::Field::Message,
                          QStringLiteral("Your order 1234 has been dispatched."));
                s.setText(ConsoleState::Field::Status, QStringLiteral("Pending SMS : 3"));
                s.setText(ConsoleState::Field::Balance, QStringLiteral("Balance 120.50"));
                s.setFlag(ConsoleState::Flag::DeleteVisible, true);
                s.setFlag(ConsoleState::Flag::RecheckVisible, true);
            }
            std::printf("console hidden after first activation: %s\n", f->isHidden() ? "yes" : "no");
            f->findChild<QAction*>(QStringLiteral("mnuShow"))->trigger();
            QTimer::singleShot(500, f, [&, f] {
                if (parser.isSet(grab))
                    f->grab().save(parser.value(grab));
                if (parser.isSet(menuGrab)) {
                    f->menu()->popup(f->mapToGlobal(QPoint(40, 40)));
                    QTimer::singleShot(300, f, [&, f] { f->menu()->grab().save(parser.value(menuGrab)); });
                }
                if (parser.isSet(screenGrab)) {
                    // Late enough for a scripted right click on the icon.
                    QTimer::singleShot(2500, f, [&] {
                        QGuiApplication::primaryScreen()->grabWindow(0).save(parser.value(screenGrab));
                    });
                }
                std::fflush(stdout);
            });
        });
        if (parser.isSet(quitAfter))
            QTimer::singleShot(parser.value(quitAfter).toInt(), &app, [] { QCoreApplication::exit(0); });
    });
}

// Starts the engine console on a throw-away program folder filled with a
// demonstration store (two gateway profiles, a month of sent messages, a
// queue and a contact book), opens every screen from the console's own
// screen row and saves a PNG picture of each into the folder given.
//
//   screen_shots OUTPUT_FOLDER
//
// Needs a display (scripts/screenshots.sh runs it under Xvfb).

#include "bulk/ui/BulkScreens.h"
#include "console/ConsoleLauncher.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"
#include "dispatch/Engine.h"
#include "intake/ui/IntakeScreens.h"
#include "report/ui/ReportWindow.h"
#include "spreadsheet/ui/SpreadsheetMessagesWindow.h"
#include "ui/ScreenRegistry.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

void seed(Store& store)
{
    const QString profile =
        QStringLiteral("insert into config (UName, Password, Provider, TmInterval, Smsid, GsmSid, CDMASid, "
                       "ConSrt, Defult) values (?,?,?,?,?,?,?,?,?)");
    store.exec(profile, {QStringLiteral("telvora"), QStringLiteral("secret"),
                         QStringLiteral("http://127.0.0.1:9/send?to=<mobile>&msg=<msg>"), 5000, 48211,
                         QStringLiteral("TELVRA"), QStringLiteral("9876543210"), QStringLiteral("C"), 1});
    store.exec(profile, {QStringLiteral("backup"), QStringLiteral("secret"),
                         QStringLiteral("http://127.0.0.1:9/send?to=<mobile>&msg=<msg>"), 8000, 0,
                         QStringLiteral("BACKUP"), QString(), QString(), 0});

    Store::Transaction tx(store);
    QRandomGenerator random(20261207);
    const QStringList texts{QStringLiteral("Your order %1 has been dispatched."),
                            QStringLiteral("OTP for login is %1. Do not share it."),
                            QStringLiteral("Payment of Rs %1 received, thank you."),
                            QStringLiteral("Reminder: your appointment is tomorrow at 10:%1.")};
    const QDateTime now = QDateTime::currentDateTime();
    for (int day = 29; day >= 0; --day) {
        const int count = 40 + random.bounded(80);
        for (int i = 0; i < count; ++i) {
            const QDateTime sent = now.addDays(-day).addSecs(-random.bounded(36000));
            const int roll = random.bounded(100);
            const QString status = day < 1 && roll < 40 ? QStringLiteral("P")
                                   : roll < 84          ? QStringLiteral("Y")
                                   : roll < 94          ? QStringLiteral("N")
                                                        : QStringLiteral("P");
            store.exec(
                QStringLiteral("insert into sms (Mobile, msg, RDtTM, SDTTm, typ, ANS, Status, Reply, Try, "
                               "Uname) values (?, ?, ?, ?, 0, ?, ?, ?, 0, 'telvora')"),
                {QString::number(9100000000LL + random.bounded(800000000)),
                 texts[random.bounded(4)].arg(random.bounded(10000, 99999)),
                 sent.addSecs(-40).toString(QStringLiteral("ddMMyyyyHHmmss")),
                 sent.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), QString::number(700000 + i), status,
                 status == u"Y" ? QStringLiteral("DELIVRD") : QString()});
        }
    }
    for (int i = 0; i < 12; ++i)
        store.exec(
            QStringLiteral("insert into Rsms (Mobile, msg, RDtTM, urgent, typ) values (?, ?, ?, 0, 0)"),
            {QString::number(9800000000LL + random.bounded(100000000)), texts[i % 4].arg(1000 + i),
             now.addDays(-(i % 3)).toString(QStringLiteral("ddMMyyyyHHmmss"))});
    const QStringList names{QStringLiteral("RAVI"), QStringLiteral("ASHA"),   QStringLiteral("MEERA"),
                            QStringLiteral("JOHN"), QStringLiteral("FATIMA"), QStringLiteral("ARJUN")};
    for (const char* group : {"CUSTOMERS", "STAFF"}) {
        store.exec(QStringLiteral("insert into Glist (Grp) values (?)"), {QString::fromLatin1(group)});
        for (const QString& name : names)
            store.exec(QStringLiteral("insert into Clist (Nm, mob, GRP) values (?, ?, ?)"),
                       {name, QString::number(9000000000LL + random.bounded(900000000)),
                        QString::fromLatin1(group)});
    }
    tx.commit();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: screen_shots OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());

    QTemporaryDir home;
    auto store = Store::openFile(home.filePath(QStringLiteral("SMS.db")), true);
    Schema::createMissingTables(*store);
    seed(*store);
    EngineContext context(std::move(store));
    context.setProgramFolder(home.path());
    context.loadProfile(QString());
    Engine engine(context);
    registerIntakeScreens(context);
    registerBulkScreens(context);
    registerReportScreens(context);
    registerSpreadsheetScreens(context);

    int failures = 0;
    const auto save = [&](QWidget* w, const QString& file) {
        const bool ok = w && w->grab().save(out.filePath(file));
        std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(out.filePath(file)));
        failures += ok ? 0 : 1;
    };

    ConsoleOptions options;
    options.settingsFile = home.filePath(QStringLiteral("console.ini"));
    return showConsole(context, engine, options, [&](ConsoleWindow& form) {
        // One screen after the other, each opened from the console's screen row.
        const QList<std::pair<QString, QString>> screens{
            {QStringLiteral("screenBulkSender"), Screens::BulkSender},
            {QStringLiteral("screenSingleMessage"), Screens::SingleMessage},
            {QStringLiteral("screenSpreadsheet"), Screens::SpreadsheetMessages},
            {QStringLiteral("screenReport"), Screens::Report}};
        QTimer::singleShot(1000, &form, [&, f = &form, screens] {
            ConsoleState& s = context.console();
            s.resetTrace(QStringLiteral("1 "));
            for (const char* line : {"2 ", "Select Record ", "Sms Fire-1 ", "Send Sms Ok", "Bal", "Bal OK"})
                s.appendTraceLine(QString::fromLatin1(line));
            s.setText(ConsoleState::Field::Response, QStringLiteral("Message Submitted 4711"));
            s.setText(ConsoleState::Field::Mobile, QStringLiteral("9876543210"));
            s.setText(ConsoleState::Field::Message, QStringLiteral("Your order 1234 has been dispatched."));
            s.setText(ConsoleState::Field::Status, QStringLiteral("Pending SMS : 12"));
            f->findChild<QAction*>(QStringLiteral("mnuShow"))->trigger();
            QTimer::singleShot(500, f, [&, f, screens] {
                save(f, QStringLiteral("console.png"));
                int delay = 0;
                for (const auto& [button, screen] : screens) {
                    delay += 800;
                    QTimer::singleShot(delay, f, [&, f, button, screen] {
                        f->findChild<QAbstractButton*>(button)->click();
                        QWidget* w = ScreenRegistry::instance().open(screen);
                        if (auto* show =
                                w ? w->findChild<QAbstractButton*>(QStringLiteral("JOk")) : nullptr) {
                            w->findChild<QAbstractButton*>(QStringLiteral("OP_0"))->click();
                            show->click();
                        }
                        QTimer::singleShot(500, f, [&, screen] {
                            save(ScreenRegistry::instance().open(screen), screen + QStringLiteral(".png"));
                        });
                    });
                }
                QTimer::singleShot(delay + 1500, f, [&] {
                    QApplication::closeAllWindows();
                    QCoreApplication::exit(failures == 0 ? 0 : 1);
                });
            });
        });
    });
}

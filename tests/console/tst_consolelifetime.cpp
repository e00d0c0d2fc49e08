// The process ends when the last screen is closed: a hidden console keeps it
// alive, and Exit ends it unless another screen is still open. Each case
// runs the real event loop through showConsole().

#include "ConsoleFixture.h"

#include "console/ConsoleLauncher.h"
#include "ui/ScreenRegistry.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

class TestConsoleLifetime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void exitEnds_data();
    void exitEnds();
    void hiddenConsoleKeepsProcess();
    void consoleFailsToLoad();

private:
    static ConsoleWindow* console();
    static QWidget* openReport();
    // Runs showConsole with a watchdog that ends the loop with 99.
    static int run(ConsoleFixture& fx, const std::function<void()>& script);
    ConsoleFixture* m_fx = nullptr;
};

void TestConsoleLifetime::init()
{
    m_fx = new ConsoleFixture;
    ScreenRegistry::instance().registerScreen(Screens::Report, [] {
        auto* w = new QWidget;
        w->setWindowTitle(QStringLiteral("report"));
        return w;
    });
}

void TestConsoleLifetime::cleanup()
{
    delete m_fx;
    m_fx = nullptr;
    ScreenRegistry::instance().clear();
    for (QWidget* w : QApplication::topLevelWidgets())
        w->close();
}

ConsoleWindow* TestConsoleLifetime::console()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<ConsoleWindow*>(w))
            return f;
    return nullptr;
}

QWidget* TestConsoleLifetime::openReport()
{
    return ScreenRegistry::instance().show(Screens::Report);
}

int TestConsoleLifetime::run(ConsoleFixture& fx, const std::function<void()>& script)
{
    ConsoleOptions options;
    options.settingsFile = fx.settingsFile;
    options.tray = ConsoleTray::Availability::Available;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    QTimer::singleShot(0, script);
    return showConsole(*fx.context, *fx.engine, options);
}

void TestConsoleLifetime::exitEnds_data()
{
    QTest::addColumn<bool>("reportOpen");
    QTest::addColumn<bool>("consoleHidden");
    QTest::newRow("nothing else open") << false << false;
    QTest::newRow("nothing else open, console hidden") << false << true;
    QTest::newRow("report open: ends when it closes") << true << true;
}

void TestConsoleLifetime::exitEnds()
{
    QFETCH(bool, reportOpen);
    QFETCH(bool, consoleHidden);

    bool reportStillOpenAfterExit = false;
    bool stillRunningAfterExit = false;
    const int code = run(*m_fx, [&] {
        ConsoleWindow* form = console();
        QVERIFY(form);
        if (consoleHidden)
            form->hide();
        QWidget* report = reportOpen ? openReport() : nullptr;
        form->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
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
    QVERIFY(!console()); // the console was unloaded and deleted
    QCOMPARE(stillRunningAfterExit, reportOpen);
    QCOMPARE(reportStillOpenAfterExit, reportOpen);
}

void TestConsoleLifetime::hiddenConsoleKeepsProcess()
{
    bool consoleAlive = false;
    const int code = run(*m_fx, [&] {
        ConsoleWindow* form = console();
        QVERIFY(form);
        QWidget* report = openReport();
        form->close(); // the close box: hidden behind the icon
        QVERIFY(form->isHidden());
        report->close();
        // Nothing is visible any more, yet the engine goes on.
        QTimer::singleShot(300, [&] {
            ConsoleWindow* still = console();
            consoleAlive = still && !still->isUnloaded() && m_fx->engine->interval() == 0;
            QCoreApplication::exit(7);
        });
    });
    QCOMPARE(code, 7);
    QVERIFY(consoleAlive);
    QVERIFY(!console()); // showConsole deletes it on its way out
}

void TestConsoleLifetime::consoleFailsToLoad()
{
    m_fx->context->store().exec(QStringLiteral("drop table config"));
    ConsoleOptions options;
    options.settingsFile = m_fx->settingsFile;
    QCOMPARE(showConsole(*m_fx->context, *m_fx->engine, options), 1);
    QCOMPARE(m_fx->prompt.messages.size(), 1);
    QCOMPARE(m_fx->prompt.messages[0].icon, Prompt::Icon::Critical);
    QVERIFY(!console());
}

QTEST_MAIN(TestConsoleLifetime)
#include "tst_consolelifetime.moc"

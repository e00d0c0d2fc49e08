#include "console/ConsoleLauncher.h"

#include "core/StoreError.h"
#include "dispatch/Engine.h"
#include "ui/Prompt.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

ConsoleLifetime::ConsoleLifetime(ConsoleWindow* console, QObject* parent)
    : QObject(parent), m_console(console)
{
    QApplication::setQuitOnLastWindowClosed(false);
    connect(console, &ConsoleWindow::unloaded, this, &ConsoleLifetime::onConsoleGone);
    connect(console, &QObject::destroyed, this, &ConsoleLifetime::onConsoleGone);
}

bool ConsoleLifetime::otherScreenOpen(const QWidget* console)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget* w : windows) {
        if (w == console || !w->isVisible() || !w->testAttribute(Qt::WA_QuitOnClose))
            continue;
        const Qt::WindowType type = w->windowType();
        if (type == Qt::Window || type == Qt::Dialog)
            return true;
    }
    return false;
}

void ConsoleLifetime::onConsoleGone()
{
    if (m_gone)
        return;
    m_gone = true;
    // From now on the last screen to close ends the process, as Qt does it.
    QApplication::setQuitOnLastWindowClosed(true);
    // Let the console's own close finish, then end at once when nothing else
    // is open.
    QTimer::singleShot(0, this, [this] {
        if (!otherScreenOpen(m_console.data()))
            QCoreApplication::quit();
    });
}

int showConsole(EngineContext& context, Engine& engine, const ConsoleOptions& options,
                const std::function<void(ConsoleWindow&)>& prepare)
{
    auto* console = new ConsoleWindow(context, engine, options);
    QPointer<ConsoleWindow> guard(console);
    ConsoleLifetime lifetime(console);
    QObject::connect(console, &ConsoleWindow::unloaded, console, &QObject::deleteLater);
    if (prepare)
        prepare(*console);
    try {
        console->load();
    } catch (const StoreError& e) {
        Prompt::current().message(
            nullptr, QString(),
            QStringLiteral("The engine console cannot start:\n%1 (error %2)").arg(e.text()).arg(e.number()),
            Prompt::Icon::Critical);
        delete console;
        return 1;
    }
    console->show();
    console->raise();
    console->activateWindow();
    const int code = QApplication::exec();
    // A session that ended, or a quit from elsewhere, leaves it loaded.
    delete guard.data();
    return code;
}

int showConsole(EngineContext& context, const ConsoleOptions& options,
                const std::function<void(ConsoleWindow&)>& prepare)
{
    Engine engine(context);
    return showConsole(context, engine, options, prepare);
}

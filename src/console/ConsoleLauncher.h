#pragma once

#include "console/ConsoleWindow.h"

#include <QObject>
#include <QPointer>
#include <functional>

class Engine;
class EngineContext;

// Keeps the process alive as long as any screen is loaded. While the console
// is loaded, hidden behind its tray icon or not, closing other screens never
// ends the process (Qt alone would quit when the last *visible* window
// closes). Once the console is unloaded, the process ends as soon as no
// screen is open any more: at once when none is, otherwise when the last
// one closes.
class ConsoleLifetime : public QObject
{
    Q_OBJECT
public:
    // Needs a QApplication; changes its quitOnLastWindowClosed setting.
    explicit ConsoleLifetime(ConsoleWindow* console, QObject* parent = nullptr);

    // True while a screen other than the console is shown.
    static bool otherScreenOpen(const QWidget* console);

private:
    void onConsoleGone();
    QPointer<ConsoleWindow> m_console;
    bool m_gone = false;
};

// The start-up hook of the engine program: shows the engine console on the
// store and profile that start-up has loaded and runs the event loop until
// the last screen is closed. Returns the exit code of the event loop, or 1
// when the console cannot load (the reason was shown to the operator).
//
// A QApplication must exist. prepare, when given, is called with the console
// once it is built and before it loads: the engine's operator actions
// connect to the console's signals there (balanceRequested() ...). Screens
// that the console opens are registered in ScreenRegistry beforehand.
int showConsole(EngineContext& context, Engine& engine, const ConsoleOptions& options = {},
                const std::function<void(ConsoleWindow&)>& prepare = {});

// The same with an engine of its own.
int showConsole(EngineContext& context, const ConsoleOptions& options = {},
                const std::function<void(ConsoleWindow&)>& prepare = {});

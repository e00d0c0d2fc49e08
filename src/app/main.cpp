#include "app/EngineProgram.h"
#include "common/ProgramHome.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("smsengine"));

    // The console is shown here, once the engine is ready: pass it as the
    // showConsole hook, e.g. [&](EngineContext& context) { ...; return app.exec(); }.
    const ShowConsole consoleHook;

    return runEngineProgram(ProgramHome::path(), consoleHook);
}

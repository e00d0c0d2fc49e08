#include "bulk/ui/BulkScreens.h"
#include "common/ProgramHome.h"
#include "console/ConsoleActions.h"
#include "console/ConsoleLauncher.h"
#include "console/ConsoleWindow.h"
#include "dispatch/Engine.h"
#include "intake/ui/IntakeScreens.h"
#include "programs/smsengine/EngineProgram.h"
#include "report/ui/ReportWindow.h"
#include "spreadsheet/ui/SpreadsheetMessagesWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("smsengine"));

    // Once start-up has the engine ready: register the screens the console
    // opens, then show the console with the operator's actions wired to it.
    const ShowConsole consoleHook = [](EngineContext& context) {
        registerIntakeScreens(context);
        registerBulkScreens(context);
        registerReportScreens(context);
        registerSpreadsheetScreens(context);
        Engine engine(context);
        return showConsole(context, engine, {},
                           [&engine](ConsoleWindow& console) { new ConsoleActions(console, engine); });
    };

    return runEngineProgram(ProgramHome::path(), consoleHook);
}

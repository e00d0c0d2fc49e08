#include "programs/smsengine/EngineProgram.h"
#include "bulk/ui/BulkScreens.h"
#include "common/ProgramHome.h"
#include "console/ConsoleActions.h"
#include "console/ConsoleLauncher.h"
#include "console/Form2.h"
#include "dispatch/Engine.h"
#include "intake/ui/IntakeScreens.h"
#include "report/FrmDetail.h"
#include "spreadsheet/Frm601.h"

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
                           [&engine](Form2& console) { new ConsoleActions(console, engine); });
    };

    return runEngineProgram(ProgramHome::path(), consoleHook);
}

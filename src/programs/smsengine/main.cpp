#include "bulk/ui/BulkScreens.h"
#include "common/LogHandler.h"
#include "common/ProgramHome.h"
#include "common/Version.h"
#include "console/ConsoleActions.h"
#include "console/ConsoleLauncher.h"
#include "console/ConsoleWindow.h"
#include "dispatch/Engine.h"
#include "intake/ui/IntakeScreens.h"
#include "programs/smsengine/EngineProgram.h"
#include "report/ui/ReportWindow.h"
#include "spreadsheet/ui/SpreadsheetMessagesWindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

namespace {
const char* const kHelp = "Usage: smsengine [--home DIR]\n"
                          "\n"
                          "The SMS engine with its console, tray icon and screens. It needs a display;\n"
                          "on a server run the engine without screens with `smsctl run`.\n"
                          "\n"
                          "Options:\n"
                          "  --home DIR     the program folder that holds SMS.db (default: $SMSENGINE_HOME,\n"
                          "                 else the executable's folder when SMS.db is there, else\n"
                          "                 ~/.local/share/smsengine for an installed program)\n"
                          "  -h, --help     show this text\n"
                          "  -V, --version  show the version\n"
                          "\n"
                          "The console's log also goes to $XDG_STATE_HOME/smsengine/smsengine.log\n"
                          "(~/.local/state/smsengine/smsengine.log).\n";

// Whether a window can be shown at all: Qt's platform plugin would abort
// with a page of advice that never mentions the headless engine.
bool haveDisplay(const QCommandLineParser& parser)
{
    return parser.isSet(QStringLiteral("platform")) || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
} // namespace

int main(int argc, char* argv[])
{
    // Read before QApplication exists: --help and --version need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("V"), QStringLiteral("version")}, QString());
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    // Qt's own, taken by QApplication.
    const QCommandLineOption platform(QStringLiteral("platform"), QString(), QStringLiteral("NAME"));
    parser.addOptions({help, version, home, platform});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "smsengine: %s\n%s", qPrintable(parser.errorText()), kHelp);
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("smsengine %s\n", qPrintable(Version::text()));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "smsengine: unexpected argument '%s'\n%s",
                     qPrintable(parser.positionalArguments().first()), kHelp);
        return 2;
    }
    if (!haveDisplay(parser)) {
        std::fprintf(stderr, "smsengine: no display (DISPLAY and WAYLAND_DISPLAY are not set); to run the "
                             "engine without screens use `smsctl run`\n");
        return 1;
    }
    if (parser.isSet(home))
        ProgramHome::setOverride(parser.value(home));

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("smsengine"));
    QApplication::setApplicationVersion(Version::number());
    // The console has no terminal: its log also goes to a file.
    LogHandler::install({QStringLiteral("smsengine"), LogHandler::defaultConsoleLogFile()});

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

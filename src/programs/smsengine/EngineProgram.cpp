#include "programs/smsengine/EngineProgram.h"

#include "core/Startup.h"
#include "ui/Prompt.h"

#include <cstdio>

int runEngineProgram(const QString& programFolder, const ShowConsole& showConsole)
{
    StartupResult start = Startup::run(programFolder);
    for (const QString& note : std::as_const(start.notes))
        std::fprintf(stderr, "smsengine: %s\n", qPrintable(note));
    switch (start.status) {
    case StartupResult::Status::Ready:
        return showConsole ? showConsole(*start.context) : Startup::ExitOk;
    case StartupResult::Status::AlreadyRunning:
        return start.exitCode();
    case StartupResult::Status::ProfileNotFound:
        std::fprintf(
            stderr,
            "smsengine: no default gateway profile (mark one with 'smsctl profile add ... --default')\n");
        Prompt::current().message(nullptr, QString(), start.message, Prompt::Icon::Critical);
        return start.exitCode();
    case StartupResult::Status::LockFailed:
    case StartupResult::Status::StoreUnavailable:
    case StartupResult::Status::ProfileFailed:
        std::fprintf(stderr, "smsengine: %s\n", qPrintable(start.message));
        Prompt::current().message(nullptr, QString(), start.message, Prompt::Icon::Critical);
        return start.exitCode();
    }
    return Startup::ExitStoreError;
}

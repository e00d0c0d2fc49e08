#pragma once

#include <QString>
#include <functional>

class EngineContext;

// The engine program after QApplication exists: start-up, then the console.
//
// showConsole is the one place where the program goes on once the engine
// is ready: it gets the EngineContext (valid until it returns) and returns
// the exit status, typically after showing the console and running the event
// loop. Left empty, the program ends after loading the profile with status 0.
//
// Start-up failures are shown through Prompt::current() (and written to
// stderr): " Please Call Administrator " with the critical icon and an empty
// title when there is no default profile, a critical message naming the
// store and the reason otherwise. A second instance ends silently with 0.
using ShowConsole = std::function<int(EngineContext&)>;

int runEngineProgram(const QString& programFolder, const ShowConsole& showConsole = {});

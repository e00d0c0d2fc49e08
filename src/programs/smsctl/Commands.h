#pragma once

#include "programs/smsctl/Cli.h"

// One function per command, each in its own file; Commands.cpp lists them.
namespace Cli {

int runInit(Context& context, const QStringList& args);
int runSend(Context& context, const QStringList& args);
int runStatus(Context& context, const QStringList& args);
int runProfile(Context& context, const QStringList& args);
int runModem(Context& context, const QStringList& args);
int runRun(Context& context, const QStringList& args);
int runConfig(Context& context, const QStringList& args);

} // namespace Cli

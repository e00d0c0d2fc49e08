#include "programs/smsctl/Commands.h"

namespace Cli {

// The command table. A new command is one line here plus its own file.
const QList<Command>& commands()
{
    static const QList<Command> table = {
        {QStringLiteral("init"), {QStringLiteral("init")}, &runInit},
        {QStringLiteral("profile"),
         {QStringLiteral(
              "profile add --user U --password P --send-url URL [--report-url URL] [--balance-url URL]\n"
              "                   [--gsm-sid S] [--cdma-sid S] [--interval MS] [--smsid N] [--consrt TEXT]\n"
              "                   [--default]"),
          QStringLiteral("profile list")},
         &runProfile},
        {QStringLiteral("modem"), {QStringLiteral("modem [--port N]")}, &runModem},
        {QStringLiteral("run"),
         {QStringLiteral(
             "run [--channel http|gsm] [--ticks N] [--until-idle] [--interval MS] [--modem-device PATH]")},
         &runRun},
        {QStringLiteral("config"), {QStringLiteral("config report-host [HOST]")}, &runConfig},
    };
    return table;
}

} // namespace Cli

#include "programs/smsctl/Commands.h"

namespace Cli {

// The command table. A new command is one line here plus its own file.
const QList<Command>& commands()
{
    static const QList<Command> table = {
        {QStringLiteral("init"), {QStringLiteral("init")}, &runInit},
        {QStringLiteral("send"),
         {QStringLiteral("send --to NUMBER --text TEXT|- [--urgent N] [--type N]")},
         &runSend},
        {QStringLiteral("status"), {QStringLiteral("status [--json]")}, &runStatus},
        {QStringLiteral("profile"),
         {QStringLiteral("profile add --user U (--password P | --password-stdin) --send-url URL\n"
                         "                   [--report-url URL] [--balance-url URL] [--gsm-sid S]\n"
                         "                   [--cdma-sid S] [--interval MS] [--smsid N] [--consrt TEXT]\n"
                         "                   [--default]"),
          QStringLiteral("profile edit NAME [the options of add, each optional]"),
          QStringLiteral("profile remove NAME [--force]"), QStringLiteral("profile default NAME"),
          QStringLiteral("profile list [--wide]")},
         &runProfile},
        {QStringLiteral("modem"), {QStringLiteral("modem [--port N]")}, &runModem},
        {QStringLiteral("run"),
         {QStringLiteral("run [--channel http|gsm] [--ticks N] [--until-idle] [--interval MS]\n"
                         "                   [--modem-device PATH] [--verbose]")},
         &runRun},
        {QStringLiteral("config"),
         {QStringLiteral("config report-host [HOST]"), QStringLiteral("config modem-device [PATH|--clear]")},
         &runConfig},
    };
    return table;
}

} // namespace Cli

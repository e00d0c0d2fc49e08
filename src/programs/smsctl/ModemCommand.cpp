#include "core/ModemPortNumber.h"
#include "core/Store.h"
#include "programs/smsctl/Commands.h"

namespace Cli {

// "modem --port N" stores the modem's serial port number; "modem" shows it.
int runModem(Context& context, const QStringList& args)
{
    const QString command = QStringLiteral("modem");
    const Options options = parse(args, {{QStringLiteral("port"), true}}, 0, command);
    const auto store = context.openStore();
    if (!options.has(QStringLiteral("port"))) {
        context.out << "Modem port: " << ModemPortNumber::read(*store) << '\n';
        return ExitOk;
    }
    const auto port =
        static_cast<qint16>(options.number(QStringLiteral("port"), 0, 1, ModemPortNumber::MaxPort, command));
    ModemPortNumber::write(*store, port);
    context.out << "Modem port set to " << port << '\n';
    return ExitOk;
}

} // namespace Cli

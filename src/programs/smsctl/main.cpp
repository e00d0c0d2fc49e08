#include "common/LogHandler.h"
#include "programs/smsctl/Cli.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("smsctl"));
    // Under systemd the lines go to the journal with their priority.
    LogHandler::install({QStringLiteral("smsctl"), QString()});
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = Cli::main(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return status;
}

// sms-modem-sim: a GSM modem in SMS text mode on a pseudo-terminal, for the
// engine's tests and demonstrations. The first line on stdout is the path of
// the serial device to open; each message sent is reported on a line of its own.

#include "ModemSimulator.h"

#include "common/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sms-modem-sim"));
    QCoreApplication::setApplicationVersion(Version::text());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("GSM modem simulator on a pseudo-terminal"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption echo(QStringLiteral("echo"), QStringLiteral("Echo what is received: on or off."),
                                  QStringLiteral("on|off"), QStringLiteral("on"));
    const QCommandLineOption mode(
        QStringLiteral("mode"),
        QStringLiteral("ok, no-prompt, error (AT+CMGS answered ERROR), cms-error (message answered "
                       "+CMS ERROR: 500), late-cms-error (the same one second later), slow (answers one "
                       "byte at a time) or left-at-prompt."),
        QStringLiteral("mode"), QStringLiteral("ok"));
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Pause before every answer."),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Write every byte received, escaped, to this file."),
                                 QStringLiteral("file"));
    const QCommandLineOption refuse(
        QStringLiteral("refuse"),
        QStringLiteral("Answer AT+CMGS= for this number with ERROR, in every mode."),
        QStringLiteral("number"));
    parser.addOptions({echo, mode, delay, log, refuse});
    parser.process(app);

    ModemSimulator::Options options;
    const QString echoValue = parser.value(echo).toLower();
    if (echoValue != QLatin1String("on") && echoValue != QLatin1String("off")) {
        std::fprintf(stderr, "sms-modem-sim: --echo takes on or off\n");
        return 2;
    }
    options.echo = echoValue == QLatin1String("on");
    if (!ModemSimulator::parseMode(parser.value(mode), &options.mode)) {
        std::fprintf(stderr, "sms-modem-sim: unknown --mode %s\n", qPrintable(parser.value(mode)));
        return 2;
    }
    bool ok = false;
    options.delayMs = parser.value(delay).toInt(&ok);
    if (!ok || options.delayMs < 0) {
        std::fprintf(stderr, "sms-modem-sim: --delay takes milliseconds\n");
        return 2;
    }
    options.logPath = parser.value(log);
    options.refusedNumber = parser.value(refuse).toLocal8Bit();

    ModemSimulator modem(options);
    QString error;
    if (!modem.start(&error)) {
        std::fprintf(stderr, "sms-modem-sim: %s\n", qPrintable(error));
        return 1;
    }
    QObject::connect(&modem, &ModemSimulator::messageSent,
                     [](int reference, const QByteArray& number, const QByteArray& text) {
                         std::printf("message %d to %s: %s\n", reference,
                                     ModemSimulator::escape(number).constData(),
                                     ModemSimulator::escape(text).constData());
                         std::fflush(stdout);
                     });
    std::printf("%s\n", qPrintable(modem.slavePath()));
    std::fflush(stdout);
    // Runs until killed; the log is written unbuffered, so nothing is lost.
    return app.exec();
}

#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs sms-modem-sim for a test: start() launches it with the given options
// (plus a log file of its own) and waits for the pseudo-terminal's path.
// Tests open device() with the engine's real serial-port code.
class ModemSim
{
public:
    ModemSim();
    ~ModemSim();
    ModemSim(const ModemSim&) = delete;
    ModemSim& operator=(const ModemSim&) = delete;

    // Options as on the command line, e.g. {"--echo", "off", "--mode", "error"}.
    // False (with the reason in errorString()) when the simulator did not come up.
    bool start(const QStringList& options = {});
    void stop();
    bool isRunning() const;

    QString device() const { return m_device; }
    QString errorString() const { return m_error; }

    // Every byte the simulated modem has received so far.
    QByteArray received() const;
    // The log as written: escaped bytes, one line per LF received.
    QStringList receivedLines() const;
    // "message <ref> to <number>: <text>" lines printed for each message sent.
    QStringList messages();

    static QByteArray unescape(const QByteArray& escaped);
    static QString program();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_device;
    QString m_error;
    QByteArray m_stdout;
};

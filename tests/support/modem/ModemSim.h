#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs sms-modem-sim for a test; tests open device() with the engine's real serial-port code.
class ModemSim
{
public:
    ModemSim() = default;
    ~ModemSim() { stop(); }
    ModemSim(const ModemSim&) = delete;
    ModemSim& operator=(const ModemSim&) = delete;

    // Options as on the command line, e.g. {"--echo", "off", "--mode", "error"}; false (with the reason in
    // errorString()) when the simulator did not report its pseudo-terminal.
    bool start(const QStringList& options = {});
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    QString device() const { return m_device; }
    QString errorString() const { return m_error; }

    // Every byte the simulated modem has received so far.
    QByteArray received() const;
    // "message <ref> to <number>: <text>" lines printed for each message sent.
    QStringList messages();

    // The simulator's log escapes bytes as \r, \n, \xHH and \<char>.
    static QByteArray unescape(const QByteArray& escaped);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_device;
    QString m_error;
    QByteArray m_stdout;
};

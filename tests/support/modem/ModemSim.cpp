#include "ModemSim.h"

#include <QFile>

ModemSim::ModemSim() = default;

ModemSim::~ModemSim()
{
    stop();
}

QString ModemSim::program()
{
    return QStringLiteral(SMS_MODEM_SIM_PATH);
}

bool ModemSim::start(const QStringList& options)
{
    stop();
    m_stdout.clear();
    QStringList args = options;
    args << QStringLiteral("--log") << m_dir.filePath(QStringLiteral("modem.log"));
    m_process.setProgram(program());
    m_process.setArguments(args);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    // Tests may block here: the first line is the device path.
    while (!m_stdout.contains('\n')) {
        if (!m_process.waitForReadyRead(10000)) {
            m_error = QStringLiteral("no device path from the simulator: ") +
                      QString::fromLocal8Bit(m_process.readAllStandardError());
            stop();
            return false;
        }
        m_stdout += m_process.readAllStandardOutput();
    }
    const qsizetype end = m_stdout.indexOf('\n');
    m_device = QString::fromLocal8Bit(m_stdout.left(end)).trimmed();
    m_stdout.remove(0, end + 1);
    return !m_device.isEmpty();
}

void ModemSim::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool ModemSim::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QByteArray ModemSim::unescape(const QByteArray& escaped)
{
    QByteArray out;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '\n')
            continue; // line breaks of the log itself
        if (c != '\\' || i + 1 >= escaped.size()) {
            out += c;
            continue;
        }
        const char k = escaped[++i];
        if (k == 'r') {
            out += '\r';
        } else if (k == 'n') {
            out += '\n';
        } else if (k == 'x' && i + 2 < escaped.size()) {
            out += static_cast<char>(escaped.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += k;
        }
    }
    return out;
}

QByteArray ModemSim::received() const
{
    QFile log(m_dir.filePath(QStringLiteral("modem.log")));
    if (!log.open(QIODevice::ReadOnly))
        return QByteArray();
    return unescape(log.readAll());
}

QStringList ModemSim::receivedLines() const
{
    QFile log(m_dir.filePath(QStringLiteral("modem.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList ModemSim::messages()
{
    m_stdout += m_process.readAllStandardOutput();
    QStringList lines = QString::fromLocal8Bit(m_stdout).split(u'\n', Qt::SkipEmptyParts);
    return lines;
}

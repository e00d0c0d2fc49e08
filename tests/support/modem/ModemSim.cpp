#include "ModemSim.h"

#include <QFile>

using namespace Qt::StringLiterals;

bool ModemSim::start(const QStringList& options)
{
    stop();
    m_stdout.clear();
    m_process.start(QStringLiteral(SMS_MODEM_SIM_PATH),
                    options + QStringList{u"--log"_s, m_dir.filePath(u"modem.log"_s)});
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    // The first line is the device path.
    while (!m_stdout.contains('\n')) {
        if (!m_process.waitForReadyRead(10000)) {
            m_error = u"no device path from the simulator: "_s +
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

QByteArray ModemSim::unescape(const QByteArray& escaped)
{
    QByteArray out;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '\n') // line breaks of the log itself
            continue;
        if (c != '\\' || i + 1 >= escaped.size()) {
            out += c;
            continue;
        }
        const char k = escaped[++i];
        if (k == 'x' && i + 2 < escaped.size()) {
            out += static_cast<char>(escaped.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += k == 'r' ? '\r' : k == 'n' ? '\n' : k;
        }
    }
    return out;
}

QByteArray ModemSim::received() const
{
    QFile log(m_dir.filePath(u"modem.log"_s));
    return log.open(QIODevice::ReadOnly) ? unescape(log.readAll()) : QByteArray();
}

QStringList ModemSim::messages()
{
    m_stdout += m_process.readAllStandardOutput();
    return QString::fromLocal8Bit(m_stdout).split(u'\n', Qt::SkipEmptyParts);
}

#include "ModemSimulator.h"

#include <QDateTime>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr int kSlowByteGapMs = 10;
constexpr int kLateRefusalMs = 1000;

void makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
}
} // namespace

ModemSimulator::ModemSimulator(const Options& options, QObject* parent)
    : QObject(parent), m_options(options), m_echo(options.echo)
{
    m_textEntry = options.mode == Mode::LeftAtPrompt;
    if (m_textEntry)
        m_number = "0000000000";
}

ModemSimulator::~ModemSimulator()
{
    m_notifier.reset();
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
}

bool ModemSimulator::parseMode(const QString& text, Mode* mode)
{
    static const struct
    {
        const char* name;
        Mode mode;
    } modes[] = {{"ok", Mode::Ok},
                 {"no-prompt", Mode::NoPrompt},
                 {"error", Mode::Error},
                 {"cms-error", Mode::CmsError},
                 {"slow", Mode::Slow},
                 {"left-at-prompt", Mode::LeftAtPrompt},
                 {"late-cms-error", Mode::LateCmsError}};
    for (const auto& m : modes) {
        if (text == QLatin1String(m.name)) {
            *mode = m.mode;
            return true;
        }
    }
    return false;
}

QByteArray ModemSimulator::escape(const QByteArray& bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c >= 0x20 && c < 0x7F)
            out += static_cast<char>(c);
        else
            out += QByteArray("\\x") + hex[c >> 4] + hex[c & 0xF];
    }
    return out;
}

bool ModemSimulator::start(QString* error)
{
    if (!m_options.logPath.isEmpty()) {
        m_log.setFileName(m_options.logPath);
        if (!m_log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            *error =
                QStringLiteral("cannot write the log %1: %2").arg(m_options.logPath, m_log.errorString());
            return false;
        }
    }
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        *error =
            QStringLiteral("cannot open a pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const char* name = ptsname(m_master);
    if (!name) {
        *error = QStringLiteral("no slave name for the pseudo-terminal");
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // No echo or line editing by the terminal itself: the modem does its own echo.
    m_slaveKeeper = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slaveKeeper >= 0)
        makeRaw(m_slaveKeeper);
    makeRaw(m_master);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ModemSimulator::onReadable);
    return true;
}

void ModemSimulator::onReadable()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            return;
        const QByteArray bytes(buffer, static_cast<qsizetype>(n));
        log(bytes);
        for (const char c : bytes)
            handleByte(c);
    }
}

void ModemSimulator::log(const QByteArray& bytes)
{
    if (!m_log.isOpen())
        return;
    QByteArray out;
    for (const char c : bytes) {
        out += escape(QByteArray(1, c));
        if (c == '\n')
            out += '\n';
    }
    m_log.write(out);
}

void ModemSimulator::handleByte(char c)
{
    if (m_textEntry) {
        if (c == kCtrlZ) {
            m_textEntry = false;
            const QByteArray refusal = "\r\n+CMS ERROR: 500\r\n";
            if (m_options.mode == Mode::CmsError) {
                answer(refusal);
            } else if (m_options.mode == Mode::LateCmsError) {
                // The network's refusal, long after the echo.
                QTimer::singleShot(kLateRefusalMs, this, [this, refusal] { answer(refusal); });
            } else {
                const int reference = m_nextReference++;
                Q_EMIT messageSent(reference, m_number, m_text);
                answer("\r\n+CMGS: " + QByteArray::number(reference) + "\r\n\r\nOK\r\n");
            }
            m_text.clear();
            return;
        }
        if (c == kEsc) {
            m_textEntry = false;
            m_text.clear();
            answer("\r\nOK\r\n");
            return;
        }
        m_text += c;
        if (m_echo && c != '\r')
            writeNow(QByteArray(1, c));
        if (c == '\r')
            answer("\r\n> ");
        return;
    }

    if (m_echo)
        writeNow(QByteArray(1, c));
    if (c == '\n')
        return;
    if (c != '\r') {
        m_line += c;
        return;
    }
    const QByteArray line = m_line.trimmed();
    m_line.clear();
    if (line.size() >= 2 && line.left(2).toUpper() == "AT")
        handleCommand(line.mid(2));
}

void ModemSimulator::handleCommand(const QByteArray& command)
{
    const QByteArray upper = command.toUpper();
    if (upper.isEmpty() || upper == "Z") {
        answer("\r\nOK\r\n");
    } else if (upper == "E0" || upper == "E1") {
        m_echo = upper == "E1";
        answer("\r\nOK\r\n");
    } else if (upper == "+CMGF=0" || upper == "+CMGF=1") {
        m_textMode = upper.back() - '0';
        answer("\r\nOK\r\n");
    } else if (upper == "+CMGF?") {
        answer("\r\n+CMGF: " + QByteArray::number(m_textMode) + "\r\n\r\nOK\r\n");
    } else if (upper.startsWith("+CMGS=")) {
        QByteArray number = command.mid(6).trimmed();
        if (number.size() >= 2 && number.startsWith('"') && number.endsWith('"'))
            number = number.mid(1, number.size() - 2);
        if (!m_options.refusedNumber.isEmpty() && number == m_options.refusedNumber) {
            answer("\r\nERROR\r\n");
            return;
        }
        switch (m_options.mode) {
        case Mode::NoPrompt:
            return;
        case Mode::Error:
            answer("\r\nERROR\r\n");
            return;
        default:
            m_number = number;
            m_text.clear();
            m_textEntry = true;
            answer("\r\n> ");
        }
    } else {
        answer("\r\nERROR\r\n");
    }
}

void ModemSimulator::answer(const QByteArray& bytes)
{
    const bool slow = m_options.mode == Mode::Slow;
    if (m_options.delayMs <= 0 && !slow) {
        writeNow(bytes);
        return;
    }
    // Answers leave in the order given, each after the pause and, when slow,
    // one byte at a time.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 at = std::max(now, m_answerQueueEnd) + m_options.delayMs;
    if (!slow) {
        QTimer::singleShot(static_cast<int>(at - now), this, [this, bytes] { writeNow(bytes); });
        m_answerQueueEnd = at;
        return;
    }
    for (const char c : bytes) {
        QTimer::singleShot(static_cast<int>(at - now), this, [this, c] { writeNow(QByteArray(1, c)); });
        at += kSlowByteGapMs;
    }
    m_answerQueueEnd = at;
}

void ModemSimulator::writeNow(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // nobody reads: the line is down
        }
        done += n;
    }
}

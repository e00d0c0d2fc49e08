#include "channels/SerialModemPort.h"

#include "channels/ChannelError.h"

#include <QPointer>
#include <QTimer>

#include <coroutine>

namespace {
// Resumes the awaiting coroutine once, from the event loop, at the first of:
// bytes to read, a port failure, the deadline.
class DataAwaiter
{
public:
    DataAwaiter(SerialModemPort& owner, QSerialPort& port, QDeadlineTimer deadline)
        : m_owner(&owner), m_port(port), m_deadline(deadline)
    {
    }

    bool await_ready()
    {
        if (!m_owner->isOpen()) {
            m_result = SerialModemPort::Wait::Failed;
            return true;
        }
        if (m_port.bytesAvailable() > 0) {
            m_result = SerialModemPort::Wait::Data;
            return true;
        }
        if (m_deadline.hasExpired()) {
            m_result = SerialModemPort::Wait::TimedOut;
            return true;
        }
        return false;
    }

    void await_suspend(std::coroutine_handle<> handle)
    {
        m_handle = handle;
        m_timer = new QTimer(m_owner);
        m_timer->setSingleShot(true);
        m_connections[0] = QObject::connect(m_timer, &QTimer::timeout, m_owner,
                                            [this] { finish(SerialModemPort::Wait::TimedOut); });
        m_connections[1] = QObject::connect(&m_port, &QSerialPort::readyRead, m_owner,
                                            [this] { finish(SerialModemPort::Wait::Data); });
        m_connections[2] = QObject::connect(m_owner, &SerialModemPort::failed, m_owner,
                                            [this] { finish(SerialModemPort::Wait::Failed); });
        if (!m_deadline.isForever())
            m_timer->start(std::max<qint64>(0, m_deadline.remainingTime()));
    }

    SerialModemPort::Wait await_resume() const { return m_result; }

private:
    void finish(SerialModemPort::Wait result)
    {
        if (m_done)
            return;
        m_done = true;
        m_result = result;
        // Nothing may call back into this awaiter once the coroutine goes on
        // (it lives in the coroutine's frame): drop every connection now.
        for (const QMetaObject::Connection& c : m_connections)
            QObject::disconnect(c);
        m_timer->stop();
        m_timer->deleteLater();
        // The coroutine goes on from the event loop, outside the port's signals.
        const std::coroutine_handle<> handle = m_handle;
        QTimer::singleShot(0, m_owner, [handle] { handle.resume(); });
    }

    QPointer<SerialModemPort> m_owner;
    QSerialPort& m_port;
    QDeadlineTimer m_deadline;
    QTimer* m_timer = nullptr;
    QMetaObject::Connection m_connections[3];
    std::coroutine_handle<> m_handle;
    SerialModemPort::Wait m_result = SerialModemPort::Wait::TimedOut;
    bool m_done = false;
};
} // namespace

SerialModemPort::SerialModemPort(QObject* parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialModemPort::onError);
}

SerialModemPort::~SerialModemPort()
{
    close();
}

void SerialModemPort::open()
{
    if (isOpen())
        return;
    close(); // a port that failed is opened afresh
    if (m_device.isEmpty())
        throw ChannelError(ChannelError::NoModemDevice,
                           QStringLiteral("No serial device for the modem: set the port number or "
                                          "SMSENGINE_MODEM_DEVICE"));
    m_port.setPortName(m_device);
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_port.error();
        const QString reason = m_port.errorString();
        m_port.clearError();
        int number = ChannelError::ModemOpen;
        if (error == QSerialPort::DeviceNotFoundError)
            number = ChannelError::NoModemDevice;
        else if (error == QSerialPort::PermissionError)
            number = ChannelError::ModemInUse;
        throw ChannelError(number, QStringLiteral("Cannot open the modem port %1: %2").arg(m_device, reason));
    }
    // A modem wants DTR raised; a pseudo-terminal has no control lines and
    // refuses it, which is not an error for the exchange.
    m_port.setDataTerminalReady(true);
    m_port.clearError();
    m_lastError.clear();
    m_broken = false;
}

void SerialModemPort::close()
{
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    m_broken = false;
}

bool SerialModemPort::write(const QByteArray& bytes)
{
    if (!isOpen())
        return false;
    if (m_port.write(bytes) != bytes.size())
        return false;
    m_port.flush(); // hands the bytes to the device now, without waiting
    return isOpen();
}

QByteArray SerialModemPort::readAll()
{
    if (!isOpen())
        return QByteArray();
    return m_port.readAll();
}

QCoro::Task<SerialModemPort::Wait> SerialModemPort::waitForData(QDeadlineTimer deadline)
{
    co_return co_await DataAwaiter(*this, m_port, deadline);
}

void SerialModemPort::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // DTR on a pseudo-terminal
    case QSerialPort::TimeoutError:
        return;
    default:
        break;
    }
    if (!m_port.isOpen() || m_broken)
        return; // a failed open is reported by open(); one failure is enough
    // A device that went away keeps reporting read errors while it is open:
    // close it, from the event loop rather than from inside its own signal.
    m_broken = true;
    m_lastError = m_port.errorString();
    QTimer::singleShot(0, this, [this] {
        if (m_broken && m_port.isOpen()) {
            m_port.close();
            m_port.clearError();
        }
    });
    Q_EMIT failed(m_lastError);
}

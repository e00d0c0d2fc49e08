#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QDeadlineTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>

// The modem's serial port: 9600 bit/s, 8 data bits, no parity, one stop bit,
// no flow control. It is opened on the first exchange and stays open; a port
// that fails while open (a modem unplugged, a read or write error) counts as
// closed, so that the next exchange opens it again.
//
// The four operations the modem exchange needs: isOpen(), open(), write()
// and readAll(), plus waitForData(), the event-driven wait for more bytes.
class SerialModemPort : public QObject
{
    Q_OBJECT
public:
    enum class Wait
    {
        Data,
        TimedOut,
        Failed
    };

    explicit SerialModemPort(QObject* parent = nullptr);
    ~SerialModemPort() override;

    // The serial device (a path such as /dev/ttyS0); takes effect at the next open.
    void setDevice(const QString& path) { m_device = path; }
    QString device() const { return m_device; }

    // Open and not failed.
    bool isOpen() const { return m_port.isOpen() && !m_broken; }

    // Opens the device. Throws ChannelError when there is no device or it
    // cannot be opened. Raising DTR is tried; a device without modem control
    // lines (a pseudo-terminal) is accepted without it.
    void open();
    void close();

    // Queues the bytes and hands them to the device at once. False when the
    // port is not open or the device refused them.
    bool write(const QByteArray& bytes);

    // Everything received so far; empties the receive buffer.
    QByteArray readAll();

    // Waits without blocking the event loop until bytes are waiting to be
    // read (at once when some are already there), the port fails, or the
    // deadline passes.
    QCoro::Task<Wait> waitForData(QDeadlineTimer deadline);

    // The last failure of the open port, empty when none.
    QString lastError() const { return m_lastError; }

Q_SIGNALS:
    // The open port failed and was closed.
    void failed(const QString& reason);

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QString m_device;
    QString m_lastError;
    bool m_broken = false; // failed while open; closed and opened again by open()
};

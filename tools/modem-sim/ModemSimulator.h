#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

// A GSM modem in SMS text mode behind a pseudo-terminal. The engine opens
// the slave side as its serial port; the simulator reads and answers on the
// master side.
//
// Commands (a line up to CR, "AT" in any letter case; LF is ignored, a line
// that does not start with "AT" is ignored as a real modem does):
//   AT, ATZ, AT+CMGF=0|1, ATE0, ATE1     -> OK
//   AT+CMGF?                             -> +CMGF: <mode>, OK
//   AT+CMGS="<number>"                   -> the "> " prompt; text follows
//   anything else                        -> ERROR
// In text entry a CR gives a new "> " prompt, Ctrl-Z sends the message
// ("+CMGS: <ref>" then "OK"), ESC abandons it ("OK").
class ModemSimulator : public QObject
{
    Q_OBJECT
public:
    enum class Mode
    {
        Ok,           // answers as a working modem
        NoPrompt,     // AT+CMGS= gets no answer at all
        Error,        // AT+CMGS= is answered with ERROR
        CmsError,     // the message (Ctrl-Z) is answered with +CMS ERROR: 500
        Slow,         // as Ok, but every answer trickles in one byte at a time
        LeftAtPrompt, // as Ok, but starts in text entry, as an exchange cut short leaves it
        LateCmsError, // as CmsError, but the refusal comes one second after Ctrl-Z
    };

    struct Options
    {
        bool echo = true;
        Mode mode = Mode::Ok;
        int delayMs = 0;          // pause before every answer
        QByteArray refusedNumber; // AT+CMGS= for this number is answered with ERROR, whatever the mode
        QString logPath;          // every byte received, escaped; a line ends after each LF
    };

    explicit ModemSimulator(const Options& options, QObject* parent = nullptr);
    ~ModemSimulator() override;

    // Opens the pseudo-terminal; false with a reason on failure.
    bool start(QString* error);
    QString slavePath() const { return m_slavePath; }

    static bool parseMode(const QString& text, Mode* mode);
    // Printable ASCII as it is, "\\" for a backslash, \r \n and \xHH for the rest.
    static QByteArray escape(const QByteArray& bytes);

Q_SIGNALS:
    // A message was sent (for the console output).
    void messageSent(int reference, const QByteArray& number, const QByteArray& text);

private:
    void onReadable();
    void handleByte(char c);
    void handleCommand(const QByteArray& line);
    void answer(const QByteArray& bytes);
    void writeNow(const QByteArray& bytes);
    void log(const QByteArray& bytes);

    Options m_options;
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the line up while no client has the port open
    QString m_slavePath;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QFile m_log;

    bool m_textEntry = false;
    bool m_echo = true;
    int m_textMode = 0;
    int m_nextReference = 1;
    QByteArray m_line;
    QByteArray m_number;
    QByteArray m_text;
    qint64 m_answerQueueEnd = 0; // keeps delayed answers in order
};

#pragma once

#include <QCoroTask>
#include <QString>

#include <chrono>

class SerialModemPort;

// What the modem has said so far in one wait of the exchange, looked at as
// it arrives: each piece is examined once, with the few characters before it
// that a result may straddle, so a modem flooding the line costs time in
// proportion to what it sends rather than to its square.
class ModemAnswerScan
{
public:
    enum class Phase
    {
        Prepare, // after AT+cmgf=1: "OK" anywhere, else a left-over ">"
        Prompt,  // after AT+CMGS=: the ">" prompt, or an error line
        Text,    // after the text: its acceptance or an error line (ModemExchange::answerToText)
    };
    enum class Found
    {
        Nothing,
        Ok,
        Prompt,
        Error,
        Accepted,
    };

    // sent: for the Text phase, the text as it went on the line (its echo is no answer).
    explicit ModemAnswerScan(Phase phase, const QString& sent = QString());

    Found feed(const QString& more);
    const QString& received() const { return m_received; }
    // Characters looked at over all feeds: what keeps the scan linear.
    qsizetype examined() const { return m_examined; }

private:
    Found scanText(qsizetype from);
    // whole: from `from` on, else only what the last piece can have completed
    bool errorFrom(qsizetype from, bool whole);

    Phase m_phase;
    QString m_echo;
    QString m_received;
    qsizetype m_scanned = 0;      // m_received up to here has been examined
    qsizetype m_answerStart = -1; // where the modem's own words start after the echo, once known
    qsizetype m_lineStart = -1;   // the start of the current line, after a line break in the answer
    qsizetype m_examined = 0;
};

// The time bounds of the modem exchange. Each wait goes on as the modem's
// answer arrives, without blocking the event loop, and ends at its bound.
struct ModemTiming
{
    // PrepareModem: the wait for "OK" (or a left-over ">") after AT+cmgf=1,
    // per round.
    std::chrono::milliseconds prepare{5000};
    // PrepareModem: how many times a left-over ">" prompt is cleared before
    // it gives up (each clearing starts a new round).
    int prepareRecoveries = 3;
    // SendModemSMS: the pause after AT+CMGS= before the prompt is looked for.
    std::chrono::milliseconds promptPause{50};
    // SendModemSMS: the wait for the ">" prompt.
    std::chrono::milliseconds prompt{10000};
    // SendModemSMS: the wait for the acceptance ("+CMGS:" or "OK").
    std::chrono::milliseconds acceptance{50000};
};

// The text-mode SMS exchange with a GSM modem on the modem port. The bytes
// on the line, in order:
//   PrepareModem:  "AT+cmgf=1" CR LF, then, while the modem still shows the
//                  ">" prompt of an earlier message, ESC (which abandons
//                  that message) and "AT+CMGF=1" CR LF before "AT+cmgf=1"
//                  CR LF again;
//   SendModemSMS:  "AT+CMGS=" quote number quote CR, and after the ">"
//                  prompt the text, Ctrl-Z, "Z", CR, LF.
// Text travels as Windows-1252 bytes (a character outside it as "?").
//
// The port and the exchange must outlive a running exchange.
class ModemExchange
{
public:
    explicit ModemExchange(SerialModemPort& port, ModemTiming timing = {});

    ModemTiming& timing() { return m_timing; }
    SerialModemPort& port() { return m_port; }

    // Opens the port when it is not open (a port that cannot be opened
    // throws ChannelError), selects text mode and clears a ">" prompt left
    // by an earlier exchange. Returns when the modem has answered "OK", or
    // at the bound, or on a port failure; the send goes on regardless.
    QCoro::Task<> prepareModem();

    // Sends one message. Returns
    //   "OK" + everything the modem sent after the text, when the modem
    //        accepted it (see answerToText());
    //   "Error" when the prompt or the acceptance did not come within its
    //        bound, or the modem answered ERROR / +CMS ERROR / +CME ERROR;
    //   empty text when the port is not open or failed.
    // number is the cleaned number, text the prepared text.
    QCoro::Task<QString> sendModemSms(QString number, QString text);

    enum class TextAnswer
    {
        Pending,
        Accepted,
        Refused
    };
    // What the modem has said so far about a message whose text (as sent)
    // it was given: received is everything read since. The echo of the text
    // (echo on) is no answer, whatever it reads like; after it, a result line
    // "+CMGS: <ref>" (any letter case) or "OK" accepts the message, and an
    // error line (hasErrorLine()) refuses it.
    static TextAnswer answerToText(const QString& received, const QString& sent);

    // True when the modem's answer holds an error result after a line break:
    // a complete line "ERROR", or one starting with "+CMS ERROR" or
    // "+CME ERROR" (an echoed text reading "ERROR" is not one).
    static bool hasErrorLine(const QString& answer);

private:
    SerialModemPort& m_port;
    ModemTiming m_timing;
};

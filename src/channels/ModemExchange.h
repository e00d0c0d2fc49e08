#pragma once

#include <QCoroTask>
#include <QString>

#include <chrono>

class SerialModemPort;

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

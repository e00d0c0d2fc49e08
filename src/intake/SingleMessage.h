#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <optional>

class Store;
struct ProfileState;

// What the single-message screen does with one "Send SMS": the rules without
// the widgets.
namespace SingleMessage {

constexpr int MaxMessageLength = 160;
constexpr int MaxNumberLength = 10;
inline const QString StampPattern = QStringLiteral("ddmmyyyHHMMSS");
inline const QString QueuedText = QStringLiteral(" Sms set in Queue ");

// The length counter: " 12/ 160" for a 12-character text.
QString lengthCounter(qsizetype length);

// "Send SMS" is enabled when neither text is empty or white space only.
bool sendEnabled(const QString& number, const QString& message);

// The text of the SMS ID box as a counter value: a number (leading and
// trailing blanks allowed) rounded down. Nothing when the text is not a
// number; outOfRange is set when it is one but does not fit 32 bits.
std::optional<qint32> counterFromText(const QString& text, bool* outOfRange = nullptr);

struct Request
{
    QString number;    // the text of TxMOB
    QString message;   // the text of TxMSG, line breaks as CR LF
    QString smsIdText; // the text of TxSMSID
    QDateTime now;     // local time of the click
};

enum class Outcome
{
    Queued,         // the row is queued and the counter advanced
    NotQueued,      // number out of bounds or empty message: nothing happens
    BadSmsId,       // the SMS ID is a number too large for the counter
    CounterAtLimit, // the counter cannot advance: nothing queued
};

struct Result
{
    Outcome outcome = Outcome::NotQueued;
    QString number;     // the number text, trimmed
    QString message;    // the message text with every CR LF removed
    QString stamp;      // the queueing time stamp
    qint32 counter = 0; // the counter after the click
};

// Runs the steps of "Send SMS". The queue row and the counter written into
// every config row go in one transaction; profile.smsId follows. A store
// failure throws StoreError and leaves the store as it was (the counter
// keeps the value taken from the SMS ID box, not advanced).
Result send(Store& store, ProfileState& profile, const Request& request);

} // namespace SingleMessage

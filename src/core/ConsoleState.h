#pragma once

#include <QObject>
#include <QString>

// What the engine shows on its console: the texts of the console's fields and
// a few visibility flags. The engine writes here; the console window mirrors
// the values, and the headless engine reads them for its log. Nothing in here
// depends on widgets.
class ConsoleState : public QObject
{
    Q_OBJECT
public:
    enum class Channel
    {
        Http,
        Gsm
    }; // Option2 "INTERNET" / OpGSM "GSM"

    enum class Field
    {
        Trace,       // Text2: the tick trace
        Response,    // Text1: the last gateway answer or modem result
        Title,       // the console's window title
        Mobile,      // LBmobile
        Message,     // Lbmsg
        Status,      // Label2
        LastAttempt, // LB3
        Counter,     // LB4
        Balance,     // Lbbal1
        DeleteTag,   // tag of lbDelete: the stored number on show
        UserName,    // text of Combo1
    };
    Q_ENUM(Field)

    enum class Flag
    {
        RecheckVisible, // Label4 "Re-Check For Undiliverd"
        DeleteVisible,  // lbDelete "Delete this SMS"
        DeleteEnabled,  // lbDelete enabled
        WindowEnabled,  // the console takes operator input
    };
    Q_ENUM(Flag)

    explicit ConsoleState(QObject* parent = nullptr);

    QString text(Field field) const;
    void setText(Field field, const QString& value);
    bool flag(Flag flag) const;
    void setFlag(Flag flag, bool on);

    // The trace box: reset at each tick, then pieces appended.
    void resetTrace(const QString& first) { setText(Field::Trace, first); }
    void appendTrace(const QString& piece) { setText(Field::Trace, text(Field::Trace) + piece); }
    // A trace line: the piece followed by CR LF.
    void appendTraceLine(const QString& line) { appendTrace(line + QStringLiteral("\r\n")); }

    Channel channel() const { return m_channel; }
    void setChannel(Channel channel);

Q_SIGNALS:
    void textChanged(ConsoleState::Field field, const QString& value);
    void flagChanged(ConsoleState::Flag flag, bool on);
    void channelChanged(ConsoleState::Channel channel);

private:
    static constexpr int FieldCount = 11;
    static constexpr int FlagCount = 4;
    QString m_texts[FieldCount];
    bool m_flags[FlagCount] = {false, false, true, true};
    Channel m_channel = Channel::Http;
};

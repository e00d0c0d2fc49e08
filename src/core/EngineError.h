#pragma once

#include <QString>
#include <stdexcept>

// The common base of the errors that end a tick through its guard: a number
// and a text, which the tick's trace prints as "Error", CR LF, then the number
// with one leading blank immediately followed by the text. StoreError (store
// and server statements) and ChannelError (gateway fetches, the modem port)
// derive from it, so the guard catches one type.
class EngineError : public std::runtime_error
{
public:
    EngineError(int number, const QString& text)
        : std::runtime_error(text.toStdString()), m_number(number), m_text(text)
    {
    }

    int number() const { return m_number; }
    const QString& text() const { return m_text; }

private:
    int m_number;
    QString m_text;
};

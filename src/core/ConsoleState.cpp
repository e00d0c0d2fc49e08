#include "core/ConsoleState.h"

ConsoleState::ConsoleState(QObject* parent) : QObject(parent) {}

QString ConsoleState::text(Field field) const
{
    return m_texts[static_cast<int>(field)];
}

void ConsoleState::setText(Field field, const QString& value)
{
    QString& slot = m_texts[static_cast<int>(field)];
    if (slot == value)
        return;
    slot = value;
    Q_EMIT textChanged(field, value);
}

bool ConsoleState::flag(Flag flag) const
{
    return m_flags[static_cast<int>(flag)];
}

void ConsoleState::setFlag(Flag flag, bool on)
{
    bool& slot = m_flags[static_cast<int>(flag)];
    if (slot == on)
        return;
    slot = on;
    Q_EMIT flagChanged(flag, on);
}

void ConsoleState::setChannel(Channel channel)
{
    if (m_channel == channel)
        return;
    m_channel = channel;
    Q_EMIT channelChanged(channel);
}

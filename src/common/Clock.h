#pragma once

#include <QDateTime>
#include <functional>

// The one time source of the engine and its screens. Stamps written into the
// queue and the ledger, file ages and the console's times all read it, so a
// test that fixes it fixes every one of them at once.
class Clock
{
public:
    using Source = std::function<QDateTime()>;

    Clock() = default;
    explicit Clock(Source source) : m_source(std::move(source)) {}

    QDateTime now() const { return m_source ? m_source() : QDateTime::currentDateTime(); }
    // An empty source goes back to the system time.
    void set(Source source) { m_source = std::move(source); }

private:
    Source m_source;
};

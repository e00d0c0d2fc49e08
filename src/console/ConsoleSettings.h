#pragma once

#include <QString>
#include <memory>

class QSettings;

// The console's two per-user choices: whether the engine starts by itself
// when the console loads ("Start") and the delivery channel last chosen
// ("Divice"). They live in the platform's per-user settings under the
// application "GarvelloSMSEng", group "AutoStartService"; a test (or a
// portable installation) passes an INI file instead.
class ConsoleSettings
{
public:
    // iniFile empty: the per-user settings store of the platform.
    explicit ConsoleSettings(const QString& iniFile = QString());
    ~ConsoleSettings();
    ConsoleSettings(const ConsoleSettings&) = delete;
    ConsoleSettings& operator=(const ConsoleSettings&) = delete;

    // "Start" read as a number: missing, empty or not a number give 0.
    int autoStartValue() const;
    // Auto-start is on only for the value 1 (a ticked box).
    bool autoStart() const { return autoStartValue() == 1; }
    void setAutoStart(bool on);

    // True when "Divice" is exactly "GSM"; any other value or none is the
    // HTTP channel.
    bool gsmChannel() const;
    void setGsmChannel(bool gsm);

    // Where the values are kept (a file path), for messages and tests.
    QString location() const;

private:
    QString read(const QString& key, const QString& fallback) const;
    void write(const QString& key, const QString& value);

    std::unique_ptr<QSettings> m_settings;
};

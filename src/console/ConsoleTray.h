#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QSystemTrayIcon;

// The console's icon in the desktop's notification area: add, change the tip,
// show a balloon, remove. A right-button click on the icon is reported as
// contextRequested(); left clicks, double clicks and middle clicks do nothing.
//
// Where the desktop has no notification area (offscreen, a bare X server)
// the icon is still created so that a tray appearing later picks it up, but
// available() is false and the console keeps itself reachable as a normal
// window. Tips and balloons are recorded either way, so what the operator
// would have been told can be checked.
class ConsoleTray : public QObject
{
    Q_OBJECT
public:
    enum class Availability
    {
        Detect,
        Available,
        Unavailable
    };

    explicit ConsoleTray(Availability availability = Availability::Detect, QObject* parent = nullptr);
    ~ConsoleTray() override;

    // True when the desktop shows tray icons (or a test says so).
    bool available() const { return m_available; }

    void add(const QIcon& icon, const QString& tip);
    // Changes the tip of an added icon (the picture stays).
    void changeTip(const QString& tip);
    // Shows a balloon with the information icon.
    void showBalloon(const QString& title, const QString& text);
    // Removes the icon; later calls do nothing.
    void remove();

    bool installed() const { return m_icon != nullptr; }
    QString tip() const { return m_tip; }
    QString lastBalloonTitle() const { return m_balloonTitle; }
    QString lastBalloonText() const { return m_balloonText; }
    // The icon object while installed (tests read its tool tip and visibility).
    QSystemTrayIcon* icon() const { return m_icon; }

    // How the icon was activated, as the notification area reports it.
    enum class Click
    {
        Left,
        Double,
        Middle,
        Right
    };
    // Handles one activation; the console and tests feed it.
    void handleClick(Click click);

Q_SIGNALS:
    void contextRequested();
    void tipChanged(const QString& tip);
    void balloonShown(const QString& title, const QString& text);
    void removed();

private:
    bool m_available;
    QSystemTrayIcon* m_icon = nullptr;
    QString m_tip;
    QString m_balloonTitle;
    QString m_balloonText;
};

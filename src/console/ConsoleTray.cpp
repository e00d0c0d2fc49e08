#include "console/ConsoleTray.h"

#include <QSystemTrayIcon>

namespace {
bool detect(ConsoleTray::Availability availability)
{
    switch (availability) {
    case ConsoleTray::Availability::Available:
        return true;
    case ConsoleTray::Availability::Unavailable:
        return false;
    case ConsoleTray::Availability::Detect:
        break;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}
} // namespace

ConsoleTray::ConsoleTray(Availability availability, QObject* parent)
    : QObject(parent), m_available(detect(availability))
{
}

ConsoleTray::~ConsoleTray()
{
    remove();
}

void ConsoleTray::add(const QIcon& icon, const QString& tip)
{
    if (m_icon)
        return;
    m_icon = new QSystemTrayIcon(icon, this);
    m_tip = tip;
    m_icon->setToolTip(tip);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Context:
            handleClick(Click::Right);
            break;
        case QSystemTrayIcon::DoubleClick:
            handleClick(Click::Double);
            break;
        case QSystemTrayIcon::Trigger:
            handleClick(Click::Left);
            break;
        case QSystemTrayIcon::MiddleClick:
        case QSystemTrayIcon::Unknown:
            handleClick(Click::Middle);
            break;
        }
    });
    m_icon->show();
    Q_EMIT tipChanged(tip);
}

void ConsoleTray::changeTip(const QString& tip)
{
    m_tip = tip;
    if (m_icon)
        m_icon->setToolTip(tip);
    Q_EMIT tipChanged(tip);
}

void ConsoleTray::showBalloon(const QString& title, const QString& text)
{
    m_balloonTitle = title;
    m_balloonText = text;
    // Without a notification area there is nobody to show it to; the text is
    // still recorded and announced.
    if (m_icon && m_available && QSystemTrayIcon::supportsMessages())
        m_icon->showMessage(title, text, QSystemTrayIcon::Information);
    Q_EMIT balloonShown(title, text);
}

void ConsoleTray::remove()
{
    if (!m_icon)
        return;
    QSystemTrayIcon* icon = m_icon;
    m_icon = nullptr;
    icon->hide();
    delete icon;
    Q_EMIT removed();
}

void ConsoleTray::handleClick(Click click)
{
    // Only the right button does something: it opens the console's menu.
    if (click == Click::Right && m_icon)
        Q_EMIT contextRequested();
}

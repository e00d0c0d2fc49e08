#include "ui/ScreenRegistry.h"

ScreenRegistry& ScreenRegistry::instance()
{
    static ScreenRegistry registry;
    return registry;
}

void ScreenRegistry::registerScreen(const QString& name, Factory factory)
{
    m_factories.insert(name, std::move(factory));
}

bool ScreenRegistry::has(const QString& name) const
{
    return m_factories.contains(name);
}

QWidget* ScreenRegistry::open(const QString& name) const
{
    return m_open.value(name).data();
}

QWidget* ScreenRegistry::show(const QString& name)
{
    QWidget* screen = open(name);
    if (!screen) {
        const auto it = m_factories.constFind(name);
        if (it == m_factories.constEnd())
            return nullptr;
        screen = (*it)();
        if (!screen)
            return nullptr;
        screen->setAttribute(Qt::WA_DeleteOnClose);
        m_open.insert(name, screen);
    }
    screen->show();
    screen->raise();
    screen->activateWindow();
    return screen;
}

void ScreenRegistry::clear()
{
    m_factories.clear();
    m_open.clear();
}

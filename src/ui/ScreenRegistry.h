#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

// Every screen exists at most once. show() creates a screen through its
// factory the first time, brings an open one forward otherwise; a closed
// screen is discarded (screens set Qt::WA_DeleteOnClose) and made anew the
// next time.
class ScreenRegistry
{
public:
    using Factory = std::function<QWidget*()>;

    static ScreenRegistry& instance();

    void registerScreen(const QString& name, Factory factory);
    bool has(const QString& name) const;
    // Shows the screen (not modal) and returns it; nullptr when none is registered.
    QWidget* show(const QString& name);
    // The open instance, or nullptr.
    QWidget* open(const QString& name) const;
    void clear();

private:
    QHash<QString, Factory> m_factories;
    QHash<QString, QPointer<QWidget>> m_open;
};

// Names under which the screens register.
namespace Screens {
inline const QString SingleMessage = QStringLiteral("Form1");
inline const QString BulkSender = QStringLiteral("FrmMain");
inline const QString Contacts = QStringLiteral("Form3");
inline const QString Report = QStringLiteral("FrmDetail");
inline const QString SpreadsheetMessages = QStringLiteral("Frm601");
} // namespace Screens

#include "ui/KeyFilterInstaller.h"

#include "common/KeyFilters.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

KeyFilterInstaller::KeyFilterInstaller(QWidget* field, Filters filters) : QObject(field), m_filters(filters)
{
    field->installEventFilter(this);
}

void KeyFilterInstaller::install(QWidget* field, Filters filters)
{
    new KeyFilterInstaller(field, filters);
}

namespace {
// The classic key code of a key press: the character typed, or 8 / 13 for
// Backspace and Enter; 0 for keys that type nothing (arrows, function keys).
int classicCode(const QKeyEvent* e)
{
    if (e->key() == Qt::Key_Backspace)
        return 8;
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        return 13;
    const QString text = e->text();
    if (text.size() == 1 && text[0].unicode() >= 32)
        return text[0].unicode();
    return 0;
}
} // namespace

bool KeyFilterInstaller::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const int code = classicCode(key);
    if (code == 0)
        return false; // navigation and editing keys pass untouched

    if (code == 13 && (m_filters & EnterToTab)) {
        if (auto* w = qobject_cast<QWidget*>(watched)) {
            // Queue a Tab keystroke, as the classic filter did, so the focus
            // moves on along the tab order after the field has seen Enter.
            QWidget* target = w->window();
            QMetaObject::invokeMethod(
                target,
                [target] {
                    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
                    QCoreApplication::sendEvent(target->focusWidget() ? target->focusWidget() : target, &tab);
                },
                Qt::QueuedConnection);
        }
    }
    if (m_filters & DigitsOnly) {
        if (KeyFilters::digitsOnly(code) == KeyFilters::Suppressed)
            return true;
    }
    if (m_filters & UpperCase) {
        const int mapped = KeyFilters::upperCaseKey(code);
        if (mapped == KeyFilters::Suppressed)
            return true;
        if (mapped != code) {
            QKeyEvent upper(QEvent::KeyPress, key->key(), key->modifiers(), QString(QChar(mapped)));
            QCoreApplication::sendEvent(watched, &upper);
            return true;
        }
    }
    return false;
}

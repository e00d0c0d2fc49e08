#include "bulk/ui/ListFill.h"

#include "bulk/ContactBook.h"
#include "core/StoreError.h"
#include "ui/Prompt.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

namespace ListFill {

void setItems(QListWidget* list, const QStringList& items)
{
    const QSignalBlocker block(list);
    list->clear();
    list->addItems(items);
}

void setItems(QComboBox* combo, const QStringList& items)
{
    const QSignalBlocker block(combo);
    const QString text = combo->currentText();
    combo->clear();
    combo->addItems(items);
    if (combo->isEditable()) {
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
    }
}

namespace {
class FocusColours : public QObject
{
public:
    explicit FocusColours(QWidget* field) : QObject(field) { paint(field, false); }

    static void paint(QWidget* field, bool focused)
    {
        QPalette p = field->palette();
        p.setColor(QPalette::Base, focused ? QColor(255, 224, 192) : QColor(Qt::white));
        field->setPalette(p);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
            paint(static_cast<QWidget*>(watched), event->type() == QEvent::FocusIn);
        return false;
    }
};
} // namespace

void installFocusColours(QWidget* field)
{
    field->installEventFilter(new FocusColours(field));
}

void showError(QWidget* parent, const QString& text)
{
    Prompt::current().message(parent, QString(), text, Prompt::Icon::Critical);
}

void fillFromStore(QWidget* parent, QComboBox* combo, Store& store, const QString& sql)
{
    try {
        setItems(combo, ContactBook::fillFromQuery(store, sql));
    } catch (const StoreError& e) {
        showError(parent, e.text());
    }
}

} // namespace ListFill

#include "ui/WidgetPrompt.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {
Prompt* g_installed = nullptr;

QMessageBox::Icon toBoxIcon(Prompt::Icon icon)
{
    switch (icon) {
    case Prompt::Icon::Information:
        return QMessageBox::Information;
    case Prompt::Icon::Question:
        return QMessageBox::Question;
    case Prompt::Icon::Warning:
        return QMessageBox::Warning;
    case Prompt::Icon::Critical:
        return QMessageBox::Critical;
    case Prompt::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

Prompt& Prompt::current()
{
    static WidgetPrompt widgets;
    return g_installed ? *g_installed : widgets;
}

void Prompt::install(Prompt* prompt)
{
    g_installed = prompt;
}

void WidgetPrompt::message(QWidget* parent, const QString& title, const QString& text, Icon icon)
{
    QMessageBox box(toBoxIcon(icon), title, text, QMessageBox::Ok, parent);
    box.exec();
}

Prompt::Answer WidgetPrompt::question(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

bool WidgetPrompt::input(QWidget* parent, const QString& title, const QString& label, QString& value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, value, &ok);
    if (ok)
        value = text;
    return ok;
}

QString WidgetPrompt::openFileName(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString WidgetPrompt::saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& suggested)
{
    return QFileDialog::getSaveFileName(parent, title, suggested, filter);
}

#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Message boxes, input boxes and file dialogs of every screen go through this
// interface. The program uses WidgetPrompt; tests install a scripted one, so
// a screen test never waits for a person.
class Prompt
{
public:
    enum class Icon
    {
        None,
        Information,
        Question,
        Warning,
        Critical
    };
    enum class Answer
    {
        Ok,
        Yes,
        No,
        Cancel
    };

    virtual ~Prompt() = default;

    // A message with an OK button.
    virtual void message(QWidget* parent, const QString& title, const QString& text, Icon icon) = 0;
    // A Yes/No question; returns Yes or No.
    virtual Answer question(QWidget* parent, const QString& title, const QString& text) = 0;
    // An input box; returns false when cancelled.
    virtual bool input(QWidget* parent, const QString& title, const QString& label, QString& value) = 0;
    // An open-file dialog; returns an empty text when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
    // A save-file dialog opening on the suggested name; returns an empty text when cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& suggested) = 0;

    // The prompt in force (WidgetPrompt unless replaced).
    static Prompt& current();
    // Replaces the prompt in force; nullptr restores WidgetPrompt. Not owned.
    static void install(Prompt* prompt);
};

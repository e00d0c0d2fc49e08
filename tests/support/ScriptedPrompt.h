#pragma once

#include "ui/Prompt.h"

#include <QList>
#include <QString>
#include <QStringList>

// Stands in for every message box, question and file dialog while it lives: answers from a script
// (No, cancelled when used up) and records what it was asked to show.
class ScriptedPrompt : public Prompt
{
public:
    struct Shown
    {
        QString title;
        QString text; // the filter, for a file dialog
        Icon icon;
    };

    QList<Answer> answers; // question()
    QStringList inputs;    // input()
    QStringList files;     // openFileName()
    QStringList saveFiles; // saveFileName()
    QList<Shown> messages, questions, fileDialogs;

    ScriptedPrompt() { Prompt::install(this); }
    ~ScriptedPrompt() override { Prompt::install(nullptr); }

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const Shown& s : messages)
            texts << s.text;
        return texts;
    }

    void message(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        messages.append({title, text, icon});
    }
    Answer question(QWidget*, const QString& title, const QString& text) override
    {
        questions.append({title, text, Icon::Question});
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }
    bool input(QWidget*, const QString&, const QString&, QString& value) override
    {
        if (inputs.isEmpty())
            return false;
        value = inputs.takeFirst();
        return true;
    }
    QString openFileName(QWidget*, const QString& title, const QString& filter) override
    {
        fileDialogs.append({title, filter, Icon::None});
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    QString saveFileName(QWidget*, const QString& title, const QString& filter, const QString&) override
    {
        fileDialogs.append({title, filter, Icon::None});
        return saveFiles.isEmpty() ? QString() : saveFiles.takeFirst();
    }
};

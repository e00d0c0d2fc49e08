#pragma once

#include "ui/Prompt.h"

#include <QList>
#include <QString>
#include <QStringList>

// Answers questions from a script and records every message and question.
class ScriptedPrompt : public Prompt
{
public:
    struct Shown
    {
        QString title;
        QString text;
        Icon icon;
    };

    QList<Answer> answers;
    QList<Shown> messages;
    QList<Shown> questions;
    QStringList files;        // answers of the open-file dialog, in order
    QList<Shown> fileDialogs; // title and filter of each open-file dialog

    ScriptedPrompt() { Prompt::install(this); }
    ~ScriptedPrompt() override { Prompt::install(nullptr); }

    void message(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        messages.append({title, text, icon});
    }
    Answer question(QWidget*, const QString& title, const QString& text) override
    {
        questions.append({title, text, Icon::Question});
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }
    bool input(QWidget*, const QString&, const QString&, QString&) override { return false; }
    QString openFileName(QWidget*, const QString& title, const QString& filter) override
    {
        fileDialogs.append({title, filter, Icon::None});
        return files.isEmpty() ? QString() : files.takeFirst();
    }
};

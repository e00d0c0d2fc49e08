#pragma once

#include "console/frame/Prompt.h"

#include <QList>
#include <QString>

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
    QString openFileName(QWidget*, const QString&, const QString&) override { return QString(); }
};

#pragma once

#include "ui/Prompt.h"

#include <QList>
#include <QString>

// A prompt that answers nothing and remembers what it was asked to show.
class RecordingPrompt : public Prompt
{
public:
    struct Shown
    {
        QString title, text;
        Icon icon;
    };
    QList<Shown> shown;

    RecordingPrompt() { Prompt::install(this); }
    ~RecordingPrompt() override { Prompt::install(nullptr); }

    void message(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        shown.append({title, text, icon});
    }
    Answer question(QWidget*, const QString&, const QString&) override { return Answer::No; }
    bool input(QWidget*, const QString&, const QString&, QString&) override { return false; }
    QString openFileName(QWidget*, const QString&, const QString&) override { return QString(); }
};

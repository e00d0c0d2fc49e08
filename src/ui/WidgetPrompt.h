#pragma once

#include "ui/Prompt.h"

// Prompt through QMessageBox, QInputDialog and QFileDialog.
class WidgetPrompt : public Prompt
{
public:
    void message(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
    Answer question(QWidget* parent, const QString& title, const QString& text) override;
    bool input(QWidget* parent, const QString& title, const QString& label, QString& value) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& suggested) override;
};

#pragma once

#include <QWidget>

class EngineContext;
class QComboBox;
class QLineEdit;
class QPushButton;

// The contact screen ("Contect"): one contact at a time into the contact book.
class Form3 : public QWidget
{
    Q_OBJECT
public:
    explicit Form3(EngineContext& context, QWidget* parent = nullptr);

    // Refills the group drop-down from the contact book.
    void refillGroups();

public Q_SLOTS:
    void CmdSave_Click();
    void CmdNew_Click();

private:
    EngineContext& m_context;
    QLineEdit* m_number;
    QLineEdit* m_name;
    QComboBox* m_group;
    QPushButton* m_save;
    QPushButton* m_new;
};

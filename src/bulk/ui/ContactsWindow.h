#pragma once

#include <QWidget>

class EngineContext;
class QComboBox;
class QLineEdit;
class QPushButton;

// The contact screen ("Contect"): one contact at a time into the contact book.
class ContactsWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ContactsWindow(EngineContext& context, QWidget* parent = nullptr);

    // Refills the group drop-down from the contact book.
    void refillGroups();

public Q_SLOTS:
    void saveContact();
    void newContact();

private:
    EngineContext& m_context;
    QLineEdit* m_numberEdit;
    QLineEdit* m_nameEdit;
    QComboBox* m_groupBox;
    QPushButton* m_saveButton;
    QPushButton* m_newButton;
};

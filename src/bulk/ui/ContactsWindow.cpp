#include "bulk/ui/ContactsWindow.h"

#include "bulk/ContactBook.h"
#include "bulk/ui/ListFill.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "ui/KeyFilterInstaller.h"
#include "ui/Prompt.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ContactsWindow::ContactsWindow(EngineContext& context, QWidget* parent) : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Contect"));

    m_numberEdit = new QLineEdit(this);
    m_numberEdit->setObjectName(QStringLiteral("TxtNumber"));
    m_numberEdit->setMaxLength(Schema::ContactMobileWidth);
    KeyFilterInstaller::install(m_numberEdit,
                                KeyFilterInstaller::DigitsOnly | KeyFilterInstaller::EnterToTab);

    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("TxtName"));
    m_nameEdit->setMaxLength(30);
    KeyFilterInstaller::install(m_nameEdit, KeyFilterInstaller::UpperCase | KeyFilterInstaller::EnterToTab);

    m_groupBox = new QComboBox(this);
    m_groupBox->setObjectName(QStringLiteral("ComGrp"));
    m_groupBox->setEditable(true);
    m_groupBox->setInsertPolicy(QComboBox::NoInsert);
    m_groupBox->lineEdit()->setMaxLength(Schema::ContactGroupWidth);
    KeyFilterInstaller::install(m_groupBox, KeyFilterInstaller::UpperCase | KeyFilterInstaller::EnterToTab);

    m_saveButton = new QPushButton(QStringLiteral("&S A V E"), this);
    m_saveButton->setObjectName(QStringLiteral("CmdSave"));
    m_newButton = new QPushButton(QStringLiteral("&N E W"), this);
    m_newButton->setObjectName(QStringLiteral("CmdNew"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Number"), m_numberEdit);
    form->addRow(QStringLiteral("Name"), m_nameEdit);
    form->addRow(QStringLiteral("Group"), m_groupBox);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_newButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    setTabOrder(m_numberEdit, m_nameEdit);
    setTabOrder(m_nameEdit, m_groupBox);
    setTabOrder(m_groupBox, m_saveButton);
    setTabOrder(m_saveButton, m_newButton);

    connect(m_saveButton, &QPushButton::clicked, this, &ContactsWindow::saveContact);
    connect(m_newButton, &QPushButton::clicked, this, &ContactsWindow::newContact);
    connect(&ContactEvents::instance(), &ContactEvents::groupsChanged, this, &ContactsWindow::refillGroups);

    refillGroups();
}

void ContactsWindow::refillGroups()
{
    ListFill::fillFromStore(this, m_groupBox, m_context.store(), ContactBook::ContactGroupsSql);
}

void ContactsWindow::newContact()
{
    m_numberEdit->clear();
    m_nameEdit->clear();
    m_groupBox->setEditText(QString());
}

void ContactsWindow::saveContact()
{
    const QString number = m_numberEdit->text();
    ContactBook book(m_context.store());
    if (!ContactBook::isTenDigitNumber(number)) {
        Prompt::current().message(this, QString(), QStringLiteral("Please Check Mobile Number"),
                                  Prompt::Icon::Critical);
        m_nameEdit->setFocus();
        return;
    }
    if (m_groupBox->currentText().isEmpty())
        m_groupBox->setEditText(ContactBook::NoGroup);

    ContactBook::SaveOutcome outcome;
    try {
        outcome = book.save(number, m_nameEdit->text(), m_groupBox->currentText());
    } catch (const StoreError& e) {
        ListFill::showError(this, e.text());
        return;
    }
    if (outcome.result == ContactBook::SaveResult::Saved) {
        Prompt::current().message(this, QString(), QStringLiteral("RECORD SAVED "),
                                  Prompt::Icon::Information);
    } else {
        Prompt::current().message(this, QString(),
                                  QStringLiteral("RECORD ALL READY EXITST\r\n") + number +
                                      QStringLiteral("\r\n") + m_nameEdit->text() + QStringLiteral("\r\n") +
                                      outcome.foundGroup,
                                  Prompt::Icon::Critical);
    }
}

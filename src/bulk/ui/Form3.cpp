#include "bulk/ui/Form3.h"

#include "core/EngineContext.h"
#include "core/Schema.h"
#include "bulk/ContactBook.h"
#include "bulk/ui/ListFill.h"
#include "ui/KeyFilterInstaller.h"
#include "ui/Prompt.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

Form3::Form3(EngineContext& context, QWidget* parent) : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Contect"));

    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("TxtNumber"));
    m_number->setMaxLength(Schema::ContactMobileWidth);
    KeyFilterInstaller::install(m_number, KeyFilterInstaller::DigitsOnly | KeyFilterInstaller::EnterToTab);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("TxtName"));
    m_name->setMaxLength(30);
    KeyFilterInstaller::install(m_name, KeyFilterInstaller::UpperCase | KeyFilterInstaller::EnterToTab);

    m_group = new QComboBox(this);
    m_group->setObjectName(QStringLiteral("ComGrp"));
    m_group->setEditable(true);
    m_group->setInsertPolicy(QComboBox::NoInsert);
    m_group->lineEdit()->setMaxLength(Schema::ContactGroupWidth);
    KeyFilterInstaller::install(m_group, KeyFilterInstaller::UpperCase | KeyFilterInstaller::EnterToTab);

    m_save = new QPushButton(QStringLiteral("&S A V E"), this);
    m_save->setObjectName(QStringLiteral("CmdSave"));
    m_new = new QPushButton(QStringLiteral("&N E W"), this);
    m_new->setObjectName(QStringLiteral("CmdNew"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Number"), m_number);
    form->addRow(QStringLiteral("Name"), m_name);
    form->addRow(QStringLiteral("Group"), m_group);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_save);
    buttons->addWidget(m_new);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    setTabOrder(m_number, m_name);
    setTabOrder(m_name, m_group);
    setTabOrder(m_group, m_save);
    setTabOrder(m_save, m_new);

    connect(m_save, &QPushButton::clicked, this, &Form3::CmdSave_Click);
    connect(m_new, &QPushButton::clicked, this, &Form3::CmdNew_Click);
    connect(&ContactEvents::instance(), &ContactEvents::groupsChanged, this, &Form3::refillGroups);

    refillGroups();
}

void Form3::refillGroups()
{
    try {
        ListFill::setItems(m_group,
                           ContactBook::fillFromQuery(m_context.store(), ContactBook::ContactGroupsSql));
    } catch (const StoreError& e) {
        ListFill::showError(this, e.text());
    }
}

void Form3::CmdNew_Click()
{
    m_number->clear();
    m_name->clear();
    m_group->setEditText(QString());
}

void Form3::CmdSave_Click()
{
    const QString number = m_number->text();
    ContactBook book(m_context.store());
    if (!ContactBook::isTenDigitNumber(number)) {
        Prompt::current().message(this, QString(), QStringLiteral("Please Check Mobile Number"),
                                  Prompt::Icon::Critical);
        m_name->setFocus();
        return;
    }
    if (m_group->currentText().isEmpty())
        m_group->setEditText(ContactBook::NoGroup);

    ContactBook::SaveOutcome outcome;
    try {
        outcome = book.save(number, m_name->text(), m_group->currentText());
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
                                      QStringLiteral("\r\n") + m_name->text() + QStringLiteral("\r\n") +
                                      outcome.foundGroup,
                                  Prompt::Icon::Critical);
    }
}

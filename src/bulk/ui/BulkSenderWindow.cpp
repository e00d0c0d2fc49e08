#include "bulk/ui/BulkSenderWindow.h"

#include "bulk/BulkSender.h"
#include "bulk/ContactBook.h"
#include "bulk/ContactImport.h"
#include "bulk/Recipients.h"
#include "bulk/ui/ListFill.h"
#include "common/TextNumbers.h"
#include "core/EngineContext.h"
#include "core/EngineError.h"
#include "core/ProfileLoader.h"
#include "core/Schema.h"
#include "spreadsheet/reader/SheetReader.h"
#include "ui/ClickableLabel.h"
#include "ui/KeyFilterInstaller.h"
#include "ui/Prompt.h"
#include "ui/ScreenRegistry.h"

#include "ui_BulkSenderWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTimer>

BulkSenderWindow::Running::Running(BulkSenderWindow* screen) : m_screen(screen)
{
    ++m_screen->m_running;
}

BulkSenderWindow::Running::~Running()
{
    if (--m_screen->m_running == 0 && m_screen->m_closePending)
        QTimer::singleShot(0, m_screen, &QWidget::close);
}

BulkSenderWindow::BulkSenderWindow(EngineContext& context, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::BulkSenderWindow>()), m_context(context),
      m_sender(new BulkSender(context, this))
{
    buildLayout();
    buildProgressRow();

    m_sender->setConfirm([this](const QString& title, const QString& text) {
        return Prompt::current().question(this, title, text) == Prompt::Answer::Yes;
    });
    connect(m_sender, &BulkSender::balanceChanged, m_balanceLabel, &QLabel::setText);
    connect(m_sender, &BulkSender::responseCleared, m_responseList, &QListWidget::clear);
    connect(m_sender, &BulkSender::responseReceived, this, [this](const QString& answer) {
        m_responseList->clear();
        m_responseList->addItem(answer);
    });

    connect(&ContactEvents::instance(), &ContactEvents::groupsChanged, this, &BulkSenderWindow::refillGroups);

    // Opening: the accounts, the loaded profile's account chosen (a change of
    // the account box), the groups and the texts sent before.
    fillAccounts();
    {
        const QSignalBlocker block(m_accountBox);
        m_accountBox->setCurrentText(m_context.profile().userName);
    }
    changeAccount();
    refillGroups();
    fillEarlierTexts();
}

BulkSenderWindow::~BulkSenderWindow() = default;

void BulkSenderWindow::buildProgressRow()
{
    // A long send shows how far it got and can be stopped between requests.
    auto* row = new QHBoxLayout;
    m_sendProgress = new QProgressBar(this);
    m_sendProgress->setObjectName(QStringLiteral("sendProgress"));
    m_sendProgress->setTextVisible(false);
    m_sendProgress->setRange(0, 1);
    m_sendProgress->setValue(0);
    m_sendProgressLabel = new QLabel(this);
    m_sendProgressLabel->setObjectName(QStringLiteral("sendProgressLabel"));
    m_sendProgressLabel->setMinimumWidth(
        m_sendProgressLabel->fontMetrics().horizontalAdvance(QStringLiteral("Requests 0000 of 0000")));
    m_cancelSendButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelSendButton->setObjectName(QStringLiteral("cancelSendButton"));
    m_cancelSendButton->setEnabled(false);
    row->addWidget(m_sendProgress, 1);
    row->addWidget(m_sendProgressLabel);
    row->addWidget(m_cancelSendButton);
    m_ui->composeGrid->addLayout(row, m_ui->composeGrid->rowCount(), 0, 1, 2);
    connect(m_sender, &BulkSender::progress, this, &BulkSenderWindow::showProgress);
    connect(m_cancelSendButton, &QPushButton::clicked, this, [this] {
        m_sender->cancel();
        m_cancelSendButton->setEnabled(false);
        m_sendProgressLabel->setText(m_sendProgressLabel->text() + QStringLiteral(", stopping"));
    });
}

void BulkSenderWindow::showProgress(int done, int total)
{
    m_sendProgress->setRange(0, qMax(1, total));
    m_sendProgress->setValue(done);
    m_sendProgressLabel->setText(QStringLiteral("Requests %1 of %2").arg(done).arg(total));
    // Stopping makes sense while a request is still to come.
    m_cancelSendButton->setEnabled(m_sender->isBusy() && done < total);
}

void BulkSenderWindow::buildLayout()
{
    m_ui->setupUi(this);
    m_accountBox = m_ui->Combo1;
    m_senderIdsLabel = m_ui->Label3;
    m_balanceLabel = m_ui->Lbbal1;
    m_numberBox = m_ui->Text1;
    m_messageBox = m_ui->tXTsms;
    m_partCounterLabel = m_ui->Lb1;
    m_earlierTextBox = m_ui->Combo2;
    m_responseList = m_ui->List2;
    m_sendButton = m_ui->JeweledButton1;
    m_newButton = m_ui->JeweledButton7;
    m_exitButton = m_ui->JeweledButton2;
    m_groupCheck = m_ui->Check1;
    m_groupBox = m_ui->ComGroup;
    m_contactsFrame = m_ui->Frame1;
    m_contactList = m_ui->List1;
    m_selectionFrame = m_ui->Frame10;
    m_selectedLabel = m_ui->Label11;
    m_selectOptions[0] = m_ui->OpSELECT_0;
    m_selectOptions[1] = m_ui->OpSELECT_1;
    m_selectOptions[2] = m_ui->OpSELECT_2;
    m_deleteCheck = m_ui->Check2;
    m_deleteButton = m_ui->JeweledButton6;
    m_addContactButton = m_ui->JeweledButton3;
    m_importContactsButton = m_ui->JeweledButton5;
    m_importPanel = m_ui->Frame3;
    m_excelOption = m_ui->OpExel;
    m_directSendOption = m_ui->Option3;
    m_groupNameLabel = m_ui->Label10;
    m_importGroupEdit = m_ui->TxtGrp1;
    m_importButton = m_ui->JeweledButton4;

    m_balanceTimer = new QTimer(this);
    m_balanceTimer->setObjectName(QStringLiteral("Timer1"));
    m_balanceTimer->setInterval(10);
    KeyFilterInstaller::install(m_numberBox, KeyFilterInstaller::DigitsOnly);
    ListFill::installFocusColours(m_numberBox);
    ListFill::installFocusColours(m_messageBox);
    ListFill::installFocusColours(m_importGroupEdit);
    m_importGroupEdit->setMaxLength(Schema::ContactGroupWidth);

    // Group mode is off at opening.
    m_groupCheck->setChecked(false);
    m_groupBox->setEnabled(false);
    m_contactsFrame->setEnabled(false);
    m_selectionFrame->setEnabled(false);
    m_selectedLabel->setVisible(false);

    connect(m_selectedLabel, &ClickableLabel::clicked, this, &BulkSenderWindow::hideImportPanel);
    for (int i = 0; i < 3; ++i)
        connect(m_selectOptions[i], &QRadioButton::clicked, this, [this, i] { applySelection(i); });
    connect(m_groupCheck, &QCheckBox::clicked, this, &BulkSenderWindow::toggleGroupMode);
    connect(m_groupBox, &QComboBox::currentTextChanged, this, &BulkSenderWindow::showGroupContacts);
    connect(m_contactList, &QListWidget::itemSelectionChanged, this, &BulkSenderWindow::updateSelectedCount);
    connect(m_deleteCheck, &QCheckBox::clicked, this, &BulkSenderWindow::toggleDeleteButton);
    connect(m_deleteButton, &QPushButton::clicked, this, &BulkSenderWindow::deleteSelectedContacts);
    connect(m_addContactButton, &QPushButton::clicked, this, &BulkSenderWindow::openContactsWindow);
    connect(m_importContactsButton, &QPushButton::clicked, this, &BulkSenderWindow::showImportPanel);
    connect(m_directSendOption, &QRadioButton::toggled, this, [this](bool direct) {
        m_groupNameLabel->setVisible(!direct);
        m_importGroupEdit->setVisible(!direct);
    });
    connect(m_sendButton, &QPushButton::clicked, this, &BulkSenderWindow::sendMessages);
    connect(m_importButton, &QPushButton::clicked, this, &BulkSenderWindow::importContacts);
    connect(m_newButton, &QPushButton::clicked, this, &BulkSenderWindow::startNewMessage);
    connect(m_exitButton, &QPushButton::clicked, this, &BulkSenderWindow::exitWindow);
    connect(m_accountBox, &QComboBox::activated, this, &BulkSenderWindow::changeAccount);
    connect(m_earlierTextBox, &QComboBox::activated, this, &BulkSenderWindow::useEarlierText);
    connect(m_messageBox->document(), &QTextDocument::contentsChange, this, &BulkSenderWindow::limitMessage);
    connect(m_messageBox, &QPlainTextEdit::textChanged, this, &BulkSenderWindow::updatePartCounter);
    connect(m_balanceTimer, &QTimer::timeout, this, [this] { timerTick(); });
    updatePartCounter();
}

// --- accounts and balance -------------------------------------------------

void BulkSenderWindow::fillAccounts()
{
    ListFill::fillFromStore(this, m_accountBox, m_context.store(), ContactBook::AccountsSql);
}

void BulkSenderWindow::changeAccount()
{
    const QString name = m_accountBox->currentText();
    try {
        m_context.loadProfile(name);
    } catch (const StoreError& e) {
        // The profile in force stays; the box goes back to its name.
        ListFill::showError(this,
                            QStringLiteral("The account \"%1\" cannot be loaded: %2").arg(name, e.text()));
        const QSignalBlocker block(m_accountBox);
        m_accountBox->setCurrentText(m_context.profile().userName);
        return;
    }
    showAccount();
}

void BulkSenderWindow::showAccount()
{
    m_balanceLabel->setText(QStringLiteral("Working..."));
    m_balanceFailures = 0;
    ++m_balanceGeneration;
    m_balanceTimer->start(AccountChangeDelayMs);
    const ProfileState& p = m_context.profile();
    m_senderIdsLabel->setText(QStringLiteral(" GSM : ") + p.gsmSid + QStringLiteral("    CDMA : ") +
                              p.cdmaSid);
}

void BulkSenderWindow::showLoadedAccount()
{
    const QString name = m_context.profile().userName;
    if (m_sender->isBusy() || m_accountBox->currentText() == name)
        return;
    const QSignalBlocker block(m_accountBox);
    if (m_accountBox->findText(name) < 0)
        fillAccounts(); // a profile added since the screen opened
    m_accountBox->setCurrentIndex(m_accountBox->findText(name));
    showAccount();
}

QCoro::Task<> BulkSenderWindow::timerTick()
{
    // Without a balance URL there is nothing to fetch; the timer keeps
    // looking, so a profile that gains one shows its balance.
    if (m_context.profile().balanceUrl.isEmpty())
        co_return;
    m_balanceTimer->stop();
    Running running(this);
    const int generation = m_balanceGeneration;
    QString text;
    bool failed = false;
    try {
        text = co_await m_sender->fetchBalance();
    } catch (const EngineError& e) {
        text = QStringLiteral("Balance not available: ") + e.text();
        failed = true;
    }
    if (generation != m_balanceGeneration)
        co_return; // the account changed meanwhile: its own fetch follows
    m_balanceLabel->setText(text);
    // A failed fetch is tried again a few times, then left alone until the
    // next account change or send.
    if (failed && ++m_balanceFailures < BalanceAttempts)
        m_balanceTimer->start(BalanceRetryMs);
}

// --- message field ---------------------------------------------------------

void BulkSenderWindow::updatePartCounter()
{
    m_partCounterLabel->setText(PartCounter::caption(m_messageBox->toPlainText()));
}

void BulkSenderWindow::limitMessage(int position, int removed, int added)
{
    Q_UNUSED(removed);
    const int excess = int(m_messageBox->toPlainText().size()) - PartCounter::MessageLimit;
    if (excess <= 0 || added <= 0)
        return;
    // Drop the end of what was just typed or pasted, as a field with a
    // maximum length does.
    QTextCursor cursor(m_messageBox->document());
    const int end = position + added;
    cursor.setPosition(end - std::min(excess, added));
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void BulkSenderWindow::fillEarlierTexts()
{
    ListFill::fillFromStore(this, m_earlierTextBox, m_context.store(), ContactBook::EarlierTextsSql);
}

void BulkSenderWindow::useEarlierText()
{
    QString text = m_earlierTextBox->currentText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_messageBox->setPlainText(text);
}

// --- sending ---------------------------------------------------------------

void BulkSenderWindow::sendMessages()
{
    if (m_messageBox->toPlainText().isEmpty())
        return;
    sendToRecipients();
}

QCoro::Task<> BulkSenderWindow::sendToRecipients()
{
    if (m_sender->isBusy())
        co_return;
    Running running(this);
    m_sendButton->setEnabled(false);
    // A send goes out under one account from its first request to its last:
    // the profile loaded now, which the account box shows.
    m_accountBox->setEnabled(false);
    showLoadedAccount();
    const ProfileState account = m_context.profile();

    QString numbers;
    if (m_groupCheck->isChecked()) {
        // The numbers of the selected contacts as the contact book holds
        // them, leading zeros included.
        QStringList mobiles;
        for (int i = 0; i < m_contactList->count(); ++i)
            if (m_contactList->item(i)->isSelected())
                mobiles << m_contactList->item(i)->data(Qt::UserRole).toString();
        numbers = Recipients::fromContacts(mobiles);
    } else {
        numbers = Recipients::fromNumberBox(m_numberBox->toPlainText());
    }
    QString message = m_messageBox->toPlainText();
    message.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));

    const BulkSender::Outcome outcome = co_await m_sender->send(message, numbers, account);
    using Kind = BulkSender::Outcome::Kind;
    switch (outcome.kind) {
    case Kind::Failed:
        ListFill::showError(this, outcome.error);
        break;
    case Kind::NoRecipients:
        Prompt::current().message(this, QString(), QStringLiteral("There is no mobile number to send to."),
                                  Prompt::Icon::Information);
        break;
    case Kind::GatewayOff:
        Prompt::current().message(
            this, QString(),
            QStringLiteral("The HTTP gateway is not switched on for the account %1: nothing was sent.")
                .arg(account.userName),
            Prompt::Icon::Information);
        break;
    case Kind::Cancelled:
        Prompt::current().message(
            this, QString(),
            QStringLiteral("Sending stopped after request %1 of %2: %3 of %4 numbers were sent and recorded.")
                .arg(outcome.requests)
                .arg(outcome.batches)
                .arg(outcome.recorded)
                .arg(outcome.recipients),
            Prompt::Icon::Information);
        break;
    case Kind::Sent:
    case Kind::Declined:
    case Kind::Busy:
        break;
    }
    m_cancelSendButton->setEnabled(false);
    showLoadedAccount();
    if (outcome.kind != Kind::Declined && outcome.kind != Kind::Busy && outcome.kind != Kind::NoRecipients)
        co_await m_sender->refreshBalance();
    if (outcome.recorded > 0)
        fillEarlierTexts();
    m_accountBox->setEnabled(true);
    m_sendButton->setEnabled(true);
}

// --- import ----------------------------------------------------------------

void BulkSenderWindow::importContacts()
{
    importFile();
}

QCoro::Task<> BulkSenderWindow::importFile()
{
    const bool excel = m_excelOption->isChecked();
    const QString path = Prompt::current().openFileName(
        this,
        excel ? QStringLiteral("[ Excel File Only ]Select A File From Which To Retrive Data")
              : QStringLiteral("[ txt/CSV File Only ]Select A File From Which To Retrive Data"),
        excel ? QStringLiteral("Excel File (*.xls *.xlsx)") : QStringLiteral("Text (*.txt);;CSV (*.csv)"));
    if (path.isEmpty())
        co_return;

    Running running(this);
    m_importButton->setEnabled(false);
    struct Enable
    {
        QWidget* button;
        ~Enable() { button->setEnabled(true); }
    } enableAgain{m_importButton};

    std::unique_ptr<SheetReader> sheet;
    try {
        const std::optional<SheetFormat> format = SheetReader::formatFor(path);
        if (format && (*format == SheetFormat::Csv) == excel)
            throw SheetError(path, excel ? QStringLiteral("it is not an Excel workbook")
                                         : QStringLiteral("it is not a text or CSV file"));
        sheet = SheetReader::open(path);
    } catch (const SheetError& e) {
        ListFill::showError(this, e.message() + QStringLiteral("\nNothing was added."));
        co_return;
    }

    const auto target =
        m_directSendOption->isChecked() ? ContactImport::Target::NumberBox : ContactImport::Target::Contacts;
    if (m_importGroupEdit->text().isEmpty())
        m_importGroupEdit->setText(ContactImport::DefaultGroup);
    const QString group = m_importGroupEdit->text();

    ContactImport::Control control;
    // Not modal: a modal progress dialog would run the event loop itself.
    QProgressDialog progress(QStringLiteral("Reading %1").arg(path), QStringLiteral("Cancel"), 0,
                             std::min(sheet->rowCount(), ContactImport::MaxRows), this);
    progress.setWindowModality(Qt::NonModal);
    progress.setWindowTitle(windowTitle());
    progress.setMinimumDuration(500);
    control.progress = [&progress](int rows) { progress.setValue(rows); };
    connect(&progress, &QProgressDialog::canceled, this, [&control] { control.cancelled = true; });

    ContactImport::Plan plan;
    try {
        const SheetReader* cells = sheet.get();
        plan = co_await ContactImport::read([cells](int row, int column) { return cells->cell(row, column); },
                                            target, group, &control);
    } catch (const ContactImport::Cancelled&) {
        progress.reset();
        Prompt::current().message(this, QString(),
                                  QStringLiteral("The import was cancelled. Nothing was added."),
                                  Prompt::Icon::Information);
        co_return;
    } catch (const ContactImport::RowError& e) {
        progress.reset();
        ListFill::showError(this, e.text() + QStringLiteral("\nNothing was added."));
        co_return;
    }
    progress.reset();

    int added = 0;
    if (target == ContactImport::Target::NumberBox) {
        QString box;
        for (const ContactImport::Row& r : plan.rows)
            box += r.mobile + QLatin1Char('\n');
        m_numberBox->setPlainText(box);
        added = int(plan.rows.size());
    } else {
        try {
            added = ContactImport::store(m_context.store(), plan, group);
        } catch (const StoreError& e) {
            ListFill::showError(this, e.text() + QStringLiteral("\nNothing was added."));
            co_return;
        }
    }
    Prompt::current().message(this, QApplication::applicationDisplayName(),
                              ContactImport::closingMessage(added), Prompt::Icon::None);
    m_importPanel->setVisible(false);
    refillGroups();
}

void BulkSenderWindow::startNewMessage()
{
    m_groupCheck->setChecked(false);
    toggleGroupMode();
    m_numberBox->clear();
    m_messageBox->clear();
}

void BulkSenderWindow::exitWindow()
{
    close();
}

void BulkSenderWindow::closeEvent(QCloseEvent* event)
{
    if (m_running > 0) {
        // A send or an import is still running: the screen goes away now and
        // is discarded when the operation ends.
        m_closePending = true;
        hide();
        event->ignore();
        return;
    }
    m_balanceTimer->stop();
    event->accept();
}

void BulkSenderWindow::showEvent(QShowEvent* event)
{
    // Shown again while an earlier close waited for an operation: the
    // operator wants the screen, so it stays when the operation ends.
    m_closePending = false;
    showLoadedAccount();
    QWidget::showEvent(event);
}

void BulkSenderWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        showLoadedAccount();
    QWidget::changeEvent(event);
}

// --- groups and contacts ---------------------------------------------------

void BulkSenderWindow::toggleGroupMode()
{
    const bool group = m_groupCheck->isChecked();
    m_groupBox->setEnabled(group);
    m_contactsFrame->setEnabled(group);
    m_numberBox->setEnabled(!group);
    if (!group)
        m_contactList->clear();
    m_selectionFrame->setEnabled(m_contactsFrame->isEnabled());
    m_selectedLabel->setVisible(m_contactsFrame->isEnabled());
    updateSelectedCount();
}

void BulkSenderWindow::refillGroups()
{
    ListFill::fillFromStore(this, m_groupBox, m_context.store(), ContactBook::ContactGroupsSql);
}

void BulkSenderWindow::showGroupContacts()
{
    QList<ContactBook::Entry> entries;
    try {
        entries = ContactBook(m_context.store()).entries(m_groupBox->currentText());
    } catch (const StoreError& e) {
        ListFill::showError(this, e.text());
    }
    const QSignalBlocker block(m_contactList);
    m_contactList->clear();
    for (const ContactBook::Entry& e : entries) {
        auto* item = new QListWidgetItem(e.text(), m_contactList);
        item->setData(Qt::UserRole, e.mobile);
    }
    updateSelectedCount();
}

void BulkSenderWindow::updateSelectedCount()
{
    m_selectedLabel->setText(
        QStringLiteral("Selected : ") +
        TextNumbers::withLeadingBlank(double(m_contactList->selectionModel()->selectedRows().size())));
}

void BulkSenderWindow::applySelection(int index)
{
    m_contactList->setUpdatesEnabled(false);
    for (int i = 0; i < 3; ++i) {
        QFont f = m_selectOptions[i]->font();
        f.setBold(i == index);
        m_selectOptions[i]->setFont(f);
    }
    if (m_contactList->count() > 0) {
        QItemSelectionModel* model = m_contactList->selectionModel();
        const QItemSelection all(m_contactList->model()->index(0, 0),
                                 m_contactList->model()->index(m_contactList->count() - 1, 0));
        const QSignalBlocker block(m_contactList);
        switch (index) {
        case 1:
            model->select(all, QItemSelectionModel::Select);
            break;
        case 0:
            model->select(all, QItemSelectionModel::Deselect);
            break;
        default:
            model->select(all, QItemSelectionModel::Toggle);
            break;
        }
        m_contactList->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    }
    updateSelectedCount();
    m_contactList->setUpdatesEnabled(true);
}

void BulkSenderWindow::toggleDeleteButton()
{
    m_deleteButton->setVisible(m_deleteCheck->isChecked());
}

void BulkSenderWindow::deleteSelectedContacts()
{
    const QString group = m_groupBox->currentText();
    if (Prompt::current().question(this, QString(),
                                   QStringLiteral("Are You Sure Want To Delete Selected Contect")) ==
        Prompt::Answer::Yes) {
        QStringList selected;
        for (int i = 0; i < m_contactList->count(); ++i)
            if (m_contactList->item(i)->isSelected())
                selected << m_contactList->item(i)->text();
        try {
            ContactBook(m_context.store()).deleteEntries(group, selected);
        } catch (const StoreError& e) {
            ListFill::showError(this, e.text());
        }
    }
    showGroupContacts();
    refillGroups();
}

void BulkSenderWindow::openContactsWindow()
{
    ScreenRegistry::instance().show(Screens::Contacts);
}

void BulkSenderWindow::showImportPanel()
{
    m_importPanel->setVisible(true);
}

void BulkSenderWindow::hideImportPanel()
{
    m_importPanel->setVisible(false);
}

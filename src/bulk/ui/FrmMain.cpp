#include "bulk/ui/FrmMain.h"

#include "core/EngineContext.h"
#include "core/EngineError.h"
#include "core/ProfileLoader.h"
#include "core/Schema.h"
#include "bulk/BulkSender.h"
#include "bulk/ContactBook.h"
#include "bulk/ContactImport.h"
#include "bulk/Recipients.h"
#include "bulk/ui/ListFill.h"
#include "common/TextNumbers.h"
#include "ui/ClickableLabel.h"
#include "ui/KeyFilterInstaller.h"
#include "ui/Prompt.h"
#include "ui/ScreenRegistry.h"
#include "spreadsheet/reader/SheetReader.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace {
template <typename W, typename... Args> W* named(const char* name, Args&&... args)
{
    auto* w = new W(std::forward<Args>(args)...);
    w->setObjectName(QLatin1String(name));
    return w;
}
} // namespace

FrmMain::Running::Running(FrmMain* screen) : m_screen(screen)
{
    ++m_screen->m_running;
}

FrmMain::Running::~Running()
{
    if (--m_screen->m_running == 0 && m_screen->m_closePending)
        QTimer::singleShot(0, m_screen, &QWidget::close);
}

FrmMain::FrmMain(EngineContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_sender(new BulkSender(context, this))
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("SMS Utility"));
    buildLayout();

    m_sender->setConfirm([this](const QString& title, const QString& text) {
        return Prompt::current().question(this, title, text) == Prompt::Answer::Yes;
    });
    connect(m_sender, &BulkSender::balanceChanged, Lbbal1, &QLabel::setText);
    connect(m_sender, &BulkSender::responseCleared, List2, &QListWidget::clear);
    connect(m_sender, &BulkSender::responseReceived, this, [this](const QString& answer) {
        List2->clear();
        List2->addItem(answer);
    });

    connect(&ContactEvents::instance(), &ContactEvents::groupsChanged, this, &FrmMain::refillGroups);

    // Opening: the accounts, the loaded profile's account chosen (a change of
    // the account box), the groups and the texts sent before.
    fillAccounts();
    {
        const QSignalBlocker block(Combo1);
        Combo1->setCurrentText(m_context.profile().userName);
    }
    Combo1_Change();
    refillGroups();
    fillEarlierTexts();
}

FrmMain::~FrmMain() = default;

void FrmMain::buildLayout()
{
    // Account and balance.
    Combo1 = named<QComboBox>("Combo1", this);
    Combo1->setEditable(false);
    Label3 = named<QLabel>("Label3", this);
    Lbbal1 = named<QLabel>("Lbbal1", QStringLiteral("Working ...."), this);
    Lbbal1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Timer1 = named<QTimer>("Timer1", this);
    Timer1->setInterval(10);

    // Numbers and message.
    Text1 = named<QPlainTextEdit>("Text1", this);
    KeyFilterInstaller::install(Text1, KeyFilterInstaller::DigitsOnly);
    ListFill::installFocusColours(Text1);
    tXTsms = named<QPlainTextEdit>("tXTsms", this);
    ListFill::installFocusColours(tXTsms);
    Lb1 = named<QLabel>("Lb1", this);
    Combo2 = named<QComboBox>("Combo2", this);
    Combo2->setEditable(false);
    List2 = named<QListWidget>("List2", this);
    JeweledButton1 = named<QPushButton>("JeweledButton1", QStringLiteral("Send SMS"), this);
    JeweledButton7 = named<QPushButton>("JeweledButton7", QStringLiteral("NEW"), this);
    JeweledButton2 = named<QPushButton>("JeweledButton2", QStringLiteral("E&XIT"), this);

    // Groups and contacts.
    Check1 = named<QCheckBox>("Check1", QStringLiteral("Group"), this);
    ComGroup = named<QComboBox>("ComGroup", this);
    ComGroup->setEditable(true);
    ComGroup->setInsertPolicy(QComboBox::NoInsert);
    Frame1 = named<QFrame>("Frame1", this);
    Frame1->setFrameShape(QFrame::StyledPanel);
    List1 = named<QListWidget>("List1", Frame1);
    List1->setSelectionMode(QAbstractItemView::MultiSelection);
    Frame10 = named<QFrame>("Frame10", Frame1);
    Label11 = named<ClickableLabel>("Label11", QStringLiteral("Selected : "), Frame10);
    connect(Label11, &ClickableLabel::clicked, this, &FrmMain::Label11_Click);
    const char* selectNames[3] = {"OpSELECT_0", "OpSELECT_1", "OpSELECT_2"};
    const QString selectCaptions[3] = {QStringLiteral("UnSelect All"), QStringLiteral("Select All"),
                                       QStringLiteral("Invert Selection")};
    for (int i = 0; i < 3; ++i) {
        OpSELECT[i] = named<QRadioButton>(selectNames[i], selectCaptions[i], Frame10);
        connect(OpSELECT[i], &QRadioButton::clicked, this, [this, i] { OpSELECT_Click(i); });
    }
    Check2 = named<QCheckBox>("Check2", QStringLiteral("Delete Contect"), Frame10);
    JeweledButton6 = named<QPushButton>("JeweledButton6", QStringLiteral("Delete Contect"), Frame10);
    JeweledButton6->setVisible(false);
    JeweledButton3 = named<QPushButton>("JeweledButton3", QStringLiteral("Add Contect"), this);
    JeweledButton5 = named<QPushButton>("JeweledButton5", QStringLiteral("Import Contect"), this);

    // Import panel.
    Frame3 = named<QGroupBox>("Frame3", this);
    OpExel = named<QRadioButton>("OpExel", QStringLiteral("Excel"), Frame3);
    OpExel->setChecked(true);
    Option2 = named<QRadioButton>("Option2", QStringLiteral("Text / CSV"), Frame3);
    Frame4 = named<QFrame>("Frame4", Frame3);
    Option4 = named<QRadioButton>("Option4", QStringLiteral("Save to Contect"), Frame4);
    Option4->setChecked(true);
    Option3 = named<QRadioButton>("Option3", QStringLiteral("Direct Send SMS"), Frame4);
    Label10 = named<QLabel>("Label10", QStringLiteral("Group Name"), Frame4);
    TxtGrp1 = named<QLineEdit>("TxtGrp1", Frame4);
    TxtGrp1->setMaxLength(Schema::ContactGroupWidth);
    ListFill::installFocusColours(TxtGrp1);
    JeweledButton4 = named<QPushButton>("JeweledButton4", QStringLiteral("Import"), Frame3);
    Frame3->setVisible(false);
    // Each set of options is exclusive on its own, nested panels or not.
    auto exclusive = [this](std::initializer_list<QRadioButton*> options) {
        auto* group = new QButtonGroup(this);
        for (QRadioButton* o : options)
            group->addButton(o);
    };
    exclusive({OpExel, Option2});
    exclusive({Option4, Option3});
    exclusive({OpSELECT[0], OpSELECT[1], OpSELECT[2]});

    // Layout: contacts on the left, the composition on the right.
    auto* tools = new QVBoxLayout(Frame10);
    tools->addWidget(Label11);
    for (QRadioButton* op : OpSELECT)
        tools->addWidget(op);
    tools->addWidget(Check2);
    tools->addWidget(JeweledButton6);
    tools->addStretch();
    auto* selection = new QHBoxLayout(Frame1);
    selection->addWidget(List1, 1);
    selection->addWidget(Frame10);

    auto* target = new QGridLayout(Frame4);
    target->addWidget(Option4, 0, 0);
    target->addWidget(Option3, 0, 1);
    target->addWidget(Label10, 1, 0);
    target->addWidget(TxtGrp1, 1, 1);
    auto* panel = new QVBoxLayout(Frame3);
    auto* source = new QHBoxLayout;
    source->addWidget(OpExel);
    source->addWidget(Option2);
    panel->addLayout(source);
    panel->addWidget(Frame4);
    panel->addWidget(JeweledButton4);

    auto* left = new QVBoxLayout;
    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(Check1);
    groupRow->addWidget(ComGroup, 1);
    left->addLayout(groupRow);
    left->addWidget(Frame1, 1);
    auto* contactButtons = new QHBoxLayout;
    contactButtons->addWidget(JeweledButton3);
    contactButtons->addWidget(JeweledButton5);
    left->addLayout(contactButtons);
    left->addWidget(Frame3);

    auto* right = new QGridLayout;
    int row = 0;
    right->addWidget(new QLabel(QStringLiteral("InterNet Web Account"), this), row, 0);
    right->addWidget(Combo1, row++, 1);
    right->addWidget(Label3, row++, 0, 1, 2);
    right->addWidget(Lbbal1, row++, 0, 1, 2);
    right->addWidget(new QLabel(QStringLiteral("Number"), this), row, 0, Qt::AlignTop);
    right->addWidget(Text1, row++, 1);
    right->addWidget(new QLabel(QStringLiteral("SMS Text"), this), row, 0, Qt::AlignTop);
    right->addWidget(tXTsms, row++, 1);
    right->addWidget(Lb1, row, 0);
    right->addWidget(Combo2, row++, 1);
    right->addWidget(new QLabel(QStringLiteral("Server Responce"), this), row, 0, Qt::AlignTop);
    right->addWidget(List2, row++, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(JeweledButton1);
    buttons->addWidget(JeweledButton7);
    buttons->addWidget(JeweledButton2);
    right->addLayout(buttons, row++, 0, 1, 2);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);

    // Group mode is off at opening.
    Check1->setChecked(false);
    ComGroup->setEnabled(false);
    Frame1->setEnabled(false);
    Frame10->setEnabled(false);
    Label11->setVisible(false);

    connect(Check1, &QCheckBox::clicked, this, &FrmMain::Check1_Click);
    connect(ComGroup, &QComboBox::currentTextChanged, this, &FrmMain::ComGroup_Change);
    connect(List1, &QListWidget::itemSelectionChanged, this, &FrmMain::List1_Click);
    connect(Check2, &QCheckBox::clicked, this, &FrmMain::Check2_Click);
    connect(JeweledButton6, &QPushButton::clicked, this, &FrmMain::JeweledButton6_Click);
    connect(JeweledButton3, &QPushButton::clicked, this, &FrmMain::JeweledButton3_Click);
    connect(JeweledButton5, &QPushButton::clicked, this, &FrmMain::JeweledButton5_Click);
    connect(Option3, &QRadioButton::toggled, this, [this](bool direct) {
        Label10->setVisible(!direct);
        TxtGrp1->setVisible(!direct);
    });
    connect(JeweledButton1, &QPushButton::clicked, this, &FrmMain::JeweledButton1_Click);
    connect(JeweledButton4, &QPushButton::clicked, this, &FrmMain::JeweledButton4_Click);
    connect(JeweledButton7, &QPushButton::clicked, this, &FrmMain::JeweledButton7_Click);
    connect(JeweledButton2, &QPushButton::clicked, this, &FrmMain::JeweledButton2_Click);
    connect(Combo1, &QComboBox::activated, this, &FrmMain::Combo1_Change);
    connect(Combo2, &QComboBox::activated, this, &FrmMain::Combo2_Click);
    connect(tXTsms->document(), &QTextDocument::contentsChange, this, &FrmMain::limitMessage);
    connect(tXTsms, &QPlainTextEdit::textChanged, this, &FrmMain::updatePartCounter);
    connect(Timer1, &QTimer::timeout, this, [this] { timerTick(); });
    updatePartCounter();
}

// --- accounts and balance -------------------------------------------------

void FrmMain::fillAccounts()
{
    try {
        ListFill::setItems(Combo1, ContactBook::fillFromQuery(m_context.store(), ContactBook::AccountsSql));
    } catch (const StoreError& e) {
        ListFill::showError(this, e.text());
    }
}

void FrmMain::Combo1_Change()
{
    const QString name = Combo1->currentText();
    try {
        m_context.loadProfile(name);
    } catch (const StoreError& e) {
        // The profile in force stays; the box goes back to its name.
        ListFill::showError(this,
                            QStringLiteral("The account \"%1\" cannot be loaded: %2").arg(name, e.text()));
        const QSignalBlocker block(Combo1);
        Combo1->setCurrentText(m_context.profile().userName);
        return;
    }
    showAccount();
}

void FrmMain::showAccount()
{
    Lbbal1->setText(QStringLiteral("Working..."));
    m_balanceFailures = 0;
    ++m_balanceGeneration;
    Timer1->start(AccountChangeDelayMs);
    const ProfileState& p = m_context.profile();
    Label3->setText(QStringLiteral(" GSM : ") + p.gsmSid + QStringLiteral("    CDMA : ") + p.cdmaSid);
}

void FrmMain::showLoadedAccount()
{
    const QString name = m_context.profile().userName;
    if (m_sender->isBusy() || Combo1->currentText() == name)
        return;
    const QSignalBlocker block(Combo1);
    if (Combo1->findText(name) < 0)
        fillAccounts(); // a profile added since the screen opened
    Combo1->setCurrentIndex(Combo1->findText(name));
    showAccount();
}

QCoro::Task<> FrmMain::timerTick()
{
    // Without a balance URL there is nothing to fetch; the timer keeps
    // looking, so a profile that gains one shows its balance.
    if (m_context.profile().balanceUrl.isEmpty())
        co_return;
    Timer1->stop();
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
    Lbbal1->setText(text);
    // A failed fetch is tried again a few times, then left alone until the
    // next account change or send.
    if (failed && ++m_balanceFailures < BalanceAttempts)
        Timer1->start(BalanceRetryMs);
}

// --- message field ---------------------------------------------------------

void FrmMain::updatePartCounter()
{
    Lb1->setText(PartCounter::caption(tXTsms->toPlainText()));
}

void FrmMain::limitMessage(int position, int removed, int added)
{
    Q_UNUSED(removed);
    const int excess = int(tXTsms->toPlainText().size()) - PartCounter::MessageLimit;
    if (excess <= 0 || added <= 0)
        return;
    // Drop the end of what was just typed or pasted, as a field with a
    // maximum length does.
    QTextCursor cursor(tXTsms->document());
    const int end = position + added;
    cursor.setPosition(end - std::min(excess, added));
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void FrmMain::fillEarlierTexts()
{
    try {
        ListFill::setItems(Combo2,
                           ContactBook::fillFromQuery(m_context.store(), ContactBook::EarlierTextsSql));
    } catch (const StoreError& e) {
        ListFill::showError(this, e.text());
    }
}

void FrmMain::Combo2_Click()
{
    QString text = Combo2->currentText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    tXTsms->setPlainText(text);
}

// --- sending ---------------------------------------------------------------

void FrmMain::JeweledButton1_Click()
{
    if (tXTsms->toPlainText().isEmpty())
        return;
    Send_SMS();
}

QCoro::Task<> FrmMain::Send_SMS()
{
    if (m_sender->isBusy())
        co_return;
    Running running(this);
    JeweledButton1->setEnabled(false);
    // A send goes out under one account from its first request to its last:
    // the profile loaded now, which the account box shows.
    Combo1->setEnabled(false);
    showLoadedAccount();
    const ProfileState account = m_context.profile();

    QString numbers;
    if (Check1->isChecked()) {
        // The numbers of the selected contacts as the contact book holds
        // them, leading zeros included.
        QStringList mobiles;
        for (int i = 0; i < List1->count(); ++i)
            if (List1->item(i)->isSelected())
                mobiles << List1->item(i)->data(Qt::UserRole).toString();
        numbers = Recipients::fromContacts(mobiles);
    } else {
        numbers = Recipients::fromNumberBox(Text1->toPlainText());
    }
    QString message = tXTsms->toPlainText();
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
    case Kind::Sent:
    case Kind::Declined:
    case Kind::Busy:
        break;
    }
    showLoadedAccount();
    if (outcome.kind != Kind::Declined && outcome.kind != Kind::Busy && outcome.kind != Kind::NoRecipients)
        co_await m_sender->refreshBalance();
    if (outcome.recorded > 0)
        fillEarlierTexts();
    Combo1->setEnabled(true);
    JeweledButton1->setEnabled(true);
}

// --- import ----------------------------------------------------------------

void FrmMain::JeweledButton4_Click()
{
    importFile();
}

QCoro::Task<> FrmMain::importFile()
{
    const bool excel = OpExel->isChecked();
    const QString path = Prompt::current().openFileName(
        this,
        excel ? QStringLiteral("[ Excel File Only ]Select A File From Which To Retrive Data")
              : QStringLiteral("[ txt/CSV File Only ]Select A File From Which To Retrive Data"),
        excel ? QStringLiteral("Excel File (*.xls *.xlsx)") : QStringLiteral("Text (*.txt);;CSV (*.csv)"));
    if (path.isEmpty())
        co_return;

    Running running(this);
    JeweledButton4->setEnabled(false);
    struct Enable
    {
        QWidget* button;
        ~Enable() { button->setEnabled(true); }
    } enableAgain{JeweledButton4};

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
        Option3->isChecked() ? ContactImport::Target::NumberBox : ContactImport::Target::Contacts;
    if (TxtGrp1->text().isEmpty())
        TxtGrp1->setText(ContactImport::DefaultGroup);
    const QString group = TxtGrp1->text();

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
        Text1->setPlainText(box);
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
    Frame3->setVisible(false);
    refillGroups();
}

void FrmMain::JeweledButton7_Click()
{
    Check1->setChecked(false);
    Check1_Click();
    Text1->clear();
    tXTsms->clear();
}

void FrmMain::JeweledButton2_Click()
{
    close();
}

void FrmMain::closeEvent(QCloseEvent* event)
{
    if (m_running > 0) {
        // A send or an import is still running: the screen goes away now and
        // is discarded when the operation ends.
        m_closePending = true;
        hide();
        event->ignore();
        return;
    }
    Timer1->stop();
    event->accept();
}

void FrmMain::showEvent(QShowEvent* event)
{
    // Shown again while an earlier close waited for an operation: the
    // operator wants the screen, so it stays when the operation ends.
    m_closePending = false;
    showLoadedAccount();
    QWidget::showEvent(event);
}

void FrmMain::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        showLoadedAccount();
    QWidget::changeEvent(event);
}

// --- groups and contacts ---------------------------------------------------

void FrmMain::Check1_Click()
{
    const bool group = Check1->isChecked();
    ComGroup->setEnabled(group);
    Frame1->setEnabled(group);
    Text1->setEnabled(!group);
    if (!group)
        List1->clear();
    Frame10->setEnabled(Frame1->isEnabled());
    Label11->setVisible(Frame1->isEnabled());
    List1_Click();
}

void FrmMain::refillGroups()
{
    try {
        ListFill::setItems(ComGroup,
                           ContactBook::fillFromQuery(m_context.store(), ContactBook::ContactGroupsSql));
    } catch (const StoreError& e) {
        ListFill::showError(this, e.text());
    }
}

void FrmMain::ComGroup_Change()
{
    QList<ContactBook::Entry> entries;
    try {
        entries = ContactBook(m_context.store()).entries(ComGroup->currentText());
    } catch (const StoreError& e) {
        ListFill::showError(this, e.text());
    }
    const QSignalBlocker block(List1);
    List1->clear();
    for (const ContactBook::Entry& e : entries) {
        auto* item = new QListWidgetItem(e.text(), List1);
        item->setData(Qt::UserRole, e.mobile);
    }
    List1_Click();
}

void FrmMain::List1_Click()
{
    Label11->setText(QStringLiteral("Selected : ") +
                     TextNumbers::withLeadingBlank(double(List1->selectionModel()->selectedRows().size())));
}

void FrmMain::OpSELECT_Click(int index)
{
    List1->setUpdatesEnabled(false);
    for (int i = 0; i < 3; ++i) {
        QFont f = OpSELECT[i]->font();
        f.setBold(i == index);
        OpSELECT[i]->setFont(f);
    }
    if (List1->count() > 0) {
        QItemSelectionModel* model = List1->selectionModel();
        const QItemSelection all(List1->model()->index(0, 0), List1->model()->index(List1->count() - 1, 0));
        const QSignalBlocker block(List1);
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
        List1->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    }
    List1_Click();
    List1->setUpdatesEnabled(true);
}

void FrmMain::Check2_Click()
{
    JeweledButton6->setVisible(Check2->isChecked());
}

void FrmMain::JeweledButton6_Click()
{
    const QString group = ComGroup->currentText();
    if (Prompt::current().question(this, QString(),
                                   QStringLiteral("Are You Sure Want To Delete Selected Contect")) ==
        Prompt::Answer::Yes) {
        QStringList selected;
        for (int i = 0; i < List1->count(); ++i)
            if (List1->item(i)->isSelected())
                selected << List1->item(i)->text();
        try {
            ContactBook(m_context.store()).deleteEntries(group, selected);
        } catch (const StoreError& e) {
            ListFill::showError(this, e.text());
        }
    }
    ComGroup_Change();
    refillGroups();
}

void FrmMain::JeweledButton3_Click()
{
    ScreenRegistry::instance().show(Screens::Contacts);
}

void FrmMain::JeweledButton5_Click()
{
    Frame3->setVisible(true);
}

void FrmMain::Label11_Click()
{
    Frame3->setVisible(false);
}

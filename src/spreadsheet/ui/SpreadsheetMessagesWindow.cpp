#include "spreadsheet/ui/SpreadsheetMessagesWindow.h"

#include "core/EngineContext.h"
#include "core/Store.h"
#include "spreadsheet/SpreadsheetMessages.h"
#include "spreadsheet/reader/SheetReader.h"
#include "ui/BusyPointer.h"
#include "ui/Prompt.h"
#include "ui/ScreenRegistry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoroTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <chrono>

using namespace SpreadsheetMessages;

namespace {

const QString DialogTitle = QStringLiteral("[ Excel File Only ]Select A File From Which To Retrive Data");
const QString DialogFilter = QStringLiteral(" Excel File (*.xls *.xlsx *.csv *.txt)");
const QString TotalCaption = QStringLiteral("Total Massage : ");
constexpr int MobileColumn = 0;
constexpr int MessageColumn = 1;

// Lets the screen events that are waiting run before the work goes on.
QCoro::Task<> letEventsRun()
{
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
}

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return item;
}

} // namespace

SpreadsheetMessagesWindow::SpreadsheetMessagesWindow(Store& store, const Clock& clock, QWidget* parent)
    : QWidget(parent), m_store(store), m_clock(clock)
{
    setObjectName(QStringLiteral("Frm601"));
    setWindowTitle(QStringLiteral("SMS From Excel"));

    m_importButton = new QPushButton(QStringLiteral("SMS From Excel"), this);
    m_importButton->setObjectName(QStringLiteral("CmdExcel"));
    m_perRow = new QCheckBox(QStringLiteral("AS Per Exel Sheet 'B Col'"), this);
    m_perRow->setObjectName(QStringLiteral("Check1"));

    auto* messageLabel = new QLabel(QStringLiteral("Massage Text"), this);
    messageLabel->setObjectName(QStringLiteral("Label1"));
    m_messageEdit = new QPlainTextEdit(this);
    m_messageEdit->setObjectName(QStringLiteral("tXTsms"));
    m_messageEdit->setTabChangesFocus(true);
    m_messageEdit->installEventFilter(this);
    messageLabel->setBuddy(m_messageEdit);
    m_lengthLabel = new QLabel(this);
    m_lengthLabel->setObjectName(QStringLiteral("Lb1"));

    m_selectedLabel = new QLabel(this);
    m_selectedLabel->setObjectName(QStringLiteral("LbSelected"));
    m_totalLabel = new QLabel(this);
    m_totalLabel->setObjectName(QStringLiteral("LbNoofSMS"));

    m_grid = new QTableWidget(0, 2, this);
    m_grid->setObjectName(QStringLiteral("MSF"));
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    formatGrid();

    m_sendButton = new QPushButton(QStringLiteral("Send SMS"), this);
    m_sendButton->setObjectName(QStringLiteral("JeweledButton1"));
    m_sendButton->setEnabled(false);
    m_exitButton = new QPushButton(QStringLiteral("Exit"), this);
    m_exitButton->setObjectName(QStringLiteral("JeweledButton2"));

    auto* top = new QHBoxLayout;
    top->addWidget(m_importButton);
    top->addWidget(m_perRow);
    top->addStretch();
    top->addWidget(m_selectedLabel);

    auto* messageRow = new QGridLayout;
    messageRow->addWidget(messageLabel, 0, 0, Qt::AlignTop);
    messageRow->addWidget(m_messageEdit, 0, 1);
    messageRow->addWidget(m_lengthLabel, 1, 1, Qt::AlignRight);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_totalLabel);
    bottom->addStretch();
    bottom->addWidget(m_sendButton);
    bottom->addWidget(m_exitButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(messageRow);
    layout->addWidget(m_grid, 1);
    layout->addLayout(bottom);
    resize(640, 520);

    connect(m_messageEdit, &QPlainTextEdit::textChanged, this, &SpreadsheetMessagesWindow::messageChanged);
    connect(m_perRow, &QCheckBox::toggled, this, &SpreadsheetMessagesWindow::rowTextChanged);
    connect(m_importButton, &QPushButton::clicked, this, [this] { chooseAndImport(); });
    connect(m_sendButton, &QPushButton::clicked, this, [this] { sendMessages(); });
    connect(m_exitButton, &QPushButton::clicked, this, &QWidget::close);
}

int SpreadsheetMessagesWindow::twips(int value) const
{
    return qRound(value * logicalDpiX() / 1440.0);
}

void SpreadsheetMessagesWindow::formatGrid()
{
    m_grid->setColumnCount(2);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("Mobiles No"), QStringLiteral("Massage   ")});
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_grid->verticalHeader()->setFixedWidth(twips(100));
    m_grid->setColumnWidth(MobileColumn, twips(2000));
    m_grid->setColumnWidth(MessageColumn, twips(4000));
}

QString SpreadsheetMessagesWindow::boxText() const
{
    // The box's line breaks, as CR LF like every multi-line text of the program.
    return m_messageEdit->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void SpreadsheetMessagesWindow::messageChanged()
{
    m_lengthLabel->setText(QString::number(boxText().size()) + QStringLiteral("/160"));
}

void SpreadsheetMessagesWindow::rowTextChanged(bool ticked)
{
    QPalette palette = m_messageEdit->palette();
    if (ticked) {
        m_messageEdit->clear();
        palette.setColor(QPalette::Base, this->palette().color(QPalette::Window));
    } else {
        palette.setColor(QPalette::Base, Qt::white);
    }
    m_messageEdit->setPalette(palette);
    m_messageEdit->setEnabled(!ticked);
}

bool SpreadsheetMessagesWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Neither an apostrophe nor a double quote can be typed into the message box.
    if (watched == m_messageEdit && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (text == QStringLiteral("'") || text == QStringLiteral("\""))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SpreadsheetMessagesWindow::closeEvent(QCloseEvent* event)
{
    // An import or a send finishes first; the screen stays until then.
    if (m_busy) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

QCoro::Task<> SpreadsheetMessagesWindow::chooseAndImport()
{
    if (m_busy)
        co_return;
    const QString path = Prompt::current().openFileName(this, DialogTitle, DialogFilter);
    if (path.isEmpty())
        co_return;
    co_await importWorkbook(path);
}

QCoro::Task<bool> SpreadsheetMessagesWindow::importWorkbook(QString path)
{
    if (m_busy)
        co_return false;

    // Read the whole sheet first: a file that cannot be read leaves the
    // screen as it was.
    std::unique_ptr<SheetReader> sheet;
    QString failure;
    {
        BusyPointer busy;
        try {
            sheet = SheetReader::open(path);
        } catch (const SheetError& e) {
            failure = e.message();
        }
    }
    if (!sheet) {
        Prompt::current().message(this, windowTitle(), failure, Prompt::Icon::Critical);
        co_return false;
    }

    QPointer<SpreadsheetMessagesWindow> self(this);
    m_busy = true;
    m_importButton->setEnabled(false);
    m_sendButton->setEnabled(false);
    m_grid->setRowCount(0);
    m_grid->hide();

    const QList<SheetRow> rows = takeRows(*sheet);
    const int unread = rowsLeftUnread(*sheet);
    sheet.reset();
    int appended = 0;
    for (const SheetRow& row : rows) {
        m_grid->insertRow(appended);
        m_grid->setItem(appended, MobileColumn, cell(row.mobile));
        m_grid->setItem(appended, MessageColumn, cell(row.message));
        ++appended;
        // The number of the next grid row (the header row counts as row 0).
        m_selectedLabel->setText(QString::number(appended + 1));
        co_await letEventsRun();
        if (!self)
            co_return false;
    }

    m_importButton->setEnabled(appended == 0);
    m_sendButton->setEnabled(appended > 0);
    m_grid->show();
    m_totalLabel->setText(TotalCaption + QString::number(appended));
    formatGrid();
    m_busy = false;
    if (unread > 0)
        Prompt::current().message(
            this, windowTitle(),
            QStringLiteral("The import stops at %1 sheet rows: %2 more rows of the sheet were not read.")
                .arg(MaxSheetRows)
                .arg(unread),
            Prompt::Icon::Warning);
    co_return true;
}

QCoro::Task<> SpreadsheetMessagesWindow::sendMessages()
{
    if (m_busy)
        co_return;
    const bool perRow = m_perRow->isChecked();
    const QString typed = messageText(boxText());
    // A text of blanks only would queue nothing at all: ask for a message as for an empty box.
    if (!perRow && typed.isEmpty()) {
        Prompt::current().message(this, QString(), QStringLiteral(" Please Enter Message "),
                                  Prompt::Icon::Critical);
        co_return;
    }

    QPointer<SpreadsheetMessagesWindow> self(this);
    m_busy = true;
    m_sendButton->setEnabled(false);
    setEnabled(false);

    QList<QueueRecord> records;
    for (int row = 0; row < m_grid->rowCount(); ++row) {
        const QString mobile = m_grid->item(row, MobileColumn)->text();
        if (!isVisited(mobile))
            continue;
        const QString message = perRow ? messageText(m_grid->item(row, MessageColumn)->text()) : typed;
        m_grid->setCurrentCell(row, MobileColumn);
        m_grid->item(row, MessageColumn)->setBackground(QColor(255, 0, 0));
        co_await letEventsRun();
        if (!self)
            co_return;
        if (qualifies(mobile, message))
            records.append(record(mobile, message, m_clock.now()));
    }

    // The rows of one send are queued together or not at all.
    QString failure;
    try {
        queueAll(m_store, records);
    } catch (const StoreError& e) {
        failure = e.text();
    }

    setEnabled(true);
    m_busy = false;
    if (!failure.isEmpty()) {
        // Nothing is queued: the operator may try again.
        m_sendButton->setEnabled(true);
        Prompt::current().message(this, windowTitle(),
                                  QStringLiteral("The messages could not be queued; none was queued.\n") +
                                      failure,
                                  Prompt::Icon::Critical);
        co_return;
    }
    Prompt::current().message(this, QStringLiteral("SMS"), QStringLiteral("Prosess Complate"),
                              Prompt::Icon::None);
}

void registerSpreadsheetScreens(EngineContext& context)
{
    ScreenRegistry::instance().registerScreen(Screens::SpreadsheetMessages, [&context] {
        return new SpreadsheetMessagesWindow(context.store(), context.clock());
    });
}

#include "report/ui/ReportWindow.h"

#include "core/EngineContext.h"
#include "core/Store.h"
#include "ui/BusyPointer.h"
#include "ui/Prompt.h"
#include "ui/ScreenRegistry.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQueryModel>
#include <QTableView>
#include <QVBoxLayout>

using MessageReport::View;

namespace {

const QString OrderTag = QStringLiteral("tag");

void markChosen(QButtonGroup* group)
{
    for (QAbstractButton* button : group->buttons()) {
        QFont font = button->font();
        font.setBold(button->isChecked());
        button->setFont(font);
    }
}

} // namespace

ReportWindow::ReportWindow(Store& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("FrmDetail"));
    setWindowTitle(QStringLiteral("Report"));

    // The four views, numbered as the statements know them.
    const QString viewCaptions[4] = {QStringLiteral("Sent -Deliverd"), QStringLiteral("Pendig "),
                                     QStringLiteral("Sent -UnDiliverd"), QStringLiteral("Sent -PendReport")};
    m_viewGroup = new QButtonGroup(this);
    auto* viewRow = new QHBoxLayout;
    // Shown as the operator reads them: queued first, then the sent states.
    for (int index : {1, 0, 2, 3}) {
        m_views[index] = new QRadioButton(viewCaptions[index], this);
        m_views[index]->setObjectName(QStringLiteral("OP_%1").arg(index));
        m_viewGroup->addButton(m_views[index], index);
        viewRow->addWidget(m_views[index]);
    }
    viewRow->addStretch();
    m_views[int(View::Queued)]->setChecked(true);

    auto* mobileLabel = new QLabel(QStringLiteral("Mobile No"), this);
    mobileLabel->setObjectName(QStringLiteral("Label1"));
    m_mobileEdit = new QLineEdit(this);
    m_mobileEdit->setObjectName(QStringLiteral("Text1"));
    mobileLabel->setBuddy(m_mobileEdit);

    m_byDate = new QCheckBox(QStringLiteral("Date"), this);
    m_byDate->setObjectName(QStringLiteral("ChDate"));
    m_from = new QDateEdit(QDate::currentDate(), this);
    m_from->setObjectName(QStringLiteral("DT1"));
    m_from->setCalendarPopup(true);
    m_from->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    auto* toLabel = new QLabel(QStringLiteral("To"), this);
    toLabel->setObjectName(QStringLiteral("Label2"));
    m_to = new QDateEdit(QDate::currentDate(), this);
    m_to->setObjectName(QStringLiteral("DT2"));
    m_to->setCalendarPopup(true);
    m_to->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));

    m_orderFrame = new QGroupBox(QStringLiteral("Order by"), this);
    m_orderFrame->setObjectName(QStringLiteral("FrameOrd"));
    m_orderFrame->setProperty(OrderTag.toLatin1().constData(), QStringLiteral("0"));
    m_orderGroup = new QButtonGroup(this);
    auto* orderRow = new QHBoxLayout(m_orderFrame);
    const QString orderCaptions[3] = {QStringLiteral("Date"), QStringLiteral("Mobile No"),
                                      QStringLiteral("Massage")};
    for (int index = 0; index < 3; ++index) {
        m_orders[index] = new QRadioButton(orderCaptions[index], m_orderFrame);
        m_orders[index]->setObjectName(QStringLiteral("Option1_%1").arg(index));
        m_orderGroup->addButton(m_orders[index], index);
        orderRow->addWidget(m_orders[index]);
    }
    m_orders[0]->setChecked(true);

    m_showButton = new QPushButton(QStringLiteral("S&HOW"), this);
    m_showButton->setObjectName(QStringLiteral("JOk"));
    m_showButton->setToolTip(QStringLiteral("Display Page Wise  Print View "));
    m_exitButton = new QPushButton(QStringLiteral("E&XIT"), this);
    m_exitButton->setObjectName(QStringLiteral("JeweledButton1"));

    m_model = new QSqlQueryModel(this);
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("MSF"));
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->setFixedWidth(twips(100));
    m_grid->installEventFilter(this);

    m_countLabel = new QLabel(this);
    m_countLabel->setObjectName(QStringLiteral("LBSMS"));
    m_replyLabel = new QLabel(this);
    m_replyLabel->setObjectName(QStringLiteral("LBMass"));
    m_replyLabel->setWordWrap(true);
    m_replyLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(mobileLabel);
    filterRow->addWidget(m_mobileEdit);
    filterRow->addWidget(m_byDate);
    filterRow->addWidget(m_from);
    filterRow->addWidget(toLabel);
    filterRow->addWidget(m_to);
    filterRow->addWidget(m_orderFrame);
    filterRow->addWidget(m_showButton);
    filterRow->addWidget(m_exitButton);

    auto* footer = new QHBoxLayout;
    footer->addWidget(m_countLabel);
    footer->addWidget(m_replyLabel, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(viewRow);
    layout->addLayout(filterRow);
    layout->addWidget(m_grid, 1);
    layout->addLayout(footer);
    resize(900, 560);

    markChosen(m_viewGroup);
    markChosen(m_orderGroup);
    connect(m_viewGroup, &QButtonGroup::idClicked, this, [this] { markChosen(m_viewGroup); });
    connect(m_orderGroup, &QButtonGroup::idClicked, this, &ReportWindow::chooseOrder);
    connect(m_showButton, &QPushButton::clicked, this, &ReportWindow::showList);
    connect(m_exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_grid, &QTableView::clicked, this, [this](const QModelIndex& index) { showReply(index.row()); });
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showReply(current.row()); });

    try {
        MessageReport::installFunctions(m_store);
    } catch (const StoreError& e) {
        // The lists without the queued view's date filter still work.
        reportFailure(QStringLiteral("The queued view cannot filter by date"), e.text());
    }
}

MessageReport::Criteria ReportWindow::criteria() const
{
    MessageReport::Criteria c;
    c.view = static_cast<View>(qMax(0, m_viewGroup->checkedId()));
    c.mobileStart = m_mobileEdit->text();
    c.byDate = m_byDate->isChecked();
    c.from = m_from->date();
    c.to = m_to->date();
    const int order = m_orderFrame->property(OrderTag.toLatin1().constData()).toString().toInt();
    c.order = static_cast<MessageReport::Order>(qBound(0, order, 2));
    return c;
}

void ReportWindow::chooseOrder(int index)
{
    m_orderFrame->setProperty(OrderTag.toLatin1().constData(), QString::number(index));
    markChosen(m_orderGroup);
}

void ReportWindow::showList()
{
    const MessageReport::Criteria c = criteria();
    BusyPointer busy;
    try {
        MessageReport::backfillQueueDay(m_store, &m_backfilledUpTo);
        QSqlQuery rows = MessageReport::open(m_store, MessageReport::listStatement(c));
        const qint64 total = MessageReport::count(m_store, c);
        m_model->setQuery(std::move(rows));
        m_shown = c.view;
        m_shownCriteria = c;
        m_countLabel->setText(QString::number(total));
    } catch (const StoreError& e) {
        reportFailure(QStringLiteral("The list cannot be shown"), e.text());
        return;
    }
    m_replyLabel->clear();
    applyColumnWidths();
}

void ReportWindow::applyColumnWidths()
{
    // Widths in twips of the columns after the row header; a queued list
    // has only the first three.
    const int widths[] = {1000, 4500, 1500, 1900, 600};
    const int columns = m_model->columnCount();
    for (int column = 0; column < columns && column < int(std::size(widths)); ++column)
        m_grid->setColumnWidth(column, twips(widths[column]));
    const int hidden = m_shown == View::Queued ? MessageReport::QueuedKeyColumn : MessageReport::ReplyColumn;
    for (int column = 0; column < columns; ++column)
        m_grid->setColumnHidden(column, column == hidden);
}

int ReportWindow::twips(int value) const
{
    return qRound(value * logicalDpiX() / 1440.0);
}

bool ReportWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            deleteCurrent();
            return true;
        }
        showReply(m_grid->currentIndex().row());
    }
    return QWidget::eventFilter(watched, event);
}

void ReportWindow::showReply(int row)
{
    if (!m_shown || *m_shown == View::Queued || row < 0 || row >= m_model->rowCount())
        return;
    m_replyLabel->setText(m_model->index(row, MessageReport::ReplyColumn).data().toString());
}

void ReportWindow::deleteCurrent()
{
    // Only a queued list can delete, whatever option is ticked meanwhile.
    if (!m_shown || *m_shown != View::Queued)
        return;
    const int row = m_grid->currentIndex().row();
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QVariant mobile = m_model->index(row, 0).data();
    const QVariant stamp = m_model->index(row, 2).data();
    const QVariant key = m_model->index(row, MessageReport::QueuedKeyColumn).data();
    if (Prompt::current().question(this, QString(),
                                   QStringLiteral("Are You Sure Want To Delete This Massage ")) !=
        Prompt::Answer::Yes)
        return;
    try {
        if (MessageReport::deleteQueued(m_store, key, mobile, stamp) > 0)
            reload(row);
    } catch (const StoreError& e) {
        reportFailure(QStringLiteral("The message cannot be deleted"), e.text());
    }
}

void ReportWindow::reload(int row)
{
    QSqlQuery rows = MessageReport::open(m_store, MessageReport::listStatement(m_shownCriteria));
    const qint64 total = MessageReport::count(m_store, m_shownCriteria);
    m_model->setQuery(std::move(rows));
    m_countLabel->setText(QString::number(total));
    while (m_model->rowCount() <= row && m_model->canFetchMore())
        m_model->fetchMore();
    if (m_model->rowCount() == 0) {
        m_model->clear();
        return;
    }
    applyColumnWidths();
    m_grid->setCurrentIndex(m_model->index(qMin(row, m_model->rowCount() - 1), 0));
}

void ReportWindow::reportFailure(const QString& what, const QString& text)
{
    Prompt::current().message(this, windowTitle(), what + QStringLiteral(":\n") + text,
                              Prompt::Icon::Critical);
}

void registerReportScreens(EngineContext& context)
{
    ScreenRegistry::instance().registerScreen(Screens::Report,
                                              [&context] { return new ReportWindow(context.store()); });
}

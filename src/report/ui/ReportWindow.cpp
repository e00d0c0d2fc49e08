#include "report/ui/ReportWindow.h"

#include "common/LogCategories.h"
#include "core/EngineContext.h"
#include "core/Store.h"
#include "ui/BusyPointer.h"
#include "ui/Prompt.h"
#include "ui/ScreenRegistry.h"

#include "ui_ReportWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQueryModel>
#include <QTableView>

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

ReportWindow::ReportWindow(Store& store, const Clock& clock, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::ReportWindow>()), m_store(store)
{
    m_ui->setupUi(this);
    m_mobileEdit = m_ui->Text1;
    m_byDate = m_ui->ChDate;
    m_from = m_ui->DT1;
    m_to = m_ui->DT2;
    m_orderFrame = m_ui->FrameOrd;
    m_showButton = m_ui->JOk;
    m_exitButton = m_ui->JeweledButton1;
    m_grid = m_ui->MSF;
    m_countLabel = m_ui->LBSMS;
    m_replyLabel = m_ui->LBMass;

    // The views and the orders carry the numbers the statements know them by.
    m_viewGroup = new QButtonGroup(this);
    QRadioButton* const views[] = {m_ui->OP_0, m_ui->OP_1, m_ui->OP_2, m_ui->OP_3};
    for (int index = 0; index < int(std::size(views)); ++index)
        m_viewGroup->addButton(views[index], index);
    m_orderGroup = new QButtonGroup(this);
    QRadioButton* const orders[] = {m_ui->Option1_0, m_ui->Option1_1, m_ui->Option1_2};
    for (int index = 0; index < int(std::size(orders)); ++index)
        m_orderGroup->addButton(orders[index], index);
    m_orderFrame->setProperty(OrderTag.toLatin1().constData(), QStringLiteral("0"));

    // The dates of today, and sizes that follow the screen's resolution.
    m_from->setDate(clock.now().date());
    m_to->setDate(clock.now().date());
    m_grid->verticalHeader()->setFixedWidth(twips(100));
    m_model = new QSqlQueryModel(this);
    m_grid->setModel(m_model);
    m_grid->installEventFilter(this);
    // Shown while S&HOW prepares a ledger too large for one short statement.
    m_fillProgress = new QProgressBar(this);
    m_fillProgress->setObjectName(QStringLiteral("backfillProgress"));
    m_fillProgress->setFormat(QStringLiteral("Preparing the report: %v of %m rows"));
    m_fillProgress->hide();
    m_ui->footer->addWidget(m_fillProgress);

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

ReportWindow::~ReportWindow() = default;

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
    // A second S&HOW during the fill would only fill the same rows again.
    if (!m_filling)
        fillThenList(criteria());
}

void ReportWindow::endFill()
{
    m_filling = false;
    m_fillProgress->hide();
    m_showButton->setEnabled(true);
}

QCoro::Task<> ReportWindow::fillThenList(MessageReport::Criteria c)
{
    // The window may be closed while the chunks run; the fill then stops.
    const QPointer<ReportWindow> self(this);
    BusyPointer busy;
    try {
        m_filling = true;
        m_showButton->setEnabled(false);
        const auto shown = [self](const MessageReport::BackfillProgress& p) {
            if (self && p.examined < p.total) {
                self->m_fillProgress->setRange(0, int(qMin<qint64>(p.total, INT_MAX)));
                self->m_fillProgress->setValue(int(qMin<qint64>(p.examined, INT_MAX)));
                self->m_fillProgress->show();
            }
            return !self.isNull();
        };
        const MessageReport::BackfillProgress done = co_await MessageReport::backfillQueueDayInChunks(
            m_store, m_backfilledUpTo, shown, m_backfillChunkRows);
        if (!self)
            co_return;
        m_backfilledUpTo = done.examinedUpTo;
        endFill();
        QSqlQuery rows = MessageReport::open(m_store, MessageReport::listStatement(c));
        const qint64 total = MessageReport::count(m_store, c);
        m_model->setQuery(std::move(rows));
        m_shown = c.view;
        m_shownCriteria = c;
        m_countLabel->setText(QString::number(total));
    } catch (const StoreError& e) {
        if (!self)
            co_return;
        endFill();
        reportFailure(QStringLiteral("The list cannot be shown"), e.text());
        co_return;
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
    qCWarning(lcReport).noquote() << what << ":" << text;
    Prompt::current().message(this, windowTitle(), what + QStringLiteral(":\n") + text,
                              Prompt::Icon::Critical);
}

void registerReportScreens(EngineContext& context)
{
    ScreenRegistry::instance().registerScreen(
        Screens::Report, [&context] { return new ReportWindow(context.store(), context.clock()); });
}

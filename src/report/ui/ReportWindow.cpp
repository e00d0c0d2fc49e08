#include "report/ui/ReportWindow.h"

#include "common/LogCategories.h"
#include "common/SettingsKeys.h"
#include "core/EngineContext.h"
#include "core/Store.h"
#include "ui/BusyPointer.h"
#include "ui/Prompt.h"
#include "ui/ScreenRegistry.h"

#include "ui_ReportWindow.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCoroTimer>
#include <QDateEdit>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QSqlQueryModel>
#include <QStackedBarSeries>
#include <QTableView>
#include <QValueAxis>

using MessageReport::View;

namespace {

const QString OrderTag = QStringLiteral("tag");

// The summary's states, in stacking order, with their colours.
struct SummaryState
{
    const char* name;
    QString caption;
    QColor colour;
};
const SummaryState States[] = {
    {"totalDelivered", QStringLiteral("Delivered"), QColor(0x2e, 0x8b, 0x57)},
    {"totalUndelivered", QStringLiteral("Not delivered"), QColor(0xc0, 0x39, 0x2b)},
    {"totalAwaiting", QStringLiteral("Awaiting report"), QColor(0xe6, 0x9b, 0x1e)},
    {"totalQueued", QStringLiteral("Queued"), QColor(0x1f, 0x5f, 0xa8)}};

qint64 stateCount(const MessageReport::DayCounts& d, int state)
{
    const qint64 counts[] = {d.delivered, d.undelivered, d.awaiting, d.queued};
    return counts[state];
}

// A caption set in bold on selection must not push its neighbours: each
// option keeps the width its bold caption needs.
void reserveBoldWidth(QButtonGroup* group)
{
    for (QAbstractButton* button : group->buttons()) {
        QFont bold = button->font();
        bold.setBold(true);
        const QString text = button->text();
        const int extra =
            QFontMetrics(bold).horizontalAdvance(text) - button->fontMetrics().horizontalAdvance(text);
        button->setMinimumWidth(button->sizeHint().width() + qMax(0, extra));
    }
}

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

    // The dates of today. The row numbers tell nothing the count does not.
    m_from->setDate(clock.now().date());
    m_to->setDate(clock.now().date());
    m_grid->verticalHeader()->hide();
    m_model = new QSqlQueryModel(this);
    m_grid->setModel(m_model);
    m_grid->installEventFilter(this);
    m_settings = SettingsKeys::userSettings();
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) { keepColumnWidth(column, width); });
    buildSummaryPanel();
    // Shown while S&HOW prepares a ledger too large for one short statement.
    m_fillProgress = new QProgressBar(this);
    m_fillProgress->setObjectName(QStringLiteral("backfillProgress"));
    m_fillProgress->setFormat(QStringLiteral("Preparing the report: %v of %m rows"));
    m_fillProgress->hide();
    m_ui->footer->addWidget(m_fillProgress);

    reserveBoldWidth(m_viewGroup);
    reserveBoldWidth(m_orderGroup);
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
    showSummary(c);
}

QString ReportWindow::widthKey(int column) const
{
    const QString caption = m_model->headerData(column, Qt::Horizontal).toString();
    return SettingsKeys::ReportColumns +
           (m_shown == View::Queued ? QStringLiteral("/queued/") : QStringLiteral("/sent/")) + caption;
}

void ReportWindow::keepColumnWidth(int column, int width)
{
    // Only the operator's own changes are kept, not the sizes set here.
    if (m_applyingWidths || !m_shown || width <= 0)
        return;
    m_settings->setValue(widthKey(column), width);
}

void ReportWindow::applyColumnWidths()
{
    const int columns = m_model->columnCount();
    const int hidden = m_shown == View::Queued ? MessageReport::QueuedKeyColumn : MessageReport::ReplyColumn;
    m_applyingWidths = true;
    for (int column = 0; column < columns; ++column)
        m_grid->setColumnHidden(column, column == hidden);

    // Numbers, stamps and states read whole: each column is as wide as the
    // longest such text it can hold, or its contents, or its caption.
    const QFontMetrics metrics = m_grid->fontMetrics();
    const int padding = 2 * m_grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_grid) + 14;
    const QString samples[] = {QStringLiteral("+000000000000"), QString(), QStringLiteral("000000000000000"),
                               QStringLiteral("0000-00-00 00:00:00"), QStringLiteral("W")};
    int used = 0;
    for (int column = 0; column < columns; ++column) {
        if (column == hidden || column == 1)
            continue;
        int width = m_settings->value(widthKey(column)).toInt();
        if (width <= 0) {
            const QString sample = column < int(std::size(samples)) ? samples[column] : QString();
            m_grid->resizeColumnToContents(column); // the rows fetched so far and the caption
            width = qMax(metrics.horizontalAdvance(sample) + padding, m_grid->columnWidth(column));
        }
        m_grid->setColumnWidth(column, width);
        used += width;
    }
    // The message takes what is left of the grid's width, the room of a
    // vertical scroll bar kept free: a long list shows one.
    int message = m_settings->value(widthKey(1)).toInt();
    if (message <= 0) {
        const int bar = m_grid->verticalScrollBar()->isVisible()
                            ? 0
                            : m_grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_grid);
        message =
            qMax(m_grid->viewport()->width() - bar - used - 2, metrics.horizontalAdvance(QString(30, u'M')));
    }
    m_grid->setColumnWidth(1, message);
    m_applyingWidths = false;
}

void ReportWindow::buildSummaryPanel()
{
    // The grid and the summary share the height; the operator moves the line between them.
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("reportSplitter"));
    splitter->setChildrenCollapsible(false);
    m_ui->mainLayout->replaceWidget(m_grid, splitter);
    splitter->addWidget(m_grid);

    auto* panel = new QWidget(splitter);
    panel->setObjectName(QStringLiteral("summaryPanel"));
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);

    m_chart = new QChart;
    m_chart->setObjectName(QStringLiteral("summaryChartModel"));
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chartView = new QChartView(m_chart, panel);
    m_chartView->setObjectName(QStringLiteral("summaryChart"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumHeight(220);
    layout->addWidget(m_chartView, 1);

    auto* side = new QGridLayout;
    m_summaryTitle = new QLabel(panel);
    m_summaryTitle->setObjectName(QStringLiteral("summaryRange"));
    m_summaryTitle->setWordWrap(true);
    side->addWidget(m_summaryTitle, 0, 0, 1, 2);
    int row = 1;
    const auto addTotal = [&](const char* name, const QString& caption) {
        auto* label = new QLabel(caption + u':', panel);
        auto* value = new QLabel(QStringLiteral("0"), panel);
        value->setObjectName(QLatin1String(name));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("00 000 000")));
        side->addWidget(label, row, 0);
        side->addWidget(value, row, 1);
        m_totalLabels << value;
        ++row;
    };
    for (const SummaryState& state : States)
        addTotal(state.name, state.caption);
    addTotal("totalAll", QStringLiteral("All"));
    QFont bold = m_totalLabels.back()->font();
    bold.setBold(true);
    m_totalLabels.back()->setFont(bold);
    side->setRowStretch(row++, 1);
    m_exportRowsButton = new QPushButton(QStringLiteral("Export rows (CSV)..."), panel);
    m_exportRowsButton->setObjectName(QStringLiteral("exportRowsButton"));
    m_exportChartButton = new QPushButton(QStringLiteral("Save chart (PNG)..."), panel);
    m_exportChartButton->setObjectName(QStringLiteral("exportChartButton"));
    side->addWidget(m_exportRowsButton, row++, 0, 1, 2);
    side->addWidget(m_exportChartButton, row++, 0, 1, 2);
    layout->addLayout(side);
    splitter->addWidget(panel);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    connect(m_exportRowsButton, &QPushButton::clicked, this, [this] { exportRows().then([] {}); });
    connect(m_exportChartButton, &QPushButton::clicked, this, &ReportWindow::exportChart);
}

std::pair<QDate, QDate> ReportWindow::summaryRange(const MessageReport::Criteria& c)
{
    if (c.byDate)
        return {c.from, c.to};
    return {c.to.addDays(-29), c.to};
}

void ReportWindow::showSummary(const MessageReport::Criteria& criteria)
{
    const auto [asked, to] = summaryRange(criteria);
    const QDate from = to < asked ? asked : MessageReport::summaryStart(asked, to);
    try {
        m_summary = MessageReport::summary(m_store, from, to);
    } catch (const StoreError& e) {
        m_summary = {};
        reportFailure(QStringLiteral("The summary cannot be shown"), e.text());
    }
    const QString format = QStringLiteral("dd/MM/yyyy");
    m_summaryTitle->setText(
        to < from
            ? QStringLiteral("No days: the first date is after the last.")
            : QStringLiteral("Messages per day\n%1 to %2").arg(from.toString(format), to.toString(format)));

    m_chart->removeAllSeries();
    for (QAbstractAxis* axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    auto* series = new QStackedBarSeries;
    QStringList days;
    for (const MessageReport::DayCounts& d : m_summary.days)
        days << d.day.toString(QStringLiteral("dd/MM"));
    qint64 highest = 0;
    for (const MessageReport::DayCounts& d : m_summary.days)
        highest = qMax(highest, d.total());
    for (int state = 0; state < int(std::size(States)); ++state) {
        auto* set = new QBarSet(States[state].caption);
        set->setColor(States[state].colour);
        set->setBorderColor(States[state].colour);
        for (const MessageReport::DayCounts& d : m_summary.days)
            *set << double(stateCount(d, state));
        series->append(set);
    }
    series->setBarWidth(0.8);
    m_chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(days);
    if (days.size() > 14)
        x->setLabelsAngle(-90);
    auto* y = new QValueAxis;
    y->setRange(0, double(qMax<qint64>(highest, 4)));
    y->setLabelFormat(QStringLiteral("%d"));
    y->applyNiceNumbers();
    m_chart->addAxis(x, Qt::AlignBottom);
    m_chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);

    const MessageReport::DayCounts& t = m_summary.totals;
    const qint64 totals[] = {t.delivered, t.undelivered, t.awaiting, t.queued, t.total()};
    for (int i = 0; i < m_totalLabels.size(); ++i)
        m_totalLabels[i]->setText(QLocale().toString(totals[i]));
}

QCoro::Task<> ReportWindow::exportRows()
{
    if (!m_shown) {
        Prompt::current().message(this, windowTitle(),
                                  QStringLiteral("Press S&HOW first: there are no rows to export."),
                                  Prompt::Icon::Information);
        co_return;
    }
    const QString path =
        Prompt::current().saveFileName(this, QStringLiteral("Export the listed rows"),
                                       QStringLiteral("CSV files (*.csv)"), QStringLiteral("report.csv"));
    if (path.isEmpty())
        co_return;

    QPointer<ReportWindow> self(this);
    const MessageReport::Criteria criteria = m_shownCriteria;
    QList<int> columns;
    QStringList captions;
    for (int column = 0; column < m_model->columnCount(); ++column) {
        if (m_grid->isColumnHidden(column))
            continue;
        columns << column;
        captions << m_model->headerData(column, Qt::Horizontal).toString();
    }
    m_exportRowsButton->setEnabled(false);
    QSaveFile file(path);
    QString failure;
    qint64 written = 0;
    try {
        if (!file.open(QIODevice::WriteOnly))
            throw StoreError(-1, file.errorString());
        file.write(MessageReport::csvLine(captions).toUtf8());
        // The same statement as the list, read once; the screen stays live
        // between batches, so a large ledger does not freeze it.
        QSqlQuery rows = MessageReport::open(m_store, MessageReport::listStatement(criteria), false);
        QStringList fields;
        while (rows.next()) {
            fields.clear();
            for (const int column : columns)
                fields << rows.value(column).toString();
            file.write(MessageReport::csvLine(fields).toUtf8());
            if (++written % 2000 == 0) {
                co_await QCoro::sleepFor(std::chrono::milliseconds(0));
                if (!self)
                    co_return; // the unfinished file is discarded
            }
        }
        if (rows.lastError().isValid())
            throw StoreError::fromSql(rows.lastError());
        if (!file.commit())
            throw StoreError(-1, file.errorString());
    } catch (const StoreError& e) {
        failure = e.text();
    }
    m_exportRowsButton->setEnabled(true);
    if (!failure.isEmpty()) {
        reportFailure(QStringLiteral("The rows cannot be exported"), failure);
        co_return;
    }
    Prompt::current().message(this, windowTitle(),
                              QStringLiteral("%1 rows written to %2").arg(written).arg(path),
                              Prompt::Icon::Information);
}

void ReportWindow::exportChart()
{
    const QString path = Prompt::current().saveFileName(this, QStringLiteral("Save the chart"),
                                                        QStringLiteral("PNG pictures (*.png)"),
                                                        QStringLiteral("report-chart.png"));
    if (path.isEmpty())
        return;
    if (!m_chartView->grab().save(path, "PNG"))
        reportFailure(QStringLiteral("The chart cannot be saved"), path);
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

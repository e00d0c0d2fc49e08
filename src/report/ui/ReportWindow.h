#pragma once

#include "common/Clock.h"
#include "report/ReportQuery.h"

#include <QCoroTask>
#include <QWidget>
#include <memory>
#include <optional>

class EngineContext;
class QButtonGroup;
class QChart;
class QChartView;
class QSettings;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSqlQueryModel;
class QTableView;
class Store;
namespace Ui {
class ReportWindow;
}

// The report screen: queued messages, or sent ones by delivery state, with
// filters on the start of the number and on dates, a choice of order, the
// last delivery report of a sent message and the deletion of a queued one.
class ReportWindow : public QWidget
{
    Q_OBJECT
public:
    // The date boxes open on the clock's day.
    ReportWindow(Store& store, const Clock& clock, QWidget* parent = nullptr);
    ~ReportWindow() override;

    // What the controls select now.
    MessageReport::Criteria criteria() const;
    // The view of the list on show, if any.
    std::optional<MessageReport::View> shownView() const { return m_shown; }
    // The summary on show: the days of the chart and the totals beside it.
    const MessageReport::Summary& shownSummary() const { return m_summary; }
    // The days the summary covers for these criteria: the chosen dates when
    // the date filter is on, otherwise the 30 days up to the "To" date.
    static std::pair<QDate, QDate> summaryRange(const MessageReport::Criteria& criteria);
    // Ledger rows per statement of the back-fill that S&HOW runs first.
    void setBackfillChunkRows(int rows) { m_backfillChunkRows = rows; }

public Q_SLOTS:
    // "S&HOW": back-fills the ledger's queueing day, lists and counts.
    void showList();
    // Writes the rows of the list on show, all of them, with the captions
    // of the visible columns, to a CSV file the operator chooses.
    QCoro::Task<> exportRows();
    // Saves the summary chart as a PNG picture the operator chooses.
    void exportChart();

private:
    QCoro::Task<> fillThenList(MessageReport::Criteria c);
    void endFill();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseOrder(int index);
    void deleteCurrent();
    void showReply(int row);
    // Runs the criteria of the list on show again and keeps the current row.
    void reload(int row);
    void applyColumnWidths();
    QString widthKey(int column) const;
    void keepColumnWidth(int column, int width);
    void buildSummaryPanel();
    void showSummary(const MessageReport::Criteria& criteria);
    void reportFailure(const QString& what, const QString& text);

    std::unique_ptr<Ui::ReportWindow> m_ui;
    Store& m_store;
    QButtonGroup* m_viewGroup = nullptr;
    QButtonGroup* m_orderGroup = nullptr;
    QLineEdit* m_mobileEdit = nullptr;
    QCheckBox* m_byDate = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QGroupBox* m_orderFrame = nullptr;
    QPushButton* m_showButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    QTableView* m_grid = nullptr;
    QSqlQueryModel* m_model = nullptr;
    QLabel* m_countLabel = nullptr;
    QLabel* m_replyLabel = nullptr;
    QChartView* m_chartView = nullptr;
    QChart* m_chart = nullptr;
    QLabel* m_summaryTitle = nullptr;
    QList<QLabel*> m_totalLabels; // delivered, not delivered, awaiting, queued, all
    QPushButton* m_exportRowsButton = nullptr;
    QPushButton* m_exportChartButton = nullptr;
    std::unique_ptr<QSettings> m_settings;
    bool m_applyingWidths = false;
    MessageReport::Summary m_summary;

    std::optional<MessageReport::View> m_shown;
    MessageReport::Criteria m_shownCriteria;
    // The ledger rows up to this one have had their queueing day filled in
    // where their stamp allows it.
    qint64 m_backfilledUpTo = 0;
    int m_backfillChunkRows = MessageReport::BackfillChunkRows;
    bool m_filling = false;
    QProgressBar* m_fillProgress = nullptr;
};

// Registers the report under Screens::Report.
void registerReportScreens(EngineContext& context);

#pragma once

#include "common/Clock.h"
#include "report/ReportQuery.h"

#include <QWidget>
#include <memory>
#include <optional>

class EngineContext;
class QButtonGroup;
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
    // Ledger rows per statement of the back-fill that S&HOW runs first.
    void setBackfillChunkRows(int rows) { m_backfillChunkRows = rows; }

public Q_SLOTS:
    // "S&HOW": back-fills the ledger's queueing day, lists and counts.
    void showList();

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
    int twips(int value) const;
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

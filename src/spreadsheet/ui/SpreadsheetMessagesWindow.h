#pragma once

#include "common/Clock.h"

#include <QCoroTask>
#include <QWidget>

class EngineContext;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class Store;

// The spreadsheet messages screen: imports column A (numbers) and column B
// (texts) of a workbook's active sheet into a grid and queues one message
// per qualifying row, with one typed text for all rows or each row's own.
class SpreadsheetMessagesWindow : public QWidget
{
    Q_OBJECT
public:
    // clock: the time of the queueing stamps; it must outlive the window.
    SpreadsheetMessagesWindow(Store& store, const Clock& clock, QWidget* parent = nullptr);

    // "SMS From Excel": asks for a workbook and imports it.
    QCoro::Task<> chooseAndImport();
    // Imports a workbook into the grid; false when it cannot be read or
    // another import or send is running.
    QCoro::Task<bool> importWorkbook(QString path);
    // "Send SMS": queues the messages of the grid.
    QCoro::Task<> sendMessages();

    // An import or a send is running.
    bool isBusy() const { return m_busy; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void messageChanged();
    void rowTextChanged(bool ticked);
    QString boxText() const;
    void formatGrid();
    int twips(int value) const;

    Store& m_store;
    const Clock& m_clock;
    bool m_busy = false;

    QPushButton* m_importButton = nullptr;
    QCheckBox* m_perRow = nullptr;
    QPlainTextEdit* m_messageEdit = nullptr;
    QLabel* m_lengthLabel = nullptr;
    QLabel* m_selectedLabel = nullptr;
    QLabel* m_totalLabel = nullptr;
    QTableWidget* m_grid = nullptr;
    QPushButton* m_sendButton = nullptr;
    QPushButton* m_exitButton = nullptr;
};

// Registers the screen under Screens::SpreadsheetMessages.
void registerSpreadsheetScreens(EngineContext& context);

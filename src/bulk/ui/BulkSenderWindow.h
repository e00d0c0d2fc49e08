#pragma once

#include <QCoroTask>
#include <QWidget>
#include <memory>

class BulkSender;
class ClickableLabel;
class EngineContext;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
namespace Ui {
class BulkSenderWindow;
}

// The bulk sender ("SMS Utility"): one text to many numbers over the HTTP
// gateway, the account box with its balance, the contact groups and the
// contact import. The sending itself is BulkSender's; this screen only
// gathers what the operator chose and shows the outcome.
class BulkSenderWindow : public QWidget
{
    Q_OBJECT
public:
    explicit BulkSenderWindow(EngineContext& context, QWidget* parent = nullptr);
    ~BulkSenderWindow() override;

    // The balance timer's bound: fetch attempts that fail before it gives up.
    static constexpr int BalanceAttempts = 3;
    static constexpr int BalanceRetryMs = 5000;
    static constexpr int AccountChangeDelayMs = 500;

    // The number of operations (send, import, balance fetch) still running.
    int runningOperations() const { return m_running; }

    BulkSender& sender() { return *m_sender; }

    // The text to the numbers of the number box or to the
    // selected contacts; the "Send SMS" button is disabled meanwhile.
    QCoro::Task<> sendToRecipients();
    // The import panel's "Import": contacts or numbers from a file.
    QCoro::Task<> importFile();

public Q_SLOTS:
    // The contact groups and the selection in the contact list.
    void toggleGroupMode();
    void showGroupContacts();
    void updateSelectedCount();
    void applySelection(int index); // 0 unselect all, 1 select all, 2 invert
    void toggleDeleteButton();
    void deleteSelectedContacts();
    void openContactsWindow();
    // The import panel.
    void showImportPanel();
    void hideImportPanel();
    void importContacts();
    // "Send SMS", "NEW" and "E&XIT".
    void sendMessages();
    void startNewMessage();
    void exitWindow();
    // The account box and the earlier texts.
    void changeAccount();
    void useEarlierText();
    void refillGroups();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildLayout();
    void buildProgressRow();
    void showProgress(int done, int total);
    void fillAccounts();
    // The account box and the sender ids show the loaded profile, which the
    // console may have replaced since; not while a send runs, which keeps
    // its own account.
    void showLoadedAccount();
    // The sender ids and a fresh balance of the loaded profile.
    void showAccount();
    void fillEarlierTexts();
    void updatePartCounter();
    void limitMessage(int position, int removed, int added);
    QCoro::Task<> timerTick();

    // Counts a running operation; a close asked for meanwhile waits for it.
    class Running
    {
    public:
        explicit Running(BulkSenderWindow* screen);
        ~Running();
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        BulkSenderWindow* m_screen;
    };

    std::unique_ptr<Ui::BulkSenderWindow> m_ui;
    EngineContext& m_context;
    BulkSender* m_sender;
    int m_running = 0;
    int m_balanceGeneration = 0;
    bool m_closePending = false;
    int m_balanceFailures = 0;

    QComboBox* m_accountBox;
    QLabel* m_senderIdsLabel;
    QLabel* m_balanceLabel;
    QTimer* m_balanceTimer;
    QPlainTextEdit* m_numberBox;
    QPlainTextEdit* m_messageBox;
    QLabel* m_partCounterLabel;
    QComboBox* m_earlierTextBox;
    QListWidget* m_responseList;
    QProgressBar* m_sendProgress = nullptr;
    QLabel* m_sendProgressLabel = nullptr;
    QPushButton* m_cancelSendButton = nullptr;
    QPushButton* m_sendButton;
    QPushButton* m_newButton;
    QPushButton* m_exitButton;

    QCheckBox* m_groupCheck;
    QComboBox* m_groupBox;
    QFrame* m_contactsFrame;
    QListWidget* m_contactList;
    QFrame* m_selectionFrame;
    ClickableLabel* m_selectedLabel;
    QRadioButton* m_selectOptions[3];
    QCheckBox* m_deleteCheck;
    QPushButton* m_deleteButton;
    QPushButton* m_addContactButton;
    QPushButton* m_importContactsButton;
    QGroupBox* m_importPanel;
    QRadioButton* m_excelOption;
    QRadioButton* m_directSendOption;
    QLabel* m_groupNameLabel;
    QLineEdit* m_importGroupEdit;
    QPushButton* m_importButton;
};

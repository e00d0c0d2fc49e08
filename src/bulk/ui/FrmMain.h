#pragma once

#include <QCoroTask>
#include <QWidget>

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
class QPushButton;
class QRadioButton;
class QTimer;

// The bulk sender ("SMS Utility"): one text to many numbers over the HTTP
// gateway, the account box with its balance, the contact groups and the
// contact import. The sending itself is BulkSender's; this screen only
// gathers what the operator chose and shows the outcome.
class FrmMain : public QWidget
{
    Q_OBJECT
public:
    explicit FrmMain(EngineContext& context, QWidget* parent = nullptr);
    ~FrmMain() override;

    // The balance timer's bound: fetch attempts that fail before it gives up.
    static constexpr int BalanceAttempts = 3;
    static constexpr int BalanceRetryMs = 5000;
    static constexpr int AccountChangeDelayMs = 500;

    // The number of operations (send, import, balance fetch) still running.
    int runningOperations() const { return m_running; }

    BulkSender& sender() { return *m_sender; }

    // Send_SMS: the text to the numbers of the number box or to the
    // selected contacts; the "Send SMS" button is disabled meanwhile.
    QCoro::Task<> Send_SMS();
    // The import panel's "Import": contacts or numbers from a file.
    QCoro::Task<> importFile();

public Q_SLOTS:
    void Check1_Click();
    void ComGroup_Change();
    void List1_Click();
    void OpSELECT_Click(int index);
    void Check2_Click();
    void JeweledButton6_Click(); // delete the selected contacts
    void JeweledButton3_Click(); // open the contact screen
    void JeweledButton5_Click(); // show the import panel
    void Label11_Click();        // hide the import panel
    void JeweledButton1_Click(); // Send SMS
    void JeweledButton4_Click(); // Import
    void JeweledButton7_Click(); // NEW
    void JeweledButton2_Click(); // E&XIT
    void Combo1_Change();        // account change
    void Combo2_Click();         // earlier text
    void refillGroups();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildLayout();
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
        explicit Running(FrmMain* screen);
        ~Running();
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        FrmMain* m_screen;
    };

    EngineContext& m_context;
    BulkSender* m_sender;
    int m_running = 0;
    int m_balanceGeneration = 0;
    bool m_closePending = false;
    int m_balanceFailures = 0;

    QComboBox* Combo1;
    QLabel* Label3;
    QLabel* Lbbal1;
    QTimer* Timer1;
    QPlainTextEdit* Text1;
    QPlainTextEdit* tXTsms;
    QLabel* Lb1;
    QComboBox* Combo2;
    QListWidget* List2;
    QPushButton* JeweledButton1;
    QPushButton* JeweledButton7;
    QPushButton* JeweledButton2;

    QCheckBox* Check1;
    QComboBox* ComGroup;
    QFrame* Frame1;
    QListWidget* List1;
    QFrame* Frame10;
    ClickableLabel* Label11;
    QRadioButton* OpSELECT[3];
    QCheckBox* Check2;
    QPushButton* JeweledButton6;
    QPushButton* JeweledButton3;
    QPushButton* JeweledButton5;
    QGroupBox* Frame3;
    QRadioButton* OpExel;
    QRadioButton* Option2;
    QFrame* Frame4;
    QRadioButton* Option4;
    QRadioButton* Option3;
    QLabel* Label10;
    QLineEdit* TxtGrp1;
    QPushButton* JeweledButton4;
};

#pragma once

#include "core/ConsoleState.h"
#include "console/ConsoleTray.h"

#include <QCoroTask>
#include <QString>
#include <QWidget>
#include <memory>

class ClickableLabel;
class ConsoleSettings;
class Engine;
class EngineContext;
class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// How a console is set up beyond its engine: where its settings live and
// whether the desktop has a notification area. The program passes nothing;
// tests pass a temporary settings file and a fixed tray answer.
struct ConsoleOptions
{
    QString settingsFile; // empty: the per-user settings store
    ConsoleTray::Availability tray = ConsoleTray::Availability::Detect;
};

// The engine console: the main window of the engine. It starts and stops the
// engine's timer, keeps the auto-start and channel choices between runs,
// switches the gateway profile, opens the other screens and shows what the
// engine writes into the ConsoleState. It never computes an engine result
// itself.
//
// The engine must outlive the console: unloading the console stops it.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    static inline const QString DesignCaption = QStringLiteral("Telvora Software   -    SMS ENGINE");
    static inline const QString TrayTip = QStringLiteral("Telvora Software Sms Engine");
    static inline const QString BalloonTitle = QStringLiteral("Telvora Software");
    static inline const QString StartedText = QStringLiteral("SMS Engine Started.");
    static inline const QString StartText = QStringLiteral("SMS Engine Start.");
    static inline const QString StopText = QStringLiteral("SMS Engine Stop.");
    // Dispatch interval on the GSM modem channel, milliseconds.
    static constexpr int GsmInterval = 10000;

    Form2(EngineContext& context, Engine& engine, const ConsoleOptions& options = {},
          QWidget* parent = nullptr);
    ~Form2() override;

    // The window caption made at load: the design caption, ten blanks and
    // the program's revision number.
    static QString loadCaption();

    // Console load: runs once, before the console is first shown. Throws
    // StoreError when the user-name list cannot be read.
    void load();

    EngineContext& context() { return m_context; }
    Engine& engine() { return m_engine; }
    ConsoleTray& tray() { return *m_tray; }
    ConsoleSettings& settings() { return *m_settings; }
    QMenu* menu() const { return m_menu; }

    bool isRunning() const { return m_running; }
    bool isUnloaded() const { return m_unloaded; }

public Q_SLOTS:
    void startEngine();
    void stopEngine();
    // Exit: removes the icon, lets pending events run, unloads the console
    // and deletes the leftover "*.sm" files of the SMSQ folder. Asking again
    // while an exit is under way does nothing.
    QCoro::Task<> exitEngine();
    // Choosing a Combo1 entry: loads that profile. Returns false (after
    // telling the operator) when the load failed; the old profile stays.
    bool chooseProfile(const QString& userName);
    // "Show Main Window".
    void showConsole();
    // Unloads the console without the exit's file clean-up (the program
    // ending, the session closing).
    void unload();

Q_SIGNALS:
    // The links whose actions belong to the dispatch engine.
    void balanceRequested();
    void deleteRequested();
    void passwordChangeRequested();
    void recheckRequested();
    // The console has been unloaded (by Exit or otherwise); its owner may
    // delete it now.
    void unloaded();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    void connectState();
    void applyText(ConsoleState::Field field, const QString& value);
    void applyFlag(ConsoleState::Flag flag, bool on);
    void applyChannel(ConsoleState::Channel channel);

    void fillUserNames();
    void selectUserName(const QString& name);
    void onChannelSelected();
    void onActivated();
    void onTrayContext();
    void openScreen(const QString& name);
    void showDispatchInterval(int interval);
    QString gsmLine() const;
    void finishUnload();

    EngineContext& m_context;
    Engine& m_engine;
    std::unique_ptr<ConsoleSettings> m_settings;
    ConsoleTray* m_tray = nullptr;

    QWidget* m_content = nullptr;
    QPushButton* m_cmdStart = nullptr;
    QPushButton* m_cmdStop = nullptr;
    QPushButton* m_cmdExit = nullptr;
    QCheckBox* m_chAuto = nullptr;
    QRadioButton* m_opGsm = nullptr;
    QRadioButton* m_option2 = nullptr;
    QButtonGroup* m_channelGroup = nullptr;
    QComboBox* m_combo1 = nullptr;
    ClickableLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label3 = nullptr;
    ClickableLabel* m_label4 = nullptr;
    QLabel* m_lb1 = nullptr;
    QLabel* m_lb2 = nullptr;
    QLabel* m_lb3 = nullptr;
    QLabel* m_lb4 = nullptr;
    QLabel* m_lbMobile = nullptr;
    QLabel* m_lbMsg = nullptr;
    ClickableLabel* m_lbBal = nullptr;
    QLabel* m_lbBal1 = nullptr;
    ClickableLabel* m_lbReturn = nullptr;
    ClickableLabel* m_lbDelete = nullptr;
    QPushButton* m_jeweledButton1 = nullptr;
    QPlainTextEdit* m_text1 = nullptr;
    QPlainTextEdit* m_text2 = nullptr;

    QMenu* m_menu = nullptr;
    QAction* m_isSmsSender = nullptr;
    QAction* m_mnuShow = nullptr;
    QAction* m_mnuStart = nullptr;
    QAction* m_mnuStop = nullptr;
    QAction* m_singleSms = nullptr;
    QAction* m_excelSheet = nullptr;
    QAction* m_rpt = nullptr;
    QAction* m_mnuExit = nullptr;

    bool m_loaded = false;
    bool m_running = false;
    bool m_activatedOnce = false;
    bool m_exiting = false;
    bool m_unloading = false;
    bool m_unloaded = false;
    bool m_fillingNames = false;
    bool m_sessionClosing = false;
};

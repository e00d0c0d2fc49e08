#pragma once

#include "console/ConsoleTray.h"
#include "core/ConsoleState.h"

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
namespace Ui {
class ConsoleWindow;
}

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
class ConsoleWindow : public QWidget
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

    ConsoleWindow(EngineContext& context, Engine& engine, const ConsoleOptions& options = {},
                  QWidget* parent = nullptr);
    ~ConsoleWindow() override;

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
    // Choosing an entry of the profile box: loads that profile. Returns false (after
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
    void buildScreenRow();
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
    std::unique_ptr<Ui::ConsoleWindow> m_ui;
    ConsoleTray* m_tray = nullptr;

    QWidget* m_content = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    QCheckBox* m_autoStartCheck = nullptr;
    QRadioButton* m_gsmOption = nullptr;
    QRadioButton* m_internetOption = nullptr;
    QButtonGroup* m_channelGroup = nullptr;
    QComboBox* m_profileBox = nullptr;
    ClickableLabel* m_titleLabel = nullptr;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_senderIdsLabel = nullptr;
    ClickableLabel* m_recheckLink = nullptr;
    QLabel* m_startTimeLabel = nullptr;
    QLabel* m_sentCountLabel = nullptr;
    QLabel* m_lastAttemptLabel = nullptr;
    QLabel* m_counterLabel = nullptr;
    QLabel* m_mobileLabel = nullptr;
    QLabel* m_messageLabel = nullptr;
    ClickableLabel* m_balanceLink = nullptr;
    QLabel* m_balanceLabel = nullptr;
    ClickableLabel* m_passwordLink = nullptr;
    ClickableLabel* m_deleteLink = nullptr;
    QPushButton* m_singleMessageButton = nullptr;
    QPlainTextEdit* m_responseBox = nullptr;
    QPlainTextEdit* m_traceBox = nullptr;

    QLabel* m_noTrayNote = nullptr;

    QMenu* m_menu = nullptr;
    QAction* m_instantSenderAction = nullptr;
    QAction* m_showAction = nullptr;
    QAction* m_startAction = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_singleMessageAction = nullptr;
    QAction* m_spreadsheetAction = nullptr;
    QAction* m_reportAction = nullptr;
    QAction* m_exitAction = nullptr;

    bool m_loaded = false;
    bool m_running = false;
    bool m_activatedOnce = false;
    bool m_exiting = false;
    bool m_unloading = false;
    bool m_unloaded = false;
    bool m_fillingNames = false;
    bool m_sessionClosing = false;
};

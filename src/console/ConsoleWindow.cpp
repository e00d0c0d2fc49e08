#include "console/ConsoleWindow.h"

#include "common/ControlText.h"
#include "common/DateFormat.h"
#include "common/LogCategories.h"
#include "console/ConsoleSettings.h"
#include "console/ExitCleanup.h"
#include "core/EngineContext.h"
#include "core/ProfileLoader.h"
#include "dispatch/Engine.h"
#include "ui/ClickableLabel.h"
#include "ui/Prompt.h"
#include "ui/ScreenRegistry.h"

#include "ui_ConsoleWindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QFont>
#include <QFontDatabase>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSessionManager>
#include <QTimer>
#include <QToolButton>

#include <QCoroTimer>

#include <chrono>

#ifndef SMS_VERSION_REVISION
#define SMS_VERSION_REVISION 0
#endif

namespace {

// The picture of the console and of its tray icon: the program's icon (the
// one the menu shows) where Qt can draw SVG (libqt6svg6), else a
// painted speech bubble with "SMS".
QIcon consoleIcon()
{
    if (QImageReader::supportedImageFormats().contains("svg"))
        return QIcon(QStringLiteral(":/icons/smsengine.svg"));
    QIcon icon;
    for (const int size : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0x5f, 0xa8));
        const qreal m = size / 16.0;
        p.drawRoundedRect(QRectF(m, m, size - 2 * m, size * 0.72), 3 * m, 3 * m);
        QPolygonF tail;
        tail << QPointF(size * 0.25, size * 0.7) << QPointF(size * 0.22, size - m)
             << QPointF(size * 0.5, size * 0.7);
        p.drawPolygon(tail);
        p.setPen(Qt::white);
        QFont font;
        font.setBold(true);
        font.setPixelSize(qMax(5, int(size * 0.32)));
        p.setFont(font);
        p.drawText(QRectF(m, m, size - 2 * m, size * 0.72), Qt::AlignCenter, QStringLiteral("SMS"));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// The trace and the reply keep the classic CR LF line ends; the box shows
// them as plain line breaks.
QString forDisplay(const QString& shown)
{
    // The trace and the answer carry what the gateway or the modem sent.
    QString text = ControlText::escaped(shown);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QAction* menuEntry(QMenu* menu, const QString& name, const QString& caption)
{
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

} // namespace

ConsoleWindow::ConsoleWindow(EngineContext& context, Engine& engine, const ConsoleOptions& options,
                             QWidget* parent)
    : QWidget(parent), m_context(context), m_engine(engine),
      m_settings(std::make_unique<ConsoleSettings>(options.settingsFile)),
      m_ui(std::make_unique<Ui::ConsoleWindow>())
{
    setWindowTitle(DesignCaption);
    setWindowIcon(consoleIcon());

    m_tray = new ConsoleTray(options.tray, this);
    m_tray->setObjectName(QStringLiteral("ConsoleTray"));
    connect(m_tray, &ConsoleTray::contextRequested, this, &ConsoleWindow::onTrayContext);

    buildControls();
    buildMenu();
    buildScreenRow();

    // The design state: the HTTP channel selected, the engine stopped (its
    // timer at interval 0), every start and stop control enabled.
    m_internetOption->setChecked(true);
    m_context.console().setChannel(ConsoleState::Channel::Http);
    // A channel button that becomes selected, by a click or by the console
    // itself, and a click on the one already selected are handled alike.
    connect(m_channelGroup, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            onChannelSelected();
    });
    connect(m_channelGroup, &QButtonGroup::idClicked, this, [this](int) { onChannelSelected(); });
    connect(m_autoStartCheck, &QCheckBox::toggled, this, [this](bool on) { m_settings->setAutoStart(on); });

    connectState();

    // A session that ends closes the console for good instead of hiding it.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            m_sessionClosing = true;
            // Cancelled shutdowns come back to the normal close rule.
            QTimer::singleShot(0, this, [this] { m_sessionClosing = false; });
        });
    }
}

ConsoleWindow::~ConsoleWindow()
{
    // Unloading, however it happens, takes the icon away and stops the engine.
    m_tray->remove();
    m_engine.setInterval(0);
}

QString ConsoleWindow::loadCaption()
{
    return DesignCaption + QString(10, QLatin1Char(' ')) + QString::number(SMS_VERSION_REVISION);
}

void ConsoleWindow::buildControls()
{
    // The form shows the engine's numbers and message texts as plain text,
    // never as markup, and gives the title an arrow cursor: it is a hidden
    // door to the single message, not a link.
    m_ui->setupUi(this);
    m_content = m_ui->content;
    m_titleLabel = m_ui->Label1;
    m_singleMessageButton = m_ui->JeweledButton1;
    m_startTimeLabel = m_ui->Lb1;
    m_sentCountLabel = m_ui->LB2;
    m_gsmOption = m_ui->OpGSM;
    m_internetOption = m_ui->Option2;
    m_senderIdsLabel = m_ui->Label3;
    m_profileBox = m_ui->Combo1;
    m_autoStartCheck = m_ui->ChAuto;
    m_startButton = m_ui->CmdStart;
    m_stopButton = m_ui->CmdStop;
    m_exitButton = m_ui->CmdExit;
    m_mobileLabel = m_ui->LBmobile;
    m_deleteLink = m_ui->lbDelete;
    m_messageLabel = m_ui->Lbmsg;
    m_statusLabel = m_ui->Label2;
    m_lastAttemptLabel = m_ui->LB3;
    m_counterLabel = m_ui->LB4;
    m_passwordLink = m_ui->LbReturn;
    m_balanceLink = m_ui->Lbbal;
    m_balanceLabel = m_ui->Lbbal1;
    m_recheckLink = m_ui->Label4;
    m_responseBox = m_ui->Text1;
    m_traceBox = m_ui->Text2;

    // Sizes that follow the fonts of the desktop.
    QFont big = m_titleLabel->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    m_titleLabel->setFont(big);
    m_messageLabel->setMinimumHeight(m_messageLabel->fontMetrics().lineSpacing() * 2);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_responseBox->setFont(fixed);
    m_traceBox->setFont(fixed);
    m_responseBox->setFixedHeight(m_responseBox->fontMetrics().lineSpacing() * 3 + 12);
    // A whole sending tick (about twelve lines) stays in view.
    m_traceBox->setMinimumHeight(m_traceBox->fontMetrics().lineSpacing() * 12 + 12);
    // Links and labels that come and go keep their place, so the controls
    // beside them never move.
    for (QWidget* w : {static_cast<QWidget*>(m_senderIdsLabel), static_cast<QWidget*>(m_passwordLink),
                       static_cast<QWidget*>(m_balanceLink)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }

    m_channelGroup = new QButtonGroup(this);
    m_channelGroup->addButton(m_gsmOption, 0);
    m_channelGroup->addButton(m_internetOption, 1);

    connect(m_startButton, &QPushButton::clicked, this, &ConsoleWindow::startEngine);
    connect(m_stopButton, &QPushButton::clicked, this, &ConsoleWindow::stopEngine);
    connect(m_exitButton, &QPushButton::clicked, this, [this] { exitEngine().then([] {}); });
    connect(m_profileBox, &QComboBox::activated, this,
            [this](int index) { chooseProfile(m_profileBox->itemText(index)); });
    connect(m_profileBox, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        if (!m_fillingNames)
            m_context.console().setText(ConsoleState::Field::UserName, text);
    });
    connect(m_titleLabel, &ClickableLabel::clicked, m_singleMessageButton, &QWidget::show);
    connect(m_singleMessageButton, &QPushButton::clicked, this, [this] {
        openScreen(Screens::SingleMessage);
        m_singleMessageButton->hide();
    });
    connect(m_balanceLink, &ClickableLabel::clicked, this, &ConsoleWindow::balanceRequested);
    connect(m_deleteLink, &ClickableLabel::clicked, this, &ConsoleWindow::deleteRequested);
    connect(m_passwordLink, &ClickableLabel::clicked, this, &ConsoleWindow::passwordChangeRequested);
    connect(m_recheckLink, &ClickableLabel::clicked, this, &ConsoleWindow::recheckRequested);
}

void ConsoleWindow::buildMenu()
{
    // The icon's pop-up menu; it never shows as a menu bar.
    m_menu = new QMenu(QStringLiteral("Mnu"), this);
    m_menu->setObjectName(QStringLiteral("Mnu"));
    m_instantSenderAction =
        menuEntry(m_menu, QStringLiteral("Ismssender"), QStringLiteral("Instant SMS Sender"));
    m_showAction = menuEntry(m_menu, QStringLiteral("mnuShow"), QStringLiteral("Show Main Window"));
    m_startAction = menuEntry(m_menu, QStringLiteral("mnuStart"), QStringLiteral("&Start Sms Engine"));
    m_stopAction = menuEntry(m_menu, QStringLiteral("mnuStop"), QStringLiteral("S&top Sms Engone"));
    m_singleMessageAction = menuEntry(m_menu, QStringLiteral("singleSMS"), QStringLiteral("Single SMS"));
    m_spreadsheetAction =
        menuEntry(m_menu, QStringLiteral("excelsheet"), QStringLiteral("Sms From ExcelSheet"));
    m_reportAction = menuEntry(m_menu, QStringLiteral("rpt"), QStringLiteral("Report Window"));
    m_exitAction = menuEntry(m_menu, QStringLiteral("mnuExit"), QStringLiteral("Exit"));

    connect(m_instantSenderAction, &QAction::triggered, this, [this] { openScreen(Screens::BulkSender); });
    connect(m_showAction, &QAction::triggered, this, &ConsoleWindow::showConsole);
    connect(m_startAction, &QAction::triggered, this, &ConsoleWindow::startEngine);
    connect(m_stopAction, &QAction::triggered, this, &ConsoleWindow::stopEngine);
    connect(m_singleMessageAction, &QAction::triggered, this, [this] { openScreen(Screens::SingleMessage); });
    connect(m_spreadsheetAction, &QAction::triggered, this,
            [this] { openScreen(Screens::SpreadsheetMessages); });
    connect(m_reportAction, &QAction::triggered, this, [this] { openScreen(Screens::Report); });
    connect(m_exitAction, &QAction::triggered, this, [this] { exitEngine().then([] {}); });
}

void ConsoleWindow::buildScreenRow()
{
    // The screens of the icon's menu, also on the console itself: on a
    // desktop without a notification area that menu never opens.
    auto* row = new QWidget(this);
    row->setObjectName(QStringLiteral("screensRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 6, 12, 0);
    const std::pair<const char*, QAction*> entries[] = {{"screenBulkSender", m_instantSenderAction},
                                                        {"screenSingleMessage", m_singleMessageAction},
                                                        {"screenSpreadsheet", m_spreadsheetAction},
                                                        {"screenReport", m_reportAction}};
    for (const auto& [name, action] : entries) {
        auto* button = new QToolButton(row);
        button->setObjectName(QLatin1String(name));
        button->setDefaultAction(action);
        button->setAutoRaise(false);
        layout->addWidget(button);
    }
    layout->addStretch(1);
    m_noTrayNote =
        new QLabel(QStringLiteral("No notification area on this desktop: the console stays open."), this);
    m_noTrayNote->setObjectName(QStringLiteral("noTrayNote"));
    m_noTrayNote->setStyleSheet(QStringLiteral("color: #8a5a00;"));
    m_noTrayNote->setContentsMargins(12, 0, 12, 0);
    m_noTrayNote->hide();
    m_ui->outerLayout->insertWidget(0, row);
    m_ui->outerLayout->insertWidget(1, m_noTrayNote);
}

void ConsoleWindow::connectState()
{
    ConsoleState& state = m_context.console();
    const auto fields = {ConsoleState::Field::Trace,       ConsoleState::Field::Response,
                         ConsoleState::Field::Title,       ConsoleState::Field::Mobile,
                         ConsoleState::Field::Message,     ConsoleState::Field::Status,
                         ConsoleState::Field::LastAttempt, ConsoleState::Field::Counter,
                         ConsoleState::Field::Balance,     ConsoleState::Field::DeleteTag};
    for (const ConsoleState::Field field : fields)
        applyText(field, state.text(field));
    const auto flags = {ConsoleState::Flag::RecheckVisible, ConsoleState::Flag::DeleteVisible,
                        ConsoleState::Flag::DeleteEnabled, ConsoleState::Flag::WindowEnabled};
    for (const ConsoleState::Flag flag : flags)
        applyFlag(flag, state.flag(flag));
    connect(&state, &ConsoleState::textChanged, this, &ConsoleWindow::applyText);
    connect(&state, &ConsoleState::flagChanged, this, &ConsoleWindow::applyFlag);
    connect(&state, &ConsoleState::channelChanged, this, &ConsoleWindow::applyChannel);
}

void ConsoleWindow::applyText(ConsoleState::Field field, const QString& value)
{
    switch (field) {
    case ConsoleState::Field::Trace: {
        m_traceBox->setPlainText(forDisplay(value));
        QScrollBar* bar = m_traceBox->verticalScrollBar();
        bar->setValue(bar->maximum());
        break;
    }
    case ConsoleState::Field::Response:
        m_responseBox->setPlainText(forDisplay(value));
        break;
    case ConsoleState::Field::Title:
        setWindowTitle(value.isEmpty() ? DesignCaption : value);
        break;
    case ConsoleState::Field::Mobile:
        m_mobileLabel->setText(value);
        break;
    case ConsoleState::Field::Message:
        m_messageLabel->setText(value);
        break;
    case ConsoleState::Field::Status:
        m_statusLabel->setText(value);
        break;
    case ConsoleState::Field::LastAttempt:
        m_lastAttemptLabel->setText(value);
        break;
    case ConsoleState::Field::Counter:
        m_counterLabel->setText(value);
        break;
    case ConsoleState::Field::Balance:
        m_balanceLabel->setText(value);
        break;
    case ConsoleState::Field::DeleteTag:
        // The number whose queued messages "Delete this SMS" removes.
        m_deleteLink->setProperty("Tag", value);
        m_deleteLink->setToolTip(value.isEmpty() ? QString()
                                                 : QStringLiteral("Queued messages to %1").arg(value));
        break;
    case ConsoleState::Field::UserName:
        if (!m_fillingNames && m_profileBox->currentText() != value)
            selectUserName(value);
        break;
    }
}

void ConsoleWindow::applyFlag(ConsoleState::Flag flag, bool on)
{
    switch (flag) {
    case ConsoleState::Flag::RecheckVisible:
        m_recheckLink->setVisible(on);
        break;
    case ConsoleState::Flag::DeleteVisible:
        m_deleteLink->setVisible(on);
        break;
    case ConsoleState::Flag::DeleteEnabled:
        m_deleteLink->setEnabled(on);
        break;
    case ConsoleState::Flag::WindowEnabled:
        // The window's controls; the icon's menu stays usable so that the
        // operator can always exit.
        m_content->setEnabled(on);
        break;
    }
}

void ConsoleWindow::applyChannel(ConsoleState::Channel channel)
{
    QRadioButton* button = channel == ConsoleState::Channel::Gsm ? m_gsmOption : m_internetOption;
    if (!button->isChecked())
        button->setChecked(true); // runs the channel handling
}

void ConsoleWindow::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    ConsoleState& state = m_context.console();

    // 1. The HTTP channel.
    m_internetOption->setChecked(true);
    // 2. Mnu is only ever a pop-up menu; the recheck link starts hidden.
    state.setFlag(ConsoleState::Flag::RecheckVisible, false);
    // 3. Start time and message counter.
    m_startTimeLabel->setText(QStringLiteral("Engine Start Time :") +
                              DateFormat::consoleTime(m_context.clock().now()));
    m_sentCountLabel->setText(QStringLiteral("Total Sms Sent : ") +
                              QString::number(m_context.profile().smsId));
    // 4. The tray icon and its first balloon.
    m_tray->add(windowIcon(), TrayTip);
    m_tray->showBalloon(BalloonTitle, StartedText);
    // Told once, at load: where the icon cannot show, the console stays a
    // normal window and its own row opens every screen.
    m_noTrayNote->setVisible(!m_tray->available());
    // 5. The caption with the revision number.
    state.setText(ConsoleState::Field::Title, loadCaption());
    // 6. Auto-start as stored.
    m_autoStartCheck->setChecked(m_settings->autoStart());
    // 7. The modem exchange takes the modem port from the context when it
    //    opens the port; nothing to hand over here.
    // 8. The channel last chosen.
    if (m_settings->gsmChannel()) {
        m_gsmOption->setChecked(true);
        m_passwordLink->hide();
    } else {
        m_internetOption->setChecked(true);
        m_passwordLink->show();
    }
    // 9. The profile names, with the loaded one selected.
    fillUserNames();
    // 10. Auto-start.
    if (m_autoStartCheck->isChecked())
        startEngine();
}

void ConsoleWindow::fillUserNames()
{
    m_fillingNames = true;
    try {
        m_profileBox->clear();
        QSqlQuery q = m_context.store().query(QStringLiteral(" select UName from config "));
        while (q.next())
            m_profileBox->addItem(q.value(0).toString());
    } catch (...) {
        m_fillingNames = false;
        throw;
    }
    m_fillingNames = false;
    selectUserName(m_context.profile().userName);
}

void ConsoleWindow::selectUserName(const QString& name)
{
    const int index = m_profileBox->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        m_profileBox->setCurrentIndex(index);
    m_context.console().setText(ConsoleState::Field::UserName, m_profileBox->currentText());
}

void ConsoleWindow::startEngine()
{
    if (m_unloaded)
        return;
    // 1.
    m_passwordLink->hide();
    // 2. The modem is paced at ten seconds; the profile keeps this until it
    //    is loaded again.
    if (m_gsmOption->isChecked())
        m_context.profile().interval = GsmInterval;
    // 3.
    m_balanceLink->hide();
    // 4.
    const int interval = m_context.profile().interval;
    m_engine.setInterval(interval);
    showDispatchInterval(interval);
    // 5.
    m_startButton->setEnabled(false);
    m_stopButton->setEnabled(true);
    m_stopAction->setEnabled(true);
    m_startAction->setEnabled(false);
    // 6.
    m_tray->changeTip(QStringLiteral("Start"));
    m_tray->showBalloon(BalloonTitle, StartText);
    // 7.
    m_gsmOption->setEnabled(false);
    m_internetOption->setEnabled(false);
    m_profileBox->setEnabled(false);
    m_context.console().setFlag(ConsoleState::Flag::RecheckVisible, false);
    m_running = true;
}

void ConsoleWindow::stopEngine()
{
    if (m_unloaded)
        return;
    // 1. The password link belongs to the HTTP gateway: it comes back only
    //    when that channel is selected.
    m_passwordLink->setVisible(m_internetOption->isChecked());
    // 2.
    m_engine.setInterval(0);
    // 3.
    m_stopButton->setEnabled(false);
    m_startButton->setEnabled(true);
    m_startAction->setEnabled(true);
    m_stopAction->setEnabled(false);
    // 4.
    m_balanceLink->show();
    // 5.
    m_tray->changeTip(QStringLiteral("Stop"));
    m_tray->showBalloon(BalloonTitle, StopText);
    // 6.
    m_gsmOption->setEnabled(true);
    m_internetOption->setEnabled(true);
    m_profileBox->setEnabled(true);
    m_context.console().setFlag(ConsoleState::Flag::RecheckVisible, false);
    m_running = false;
}

void ConsoleWindow::showDispatchInterval(int interval)
{
    // A profile without a positive interval starts the engine without any
    // tick; say so where the engine's status shows, since no tick will.
    if (interval <= 0)
        m_context.console().setText(
            ConsoleState::Field::Status,
            QStringLiteral("Engine not ticking: dispatch interval %1 ms").arg(interval));
}

QCoro::Task<> ConsoleWindow::exitEngine()
{
    if (m_exiting || m_unloaded)
        co_return;
    m_exiting = true;
    QPointer<ConsoleWindow> self(this);
    const QString home = m_context.programFolder();

    // 1.
    m_tray->remove();
    // 2. Let what is pending (a click, a tick's write) run, twice.
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    // A tick in the middle of a send finishes first, so that a message the
    // gateway has taken is recorded before the engine goes away.
    if (self) {
        m_engine.setInterval(0);
        co_await m_engine.waitUntilIdle();
    }
    // 3.
    if (self)
        self->unload();
    // 4.
    ExitCleanup::deleteQueueLeftovers(home);
}

bool ConsoleWindow::chooseProfile(const QString& userName)
{
    const QString previous = m_context.profile().userName;
    try {
        m_context.loadProfile(userName);
    } catch (const ProfileNotFound&) {
        // The list was read before the profile went away: tell the operator,
        // keep the loaded profile and read the names again.
        Prompt::current().message(this, QString(), ProfileLoader::NotFoundMessage, Prompt::Icon::Critical);
        try {
            fillUserNames();
        } catch (const StoreError&) {
            selectUserName(previous);
        }
        return false;
    } catch (const StoreError& e) {
        qCWarning(lcUi).noquote() << "the gateway profile" << userName << "cannot be loaded:" << e.text();
        Prompt::current().message(this, QString(),
                                  QStringLiteral("The gateway profile %1 cannot be loaded:\n%2 (error %3)")
                                      .arg(userName, e.text())
                                      .arg(e.number()),
                                  Prompt::Icon::Critical);
        selectUserName(previous);
        return false;
    }
    m_senderIdsLabel->setText(gsmLine() + QStringLiteral("    CDMA : ") + m_context.profile().cdmaSid);
    return true;
}

QString ConsoleWindow::gsmLine() const
{
    return QStringLiteral(" GSM : ") + m_context.profile().gsmSid;
}

void ConsoleWindow::onChannelSelected()
{
    const bool gsm = m_gsmOption->isChecked();
    m_context.console().setChannel(gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
    m_settings->setGsmChannel(gsm);
    m_passwordLink->setVisible(!gsm);
    m_senderIdsLabel->setVisible(!gsm);
}

void ConsoleWindow::showConsole()
{
    if (m_unloaded)
        return;
    // Asked for by the operator: the first activation no longer hides it.
    m_activatedOnce = true;
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void ConsoleWindow::onActivated()
{
    const bool first = !m_activatedOnce;
    m_activatedOnce = true;
    m_senderIdsLabel->setText(gsmLine());
    // The console lives behind its tray icon: it steps aside the first time
    // it comes up. Without a notification area there would be no way back,
    // so it stays a normal window then.
    if (first && m_tray->available())
        hide();
}

void ConsoleWindow::onTrayContext()
{
    if (m_unloaded)
        return;
    // The console comes forward where it is on screen (a hidden console
    // stays hidden until "Show Main Window"), then the menu opens.
    if (isVisible()) {
        raise();
        activateWindow();
    }
    m_menu->popup(QCursor::pos());
}

void ConsoleWindow::openScreen(const QString& name)
{
    ScreenRegistry::instance().show(name);
}

bool ConsoleWindow::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate)
        onActivated();
    return handled;
}

void ConsoleWindow::closeEvent(QCloseEvent* event)
{
    if (m_unloading || m_sessionClosing) {
        // The program unloads the console, or the session ends.
        event->accept();
        finishUnload();
        return;
    }
    // The close box keeps the engine running: the console only steps aside,
    // behind its icon, or onto the task bar where there is no tray.
    event->ignore();
    if (m_tray->available())
        hide();
    else
        showMinimized();
}

void ConsoleWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloading = true;
    close();
    finishUnload();
}

void ConsoleWindow::finishUnload()
{
    if (m_unloaded)
        return;
    m_unloading = true;
    hide();
    m_tray->remove();
    m_engine.setInterval(0);
    m_running = false;
    m_unloaded = true;
    Q_EMIT unloaded();
}

#include "console/ConsoleActions.h"

#include "console/ConsoleWindow.h"
#include "core/EngineContext.h"
#include "core/EngineError.h"
#include "dispatch/Engine.h"
#include "dispatch/OperatorActions.h"
#include "ui/Prompt.h"

#include <QCoreApplication>
#include <QPointer>

namespace {
const QString PasswordTitle = QStringLiteral("Change Password ");

QString appTitle()
{
    return QCoreApplication::applicationName();
}

void showFailure(QWidget* parent, const QString& what, const std::exception& e)
{
    QString detail = QString::fromUtf8(e.what());
    if (const auto* engineError = dynamic_cast<const EngineError*>(&e))
        detail = QStringLiteral("%1 (error %2)").arg(engineError->text()).arg(engineError->number());
    Prompt::current().message(parent, QString(), what + QStringLiteral("\n") + detail,
                              Prompt::Icon::Critical);
}
} // namespace

ConsoleActions::ConsoleActions(ConsoleWindow& console, Engine& engine)
    : QObject(&console), m_console(console), m_engine(engine),
      m_actions(std::make_unique<OperatorActions>(engine))
{
    connect(&console, &ConsoleWindow::balanceRequested, this, [this] { displayBalance().then([] {}); });
    connect(&console, &ConsoleWindow::deleteRequested, this, [this] { deleteShownNumber().then([] {}); });
    connect(&console, &ConsoleWindow::passwordChangeRequested, this, &ConsoleActions::changePassword);
    connect(&console, &ConsoleWindow::recheckRequested, this, &ConsoleActions::recheck);
}

ConsoleActions::~ConsoleActions() = default;

QCoro::Task<> ConsoleActions::displayBalance()
{
    // The console (and this object with it) may be closed while the fetch
    // waits: nothing of it is touched afterwards then.
    QPointer<ConsoleActions> self(this);
    QPointer<QWidget> link = m_console.findChild<QWidget*>(QStringLiteral("Lbbal"));
    if (link)
        link->hide();
    try {
        co_await m_actions->displayBalance();
    } catch (const std::exception& e) {
        if (!self)
            co_return;
        showFailure(&m_console, QStringLiteral("The balance cannot be fetched."), e);
    }
    if (!self)
        co_return;
    // Shown again unless the engine was started meanwhile (it hides the link).
    if (link && !m_engine.isTicking())
        link->show();
}

QCoro::Task<> ConsoleActions::deleteShownNumber()
{
    if (m_deleting)
        co_return;
    // The number on show now: while the question is open a tick may move on
    // to another message, which the operator has not been asked about.
    const QString number = m_engine.context().console().text(ConsoleState::Field::DeleteTag);
    if (Prompt::current().question(&m_console, QString(),
                                   QStringLiteral("Are You Sure Want Delete This SMS ")) !=
        Prompt::Answer::Yes)
        co_return;
    m_deleting = true;
    // The wait for a running send may outlast the console (closed meanwhile).
    QPointer<ConsoleActions> self(this);
    try {
        co_await m_actions->deleteNumber(number);
    } catch (const std::exception& e) {
        if (!self)
            co_return;
        showFailure(&m_console, QStringLiteral("The message cannot be deleted."), e);
    }
    if (self)
        m_deleting = false;
}

void ConsoleActions::changePassword()
{
    Prompt& prompt = Prompt::current();
    QString oldPassword;
    if (!prompt.input(&m_console, PasswordTitle, QStringLiteral("Please Enter Your Old Password "),
                      oldPassword))
        oldPassword.clear();
    if (!m_actions->oldPasswordMatches(oldPassword)) {
        prompt.message(&m_console, QString(), QStringLiteral(" Old Password Mis-match "),
                       Prompt::Icon::Critical);
        return;
    }
    QString newPassword;
    if (!prompt.input(&m_console, PasswordTitle, QStringLiteral("Please Enter Your New Password "),
                      newPassword) ||
        newPassword.isEmpty())
        return;
    QString confirmation;
    if (!prompt.input(&m_console, PasswordTitle, QStringLiteral("Conform Password "), confirmation))
        return;
    if (m_actions->checkPasswordChange(oldPassword, newPassword, confirmation) !=
        OperatorActions::PasswordCheck::Ok)
        return;
    try {
        m_actions->changePassword(newPassword);
    } catch (const std::exception& e) {
        showFailure(&m_console, QStringLiteral("The password cannot be changed."), e);
        return;
    }
    prompt.message(&m_console, appTitle(),
                   QStringLiteral(" Password Changed .. !  Please Remember Password "),
                   Prompt::Icon::Information);
}

void ConsoleActions::recheck()
{
    try {
        m_actions->recheck();
    } catch (const std::exception& e) {
        showFailure(&m_console,
                    QStringLiteral("The undelivered messages cannot be put back into the report poll."), e);
        return;
    }
    Prompt::current().message(
        &m_console, appTitle(),
        QStringLiteral(
            " Prosses Complate All UnDiliverd SMS Recheck Report This Pross may Take Some Munite "),
        Prompt::Icon::Information);
}

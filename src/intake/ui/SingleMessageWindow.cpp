#include "intake/ui/SingleMessageWindow.h"

#include "core/EngineContext.h"
#include "intake/SingleMessage.h"
#include "ui/KeyFilterInstaller.h"
#include "ui/Prompt.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTextCursor>
#include <QTextDocument>
#include <limits>

namespace {
// The length of a text with its line breaks counted as CR LF.
qsizetype crlfLength(const QString& plain)
{
    return plain.size() + plain.count(u'\n');
}
} // namespace

SingleMessageWindow::SingleMessageWindow(EngineContext& context, QWidget* parent)
    : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Single Message"));

    auto* mobileLabel = new QLabel(QStringLiteral("Mobile No"), this);
    mobileLabel->setObjectName(QStringLiteral("Label1"));
    m_mobileEdit = new QLineEdit(this);
    m_mobileEdit->setObjectName(QStringLiteral("TxMOB"));
    m_mobileEdit->setMaxLength(SingleMessage::MaxNumberLength);
    // Keys go through the digit filter; the validator keeps pasted text to digits as well.
    m_mobileEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_mobileEdit));
    KeyFilterInstaller::install(m_mobileEdit,
                                KeyFilterInstaller::DigitsOnly | KeyFilterInstaller::EnterToTab);
    mobileLabel->setBuddy(m_mobileEdit);

    auto* messageLabel = new QLabel(QStringLiteral("Message"), this);
    messageLabel->setObjectName(QStringLiteral("Label2"));
    m_messageEdit = new QPlainTextEdit(this);
    m_messageEdit->setObjectName(QStringLiteral("TxMSG"));
    m_messageEdit->setTabChangesFocus(true);
    messageLabel->setBuddy(m_messageEdit);

    m_sendButton = new QPushButton(QStringLiteral("Send SMS"), this);
    m_sendButton->setObjectName(QStringLiteral("Command1"));
    m_sendButton->setEnabled(false);

    m_smsIdLabel = new QLabel(QStringLiteral("SMS ID"), this);
    m_smsIdLabel->setObjectName(QStringLiteral("Label3"));
    m_smsIdLabel->installEventFilter(this);
    m_smsIdEdit = new QLineEdit(QString::number(m_context.profile().smsId), this);
    m_smsIdEdit->setObjectName(QStringLiteral("TxSMSID"));
    m_smsIdEdit->setReadOnly(true);

    m_closeButton = new QPushButton(QStringLiteral("Close"), this);
    m_closeButton->setObjectName(QStringLiteral("Command2"));

    m_lengthLabel = new QLabel(this);
    m_lengthLabel->setObjectName(QStringLiteral("Label4"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(mobileLabel, 0, 0);
    grid->addWidget(m_mobileEdit, 0, 1);
    grid->addWidget(messageLabel, 1, 0, Qt::AlignTop);
    grid->addWidget(m_messageEdit, 1, 1);
    grid->addWidget(m_lengthLabel, 2, 1, Qt::AlignRight);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_sendButton);
    buttons->addStretch();
    buttons->addWidget(m_smsIdLabel);
    buttons->addWidget(m_smsIdEdit);
    buttons->addStretch();
    buttons->addWidget(m_closeButton);
    grid->addLayout(buttons, 3, 0, 1, 2);

    setTabOrder(m_mobileEdit, m_messageEdit);
    setTabOrder(m_messageEdit, m_sendButton);
    setTabOrder(m_sendButton, m_smsIdEdit);
    setTabOrder(m_smsIdEdit, m_closeButton);

    connect(m_mobileEdit, &QLineEdit::textChanged, this, &SingleMessageWindow::refresh);
    connect(m_messageEdit, &QPlainTextEdit::textChanged, this, &SingleMessageWindow::refresh);
    connect(m_messageEdit->document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { keepMessageWithinLimit(position, added); });
    connect(m_sendButton, &QPushButton::clicked, this, &SingleMessageWindow::sendSms);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
}

QString SingleMessageWindow::applicationTitle()
{
    return QCoreApplication::applicationName();
}

QString SingleMessageWindow::messageText() const
{
    QString text = m_messageEdit->toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

void SingleMessageWindow::refresh()
{
    m_lengthLabel->setText(SingleMessage::lengthCounter(crlfLength(m_messageEdit->toPlainText())));
    m_sendButton->setEnabled(SingleMessage::sendEnabled(m_mobileEdit->text(), m_messageEdit->toPlainText()));
}

void SingleMessageWindow::keepMessageWithinLimit(int position, int added)
{
    if (m_trimming)
        return;
    const QString plain = m_messageEdit->toPlainText();
    qsizetype over = crlfLength(plain) - SingleMessage::MaxMessageLength;
    if (over <= 0)
        return;
    // Take back the end of what was just typed or pasted, as much as needed.
    qsizetype end = qMin<qsizetype>(position + added, plain.size());
    qsizetype start = qMax<qsizetype>(position, 0);
    if (end <= start) {
        start = 0;
        end = plain.size();
    }
    qsizetype cutFrom = end;
    while (cutFrom > start && over > 0) {
        --cutFrom;
        over -= plain[cutFrom] == u'\n' ? 2 : 1;
    }
    if (over > 0) { // what was added does not suffice: cut the end of the text
        cutFrom = plain.size();
        end = plain.size();
        qsizetype excess = crlfLength(plain) - SingleMessage::MaxMessageLength;
        while (cutFrom > 0 && excess > 0) {
            --cutFrom;
            excess -= plain[cutFrom] == u'\n' ? 2 : 1;
        }
    }
    m_trimming = true;
    QTextCursor cursor(m_messageEdit->document());
    cursor.setPosition(static_cast<int>(cutFrom));
    cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    m_messageEdit->setTextCursor(cursor);
    m_trimming = false;
}

bool SingleMessageWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_smsIdLabel && event->type() == QEvent::MouseButtonRelease) {
        // A click on "SMS ID" lets the operator set the counter, for as long
        // as the screen is open.
        m_smsIdEdit->setReadOnly(false);
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

void SingleMessageWindow::sendSms()
{
    SingleMessage::Request request;
    request.number = m_mobileEdit->text();
    request.message = messageText();
    request.smsIdText = m_smsIdEdit->text();
    request.now = m_context.clock().now();

    // The texts as the click leaves them: the number trimmed, the lines joined.
    const QString trimmedNumber = request.number.trimmed();
    if (m_mobileEdit->text() != trimmedNumber)
        m_mobileEdit->setText(trimmedNumber);
    QString joined = request.message;
    joined.remove(QStringLiteral("\r\n"));
    if (messageText() != joined)
        m_messageEdit->setPlainText(joined);

    SingleMessage::Result result;
    try {
        result = SingleMessage::send(m_context.store(), m_context.profile(), request);
    } catch (const StoreError& e) {
        Prompt::current().message(
            this, applicationTitle(),
            QStringLiteral("The message was not queued.\nError %1 %2").arg(e.number()).arg(e.text()),
            Prompt::Icon::Critical);
        return;
    }

    switch (result.outcome) {
    case SingleMessage::Outcome::Queued:
        m_mobileEdit->clear();
        Prompt::current().message(this, applicationTitle(), SingleMessage::QueuedText,
                                  Prompt::Icon::Information);
        break;
    case SingleMessage::Outcome::NotQueued:
        break;
    case SingleMessage::Outcome::BadSmsId:
        Prompt::current().message(
            this, applicationTitle(),
            QStringLiteral("SMS ID must be a number from %1 to %2. The message was not queued.")
                .arg(std::numeric_limits<qint32>::min())
                .arg(std::numeric_limits<qint32>::max()),
            Prompt::Icon::Critical);
        break;
    case SingleMessage::Outcome::CounterAtLimit:
        Prompt::current().message(
            this, applicationTitle(),
            QStringLiteral("The SMS ID counter is at its largest value (%1) and cannot advance. "
                           "Set a smaller SMS ID; the message was not queued.")
                .arg(std::numeric_limits<qint32>::max()),
            Prompt::Icon::Critical);
        break;
    }
}

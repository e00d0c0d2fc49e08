#include "intake/ui/Form1.h"

#include "core/EngineContext.h"
#include "ui/KeyFilterInstaller.h"
#include "ui/Prompt.h"
#include "intake/SingleMessage.h"

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

Form1::Form1(EngineContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_clock([] { return QDateTime::currentDateTime(); })
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Single Message"));

    auto* mobileLabel = new QLabel(QStringLiteral("Mobile No"), this);
    mobileLabel->setObjectName(QStringLiteral("Label1"));
    m_mobile = new QLineEdit(this);
    m_mobile->setObjectName(QStringLiteral("TxMOB"));
    m_mobile->setMaxLength(SingleMessage::MaxNumberLength);
    // Keys go through the digit filter; the validator keeps pasted text to digits as well.
    m_mobile->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_mobile));
    KeyFilterInstaller::install(m_mobile, KeyFilterInstaller::DigitsOnly | KeyFilterInstaller::EnterToTab);
    mobileLabel->setBuddy(m_mobile);

    auto* messageLabel = new QLabel(QStringLiteral("Message"), this);
    messageLabel->setObjectName(QStringLiteral("Label2"));
    m_message = new QPlainTextEdit(this);
    m_message->setObjectName(QStringLiteral("TxMSG"));
    m_message->setTabChangesFocus(true);
    messageLabel->setBuddy(m_message);

    m_send = new QPushButton(QStringLiteral("Send SMS"), this);
    m_send->setObjectName(QStringLiteral("Command1"));
    m_send->setEnabled(false);

    m_smsIdLabel = new QLabel(QStringLiteral("SMS ID"), this);
    m_smsIdLabel->setObjectName(QStringLiteral("Label3"));
    m_smsIdLabel->installEventFilter(this);
    m_smsId = new QLineEdit(QString::number(m_context.profile().smsId), this);
    m_smsId->setObjectName(QStringLiteral("TxSMSID"));
    m_smsId->setReadOnly(true);

    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setObjectName(QStringLiteral("Command2"));

    m_counter = new QLabel(this);
    m_counter->setObjectName(QStringLiteral("Label4"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(mobileLabel, 0, 0);
    grid->addWidget(m_mobile, 0, 1);
    grid->addWidget(messageLabel, 1, 0, Qt::AlignTop);
    grid->addWidget(m_message, 1, 1);
    grid->addWidget(m_counter, 2, 1, Qt::AlignRight);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_send);
    buttons->addStretch();
    buttons->addWidget(m_smsIdLabel);
    buttons->addWidget(m_smsId);
    buttons->addStretch();
    buttons->addWidget(m_close);
    grid->addLayout(buttons, 3, 0, 1, 2);

    setTabOrder(m_mobile, m_message);
    setTabOrder(m_message, m_send);
    setTabOrder(m_send, m_smsId);
    setTabOrder(m_smsId, m_close);

    connect(m_mobile, &QLineEdit::textChanged, this, &Form1::refresh);
    connect(m_message, &QPlainTextEdit::textChanged, this, &Form1::refresh);
    connect(m_message->document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { keepMessageWithinLimit(position, added); });
    connect(m_send, &QPushButton::clicked, this, &Form1::sendSms);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
}

QString Form1::applicationTitle()
{
    return QCoreApplication::applicationName();
}

QString Form1::messageText() const
{
    QString text = m_message->toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

void Form1::refresh()
{
    m_counter->setText(SingleMessage::lengthCounter(crlfLength(m_message->toPlainText())));
    m_send->setEnabled(SingleMessage::sendEnabled(m_mobile->text(), m_message->toPlainText()));
}

void Form1::keepMessageWithinLimit(int position, int added)
{
    if (m_trimming)
        return;
    const QString plain = m_message->toPlainText();
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
    QTextCursor cursor(m_message->document());
    cursor.setPosition(static_cast<int>(cutFrom));
    cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    m_message->setTextCursor(cursor);
    m_trimming = false;
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_smsIdLabel && event->type() == QEvent::MouseButtonRelease) {
        // A click on "SMS ID" lets the operator set the counter, for as long
        // as the screen is open.
        m_smsId->setReadOnly(false);
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::sendSms()
{
    SingleMessage::Request request;
    request.number = m_mobile->text();
    request.message = messageText();
    request.smsIdText = m_smsId->text();
    request.now = m_clock();

    // The texts as the click leaves them: the number trimmed, the lines joined.
    const QString trimmedNumber = request.number.trimmed();
    if (m_mobile->text() != trimmedNumber)
        m_mobile->setText(trimmedNumber);
    QString joined = request.message;
    joined.remove(QStringLiteral("\r\n"));
    if (messageText() != joined)
        m_message->setPlainText(joined);

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
        m_mobile->clear();
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

#pragma once

#include <QWidget>

class EngineContext;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Single Message": the operator queues one message for one number.
// Controls (object names as the rest of the program knows them): TxMOB,
// TxMSG, Command1 "Send SMS", TxSMSID with Label3 "SMS ID", Command2
// "Close", Label4 (the length counter).
class SingleMessageWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SingleMessageWindow(EngineContext& context, QWidget* parent = nullptr);

    // The message as the screen holds it: its lines joined by CR LF.
    QString messageText() const;

    // The title of the screen's messages: the application's name.
    static QString applicationTitle();

public Q_SLOTS:
    // "Send SMS".
    void sendSms();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void keepMessageWithinLimit(int position, int added);

    EngineContext& m_context;
    QLineEdit* m_mobileEdit;
    QPlainTextEdit* m_messageEdit;
    QPushButton* m_sendButton;
    QLineEdit* m_smsIdEdit;
    QLabel* m_smsIdLabel;
    QPushButton* m_closeButton;
    QLabel* m_lengthLabel;
    bool m_trimming = false;
};

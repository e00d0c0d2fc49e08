#include "ScriptedPrompt.h"
#include "StoreFixture.h"
#include "intake/SingleMessage.h"
#include "intake/ui/IntakeScreens.h"
#include "intake/ui/SingleMessageWindow.h"
#include "ui/ScreenRegistry.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <limits>

using namespace Qt::StringLiterals;

namespace {
// The window over a store of three profiles, each with its own counter, while the context's counter
// stands at `counter`.
struct Screen : StoreFixture
{
    ScriptedPrompt prompt;
    std::unique_ptr<SingleMessageWindow> form;
    QLineEdit *mobile, *smsId;
    QPlainTextEdit* message;
    QPushButton* send;
    QLabel* counter;

    explicit Screen(int smsCounter = 42)
    {
        for (int i = 0; i < 3; ++i)
            addProfile(u"user%1"_s.arg(i), {{u"Smsid"_s, 10 + i}});
        context().profile().smsId = smsCounter;
        form = std::make_unique<SingleMessageWindow>(context());
        mobile = form->findChild<QLineEdit*>(u"TxMOB"_s);
        message = form->findChild<QPlainTextEdit*>(u"TxMSG"_s);
        send = form->findChild<QPushButton*>(u"Command1"_s);
        smsId = form->findChild<QLineEdit*>(u"TxSMSID"_s);
        counter = form->findChild<QLabel*>(u"Label4"_s);
    }
    void sendTo(const QString& number, const QString& text = u"Hi"_s)
    {
        mobile->setText(number);
        message->setPlainText(text);
        form->sendSms();
    }
    // The queue's size, the counter in use and the counters of the profiles.
    QString state()
    {
        return u"%1 queued, counter %2, profiles %3"_s.arg(count(u"Rsms"_s))
            .arg(context().profile().smsId)
            .arg(column(u"SELECT Smsid FROM config ORDER BY rowid"_s).join(u','));
    }
};
} // namespace

class TestSingleMessage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void counterFromText();
    void numberField();
    void messageLimit();
    void send_data();
    void send();
    void smsIdUnlock();
    void notQueued_data();
    void notQueued();
    void registeredScreen();
};

void TestSingleMessage::counterFromText()
{
    QStringList got;
    for (const char* text :
         {"  500.9 ", "-1.5", "2147483647", "2147483648", "-2147483649", "", "12ab", "inf"}) {
        bool over = false;
        const std::optional<qint32> value = SingleMessage::counterFromText(QString::fromLatin1(text), &over);
        got << (over ? u"out of range"_s : value ? QString::number(*value) : u"none"_s);
    }
    // Rounded down; what is not a number, or not a finite one, is none.
    QCOMPARE(got, (QStringList{"500", "-2", "2147483647", "out of range", "out of range", "none", "none",
                               "none"}));
}

void TestSingleMessage::numberField()
{
    Screen s;
    s.form->show();
    s.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.form.get()));
    s.mobile->setFocus();
    QTRY_VERIFY(s.mobile->hasFocus());
    QTest::keyClicks(s.mobile, u"9a8-7 6.5'"_s);
    QCOMPARE(s.mobile->text(), u"98765"_s);
    QTest::keyClicks(s.mobile, u"4321099"_s);
    QCOMPARE(s.mobile->text(), u"9876543210"_s);
    QTest::keyClick(s.mobile, Qt::Key_Backspace);
    // Enter moves on to the message and types nothing.
    QTest::keyClick(s.mobile, Qt::Key_Return);
    QTRY_VERIFY(s.message->hasFocus());
    QCOMPARE(s.mobile->text(), u"987654321"_s);
    QCOMPARE(s.message->toPlainText(), QString());
    // Pasted text is held to digits as well.
    s.mobile->clear();
    s.mobile->insert(u"98765 43210"_s);
    QCOMPARE(s.mobile->text(), QString());
}

void TestSingleMessage::messageLimit()
{
    Screen s;
    s.form->show();
    QTest::keyClicks(s.message, QString(170, u'x'));
    QCOMPARE(s.message->toPlainText(), QString(160, u'x'));
    QCOMPARE(s.counter->text(), u" 160/ 160"_s);

    // A paste keeps its beginning, the text before it stays.
    s.message->setPlainText(u"start "_s);
    s.message->moveCursor(QTextCursor::End);
    s.message->insertPlainText(QString(100, u'a') + QString(100, u'b'));
    QCOMPARE(s.message->toPlainText(), u"start "_s + QString(100, u'a') + QString(54, u'b'));

    // At 159 characters a line break (CR LF, two) no longer fits; a letter does.
    s.message->setPlainText(QString(159, u'y'));
    s.message->moveCursor(QTextCursor::End);
    QTest::keyClick(s.message, Qt::Key_Return);
    QCOMPARE(s.message->toPlainText(), QString(159, u'y'));
    QTest::keyClick(s.message, Qt::Key_Z);
    QCOMPARE(s.message->toPlainText(), QString(159, u'y') + u'z');
    s.message->setPlainText(u"a\nb"_s); // a line break counts as CR LF
    QCOMPARE(s.counter->text(), u" 4/ 160"_s);

    // Typed in the middle: the text after the cursor is kept.
    s.message->setPlainText(QString(80, u'a') + QString(80, u'c'));
    QTextCursor c = s.message->textCursor();
    c.setPosition(80);
    s.message->setTextCursor(c);
    QTest::keyClicks(s.message, u"bbb"_s);
    QCOMPARE(s.message->toPlainText(), QString(80, u'a') + QString(80, u'c'));
}

void TestSingleMessage::send_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enabled");   // the send button
    QTest::addColumn<QString>("stored"); // null: nothing queued
    const QString hi = u"Hi"_s;
    QTest::newRow("no number") << QString() << hi << false << QString();
    QTest::newRow("blanks only message") << u"9876543210"_s << u"     "_s << false << QString();
    QTest::newRow("line breaks only message") << u"9876543210"_s << u"\n\n"_s << false << QString();
    QTest::newRow("1000000000 refused") << u"1000000000"_s << hi << true << QString();
    QTest::newRow("1000000001 queued") << u"1000000001"_s << hi << true << hi;
    QTest::newRow("9999999999 queued") << u"9999999999"_s << hi << true << hi;
    QTest::newRow("ten characters starting with 0") << u"0999999999"_s << hi << true << QString();
    QTest::newRow("nine digits") << u"987654321"_s << hi << true << QString();
    QTest::newRow("three lines joined")
        << u"9876543210"_s << u"first\nsecond\nthird"_s << true << u"firstsecondthird"_s;
    const QString sql = u"It's '); DELETE FROM Rsms; --"_s;
    QTest::newRow("SQL-looking text") << u"9876543210"_s << sql << true << sql;
    QTest::newRow("blanks kept") << u"9876543210"_s << u"  Hi  "_s << true << u"  Hi  "_s;
}

void TestSingleMessage::send()
{
    QFETCH(QString, number);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(bool, enabled);
    const bool queued = !stored.isNull();
    Screen s;
    QVERIFY(!s.send->isEnabled());
    // Each field's changes apply the rule.
    s.message->setPlainText(typed);
    s.mobile->setText(number);
    QCOMPARE(s.send->isEnabled(), enabled);
    s.message->clear();
    s.message->setPlainText(typed);
    QCOMPARE(s.send->isEnabled(), enabled);
    QTest::mouseClick(s.send, Qt::LeftButton);
    // The stamp is the clock's 5 March 2024 14:05:09, on day 65 of the year.
    QCOMPARE(
        s.column(u"SELECT Mobile || '/' || RDtTM || '/' || urgent || '/' || typ || '/' || msg FROM Rsms"_s),
        queued ? QStringList{number + u"/05032465140509/0/0/"_s + stored} : QStringList{});
    QCOMPARE(s.state(), queued ? u"1 queued, counter 43, profiles 43,43,43"_s
                               : u"0 queued, counter 42, profiles 10,11,12"_s);
    QCOMPARE(s.mobile->text(), queued ? QString() : number);
    QCOMPARE(s.message->toPlainText(), queued ? stored : typed); // it stays for the next number, lines joined
    QCOMPARE(s.prompt.messageTexts(), queued ? QStringList{SingleMessage::QueuedText} : QStringList{});
    if (queued)
        QCOMPARE(s.prompt.messages[0].icon, Prompt::Icon::Information);
}

void TestSingleMessage::smsIdUnlock()
{
    Screen s;
    s.form->show();
    QVERIFY(s.smsId->isReadOnly());
    QTest::keyClicks(s.smsId, u"7"_s);
    QCOMPARE(s.smsId->text(), u"42"_s);
    QTest::mouseClick(s.form->findChild<QLabel*>(u"Label3"_s), Qt::LeftButton);
    QVERIFY(!s.smsId->isReadOnly());
    s.smsId->setText(u"500"_s);
    s.sendTo(u"9876543210"_s);
    QCOMPARE(s.state(), u"1 queued, counter 501, profiles 501,501,501"_s);
    QCOMPARE(s.smsId->text(), u"500"_s);
    QVERIFY(!s.smsId->isReadOnly()); // stays unlocked
    // Sent again: the box still says 500, so the counter is set to 500 again.
    s.sendTo(u"9876543211"_s);
    QCOMPARE(s.state(), u"2 queued, counter 501, profiles 501,501,501"_s);
    // A number that is not queued still takes the box's value into the counter.
    s.smsId->setText(u"700"_s);
    s.sendTo(u"987654321"_s);
    QCOMPARE(s.state(), u"2 queued, counter 700, profiles 501,501,501"_s);
    // A box that holds no number leaves the counter to advance.
    s.smsId->setText(u"abc"_s);
    s.sendTo(u"9876543210"_s);
    QCOMPARE(s.state(), u"3 queued, counter 701, profiles 701,701,701"_s);
}

void TestSingleMessage::notQueued_data()
{
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("storeFails");
    QTest::addColumn<int>("counterAfter");
    QTest::addColumn<QString>("note");
    const int max = std::numeric_limits<int>::max();
    QTest::newRow("counter at the largest value") << max << QString() << false << max << u"not queued"_s;
    QTest::newRow("box set to the largest value") << 42 << u"2147483647"_s << false << max << u"not queued"_s;
    QTest::newRow("box beyond 32 bits") << 42 << u"3000000000"_s << false << 42 << u"not queued"_s;
    QTest::newRow("store failure") << 42 << QString() << true << 42 << u"config locked"_s;
}

void TestSingleMessage::notQueued()
{
    QFETCH(int, counter);
    QFETCH(QString, box);
    QFETCH(bool, storeFails);
    QFETCH(int, counterAfter);
    QFETCH(QString, note);
    Screen s(counter);
    if (storeFails) // the queue row goes back with the failed update
        s.store().exec(
            u"CREATE TRIGGER stuck BEFORE UPDATE ON config BEGIN SELECT RAISE(ABORT, 'config locked'); END"_s);
    if (!box.isNull())
        s.smsId->setText(box);
    s.sendTo(u"9876543210"_s);
    QCOMPARE(s.state(), u"0 queued, counter %1, profiles 10,11,12"_s.arg(counterAfter));
    QCOMPARE(s.mobile->text(), u"9876543210"_s);
    QCOMPARE(s.prompt.messages.size(), 1);
    QCOMPARE(s.prompt.messages[0].icon, Prompt::Icon::Critical);
    QVERIFY2(s.prompt.messages[0].text.contains(note), qPrintable(s.prompt.messages[0].text));
}

void TestSingleMessage::registeredScreen()
{
    StoreFixture f;
    ScreenRegistry::instance().clear();
    registerIntakeScreens(f.context());
    QPointer<QWidget> first = ScreenRegistry::instance().show(Screens::SingleMessage);
    QVERIFY(qobject_cast<SingleMessageWindow*>(first));
    QCOMPARE(ScreenRegistry::instance().show(Screens::SingleMessage), first.data()); // one at a time
    first->findChild<QPushButton*>(u"Command2"_s)->click();
    QTRY_VERIFY(first.isNull()); // closed and discarded
    ScreenRegistry::instance().clear();
}

QTEST_MAIN(TestSingleMessage)
#include "tst_singlemessage.moc"

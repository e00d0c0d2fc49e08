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
// The window over three profiles, each with its own counter, while the one in use stands at 42.
struct Screen : StoreFixture
{
    ScriptedPrompt prompt;
    std::unique_ptr<SingleMessageWindow> form;
    QLineEdit *mobile, *smsId;
    QPlainTextEdit* message;
    QPushButton* send;
    QLabel* counter;

    Screen()
    {
        for (int i = 0; i < 3; ++i)
            addProfile(u"user%1"_s.arg(i), {{u"Smsid"_s, 10 + i}});
        context().profile().smsId = 42;
        form = std::make_unique<SingleMessageWindow>(context());
        mobile = form->findChild<QLineEdit*>(u"TxMOB"_s);
        message = form->findChild<QPlainTextEdit*>(u"TxMSG"_s);
        send = form->findChild<QPushButton*>(u"Command1"_s);
        smsId = form->findChild<QLineEdit*>(u"TxSMSID"_s);
        counter = form->findChild<QLabel*>(u"Label4"_s);
    }
    void sendTo(const QString& number)
    {
        mobile->setText(number);
        message->setPlainText(u"Hi"_s);
        form->sendSms();
    }
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
    void typing_data()
    {
        QTest::addColumn<bool>("number"); // typed into the number field, else into the message
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("mobile");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        const QString a = QString(79, u'a') + u'\n', c(78, u'c');
        // Backspace passes the filter; Enter moves on to the message and types nothing.
        QTest::addRow("number") << true << u"9a8-7 6.5'4321099\b\r"_s << u"987654321"_s << a + c
                                << u" 159/ 160"_s;
        // Cut where typed, not at the end; a line break counts as CR LF, so one letter of three fits.
        QTest::addRow("message") << false << u"bbb"_s << u""_s << a + u'b' + c << u" 160/ 160"_s;
    }
    void typing()
    {
        QFETCH(bool, number);
        QFETCH(QString, keys);
        Screen s;
        s.form->show();
        s.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(s.form.get()));
        s.message->setPlainText(QString(78, u'c'));
        s.message->moveCursor(QTextCursor::Start);
        s.message->insertPlainText(QString(79, u'a') + u'\n'); // the cursor stays after it
        QWidget* field = number ? static_cast<QWidget*>(s.mobile) : s.message;
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClicks(field, keys);
        QTEST(s.mobile->text(), "mobile");
        QTEST(s.message->toPlainText(), "message");
        QTEST(s.counter->text(), "shown");
        QTRY_VERIFY(s.message->hasFocus());
    }
    void send_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enabled");   // the send button
        QTest::addColumn<QString>("stored"); // null: nothing queued
        QTest::addColumn<int>("after");      // the counter after the click
        QTest::addColumn<QString>("box");    // the unlocked counter box, when set
        QTest::addColumn<QString>("error");  // in the one message shown, when not queued
        auto row = [](const char* name, const QString& number, const QString& typed, bool enabled,
                      const QString& stored, int after, const QString& box = {}, const QString& error = {}) {
            QTest::addRow("%s", name) << number << typed << enabled << stored << after << box << error;
        };
        const QString hi = u"Hi"_s, n = u"9876543210"_s;
        row("no number", {}, hi, false, {}, 42);
        row("line breaks only message", n, u"\n\n"_s, false, {}, 42);
        row("1000000000 refused", u"1000000000"_s, hi, true, {}, 42);
        row("1000000001 queued", u"1000000001"_s, hi, true, hi, 43);
        row("9999999999 queued", u"9999999999"_s, hi, true, hi, 43);
        row("ten characters starting with 0", u"0999999999"_s, hi, true, {}, 42);
        row("nine digits", u"987654321"_s, hi, true, {}, 42);
        row("three lines joined", n, u"first\nsecond\nthird"_s, true, u"firstsecondthird"_s, 43);
        const QString sql = u"It's '); DELETE FROM Rsms; --"_s;
        row("SQL-looking text", n, sql, true, sql, 43);
        row("blanks kept", n, u"  Hi  "_s, true, u"  Hi  "_s, 43);
        row("box set to the largest value", n, hi, true, {}, std::numeric_limits<int>::max(), u"2147483647"_s,
            u"not queued"_s);
        row("box beyond 32 bits", n, hi, true, {}, 42, u"3000000000"_s, u"not queued"_s);
        // The queue row goes back with the failed update of the counters.
        row("store failure", n, hi, true, {}, 42, {}, u"config locked"_s);
    }
    void send()
    {
        QFETCH(QString, number);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(bool, enabled);
        QFETCH(int, after);
        QFETCH(QString, box);
        QFETCH(QString, error);
        const bool queued = !stored.isNull();
        Screen s;
        if (error == u"config locked")
            s.store().exec(
                u"CREATE TRIGGER stuck BEFORE UPDATE ON config BEGIN SELECT RAISE(ABORT, 'config locked'); END"_s);
        if (!box.isNull())
            s.smsId->setText(box);
        QVERIFY(!s.send->isEnabled());
        s.message->setPlainText(typed);
        s.mobile->setText(number);
        QCOMPARE(s.send->isEnabled(), enabled);
        s.message->clear();
        s.message->setPlainText(typed);
        QCOMPARE(s.send->isEnabled(), enabled);
        QTest::mouseClick(s.send, Qt::LeftButton);
        // The stamp is the clock's 5 March 2024 14:05:09, on day 65 of the year.
        QCOMPARE(
            s.column(
                u"SELECT Mobile || '/' || RDtTM || '/' || urgent || '/' || typ || '/' || msg FROM Rsms"_s),
            queued ? QStringList{number + u"/05032465140509/0/0/"_s + stored} : QStringList{});
        QCOMPARE(s.state(), queued ? u"1 queued, counter %1, profiles %1,%1,%1"_s.arg(after)
                                   : u"0 queued, counter %1, profiles 10,11,12"_s.arg(after));
        QCOMPARE(s.mobile->text(), queued ? QString() : number);
        QCOMPARE(s.message->toPlainText(),
                 queued ? stored : typed); // it stays for the next number, lines joined
        const QStringList shown = s.prompt.messageTexts();
        QCOMPARE(shown.size(), queued || !error.isNull() ? 1 : 0);
        if (!shown.isEmpty()) {
            QVERIFY2(queued ? shown[0] == SingleMessage::QueuedText : shown[0].contains(error),
                     qPrintable(shown[0]));
            QCOMPARE(s.prompt.messages[0].icon, queued ? Prompt::Icon::Information : Prompt::Icon::Critical);
        }
    }
    void smsIdUnlock()
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
        // The box still says 500, so the counter is set to 500 again.
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
    void registeredScreen()
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
};

QTEST_MAIN(TestSingleMessage)
#include "tst_singlemessage.moc"

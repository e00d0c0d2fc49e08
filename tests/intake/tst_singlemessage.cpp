#include "IntakeTestSupport.h"
#include "RecordingPrompt.h"
#include "core/EngineContext.h"
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

namespace {
struct Fixture
{
    QTemporaryDir dir;
    std::unique_ptr<EngineContext> context;
    RecordingPrompt prompt;

    Fixture()
    {
        auto store = Store::openFile(QDir(dir.path()).filePath(QStringLiteral("SMS.db")), true);
        Schema::createMissingTables(*store);
        // Three profiles, each with its own counter.
        for (int i = 0; i < 3; ++i)
            store->exec(QStringLiteral("INSERT INTO config (UName, Smsid, Defult) VALUES (?, ?, ?)"),
                        {QStringLiteral("user%1").arg(i), 10 + i, i == 0 ? 1 : 0});
        context = std::make_unique<EngineContext>(std::move(store));
        context->profile().smsId = 42;
    }
    Store& store() { return context->store(); }
    int queued() { return store().scalar(QStringLiteral("select count(*) from Rsms")).toInt(); }
    QList<int> configCounters()
    {
        QList<int> out;
        QSqlQuery q = store().query(QStringLiteral("select Smsid from config order by rowid"));
        while (q.next())
            out << q.value(0).toInt();
        return out;
    }
    QString one(const QString& column)
    {
        return store().scalar(QStringLiteral("select %1 from Rsms").arg(column)).toString();
    }
};

struct Screen
{
    SingleMessageWindow form;
    QLineEdit* mobile;
    QPlainTextEdit* message;
    QPushButton* send;
    QLineEdit* smsId;
    QLabel* smsIdLabel;
    QLabel* counter;

    explicit Screen(EngineContext& context) : form(context)
    {
        mobile = form.findChild<QLineEdit*>(QStringLiteral("TxMOB"));
        message = form.findChild<QPlainTextEdit*>(QStringLiteral("TxMSG"));
        send = form.findChild<QPushButton*>(QStringLiteral("Command1"));
        smsId = form.findChild<QLineEdit*>(QStringLiteral("TxSMSID"));
        smsIdLabel = form.findChild<QLabel*>(QStringLiteral("Label3"));
        counter = form.findChild<QLabel*>(QStringLiteral("Label4"));
        context.clock().set([] { return QDateTime(QDate(2024, 1, 5), QTime(14, 3, 9)); });
    }
    void fill(const QString& number, const QString& text)
    {
        mobile->setText(number);
        message->setPlainText(text);
    }
};
} // namespace

class TestSingleMessage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void stamp_data();
    void stamp();
    void counterFromText_data();
    void counterFromText();

    void opensEmpty();
    void enabling_data();
    void enabling();
    void lengthCounter_data();
    void lengthCounter();
    void numberField();
    void enterMovesToMessage();
    void messageLimit();
    void bounds_data();
    void bounds();
    void queuedAsTyped_data();
    void queuedAsTyped();
    void smsIdUnlock();
    void smsIdKeptWhenNotANumber();
    void counterCannotOverflow_data();
    void counterCannotOverflow();
    void storeFailureChangesNothing();
    void registeredScreen();
};

void TestSingleMessage::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("SmsEngineTest"));
}

void TestSingleMessage::stamp_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("5 January 2024 14:03:09")
        << QDateTime(QDate(2024, 1, 5), QTime(14, 3, 9)) << "0501245140309";
    QTest::newRow("31 December 2024 23:59:59")
        << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59)) << "311224366235959";
    QTest::newRow("1 March 2023 midnight")
        << QDateTime(QDate(2023, 3, 1), QTime(0, 0, 0)) << "01032360000000";
}

void TestSingleMessage::stamp()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, stamp);
    Fixture f;
    Screen s(*f.context);
    f.context->clock().set([when] { return when; });
    s.fill(QStringLiteral("9876543210"), QStringLiteral("Hi"));
    s.form.sendSms();
    QCOMPARE(f.one(QStringLiteral("RDtTM")), stamp);
}

void TestSingleMessage::counterFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("outOfRange");
    QTest::newRow("plain") << "500" << true << 500 << false;
    QTest::newRow("blanks around") << "  500 " << true << 500 << false;
    QTest::newRow("fraction rounds down") << "500.9" << true << 500 << false;
    QTest::newRow("negative fraction rounds down") << "-1.5" << true << -2 << false;
    QTest::newRow("largest") << "2147483647" << true << std::numeric_limits<int>::max() << false;
    QTest::newRow("too large") << "2147483648" << false << 0 << true;
    QTest::newRow("too small") << "-2147483649" << false << 0 << true;
    QTest::newRow("text") << "abc" << false << 0 << false;
    QTest::newRow("empty") << "" << false << 0 << false;
    QTest::newRow("digits then text") << "12ab" << false << 0 << false;
    QTest::newRow("not a finite number") << "inf" << false << 0 << false;
}

void TestSingleMessage::counterFromText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    QFETCH(bool, outOfRange);
    bool over = false;
    const std::optional<qint32> got = SingleMessage::counterFromText(text, &over);
    QCOMPARE(got.has_value(), valid);
    if (valid)
        QCOMPARE(*got, value);
    QCOMPARE(over, outOfRange);
}

void TestSingleMessage::opensEmpty()
{
    Fixture f;
    Screen s(*f.context);
    QCOMPARE(s.form.objectName(), QStringLiteral("Form1"));
    QCOMPARE(s.form.windowTitle(), QStringLiteral("Single Message"));
    QVERIFY(!s.send->isEnabled());
    QCOMPARE(s.send->text(), QStringLiteral("Send SMS"));
    QVERIFY(s.smsId->isReadOnly());
    QCOMPARE(s.smsId->text(), QStringLiteral("42"));
    QCOMPARE(s.smsIdLabel->text(), QStringLiteral("SMS ID"));
    QCOMPARE(s.counter->text(), QString());
    QCOMPARE(s.form.findChild<QPushButton*>(QStringLiteral("Command2"))->text(), QStringLiteral("Close"));
    QCOMPARE(s.mobile->maxLength(), 10);
}

void TestSingleMessage::enabling_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("both filled") << "9876543210"
                                 << "Hi" << true;
    QTest::newRow("no number") << ""
                               << "Hi" << false;
    QTest::newRow("no message") << "9876543210"
                                << "" << false;
    QTest::newRow("blanks only message") << "9876543210"
                                         << "     " << false;
    QTest::newRow("line breaks only message") << "9876543210"
                                              << "\n\n"
                                              << false;
    QTest::newRow("nine digits") << "987654321"
                                 << "Hi" << true;
    QTest::newRow("one digit") << "1"
                               << "x" << true;
}

void TestSingleMessage::enabling()
{
    QFETCH(QString, number);
    QFETCH(QString, message);
    QFETCH(bool, enabled);
    Fixture f;
    Screen s(*f.context);
    // In either order: both fields' changes apply the rule.
    s.message->setPlainText(message);
    s.mobile->setText(number);
    QCOMPARE(s.send->isEnabled(), enabled);
    s.mobile->clear();
    s.message->clear();
    s.mobile->setText(number);
    s.message->setPlainText(message);
    QCOMPARE(s.send->isEnabled(), enabled);
}

void TestSingleMessage::lengthCounter_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("counter");
    QTest::newRow("twelve") << "Hello, world"
                            << " 12/ 160";
    QTest::newRow("empty after text") << ""
                                      << " 0/ 160";
    QTest::newRow("a line break counts as CR LF") << "a\nb"
                                                  << " 4/ 160";
    QTest::newRow("full") << QString(160, u'x') << " 160/ 160";
}

void TestSingleMessage::lengthCounter()
{
    QFETCH(QString, message);
    QFETCH(QString, counter);
    Fixture f;
    Screen s(*f.context);
    s.message->setPlainText(QStringLiteral("something"));
    s.message->setPlainText(message);
    QCOMPARE(s.counter->text(), counter);
    // A change of the number refreshes it as well.
    s.counter->clear();
    s.mobile->setText(QStringLiteral("1"));
    QCOMPARE(s.counter->text(), counter);
}

void TestSingleMessage::numberField()
{
    Fixture f;
    Screen s(*f.context);
    s.form.show();
    QTest::keyClicks(s.mobile, QStringLiteral("9a8-7 6.5'"));
    QCOMPARE(s.mobile->text(), QStringLiteral("98765"));
    QTest::keyClicks(s.mobile, QStringLiteral("4321099"));
    QCOMPARE(s.mobile->text(), QStringLiteral("9876543210"));
    QTest::keyClick(s.mobile, Qt::Key_Backspace);
    QCOMPARE(s.mobile->text(), QStringLiteral("987654321"));
    // Pasted text is held to digits as well.
    s.mobile->clear();
    s.mobile->insert(QStringLiteral("98765 43210"));
    QCOMPARE(s.mobile->text(), QString());
}

void TestSingleMessage::enterMovesToMessage()
{
    Fixture f;
    Screen s(*f.context);
    s.form.show();
    s.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&s.form));
    s.mobile->setFocus();
    QTRY_VERIFY(s.mobile->hasFocus());
    QTest::keyClicks(s.mobile, QStringLiteral("98"));
    QTest::keyClick(s.mobile, Qt::Key_Return);
    QTRY_VERIFY(s.message->hasFocus());
    QCOMPARE(s.mobile->text(), QStringLiteral("98"));
    QCOMPARE(s.message->toPlainText(), QString());
}

void TestSingleMessage::messageLimit()
{
    Fixture f;
    Screen s(*f.context);
    s.form.show();
    QTest::keyClicks(s.message, QString(170, u'x'));
    QCOMPARE(s.message->toPlainText(), QString(160, u'x'));
    QCOMPARE(s.counter->text(), QStringLiteral(" 160/ 160"));

    // A paste keeps its beginning, the text before it stays.
    s.message->setPlainText(QStringLiteral("start "));
    s.message->moveCursor(QTextCursor::End);
    s.message->insertPlainText(QString(100, u'a') + QString(100, u'b'));
    QCOMPARE(s.message->toPlainText(), QStringLiteral("start ") + QString(100, u'a') + QString(54, u'b'));

    // At 159 characters a line break (CR LF, two) no longer fits; a letter does.
    s.message->setPlainText(QString(159, u'y'));
    s.message->moveCursor(QTextCursor::End);
    QTest::keyClick(s.message, Qt::Key_Return);
    QCOMPARE(s.message->toPlainText(), QString(159, u'y'));
    QTest::keyClick(s.message, Qt::Key_Z);
    QCOMPARE(s.message->toPlainText(), QString(159, u'y') + u'z');

    // Typed in the middle: the text after the cursor is kept.
    s.message->setPlainText(QString(80, u'a') + QString(80, u'c'));
    QTextCursor c = s.message->textCursor();
    c.setPosition(80);
    s.message->setTextCursor(c);
    QTest::keyClicks(s.message, QStringLiteral("bbb"));
    QCOMPARE(s.message->toPlainText(), QString(80, u'a') + QString(80, u'c'));
}

void TestSingleMessage::bounds_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("queued");
    QTest::newRow("1000000000 refused") << "1000000000" << false;
    QTest::newRow("1000000001 queued") << "1000000001" << true;
    QTest::newRow("9999999999 queued") << "9999999999" << true;
    QTest::newRow("ten characters starting with 0") << "0999999999" << false;
    QTest::newRow("nine digits") << "987654321" << false;
}

void TestSingleMessage::bounds()
{
    QFETCH(QString, number);
    QFETCH(bool, queued);
    Fixture f;
    Screen s(*f.context);
    s.fill(number, QStringLiteral("Hi"));
    QVERIFY(s.send->isEnabled());
    QTest::mouseClick(s.send, Qt::LeftButton);
    QCOMPARE(f.queued(), queued ? 1 : 0);
    QCOMPARE(f.context->profile().smsId, queued ? 43 : 42);
    QCOMPARE(f.configCounters(), queued ? (QList<int>{43, 43, 43}) : (QList<int>{10, 11, 12}));
    QCOMPARE(s.mobile->text(), queued ? QString() : number);
    QCOMPARE(s.message->toPlainText(), QStringLiteral("Hi")); // the text stays for the next number
    if (queued) {
        QCOMPARE(f.one(QStringLiteral("Mobile")), number);
        QCOMPARE(f.prompt.shown.size(), 1);
        QCOMPARE(f.prompt.shown[0].text, QStringLiteral(" Sms set in Queue "));
        QCOMPARE(f.prompt.shown[0].title, QStringLiteral("SmsEngineTest"));
        QCOMPARE(f.prompt.shown[0].icon, Prompt::Icon::Information);
    } else {
        QVERIFY(f.prompt.shown.isEmpty());
    }
}

void TestSingleMessage::queuedAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("three lines joined") << "first line\nsecond\nthird"
                                        << "first linesecondthird";
    QTest::newRow("apostrophes and quotes") << "It's O'Brien's \"day\""
                                            << "It's O'Brien's \"day\"";
    QTest::newRow("SQL-looking text") << "'); DELETE FROM Rsms; --"
                                      << "'); DELETE FROM Rsms; --";
    QTest::newRow("blanks kept") << "  Hi  "
                                 << "  Hi  ";
}

void TestSingleMessage::queuedAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    Fixture f;
    Screen s(*f.context);
    s.fill(QStringLiteral("9876543210"), typed);
    s.form.sendSms();
    QCOMPARE(f.queued(), 1);
    QCOMPARE(f.one(QStringLiteral("msg")), stored);
    QCOMPARE(f.one(QStringLiteral("Mobile")), QStringLiteral("9876543210"));
    QCOMPARE(f.one(QStringLiteral("urgent")), QStringLiteral("0"));
    QCOMPARE(f.one(QStringLiteral("typ")), QStringLiteral("0"));
    QCOMPARE(s.message->toPlainText(), stored); // the box shows the joined text
}

void TestSingleMessage::smsIdUnlock()
{
    Fixture f;
    Screen s(*f.context);
    s.form.show();
    QVERIFY(s.smsId->isReadOnly());
    QTest::keyClicks(s.smsId, QStringLiteral("7"));
    QCOMPARE(s.smsId->text(), QStringLiteral("42"));
    QTest::mouseClick(s.smsIdLabel, Qt::LeftButton);
    QVERIFY(!s.smsId->isReadOnly());
    s.smsId->setText(QStringLiteral("500"));
    s.fill(QStringLiteral("9876543210"), QStringLiteral("Hi"));
    s.form.sendSms();
    QCOMPARE(f.queued(), 1);
    QCOMPARE(f.context->profile().smsId, 501);
    QCOMPARE(f.configCounters(), (QList<int>{501, 501, 501}));
    QCOMPARE(s.smsId->text(), QStringLiteral("500"));
    QVERIFY(!s.smsId->isReadOnly()); // stays unlocked

    // Sent again: the box still says 500, so the counter is set to 500 again.
    s.mobile->setText(QStringLiteral("9876543211"));
    s.form.sendSms();
    QCOMPARE(f.queued(), 2);
    QCOMPARE(f.configCounters(), (QList<int>{501, 501, 501}));

    // A number that is not queued still takes the box's value into the counter.
    s.smsId->setText(QStringLiteral("700"));
    s.mobile->setText(QStringLiteral("987654321"));
    s.form.sendSms();
    QCOMPARE(f.queued(), 2);
    QCOMPARE(f.context->profile().smsId, 700);
    QCOMPARE(f.configCounters(), (QList<int>{501, 501, 501}));
}

void TestSingleMessage::smsIdKeptWhenNotANumber()
{
    Fixture f;
    Screen s(*f.context);
    QTest::mouseClick(s.smsIdLabel, Qt::LeftButton);
    s.smsId->setText(QStringLiteral("abc"));
    s.fill(QStringLiteral("9876543210"), QStringLiteral("Hi"));
    s.form.sendSms();
    QCOMPARE(f.context->profile().smsId, 43);
    QCOMPARE(f.configCounters(), (QList<int>{43, 43, 43}));
}

void TestSingleMessage::counterCannotOverflow_data()
{
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("counterAfter");
    QTest::newRow("counter at the largest value")
        << std::numeric_limits<int>::max() << QString() << std::numeric_limits<int>::max();
    QTest::newRow("box set to the largest value") << 42 << "2147483647" << std::numeric_limits<int>::max();
    QTest::newRow("box beyond 32 bits") << 42 << "3000000000" << 42;
}

void TestSingleMessage::counterCannotOverflow()
{
    QFETCH(int, counter);
    QFETCH(QString, box);
    QFETCH(int, counterAfter);
    Fixture f;
    f.context->profile().smsId = counter;
    Screen s(*f.context);
    if (!box.isNull())
        s.smsId->setText(box);
    s.fill(QStringLiteral("9876543210"), QStringLiteral("Hi"));
    s.form.sendSms();
    QCOMPARE(f.queued(), 0);
    QCOMPARE(f.context->profile().smsId, counterAfter);
    QCOMPARE(f.configCounters(), (QList<int>{10, 11, 12}));
    QCOMPARE(s.mobile->text(), QStringLiteral("9876543210"));
    QCOMPARE(f.prompt.shown.size(), 1);
    QCOMPARE(f.prompt.shown[0].icon, Prompt::Icon::Critical);
    QVERIFY2(f.prompt.shown[0].text.contains(QStringLiteral("not queued")),
             qPrintable(f.prompt.shown[0].text));
}

void TestSingleMessage::storeFailureChangesNothing()
{
    Fixture f;
    f.store().exec(QStringLiteral(
        "CREATE TRIGGER stuck BEFORE UPDATE ON config BEGIN SELECT RAISE(ABORT, 'config locked'); END"));
    Screen s(*f.context);
    s.fill(QStringLiteral("9876543210"), QStringLiteral("Hi"));
    s.form.sendSms();
    QCOMPARE(f.queued(), 0); // the insert went back with the failed update
    QCOMPARE(f.configCounters(), (QList<int>{10, 11, 12}));
    QCOMPARE(f.context->profile().smsId, 42);
    QCOMPARE(s.mobile->text(), QStringLiteral("9876543210"));
    QCOMPARE(f.prompt.shown.size(), 1);
    QCOMPARE(f.prompt.shown[0].icon, Prompt::Icon::Critical);
    QVERIFY2(f.prompt.shown[0].text.contains(QStringLiteral("config locked")),
             qPrintable(f.prompt.shown[0].text));
}

void TestSingleMessage::registeredScreen()
{
    Fixture f;
    ScreenRegistry::instance().clear();
    registerIntakeScreens(*f.context);
    QWidget* first = ScreenRegistry::instance().show(Screens::SingleMessage);
    QVERIFY(qobject_cast<SingleMessageWindow*>(first));
    QCOMPARE(first->objectName(), QStringLiteral("Form1"));
    QCOMPARE(ScreenRegistry::instance().show(Screens::SingleMessage), first);
    QPointer<QWidget> guard(first);
    first->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    QTRY_VERIFY(guard.isNull()); // closed and discarded
    ScreenRegistry::instance().clear();
}

QTEST_MAIN(TestSingleMessage)
#include "tst_singlemessage.moc"

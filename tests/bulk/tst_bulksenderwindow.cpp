#include "BulkTestSupport.h"

#include "bulk/ui/BulkSenderWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {
template <typename W> W* child(QWidget* screen, const char* name)
{
    W* w = screen->findChild<W*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}
} // namespace

class TestBulkSenderWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void openingListsAccountsAndLoadsProfile();
    void accountChangeLoadsProfile();
    void accountThatVanishedKeepsProfile();
    void accountBoxFollowsTheLoadedProfile_data();
    void accountBoxFollowsTheLoadedProfile();
    void partCounter_data();
    void partCounter();
    void messageFieldRefusesCharacter481();
    void earlierTextsFillTheMessage();
    void focusColours();
    void numberBoxTakesDigitsAndBreaks();
};

void TestBulkSenderWindow::openingListsAccountsAndLoadsProfile()
{
    BulkFixture f;
    f.addProfile(QStringLiteral("SECOND"), QStringLiteral("http://x/<mobile>"), QStringLiteral("C"), 0);
    BulkSenderWindow screen(*f.context);
    auto* accounts = child<QComboBox>(&screen, "Combo1");
    QVERIFY(!accounts->isEditable());
    QCOMPARE(accounts->count(), 2);
    QCOMPARE(accounts->currentText(), QStringLiteral("ACME"));
    QCOMPARE(child<QLabel>(&screen, "Label3")->text(), QStringLiteral(" GSM : GSMID    CDMA : CDMAID"));
    QCOMPARE(child<QLabel>(&screen, "Lbbal1")->text(), QStringLiteral("Working..."));
    QCOMPARE(child<QPushButton>(&screen, "JeweledButton1")->text(), QStringLiteral("Send SMS"));
    QCOMPARE(child<QPushButton>(&screen, "JeweledButton2")->text(), QStringLiteral("E&XIT"));
    QCOMPARE(child<QPushButton>(&screen, "JeweledButton7")->text(), QStringLiteral("NEW"));
}

void TestBulkSenderWindow::accountChangeLoadsProfile()
{
    BulkFixture f;
    f.addProfile(QStringLiteral("SECOND"), QStringLiteral("http://second/<mobile>/<msg>"),
                 QStringLiteral("c"), 0);
    f.store().exec(QStringLiteral("update config set GsmSid = 'G2', CDMASid = NULL where UName = 'SECOND'"));
    BulkSenderWindow screen(*f.context);
    auto* accounts = child<QComboBox>(&screen, "Combo1");
    accounts->setCurrentIndex(accounts->findText(QStringLiteral("SECOND")));
    Q_EMIT accounts->activated(accounts->currentIndex());
    QCOMPARE(f.context->profile().userName, QStringLiteral("SECOND"));
    QCOMPARE(f.context->profile().sendUrl, QStringLiteral("http://second/<mobile>/<msg>"));
    QCOMPARE(child<QLabel>(&screen, "Label3")->text(), QStringLiteral(" GSM : G2    CDMA : "));
}

void TestBulkSenderWindow::accountThatVanishedKeepsProfile()
{
    BulkFixture f;
    f.addProfile(QStringLiteral("GONE"), QStringLiteral("http://gone/<mobile>"), QStringLiteral("C"), 0);
    ScriptedPrompt prompt;
    BulkSenderWindow screen(*f.context);
    f.store().exec(QStringLiteral("delete from config where UName = 'GONE'"));
    auto* accounts = child<QComboBox>(&screen, "Combo1");
    accounts->setCurrentIndex(accounts->findText(QStringLiteral("GONE")));
    Q_EMIT accounts->activated(accounts->currentIndex());
    QCOMPARE(prompt.messages().size(), 1);
    QVERIFY(prompt.messages()[0].contains(QStringLiteral("GONE")));
    QCOMPARE(prompt.shown[0].icon, Prompt::Icon::Critical);
    QCOMPARE(f.context->profile().userName, QStringLiteral("ACME"));
    QCOMPARE(accounts->currentText(), QStringLiteral("ACME"));
}

void TestBulkSenderWindow::accountBoxFollowsTheLoadedProfile_data()
{
    QTest::addColumn<bool>("addedSinceOpening");
    QTest::newRow("listed account") << false;
    QTest::newRow("account added since opening") << true;
}

void TestBulkSenderWindow::accountBoxFollowsTheLoadedProfile()
{
    QFETCH(bool, addedSinceOpening);
    BulkFixture f;
    auto addSecond = [&f] {
        f.addProfile(QStringLiteral("SECOND"), QStringLiteral("http://second/<mobile>/<msg>"),
                     QStringLiteral("C"), 0);
        f.store().exec(QStringLiteral("update config set GsmSid = 'G2' where UName = 'SECOND'"));
    };
    if (!addedSinceOpening)
        addSecond();
    BulkSenderWindow screen(*f.context);
    screen.show();
    if (addedSinceOpening)
        addSecond();
    f.context->loadProfile(QStringLiteral("SECOND")); // the console's account list
    screen.hide();
    screen.show();
    QCOMPARE(child<QComboBox>(&screen, "Combo1")->currentText(), QStringLiteral("SECOND"));
    QCOMPARE(child<QLabel>(&screen, "Label3")->text(), QStringLiteral(" GSM : G2    CDMA : CDMAID"));
}

void TestBulkSenderWindow::partCounter_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("caption");
    QTest::newRow("0") << 0 << "0/ 1";
    QTest::newRow("159") << 159 << "159/ 1";
    QTest::newRow("160") << 160 << "160/ 2";
    QTest::newRow("480") << 480 << "480/ 4";
}

void TestBulkSenderWindow::partCounter()
{
    QFETCH(int, length);
    QFETCH(QString, caption);
    BulkFixture f;
    BulkSenderWindow screen(*f.context);
    auto* message = child<QPlainTextEdit>(&screen, "tXTsms");
    message->setPlainText(QString(length + 7, u'x'));
    message->setPlainText(QString(length, u'y'));
    QCOMPARE(child<QLabel>(&screen, "Lb1")->text(), caption);
}

void TestBulkSenderWindow::messageFieldRefusesCharacter481()
{
    BulkFixture f;
    BulkSenderWindow screen(*f.context);
    auto* message = child<QPlainTextEdit>(&screen, "tXTsms");
    message->setPlainText(QString(479, u'a'));
    message->moveCursor(QTextCursor::End);
    QTest::keyClicks(message, QStringLiteral("bc"));
    QCOMPARE(message->toPlainText(), QString(479, u'a') + QStringLiteral("b"));
    // A paste that does not fit is cut to what fits, at the place it went.
    message->setPlainText(QString(470, u'a'));
    message->moveCursor(QTextCursor::Start);
    message->insertPlainText(QString(20, u'z'));
    QCOMPARE(message->toPlainText(), QString(10, u'z') + QString(470, u'a'));
    QCOMPARE(child<QLabel>(&screen, "Lb1")->text(), QStringLiteral("480/ 4"));
}

void TestBulkSenderWindow::earlierTextsFillTheMessage()
{
    BulkFixture f;
    f.store().exec(QStringLiteral("insert into sms (Mobile, msg) values ('1', ?), ('2', ?), ('3', ?)"),
                   {QStringLiteral("first\r\nline"), QStringLiteral("other"), QStringLiteral("other")});
    BulkSenderWindow screen(*f.context);
    auto* earlier = child<QComboBox>(&screen, "Combo2");
    QCOMPARE(earlier->count(), 2);
    const int index = earlier->findText(QStringLiteral("first\r\nline"));
    QVERIFY(index >= 0);
    earlier->setCurrentIndex(index);
    Q_EMIT earlier->activated(index);
    QCOMPARE(child<QPlainTextEdit>(&screen, "tXTsms")->toPlainText(), QStringLiteral("first\nline"));
}

void TestBulkSenderWindow::focusColours()
{
    BulkFixture f;
    BulkSenderWindow screen(*f.context);
    screen.show();
    QVERIFY(QTest::qWaitForWindowActive(&screen));
    const QColor orange(255, 224, 192);
    child<QPushButton>(&screen, "JeweledButton5")->click(); // the import panel with its group name box
    for (const char* name : {"Text1", "tXTsms", "TxtGrp1"}) {
        QWidget* field = child<QWidget>(&screen, name);
        QCOMPARE(field->palette().color(QPalette::Base), QColor(Qt::white));
        field->setFocus();
        QTRY_COMPARE(field->palette().color(QPalette::Base), orange);
        child<QWidget>(&screen, "JeweledButton7")->setFocus();
        QTRY_COMPARE(field->palette().color(QPalette::Base), QColor(Qt::white));
    }
}

void TestBulkSenderWindow::numberBoxTakesDigitsAndBreaks()
{
    BulkFixture f;
    BulkSenderWindow screen(*f.context);
    auto* numbers = child<QPlainTextEdit>(&screen, "Text1");
    QTest::keyClicks(numbers, QStringLiteral("98a7"));
    QTest::keyClick(numbers, Qt::Key_Return);
    QTest::keyClicks(numbers, QStringLiteral("1-2"));
    QCOMPARE(numbers->toPlainText(), QStringLiteral("987\n12"));
}

QTEST_MAIN(TestBulkSenderWindow)
#include "tst_bulksenderwindow.moc"

#include "BulkTestSupport.h"

#include "bulk/BulkSender.h"
#include "bulk/ui/BulkSenderWindow.h"
#include "channels/HttpFetcher.h"
#include "gateway/GatewaySim.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <limits>

namespace {
const QString A = QStringLiteral("9876543210");
const QString B = QStringLiteral("9123456789");

template <typename W> W* child(QWidget* screen, const char* name)
{
    W* w = screen->findChild<W*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

QString sendUrl(const GatewaySim& sim)
{
    return sim.baseUrl() + QStringLiteral("/send?u=<UName>&p=<PassWord>&to=<mobile>&sid=<GsmSid>&msg=<msg>");
}

QString balanceUrl(const GatewaySim& sim)
{
    return sim.baseUrl() + QStringLiteral("/balance?u=<UName>");
}

// The requests of one path, oldest first.
QList<QJsonObject> requestsTo(GatewaySim& sim, const QString& path)
{
    QList<QJsonObject> out;
    const QList<QJsonObject> all = sim.requests();
    for (const QJsonObject& r : all)
        if (r.value(QStringLiteral("path")).toString() == path)
            out << r;
    return out;
}

QStringList sentTo(GatewaySim& sim)
{
    QStringList to;
    for (const QJsonObject& r : requestsTo(sim, QStringLiteral("/send")))
        to << r.value(QStringLiteral("query")).toObject().value(QStringLiteral("to")).toString();
    return to;
}

QStringList ledger(BulkFixture& f)
{
    QStringList mobiles;
    QSqlQuery q = f.store().query(QStringLiteral("select Mobile from sms order by rowid"));
    while (q.next())
        mobiles << q.value(0).toString();
    return mobiles;
}

QStringList numbers(int count, qint64 first = 9000000000LL)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QString::number(first + i);
    return list;
}

// Requests go to the gateway as usual; before(n) runs just ahead of the n-th.
void hookFetch(BulkSenderWindow& screen, HttpFetcher& http, std::function<void(int)> before)
{
    screen.sender().setFetch(
        [&http, before, calls = 0](QString url, BulkSender::Client,
                                   std::chrono::milliseconds) mutable -> QCoro::Task<QString> {
            before(++calls);
            co_return co_await http.fetch(url);
        });
}

void compose(BulkSenderWindow& screen, const QString& numbers, const QString& text)
{
    child<QPlainTextEdit>(&screen, "Text1")->setPlainText(numbers);
    child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText(text);
}

void quicken(BulkSenderWindow& screen)
{
    BulkSender::Settings& s = screen.sender().settings();
    s.retryDelay = std::chrono::milliseconds(10);
    s.balanceRetryDelay = std::chrono::milliseconds(10);
}
} // namespace

class TestBulkSend : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sendFromScreen_data();
    void sendFromScreen();
    void twoHundredFiftyNumbersInThreeRequests();
    void ledgerRowsAndCounter();
    void gatewayFlagOff();
    void emptyAnswerIsAskedTwiceMore();
    void oneAccountPerSend_data();
    void oneAccountPerSend();
    void failingRequestKeepsAnsweredBatches_data();
    void failingRequestKeepsAnsweredBatches();
    void accountNameTooLongSendsNothing();
    void buttonIsDisabledWhileSending();
    void balanceRefreshIsBounded();
    void timerFetchesBalanceAfterAccountChange();
    void counterAtItsLargestValueStillRecords();
    void closingDuringASendWaitsForIt_data();
    void closingDuringASendWaitsForIt();
};

void TestBulkSend::sendFromScreen_data()
{
    QTest::addColumn<QStringList>("contacts"); // "mobile|name" in group G; non-empty means group mode
    QTest::addColumn<bool>("selectContacts");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QList<Prompt::Answer>>("answers");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("message");

    const QList<Prompt::Answer> none;
    QTest::newRow("group mode, two selected") << QStringList{A + "|RAVI", B + "|ASHA"} << true << "" << none
                                              << false << QStringList{A + "," + B} << QStringList{A, B} << "";
    QTest::newRow("group mode keeps a leading zero")
        << QStringList{"0987654321|ZERO", A + "|RAVI"} << true << "" << none << false
        << QStringList{A + ",0987654321"} << QStringList{A, "0987654321"} << "";
    QTest::newRow("group mode, nothing selected")
        << QStringList{A + "|RAVI"} << false << "" << none << false << QStringList{} << QStringList{}
        << "There is no mobile number to send to.";
    QTest::newRow("number box with repeats")
        << QStringList{} << false << B + "\n" + A + "\n" + B + "\n"
        << none << false << QStringList{A + "," + B} << QStringList{A, B} << "";
    QTest::newRow("final zero kept") << QStringList{} << false << "9876543200\n9876543210" << none << false
                                     << QStringList{"9876543210,9876543200"}
                                     << QStringList{"9876543210", "9876543200"} << "";
    QTest::newRow("five numbers declined")
        << QStringList{} << false << numbers(5).join('\n') << QList<Prompt::Answer>{Prompt::Answer::No}
        << true << QStringList{} << QStringList{} << "";
    QStringList five = numbers(5);
    std::reverse(five.begin(), five.end());
    QTest::newRow("five numbers confirmed")
        << QStringList{} << false << numbers(5).join('\n') << QList<Prompt::Answer>{Prompt::Answer::Yes}
        << true << QStringList{five.join(',')} << five << "";
    QStringList four = numbers(4);
    std::reverse(four.begin(), four.end());
    QTest::newRow("four numbers need no confirmation")
        << QStringList{} << false << numbers(4).join('\n') << none << false << QStringList{four.join(',')}
        << four << "";
    QTest::newRow("empty number box") << QStringList{} << false << "" << none << false << QStringList{}
                                      << QStringList{} << "There is no mobile number to send to.";
}

void TestBulkSend::sendFromScreen()
{
    QFETCH(QStringList, contacts);
    QFETCH(bool, selectContacts);
    QFETCH(QString, box);
    QFETCH(QList<Prompt::Answer>, answers);
    QFETCH(bool, asked);
    QFETCH(QStringList, requests);
    QFETCH(QStringList, rows);
    QFETCH(QString, message);

    GatewaySim sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim));
    for (const QString& c : contacts)
        f.addContact(c.section('|', 1), c.section('|', 0, 0), QStringLiteral("G"));
    ScriptedPrompt prompt;
    prompt.answers = answers;
    BulkSenderWindow screen(*f.context);
    quicken(screen);
    if (!contacts.isEmpty()) {
        child<QCheckBox>(&screen, "Check1")->click();
        child<QComboBox>(&screen, "ComGroup")->setEditText(QStringLiteral("G"));
        if (selectContacts)
            child<QListWidget>(&screen, "List1")->selectAll();
    } else {
        child<QPlainTextEdit>(&screen, "Text1")->setPlainText(box);
    }
    child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText(QStringLiteral("Hello"));

    QCoro::waitFor(screen.sendToRecipients());

    QStringList questions;
    for (const auto& s : prompt.shown)
        if (s.kind == QLatin1String("question"))
            questions << s.title + QLatin1Char('|') + s.text;
    if (asked)
        QCOMPARE(questions,
                 QStringList{QStringLiteral(" 5 - SMS |Are You Sure Want to Send \r\n 5\r\n    SMS     ")});
    else
        QCOMPARE(questions, QStringList{});
    QCOMPARE(sentTo(sim), requests);
    QCOMPARE(ledger(f), rows);
    QCOMPARE(prompt.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
    auto* response = child<QListWidget>(&screen, "List2");
    if (requests.isEmpty()) {
        QCOMPARE(response->count(), 0);
    } else {
        QCOMPARE(response->count(), 1);
        QCOMPARE(response->item(0)->text(), requests.last()); // the "number" mode echoes the numbers
    }
    if (asked && requests.isEmpty())
        QCOMPARE(child<QLabel>(&screen, "Lbbal1")->text(), QStringLiteral("Working"));
    QVERIFY(child<QPushButton>(&screen, "JeweledButton1")->isEnabled());
}

void TestBulkSend::twoHundredFiftyNumbersInThreeRequests()
{
    GatewaySim sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim));
    ScriptedPrompt prompt;
    prompt.answers = {Prompt::Answer::Yes};
    BulkSenderWindow screen(*f.context);
    QStringList list = numbers(250);
    QStringList typed = list;
    std::rotate(typed.begin(), typed.begin() + 97, typed.end());
    typed << list.mid(10, 5); // repeats
    child<QPlainTextEdit>(&screen, "Text1")->setPlainText(typed.join('\n'));
    child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText(QStringLiteral("Hi"));
    QCoro::waitFor(screen.sendToRecipients());

    const QStringList to = sentTo(sim);
    QCOMPARE(to.size(), 3);
    QList<int> sizes;
    QStringList all;
    for (const QString& t : to) {
        const QStringList part = t.split(',');
        sizes << int(part.size());
        all += part;
    }
    QCOMPARE(sizes, (QList<int>{100, 100, 50}));
    std::reverse(list.begin(), list.end());
    QCOMPARE(all, list); // every number once, in descending order
    QCOMPARE(ledger(f), list);
    QCOMPARE(prompt.shown[0].title, QStringLiteral(" 250 - SMS "));
}

void TestBulkSend::ledgerRowsAndCounter()
{
    GatewaySim sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim));
    ScriptedPrompt prompt;
    BulkSenderWindow screen(*f.context);
    child<QPlainTextEdit>(&screen, "Text1")->setPlainText(A + "\n" + B);
    child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText(QStringLiteral("Hello\nit's 50%+ here"));
    QCoro::waitFor(screen.sendToRecipients());

    // One line at the gateway, encoded; the line break stays in the ledger.
    const QList<QJsonObject> sent = requestsTo(sim, QStringLiteral("/send"));
    QCOMPARE(sent.size(), 1);
    const QJsonObject query = sent[0].value(QStringLiteral("query")).toObject();
    QCOMPARE(query.value(QStringLiteral("msg")).toString(), QStringLiteral("Helloit's 50%+ here"));
    QVERIFY(sent[0]
                .value(QStringLiteral("url"))
                .toString()
                .contains(QStringLiteral("msg=Helloit%27s+50%25%2B+here")));
    QCOMPARE(query.value(QStringLiteral("u")).toString(), QStringLiteral("ACME"));
    QCOMPARE(query.value(QStringLiteral("sid")).toString(), QStringLiteral("GSMID"));

    QSqlQuery q = f.store().query(QStringLiteral(
        "select Mobile, msg, RDTTM, SDTTm, typ, Uname, Status, ANS, Reply, Try from sms order by rowid"));
    const QRegularExpression dayFirst(QStringLiteral("^\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    QStringList mobiles;
    while (q.next()) {
        mobiles << q.value(0).toString();
        QCOMPARE(q.value(1).toString(), QStringLiteral("Hello\r\nit's 50%+ here"));
        QVERIFY(dayFirst.match(q.value(2).toString()).hasMatch());
        QVERIFY(iso.match(q.value(3).toString()).hasMatch());
        QCOMPARE(q.value(4).toInt(), 0);
        QCOMPARE(q.value(5).toString(), QStringLiteral("ACME"));
        QCOMPARE(q.value(6).toString(), QStringLiteral("P"));
        QVERIFY(q.value(7).isNull() && q.value(8).isNull() && q.value(9).isNull());
    }
    QCOMPARE(mobiles, (QStringList{A, B}));
    QCOMPARE(f.context->profile().smsId, 102);
    QCOMPARE(f.count(QStringLiteral("select Smsid from config where UName = 'ACME'")), 102);
    // The text sent shows among the earlier texts.
    QVERIFY(child<QComboBox>(&screen, "Combo2")->findText(QStringLiteral("Hello\r\nit's 50%+ here")) >= 0);
}

void TestBulkSend::gatewayFlagOff()
{
    GatewaySim sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim), QStringLiteral("X"), balanceUrl(sim));
    ScriptedPrompt prompt;
    BulkSenderWindow screen(*f.context);
    child<QPlainTextEdit>(&screen, "Text1")->setPlainText(A);
    child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText(QStringLiteral("Hi"));
    QCoro::waitFor(screen.sendToRecipients());
    QCOMPARE(requestsTo(sim, QStringLiteral("/send")).size(), 0);
    QCOMPARE(ledger(f), QStringList{});
    QCOMPARE(child<QListWidget>(&screen, "List2")->count(), 0);
    QCOMPARE(prompt.messages().size(), 1);
    QVERIFY(prompt.messages()[0].contains(QStringLiteral("nothing was sent")));
    QVERIFY(requestsTo(sim, QStringLiteral("/balance")).size() >= 1);
    QCOMPARE(child<QLabel>(&screen, "Lbbal1")->text(), QStringLiteral("Balance: 1000"));
}

void TestBulkSend::emptyAnswerIsAskedTwiceMore()
{
    GatewaySim sim({QStringLiteral("--send-mode"), QStringLiteral("empty")});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim));
    ScriptedPrompt prompt;
    prompt.answers = {Prompt::Answer::Yes};
    BulkSenderWindow screen(*f.context);
    quicken(screen);
    child<QPlainTextEdit>(&screen, "Text1")->setPlainText(numbers(150).join('\n'));
    child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText(QStringLiteral("Hi"));
    QCoro::waitFor(screen.sendToRecipients());
    // Each of the two requests is tried three times; nothing is recorded.
    QCOMPARE(requestsTo(sim, QStringLiteral("/send")).size(), 6);
    QCOMPARE(ledger(f), QStringList{});
    auto* response = child<QListWidget>(&screen, "List2");
    QCOMPARE(response->count(), 1);
    QCOMPARE(response->item(0)->text(), QString());
    QCOMPARE(f.context->profile().smsId, 100);
}

void TestBulkSend::oneAccountPerSend_data()
{
    // The console loads BETA before the send, or while the second of three
    // requests is being asked.
    QTest::addColumn<int>("switchAt");
    QTest::addColumn<QString>("account");
    QTest::addColumn<int>("acmeCounter");
    QTest::addColumn<int>("betaCounter");
    QTest::newRow("switched before the send") << 0 << "BETA" << 100 << 300;
    QTest::newRow("switched during the send") << 2 << "ACME" << 350 << 50;
}

void TestBulkSend::oneAccountPerSend()
{
    QFETCH(int, switchAt);
    QFETCH(QString, account);
    QFETCH(int, acmeCounter);
    QFETCH(int, betaCounter);
    GatewaySim sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim));
    f.addProfile(QStringLiteral("BETA"), sendUrl(sim), QStringLiteral("C"), 0, QString(), 50);
    ScriptedPrompt prompt;
    prompt.answers = {Prompt::Answer::Yes};
    BulkSenderWindow screen(*f.context);
    HttpFetcher http;
    hookFetch(screen, http, [&](int call) {
        if (call == switchAt)
            f.context->loadProfile(QStringLiteral("BETA"));
    });
    if (switchAt == 0)
        f.context->loadProfile(QStringLiteral("BETA"));
    compose(screen, numbers(250).join('\n'), QStringLiteral("Hi"));
    QCoro::waitFor(screen.sendToRecipients());

    QStringList users;
    for (const QJsonObject& r : requestsTo(sim, QStringLiteral("/send")))
        users << r.value(QStringLiteral("query")).toObject().value(QStringLiteral("u")).toString();
    QCOMPARE(users, QStringList(3, account));
    QCOMPARE(f.count(QStringLiteral("select count(*) from sms where Uname = ?"), {account}), 250);
    QCOMPARE(f.count(QStringLiteral("select Smsid from config where UName = 'ACME'")), acmeCounter);
    QCOMPARE(f.count(QStringLiteral("select Smsid from config where UName = 'BETA'")), betaCounter);
    QCOMPARE(f.context->profile().smsId, betaCounter); // BETA stays loaded
    QCOMPARE(child<QComboBox>(&screen, "Combo1")->currentText(), QStringLiteral("BETA"));
}

void TestBulkSend::failingRequestKeepsAnsweredBatches_data()
{
    QTest::addColumn<int>("failAt");
    QTest::newRow("first of three") << 1;
    QTest::newRow("second of three") << 2;
}

void TestBulkSend::failingRequestKeepsAnsweredBatches()
{
    QFETCH(int, failAt);
    GatewaySim sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim));
    ScriptedPrompt prompt;
    prompt.answers = {Prompt::Answer::Yes};
    BulkSenderWindow screen(*f.context);
    HttpFetcher http;
    hookFetch(screen, http, [&](int call) {
        if (call == failAt)
            sim.control(QStringLiteral("fail-next?count=1&mode=http500"));
    });
    compose(screen, numbers(250).join('\n'), QStringLiteral("Hi"));
    QCoro::waitFor(screen.sendToRecipients());

    const int recorded = (failAt - 1) * 100;
    QCOMPARE(prompt.messages().size(), 1);
    const QString text = prompt.messages()[0];
    QVERIFY2(text.contains(QStringLiteral("request %1 of 3").arg(failAt)), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("500")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("%1 of 250").arg(recorded)), qPrintable(text));
    QCOMPARE(ledger(f).size(), recorded);
    QCOMPARE(f.count(QStringLiteral("select Smsid from config where UName = 'ACME'")), 100 + recorded);
    QCOMPARE(requestsTo(sim, QStringLiteral("/send")).size(), failAt); // no batch after the failure
    // The response list shows the failure, not an earlier request's answer.
    auto* response = child<QListWidget>(&screen, "List2");
    QCOMPARE(response->count(), 1);
    QVERIFY2(response->item(0)->text().contains(QStringLiteral("HTTP 500")),
             qPrintable(response->item(0)->text()));
    QVERIFY(child<QPushButton>(&screen, "JeweledButton1")->isEnabled());
    QVERIFY(child<QComboBox>(&screen, "Combo1")->isEnabled());
}

void TestBulkSend::accountNameTooLongSendsNothing()
{
    GatewaySim sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim));
    f.store().exec(QStringLiteral("update config set UName = 'AN-ACCOUNT-NAME-16'"));
    f.context->loadProfile(QString());
    ScriptedPrompt prompt;
    BulkSenderWindow screen(*f.context);
    child<QPlainTextEdit>(&screen, "Text1")->setPlainText(A);
    child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText(QStringLiteral("Hi"));
    QCoro::waitFor(screen.sendToRecipients());
    QCOMPARE(requestsTo(sim, QStringLiteral("/send")).size(), 0);
    QCOMPARE(prompt.messages().size(), 1);
    QVERIFY(prompt.messages()[0].contains(QStringLiteral("nothing was sent")));
}

void TestBulkSend::buttonIsDisabledWhileSending()
{
    GatewaySim sim({QStringLiteral("--latency"), QStringLiteral("300")});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim));
    ScriptedPrompt prompt;
    BulkSenderWindow screen(*f.context);
    auto* send = child<QPushButton>(&screen, "JeweledButton1");
    // An empty message: the button does nothing.
    child<QPlainTextEdit>(&screen, "Text1")->setPlainText(A);
    send->click();
    QVERIFY(send->isEnabled());
    QCOMPARE(screen.runningOperations(), 0);

    child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText(QStringLiteral("Hi"));
    bool timerRan = false;
    QTimer::singleShot(50, [&] { timerRan = send->isEnabled() == false; });
    send->click();
    QVERIFY(!send->isEnabled());
    QVERIFY(!child<QComboBox>(&screen, "Combo1")->isEnabled());
    // A second click meanwhile does not start a second send.
    Q_EMIT send->clicked();
    QTRY_VERIFY_WITH_TIMEOUT(send->isEnabled(), 10000);
    QVERIFY(timerRan); // the event loop ran while the request was out
    QCOMPARE(requestsTo(sim, QStringLiteral("/send")).size(), 1);
    QCOMPARE(ledger(f), QStringList{A});
}

void TestBulkSend::balanceRefreshIsBounded()
{
    GatewaySim sim({QStringLiteral("--balance"), QString()});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    QVERIFY(sim.control(QStringLiteral("balance?text=")));
    BulkFixture f(sendUrl(sim), QStringLiteral("C"), balanceUrl(sim));
    BulkSender sender(*f.context);
    sender.settings().balanceRetries = 3;
    sender.settings().balanceRetryDelay = std::chrono::milliseconds(10);
    QStringList shown;
    connect(&sender, &BulkSender::balanceChanged, this, [&](const QString& t) { shown << t; });
    QCOMPARE(QCoro::waitFor(sender.refreshBalance()), QString());
    QCOMPARE(requestsTo(sim, QStringLiteral("/balance")).size(), 4);
    QCOMPARE(shown.size(), 4);

    // The deadline ends the retries first.
    sim.control(QStringLiteral("reset"));
    sim.control(QStringLiteral("balance?text="));
    sender.settings().balanceRetries = 100;
    sender.settings().balanceRetryDelay = std::chrono::milliseconds(100);
    sender.settings().balanceDeadline = std::chrono::milliseconds(450);
    QCoro::waitFor(sender.refreshBalance());
    const int asked = int(requestsTo(sim, QStringLiteral("/balance")).size());
    QVERIFY2(asked >= 2 && asked <= 5, qPrintable(QString::number(asked)));

    // A balance server that does not answer gives a text, not an error.
    sim.control(QStringLiteral("balance?text=Balance: 7"));
    sim.control(QStringLiteral("fail-next?count=1&mode=http500"));
    const QString text = QCoro::waitFor(sender.refreshBalance());
    QVERIFY2(text.startsWith(QStringLiteral("Balance not available: ")), qPrintable(text));
}

void TestBulkSend::timerFetchesBalanceAfterAccountChange()
{
    GatewaySim sim({QStringLiteral("--balance"), QStringLiteral("Balance: 42")});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim), QStringLiteral("C"), balanceUrl(sim));
    BulkSenderWindow screen(*f.context);
    auto* label = child<QLabel>(&screen, "Lbbal1");
    QCOMPARE(label->text(), QStringLiteral("Working..."));
    QTRY_COMPARE(label->text(), QStringLiteral("Balance: 42"));
    const QList<QJsonObject> asked = requestsTo(sim, QStringLiteral("/balance"));
    QCOMPARE(asked.size(), 1); // the timer stops after its fetch
    QCOMPARE(asked[0].value(QStringLiteral("query")).toObject().value(QStringLiteral("u")).toString(),
             QStringLiteral("ACME"));
    QTest::qWait(700);
    QCOMPARE(requestsTo(sim, QStringLiteral("/balance")).size(), 1);
}

void TestBulkSend::counterAtItsLargestValueStillRecords()
{
    BulkFixture f;
    f.store().exec(QStringLiteral("update config set Smsid = ?"), {std::numeric_limits<qint32>::max() - 1});
    f.context->loadProfile(QString());
    BulkSender sender(*f.context);
    QCOMPARE(
        sender.record({A, B, QStringLiteral("9000000000")}, QStringLiteral("Hi"), QStringLiteral("ACME")), 3);
    QCOMPARE(ledger(f), (QStringList{A, B, QStringLiteral("9000000000")}));
    QCOMPARE(f.context->profile().smsId, std::numeric_limits<qint32>::max());
    QCOMPARE(f.store().scalar(QStringLiteral("select Smsid from config where UName = 'ACME'")).toLongLong(),
             qint64(std::numeric_limits<qint32>::max()));
}

void TestBulkSend::closingDuringASendWaitsForIt_data()
{
    QTest::addColumn<bool>("reopen");
    QTest::newRow("closed") << false;
    QTest::newRow("opened again meanwhile") << true;
}

void TestBulkSend::closingDuringASendWaitsForIt()
{
    QFETCH(bool, reopen);
    GatewaySim sim({QStringLiteral("--latency"), QStringLiteral("300")});
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorString()));
    BulkFixture f(sendUrl(sim));
    ScriptedPrompt prompt;
    QPointer<BulkSenderWindow> screen = new BulkSenderWindow(*f.context);
    screen->setAttribute(Qt::WA_DeleteOnClose);
    screen->show();
    child<QPlainTextEdit>(screen, "Text1")->setPlainText(A);
    child<QPlainTextEdit>(screen, "tXTsms")->setPlainText(QStringLiteral("Hi"));
    child<QPushButton>(screen, "JeweledButton1")->click();
    child<QPushButton>(screen, "JeweledButton2")->click(); // E&XIT while the request is out
    QVERIFY(screen);
    QVERIFY(screen->isHidden());
    if (reopen) {
        screen->show(); // as the console's menu shows an open screen
        child<QPlainTextEdit>(screen, "Text1")->setPlainText(B);
        QTRY_COMPARE_WITH_TIMEOUT(screen->runningOperations(), 0, 10000);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(screen);
        QVERIFY(screen->isVisible());
        QCOMPARE(child<QPlainTextEdit>(screen, "Text1")->toPlainText(), B);
        delete screen;
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!screen, 10000);
    }
    // The answered request was recorded before the screen went.
    QCOMPARE(ledger(f), QStringList{A});
}

QTEST_MAIN(TestBulkSend)
#include "tst_bulksend.moc"

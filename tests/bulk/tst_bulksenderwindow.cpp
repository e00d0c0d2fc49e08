#include "ScriptedPrompt.h"
#include "StoreFixture.h"

#include "bulk/BulkSender.h"
#include "bulk/ui/BulkScreens.h"
#include "bulk/ui/BulkSenderWindow.h"
#include "bulk/ui/ContactsWindow.h"
#include "channels/HttpFetcher.h"
#include "gateway/GatewaySim.h"
#include "ui/ScreenRegistry.h"

#include <QtTest>
#include <QtWidgets>
#include <limits>

using namespace Qt::StringLiterals;

namespace {
const QString A = "9876543210";
const QString B = "9123456789";

// Without a balance address, so that no screen asks for one.
struct BulkStore : StoreFixture
{
    BulkStore() { loadDefaultProfile("ACME", {{"balstr", QVariant()}}); }
    void contact(const QString& name, const QString& mobile, const QString& group)
    {
        insert("Clist", {{"Nm", name}, {"mob", mobile}, {"GRP", group}});
    }
    QStringList contacts()
    {
        return column("select Nm || '|' || mob || '|' || GRP from Clist order by rowid");
    }
};

template <typename W = QWidget> W* child(QWidget* screen, const char* name)
{
    W* w = screen->findChild<W*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}
void click(QWidget* screen, const char* name)
{
    child<QAbstractButton>(screen, name)->click();
}

QStringList texts(QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

QList<int> selectedRows(QListWidget* list)
{
    QList<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            rows << i;
    return rows;
}

// Group mode with the group's contacts listed.
void showGroup(BulkSenderWindow& screen, const QString& group)
{
    click(&screen, "Check1");
    child<QComboBox>(&screen, "ComGroup")->setEditText(group);
}
QStringList numbers(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QString::number(9000000000LL + i);
    return list;
}

// Contacts are "mobile|name" in group G; any contact means group mode.
struct Send
{
    QStringList contacts;
    bool selectContacts;
    QString box;
    Prompt::Answer answer;
    bool asked;
    QStringList rows;
    QString message = {};
};

QStringList descending(QStringList list)
{
    std::sort(list.begin(), list.end(), std::greater<>());
    return list;
}

// A gateway, the account ACME sending to it (asking it for the balance only when told) and the bulk
// sender's screen, with short retry delays.
struct Sending : StoreFixture
{
    explicit Sending(const QStringList& gatewayArguments = {}, bool balance = false) : sim(gatewayArguments)
    {
        if (!sim.isRunning())
            qFatal("gateway: %s", qPrintable(sim.errorString()));
        loadDefaultProfile(
            "ACME", {{"Provider", sendUrl()},
                     {"balstr", balance ? QVariant(sim.baseUrl() + "/balance?u=<UName>") : QVariant()}});
    }
    QString sendUrl() const
    {
        return sim.baseUrl() + "/send?u=<UName>&p=<PassWord>&to=<mobile>&sid=<GsmSid>&msg=<msg>";
    }
    BulkSenderWindow& open()
    {
        screen = new BulkSenderWindow(context());
        screen->setAttribute(Qt::WA_DeleteOnClose);
        screen->sender().settings().retryDelay = std::chrono::milliseconds(10);
        screen->sender().settings().balanceRetryDelay = std::chrono::milliseconds(10);
        return *screen;
    }
    void compose(const QString& box, const QString& text)
    {
        child<QPlainTextEdit>(screen, "Text1")->setPlainText(box);
        child<QPlainTextEdit>(screen, "tXTsms")->setPlainText(text);
    }
    void send() { QCoro::waitFor(screen->sendToRecipients()); }
    // Requests go to the gateway as usual; before(n) runs just ahead of the n-th.
    void hookFetch(std::function<void(int)> before)
    {
        screen->sender().setFetch(
            [this, before, calls = 0](QString url, BulkSender::Client,
                                      std::chrono::milliseconds) mutable -> QCoro::Task<QString> {
                before(++calls);
                co_return co_await http.fetch(url);
            });
    }
    QList<QJsonObject> requestsTo(const QString& path)
    {
        QList<QJsonObject> out;
        for (const QJsonObject& r : sim.requests())
            if (r.value("path").toString() == path)
                out << r;
        return out;
    }
    QStringList sent(const QString& parameter = "to")
    {
        QStringList values;
        for (const QJsonObject& r : requestsTo("/send"))
            values << r.value("query").toObject().value(parameter).toString();
        return values;
    }
    QStringList ledger() { return column("select Mobile from sms order by rowid"); }
    int counter(const QString& account)
    {
        return store().scalar("select Smsid from config where UName = ?", {account}).toInt();
    }
    QString response()
    {
        auto* list = child<QListWidget>(screen, "List2");
        return list->count() == 1 ? list->item(0)->text() : u"%1 lines"_s.arg(list->count());
    }

    GatewaySim sim;
    ScriptedPrompt prompt;
    HttpFetcher http;
    QPointer<BulkSenderWindow> screen;
    ~Sending() { delete screen; }
};
} // namespace

class TestBulkSenderWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { ScreenRegistry::instance().clear(); }

    void accountBox()
    {
        BulkStore f;
        f.addProfile(
            "SECOND",
            {{"Provider", "http://second/<mobile>/<msg>"}, {"GsmSid", "G2"}, {"CDMASid", QVariant()}});
        f.addProfile("GONE");
        ScriptedPrompt prompt;
        BulkSenderWindow screen(f.context());
        screen.show();
        auto* accounts = child<QComboBox>(&screen, "Combo1");
        auto* senderIds = child<QLabel>(&screen, "Label3");
        QCOMPARE(texts(accounts), (QStringList{"ACME", "SECOND", "GONE"}));
        QCOMPARE(accounts->currentText(), u"ACME");
        QCOMPARE(senderIds->text(), u" GSM : GSMID    CDMA : CDMAID");
        QCOMPARE(child<QLabel>(&screen, "Lbbal1")->text(), u"Working...");
        const auto choose = [accounts](int index) {
            accounts->setCurrentIndex(index);
            Q_EMIT accounts->activated(index);
        };
        choose(1);
        QCOMPARE(f.context().profile().userName, u"SECOND");
        QCOMPARE(f.context().profile().sendUrl, u"http://second/<mobile>/<msg>");
        QCOMPARE(senderIds->text(), u" GSM : G2    CDMA : ");

        // An account removed since the list was read: the operator is told and the loaded one stays.
        f.store().exec("delete from config where UName = 'GONE'");
        choose(2);
        QCOMPARE(prompt.messages.size(), 1);
        QVERIFY(prompt.messages[0].text.contains("GONE"));
        QCOMPARE(prompt.messages[0].icon, Prompt::Icon::Critical);
        QCOMPARE(f.context().profile().userName, u"SECOND");
        QCOMPARE(accounts->currentText(), u"SECOND");

        // The console loads an account added since the screen opened: shown when the screen comes up.
        f.addProfile("THIRD", {{"GsmSid", "G3"}});
        f.context().loadProfile("THIRD");
        screen.hide();
        screen.show();
        QCOMPARE(accounts->currentText(), u"THIRD");
        QCOMPARE(senderIds->text(), u" GSM : G3    CDMA : CDMAID");
    }

    void messageAndNumberEditing()
    {
        BulkStore f;
        for (const char* text : {"first\r\nline", "other", "other"})
            f.ledger("1", {{"msg", text}});
        BulkSenderWindow screen(f.context());
        auto* message = child<QPlainTextEdit>(&screen, "tXTsms");
        message->setPlainText(QString(479, u'a'));
        message->moveCursor(QTextCursor::End);
        QTest::keyClicks(message, "bc");
        QCOMPARE(message->toPlainText(), QString(479, u'a') + "b");
        // A paste that does not fit is cut to what fits, at the place it went.
        message->setPlainText(QString(470, u'a'));
        message->moveCursor(QTextCursor::Start);
        message->insertPlainText(QString(20, u'z'));
        QCOMPARE(message->toPlainText(), QString(10, u'z') + QString(470, u'a'));
        QCOMPARE(child<QLabel>(&screen, "Lb1")->text(), u"480/ 4");

        // The earlier texts, each once, fill the message.
        auto* earlier = child<QComboBox>(&screen, "Combo2");
        QCOMPARE(earlier->count(), 2);
        const int index = earlier->findText("first\r\nline");
        QVERIFY(index >= 0);
        earlier->setCurrentIndex(index);
        Q_EMIT earlier->activated(index);
        QCOMPARE(message->toPlainText(), u"first\nline");

        auto* numbers = child<QPlainTextEdit>(&screen, "Text1");
        QTest::keyClicks(numbers, "98a7");
        QTest::keyClick(numbers, Qt::Key_Return);
        QTest::keyClicks(numbers, "1-2");
        QCOMPARE(numbers->toPlainText(), u"987\n12");
    }

    void groupMode()
    {
        BulkStore f;
        f.contact("RAVI", A, "STAFF");
        f.contact("ASHA", B, "STAFF");
        f.contact("ELSE", "9000000000", "OTHER");
        BulkSenderWindow screen(f.context());
        auto* picker = child<QComboBox>(&screen, "ComGroup");
        auto* numbers = child<QPlainTextEdit>(&screen, "Text1");
        auto* list = child<QListWidget>(&screen, "List1");
        auto* count = child<QLabel>(&screen, "Label11");
        QStringList groups = texts(picker);
        groups.sort();
        QCOMPARE(groups, (QStringList{"OTHER", "STAFF"}));
        QVERIFY(!picker->isEnabled() && numbers->isEnabled() && count->isHidden());

        // The group's contacts take the place of the number box.
        click(&screen, "Check1");
        QVERIFY(picker->isEnabled() && !numbers->isEnabled() && !count->isHidden());
        // A click on the selection count closes the import panel.
        click(&screen, "JeweledButton5");
        QVERIFY(!child(&screen, "Frame3")->isHidden());
        QTest::mouseClick(count, Qt::LeftButton);
        QVERIFY(child(&screen, "Frame3")->isHidden());
        picker->setCurrentIndex(picker->findText("STAFF"));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), A + "-RAVI");
        QCOMPARE(list->item(1)->text(), B + "-ASHA");
        QCOMPARE(count->text(), u"Selected :  0");
        list->item(1)->setSelected(true);
        QCOMPARE(count->text(), u"Selected :  1");
        for (const auto& [option, selected] :
             {std::pair{2, QList<int>{0}}, {1, {0, 1}}, {2, {}}, {1, {0, 1}}, {0, {}}}) {
            list->setCurrentRow(1, QItemSelectionModel::NoUpdate);
            click(&screen, qPrintable(u"OpSELECT_%1"_s.arg(option)));
            QCOMPARE(selectedRows(list), selected);
            QCOMPARE(list->currentRow(), 0);
            QCOMPARE(count->text(), u"Selected :  %1"_s.arg(selected.size()));
            QVERIFY(list->updatesEnabled());
        }
        // A group text with a quote is looked up as typed, without an error.
        picker->setEditText("IT'S");
        QCOMPARE(list->count(), 0);

        picker->setEditText("STAFF");
        click(&screen, "Check1");
        QVERIFY(!picker->isEnabled() && numbers->isEnabled());
        QCOMPARE(list->count(), 0);

        // NEW switches group mode off as well.
        showGroup(screen, "STAFF");
        child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText("hello");
        click(&screen, "JeweledButton7");
        QVERIFY(!child<QCheckBox>(&screen, "Check1")->isChecked());
        QCOMPARE(list->count(), 0);
        QVERIFY(child<QPlainTextEdit>(&screen, "tXTsms")->toPlainText().isEmpty());
    }

    void deleteSelected_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::addRow("yes") << true;
        QTest::addRow("no") << false;
    }
    void deleteSelected()
    {
        QFETCH(bool, confirm);
        BulkStore f;
        for (const char* g : {"STAFF", "OTHER"}) {
            f.contact("RAVI", A, g);
            f.contact("ASHA", B, g);
        }
        ScriptedPrompt prompt;
        prompt.answers = {confirm ? Prompt::Answer::Yes : Prompt::Answer::No};
        BulkSenderWindow screen(f.context());
        showGroup(screen, "STAFF");
        auto* deleteButton = child<QPushButton>(&screen, "JeweledButton6");
        QVERIFY(deleteButton->isHidden());
        click(&screen, "Check2");
        QVERIFY(!deleteButton->isHidden());

        click(&screen, "OpSELECT_1");
        deleteButton->click();
        QCOMPARE(prompt.questions.size(), 1);
        QCOMPARE(prompt.questions[0].text, u"Are You Sure Want To Delete Selected Contect");
        QVERIFY(prompt.messages.isEmpty());
        QCOMPARE(f.column("select GRP from Clist order by rowid"),
                 (confirm ? QStringList{"OTHER", "OTHER"} : QStringList{"STAFF", "STAFF", "OTHER", "OTHER"}));
        QCOMPARE(child<QListWidget>(&screen, "List1")->count(), confirm ? 0 : 2);
        auto* picker = child<QComboBox>(&screen, "ComGroup");
        QCOMPARE(picker->findText("STAFF") >= 0, !confirm);
        QCOMPARE(picker->currentText(), u"STAFF");
        click(&screen, "Check2");
        QVERIFY(deleteButton->isHidden());
    }

    void contactScreen()
    {
        BulkStore f;
        ScriptedPrompt prompt;
        registerBulkScreens(f.context());
        auto* screen = qobject_cast<BulkSenderWindow*>(ScreenRegistry::instance().show(Screens::BulkSender));
        QVERIFY(screen);
        click(screen, "JeweledButton3");
        auto* form = qobject_cast<ContactsWindow*>(ScreenRegistry::instance().open(Screens::Contacts));
        QVERIFY(form && form->isVisible());
        auto* picker = child<QComboBox>(screen, "ComGroup");
        QCOMPARE(picker->count(), 0);
        auto* number = child<QLineEdit>(form, "TxtNumber");
        auto* name = child<QLineEdit>(form, "TxtName");
        auto* group = child<QComboBox>(form, "ComGrp");
        // Names and groups are typed in capitals, without apostrophes; numbers in digits.
        for (const auto& [field, typed, shown] : {std::tuple{"TxtName", "ravi's", u"RAVIS"_s},
                                                  {"ComGrp", "st'aff", u"STAFF"_s},
                                                  {"TxtNumber", "98a7", u"987"_s}}) {
            QTest::keyClicks(child<QWidget>(form, field), typed);
            QCOMPARE(field == std::string_view("ComGrp") ? group->currentText()
                                                         : child<QLineEdit>(form, field)->text(),
                     shown);
        }
        // What the screen says to each answer of the book (the book decides them); no group is Non.
        using enum Prompt::Icon;
        for (const auto& [typed, said, icon] :
             {std::tuple{u"12345"_s, u"Please Check Mobile Number"_s, Critical},
              {A, u"RECORD SAVED "_s, Information},
              {A, "RECORD ALL READY EXITST\r\n" + A + "\r\nRAVI\r\nNon", Critical}}) {
            number->setText(typed);
            name->setText("RAVI");
            group->setEditText("");
            prompt.messages.clear();
            click(form, "CmdSave");
            QCOMPARE(prompt.messages.size(), 1);
            QCOMPARE(prompt.messages[0].text, said);
            QCOMPARE(prompt.messages[0].title, QString());
            QCOMPARE(prompt.messages[0].icon, icon);
        }
        QCOMPARE(f.contacts(), QStringList{"RAVI|" + A + "|Non"});
        QCOMPARE(texts(picker), QStringList{"Non"});
        QCOMPARE(texts(group), QStringList{"Non"});
        // The fields keep their text until NEW.
        QCOMPARE(number->text(), A);
        QCOMPARE(group->currentText(), u"Non");
        click(form, "CmdNew");
        QVERIFY(number->text().isEmpty() && name->text().isEmpty() && group->currentText().isEmpty());
        // The contact screen is opened once; a second click brings it forward.
        click(screen, "JeweledButton3");
        QCOMPARE(ScreenRegistry::instance().open(Screens::Contacts), form);
        form->close();
        screen->close();
        QTRY_VERIFY(!ScreenRegistry::instance().open(Screens::BulkSender));
    }

    void initTestCase()
    {
        QProcess python;
        const QString script = qEnvironmentVariable("SMS_SOURCE_DIR") + "/tests/bulk/contact_sheets.py";
        python.start("/usr/bin/python3", {script, m_files.home(), A, B});
        QVERIFY(python.waitForFinished(60000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
        m_files.writeFile("contacts.csv",
                          u"Mobile,Name\r\n%1,RAVI\r\n12345,X\r\n\r\n%2,ASHA\r\n"_s.arg(A, B).toUtf8());
        m_files.writeFile("wide.csv", u"%1,RAVI\r\n98765432101,TOO LONG\r\n"_s.arg(A).toUtf8());
    }

    void importFromScreen_data()
    {
        QTest::addColumn<QString>("file"); // empty: the picker is cancelled
        QTest::addColumn<bool>("excel");
        QTest::addColumn<bool>("direct");  // to the number box instead of the contacts
        QTest::addColumn<QString>("says"); // of a refused file
        QTest::addRow("xls to contacts") << u"contacts.xls"_s << true << false << QString();
        QTest::addRow("xlsx to contacts") << u"contacts.xlsx"_s << true << false << QString();
        QTest::addRow("csv to contacts") << u"contacts.csv"_s << false << false << QString();
        QTest::addRow("xls to the number box") << u"contacts.xls"_s << true << true << QString();
        QTest::addRow("xlsx to the number box") << u"contacts.xlsx"_s << true << true << QString();
        QTest::addRow("csv to the number box") << u"contacts.csv"_s << false << true << QString();
        QTest::addRow("corrupt xls") << u"corrupt.xls"_s << true << false << u"cannot be read"_s;
        QTest::addRow("missing file") << u"missing.xlsx"_s << true << false << u"cannot be read"_s;
        QTest::addRow("csv under Excel") << u"contacts.csv"_s << true << false << u"not an Excel workbook"_s;
        QTest::addRow("workbook under Text / CSV")
            << u"contacts.xls"_s << false << false << u"not a text or CSV file"_s;
        QTest::addRow("number too wide") << u"wide.csv"_s << false << false << u"Row 2:"_s;
        QTest::addRow("picker cancelled") << QString() << true << false << QString();
    }
    void importFromScreen()
    {
        QFETCH(QString, file);
        QFETCH(bool, excel);
        QFETCH(bool, direct);
        QFETCH(QString, says);
        const bool added = !file.isEmpty() && says.isEmpty();
        BulkStore f;
        ScriptedPrompt prompt;
        if (!file.isEmpty())
            prompt.files = {m_files.path(file)};
        BulkSenderWindow screen(f.context());
        auto* numbers = child<QPlainTextEdit>(&screen, "Text1");
        numbers->setPlainText("1111111111\n");
        click(&screen, "JeweledButton5");
        click(&screen, excel ? "OpExel" : "Option2");
        click(&screen, direct ? "Option3" : "Option4");
        QCoro::waitFor(screen.importFile());

        QCOMPARE(prompt.fileDialogs.size(), 1);
        QVERIFY(
            prompt.fileDialogs[0].title.startsWith(excel ? "[ Excel File Only ]" : "[ txt/CSV File Only ]"));
        QCOMPARE(numbers->toPlainText(), added && direct ? A + "\n" : u"1111111111\n"_s);
        QCOMPARE(f.contacts(), added && !direct ? QStringList{"RAVI|" + A + "|DEFULT"} : QStringList{});
        QVERIFY(child(&screen, "JeweledButton4")->isEnabled());
        // A refused file or a cancelled picker leaves the panel open for another try.
        QCOMPARE(child(&screen, "Frame3")->isHidden(), added);
        if (added) {
            QCOMPARE(prompt.messageTexts(), QStringList{" 1  Records Add to Group"});
            QCOMPARE(child<QLineEdit>(&screen, "TxtGrp1")->text(), u"DEFULT");
            QCOMPARE(child<QComboBox>(&screen, "ComGroup")->findText("DEFULT") >= 0, !direct);
            return;
        }
        QCOMPARE(prompt.messages.size(), says.isEmpty() ? 0 : 1);
        QVERIFY(!file.isEmpty() || child<QLineEdit>(&screen, "TxtGrp1")->text().isEmpty());
        for (const auto& shown : prompt.messages) {
            QVERIFY2(shown.text.contains(says) && shown.text.contains("Nothing was added."),
                     qPrintable(shown.text));
            QCOMPARE(shown.icon, Prompt::Icon::Critical);
        }
    }

    void sendFromScreen_data()
    {
        QTest::addColumn<Send>("r");
        const auto no = Prompt::Answer::No, yes = Prompt::Answer::Yes;
        const QString nobody = "There is no mobile number to send to.";
        const auto row = [](const char* tag, const Send& r) { QTest::newRow(tag) << r; };
        const QStringList none, five = descending(numbers(5)), four = descending(numbers(4));
        row("group mode, two selected", {{A + "|RAVI", B + "|ASHA"}, true, "", no, false, {A, B}});
        row("group mode keeps a leading zero",
            {{"0987654321|ZERO", A + "|RAVI"}, true, "", no, false, {A, "0987654321"}});
        row("group mode, nothing selected", {{A + "|RAVI"}, false, "", no, false, none, nobody});
        row("number box with repeats", {none, false, B + "\n" + A + "\n" + B + "\n", no, false, {A, B}});
        row("final zero kept",
            {none, false, "9876543200\n9876543210", no, false, {"9876543210", "9876543200"}});
        row("five numbers declined", {none, false, numbers(5).join('\n'), no, true, none});
        row("five numbers confirmed", {none, false, numbers(5).join('\n'), yes, true, five});
        row("four numbers need no confirmation", {none, false, numbers(4).join('\n'), no, false, four});
        row("empty number box", {none, false, "", no, false, none, nobody});
    }
    void sendFromScreen()
    {
        QFETCH(Send, r);
        const auto& [contacts, selectContacts, box, answer, asked, rows, message] = r;
        // One request for these few numbers, in the ledger's order.
        const QStringList requests = rows.isEmpty() ? QStringList{} : QStringList{rows.join(',')};

        Sending s;
        for (const QString& c : contacts)
            s.insert("Clist", {{"Nm", c.section('|', 1)}, {"mob", c.section('|', 0, 0)}, {"GRP", "G"}});
        s.prompt.answers = {answer};
        BulkSenderWindow& screen = s.open();
        if (!contacts.isEmpty()) {
            showGroup(screen, "G");
            if (selectContacts)
                child<QListWidget>(&screen, "List1")->selectAll();
        }
        s.compose(box, "Hello");
        s.send();

        QStringList questions;
        for (const auto& q : s.prompt.questions)
            questions << q.title + "|" + q.text;
        QCOMPARE(questions, asked ? QStringList{" 5 - SMS |Are You Sure Want to Send \r\n 5\r\n    SMS     "}
                                  : QStringList{});
        QCOMPARE(s.sent(), requests);
        QCOMPARE(s.ledger(), rows);
        QCOMPARE(s.prompt.messageTexts(), message.isEmpty() ? QStringList{} : QStringList{message});
        // The "number" mode echoes the numbers of the last request.
        QCOMPARE(s.response(), requests.isEmpty() ? u"0 lines"_s : requests.last());
        if (asked && requests.isEmpty())
            QCOMPARE(child<QLabel>(&screen, "Lbbal1")->text(), u"Working");
        QVERIFY(child(&screen, "JeweledButton1")->isEnabled());
    }

    void ledgerRowsAndCounter()
    {
        Sending s;
        s.open();
        s.compose(A + "\n" + B, "Hello\nit's 50%+ here");
        s.send();

        // One line at the gateway, encoded; the line break stays in the ledger.
        const QList<QJsonObject> sent = s.requestsTo("/send");
        QCOMPARE(sent.size(), 1);
        QCOMPARE(s.sent("msg"), QStringList{"Helloit's 50%+ here"});
        QVERIFY(sent[0].value("url").toString().contains("msg=Helloit%27s+50%25%2B+here"));
        QCOMPARE(s.sent("u"), QStringList{"ACME"});
        QCOMPARE(s.sent("sid"), QStringList{"GSMID"});

        const QString row = u"|Hello\r\nit's 50%+ here|05-03-2024 14:05:09|2024-03-05 14:05:09|0ACMEP|none"_s;
        QCOMPARE(
            s.column("select Mobile || '|' || msg || '|' || rdttm || '|' || sdttm || '|' || typ || uname || "
                     "status || '|' || coalesce(ans, reply, try, 'none') from sms order by rowid"),
            (QStringList{A + row, B + row}));
        QCOMPARE(s.context().profile().smsId, 102);
        QCOMPARE(s.counter("ACME"), 102);
        // The text sent shows among the earlier texts.
        QVERIFY(child<QComboBox>(s.screen, "Combo2")->findText("Hello\r\nit's 50%+ here") >= 0);
    }

    void refusedAccountSendsNothing_data()
    {
        QTest::addColumn<QString>("breakSql");
        QTest::addRow("gateway flag off") << u"update config set ConSrt = 'X'"_s;
        QTest::addRow("account name too long") << u"update config set UName = 'AN-ACCOUNT-NAME-16'"_s;
    }
    void refusedAccountSendsNothing()
    {
        QFETCH(QString, breakSql);
        Sending s({}, true);
        s.store().exec(breakSql);
        s.context().loadProfile(QString());
        BulkSenderWindow& screen = s.open();
        s.compose(A, "Hi");
        s.send();
        QCOMPARE(s.requestsTo("/send").size(), 0);
        QCOMPARE(s.ledger(), QStringList{});
        QCOMPARE(s.response(), u"0 lines");
        QCOMPARE(s.prompt.messages.size(), 1);
        QVERIFY(s.prompt.messages[0].text.contains("nothing was sent"));
        // The balance is still asked for and shown.
        QVERIFY(s.requestsTo("/balance").size() >= 1);
        QCOMPARE(child<QLabel>(&screen, "Lbbal1")->text(), u"Balance: 1000");
    }

    void emptyAnswerIsAskedTwiceMore()
    {
        Sending s({"--send-mode", "empty"});
        s.prompt.answers = {Prompt::Answer::Yes};
        s.open();
        s.compose(numbers(150).join('\n'), "Hi");
        s.send();
        // Each of the two requests is tried three times; nothing is recorded.
        QCOMPARE(s.requestsTo("/send").size(), 6);
        QCOMPARE(s.ledger(), QStringList{});
        QCOMPARE(s.response(), QString());
        QCOMPARE(s.context().profile().smsId, 100);
        QCOMPARE(s.counter("ACME"), 100);
    }

    void oneAccountPerSend_data()
    {
        // The console loads BETA before the send, or while the second of three requests is being asked.
        QTest::addColumn<int>("switchAt");
        QTest::addColumn<QString>("account");
        QTest::addColumn<int>("acmeCounter");
        QTest::addColumn<int>("betaCounter");
        QTest::addRow("switched before the send") << 0 << u"BETA"_s << 100 << 300;
        QTest::addRow("switched during the send") << 2 << u"ACME"_s << 350 << 50;
    }
    void oneAccountPerSend()
    {
        QFETCH(int, switchAt);
        QFETCH(QString, account);
        QFETCH(int, acmeCounter);
        QFETCH(int, betaCounter);
        Sending s;
        s.addProfile("BETA", {{"Provider", s.sendUrl()}, {"Smsid", 50}});
        s.prompt.answers = {Prompt::Answer::Yes};
        s.open();
        s.hookFetch([&](int call) {
            if (call == switchAt)
                s.context().loadProfile("BETA");
        });
        if (switchAt == 0)
            s.context().loadProfile("BETA");
        QStringList typed = numbers(250);
        std::rotate(typed.begin(), typed.begin() + 97, typed.end());
        typed << numbers(250).mid(10, 5); // repeats
        s.compose(typed.join('\n'), "Hi");
        s.send();

        QCOMPARE(s.prompt.questions[0].title, u" 250 - SMS ");
        QList<int> sizes;
        QStringList all;
        for (const QString& t : s.sent()) {
            sizes << int(t.split(',').size());
            all += t.split(',');
        }
        QCOMPARE(sizes, (QList<int>{100, 100, 50}));
        QCOMPARE(all, descending(numbers(250))); // every number once
        QCOMPARE(s.ledger(), all);
        QCOMPARE(s.sent("u"), QStringList(3, account));
        QCOMPARE(s.column("select count(*) from sms where Uname = ?", {account}), QStringList{"250"});
        QCOMPARE(s.counter("ACME"), acmeCounter);
        QCOMPARE(s.counter("BETA"), betaCounter);
        QCOMPARE(s.context().profile().smsId, betaCounter); // BETA stays loaded
        QCOMPARE(child<QComboBox>(s.screen, "Combo1")->currentText(), u"BETA");
    }

    void failingRequestKeepsAnsweredBatches_data()
    {
        QTest::addColumn<int>("failAt");
        QTest::addRow("first of three") << 1;
        QTest::addRow("second of three") << 2;
    }
    void failingRequestKeepsAnsweredBatches()
    {
        QFETCH(int, failAt);
        Sending s;
        s.prompt.answers = {Prompt::Answer::Yes};
        BulkSenderWindow& screen = s.open();
        s.hookFetch([&](int call) {
            if (call == failAt)
                s.sim.control("fail-next?count=1&mode=http500");
        });
        s.compose(numbers(250).join('\n'), "Hi");
        s.send();

        const int recorded = (failAt - 1) * 100;
        QCOMPARE(s.prompt.messages.size(), 1);
        const QString text = s.prompt.messages[0].text;
        QVERIFY2(text.contains(u"request %1 of 3"_s.arg(failAt)), qPrintable(text));
        QVERIFY2(text.contains("500"), qPrintable(text));
        QVERIFY2(text.contains(u"%1 of 250"_s.arg(recorded)), qPrintable(text));
        QCOMPARE(s.ledger(), descending(numbers(250)).mid(0, recorded));
        QCOMPARE(s.counter("ACME"), 100 + recorded);
        QCOMPARE(s.requestsTo("/send").size(), failAt); // no batch after the failure
        // The response list shows the failure, not an earlier request's answer.
        QVERIFY2(s.response().contains("HTTP 500"), qPrintable(s.response()));
        QVERIFY(child(&screen, "JeweledButton1")->isEnabled());
        QVERIFY(child(&screen, "Combo1")->isEnabled());
    }

    // Cancel stops after the request under way: that one is recorded, no later one is fired.
    void cancelStopsAfterTheRunningRequest_data()
    {
        QTest::addColumn<int>("cancelAt");
        QTest::addRow("during the first of three") << 1;
        QTest::addRow("during the second of three") << 2;
    }
    void cancelStopsAfterTheRunningRequest()
    {
        QFETCH(int, cancelAt);
        Sending s;
        s.prompt.answers = {Prompt::Answer::Yes};
        BulkSenderWindow& screen = s.open();
        auto* cancel = child<QPushButton>(&screen, "cancelSendButton");
        auto* label = child<QLabel>(&screen, "sendProgressLabel");
        QStringList progress;
        s.hookFetch([&](int call) {
            progress << label->text();
            if (call == cancelAt) {
                QVERIFY(cancel->isEnabled());
                cancel->click();
            }
        });
        s.compose(numbers(250).join('\n'), "Hi");
        s.send();

        const int recorded = cancelAt * 100;
        QCOMPARE(progress.front(), u"Requests 0 of 3"_s);
        QCOMPARE(progress.back(), u"Requests %1 of 3"_s.arg(cancelAt - 1));
        QCOMPARE(s.requestsTo("/send").size(), cancelAt);
        QCOMPARE(s.ledger(), descending(numbers(250)).mid(0, recorded));
        QCOMPARE(s.prompt.messages.size(), 1);
        QCOMPARE(s.prompt.messages[0].text,
                 u"Sending stopped after request %1 of 3: %2 of 250 numbers were sent and recorded."_s
                     .arg(cancelAt)
                     .arg(recorded));
        QVERIFY(!cancel->isEnabled());
        QVERIFY(child(&screen, "JeweledButton1")->isEnabled());
    }

    void buttonIsDisabledWhileSending()
    {
        Sending s({"--latency", "300"});
        BulkSenderWindow& screen = s.open();
        auto* send = child<QPushButton>(&screen, "JeweledButton1");
        s.compose(A, ""); // an empty message: the button does nothing
        send->click();
        QVERIFY(send->isEnabled());
        QCOMPARE(screen.runningOperations(), 0);

        s.compose(A, "Hi");
        bool timerRan = false;
        QTimer::singleShot(50, [&] { timerRan = !send->isEnabled(); });
        send->click();
        QVERIFY(!send->isEnabled());
        QVERIFY(!child(&screen, "Combo1")->isEnabled());
        Q_EMIT send->clicked(); // a second click meanwhile does not start a second send
        QTRY_VERIFY_WITH_TIMEOUT(send->isEnabled(), 10000);
        QVERIFY(timerRan); // the event loop ran while the request was out
        QCOMPARE(s.requestsTo("/send").size(), 1);
        QCOMPARE(s.ledger(), QStringList{A});
    }

    void balanceRefreshIsBounded()
    {
        Sending s({"--balance", ""}, true);
        QVERIFY(s.sim.control("balance?text="));
        BulkSender sender(s.context());
        sender.settings().balanceRetries = 3;
        sender.settings().balanceRetryDelay = std::chrono::milliseconds(10);
        QStringList shown;
        connect(&sender, &BulkSender::balanceChanged, this, [&](const QString& t) { shown << t; });
        QCOMPARE(QCoro::waitFor(sender.refreshBalance()), QString());
        QCOMPARE(s.requestsTo("/balance").size(), 4);
        QCOMPARE(shown.size(), 4);

        // A balance server that does not answer gives a text, not an error.
        s.sim.control("balance?text=Balance: 7");
        s.sim.control("fail-next?count=1&mode=http500");
        const QString text = QCoro::waitFor(sender.refreshBalance());
        QVERIFY2(text.startsWith("Balance not available: "), qPrintable(text));
    }

    void timerFetchesBalanceOnce()
    {
        Sending s({"--balance", "Balance: 42"}, true);
        auto* label = child<QLabel>(&s.open(), "Lbbal1");
        QCOMPARE(label->text(), u"Working...");
        QTRY_COMPARE(label->text(), u"Balance: 42");
        const QList<QJsonObject> asked = s.requestsTo("/balance");
        QCOMPARE(asked.size(), 1); // the timer stops after its fetch
        QCOMPARE(asked[0].value("query").toObject().value("u").toString(), u"ACME");
        QTest::qWait(700);
        QCOMPARE(s.requestsTo("/balance").size(), 1);
    }

    void counterAtItsLargestValueStillRecords()
    {
        constexpr int largest = std::numeric_limits<qint32>::max();
        StoreFixture f;
        f.loadDefaultProfile("ACME", {{"Smsid", largest - 1}});
        BulkSender sender(f.context());
        QCOMPARE(sender.record({A, B, "9000000000"}, "Hi", "ACME"), 3);
        QCOMPARE(f.column("select Mobile from sms order by rowid"), (QStringList{A, B, "9000000000"}));
        QCOMPARE(f.context().profile().smsId, largest);
        QCOMPARE(f.column("select Smsid from config"), QStringList{QString::number(largest)});
    }

    void closingDuringASendWaitsForIt_data()
    {
        QTest::addColumn<bool>("reopen");
        QTest::addRow("closed") << false;
        QTest::addRow("opened again meanwhile") << true;
    }
    void closingDuringASendWaitsForIt()
    {
        QFETCH(bool, reopen);
        Sending s({"--latency", "300"});
        s.open().show();
        s.compose(A, "Hi");
        click(s.screen, "JeweledButton1");
        click(s.screen, "JeweledButton2"); // E&XIT while the request is out
        QVERIFY(s.screen && s.screen->isHidden());
        if (reopen) {
            s.screen->show(); // as the console's menu shows an open screen
            child<QPlainTextEdit>(s.screen, "Text1")->setPlainText(B);
            QTRY_COMPARE_WITH_TIMEOUT(s.screen->runningOperations(), 0, 10000);
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            QVERIFY(s.screen && s.screen->isVisible());
            QCOMPARE(child<QPlainTextEdit>(s.screen, "Text1")->toPlainText(), B);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!s.screen, 10000);
        }
        // The answered request was recorded before the screen went.
        QCOMPARE(s.ledger(), QStringList{A});
    }

private:
    StoreFixture m_files; // the sheets the import reads, written once
};

QTEST_MAIN(TestBulkSenderWindow)
#include "tst_bulksenderwindow.moc"

#include "ScriptedPrompt.h"
#include "StoreFixture.h"

#include "bulk/ui/BulkScreens.h"
#include "bulk/ui/BulkSenderWindow.h"
#include "bulk/ui/ContactsWindow.h"
#include "ui/ScreenRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {
const QString A = "9876543210";
const QString B = "9123456789";

// The account ACME loaded, without a balance address, so that no screen asks for one.
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
    child<QCheckBox>(&screen, "Check1")->click();
    child<QComboBox>(&screen, "ComGroup")->setEditText(group);
}
} // namespace

// The bulk sender's screen apart from sending, with the contact screen and the contact import.
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
        BulkSenderWindow screen(f.context());
        auto* accounts = child<QComboBox>(&screen, "Combo1");
        QCOMPARE(texts(accounts), (QStringList{"ACME", "SECOND"}));
        QCOMPARE(accounts->currentText(), QStringLiteral("ACME"));
        QCOMPARE(child<QLabel>(&screen, "Label3")->text(), QStringLiteral(" GSM : GSMID    CDMA : CDMAID"));
        QCOMPARE(child<QLabel>(&screen, "Lbbal1")->text(), QStringLiteral("Working..."));

        accounts->setCurrentIndex(1);
        Q_EMIT accounts->activated(1);
        QCOMPARE(f.context().profile().userName, QStringLiteral("SECOND"));
        QCOMPARE(f.context().profile().sendUrl, QStringLiteral("http://second/<mobile>/<msg>"));
        QCOMPARE(child<QLabel>(&screen, "Label3")->text(), QStringLiteral(" GSM : G2    CDMA : "));
    }

    void accountThatVanishedKeepsProfile()
    {
        BulkStore f;
        f.addProfile("GONE");
        ScriptedPrompt prompt;
        BulkSenderWindow screen(f.context());
        f.store().exec("delete from config where UName = 'GONE'");
        auto* accounts = child<QComboBox>(&screen, "Combo1");
        accounts->setCurrentIndex(1);
        Q_EMIT accounts->activated(1);
        QCOMPARE(prompt.messages.size(), 1);
        QVERIFY(prompt.messages[0].text.contains("GONE"));
        QCOMPARE(prompt.messages[0].icon, Prompt::Icon::Critical);
        QCOMPARE(f.context().profile().userName, QStringLiteral("ACME"));
        QCOMPARE(accounts->currentText(), QStringLiteral("ACME"));
    }

    void accountBoxFollowsTheLoadedProfile()
    {
        BulkStore f;
        BulkSenderWindow screen(f.context());
        screen.show();
        f.addProfile("SECOND", {{"GsmSid", "G2"}}); // added since the screen opened
        f.context().loadProfile("SECOND");          // by the console's account list
        screen.hide();
        screen.show();
        QCOMPARE(child<QComboBox>(&screen, "Combo1")->currentText(), QStringLiteral("SECOND"));
        QCOMPARE(child<QLabel>(&screen, "Label3")->text(), QStringLiteral(" GSM : G2    CDMA : CDMAID"));
    }

    void messageFieldRefusesCharacter481()
    {
        BulkStore f;
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
        QCOMPARE(child<QLabel>(&screen, "Lb1")->text(), QStringLiteral("480/ 4"));
    }

    void earlierTextsFillTheMessage()
    {
        BulkStore f;
        for (const char* text : {"first\r\nline", "other", "other"})
            f.ledger("1", {{"msg", text}});
        BulkSenderWindow screen(f.context());
        auto* earlier = child<QComboBox>(&screen, "Combo2");
        QCOMPARE(earlier->count(), 2);
        const int index = earlier->findText("first\r\nline");
        QVERIFY(index >= 0);
        earlier->setCurrentIndex(index);
        Q_EMIT earlier->activated(index);
        QCOMPARE(child<QPlainTextEdit>(&screen, "tXTsms")->toPlainText(), QStringLiteral("first\nline"));
    }

    void numberBoxTakesDigitsAndBreaks()
    {
        BulkStore f;
        BulkSenderWindow screen(f.context());
        auto* numbers = child<QPlainTextEdit>(&screen, "Text1");
        QTest::keyClicks(numbers, "98a7");
        QTest::keyClick(numbers, Qt::Key_Return);
        QTest::keyClicks(numbers, "1-2");
        QCOMPARE(numbers->toPlainText(), QStringLiteral("987\n12"));
    }

    void contactScreenSaveRules()
    {
        BulkStore f;
        ScriptedPrompt prompt;
        ContactsWindow form(f.context());
        auto* number = child<QLineEdit>(&form, "TxtNumber");
        auto* name = child<QLineEdit>(&form, "TxtName");
        auto* group = child<QComboBox>(&form, "ComGrp");
        struct Step
        {
            QString number, group, message;
            Prompt::Icon icon;
            int rows;
        };
        const Step steps[] = {
            {"12345", "", "Please Check Mobile Number", Prompt::Icon::Critical, 0},
            {A, "", "RECORD SAVED ", Prompt::Icon::Information, 1},
            {A, "", "RECORD ALL READY EXITST\r\n" + A + "\r\nRAVI\r\nNon", Prompt::Icon::Critical, 1},
            {A, "STAFF", "RECORD SAVED ", Prompt::Icon::Information, 2},
        };
        for (const Step& s : steps) {
            number->setText(s.number);
            name->setText("RAVI");
            group->setEditText(s.group);
            prompt.messages.clear();
            child<QPushButton>(&form, "CmdSave")->click();
            QCOMPARE(prompt.messages.size(), 1);
            QCOMPARE(prompt.messages[0].text, s.message);
            QCOMPARE(prompt.messages[0].title, QString());
            QCOMPARE(prompt.messages[0].icon, s.icon);
            QCOMPARE(f.count("Clist"), s.rows);
        }
        QCOMPARE(f.contacts(), (QStringList{"RAVI|" + A + "|Non", "RAVI|" + A + "|STAFF"}));
        // The group drop-down now offers both groups and the fields keep their text until NEW.
        QCOMPARE(group->count(), 2);
        QCOMPARE(number->text(), A);
        QCOMPARE(group->currentText(), QStringLiteral("STAFF"));
        child<QPushButton>(&form, "CmdNew")->click();
        QVERIFY(number->text().isEmpty() && name->text().isEmpty() && group->currentText().isEmpty());
    }

    void groupMode()
    {
        BulkStore f;
        f.contact("RAVI", A, "STAFF");
        f.contact("ASHA", B, "STAFF");
        f.contact("ELSE", "9000000000", "OTHER");
        BulkSenderWindow screen(f.context());
        auto* check = child<QCheckBox>(&screen, "Check1");
        auto* picker = child<QComboBox>(&screen, "ComGroup");
        auto* numbers = child<QPlainTextEdit>(&screen, "Text1");
        auto* list = child<QListWidget>(&screen, "List1");
        auto* count = child<QLabel>(&screen, "Label11");
        QStringList groups = texts(picker);
        groups.sort();
        QCOMPARE(groups, (QStringList{"OTHER", "STAFF"}));
        QVERIFY(!picker->isEnabled() && numbers->isEnabled() && count->isHidden());

        // The group's contacts take the place of the number box.
        check->click();
        QVERIFY(picker->isEnabled() && !numbers->isEnabled() && !count->isHidden());
        picker->setCurrentIndex(picker->findText("STAFF"));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), A + "-RAVI");
        QCOMPARE(list->item(1)->text(), B + "-ASHA");
        QCOMPARE(count->text(), QStringLiteral("Selected :  0"));
        list->item(1)->setSelected(true);
        QCOMPARE(count->text(), QStringLiteral("Selected :  1"));
        // A group text with a quote is looked up as typed, without an error.
        picker->setEditText("IT'S");
        QCOMPARE(list->count(), 0);

        picker->setEditText("STAFF");
        check->click();
        QVERIFY(!picker->isEnabled() && numbers->isEnabled());
        QCOMPARE(list->count(), 0); // leaving group mode empties the list

        // NEW switches group mode off as well.
        showGroup(screen, "STAFF");
        child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText("hello");
        child<QPushButton>(&screen, "JeweledButton7")->click();
        QVERIFY(!check->isChecked());
        QCOMPARE(list->count(), 0);
        QVERIFY(child<QPlainTextEdit>(&screen, "tXTsms")->toPlainText().isEmpty());
    }

    void bulkSelection_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QList<int>>("selected");
        // Starting with the first and third of four entries selected.
        QTest::newRow("UnSelect All") << 0 << QList<int>{};
        QTest::newRow("Select All") << 1 << QList<int>{0, 1, 2, 3};
        QTest::newRow("Invert Selection") << 2 << QList<int>{1, 3};
    }
    void bulkSelection()
    {
        QFETCH(int, option);
        QFETCH(QList<int>, selected);
        BulkStore f;
        for (int i = 0; i < 4; ++i)
            f.contact(QStringLiteral("N%1").arg(i), QString::number(9000000000LL + i), "G");
        BulkSenderWindow screen(f.context());
        showGroup(screen, "G");
        auto* list = child<QListWidget>(&screen, "List1");
        QCOMPARE(list->count(), 4);
        list->item(0)->setSelected(true);
        list->item(2)->setSelected(true);

        child<QRadioButton>(&screen, qPrintable(QStringLiteral("OpSELECT_%1").arg(option)))->click();
        QCOMPARE(selectedRows(list), selected);
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(child<QLabel>(&screen, "Label11")->text(),
                 QStringLiteral("Selected :  %1").arg(selected.size()));
        QVERIFY(list->updatesEnabled());
    }

    void deleteSelected_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
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
        auto* deleteCheck = child<QCheckBox>(&screen, "Check2");
        auto* deleteButton = child<QPushButton>(&screen, "JeweledButton6");
        QVERIFY(deleteButton->isHidden());
        deleteCheck->click();
        QVERIFY(!deleteButton->isHidden());

        child<QRadioButton>(&screen, "OpSELECT_1")->click();
        deleteButton->click();
        QCOMPARE(prompt.questions.size(), 1);
        QCOMPARE(prompt.questions[0].text, QStringLiteral("Are You Sure Want To Delete Selected Contect"));
        QVERIFY(prompt.messages.isEmpty());
        QCOMPARE(f.column("select GRP from Clist order by rowid"),
                 (confirm ? QStringList{"OTHER", "OTHER"} : QStringList{"STAFF", "STAFF", "OTHER", "OTHER"}));
        QCOMPARE(child<QListWidget>(&screen, "List1")->count(), confirm ? 0 : 2);
        auto* picker = child<QComboBox>(&screen, "ComGroup");
        QCOMPARE(picker->findText("STAFF") >= 0, !confirm);
        QCOMPARE(picker->currentText(), QStringLiteral("STAFF"));

        deleteCheck->click();
        QVERIFY(deleteButton->isHidden());
    }

    void savingOnContactScreenRefillsPicker()
    {
        BulkStore f;
        ScriptedPrompt prompt;
        registerBulkScreens(f.context());
        auto* screen = qobject_cast<BulkSenderWindow*>(ScreenRegistry::instance().show(Screens::BulkSender));
        QVERIFY(screen);
        child<QPushButton>(screen, "JeweledButton3")->click();
        auto* form = qobject_cast<ContactsWindow*>(ScreenRegistry::instance().open(Screens::Contacts));
        QVERIFY(form && form->isVisible());
        auto* picker = child<QComboBox>(screen, "ComGroup");
        QCOMPARE(picker->count(), 0);
        child<QLineEdit>(form, "TxtNumber")->setText(A);
        child<QLineEdit>(form, "TxtName")->setText("RAVI");
        child<QComboBox>(form, "ComGrp")->setEditText("STAFF");
        child<QPushButton>(form, "CmdSave")->click();
        QCOMPARE(texts(picker), QStringList{"STAFF"});
        // The contact screen is opened once; a second click brings it forward.
        child<QPushButton>(screen, "JeweledButton3")->click();
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
        m_files.writeFile(
            "contacts.csv",
            QStringLiteral("Mobile,Name\r\n%1,RAVI\r\n12345,X\r\n\r\n%2,ASHA\r\n").arg(A, B).toUtf8());
        m_files.writeFile("wide.csv", QStringLiteral("%1,RAVI\r\n98765432101,TOO LONG\r\n").arg(A).toUtf8());
    }

    void importFromScreen_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("excel");
        QTest::addColumn<bool>("direct");
        QTest::newRow("xls to contacts") << "contacts.xls" << true << false;
        QTest::newRow("xlsx to contacts") << "contacts.xlsx" << true << false;
        QTest::newRow("csv to contacts") << "contacts.csv" << false << false;
        QTest::newRow("xls to the number box") << "contacts.xls" << true << true;
        QTest::newRow("xlsx to the number box") << "contacts.xlsx" << true << true;
        QTest::newRow("csv to the number box") << "contacts.csv" << false << true;
    }
    void importFromScreen()
    {
        QFETCH(QString, file);
        QFETCH(bool, excel);
        QFETCH(bool, direct);
        BulkStore f;
        ScriptedPrompt prompt;
        prompt.files = {m_files.path(file)};
        BulkSenderWindow screen(f.context());
        auto* numbers = child<QPlainTextEdit>(&screen, "Text1");
        numbers->setPlainText("1111111111\n");
        child<QPushButton>(&screen, "JeweledButton5")->click();
        child<QRadioButton>(&screen, excel ? "OpExel" : "Option2")->click();
        child<QRadioButton>(&screen, direct ? "Option3" : "Option4")->click();

        QCoro::waitFor(screen.importFile());

        QCOMPARE(prompt.fileDialogs.size(), 1);
        QVERIFY(
            prompt.fileDialogs[0].title.startsWith(excel ? "[ Excel File Only ]" : "[ txt/CSV File Only ]"));
        QCOMPARE(prompt.messageTexts(), QStringList{" 1  Records Add to Group"});
        QCOMPARE(child<QLineEdit>(&screen, "TxtGrp1")->text(), QStringLiteral("DEFULT"));
        QVERIFY(child(&screen, "Frame3")->isHidden());
        if (direct) {
            QCOMPARE(numbers->toPlainText(), A + "\n");
            QCOMPARE(f.contacts(), QStringList{});
        } else {
            QCOMPARE(numbers->toPlainText(), QStringLiteral("1111111111\n"));
            QCOMPARE(f.contacts(), QStringList{"RAVI|" + A + "|DEFULT"});
            QVERIFY(child<QComboBox>(&screen, "ComGroup")->findText("DEFULT") >= 0);
        }
    }

    void unreadableFileAddsNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("excel");
        QTest::addColumn<QString>("says");
        QTest::newRow("corrupt xls") << "corrupt.xls" << true << "cannot be read";
        QTest::newRow("missing file") << "missing.xlsx" << true << "cannot be read";
        QTest::newRow("csv under Excel") << "contacts.csv" << true << "not an Excel workbook";
        QTest::newRow("workbook under Text / CSV") << "contacts.xls" << false << "not a text or CSV file";
        QTest::newRow("number too wide") << "wide.csv" << false << "Row 2:";
    }
    void unreadableFileAddsNothing()
    {
        QFETCH(QString, file);
        QFETCH(bool, excel);
        QFETCH(QString, says);
        BulkStore f;
        ScriptedPrompt prompt;
        prompt.files = {m_files.path(file)};
        BulkSenderWindow screen(f.context());
        child<QPushButton>(&screen, "JeweledButton5")->click();
        child<QRadioButton>(&screen, excel ? "OpExel" : "Option2")->click();
        QCoro::waitFor(screen.importFile());
        QCOMPARE(prompt.messages.size(), 1);
        const QString text = prompt.messages[0].text;
        QVERIFY2(text.contains(says) && text.contains("Nothing was added."), qPrintable(text));
        QCOMPARE(prompt.messages[0].icon, Prompt::Icon::Critical);
        QCOMPARE(f.count("Clist"), 0);
        QVERIFY(child(&screen, "JeweledButton4")->isEnabled());
    }

    void cancelledPickerChangesNothing()
    {
        BulkStore f;
        ScriptedPrompt prompt; // no file name: the picker is cancelled
        BulkSenderWindow screen(f.context());
        child<QPushButton>(&screen, "JeweledButton5")->click();
        QCoro::waitFor(screen.importFile());
        QCOMPARE(prompt.fileDialogs.size(), 1);
        QVERIFY(prompt.messages.isEmpty());
        QVERIFY(!child(&screen, "Frame3")->isHidden());
        QVERIFY(child<QLineEdit>(&screen, "TxtGrp1")->text().isEmpty());
        QCOMPARE(f.count("Clist"), 0);
    }

private:
    StoreFixture m_files; // the sheets the import reads, written once
};

QTEST_MAIN(TestBulkSenderWindow)
#include "tst_bulksenderwindow.moc"

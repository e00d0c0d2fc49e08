#include "BulkTestSupport.h"

#include "bulk/ContactBook.h"
#include "bulk/ui/BulkScreens.h"
#include "bulk/ui/BulkSenderWindow.h"
#include "bulk/ui/ContactsWindow.h"
#include "ui/ScreenRegistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

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

QStringList texts(QListWidget* list, bool selectedOnly = false)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (!selectedOnly || list->item(i)->isSelected())
            out << list->item(i)->text();
    return out;
}
} // namespace

class TestContactScreens : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { ScreenRegistry::instance().clear(); }
    void contactScreenSaveRules();
    void keyFilters_data();
    void keyFilters();
    void enterMovesAlongTheTabOrder();
    void contactScreenNewClears();
    void groupModeSwitchesControls();
    void groupListsEntriesAndCounts();
    void bulkSelection_data();
    void bulkSelection();
    void deleteSelected_data();
    void deleteSelected();
    void savingOnContactScreenRefillsPicker();
    void importPanelShowsAndHides();
};

void TestContactScreens::contactScreenSaveRules()
{
    BulkFixture f;
    ScriptedPrompt prompt;
    ContactsWindow form(*f.context);
    QCOMPARE(form.windowTitle(), QStringLiteral("Contect"));
    auto* number = child<QLineEdit>(&form, "TxtNumber");
    auto* name = child<QLineEdit>(&form, "TxtName");
    auto* group = child<QComboBox>(&form, "ComGrp");
    auto* save = child<QPushButton>(&form, "CmdSave");
    QCOMPARE(save->text(), QStringLiteral("&S A V E"));
    QCOMPARE(number->maxLength(), 10);
    QCOMPARE(name->maxLength(), 30);

    struct Step
    {
        QString number, name, group;
        QString message;
        Prompt::Icon icon;
        int rows;
    };
    const Step steps[] = {
        {QStringLiteral("12345"), QStringLiteral("RAVI"), QString(),
         QStringLiteral("Please Check Mobile Number"), Prompt::Icon::Critical, 0},
        {A, QStringLiteral("RAVI"), QString(), QStringLiteral("RECORD SAVED "), Prompt::Icon::Information, 1},
        {A, QStringLiteral("RAVI"), QString(), "RECORD ALL READY EXITST\r\n" + A + "\r\nRAVI\r\nNon",
         Prompt::Icon::Critical, 1},
        {A, QStringLiteral("RAVI"), QStringLiteral("STAFF"), QStringLiteral("RECORD SAVED "),
         Prompt::Icon::Information, 2},
    };
    for (const Step& s : steps) {
        number->setText(s.number);
        name->setText(s.name);
        group->setEditText(s.group);
        prompt.shown.clear();
        save->click();
        QCOMPARE(prompt.shown.size(), 1);
        QCOMPARE(prompt.shown[0].text, s.message);
        QCOMPARE(prompt.shown[0].title, QString());
        QCOMPARE(prompt.shown[0].icon, s.icon);
        QCOMPARE(f.count(QStringLiteral("select count(*) from Clist")), s.rows);
    }
    QCOMPARE(
        f.count(QStringLiteral("select count(*) from Clist where Nm = 'RAVI' and mob = ? and GRP = 'Non'"),
                {A}),
        1);
    // The group drop-down now offers both groups and the fields keep their text.
    QCOMPARE(group->count(), 2);
    QCOMPARE(number->text(), A);
    QCOMPARE(group->currentText(), QStringLiteral("STAFF"));
}

void TestContactScreens::keyFilters_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("name upper-cases, drops apostrophe") << "TxtName"
                                                        << "ravi's"
                                                        << "RAVIS";
    QTest::newRow("group upper-cases") << "ComGrp"
                                       << "st'aff"
                                       << "STAFF";
    QTest::newRow("number takes digits only") << "TxtNumber"
                                              << "98a7"
                                              << "987";
    QTest::newRow("number stops at ten") << "TxtNumber"
                                         << "123456789012"
                                         << "1234567890";
}

void TestContactScreens::keyFilters()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    BulkFixture f;
    ContactsWindow form(*f.context);
    QWidget* w = form.findChild<QWidget*>(field);
    QVERIFY(w);
    QTest::keyClicks(w, typed);
    if (auto* combo = qobject_cast<QComboBox*>(w))
        QCOMPARE(combo->currentText(), shown);
    else
        QCOMPARE(qobject_cast<QLineEdit*>(w)->text(), shown);
}

void TestContactScreens::enterMovesAlongTheTabOrder()
{
    BulkFixture f;
    ContactsWindow form(*f.context);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QWidget* order[] = {child<QWidget>(&form, "TxtNumber"), child<QWidget>(&form, "TxtName"),
                        child<QWidget>(&form, "ComGrp"), child<QWidget>(&form, "CmdSave")};
    order[0]->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), order[0]);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(QApplication::focusWidget(), order[i + 1]);
    }
}

void TestContactScreens::contactScreenNewClears()
{
    BulkFixture f;
    ContactsWindow form(*f.context);
    child<QLineEdit>(&form, "TxtNumber")->setText(A);
    child<QLineEdit>(&form, "TxtName")->setText(QStringLiteral("RAVI"));
    child<QComboBox>(&form, "ComGrp")->setEditText(QStringLiteral("STAFF"));
    child<QPushButton>(&form, "CmdNew")->click();
    QVERIFY(child<QLineEdit>(&form, "TxtNumber")->text().isEmpty());
    QVERIFY(child<QLineEdit>(&form, "TxtName")->text().isEmpty());
    QVERIFY(child<QComboBox>(&form, "ComGrp")->currentText().isEmpty());
}

void TestContactScreens::groupModeSwitchesControls()
{
    BulkFixture f;
    f.addContact(QStringLiteral("RAVI"), A, QStringLiteral("STAFF"));
    BulkSenderWindow screen(*f.context);
    QCOMPARE(screen.windowTitle(), QStringLiteral("SMS Utility"));
    auto* check = child<QCheckBox>(&screen, "Check1");
    auto* picker = child<QComboBox>(&screen, "ComGroup");
    auto* frame = child<QWidget>(&screen, "Frame1");
    auto* tools = child<QWidget>(&screen, "Frame10");
    auto* count = child<QLabel>(&screen, "Label11");
    auto* numbers = child<QPlainTextEdit>(&screen, "Text1");
    auto* list = child<QListWidget>(&screen, "List1");

    QVERIFY(!check->isChecked());
    QVERIFY(!picker->isEnabled() && !frame->isEnabled() && !tools->isEnabled());
    QVERIFY(count->isHidden());
    QVERIFY(numbers->isEnabled());

    check->click();
    QVERIFY(picker->isEnabled() && frame->isEnabled() && tools->isEnabled());
    QVERIFY(!count->isHidden());
    QVERIFY(!numbers->isEnabled());
    picker->setEditText(QStringLiteral("STAFF"));
    QCOMPARE(list->count(), 1);

    check->click();
    QVERIFY(!picker->isEnabled() && !frame->isEnabled());
    QVERIFY(count->isHidden());
    QVERIFY(numbers->isEnabled());
    QCOMPARE(list->count(), 0); // leaving group mode empties the list

    // NEW switches group mode off as well.
    check->click();
    picker->setEditText(QStringLiteral("STAFF"));
    child<QPlainTextEdit>(&screen, "tXTsms")->setPlainText(QStringLiteral("hello"));
    child<QPushButton>(&screen, "JeweledButton7")->click();
    QVERIFY(!check->isChecked());
    QCOMPARE(list->count(), 0);
    QVERIFY(child<QPlainTextEdit>(&screen, "tXTsms")->toPlainText().isEmpty());
}

void TestContactScreens::groupListsEntriesAndCounts()
{
    BulkFixture f;
    f.addContact(QStringLiteral("RAVI"), A, QStringLiteral("STAFF"));
    f.addContact(QStringLiteral("ASHA"), B, QStringLiteral("STAFF"));
    f.addContact(QStringLiteral("ELSE"), QStringLiteral("9000000000"), QStringLiteral("OTHER"));
    BulkSenderWindow screen(*f.context);
    auto* picker = child<QComboBox>(&screen, "ComGroup");
    auto* list = child<QListWidget>(&screen, "List1");
    auto* count = child<QLabel>(&screen, "Label11");
    QStringList groups;
    for (int i = 0; i < picker->count(); ++i)
        groups << picker->itemText(i);
    groups.sort();
    QCOMPARE(groups, (QStringList{QStringLiteral("OTHER"), QStringLiteral("STAFF")}));

    child<QCheckBox>(&screen, "Check1")->click();
    picker->setCurrentIndex(picker->findText(QStringLiteral("STAFF")));
    QCOMPARE(texts(list), (QStringList{A + "-RAVI", B + "-ASHA"}));
    QCOMPARE(count->text(), QStringLiteral("Selected :  0"));
    list->item(1)->setSelected(true);
    QCOMPARE(count->text(), QStringLiteral("Selected :  1"));
    // A group text with a quote is looked up as typed, without an error.
    picker->setEditText(QStringLiteral("IT'S"));
    QCOMPARE(list->count(), 0);
}

void TestContactScreens::bulkSelection_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<QList<int>>("selected");
    // Starting with the first and third of four entries selected.
    QTest::newRow("UnSelect All") << 0 << QList<int>{};
    QTest::newRow("Select All") << 1 << QList<int>{0, 1, 2, 3};
    QTest::newRow("Invert Selection") << 2 << QList<int>{1, 3};
}

void TestContactScreens::bulkSelection()
{
    QFETCH(int, option);
    QFETCH(QList<int>, selected);
    BulkFixture f;
    for (int i = 0; i < 4; ++i)
        f.addContact(QStringLiteral("N%1").arg(i), QString::number(9000000000LL + i), QStringLiteral("G"));
    BulkSenderWindow screen(*f.context);
    child<QCheckBox>(&screen, "Check1")->click();
    child<QComboBox>(&screen, "ComGroup")->setEditText(QStringLiteral("G"));
    auto* list = child<QListWidget>(&screen, "List1");
    QCOMPARE(list->count(), 4);
    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);

    const char* names[3] = {"OpSELECT_0", "OpSELECT_1", "OpSELECT_2"};
    const QString captions[3] = {QStringLiteral("UnSelect All"), QStringLiteral("Select All"),
                                 QStringLiteral("Invert Selection")};
    for (int i = 0; i < 3; ++i)
        QCOMPARE(child<QRadioButton>(&screen, names[i])->text(), captions[i]);
    child<QRadioButton>(&screen, names[option])->click();

    QList<int> got;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            got << i;
    QCOMPARE(got, selected);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(child<QRadioButton>(&screen, names[i])->font().bold(), i == option);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(child<QLabel>(&screen, "Label11")->text(),
             QStringLiteral("Selected :  %1").arg(selected.size()));
    QVERIFY(list->updatesEnabled());
}

void TestContactScreens::deleteSelected_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestContactScreens::deleteSelected()
{
    QFETCH(bool, confirm);
    BulkFixture f;
    for (const QString& g : {QStringLiteral("STAFF"), QStringLiteral("OTHER")}) {
        f.addContact(QStringLiteral("RAVI"), A, g);
        f.addContact(QStringLiteral("ASHA"), B, g);
    }
    ScriptedPrompt prompt;
    prompt.answers = {confirm ? Prompt::Answer::Yes : Prompt::Answer::No};
    BulkSenderWindow screen(*f.context);
    child<QCheckBox>(&screen, "Check1")->click();
    child<QComboBox>(&screen, "ComGroup")->setEditText(QStringLiteral("STAFF"));
    auto* deleteCheck = child<QCheckBox>(&screen, "Check2");
    auto* deleteButton = child<QPushButton>(&screen, "JeweledButton6");
    QVERIFY(deleteButton->isHidden());
    deleteCheck->click();
    QVERIFY(!deleteButton->isHidden());
    QCOMPARE(deleteButton->text(), QStringLiteral("Delete Contect"));

    child<QRadioButton>(&screen, "OpSELECT_1")->click();
    deleteButton->click();
    QCOMPARE(prompt.shown.size(), 1);
    QCOMPARE(prompt.shown[0].text, QStringLiteral("Are You Sure Want To Delete Selected Contect"));
    QCOMPARE(prompt.shown[0].kind, QStringLiteral("question"));
    QCOMPARE(f.count(QStringLiteral("select count(*) from Clist where GRP = 'STAFF'")), confirm ? 0 : 2);
    QCOMPARE(f.count(QStringLiteral("select count(*) from Clist where GRP = 'OTHER'")), 2);
    QCOMPARE(child<QListWidget>(&screen, "List1")->count(), confirm ? 0 : 2);
    auto* picker = child<QComboBox>(&screen, "ComGroup");
    QCOMPARE(picker->findText(QStringLiteral("STAFF")) >= 0, !confirm);
    QCOMPARE(picker->currentText(), QStringLiteral("STAFF"));

    deleteCheck->click();
    QVERIFY(deleteButton->isHidden());
}

void TestContactScreens::savingOnContactScreenRefillsPicker()
{
    BulkFixture f;
    ScriptedPrompt prompt;
    registerBulkScreens(*f.context);
    auto* screen = qobject_cast<BulkSenderWindow*>(ScreenRegistry::instance().show(Screens::BulkSender));
    QVERIFY(screen);
    child<QPushButton>(screen, "JeweledButton3")->click();
    auto* form = qobject_cast<ContactsWindow*>(ScreenRegistry::instance().open(Screens::Contacts));
    QVERIFY(form);
    QVERIFY(form->isVisible());
    auto* picker = child<QComboBox>(screen, "ComGroup");
    QCOMPARE(picker->count(), 0);
    child<QLineEdit>(form, "TxtNumber")->setText(A);
    child<QLineEdit>(form, "TxtName")->setText(QStringLiteral("RAVI"));
    child<QComboBox>(form, "ComGrp")->setEditText(QStringLiteral("STAFF"));
    child<QPushButton>(form, "CmdSave")->click();
    QCOMPARE(picker->count(), 1);
    QCOMPARE(picker->itemText(0), QStringLiteral("STAFF"));
    // The contact screen is opened once; a second click brings it forward.
    child<QPushButton>(screen, "JeweledButton3")->click();
    QCOMPARE(ScreenRegistry::instance().open(Screens::Contacts), form);
    form->close();
    screen->close();
    QTRY_VERIFY(!ScreenRegistry::instance().open(Screens::BulkSender));
}

void TestContactScreens::importPanelShowsAndHides()
{
    BulkFixture f;
    BulkSenderWindow screen(*f.context);
    auto* panel = child<QGroupBox>(&screen, "Frame3");
    QVERIFY(panel->isHidden());
    QVERIFY(child<QRadioButton>(&screen, "OpExel")->isChecked());
    QVERIFY(child<QRadioButton>(&screen, "Option4")->isChecked());
    child<QPushButton>(&screen, "JeweledButton5")->click();
    QVERIFY(!panel->isHidden());
    child<QRadioButton>(&screen, "Option3")->click();
    QVERIFY(child<QLabel>(&screen, "Label10")->isHidden());
    QVERIFY(child<QLineEdit>(&screen, "TxtGrp1")->isHidden());
    child<QRadioButton>(&screen, "Option4")->click();
    QVERIFY(!child<QLabel>(&screen, "Label10")->isHidden());
    QVERIFY(!child<QLineEdit>(&screen, "TxtGrp1")->isHidden());
    // A click on the selection count closes the panel.
    child<QCheckBox>(&screen, "Check1")->click();
    QTest::mouseClick(child<QLabel>(&screen, "Label11"), Qt::LeftButton);
    QVERIFY(panel->isHidden());
}

QTEST_MAIN(TestContactScreens)
#include "tst_contactscreens.moc"

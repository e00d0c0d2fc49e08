#include "ScriptedPrompt.h"
#include "StoreFixture.h"
#include "spreadsheet/SpreadsheetMessages.h"
#include "spreadsheet/ui/SpreadsheetMessagesWindow.h"
#include "ui/ScreenRegistry.h"

#include <QCheckBox>
#include <QCoroTask>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace SpreadsheetMessages;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(SpreadsheetMessages::RowRule)

namespace {

// The rows of edge.* that the import takes, in sheet order.
const QStringList EdgeMobiles{"9876543210",  "9123456789", "9000000000", "98765432101",
                              "98765 43210", "9111111111", "95000000"};
const QStringList EdgeTexts{"Hello",           "",           "exact bound",
                            "eleven digits",   "two groups", "It's line one\r\nline two",
                            "below ten digits"};

} // namespace

class TestSpreadsheetMessagesWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<StoreFixture> m_db;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<SpreadsheetMessagesWindow> m_screen;

    static QString sheet(const QString& name) { return QStringLiteral(SHEET_MESSAGES_DATA_DIR "/") + name; }
    template <class T> T* child(const QString& name) { return m_screen->findChild<T*>(name); }
    QTableWidget* grid() { return child<QTableWidget>(u"MSF"_s); }
    QPushButton* importButton() { return child<QPushButton>(u"CmdExcel"_s); }
    QPushButton* sendButton() { return child<QPushButton>(u"JeweledButton1"_s); }
    QString label(const QString& name) { return child<QLabel>(name)->text(); }
    QPlainTextEdit* box() { return child<QPlainTextEdit>(u"tXTsms"_s); }
    QCheckBox* perRow() { return child<QCheckBox>(u"Check1"_s); }
    bool import(const QString& path) { return QCoro::waitFor(m_screen->importWorkbook(path)); }

    QStringList gridColumn(int column)
    {
        QStringList out;
        for (int row = 0; row < grid()->rowCount(); ++row)
            out << grid()->item(row, column)->text();
        return out;
    }

    QStringList queued()
    {
        return m_db->column(QStringLiteral("select mobile || '|' || msg || '|' || rdttm || '|' || urgent || "
                                           "'|' || typ from Rsms order by rowid"));
    }

private Q_SLOTS:
    void init()
    {
        m_screen.reset();
        m_prompt.reset();
        m_db = std::make_unique<StoreFixture>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_screen = std::make_unique<SpreadsheetMessagesWindow>(m_db->store(), m_db->context().clock());
        m_screen->show();
    }

    // What the import does with a sheet row (column A, column B) and whether a send queues it.
    void rules_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<RowRule>("rule");
        QTest::addColumn<bool>("queued");
        const auto row = [](const char* name, const char* a, const char* b, RowRule rule, bool queued) {
            QTest::newRow(name) << QString::fromLatin1(a) << QString::fromLatin1(b) << rule << queued;
        };
        using enum RowRule;
        row("both empty", "", "", Stop, false);
        row("text, no message", "abc", "", Stop, false);
        row("no number, a message", "", "text", PassOver, false);
        row("blank in column B", "", " ", PassOver, false);
        row("short number", "12345", "text", PassOver, false);
        row("negative", "-9876543210", "m", PassOver, false);
        row("at the import bound", "90000000", "x", PassOver, false);
        row("above the import bound, no message", "90000001", "", Take, false);
        row("at the lowest number", "9000000000", "m", Take, false);
        row("above the lowest number", "9000000001", "m", Take, true);
        row("highest ten digits", "9999999999", "m", Take, true);
        row("eleven digits", "10000000000", "m", Take, false);
        row("nine digits", "987654321", "m", Take, false);
        row("two groups of five", "98765 43210", "m", Take, true);
    }

    void rules()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(RowRule, rule);
        QFETCH(bool, queued);
        QCOMPARE(SpreadsheetMessages::classify(a, b), rule);
        QCOMPARE(SpreadsheetMessages::qualifies(a, b), queued);
    }

    // Neither an apostrophe nor a double quote can be typed; the per-row tick clears and locks the box.
    void messageBox()
    {
        box()->setFocus();
        QTest::keyClicks(box(), u"it's \"hi\""_s);
        QCOMPARE(box()->toPlainText(), u"its hi");
        perRow()->click();
        QVERIFY(box()->toPlainText().isEmpty());
        QVERIFY(!box()->isEnabled());
        perRow()->click();
        QVERIFY(box()->isEnabled());
    }

    // Every import follows one of edge.csv: a file that cannot be read is reported and leaves that sheet on
    // show as it was.
    void import_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("mobiles");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("unread"); // rows past the limit the operator is told about
        QTest::newRow("xls") << sheet("edge.xls") << QByteArray() << EdgeMobiles << true << 0;
        QTest::newRow("xlsx") << sheet("edge.xlsx") << QByteArray() << EdgeMobiles << true << 0;
        QTest::newRow("empty first row")
            << sheet("emptyfirst.xls") << QByteArray() << QStringList() << true << 0;
        QByteArray big;
        QStringList taken;
        for (qint64 i = 0; i < MaxSheetRows + 50; ++i) {
            big += QByteArray::number(9000000001LL + i) + ",row " + QByteArray::number(i + 1) + "\r\n";
            if (i < MaxSheetRows)
                taken << QString::number(9000000001LL + i);
        }
        QTest::newRow("10000 rows at most") << "big.csv" << big << taken << true << 50;
        // The stop rule ends the reading first: nothing is left unread.
        QTest::newRow("stops before the limit")
            << "stop.csv" << QByteArray("9000000001,a\r\n,\r\n9000000002,b\r\n") << QStringList{"9000000001"}
            << true << 0;
        QTest::newRow("garbage") << "list.xls" << QByteArray("\x01\x02\x03\x04 not a workbook \xff\xfe")
                                 << EdgeMobiles << false << 0;
        QTest::newRow("empty file") << "empty.xls" << QByteArray() << EdgeMobiles << false << 0;
        QTest::newRow("missing file") << "missing.xls" << QByteArray() << EdgeMobiles << false << 0;
    }

    void import()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, mobiles);
        QFETCH(bool, readable);
        QFETCH(int, unread);
        QString path = file; // a generated workbook, or a file of this test, written unless it is missing
        if (QFileInfo(file).isRelative())
            path = file.startsWith(u"missing") ? m_db->path(file) : m_db->writeFile(file, bytes);
        QVERIFY(import(sheet(u"edge.csv"_s)));
        QCOMPARE(import(path), readable);
        QCOMPARE(m_prompt->messages.size(), readable && !unread ? 0 : 1);
        if (unread)
            QCOMPARE(m_prompt->messages[0].text,
                     u"The import stops at 10000 sheet rows: %1 more rows of the sheet were not read."_s.arg(
                         unread));
        if (!readable) {
            QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
            QVERIFY2(m_prompt->messages[0].text.contains(file), qPrintable(m_prompt->messages[0].text));
        }
        QCOMPARE(gridColumn(0), mobiles);
        if (mobiles == EdgeMobiles)
            QCOMPARE(gridColumn(1), EdgeTexts);
        QCOMPARE(label(u"LbNoofSMS"_s), u"Total Massage : %1"_s.arg(mobiles.size()));
        // A sheet with rows can be sent; one without lets the operator choose another.
        QCOMPARE(importButton()->isEnabled(), mobiles.isEmpty());
        QCOMPARE(sendButton()->isEnabled(), !mobiles.isEmpty());
        QVERIFY(grid()->isVisible());
        QVERIFY(!m_screen->isBusy());
    }

    void importThroughTheDialog()
    {
        m_prompt->files = {QString()}; // cancelled
        importButton()->click();
        QCOMPARE(m_prompt->fileDialogs.size(), 1);
        QCOMPARE(grid()->rowCount(), 0);
        QVERIFY(importButton()->isEnabled());

        m_prompt->files = {sheet(u"edge.xls"_s)};
        importButton()->click();
        QTRY_VERIFY(!m_screen->isBusy());
        QCOMPARE(gridColumn(0), EdgeMobiles);
        QVERIFY(sendButton()->isEnabled());
    }

    void send_data()
    {
        QTest::addColumn<bool>("columnB");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected"); // empty: the operator is asked for a message
        const auto rows = [](const QStringList& mobiles, const QStringList& texts) {
            QStringList out;
            for (qsizetype i = 0; i < mobiles.size(); ++i)
                out << mobiles[i] + "|" + texts[i % texts.size()] + "|05032024140509|1|0";
            return out;
        };
        const QString joined = u"Hi there, it's meexactly"_s;
        QTest::newRow("typed text for all")
            << false << "Hi there, it's me\nexactly"
            << rows({"9876543210", "9123456789", "98765 43210", "9111111111"}, {joined});
        QTest::newRow("column B") << true << ""
                                  << rows({"9876543210", "98765 43210", "9111111111"},
                                          {"Hello", "two groups", "It's line oneline two"});
        QTest::newRow("empty") << false << "" << QStringList();
        QTest::newRow("blanks and lines only") << false << "   \n  " << QStringList();
    }

    void send()
    {
        QFETCH(bool, columnB);
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        QVERIFY(import(sheet(u"edge.xls"_s)));
        perRow()->setChecked(columnB);
        box()->setPlainText(typed); // setPlainText bypasses the key filter: the apostrophe goes in
        QCoro::waitFor(m_screen->sendMessages());

        QCOMPARE(queued(), expected);
        QCOMPARE(m_prompt->messageTexts(),
                 QStringList{expected.isEmpty() ? u" Please Enter Message "_s : u"Prosess Complate"_s});
        QCOMPARE(m_prompt->messages[0].icon,
                 expected.isEmpty() ? Prompt::Icon::Critical : Prompt::Icon::None);
        QCOMPARE(sendButton()->isEnabled(), expected.isEmpty());
        QVERIFY(m_screen->isEnabled());
        QVERIFY(!m_screen->isBusy());
    }

    void sendThroughTheButton()
    {
        QVERIFY(import(sheet(u"edge.csv"_s)));
        box()->setPlainText(u"hello"_s);
        sendButton()->click();
        QVERIFY(m_screen->isBusy());
        QVERIFY(!m_screen->isEnabled());
        m_screen->close(); // refused while sending
        QVERIFY(m_screen->isVisible());
        QTRY_VERIFY(!m_screen->isBusy());
        QCOMPARE(queued().size(), 4);
        QVERIFY(m_screen->isEnabled());
    }

    void sendIsAllOrNothing()
    {
        QVERIFY(import(sheet(u"edge.xls"_s)));
        m_db->store().exec(u"create trigger refuse before insert on Rsms when new.mobile = '98765 43210' "
                           "begin select raise(abort, 'refused by the test'); end"_s);
        box()->setPlainText(u"hello"_s);
        QCoro::waitFor(m_screen->sendMessages());
        QVERIFY(queued().isEmpty());
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
        QVERIFY(m_prompt->messages[0].text.contains(u"refused by the test"_s));
        QVERIFY(sendButton()->isEnabled());
        QVERIFY(m_screen->isEnabled());
    }

    void registeredScreen()
    {
        m_screen.reset();
        registerSpreadsheetScreens(m_db->context());
        QWidget* first = ScreenRegistry::instance().show(Screens::SpreadsheetMessages);
        QVERIFY(qobject_cast<SpreadsheetMessagesWindow*>(first));
        QCOMPARE(ScreenRegistry::instance().show(Screens::SpreadsheetMessages), first);
        delete first;
        ScreenRegistry::instance().clear();
    }
};

QTEST_MAIN(TestSpreadsheetMessagesWindow)
#include "tst_spreadsheetmessageswindow.moc"

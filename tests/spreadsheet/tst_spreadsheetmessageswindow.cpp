#include "ScriptedPrompt.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"
#include "spreadsheet/SpreadsheetMessages.h"
#include "spreadsheet/ui/SpreadsheetMessagesWindow.h"
#include "ui/ScreenRegistry.h"

#include <QCheckBox>
#include <QCoroTask>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace SpreadsheetMessages;

Q_DECLARE_METATYPE(SpreadsheetMessages::RowRule)

namespace {

const QString DataDir = QStringLiteral(SHEET_MESSAGES_DATA_DIR);

QString sheet(const QString& name)
{
    return DataDir + QLatin1Char('/') + name;
}

// The rows of edge.* that the import takes, in sheet order.
const QStringList EdgeMobiles{"9876543210",  "9123456789", "9000000000", "98765432101",
                              "98765 43210", "9111111111", "95000000"};
const QStringList EdgeTexts{"Hello",           "",           "exact bound",
                            "eleven digits",   "two groups", "It's line one\r\nline two",
                            "below ten digits"};

using Queued = QList<QStringList>; // mobile, msg, rdttm, urgent, typ

} // namespace

class TestSpreadsheetMessagesWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Clock m_clock;
    std::unique_ptr<Store> m_store;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<SpreadsheetMessagesWindow> m_screen;

    template <class T> T* child(const QString& name) { return m_screen->findChild<T*>(name); }
    QTableWidget* grid() { return child<QTableWidget>(QStringLiteral("MSF")); }
    QPushButton* button(const QString& name) { return child<QPushButton>(name); }
    QString label(const QString& name) { return child<QLabel>(name)->text(); }
    QPlainTextEdit* box() { return child<QPlainTextEdit>(QStringLiteral("tXTsms")); }
    QCheckBox* perRow() { return child<QCheckBox>(QStringLiteral("Check1")); }
    int twips(int value) { return qRound(value * m_screen->logicalDpiX() / 1440.0); }

    QStringList gridColumn(int column)
    {
        QStringList out;
        for (int row = 0; row < grid()->rowCount(); ++row)
            out << grid()->item(row, column)->text();
        return out;
    }

    QList<bool> redCells()
    {
        QList<bool> out;
        for (int row = 0; row < grid()->rowCount(); ++row)
            out << (grid()->item(row, 1)->background().color() == QColor(255, 0, 0));
        return out;
    }

    Queued queued()
    {
        Queued out;
        QSqlQuery q =
            m_store->query(QStringLiteral("select mobile, msg, rdttm, urgent, typ from Rsms order by rowid"));
        while (q.next())
            out << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                               q.value(3).toString(), q.value(4).toString()};
        return out;
    }

    bool import(const QString& path) { return QCoro::waitFor(m_screen->importWorkbook(path)); }

private Q_SLOTS:
    void init()
    {
        m_store = Store::openFile(
            m_dir.filePath(QStringLiteral("SMS-%1.db").arg(QTest::currentTestFunction())), true);
        m_store->exec(QStringLiteral("drop table if exists Rsms"));
        Schema::createMissingTables(*m_store);
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_clock.set([] { return QDateTime(QDate(2026, 12, 5), QTime(14, 30, 9)); });
        m_screen = std::make_unique<SpreadsheetMessagesWindow>(*m_store, m_clock);
        m_screen->show();
    }

    void cleanup()
    {
        m_screen.reset();
        m_prompt.reset();
        m_store.reset();
    }

    // ---- the rules

    void classify_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<RowRule>("rule");
        QTest::newRow("both empty") << ""
                                    << "" << RowRule::Stop;
        QTest::newRow("text, no message") << "abc"
                                          << "" << RowRule::Stop;
        QTest::newRow("zero, no message") << "0"
                                          << "" << RowRule::Stop;
        QTest::newRow("no number, a message") << ""
                                              << "text" << RowRule::PassOver;
        QTest::newRow("short number") << "12345"
                                      << "text" << RowRule::PassOver;
        QTest::newRow("short number, no message") << "12345"
                                                  << "" << RowRule::PassOver;
        QTest::newRow("at the bound") << "90000000"
                                      << "x" << RowRule::PassOver;
        QTest::newRow("above the bound") << "90000001"
                                         << "" << RowRule::Take;
        QTest::newRow("two groups") << "98765 43210"
                                    << "" << RowRule::Take;
        QTest::newRow("negative") << "-9876543210"
                                  << "" << RowRule::PassOver;
        QTest::newRow("blank in column B") << ""
                                           << " " << RowRule::PassOver;
    }

    void classify()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(RowRule, rule);
        QCOMPARE(SpreadsheetMessages::classify(a, b), rule);
    }

    void qualifies_data()
    {
        QTest::addColumn<QString>("mobile");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("queued");
        QTest::newRow("9000000000") << "9000000000"
                                    << "m" << false;
        QTest::newRow("9000000001") << "9000000001"
                                    << "m" << true;
        QTest::newRow("9999999999") << "9999999999"
                                    << "m" << true;
        QTest::newRow("10000000000") << "10000000000"
                                     << "m" << false;
        QTest::newRow("eleven digits") << "98765432101"
                                       << "m" << false;
        QTest::newRow("nine digits") << "987654321"
                                     << "m" << false;
        QTest::newRow("two groups of five") << "98765 43210"
                                            << "m" << true;
        QTest::newRow("no message") << "9876543210"
                                    << "" << false;
    }

    void qualifies()
    {
        QFETCH(QString, mobile);
        QFETCH(QString, message);
        QFETCH(bool, queued);
        QCOMPARE(SpreadsheetMessages::qualifies(mobile, message), queued);
    }

    void messageText_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("lines joined") << "  one\r\ntwo  "
                                      << "onetwo";
        QTest::newRow("blank lines around") << " \r\n x \r\n "
                                            << "x";
        QTest::newRow("apostrophe kept") << "it's"
                                         << "it's";
        QTest::newRow("blanks only") << "   "
                                     << "";
    }

    void messageText()
    {
        QFETCH(QString, raw);
        QFETCH(QString, text);
        QCOMPARE(SpreadsheetMessages::messageText(raw), text);
    }

    void stamp_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("afternoon") << QDateTime(QDate(2026, 12, 5), QTime(14, 30, 9)) << "05122026143009";
        QTest::newRow("new year") << QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0)) << "01012024000000";
    }

    void stamp()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, stamp);
        QCOMPARE(SpreadsheetMessages::stamp(when), stamp);
    }

    // ---- the screen

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::newRow("CmdExcel") << "CmdExcel"
                                  << "QPushButton"
                                  << "SMS From Excel";
        QTest::newRow("Check1") << "Check1"
                                << "QCheckBox"
                                << "AS Per Exel Sheet 'B Col'";
        QTest::newRow("Label1") << "Label1"
                                << "QLabel"
                                << "Massage Text";
        QTest::newRow("tXTsms") << "tXTsms"
                                << "QPlainTextEdit"
                                << "";
        QTest::newRow("Lb1") << "Lb1"
                             << "QLabel"
                             << "";
        QTest::newRow("LbSelected") << "LbSelected"
                                    << "QLabel"
                                    << "";
        QTest::newRow("LbNoofSMS") << "LbNoofSMS"
                                   << "QLabel"
                                   << "";
        QTest::newRow("MSF") << "MSF"
                             << "QTableWidget"
                             << "";
        QTest::newRow("JeweledButton1") << "JeweledButton1"
                                        << "QPushButton"
                                        << "Send SMS";
        QTest::newRow("JeweledButton2") << "JeweledButton2"
                                        << "QPushButton"
                                        << "Exit";
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        QWidget* control = child<QWidget>(name);
        QVERIFY2(control, qPrintable(name));
        QVERIFY(control->inherits(kind.toLatin1().constData()));
        const QVariant text = control->property("text");
        QCOMPARE(text.isValid() ? text.toString() : control->property("plainText").toString(), caption);
    }

    void openingState()
    {
        QCOMPARE(m_screen->windowTitle(), QStringLiteral("SMS From Excel"));
        QVERIFY(box()->toPlainText().isEmpty());
        QVERIFY(button(QStringLiteral("CmdExcel"))->isEnabled());
        QVERIFY(!button(QStringLiteral("JeweledButton1"))->isEnabled());
        QCOMPARE(grid()->horizontalHeaderItem(0)->text(), QStringLiteral("Mobiles No"));
        QCOMPARE(grid()->horizontalHeaderItem(1)->text(), QStringLiteral("Massage   "));
    }

    void messageBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("length");
        QTest::newRow("plain") << "abc"
                               << "abc"
                               << "3/160";
        QTest::newRow("apostrophe swallowed") << "it's"
                                              << "its"
                                              << "3/160";
        QTest::newRow("double quotes swallowed") << "say \"hi\""
                                                 << "say hi"
                                                 << "6/160";
        QTest::newRow("line break counts two") << "ab\ncd"
                                               << "ab\ncd"
                                               << "6/160";
    }

    void messageBox()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(QString, length);
        box()->setFocus();
        for (const QChar c : typed) {
            if (c == u'\n')
                QTest::keyClick(box(), Qt::Key_Return);
            else
                QTest::keyClicks(box(), QString(c));
        }
        QCOMPARE(box()->toPlainText(), text);
        QCOMPARE(label(QStringLiteral("Lb1")), length);
    }

    void perRowTickClearsTheBox()
    {
        box()->setPlainText(QStringLiteral("for everyone"));
        perRow()->click();
        QVERIFY(box()->toPlainText().isEmpty());
        QVERIFY(!box()->isEnabled());
        QCOMPARE(box()->palette().color(QPalette::Base), m_screen->palette().color(QPalette::Window));
        perRow()->click();
        QVERIFY(box()->isEnabled());
        QCOMPARE(box()->palette().color(QPalette::Base), QColor(Qt::white));
    }

    void import_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xls") << "edge.xls";
        QTest::newRow("xlsx") << "edge.xlsx";
        QTest::newRow("csv") << "edge.csv";
    }

    void import()
    {
        QFETCH(QString, file);
        QVERIFY(import(sheet(file)));
        QCOMPARE(gridColumn(0), EdgeMobiles);
        QCOMPARE(gridColumn(1), EdgeTexts);
        QCOMPARE(label(QStringLiteral("LbNoofSMS")), QStringLiteral("Total Massage : 7"));
        QCOMPARE(label(QStringLiteral("LbSelected")), QStringLiteral("8"));
        QVERIFY(!button(QStringLiteral("CmdExcel"))->isEnabled());
        QVERIFY(button(QStringLiteral("JeweledButton1"))->isEnabled());
        QVERIFY(grid()->isVisible());
        QCOMPARE(grid()->columnWidth(0), twips(2000));
        QCOMPARE(grid()->columnWidth(1), twips(4000));
        QVERIFY(grid()->item(0, 0)->textAlignment() & Qt::AlignLeft);
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(!m_screen->isBusy());
    }

    void importThroughTheDialog()
    {
        m_prompt->files = {QString()}; // cancelled
        button(QStringLiteral("CmdExcel"))->click();
        QCOMPARE(m_prompt->fileDialogs.size(), 1);
        QCOMPARE(m_prompt->fileDialogs[0].title,
                 QStringLiteral("[ Excel File Only ]Select A File From Which To Retrive Data"));
        QVERIFY(m_prompt->fileDialogs[0].text.contains(QStringLiteral("*.xls")));
        QCOMPARE(grid()->rowCount(), 0);
        QVERIFY(button(QStringLiteral("CmdExcel"))->isEnabled());

        m_prompt->files = {sheet(QStringLiteral("edge.xls"))};
        button(QStringLiteral("CmdExcel"))->click();
        QTRY_VERIFY(!m_screen->isBusy());
        QCOMPARE(grid()->rowCount(), 7);
        QVERIFY(button(QStringLiteral("JeweledButton1"))->isEnabled());
    }

    void emptyFirstRowImportsNothing()
    {
        QVERIFY(import(sheet(QStringLiteral("emptyfirst.xls"))));
        QCOMPARE(grid()->rowCount(), 0);
        QCOMPARE(label(QStringLiteral("LbNoofSMS")), QStringLiteral("Total Massage : 0"));
        QVERIFY(button(QStringLiteral("CmdExcel"))->isEnabled());
        QVERIFY(!button(QStringLiteral("JeweledButton1"))->isEnabled());
    }

    void atMostTenThousandRows()
    {
        QFile csv(m_dir.filePath(QStringLiteral("big.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        for (int i = 0; i < MaxSheetRows + 50; ++i)
            csv.write(QByteArray::number(9000000001LL + i) + ",row " + QByteArray::number(i + 1) + "\r\n");
        csv.close();
        QVERIFY(import(csv.fileName()));
        QCOMPARE(grid()->rowCount(), MaxSheetRows);
        QCOMPARE(grid()->item(MaxSheetRows - 1, 1)->text(), QStringLiteral("row 10000"));
        QCOMPARE(label(QStringLiteral("LbNoofSMS")), QStringLiteral("Total Massage : 10000"));
        QCOMPARE(label(QStringLiteral("LbSelected")), QStringLiteral("10001"));
    }

    void unreadableSheet_data()
    {
        QTest::addColumn<QByteArray>("contents"); // empty: no such file
        QTest::addColumn<QString>("name");
        QTest::newRow("garbage") << QByteArrayLiteral("\x01\x02\x03\x04 not a workbook \xff\xfe")
                                 << "list.xls";
        QTest::newRow("empty file") << QByteArray() << "empty.xls";
        QTest::newRow("missing file") << QByteArray("-") << "missing.xls";
    }

    void unreadableSheet()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, name);
        const QString path = m_dir.filePath(name);
        if (contents != "-") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contents);
        }
        // A sheet already on show stays as it was.
        QVERIFY(import(sheet(QStringLiteral("edge.csv"))));
        const QString total = label(QStringLiteral("LbNoofSMS"));

        QVERIFY(!import(path));
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
        QVERIFY2(m_prompt->messages[0].text.contains(name), qPrintable(m_prompt->messages[0].text));
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(gridColumn(0), EdgeMobiles);
        QCOMPARE(label(QStringLiteral("LbNoofSMS")), total);
        QVERIFY(button(QStringLiteral("JeweledButton1"))->isEnabled());
        QVERIFY(grid()->isVisible());
        QVERIFY(!m_screen->isBusy());
    }

    void send_data()
    {
        QTest::addColumn<bool>("columnB");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Queued>("expected");
        const QString stamp = QStringLiteral("05122026143009");
        auto row = [&](const QString& mobile, const QString& msg) {
            return QStringList{mobile, msg, stamp, QStringLiteral("1"), QStringLiteral("0")};
        };
        const QString joined = QStringLiteral("Hi there, it's meexactly");
        QTest::newRow("typed text for all") << false << "Hi there, it's me\nexactly"
                                            << Queued{row("9876543210", joined), row("9123456789", joined),
                                                      row("98765 43210", joined), row("9111111111", joined)};
        QTest::newRow("column B") << true << ""
                                  << Queued{row("9876543210", "Hello"), row("98765 43210", "two groups"),
                                            row("9111111111", "It's line oneline two")};
    }

    void send()
    {
        QFETCH(bool, columnB);
        QFETCH(QString, typed);
        QFETCH(Queued, expected);
        QVERIFY(import(sheet(QStringLiteral("edge.xls"))));
        perRow()->setChecked(columnB);
        box()->setPlainText(typed); // setPlainText bypasses the key filter: the apostrophe goes in
        QCoro::waitFor(m_screen->sendMessages());

        QCOMPARE(queued(), expected);
        QCOMPARE(redCells(), QList<bool>(7, true));
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].text, QStringLiteral("Prosess Complate"));
        QCOMPARE(m_prompt->messages[0].title, QStringLiteral("SMS"));
        QVERIFY(!button(QStringLiteral("JeweledButton1"))->isEnabled());
        QVERIFY(!button(QStringLiteral("CmdExcel"))->isEnabled());
        QVERIFY(m_screen->isEnabled());
        QVERIFY(!m_screen->isBusy());
    }

    void sendThroughTheButton()
    {
        QVERIFY(import(sheet(QStringLiteral("edge.csv"))));
        box()->setPlainText(QStringLiteral("hello"));
        button(QStringLiteral("JeweledButton1"))->click();
        QVERIFY(m_screen->isBusy());
        QVERIFY(!m_screen->isEnabled());
        m_screen->close(); // refused while sending
        QVERIFY(m_screen->isVisible());
        QTRY_VERIFY(!m_screen->isBusy());
        QCOMPARE(queued().size(), 4);
        QVERIFY(m_screen->isEnabled());
    }

    void emptyMessage_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks and lines only") << "   \n  ";
    }

    void emptyMessage()
    {
        QFETCH(QString, typed);
        QVERIFY(import(sheet(QStringLiteral("edge.xls"))));
        box()->setPlainText(typed);
        QCoro::waitFor(m_screen->sendMessages());
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].text, QStringLiteral(" Please Enter Message "));
        QCOMPARE(m_prompt->messages[0].title, QString());
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
        QVERIFY(queued().isEmpty());
        QCOMPARE(redCells(), QList<bool>(7, false));
        QVERIFY(button(QStringLiteral("JeweledButton1"))->isEnabled());
    }

    void sendIsAllOrNothing()
    {
        QVERIFY(import(sheet(QStringLiteral("edge.xls"))));
        m_store->exec(
            QStringLiteral("create trigger refuse before insert on Rsms when new.mobile = '98765 43210' "
                           "begin select raise(abort, 'refused by the test'); end"));
        box()->setPlainText(QStringLiteral("hello"));
        QCoro::waitFor(m_screen->sendMessages());
        QVERIFY(queued().isEmpty());
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
        QVERIFY(m_prompt->messages[0].text.contains(QStringLiteral("refused by the test")));
        QVERIFY(button(QStringLiteral("JeweledButton1"))->isEnabled());
        QVERIFY(m_screen->isEnabled());
    }

    void registeredScreen()
    {
        m_screen.reset();
        EngineContext context(std::move(m_store));
        registerSpreadsheetScreens(context);
        QWidget* first = ScreenRegistry::instance().show(Screens::SpreadsheetMessages);
        QVERIFY(qobject_cast<SpreadsheetMessagesWindow*>(first));
        QCOMPARE(ScreenRegistry::instance().show(Screens::SpreadsheetMessages), first);
        delete first;
        ScreenRegistry::instance().clear();
    }
};

QTEST_MAIN(TestSpreadsheetMessagesWindow)
#include "tst_spreadsheetmessageswindow.moc"

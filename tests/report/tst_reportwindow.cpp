#include "ReportFixture.h"
#include "ScriptedPrompt.h"
#include "core/EngineContext.h"
#include "report/ui/ReportWindow.h"
#include "ui/ScreenRegistry.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQueryModel>
#include <QTableView>
#include <QTest>

Q_DECLARE_METATYPE(Prompt::Answer)

class TestReportWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<ReportStore> m_db;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<ReportWindow> m_screen;

    template <class T> T* child(const QString& name) { return m_screen->findChild<T*>(name); }
    QTableView* grid() { return child<QTableView>(QStringLiteral("MSF")); }
    QAbstractItemModel* model() { return grid()->model(); }
    QString text(const QString& label) { return child<QLabel>(label)->text(); }
    void click(const QString& button) { child<QAbstractButton>(button)->click(); }
    int twips(int value) { return qRound(value * m_screen->logicalDpiX() / 1440.0); }

    QStringList gridColumn(int column)
    {
        QStringList out;
        for (int row = 0; row < model()->rowCount(); ++row)
            out << model()->index(row, column).data().toString();
        return out;
    }

    void clickRow(int row)
    {
        const QRect cell = grid()->visualRect(model()->index(row, 0));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
    }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<ReportStore>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_screen = std::make_unique<ReportWindow>(*m_db->store);
        m_screen->show();
    }

    void cleanup()
    {
        m_screen.reset();
        m_prompt.reset();
        m_db.reset();
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::newRow("OP 0") << "OP_0"
                              << "QRadioButton"
                              << "Sent -Deliverd";
        QTest::newRow("OP 1") << "OP_1"
                              << "QRadioButton"
                              << "Pendig ";
        QTest::newRow("OP 2") << "OP_2"
                              << "QRadioButton"
                              << "Sent -UnDiliverd";
        QTest::newRow("OP 3") << "OP_3"
                              << "QRadioButton"
                              << "Sent -PendReport";
        QTest::newRow("Option1 0") << "Option1_0"
                                   << "QRadioButton"
                                   << "Date";
        QTest::newRow("Option1 1") << "Option1_1"
                                   << "QRadioButton"
                                   << "Mobile No";
        QTest::newRow("Option1 2") << "Option1_2"
                                   << "QRadioButton"
                                   << "Massage";
        QTest::newRow("FrameOrd") << "FrameOrd"
                                  << "QGroupBox"
                                  << "Order by";
        QTest::newRow("ChDate") << "ChDate"
                                << "QCheckBox"
                                << "Date";
        QTest::newRow("JOk") << "JOk"
                             << "QPushButton"
                             << "S&HOW";
        QTest::newRow("JeweledButton1") << "JeweledButton1"
                                        << "QPushButton"
                                        << "E&XIT";
        QTest::newRow("Text1") << "Text1"
                               << "QLineEdit"
                               << "";
        QTest::newRow("MSF") << "MSF"
                             << "QTableView"
                             << "";
        QTest::newRow("LBSMS") << "LBSMS"
                               << "QLabel"
                               << "";
        QTest::newRow("LBMass") << "LBMass"
                                << "QLabel"
                                << "";
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        QWidget* control = child<QWidget>(name);
        QVERIFY2(control, qPrintable(name));
        QVERIFY(control->inherits(kind.toLatin1().constData()));
        const QVariant title = control->property("title");
        QCOMPARE(title.isValid() ? title.toString() : control->property("text").toString(), caption);
    }

    void openingState()
    {
        QCOMPARE(m_screen->windowTitle(), QStringLiteral("Report"));
        QVERIFY(child<QRadioButton>(QStringLiteral("OP_1"))->isChecked());
        QVERIFY(child<QRadioButton>(QStringLiteral("Option1_0"))->isChecked());
        QCOMPARE(child<QGroupBox>(QStringLiteral("FrameOrd"))->property("tag").toString(),
                 QStringLiteral("0"));
        QVERIFY(child<QDateEdit>(QStringLiteral("DT1")));
        QCOMPARE(child<QDateEdit>(QStringLiteral("DT1"))->date(), QDate::currentDate());
        QCOMPARE(child<QDateEdit>(QStringLiteral("DT2"))->date(), QDate::currentDate());
        QCOMPARE(child<QPushButton>(QStringLiteral("JOk"))->toolTip(),
                 QStringLiteral("Display Page Wise  Print View "));
        QVERIFY(!child<QCheckBox>(QStringLiteral("ChDate"))->isChecked());
    }

    void orderTag_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("date") << 0;
        QTest::newRow("mobile") << 1;
        QTest::newRow("message") << 2;
    }

    void orderTag()
    {
        QFETCH(int, index);
        click(QStringLiteral("Option1_%1").arg((index + 1) % 3));
        click(QStringLiteral("Option1_%1").arg(index));
        QCOMPARE(child<QGroupBox>(QStringLiteral("FrameOrd"))->property("tag").toString(),
                 QString::number(index));
        QCOMPARE(int(m_screen->criteria().order), index);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(child<QRadioButton>(QStringLiteral("Option1_%1").arg(i))->font().bold(), i == index);
    }

    void showQueuedAtOnce()
    {
        m_db->queue(QStringLiteral("9912345678"), QStringLiteral("c"), QStringLiteral("03122026235959"));
        m_db->queue(QStringLiteral("9712345678"), QStringLiteral("a"), QStringLiteral("011226335100000"));
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("b"), QStringLiteral("02122026090000"));
        click(QStringLiteral("JOk"));
        QCOMPARE(model()->columnCount(), 4);
        QVERIFY(grid()->isColumnHidden(3)); // the row's key
        QCOMPARE(gridColumn(1), (QStringList{"a", "b", "c"}));
        QCOMPARE(model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Massage"));
        QCOMPARE(model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("RDateTime"));
        QCOMPARE(grid()->columnWidth(1), twips(4500));
        QCOMPARE(text(QStringLiteral("LBSMS")), QStringLiteral("3"));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void showSentHidesReply()
    {
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("late"),
                     QStringLiteral("2026-12-02 10:00:00"), QStringLiteral("N"), QStringLiteral("NCPR"));
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("early"),
                     QStringLiteral("2026-12-01 10:00:00"), QStringLiteral("N"), QStringLiteral("NCPR"));
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("ok"),
                     QStringLiteral("2026-12-01 09:00:00"), QStringLiteral("Y"), QStringLiteral("DELIVRD"));
        click(QStringLiteral("OP_2"));
        click(QStringLiteral("JOk"));
        QCOMPARE(model()->columnCount(), 6);
        QCOMPARE(gridColumn(1), (QStringList{"early", "late"}));
        QVERIFY(grid()->isColumnHidden(5));
        QCOMPARE(model()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("reply"));
        const int widths[] = {1000, 4500, 1500, 1900, 600};
        for (int column = 0; column < 5; ++column)
            QCOMPARE(grid()->columnWidth(column), twips(widths[column]));
        QCOMPARE(text(QStringLiteral("LBSMS")), QStringLiteral("2"));
        QVERIFY(child<QRadioButton>(QStringLiteral("OP_2"))->font().bold());
        QVERIFY(!child<QRadioButton>(QStringLiteral("OP_1"))->font().bold());
    }

    void largeQueueIsFetchedLazily()
    {
        {
            Store::Transaction tx(*m_db->store);
            for (int i = 0; i < 1000; ++i)
                m_db->queue(QString::number(9000000000LL + i), QStringLiteral("m"), QStringLiteral("x"));
            tx.commit();
        }
        click(QStringLiteral("JOk"));
        QCOMPARE(text(QStringLiteral("LBSMS")), QStringLiteral("1000"));
        QVERIFY(model()->rowCount() > 0);
        QVERIFY(model()->rowCount() < 1000);
    }

    void numberFilterWithQuote_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("count");
        QTest::newRow("98") << "98"
                            << "1";
        QTest::newRow("98 and a quote") << "98'"
                                        << "0";
        QTest::newRow("quote first") << "'98"
                                     << "2";
        QTest::newRow("an injection") << "9' or '1'='1"
                                      << "0";
    }

    void numberFilterWithQuote()
    {
        QFETCH(QString, typed);
        QFETCH(QString, count);
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("a"), QStringLiteral("x"));
        m_db->queue(QStringLiteral("9712345678"), QStringLiteral("b"), QStringLiteral("x"));
        child<QLineEdit>(QStringLiteral("Text1"))->setText(typed);
        click(QStringLiteral("JOk"));
        QVERIFY(m_prompt->messages.isEmpty());
        QCOMPARE(text(QStringLiteral("LBSMS")), count);
        QCOMPARE(model()->rowCount(), count.toInt());
    }

    void queuedDateFilter_data()
    {
        QTest::addColumn<bool>("byDate");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("shown");
        const QStringList all{"full", "doy", "bad"};
        QTest::newRow("no date filter") << false << QDate(2026, 12, 2) << QDate(2026, 12, 2) << all;
        QTest::newRow("2 Dec") << true << QDate(2026, 12, 2) << QDate(2026, 12, 2) << QStringList{"full"};
        QTest::newRow("1 Dec") << true << QDate(2026, 12, 1) << QDate(2026, 12, 1) << QStringList{"doy"};
        QTest::newRow("1 to 2 Dec") << true << QDate(2026, 12, 1) << QDate(2026, 12, 2)
                                    << QStringList{"full", "doy"};
        QTest::newRow("another year") << true << QDate(2025, 12, 1) << QDate(2025, 12, 2) << QStringList{};
    }

    void queuedDateFilter()
    {
        QFETCH(bool, byDate);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, shown);
        m_db->queue(QStringLiteral("9712345678"), QStringLiteral("full"), QStringLiteral("02122026090000"));
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("doy"), QStringLiteral("011226335100000"));
        m_db->queue(QStringLiteral("9912345678"), QStringLiteral("bad"), QStringLiteral("0112263351000"));
        child<QCheckBox>(QStringLiteral("ChDate"))->setChecked(byDate);
        child<QDateEdit>(QStringLiteral("DT1"))->setDate(from);
        child<QDateEdit>(QStringLiteral("DT2"))->setDate(to);
        click(QStringLiteral("JOk"));
        QCOMPARE(gridColumn(1), shown);
        QCOMPARE(text(QStringLiteral("LBSMS")), QString::number(shown.size()));
    }

    void showBackfillsLedger()
    {
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("m"), QStringLiteral("2026-12-05 12:00:00"),
                     QStringLiteral("Y"), QVariant(), QStringLiteral("051226339120000"));
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("n"), QStringLiteral("2026-12-05 12:00:00"),
                     QStringLiteral("Y"), QVariant(), QStringLiteral("051226339120000"),
                     QStringLiteral("kept"));
        click(QStringLiteral("JOk")); // the queued view back-fills too
        QCOMPARE(m_db->column(QStringLiteral("select Extra1 from sms order by rowid")),
                 (QStringList{"20261205", "kept"}));
    }

    void replyShown_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<QString>("reply");
        QTest::newRow("delivered") << 0 << "DELIVRD at 10:00";
        QTest::newRow("undelivered") << 2 << "NCPR 17";
        QTest::newRow("awaiting") << 3 << "";
        QTest::newRow("queued") << 1 << "";
    }

    void replyShown()
    {
        QFETCH(int, view);
        QFETCH(QString, reply);
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("y"), QStringLiteral("2026-12-01 10:00:00"),
                     QStringLiteral("Y"), QStringLiteral("DELIVRD at 10:00"));
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("n"), QStringLiteral("2026-12-01 10:00:00"),
                     QStringLiteral("N"), QStringLiteral("NCPR 17"));
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("p"), QStringLiteral("2026-12-01 10:00:00"),
                     QStringLiteral("P"));
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("q"), QStringLiteral("x"));
        click(QStringLiteral("OP_%1").arg(view));
        click(QStringLiteral("JOk"));
        QCOMPARE(model()->rowCount(), 1);
        clickRow(0);
        QCOMPARE(text(QStringLiteral("LBMass")), reply);
    }

    void keyInSentViewShowsReply()
    {
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("1"), QStringLiteral("2026-12-01 10:00:00"),
                     QStringLiteral("N"), QStringLiteral("first"));
        m_db->ledger(QStringLiteral("9812345678"), QStringLiteral("2"), QStringLiteral("2026-12-02 10:00:00"),
                     QStringLiteral("N"), QStringLiteral("second"));
        click(QStringLiteral("OP_2"));
        click(QStringLiteral("JOk"));
        grid()->setFocus();
        grid()->setCurrentIndex(model()->index(0, 0));
        QCOMPARE(text(QStringLiteral("LBMass")), QStringLiteral("first"));
        QTest::keyClick(grid(), Qt::Key_Down);
        QCOMPARE(text(QStringLiteral("LBMass")), QStringLiteral("second"));
        QTest::keyClick(grid(), Qt::Key_Delete);
        QVERIFY(m_prompt->questions.isEmpty());
        QCOMPARE(m_db->column(QStringLiteral("select count(*) from sms")), QStringList{"2"});
    }

    void deleteKey_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<int>("tickedAfterShow");
        QTest::addColumn<int>("row");
        QTest::addColumn<Prompt::Answer>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("grid");
        QTest::newRow("queued, yes") << 1 << 1 << 1 << Prompt::Answer::Yes << true
                                     << QStringList{"b", "c", "d"} << QStringList{"b", "c", "d"};
        QTest::newRow("queued, first row, yes") << 1 << 1 << 0 << Prompt::Answer::Yes << true
                                                << QStringList{"a", "c", "d"} << QStringList{"a", "c", "d"};
        QTest::newRow("queued, no") << 1 << 1 << 1 << Prompt::Answer::No << true
                                    << QStringList{"a", "b", "c", "d"} << QStringList{"b", "a", "c", "d"};
        QTest::newRow("queued list, sent option ticked since")
            << 1 << 0 << 1 << Prompt::Answer::Yes << true << QStringList{"b", "c", "d"}
            << QStringList{"b", "c", "d"};
        // The ledger row has the number and stamp of queued row b: nothing goes.
        QTest::newRow("delivered") << 0 << 0 << 0 << Prompt::Answer::Yes << false
                                   << QStringList{"a", "b", "c", "d"} << QStringList{"s"};
        QTest::newRow("sent list, queued option ticked since")
            << 0 << 1 << 0 << Prompt::Answer::Yes << false << QStringList{"a", "b", "c", "d"}
            << QStringList{"s"};
    }

    void deleteKey()
    {
        QFETCH(int, view);
        QFETCH(int, tickedAfterShow);
        QFETCH(int, row);
        QFETCH(Prompt::Answer, answer);
        QFETCH(bool, asked);
        QFETCH(QStringList, left);
        QFETCH(QStringList, grid);
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("a"), QStringLiteral("011226335100000"));
        m_db->queue(QStringLiteral("9712345678"), QStringLiteral("b"), QStringLiteral("02122026090000"));
        m_db->queue(QStringLiteral("9912345678"), QStringLiteral("c"), QStringLiteral("03122026235959"));
        m_db->queue(QStringLiteral("9912345679"), QStringLiteral("d"), QVariant());
        m_db->ledger(QStringLiteral("9712345678"), QStringLiteral("s"), QStringLiteral("2026-12-02 10:00:00"),
                     QStringLiteral("Y"), QStringLiteral("DELIVRD"), QStringLiteral("02122026090000"));
        click(QStringLiteral("OP_%1").arg(view));
        click(QStringLiteral("JOk"));
        click(QStringLiteral("OP_%1").arg(tickedAfterShow));
        m_prompt->answers = {answer};
        this->grid()->setFocus();
        this->grid()->setCurrentIndex(model()->index(row, 0));
        QTest::keyClick(this->grid(), Qt::Key_Delete);

        QCOMPARE(m_prompt->questions.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(m_prompt->questions[0].text,
                     QStringLiteral("Are You Sure Want To Delete This Massage "));
            QCOMPARE(m_prompt->questions[0].title, QString());
        }
        QCOMPARE(m_db->column(QStringLiteral("select msg from Rsms order by rowid")), left);
        QCOMPARE(m_db->column(QStringLiteral("select count(*) from sms")), QStringList{"1"});
        QCOMPARE(gridColumn(1), grid);
        QVERIFY(m_prompt->messages.isEmpty());
    }

    // A spreadsheet send gives all its rows one stamp: the same number and
    // stamp twice are still two messages.
    void deleteRemovesOnlyTheSelectedMessage()
    {
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("one"), QStringLiteral("02122026090000"));
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("two"), QStringLiteral("02122026090000"));
        m_db->queue(QStringLiteral("9712345678"), QStringLiteral("other"), QStringLiteral("02122026090000"));
        click(QStringLiteral("JOk"));
        const int row = int(gridColumn(1).indexOf(QStringLiteral("two")));
        m_prompt->answers = {Prompt::Answer::Yes};
        grid()->setFocus();
        grid()->setCurrentIndex(model()->index(row, 0));
        QTest::keyClick(grid(), Qt::Key_Delete);
        QCOMPARE(m_db->column(QStringLiteral("select msg from Rsms order by rowid")),
                 (QStringList{"one", "other"}));
        QCOMPARE(gridColumn(1), (QStringList{"other", "one"}));
    }

    void deletingTheLastRowClearsTheGrid()
    {
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("only"), QStringLiteral("011226335100000"));
        click(QStringLiteral("JOk"));
        QCOMPARE(model()->rowCount(), 1);
        m_prompt->answers = {Prompt::Answer::Yes};
        grid()->setFocus();
        grid()->setCurrentIndex(model()->index(0, 0));
        QTest::keyClick(grid(), Qt::Key_Delete);
        QCOMPARE(m_db->column(QStringLiteral("select count(*) from Rsms")), QStringList{"0"});
        QCOMPARE(model()->rowCount(), 0);
        QCOMPARE(model()->columnCount(), 0);
        QCOMPARE(text(QStringLiteral("LBSMS")), QStringLiteral("0"));
    }

    void deleteWithoutSelectedRow()
    {
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("only"), QStringLiteral("011226335100000"));
        QTest::keyClick(grid(), Qt::Key_Delete); // nothing listed yet
        click(QStringLiteral("JOk"));
        grid()->setCurrentIndex(QModelIndex());
        QTest::keyClick(grid(), Qt::Key_Delete);
        QVERIFY(m_prompt->questions.isEmpty());
        QCOMPARE(m_db->column(QStringLiteral("select count(*) from Rsms")), QStringList{"1"});
    }

    void storeFailureIsReported()
    {
        m_db->queue(QStringLiteral("9812345678"), QStringLiteral("a"), QStringLiteral("x"));
        click(QStringLiteral("JOk"));
        QCOMPARE(model()->rowCount(), 1);
        m_db->store->exec(QStringLiteral("alter table Rsms rename to Rsms_gone"));
        click(QStringLiteral("JOk"));
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
        QVERIFY(m_prompt->messages[0].text.contains(QStringLiteral("Rsms")));
        QCOMPARE(model()->rowCount(), 1); // the list on show stays
        QCOMPARE(text(QStringLiteral("LBSMS")), QStringLiteral("1"));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void registeredScreen()
    {
        m_screen.reset();
        EngineContext context(std::move(m_db->store));
        registerReportScreens(context);
        QVERIFY(ScreenRegistry::instance().has(Screens::Report));
        QWidget* first = ScreenRegistry::instance().show(Screens::Report);
        QVERIFY(qobject_cast<ReportWindow*>(first));
        QCOMPARE(ScreenRegistry::instance().show(Screens::Report), first);
        delete first;
        ScreenRegistry::instance().clear();
    }
};

QTEST_MAIN(TestReportWindow)
#include "tst_reportwindow.moc"

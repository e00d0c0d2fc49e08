#include "ScriptedPrompt.h"
#include "StoreFixture.h"
#include "report/ui/ReportWindow.h"
#include "ui/ScreenRegistry.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

Q_DECLARE_METATYPE(Prompt::Answer)

class TestReportWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<StoreFixture> m_db;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<ReportWindow> m_screen;

    template <class T> T* child(const QString& name) { return m_screen->findChild<T*>(name); }
    QTableView* grid() { return child<QTableView>(QStringLiteral("MSF")); }
    QAbstractItemModel* model() { return grid()->model(); }
    QString text(const QString& label) { return child<QLabel>(label)->text(); }
    void click(const QString& button) { child<QAbstractButton>(button)->click(); }
    void show(int view)
    {
        if (view >= 0)
            click(QStringLiteral("OP_%1").arg(view));
        click(QStringLiteral("JOk"));
    }
    QStringList queuedMessages()
    {
        return m_db->column(QStringLiteral("select msg from Rsms order by rowid"));
    }
    QStringList listed()
    {
        QStringList out;
        for (int row = 0; row < model()->rowCount(); ++row)
            out << model()->index(row, 1).data().toString();
        return out;
    }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<StoreFixture>();
        // Queued in number order b, a, c, d; ledger row s has the number and stamp of queued row b.
        const QList<QVariantList> queue{{"9812345678", "a", "011226335100000"},
                                        {"9712345678", "b", "02122026090000"},
                                        {"9912345678", "c", "03122026235959"},
                                        {"9912345679", "d", QVariant()}};
        for (const QVariantList& r : queue)
            m_db->queue(r[0].toString(), r[1].toString(), {{"RDtTM", r[2]}});
        const auto sent = [this](const char* mobile, const char* msg, const char* at, const char* status,
                                 const QVariantMap& more) {
            QVariantMap row{{"msg", msg}, {"SDTTm", at}, {"Status", status}};
            row.insert(more);
            m_db->ledger(QString::fromLatin1(mobile), row);
        };
        sent("9712345678", "s", "2026-12-02 10:00:00", "Y",
             {{"Reply", "DELIVRD"}, {"RDtTM", "02122026090000"}});
        sent("9822222222", "early", "2026-12-01 10:00:00", "N", {{"Reply", "NCPR 17"}});
        sent("9812345678", "late", "2026-12-02 10:00:00", "N", {{"Reply", "second"}});
        sent("9812345678", "p", "2026-12-01 10:00:00", "P", {{"Extra1", "kept"}});
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_screen = std::make_unique<ReportWindow>(m_db->store());
        m_screen->show();
    }

    void cleanup()
    {
        m_screen.reset();
        m_prompt.reset();
        m_db.reset();
    }

    // What the operator chooses and types, the rows listed and the reply shown for the first
    // row and, after the down arrow, for the next.
    void showList_data()
    {
        QTest::addColumn<int>("view"); // -1: as the window opens
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("from"); // invalid: no date filter
        QTest::addColumn<QDate>("to");
        QTest::addColumn<int>("order"); // -1: as the window opens
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("replies");
        const auto row = [](const char* name, int view, const char* typed, QDate from, QDate to, int order,
                            const QStringList& shown, const QStringList& replies = {"", ""}) {
            QTest::newRow(name) << view << QString::fromUtf8(typed) << from << to << order << shown
                                << replies;
        };
        const QDate none, d1(2026, 12, 1), d2(2026, 12, 2);
        row("queued at once", -1, "", none, none, -1, {"b", "a", "c", "d"});
        row("queued, by message", 1, "", none, none, 2, {"a", "b", "c", "d"});
        row("queued, 98", 1, "98", none, none, 0, {"a"});
        row("queued, an injection", 1, "9' or '1'='1", none, none, 0, {});
        row("queued, 2 Dec", 1, "", d2, d2, 0, {"b"});
        row("queued, 1 to 2 Dec", 1, "", d1, d2, 0, {"b", "a"});
        row("delivered", 0, "", none, none, -1, {"s"}, {"DELIVRD", "DELIVRD"});
        row("undelivered", 2, "", none, none, -1, {"early", "late"}, {"NCPR 17", "second"});
        row("undelivered, by mobile", 2, "", none, none, 1, {"late", "early"}, {"second", "NCPR 17"});
        row("awaiting", 3, "", none, none, -1, {"p"});
    }

    void showList()
    {
        QFETCH(int, view);
        QFETCH(QString, typed);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(int, order);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, replies);
        if (order >= 0) { // from another order, so that the click is a change
            click(QStringLiteral("Option1_%1").arg((order + 1) % 3));
            click(QStringLiteral("Option1_%1").arg(order));
        }
        child<QLineEdit>(QStringLiteral("Text1"))->setText(typed);
        child<QCheckBox>(QStringLiteral("ChDate"))->setChecked(from.isValid());
        if (from.isValid()) {
            child<QDateEdit>(QStringLiteral("DT1"))->setDate(from);
            child<QDateEdit>(QStringLiteral("DT2"))->setDate(to);
        }
        show(view);
        QVERIFY(m_prompt->messages.isEmpty());
        QCOMPARE(listed(), shown);
        QCOMPARE(text(QStringLiteral("LBSMS")), QString::number(shown.size()));
        // The queued list hides its rows' keys, a sent list the reply it shows below the grid.
        const bool queued = view < 0 || view == 1;
        QCOMPARE(model()->columnCount(), queued ? 4 : 6);
        for (int column = 0; column < model()->columnCount(); ++column)
            QCOMPARE(grid()->isColumnHidden(column), column == (queued ? 3 : 5));
        if (shown.isEmpty())
            return;
        const QRect cell = grid()->visualRect(model()->index(0, 0));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(text(QStringLiteral("LBMass")), replies[0]);
        QTest::keyClick(grid(), Qt::Key_Down);
        QCOMPARE(text(QStringLiteral("LBMass")), replies[1]);
    }

    // The count comes from the store, not from the rows the grid has fetched so far.
    void largeQueueIsFetchedLazily()
    {
        Store::Transaction tx(m_db->store());
        for (int i = 0; i < 1000; ++i)
            m_db->queue(QString::number(9000000000LL + i), QStringLiteral("m"));
        tx.commit();
        show(1);
        QCOMPARE(text(QStringLiteral("LBSMS")), QStringLiteral("1004"));
        QVERIFY(model()->rowCount() > 0);
        QVERIFY(model()->rowCount() < 1004);
    }

    void showBackfillsLedger()
    {
        show(1); // the queued view back-fills too
        QCOMPARE(m_db->column(QStringLiteral("select Extra1 from sms order by rowid")),
                 (QStringList{"20261202", "20240105", "20240105", "kept"}));
    }

    void deleteKey_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<int>("tickedAfterShow");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("row");
        QTest::addColumn<Prompt::Answer>("answer");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("grid");
        const auto row = [](const char* name, int view, int ticked, const char* typed, int row,
                            Prompt::Answer answer, const QStringList& left, const QStringList& grid) {
            QTest::newRow(name) << view << ticked << QString::fromLatin1(typed) << row << answer << left
                                << grid;
        };
        // The answer ready for the question; Cancel for a key that must ask nothing.
        const Prompt::Answer yes = Prompt::Answer::Yes, unasked = Prompt::Answer::Cancel;
        const QStringList all{"a", "b", "c", "d"};
        row("queued, yes", 1, 1, "", 1, yes, {"b", "c", "d"}, {"b", "c", "d"});
        row("queued, missing stamp, yes", 1, 1, "", 3, yes, {"a", "b", "c"}, {"b", "a", "c"});
        row("queued, no", 1, 1, "", 1, Prompt::Answer::No, all, {"b", "a", "c", "d"});
        row("queued list, sent option ticked since", 1, 0, "", 1, yes, {"b", "c", "d"}, {"b", "c", "d"});
        row("last row of the list", 1, 1, "98", 0, yes, {"b", "c", "d"}, {});
        row("no row selected", 1, 1, "", -1, unasked, all, {"b", "a", "c", "d"});
        row("delivered", 0, 0, "", 0, unasked, all, {"s"});
        row("sent list, queued option ticked since", 0, 1, "", 0, unasked, all, {"s"});
    }

    void deleteKey()
    {
        QFETCH(int, view);
        QFETCH(int, tickedAfterShow);
        QFETCH(QString, typed);
        QFETCH(int, row);
        QFETCH(Prompt::Answer, answer);
        QFETCH(QStringList, left);
        QFETCH(QStringList, grid);
        QTest::keyClick(this->grid(), Qt::Key_Delete); // nothing listed yet
        child<QLineEdit>(QStringLiteral("Text1"))->setText(typed);
        show(view);
        click(QStringLiteral("OP_%1").arg(tickedAfterShow));
        m_prompt->answers = {answer};
        this->grid()->setFocus();
        this->grid()->setCurrentIndex(model()->index(row, 0));
        QTest::keyClick(this->grid(), Qt::Key_Delete);

        const bool asked = answer != Prompt::Answer::Cancel;
        QCOMPARE(m_prompt->questions.size(), asked ? 1 : 0);
        if (asked)
            QCOMPARE(m_prompt->questions[0].text,
                     QStringLiteral("Are You Sure Want To Delete This Massage "));
        QCOMPARE(queuedMessages(), left);
        QCOMPARE(m_db->count(QStringLiteral("sms")), 4);
        QCOMPARE(listed(), grid);
        QCOMPARE(text(QStringLiteral("LBSMS")), QString::number(grid.size()));
        if (grid.isEmpty())
            QCOMPARE(model()->columnCount(), 0);
        QVERIFY(m_prompt->messages.isEmpty());
    }

    void storeFailureIsReported()
    {
        show(1);
        m_db->store().exec(QStringLiteral("alter table Rsms rename to Rsms_gone"));
        show(1);
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
        QVERIFY(m_prompt->messages[0].text.contains(QStringLiteral("Rsms")));
        QCOMPARE(model()->rowCount(), 4); // the list on show stays
        QCOMPARE(text(QStringLiteral("LBSMS")), QStringLiteral("4"));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void registeredScreen()
    {
        m_screen.reset();
        registerReportScreens(m_db->context());
        QWidget* first = ScreenRegistry::instance().show(Screens::Report);
        QVERIFY(qobject_cast<ReportWindow*>(first));
        QCOMPARE(ScreenRegistry::instance().show(Screens::Report), first);
        delete first;
        ScreenRegistry::instance().clear();
    }
};

QTEST_MAIN(TestReportWindow)
#include "tst_reportwindow.moc"

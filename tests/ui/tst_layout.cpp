#include "StoreFixture.h"
#include "bulk/ui/BulkScreens.h"
#include "console/ConsoleWindow.h"
#include "dispatch/Engine.h"
#include "intake/ui/IntakeScreens.h"
#include "report/ui/ReportWindow.h"
#include "spreadsheet/ui/SpreadsheetMessagesWindow.h"
#include "ui/ScreenRegistry.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace {

// The controls the operator reads or handles; what lies inside them (a
// combo box's editor, a table's header) is theirs to arrange.
bool isControl(const QWidget* w)
{
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractScrollArea*>(w);
}

bool insideControl(const QWidget* w, const QWidget* window)
{
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (isControl(p))
            return true;
    return false;
}

QString nameOf(const QWidget* w)
{
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) + u'"' +
                                           w->property("text").toString() + u'"'
                                     : w->objectName();
}

// What does not fit: captions wider than their widget, header captions wider
// than their column.
QStringList clipped(QWidget* window)
{
    QStringList faults;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->width() <= 0)
            continue;
        auto* header = qobject_cast<QHeaderView*>(w);
        if (!header && insideControl(w, window))
            continue;
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (!button->text().isEmpty() && button->sizeHint().width() > button->width())
                faults << u"%1 needs %2 px, has %3"_s.arg(nameOf(w))
                              .arg(button->sizeHint().width())
                              .arg(w->width());
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->wordWrap() || label->text().isEmpty())
                continue;
            int needed = 0;
            if (Qt::mightBeRichText(label->text())) {
                QTextDocument doc;
                doc.setDefaultFont(label->font());
                doc.setHtml(label->text());
                needed = qCeil(doc.idealWidth()) - 2 * int(doc.documentMargin());
            } else {
                for (const QString& line : label->text().split(u'\n'))
                    needed = qMax(needed, label->fontMetrics().horizontalAdvance(line));
            }
            const int room = label->contentsRect().width() - 2 * label->margin() - qMax(0, label->indent());
            if (needed > room)
                faults << u"%1 needs %2 px, has %3"_s.arg(nameOf(w)).arg(needed).arg(room);
        } else if (header) {
            if (header->orientation() != Qt::Horizontal || !header->model())
                continue;
            // Columns beyond the grid's right edge are cut off just the same.
            if (header->length() > header->width() + 1)
                faults << u"%1 columns need %2 px, have %3"_s.arg(nameOf(header->parentWidget()))
                              .arg(header->length())
                              .arg(header->width());
            const int margin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
            for (int section = 0; section < header->count(); ++section) {
                if (header->isSectionHidden(section))
                    continue;
                const QString caption = header->model()->headerData(section, Qt::Horizontal).toString();
                const int needed = header->fontMetrics().horizontalAdvance(caption) + margin;
                if (needed > header->sectionSize(section))
                    faults << u"%1 column \"%2\" needs %3 px, has %4"_s
                                  .arg(nameOf(header->parentWidget()), caption)
                                  .arg(needed)
                                  .arg(header->sectionSize(section));
            }
        }
    }
    return faults;
}

// Visible controls that cover each other.
QStringList overlapping(QWidget* window)
{
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->isVisibleTo(window) && isControl(w) && !insideControl(w, window))
            controls << w;
    QStringList faults;
    for (int i = 0; i < controls.size(); ++i) {
        const QRect a(controls[i]->mapTo(window, QPoint(0, 0)), controls[i]->size());
        for (int j = i + 1; j < controls.size(); ++j) {
            const QRect b(controls[j]->mapTo(window, QPoint(0, 0)), controls[j]->size());
            if (a.intersects(b))
                faults << u"%1 and %2 overlap"_s.arg(nameOf(controls[i]), nameOf(controls[j]));
        }
    }
    return faults;
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

    std::unique_ptr<StoreFixture> m_db;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // the report keeps its column widths here
        m_db = std::make_unique<StoreFixture>();
        m_db->loadDefaultProfile("ACME", {{"GsmSid", "TELVRA"}});
        for (int i = 0; i < 40; ++i) {
            m_db->queue(u"98765%1"_s.arg(43210 + i), u"Your order %1 has been dispatched"_s.arg(i),
                        {{"RDtTM", "07122026101500"}});
            m_db->ledger(u"91234%1"_s.arg(56780 + i),
                         {{"msg", u"Payment received, thank you %1"_s.arg(i)},
                          {"RDtTM", "071226341101500"},
                          {"SDTTm", u"2026-12-%1 10:16:0%2"_s.arg(1 + i % 7, 2, 10, QChar(u'0')).arg(i % 10)},
                          {"Status", i % 5 ? "Y" : "N"}});
        }
        registerIntakeScreens(m_db->context());
        registerBulkScreens(m_db->context());
        registerReportScreens(m_db->context());
        registerSpreadsheetScreens(m_db->context());
    }
    void cleanupTestCase() { ScreenRegistry::instance().clear(); }

    // The checks themselves find a cut caption, a narrow column and two controls on one spot.
    void checksFindFaults()
    {
        QWidget form;
        form.resize(400, 300);
        auto* button = new QPushButton(u"A caption far too long for its button"_s, &form);
        button->setGeometry(10, 10, 60, 30);
        auto* label = new QLabel(u"A label wider than its room"_s, &form);
        label->setGeometry(10, 50, 40, 20);
        auto* over = new QLabel(u"x"_s, &form);
        over->setGeometry(20, 55, 20, 20);
        QStandardItemModel model(1, 1);
        model.setHorizontalHeaderLabels({u"A long column caption"_s});
        auto* table = new QTableView(&form);
        table->setModel(&model);
        table->setGeometry(10, 100, 300, 150);
        table->setColumnWidth(0, 30);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QStringList cut = clipped(&form);
        QVERIFY2(cut.size() == 3, qPrintable(cut.join(u'\n')));
        QVERIFY2(cut.filter(u"A long column caption"_s).size() == 1, qPrintable(cut.join(u'\n')));
        QCOMPARE(overlapping(&form),
                 QStringList{u"QLabel\"A label wider than its room\" and QLabel\"x\" overlap"_s});
        label->setGeometry(10, 50, 300, 20);
        over->move(320, 55);
        button->resize(button->sizeHint());
        table->setColumnWidth(0, 250);
        QVERIFY(clipped(&form).isEmpty());
        QVERIFY(overlapping(&form).isEmpty());
    }

    void screen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("console") << u"Form2"_s;
        for (const QString& name : {Screens::SingleMessage, Screens::BulkSender, Screens::Contacts,
                                    Screens::Report, Screens::SpreadsheetMessages})
            QTest::newRow(qPrintable(name)) << name;
    }

    void screen()
    {
        QFETCH(QString, name);
        Engine engine(m_db->context());
        std::unique_ptr<ConsoleWindow> console;
        QWidget* window = nullptr;
        if (name == u"Form2") {
            console = std::make_unique<ConsoleWindow>(
                m_db->context(), engine,
                ConsoleOptions{m_db->path("console.ini"), ConsoleTray::Availability::Unavailable});
            console->load();
            console->show();
            window = console.get();
        } else {
            window = ScreenRegistry::instance().show(name);
        }
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        if (auto* show = window->findChild<QAbstractButton*>(u"JOk"_s)) { // the report with its rows
            show->click();
            QApplication::processEvents();
        }
        QVERIFY(window->findChildren<QAbstractButton*>().size() >= 2);
        QStringList faults = clipped(window) + overlapping(window);
        QVERIFY2(faults.isEmpty(),
                 qPrintable(u"%1 at %2x%3:\n"_s.arg(name).arg(window->width()).arg(window->height()) +
                            faults.join(u'\n')));
        if (!console)
            window->close();
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"

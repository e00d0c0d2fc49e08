#include "BulkTestSupport.h"

#include "bulk/ContactImport.h"
#include "bulk/ui/BulkSenderWindow.h"

#include <QComboBox>
#include <QCoroTask>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {
const QString A = QStringLiteral("9876543210");
const QString B = QStringLiteral("9123456789");

using Grid = QList<QStringList>;

ContactImport::CellReader cellsOf(const Grid& grid)
{
    return [grid](int row, int column) {
        if (row < 1 || row > grid.size() || column < 1 || column > grid[row - 1].size())
            return QString();
        return grid[row - 1][column - 1];
    };
}

template <typename W> W* child(QWidget* screen, const char* name)
{
    W* w = screen->findChild<W*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

QStringList contacts(BulkFixture& f)
{
    QStringList rows;
    QSqlQuery q = f.store().query(QStringLiteral("select Nm, mob, GRP from Clist order by rowid"));
    while (q.next())
        rows << q.value(0).toString() + QLatin1Char('|') + q.value(1).toString() + QLatin1Char('|') +
                    q.value(2).toString();
    return rows;
}
} // namespace

class TestContactImport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void readRows_data();
    void readRows();
    void readsAtMostTenThousandRows();
    void tooWideRowStopsTheImport_data();
    void tooWideRowStopsTheImport();
    void cancelStopsReading();
    void screenImport_data();
    void screenImport();
    void unreadableFileAddsNothing_data();
    void unreadableFileAddsNothing();
    void cancelledPickerChangesNothing();

private:
    QTemporaryDir m_files;
};

void TestContactImport::initTestCase()
{
    QProcess python;
    const QString script =
        qEnvironmentVariable("SMS_SOURCE_DIR") + QStringLiteral("/tests/bulk/contact_sheets.py");
    python.start(QStringLiteral("/usr/bin/python3"), {script, m_files.path(), A, B});
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());

    QFile csv(m_files.filePath(QStringLiteral("contacts.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write(QStringLiteral("Mobile,Name\r\n%1,RAVI\r\n12345,X\r\n\r\n%2,ASHA\r\n").arg(A, B).toUtf8());
    csv.close();
    QFile wide(m_files.filePath(QStringLiteral("wide.csv")));
    QVERIFY(wide.open(QIODevice::WriteOnly));
    wide.write(QStringLiteral("%1,RAVI\r\n98765432101,TOO LONG\r\n").arg(A).toUtf8());
    wide.close();
}

void TestContactImport::readRows_data()
{
    QTest::addColumn<Grid>("grid");
    QTest::addColumn<QStringList>("mobiles");
    QTest::addColumn<int>("rowsRead");
    QTest::newRow("the spreadsheet case")
        << Grid{{"Mobile", "Name"}, {A, "RAVI"}, {"12345", "X"}, {}, {B, "ASHA"}} << QStringList{A} << 3;
    QTest::newRow("bound is exclusive") << Grid{{"90000000"}, {"90000001"}} << QStringList{"90000001"} << 2;
    QTest::newRow("leading blanks and trailing text")
        << Grid{{" 9876543210 (home)"}, {"+9123456789"}} << QStringList{A, B} << 2;
    QTest::newRow("text with a leading zero reads its value")
        << Grid{{"0987654321"}} << QStringList{"987654321"} << 1;
    QTest::newRow("a blank cell is no empty cell") << Grid{{" "}, {A}} << QStringList{A} << 2;
    QTest::newRow("empty sheet") << Grid{} << QStringList{} << 0;
}

void TestContactImport::readRows()
{
    QFETCH(Grid, grid);
    QFETCH(QStringList, mobiles);
    QFETCH(int, rowsRead);
    const ContactImport::Plan plan = QCoro::waitFor(
        ContactImport::read(cellsOf(grid), ContactImport::Target::Contacts, QStringLiteral("G"), nullptr));
    QStringList got;
    for (const auto& r : plan.rows)
        got << r.mobile;
    QCOMPARE(got, mobiles);
    QCOMPARE(plan.rowsRead, rowsRead);
}

void TestContactImport::readsAtMostTenThousandRows()
{
    int asked = 0;
    auto cells = [&asked](int row, int column) {
        if (column == 1)
            asked = std::max(asked, row);
        return column == 1 ? QString::number(9000000000LL + row) : QStringLiteral("N");
    };
    int progressCalls = 0;
    ContactImport::Control control;
    control.yieldEvery = 1000;
    control.progress = [&progressCalls](int) { ++progressCalls; };
    BulkFixture f;
    const ContactImport::Plan plan = QCoro::waitFor(
        ContactImport::read(cells, ContactImport::Target::Contacts, QStringLiteral("G"), &control));
    QCOMPARE(plan.rows.size(), ContactImport::MaxRows);
    QCOMPARE(asked, ContactImport::MaxRows);
    QVERIFY(progressCalls >= 10);
    QCOMPARE(ContactImport::store(f.store(), plan, QStringLiteral("G")), ContactImport::MaxRows);
    QCOMPARE(f.count(QStringLiteral("select count(distinct mob) from Clist where GRP = 'G'")),
             ContactImport::MaxRows);
}

void TestContactImport::tooWideRowStopsTheImport_data()
{
    QTest::addColumn<Grid>("grid");
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("boxRows"); // numbers the same rows give the number box
    QTest::newRow("eleven digits") << Grid{{A, "RAVI"}, {"98765432101", "X"}} << "G" << 2 << 2;
    QTest::newRow("name of 51") << Grid{{A, QString(51, u'N')}} << "G" << 1 << 1;
    QTest::newRow("group of 26") << Grid{{"x"}, {A, "RAVI"}} << QString(26, u'G') << 2 << 1;
}

void TestContactImport::tooWideRowStopsTheImport()
{
    QFETCH(Grid, grid);
    QFETCH(QString, group);
    QFETCH(int, row);
    QFETCH(int, boxRows);
    const auto* error = exceptionAs<ContactImport::RowError>(
        waitCatching(ContactImport::read(cellsOf(grid), ContactImport::Target::Contacts, group, nullptr)));
    QVERIFY(error);
    QCOMPARE(error->row(), row);
    QVERIFY2(error->text().startsWith(QStringLiteral("Row %1:").arg(row)), qPrintable(error->text()));
    // The number box holds numbers only: nothing there is too wide.
    const auto plan =
        QCoro::waitFor(ContactImport::read(cellsOf(grid), ContactImport::Target::NumberBox, group, nullptr));
    QCOMPARE(plan.rows.size(), boxRows);
}

void TestContactImport::cancelStopsReading()
{
    ContactImport::Control control;
    control.yieldEvery = 10;
    control.progress = [&control](int rows) {
        if (rows >= 50)
            control.cancelled = true;
    };
    auto cells = [](int row, int) { return QString::number(9000000000LL + row); };
    const auto error = waitCatching(
        ContactImport::read(cells, ContactImport::Target::Contacts, QStringLiteral("G"), &control));
    QVERIFY(exceptionAs<ContactImport::Cancelled>(error));
}

void TestContactImport::screenImport_data()
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

void TestContactImport::screenImport()
{
    QFETCH(QString, file);
    QFETCH(bool, excel);
    QFETCH(bool, direct);
    BulkFixture f;
    ScriptedPrompt prompt;
    prompt.fileNames = {m_files.filePath(file)};
    BulkSenderWindow screen(*f.context);
    auto* numbers = child<QPlainTextEdit>(&screen, "Text1");
    numbers->setPlainText(QStringLiteral("1111111111\n"));
    child<QPushButton>(&screen, "JeweledButton5")->click();
    child<QRadioButton>(&screen, excel ? "OpExel" : "Option2")->click();
    child<QRadioButton>(&screen, direct ? "Option3" : "Option4")->click();

    QCoro::waitFor(screen.importFile());

    QCOMPARE(prompt.shown.size(), 2);
    QCOMPARE(prompt.shown[0].kind, QStringLiteral("file"));
    QCOMPARE(prompt.shown[0].title,
             excel ? QStringLiteral("[ Excel File Only ]Select A File From Which To Retrive Data")
                   : QStringLiteral("[ txt/CSV File Only ]Select A File From Which To Retrive Data"));
    QCOMPARE(prompt.shown[1].text, QStringLiteral(" 1  Records Add to Group"));
    QCOMPARE(child<QLineEdit>(&screen, "TxtGrp1")->text(), QStringLiteral("DEFULT"));
    QVERIFY(child<QGroupBox>(&screen, "Frame3")->isHidden());
    if (direct) {
        QCOMPARE(numbers->toPlainText(), A + QStringLiteral("\n"));
        QCOMPARE(contacts(f), QStringList{});
    } else {
        QCOMPARE(numbers->toPlainText(), QStringLiteral("1111111111\n"));
        QCOMPARE(contacts(f), QStringList{QStringLiteral("RAVI|") + A + QStringLiteral("|DEFULT")});
        QVERIFY(child<QComboBox>(&screen, "ComGroup")->findText(QStringLiteral("DEFULT")) >= 0);
    }
}

void TestContactImport::unreadableFileAddsNothing_data()
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

void TestContactImport::unreadableFileAddsNothing()
{
    QFETCH(QString, file);
    QFETCH(bool, excel);
    QFETCH(QString, says);
    BulkFixture f;
    ScriptedPrompt prompt;
    prompt.fileNames = {m_files.filePath(file)};
    BulkSenderWindow screen(*f.context);
    child<QPushButton>(&screen, "JeweledButton5")->click();
    child<QRadioButton>(&screen, excel ? "OpExel" : "Option2")->click();
    QCoro::waitFor(screen.importFile());
    QCOMPARE(prompt.messages().size(), 1);
    QVERIFY2(prompt.messages()[0].contains(says), qPrintable(prompt.messages()[0]));
    QVERIFY(prompt.messages()[0].contains(QStringLiteral("Nothing was added.")));
    QCOMPARE(prompt.shown.last().icon, Prompt::Icon::Critical);
    QCOMPARE(f.count(QStringLiteral("select count(*) from Clist")), 0);
    QVERIFY(child<QPushButton>(&screen, "JeweledButton4")->isEnabled());
}

void TestContactImport::cancelledPickerChangesNothing()
{
    BulkFixture f;
    ScriptedPrompt prompt; // no file name: the picker is cancelled
    BulkSenderWindow screen(*f.context);
    child<QPushButton>(&screen, "JeweledButton5")->click();
    QCoro::waitFor(screen.importFile());
    QCOMPARE(prompt.shown.size(), 1);
    QVERIFY(!child<QGroupBox>(&screen, "Frame3")->isHidden());
    QVERIFY(child<QLineEdit>(&screen, "TxtGrp1")->text().isEmpty());
    QCOMPARE(f.count(QStringLiteral("select count(*) from Clist")), 0);
}

QTEST_MAIN(TestContactImport)
#include "tst_contactimport.moc"

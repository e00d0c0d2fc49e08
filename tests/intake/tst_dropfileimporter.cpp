#include "IntakeTestSupport.h"
#include "intake/DropFileImporter.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

namespace {
// File operations that fail when the test says so.
class ScriptedFs : public DropFileSystem
{
public:
    // op is "open", "rename" or "remove"; path is the file's path (for a
    // rename, the source). True makes the operation fail.
    std::function<bool(const QString& op, const QString& path, const QString& to)> fail;
    // Runs after an operation that worked; a test throws from it to stop the
    // import there, as a killed program would.
    std::function<void(const QString& op, const QString& to)> after;
    int calls = 0;

    bool open(QFile& file, QString& error) override
    {
        ++calls;
        if (fail && fail(QStringLiteral("open"), file.fileName(), QString())) {
            error = QStringLiteral("refused by the test");
            return false;
        }
        return DropFileSystem::open(file, error);
    }
    bool rename(const QString& from, const QString& to, QString& error) override
    {
        ++calls;
        if (fail && fail(QStringLiteral("rename"), from, to)) {
            error = QStringLiteral("refused by the test");
            return false;
        }
        if (!DropFileSystem::rename(from, to, error))
            return false;
        if (after)
            after(QStringLiteral("rename"), to);
        return true;
    }
    bool remove(const QString& path, QString& error) override
    {
        ++calls;
        if (fail && fail(QStringLiteral("remove"), path, QString())) {
            error = QStringLiteral("refused by the test");
            return false;
        }
        return DropFileSystem::remove(path, error);
    }
};

struct Killed
{
};

// Writes a file under a name given as bytes, which need not be valid UTF-8.
void writeNative(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), bytes.size()), ssize_t(bytes.size()));
    ::close(fd);
}

const DropFormat& formatNamed(const QString& name)
{
    return name == QLatin1String("comma") ? DropFormat::comma() : DropFormat::pipe();
}
} // namespace

class TestDropFileImporter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void parseLine_data();
    void parseLine();

    void sixFilesPerCall_data();
    void sixFilesPerCall();
    void whichFilesCount_data();
    void whichFilesCount();
    void firstNameFirst();
    void lineEnds_data();
    void lineEnds();
    void fileWithoutQueuedLinesIsDeleted_data();
    void fileWithoutQueuedLinesIsDeleted();
    void textEncodings_data();
    void textEncodings();
    void nulCharactersSkipLine();
    void binaryFile();
    void fiveMegabyteFile();
    void oneLongLine();
    void recentFilesWait_data();
    void recentFilesWait();
    void programFolderImports();

    void unopenableFileStaysAndStopsFolder();
    void renameRefusedQueuesNothing();
    void failingInsertQueuesNothingOfTheFile();
    void failingCommitQueuesNothingOfTheFile();
    void failingCommitAndRenameBack();
    void failingDelete_data();
    void failingDelete();
    void noLineTwiceNoLineLost();

    void foreignNames_data();
    void foreignNames();
    void longNames_data();
    void longNames();
    void interruptedImport_data();
    void interruptedImport();
    void overLongTexts_data();
    void overLongTexts();
    void leftoversOfAnEarlierVersionStay();

private:
    std::unique_ptr<TempStore> t;
    QString pipeDir, commaDir;
    DropFileImporter importer(const DropFormat& f)
    {
        DropFileImporter imp(*t->store, f, t->home());
        imp.setMinimumAge(std::chrono::milliseconds(0));
        return imp;
    }
    QString dirOf(const DropFormat& f) const { return &f == &DropFormat::comma() ? commaDir : pipeDir; }
    QMap<QString, int> msgCounts()
    {
        QMap<QString, int> counts;
        for (const auto& r : t->rows())
            ++counts[r.msg];
        return counts;
    }
    int journalRows()
    {
        // Without the row that marks a folder as journalled.
        return t->store
            ->scalar(QStringLiteral("select count(*) from %1 where Name <> '/'")
                         .arg(DropFileImporter::JournalTable))
            .toInt();
    }
    QStringList filesIn(const QString& dir)
    {
        QStringList names =
            QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        return names;
    }
};

void TestDropFileImporter::init()
{
    t = std::make_unique<TempStore>();
    QDir home(t->home());
    QVERIFY(home.mkdir(QStringLiteral("SMSQ")));
    QVERIFY(home.mkdir(QStringLiteral("SMS")));
    pipeDir = home.filePath(QStringLiteral("SMSQ"));
    commaDir = home.filePath(QStringLiteral("SMS"));
}

void TestDropFileImporter::cleanup()
{
    t.reset();
}

void TestDropFileImporter::parseLine_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("queued");
    QTest::addColumn<QString>("mobile");
    QTest::addColumn<QString>("msg");
    QTest::addColumn<double>("urgent");
    QTest::addColumn<QString>("stamp");
    QTest::addColumn<double>("typ");

    // Pipe drop files: bound 90,000,000.
    QTest::newRow("pipe: two fields, dash in the number") << "pipe"
                                                          << "98765-43210|Hi" << true << " 9876543210"
                                                          << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: all five fields") << "pipe"
                                           << "9876543210|Hello|0|0501245140309|0" << true << " 9876543210"
                                           << "Hello" << 0.0 << "0501245140309" << 0.0;
    QTest::newRow("pipe: fields after the fifth ignored")
        << "pipe"
        << "9876543210|Hello|3|S|7|extra|more" << true << " 9876543210"
        << "Hello" << 3.0 << "S" << 7.0;
    QTest::newRow("pipe: at the bound") << "pipe"
                                        << "90000000|Hi" << false << ""
                                        << "" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: above the bound") << "pipe"
                                           << "90000001|Hi" << true << " 90000001"
                                           << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: nine digits queued") << "pipe"
                                              << "123456789|Hi" << true << " 123456789"
                                              << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: +91, blank and dash") << "pipe"
                                               << "+91 98765-43210|Hi" << true << " 919876543210"
                                               << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: blanks in the number") << "pipe"
                                                << " 98765 43210 |Hi" << true << " 9876543210"
                                                << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: a leading dash is dropped too") << "pipe"
                                                         << "-9876543210|Hi" << true << " 9876543210"
                                                         << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: letters after the digits") << "pipe"
                                                    << "9876543210abc|Hi" << true << " 9876543210"
                                                    << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: empty text") << "pipe"
                                      << "9876543210|" << false << ""
                                      << "" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: number only") << "pipe"
                                       << "9876543210" << false << ""
                                       << "" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: empty line") << "pipe"
                                      << "" << false << ""
                                      << "" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: not a number") << "pipe"
                                        << "abc|Hi" << false << ""
                                        << "" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: quotes, commas, text numbers read as 0")
        << "pipe"
        << "9876543210|It's \"ok\", yes|x|S|y" << true << " 9876543210"
        << "It's \"ok\", yes" << 0.0 << "S" << 0.0;
    QTest::newRow("pipe: blanks around numbers, stamp unchanged, fraction type")
        << "pipe"
        << "9876543210|Hi| 2 |  st amp |1.5" << true << " 9876543210"
        << "Hi" << 2.0 << "  st amp " << 1.5;
    QTest::newRow("pipe: negative urgency") << "pipe"
                                            << "9876543210|Hi|-4" << true << " 9876543210"
                                            << "Hi" << -4.0 << "" << 0.0;
    QTest::newRow("pipe: a line feed inside the text stays") << "pipe"
                                                             << "9876543210|a\nb" << true << " 9876543210"
                                                             << "a\nb" << 0.0 << "" << 0.0;

    // Comma drop files: bound 900,000,000.
    QTest::newRow("comma: at the bound") << "comma"
                                         << "900000000,Hi" << false << ""
                                         << "" << 0.0 << "" << 0.0;
    QTest::newRow("comma: above the bound") << "comma"
                                            << "900000001,Hi" << true << " 900000001"
                                            << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("comma: nine digits skipped") << "comma"
                                                << "123456789,Hi" << false << ""
                                                << "" << 0.0 << "" << 0.0;
    QTest::newRow("comma: a comma ends the text") << "comma"
                                                  << "9876543210,Hello, world" << true << " 9876543210"
                                                  << "Hello" << 0.0 << "" << 0.0;
    QTest::newRow("comma: all five fields") << "comma"
                                            << "9876543210,Hello,1,3112202423595,2" << true << " 9876543210"
                                            << "Hello" << 1.0 << "3112202423595" << 2.0;
    QTest::newRow("comma: +91 number") << "comma"
                                       << "+91 98765-43210,Hi" << true << " 919876543210"
                                       << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("comma: a bar is text") << "comma"
                                          << "98765-43210,a|b" << true << " 9876543210"
                                          << "a|b" << 0.0 << "" << 0.0;
    // Numbers longer than a double holds keep every digit.
    QTest::newRow("pipe: seventeen digits") << "pipe"
                                            << "12345678901234567|Hi" << true << " 12345678901234567"
                                            << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("pipe: leading zeros, dashes, seventeen digits")
        << "pipe"
        << "0091-98765-43210-12345|Hi" << true << " 91987654321012345"
        << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("comma: twenty digits") << "comma"
                                          << "98765432109876543210,Hi" << true << " 98765432109876543210"
                                          << "Hi" << 0.0 << "" << 0.0;
    QTest::newRow("comma: a pipe line has no text") << "comma"
                                                    << "9876543210|Hi" << false << ""
                                                    << "" << 0.0 << "" << 0.0;
}

void TestDropFileImporter::parseLine()
{
    QFETCH(QString, format);
    QFETCH(QString, line);
    QFETCH(bool, queued);
    const std::optional<QueueRecord> r = DropFileImporter::parseLine(formatNamed(format), line);
    QCOMPARE(r.has_value(), queued);
    if (!queued)
        return;
    QTEST(r->mobile, "mobile");
    QTEST(r->msg, "msg");
    QTEST(r->urgent, "urgent");
    QTEST(r->rdttm, "stamp");
    QTEST(r->typ, "typ");
}

void TestDropFileImporter::sixFilesPerCall_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("nameForm"); // %1 is 1..7
    QTest::newRow("pipe") << "pipe"
                          << "f%1.sms";
    QTest::newRow("comma") << "comma"
                           << "M%1.txt";
}

void TestDropFileImporter::sixFilesPerCall()
{
    QFETCH(QString, format);
    QFETCH(QString, nameForm);
    const DropFormat& f = formatNamed(format);
    const QString sep = QString(f.separator);
    for (int i = 1; i <= 7; ++i)
        writeBytes(QDir(dirOf(f)).filePath(nameForm.arg(i)),
                   QStringLiteral("987654321%1%2file %1\r\n").arg(i).arg(sep).toUtf8());
    auto imp = importer(f);
    QVERIFY(imp.hasWork());
    ImportReport r = imp.run();
    QCOMPARE(r.filesImported, 6);
    QCOMPARE(r.linesQueued, 6);
    QCOMPARE(filesIn(dirOf(f)), QStringList{nameForm.arg(7)});
    QVERIFY(imp.hasWork());
    r = imp.run();
    QCOMPARE(r.filesImported, 1);
    QCOMPARE(t->rows().last().msg, QStringLiteral("file 7"));
    QVERIFY(!imp.hasWork());
    QCOMPARE(imp.run().filesImported, 0);
    QCOMPARE(t->rsmsCount(), 7);
}

void TestDropFileImporter::whichFilesCount_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("entries"); // "dir:" a folder, "link:" a symbolic link
    QTest::addColumn<QStringList>("imported");

    QTest::newRow("comma: M and m, extension in any case")
        << "comma" << QStringList{"M1.txt",  "m5.TXT",       "MX.Txt",          "X1.txt",
                                  "1M.txt",  "M2.txt.bak",   "M3.txt.imported", "X4.txt.importing",
                                  ".M6.txt", "dir:Mdir.txt", "link:Mlink.txt"}
        << QStringList{"M1.txt", "m5.TXT", "MX.Txt"};
    QTest::newRow("pipe: any name, .sms in any case")
        << "pipe"
        << QStringList{"a.sms",     "B.SMS",       "c.Sms",           ".sms",        "d.sm",         "e.smsx",
                       "f.sms.txt", ".hidden.sms", "notes.importing", "dir:dir.sms", "link:link.sms"}
        << QStringList{"a.sms", "B.SMS", "c.Sms"};
}

void TestDropFileImporter::whichFilesCount()
{
    QFETCH(QString, format);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, imported);
    const DropFormat& f = formatNamed(format);
    const QDir dir(dirOf(f));
    QStringList untouched;
    for (const QString& e : entries) {
        if (e.startsWith(QLatin1String("dir:"))) {
            QVERIFY(dir.mkdir(e.mid(4)));
            writeBytes(dir.filePath(e.mid(4) + QStringLiteral("/inside.sms")), "9876543210|inside\r\n");
            continue;
        }
        const QString line = QStringLiteral("9876543210%1%2\r\n").arg(f.separator).arg(e);
        if (e.startsWith(QLatin1String("link:"))) {
            writeBytes(QDir(t->home()).filePath(QStringLiteral("target")), line.toUtf8());
            QVERIFY(QFile::link(QDir(t->home()).filePath(QStringLiteral("target")), dir.filePath(e.mid(5))));
            untouched << e.mid(5);
            continue;
        }
        writeBytes(dir.filePath(e), line.toUtf8());
        if (!imported.contains(e))
            untouched << e;
    }
    auto imp = importer(f);
    QVERIFY(imp.hasWork());
    const ImportReport r = imp.run();
    QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(QLatin1Char('\n'))));
    QStringList queued;
    for (const auto& row : t->rows())
        queued << row.msg;
    QCOMPARE(queued, imported); // and in name order, letter case aside
    untouched.sort();
    QStringList left = filesIn(dir.path());
    left.sort();
    QCOMPARE(left, untouched);
    QVERIFY(!imp.hasWork());
}

void TestDropFileImporter::firstNameFirst()
{
    for (const char* name : {"b.sms", "C.sms", "A.sms", "a2.sms"})
        writeBytes(QDir(pipeDir).filePath(QString::fromLatin1(name)),
                   QByteArray("9876543210|") + name + "\r\n");
    QCOMPARE(importer(DropFormat::pipe()).run().filesImported, 4);
    QStringList order;
    for (const auto& row : t->rows())
        order << row.msg;
    QCOMPARE(order, (QStringList{"A.sms", "a2.sms", "b.sms", "C.sms"}));
}

void TestDropFileImporter::lineEnds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("msgs");
    QTest::addColumn<QList<double>>("types");
    QTest::newRow("CR LF") << QByteArray("9876543210|one|0|S|1\r\n9876543211|two|0|S|2\r\n")
                           << QStringList{"one", "two"} << QList<double>{1, 2};
    QTest::newRow("CR alone") << QByteArray("9876543210|one|0|S|1\r9876543211|two|0|S|2")
                              << QStringList{"one", "two"} << QList<double>{1, 2};
    // A line feed alone does not end a line: the rest of the file runs into
    // the fifth field and beyond, whose numeric value stops at the line feed.
    QTest::newRow("LF alone: one line") << QByteArray("9876543210|one|0|S|1\n9876543211|two|0|S|2\n")
                                        << QStringList{"one"} << QList<double>{1};
    QTest::newRow("LF alone, two fields: the text takes the rest")
        << QByteArray("9876543210|one\n9876543211|two\n") << QStringList{"one\n9876543211"}
        << QList<double>{0};
    QTest::newRow("no line end at the end")
        << QByteArray("9876543210|one") << QStringList{"one"} << QList<double>{0};
}

void TestDropFileImporter::lineEnds()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, msgs);
    QFETCH(QList<double>, types);
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("x.sms")), content);
    importer(DropFormat::pipe()).run();
    const auto rows = t->rows();
    QCOMPARE(rows.size(), msgs.size());
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].msg, msgs[i]);
        QCOMPARE(rows[i].typ.toDouble(), types[i]);
    }
    QVERIFY(filesIn(pipeDir).isEmpty());
}

void TestDropFileImporter::fileWithoutQueuedLinesIsDeleted_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("skipped");
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("only empty lines") << QByteArray("\r\n\r\n\r") << 3;
    QTest::newRow("only invalid lines") << QByteArray("90000000|Hi\r\n9876543210|\r\n|Hi\r\n") << 3;
}

void TestDropFileImporter::fileWithoutQueuedLinesIsDeleted()
{
    QFETCH(QByteArray, content);
    QFETCH(int, skipped);
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("x.sms")), content);
    const ImportReport r = importer(DropFormat::pipe()).run();
    QCOMPARE(r.filesImported, 1);
    QCOMPARE(r.linesQueued, 0);
    QCOMPARE(r.linesSkipped, skipped);
    QVERIFY(r.errors.isEmpty());
    QCOMPARE(t->rsmsCount(), 0);
    QVERIFY(filesIn(pipeDir).isEmpty());
}

void TestDropFileImporter::textEncodings_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("msg");
    QTest::newRow("Windows-1252") << QByteArray("9876543210,Caf\xE9 \x80 5 it's \x93ok\x94\r\n")
                                  << QString::fromUtf8("Café € 5 it's “ok”");
    QTest::newRow("UTF-8") << QByteArray(
                                  "9876543210,Caf\xC3\xA9 \xE2\x82\xAC 5 it's \xE2\x80\x9Cok\xE2\x80\x9D\r\n")
                           << QString::fromUtf8("Café € 5 it's “ok”");
    QTest::newRow("UTF-8 with byte order mark") << QByteArray("\xEF\xBB\xBF"
                                                              "9876543210,\xE0\xA4\xA8\xE0\xA4\xAE\r\n")
                                                << QString::fromUtf8("नम");
}

void TestDropFileImporter::textEncodings()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, msg);
    writeBytes(QDir(commaDir).filePath(QStringLiteral("M1.txt")), content);
    importer(DropFormat::comma()).run();
    const auto rows = t->rows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].msg, msg);
    QCOMPARE(rows[0].mobile, QStringLiteral(" 9876543210"));
}

void TestDropFileImporter::nulCharactersSkipLine()
{
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("x.sms")),
               QByteArray("9876543210|Hi\0there\r\n9876543211|ok\r\n\0\0\0\r\n", 37));
    const ImportReport r = importer(DropFormat::pipe()).run();
    QCOMPARE(r.linesQueued, 1);
    QCOMPARE(r.linesSkipped, 2);
    QCOMPARE(r.errors.size(), 1);
    QVERIFY2(r.errors[0].contains(QStringLiteral("NUL")), qPrintable(r.errors[0]));
    QCOMPARE(t->rows().at(0).msg, QStringLiteral("ok"));
    QVERIFY(filesIn(pipeDir).isEmpty());
}

void TestDropFileImporter::binaryFile()
{
    QByteArray noise(5 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(20240105);
    for (char& c : noise)
        c = static_cast<char>(gen.bounded(256));
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("noise.sms")), noise);
    const ImportReport r = importer(DropFormat::pipe()).run();
    QCOMPARE(r.filesImported, 1);
    QCOMPARE(r.linesQueued, t->rsmsCount());
    QVERIFY(r.linesSkipped > 1000); // random bytes hold many CR bytes
    QVERIFY(filesIn(pipeDir).isEmpty());
}

void TestDropFileImporter::fiveMegabyteFile()
{
    // 5,000 lines of a thousand-character text each: about 5 MB.
    QByteArray data;
    const QByteArray text(1000, 'x');
    for (int i = 0; i < 5000; ++i)
        data +=
            QByteArray::number(9000000000LL + i) + ',' + text + "," + QByteArray::number(i % 7) + ",S,0\r\n";
    QVERIFY(data.size() > 5000000);
    writeBytes(QDir(commaDir).filePath(QStringLiteral("Mbig.txt")), data);
    const ImportReport r = importer(DropFormat::comma()).run();
    QCOMPARE(r.linesQueued, 5000);
    QVERIFY(r.errors.isEmpty());
    QCOMPARE(t->store->scalar(QStringLiteral("select count(*) from Rsms where length(msg) = 1000")).toInt(),
             5000);
    QCOMPARE(t->store->scalar(QStringLiteral("select count(distinct Mobile) from Rsms")).toInt(), 5000);
}

void TestDropFileImporter::oneLongLine()
{
    // Line feeds alone: 5 MB make one line, cut at the cap; its first
    // message still counts, the rest is dropped.
    QByteArray data;
    while (data.size() < 5 * 1024 * 1024)
        data += "9876543210|Hello|0|S|0\n";
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("long.sms")), data);
    const ImportReport r = importer(DropFormat::pipe()).run();
    QCOMPARE(r.linesQueued, 1);
    QCOMPARE(r.errors.size(), 1);
    QVERIFY2(r.errors[0].contains(QStringLiteral("cut")), qPrintable(r.errors[0]));
    const auto rows = t->rows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].msg, QStringLiteral("Hello"));
    QCOMPARE(rows[0].rdttm, QStringLiteral("S"));
}

void TestDropFileImporter::recentFilesWait_data()
{
    QTest::addColumn<int>("clockOffsetMs"); // the clock, relative to the file's modification time
    QTest::addColumn<int>("minimumAgeMs");  // -1: the default
    QTest::addColumn<bool>("imported");
    QTest::newRow("just written, default age") << 200 << -1 << false;
    QTest::newRow("a second and a half old, default age") << 1500 << -1 << true;
    QTest::newRow("dated slightly ahead of the clock") << -300 << -1 << false;
    QTest::newRow("dated an hour ahead of the clock") << -3600000 << -1 << true;
    QTest::newRow("shorter age set") << 200 << 100 << true;
    QTest::newRow("longer age set") << 1500 << 5000 << false;
}

void TestDropFileImporter::recentFilesWait()
{
    QFETCH(int, clockOffsetMs);
    QFETCH(int, minimumAgeMs);
    QFETCH(bool, imported);
    const QString path = QDir(pipeDir).filePath(QStringLiteral("young.sms"));
    writeBytes(path, "9876543210|Hi\r\n");
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("z-old.sms")), "9876543211|old\r\n");
    const QDateTime modified = QFileInfo(path).lastModified();
    {
        QFile old(QDir(pipeDir).filePath(QStringLiteral("z-old.sms")));
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.setFileTime(modified.addSecs(-60), QFileDevice::FileModificationTime));
    }
    DropFileImporter imp(*t->store, DropFormat::pipe(), t->home());
    if (minimumAgeMs >= 0)
        imp.setMinimumAge(std::chrono::milliseconds(minimumAgeMs));
    imp.setClock(Clock([&] { return modified.addMSecs(clockOffsetMs); }));
    const ImportReport r = imp.run();
    QCOMPARE(r.filesDeferred, imported ? 0 : 1);
    QCOMPARE(r.filesImported, imported ? 2 : 1); // a waiting file does not hold up the next
    QCOMPARE(QFile::exists(path), !imported);
    QVERIFY(!QFile::exists(QDir(pipeDir).filePath(QStringLiteral("z-old.sms"))));
    QCOMPARE(msgCounts().value(QStringLiteral("Hi")), imported ? 1 : 0);
}

void TestDropFileImporter::programFolderImports()
{
    // The tick's entry points: the program folder, drop folders in any
    // letter case, the default age of one second.
    QVERIFY(QDir(pipeDir).removeRecursively());
    QVERIFY(QDir(commaDir).removeRecursively());
    QDir home(t->home());
    QVERIFY(home.mkdir(QStringLiteral("smsq")));
    QVERIFY(home.mkdir(QStringLiteral("Sms")));
    const QString pipeFile = home.filePath(QStringLiteral("smsq/a.sms"));
    const QString commaFile = home.filePath(QStringLiteral("Sms/M1.txt"));
    writeBytes(pipeFile, "9876543210|pipe\r\n");
    writeBytes(commaFile, "9876543210,comma\r\n");

    // Just written: both wait.
    QCOMPARE(GetDataFromTxtFile(*t->store, t->home()).filesDeferred, 1);
    QCOMPARE(GetDataFromTxtFile_TXT(*t->store, t->home()).filesDeferred, 1);
    for (const QString& p : {pipeFile, commaFile}) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-5), QFileDevice::FileModificationTime));
    }
    QVERIFY(DropFileImporter(*t->store, DropFormat::pipe(), t->home()).hasWork());
    QCOMPARE(GetDataFromTxtFile(*t->store, t->home()).linesQueued, 1);
    QCOMPARE(GetDataFromTxtFile_TXT(*t->store, t->home()).linesQueued, 1);
    QCOMPARE(msgCounts(), (QMap<QString, int>{{"pipe", 1}, {"comma", 1}}));
    QVERIFY(!DropFileImporter(*t->store, DropFormat::comma(), t->home()).hasWork());
}

void TestDropFileImporter::unopenableFileStaysAndStopsFolder()
{
    for (const char* n : {"a.sms", "b.sms", "c.sms"})
        writeBytes(QDir(pipeDir).filePath(QString::fromLatin1(n)), QByteArray("9876543210|") + n + "\r\n");
    writeBytes(QDir(commaDir).filePath(QStringLiteral("M1.txt")), "9876543210,comma\r\n");
    const QByteArray before = "9876543210|b.sms\r\n";
    ScriptedFs fs;
    fs.fail = [](const QString& op, const QString& path, const QString&) {
        return op == QLatin1String("open") && path.endsWith(QLatin1String("/b.sms"));
    };
    auto pipe = importer(DropFormat::pipe());
    pipe.setFileSystem(&fs);
    const ImportReport r = pipe.run();
    QCOMPARE(r.filesImported, 1);
    QCOMPARE(r.errors.size(), 1);
    QVERIFY2(r.errors[0].contains(QStringLiteral("b.sms could not be opened")), qPrintable(r.errors[0]));
    QCOMPARE(filesIn(pipeDir), (QStringList{"b.sms", "c.sms"}));
    QFile b(QDir(pipeDir).filePath(QStringLiteral("b.sms")));
    QVERIFY(b.open(QIODevice::ReadOnly));
    QCOMPARE(b.readAll(), before);

    // The other folder's import goes on.
    QCOMPARE(importer(DropFormat::comma()).run().linesQueued, 1);

    pipe.setFileSystem(nullptr);
    QCOMPARE(pipe.run().filesImported, 2);
    QCOMPARE(msgCounts(), (QMap<QString, int>{{"a.sms", 1}, {"b.sms", 1}, {"c.sms", 1}, {"comma", 1}}));
}

void TestDropFileImporter::renameRefusedQueuesNothing()
{
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("a.sms")), "9876543210|one\r\n9876543211|two\r\n");
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("b.sms")), "9876543212|three\r\n");
    ScriptedFs fs;
    fs.fail = [](const QString& op, const QString&, const QString&) { return op == QLatin1String("rename"); };
    auto imp = importer(DropFormat::pipe());
    imp.setFileSystem(&fs);
    for (int tick = 0; tick < 3; ++tick) {
        const ImportReport r = imp.run();
        QCOMPARE(r.linesQueued, 0);
        QCOMPARE(r.errors.size(), 2); // one file that cannot be renamed does not hold up the next
        for (const QString& e : r.errors)
            QVERIFY2(e.contains(QStringLiteral("nothing of it was queued")), qPrintable(e));
    }
    QCOMPARE(t->rsmsCount(), 0);
    QCOMPARE(filesIn(pipeDir), (QStringList{"a.sms", "b.sms"}));
    imp.setFileSystem(nullptr);
    QCOMPARE(imp.run().linesQueued, 3);
    QCOMPARE(msgCounts(), (QMap<QString, int>{{"one", 1}, {"two", 1}, {"three", 1}}));
}

void TestDropFileImporter::failingInsertQueuesNothingOfTheFile()
{
    // Every transaction fails on its third insert.
    t->store->exec(QStringLiteral("CREATE TABLE inserts (n integer)"));
    t->store->exec(QStringLiteral("INSERT INTO inserts VALUES (0)"));
    t->store->exec(QStringLiteral(
        "CREATE TRIGGER third BEFORE INSERT ON Rsms BEGIN "
        "UPDATE inserts SET n = n + 1; "
        "SELECT RAISE(ABORT, 'third insert refused') WHERE (SELECT n FROM inserts) >= 3; END"));
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("a.sms")), "9000000001|a1\r\n9000000002|a2\r\n");
    QByteArray five;
    for (int i = 1; i <= 5; ++i)
        five += "900000001" + QByteArray::number(i) + "|b" + QByteArray::number(i) + "\r\n";
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("b.sms")), five);
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("c.sms")), "9000000021|c1\r\n");

    auto imp = importer(DropFormat::pipe());
    for (int tick = 0; tick < 3; ++tick) {
        const ImportReport r = imp.run();
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors[0].contains(QStringLiteral("b.sms was not queued")), qPrintable(r.errors[0]));
        QVERIFY2(r.errors[0].contains(QStringLiteral("third insert refused")), qPrintable(r.errors[0]));
        QVERIFY2(r.errors[0].contains(QStringLiteral("stays for a later tick")), qPrintable(r.errors[0]));
        QCOMPARE(filesIn(pipeDir), (QStringList{"b.sms", "c.sms"})); // b under its own name again; c waits
        QCOMPARE(t->rsmsCount(), 2);
    }
    t->store->exec(QStringLiteral("DROP TRIGGER third"));
    const ImportReport r = imp.run();
    QCOMPARE(r.linesQueued, 6);
    QVERIFY(filesIn(pipeDir).isEmpty());
    const QMap<QString, int> counts = msgCounts();
    QCOMPARE(counts.size(), 8);
    for (auto it = counts.begin(); it != counts.end(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
}

namespace {
// A commit that fails: a deferred foreign key that a poisoned line breaks.
void armFailingCommit(Store& store)
{
    store.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    store.exec(QStringLiteral("CREATE TABLE parent (id integer primary key)"));
    store.exec(QStringLiteral(
        "CREATE TABLE child (pid integer REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED)"));
    store.exec(QStringLiteral("CREATE TRIGGER poison AFTER INSERT ON Rsms WHEN NEW.msg = 'poison' BEGIN "
                              "INSERT INTO child VALUES (42); END"));
}
} // namespace

void TestDropFileImporter::failingCommitQueuesNothingOfTheFile()
{
    armFailingCommit(*t->store);
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("a.sms")),
               "9000000001|ok1\r\n9000000002|poison\r\n9000000003|ok2\r\n");
    auto imp = importer(DropFormat::pipe());
    for (int tick = 0; tick < 2; ++tick) {
        const ImportReport r = imp.run();
        QCOMPARE(r.filesImported, 0);
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors[0].contains(QStringLiteral("commit")), qPrintable(r.errors[0]));
        QCOMPARE(t->rsmsCount(), 0);
        QCOMPARE(filesIn(pipeDir), QStringList{"a.sms"});
    }
    t->store->exec(QStringLiteral("INSERT INTO parent VALUES (42)"));
    QCOMPARE(imp.run().linesQueued, 3);
    QCOMPARE(msgCounts(), (QMap<QString, int>{{"ok1", 1}, {"poison", 1}, {"ok2", 1}}));
    QVERIFY(filesIn(pipeDir).isEmpty());
}

void TestDropFileImporter::failingCommitAndRenameBack()
{
    armFailingCommit(*t->store);
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("a.sms")), "9000000002|poison\r\n");
    ScriptedFs fs;
    // The first rename (setting the file aside) works; the way back fails.
    fs.fail = [](const QString& op, const QString& from, const QString&) {
        return op == QLatin1String("rename") && from.endsWith(DropFileImporter::ClaimSuffix);
    };
    auto imp = importer(DropFormat::pipe());
    imp.setFileSystem(&fs);
    ImportReport r = imp.run();
    QCOMPARE(r.errors.size(), 1);
    QVERIFY2(r.errors[0].contains(QStringLiteral("left as a.sms.importing")), qPrintable(r.errors[0]));
    QCOMPARE(filesIn(pipeDir), QStringList{"a.sms.importing"});
    // Nothing of it is queued and the journal says so: once the store is
    // mended, the next call imports it from there, once.
    t->store->exec(QStringLiteral("INSERT INTO parent VALUES (42)"));
    imp.setFileSystem(nullptr);
    QVERIFY(imp.hasWork());
    r = imp.run();
    QCOMPARE(r.linesQueued, 1);
    QVERIFY(filesIn(pipeDir).isEmpty());
    QCOMPARE(imp.run().linesQueued, 0);
    QCOMPARE(t->rsmsCount(), 1);
}

void TestDropFileImporter::failingDelete_data()
{
    QTest::addColumn<bool>("renameAsideWorks");
    QTest::addColumn<QString>("leftAs");
    QTest::newRow("renamed aside") << true << "a.sms.imported";
    QTest::newRow("neither deleted nor renamed aside") << false << "a.sms.importing";
}

void TestDropFileImporter::failingDelete()
{
    QFETCH(bool, renameAsideWorks);
    QFETCH(QString, leftAs);
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("a.sms")), "9000000001|one\r\n9000000002|two\r\n");
    // A file set aside earlier under the same name: the new one gets another.
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("b.sms.imported")), "old");
    writeBytes(QDir(pipeDir).filePath(QStringLiteral("b.sms")), "9000000003|three\r\n");
    ScriptedFs fs;
    fs.fail = [renameAsideWorks](const QString& op, const QString&, const QString& to) {
        return op == QLatin1String("remove") || (!renameAsideWorks && op == QLatin1String("rename") &&
                                                 to.endsWith(DropFileImporter::DoneSuffix));
    };
    auto imp = importer(DropFormat::pipe());
    imp.setFileSystem(&fs);
    for (int tick = 0; tick < 3; ++tick) {
        const ImportReport r = imp.run();
        if (tick == 0) {
            QCOMPARE(r.linesQueued, 3);
            QCOMPARE(r.errors.size(), 2);
            QVERIFY2(r.errors[0].contains(QStringLiteral("was queued but could not be deleted")),
                     qPrintable(r.errors[0]));
        } else {
            QCOMPARE(r.filesImported, 0);
        }
        QCOMPARE(msgCounts(), (QMap<QString, int>{{"one", 1}, {"two", 1}, {"three", 1}}));
    }
    QStringList expected{leftAs, "b.sms.imported",
                         renameAsideWorks ? QStringLiteral("b.sms.2.imported")
                                          : QStringLiteral("b.sms.importing")};
    expected.sort();
    QCOMPARE(filesIn(pipeDir), expected);
    // A file left claimed is deleted by the next call that can; set-aside
    // files stay. Nothing is queued again.
    imp.setFileSystem(nullptr);
    QCOMPARE(imp.run().linesQueued, 0);
    const QStringList kept = renameAsideWorks
                                 ? QStringList{"a.sms.imported", "b.sms.2.imported", "b.sms.imported"}
                                 : QStringList{"b.sms.imported"};
    QCOMPARE(filesIn(pipeDir), kept);
    QVERIFY(!imp.hasWork());
    QCOMPARE(journalRows(), 0);
}

void TestDropFileImporter::noLineTwiceNoLineLost()
{
    // Many ticks with failures here and there: opens, renames, deletes,
    // inserts. Every line must end up queued at most once, and every line
    // not queued must still be in a file on disk.
    t->store->exec(QStringLiteral("CREATE TABLE gate (closed integer)"));
    t->store->exec(QStringLiteral("INSERT INTO gate VALUES (0)"));
    t->store->exec(
        QStringLiteral("CREATE TRIGGER gate BEFORE INSERT ON Rsms WHEN (SELECT closed FROM gate) = 1 "
                       "BEGIN SELECT RAISE(ABORT, 'gate closed'); END"));
    QRandomGenerator gen(7);
    ScriptedFs fs;
    fs.fail = [&gen](const QString&, const QString&, const QString&) { return gen.bounded(5) == 0; };
    QStringList allLines;
    int fileNo = 0;
    auto imp = importer(DropFormat::pipe());
    imp.setFileSystem(&fs);
    for (int tick = 0; tick < 60; ++tick) {
        for (int k = gen.bounded(4); k > 0; --k) {
            QByteArray data;
            const int lines = 1 + gen.bounded(4);
            for (int l = 0; l < lines; ++l) {
                const QString msg = QStringLiteral("f%1-l%2").arg(fileNo).arg(l);
                allLines << msg;
                data += "98765" + QByteArray::number(10000 + fileNo) + "|" + msg.toUtf8() + "\r\n";
            }
            writeBytes(QDir(pipeDir).filePath(QStringLiteral("d%1.sms").arg(fileNo, 4, 10, QLatin1Char('0'))),
                       data);
            ++fileNo;
        }
        t->store->exec(QStringLiteral("UPDATE gate SET closed = ?"), {gen.bounded(4) == 0 ? 1 : 0});
        imp.run();
    }
    QVERIFY(fs.calls > 100);
    const QMap<QString, int> counts = msgCounts();
    QString onDisk;
    QDirIterator it(pipeDir, QDir::Files);
    while (it.hasNext()) {
        QFile f(it.next());
        QVERIFY(f.open(QIODevice::ReadOnly));
        onDisk += QString::fromUtf8(f.readAll());
    }
    int queued = 0;
    for (const QString& line : allLines) {
        QVERIFY2(counts.value(line) <= 1, qPrintable(line + QStringLiteral(" queued twice")));
        queued += counts.value(line);
        if (counts.value(line) == 0)
            QVERIFY2(onDisk.contains(QStringLiteral("|%1\r\n").arg(line)),
                     qPrintable(line + QStringLiteral(" lost")));
    }
    QVERIFY(queued > allLines.size() / 3);
    QCOMPARE(t->rsmsCount(), queued);
}

void TestDropFileImporter::foreignNames_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArrayList>("names"); // as the file system holds them
    QTest::addColumn<QList<bool>>("taken");

    QTest::newRow("pipe: a Windows-1252 name")
        << "pipe" << QByteArrayList{"Caf\xE9.sms"} << QList<bool>{true};
    QTest::newRow("pipe: beside the same name in UTF-8")
        << "pipe" << QByteArrayList{"Caf\xE9.sms", "Caf\xC3\xA9.sms"} << QList<bool>{true, true};
    QTest::newRow("pipe: a hidden one stays")
        << "pipe" << QByteArrayList{".\xE9.sms", "\xE9t\xE9.sms"} << QList<bool>{false, true};
    QTest::newRow("comma: an M name, not an X name") << "comma"
                                                     << QByteArrayList{"M\xFC"
                                                                       "1.txt",
                                                                       "X\xFC.txt"}
                                                     << QList<bool>{true, false};
}

void TestDropFileImporter::foreignNames()
{
    QFETCH(QString, format);
    QFETCH(QByteArrayList, names);
    QFETCH(QList<bool>, taken);
    const DropFormat& f = formatNamed(format);
    const QByteArray dir = QFile::encodeName(dirOf(f)) + '/';
    for (int i = 0; i < names.size(); ++i)
        writeNative(dir + names[i], QStringLiteral("9876543210%1f%2\r\n").arg(f.separator).arg(i).toUtf8());
    auto imp = importer(f);
    QVERIFY(imp.hasWork());
    const ImportReport r = imp.run();
    QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(u'\n')));
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(::access((dir + names[i]).constData(), F_OK) == 0, !taken[i]);
        QCOMPARE(msgCounts().value(QStringLiteral("f%1").arg(i)), taken[i] ? 1 : 0);
    }
    QVERIFY(!imp.hasWork());
}

void TestDropFileImporter::longNames_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("longName");
    QTest::addColumn<QString>("nextName"); // sorts after the long one

    QTest::newRow("250 bytes") << "pipe" << QString(246, u'a') + ".sms"
                               << "b.sms";
    QTest::newRow("255 bytes") << "pipe" << QString(251, u'a') + ".sms"
                               << "b.sms";
    QTest::newRow("255 bytes of two-byte letters")
        << "pipe" << QString(125, QChar(0xE9)) + "x.sms" << QString(QChar(0xFF)) + ".sms";
    QTest::newRow("comma: 251 bytes") << "comma"
                                      << "M" + QString(246, u'a') + ".txt"
                                      << "Mb.txt";
}

void TestDropFileImporter::longNames()
{
    QFETCH(QString, format);
    QFETCH(QString, longName);
    QFETCH(QString, nextName);
    const DropFormat& f = formatNamed(format);
    const QDir dir(dirOf(f));
    writeBytes(dir.filePath(longName), QStringLiteral("9876543210%1long\r\n").arg(f.separator).toUtf8());
    writeBytes(dir.filePath(nextName), QStringLiteral("9876543211%1next\r\n").arg(f.separator).toUtf8());
    const ImportReport r = importer(f).run();
    QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(u'\n')));
    QCOMPARE(msgCounts(), (QMap<QString, int>{{"long", 1}, {"next", 1}}));
    QVERIFY(filesIn(dir.path()).isEmpty());
}

void TestDropFileImporter::interruptedImport_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("killedAfter"); // "claim" or "commit"
    QTest::addColumn<QString>("byHand");      // what happens to the left file before the next call
    QTest::addColumn<bool>("stays");          // the left file is still there after the next call
    QTest::addColumn<QString>("note");        // in the next call's report

    const QString longName = QString(246, u'a') + ".sms";
    QTest::newRow("killed after the claim") << "a.sms"
                                            << "claim"
                                            << "" << false << "before its lines were queued";
    QTest::newRow("killed after the commit") << "a.sms"
                                             << "commit"
                                             << "" << false << "after its lines were queued";
    QTest::newRow("long name, killed after the claim") << longName << "claim"
                                                       << "" << false << "before its lines were queued";
    QTest::newRow("long name, killed after the commit") << longName << "commit"
                                                        << "" << false << "after its lines were queued";
    QTest::newRow("killed after the commit, then written to") << "a.sms"
                                                              << "commit"
                                                              << "append" << true << "has changed";
    QTest::newRow("killed after the commit, then deleted by hand") << "a.sms"
                                                                   << "commit"
                                                                   << "delete" << false << "";
}

void TestDropFileImporter::interruptedImport()
{
    QFETCH(QString, name);
    QFETCH(QString, killedAfter);
    QFETCH(QString, byHand);
    QFETCH(bool, stays);
    QFETCH(QString, note);
    writeBytes(QDir(pipeDir).filePath(name), "9000000001|one\r\n9000000002|two\r\n");
    ScriptedFs fs;
    fs.fail = [&](const QString& op, const QString&, const QString&) {
        if (killedAfter == QLatin1String("commit") && op == QLatin1String("remove"))
            throw Killed{};
        return false;
    };
    fs.after = [&](const QString& op, const QString& to) {
        if (killedAfter == QLatin1String("claim") && op == QLatin1String("rename") &&
            to.endsWith(DropFileImporter::ClaimSuffix))
            throw Killed{};
    };
    auto imp = importer(DropFormat::pipe());
    imp.setFileSystem(&fs);
    QVERIFY_THROWS_EXCEPTION(Killed, imp.run());
    QCOMPARE(t->rsmsCount(), killedAfter == QLatin1String("commit") ? 2 : 0);
    const QStringList left = filesIn(pipeDir);
    QCOMPARE(left.size(), 1);
    QVERIFY2(left[0].endsWith(DropFileImporter::ClaimSuffix), qPrintable(left[0]));

    const QString leftPath = QDir(pipeDir).filePath(left[0]);
    if (byHand == QLatin1String("append")) {
        QFile file(leftPath);
        QVERIFY(file.open(QIODevice::Append));
        file.write("9000000003|three\r\n");
    } else if (byHand == QLatin1String("delete")) {
        QVERIFY(QFile::remove(leftPath));
    }

    imp.setFileSystem(nullptr);
    QCOMPARE(imp.hasWork(), byHand != QLatin1String("delete"));
    const ImportReport r = imp.run();
    QVERIFY2(r.errors.join(u'\n').contains(note), qPrintable(r.errors.join(u'\n')));
    QCOMPARE(msgCounts(), (QMap<QString, int>{{"one", 1}, {"two", 1}}));
    QCOMPARE(filesIn(pipeDir), stays ? left : QStringList{});
    QCOMPARE(journalRows(), stays ? 1 : 0);
    imp.run();
    QCOMPARE(t->rsmsCount(), 2);
}

void TestDropFileImporter::overLongTexts_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("pipe") << "pipe";
    QTest::newRow("comma") << "comma";
}

void TestDropFileImporter::overLongTexts()
{
    QFETCH(QString, format);
    const DropFormat& f = formatNamed(format);
    const QString sep(f.separator);
    const QString atBound(SendQueue::MaxTextLength, u'x');
    const QString over(SendQueue::MaxTextLength + 1, u'y');
    writeBytes(QDir(dirOf(f)).filePath(&f == &DropFormat::comma() ? "M1.txt" : "a.sms"),
               QStringList{"9876543210" + sep + "before", "9876543211" + sep + over,
                           "9876543212" + sep + atBound, "9876543213" + sep + "after", ""}
                   .join(QStringLiteral("\r\n"))
                   .toUtf8());
    const ImportReport r = importer(f).run();
    QCOMPARE(r.linesQueued, 3);
    QCOMPARE(r.linesSkipped, 1);
    QCOMPARE(r.errors.size(), 1);
    QVERIFY2(r.errors[0].contains(QStringLiteral("longer than 1600")), qPrintable(r.errors[0]));
    QCOMPARE(msgCounts(), (QMap<QString, int>{{"before", 1}, {atBound, 1}, {"after", 1}}));
    QVERIFY(filesIn(dirOf(f)).isEmpty());
}

void TestDropFileImporter::leftoversOfAnEarlierVersionStay()
{
    // Claimed before the journal existed: whether its lines are queued is
    // unknown, so it is neither imported nor deleted, also on later calls.
    writeBytes(QDir(pipeDir).filePath("old.sms.importing"), "9000000001|one\r\n");
    writeBytes(QDir(pipeDir).filePath("new.sms"), "9000000002|two\r\n");
    auto imp = importer(DropFormat::pipe());
    for (int call = 0; call < 2; ++call) {
        const ImportReport r = imp.run();
        QVERIFY2(r.errors.join(u'\n').contains(QStringLiteral("earlier version")),
                 qPrintable(r.errors.join(u'\n')));
        QCOMPARE(msgCounts(), (QMap<QString, int>{{"two", 1}}));
        QCOMPARE(filesIn(pipeDir), QStringList{"old.sms.importing"});
    }
}

QTEST_GUILESS_MAIN(TestDropFileImporter)
#include "tst_dropfileimporter.moc"

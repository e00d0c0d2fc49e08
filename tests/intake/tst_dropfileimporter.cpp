#include "StoreFixture.h"
#include "intake/DropFileImporter.h"

#include <QRegularExpression>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// File operations that fail when the test says so.
class ScriptedFs : public DropFileSystem
{
public:
    // Whether an operation ("open", "rename", "remove") on a path (for a rename, the new one) fails.
    std::function<bool(const QString& op, const QString& path)> fail;
    // Runs after a rename that worked; a test throws from it to stop the import there, as a killed
    // program would.
    std::function<void(const QString& to)> afterRename;

    bool refused(const char* op, const QString& path, QString& error)
    {
        if (!fail || !fail(QLatin1String(op), path))
            return false;
        error = u"refused by the test"_s;
        return true;
    }
    bool open(QFile& file, QString& error) override
    {
        return !refused("open", file.fileName(), error) && DropFileSystem::open(file, error);
    }
    bool rename(const QString& from, const QString& to, QString& error) override
    {
        if (refused("rename", to, error) || !DropFileSystem::rename(from, to, error))
            return false;
        if (afterRename)
            afterRename(to);
        return true;
    }
    bool remove(const QString& path, QString& error) override
    {
        return !refused("remove", path, error) && DropFileSystem::remove(path, error);
    }
};

struct Killed
{
};

const DropFormat& Pipe = DropFormat::pipe();
const DropFormat& Comma = DropFormat::comma();
const DropFormat& formatOf(const QString& separator)
{
    return separator == QLatin1String(",") ? Comma : Pipe;
}
} // namespace

class TestDropFileImporter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { t = std::make_unique<StoreFixture>(); }
    void cleanup() { t.reset(); }

    void parseLine_data();
    void parseLine();
    void sixFilesPerCall();
    void whichFilesAreTaken_data();
    void whichFilesAreTaken();
    void fileContents_data();
    void fileContents();
    void recentFilesWait_data();
    void recentFilesWait();
    void programFolderImports();
    void refusals_data();
    void refusals();
    void interruptedImport_data();
    void interruptedImport();

private:
    std::unique_ptr<StoreFixture> t;

    DropFileImporter importer(const DropFormat& f, DropFileSystem* fs = nullptr)
    {
        DropFileImporter imp(t->store(), f, t->home());
        imp.setMinimumAge(std::chrono::milliseconds(0));
        imp.setFileSystem(fs);
        return imp;
    }
    QString dir(const DropFormat& f) const { return t->path(f.folder); }
    QString put(const DropFormat& f, const QString& name, const QByteArray& bytes)
    {
        return t->writeFile(f.folder + u'/' + name, bytes);
    }
    // Queued texts in queue order, or sorted, which shows a text queued twice as well.
    QStringList msgs(bool sorted = false)
    {
        return t->column(u"SELECT msg FROM Rsms ORDER BY "_s + (sorted ? u"msg"_s : u"rowid"_s));
    }
    int journalRows() // the row that marks a folder as journalled aside
    {
        return t->column(u"SELECT Name FROM DropImport WHERE Name <> '/'"_s).size();
    }
    QStringList filesIn(const DropFormat& f)
    {
        return QDir(dir(f)).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
};

void TestDropFileImporter::parseLine_data()
{
    QTest::addColumn<QString>("line");   // after the separator of its format
    QTest::addColumn<QString>("queued"); // mobile/msg/urgent/stamp/typ, empty when the line is not valid
    // Pipe files need a number above 90,000,000, comma files one above 900,000,000.
    QTest::newRow("two fields, dash in the number") << u"|98765-43210|Hi"_s << u" 9876543210/Hi/0//0"_s;
    QTest::newRow("sixth field ignored") << u"|9876543210|Hi|3|S|7|extra"_s << u" 9876543210/Hi/3/S/7"_s;
    QTest::newRow("pipe: at the bound") << u"|90000000|Hi"_s << u""_s;
    QTest::newRow("pipe: above the bound") << u"|90000001|Hi"_s << u" 90000001/Hi/0//0"_s;
    QTest::newRow("+91, blank and dash") << u"|+91 98765-43210|Hi"_s << u" 919876543210/Hi/0//0"_s;
    QTest::newRow("letters after the digits") << u"|9876543210abc|Hi"_s << u" 9876543210/Hi/0//0"_s;
    QTest::newRow("empty text") << u"|9876543210|"_s << u""_s;
    QTest::newRow("number only") << u"|9876543210"_s << u""_s;
    QTest::newRow("quotes, commas, text as 0")
        << u"|9876543210|\"ok\", it's|x|S|y"_s << u" 9876543210/\"ok\", it's/0/S/0"_s;
    QTest::newRow("stamp as it is") << u"|9876543210|Hi| 2 | st amp |1.5"_s
                                    << u" 9876543210/Hi/2/ st amp /1.5"_s;
    // A line feed does not end a line: it stays in the text, and ends the number of the type.
    QTest::newRow("line feed in the text") << u"|9876543210|a\nb"_s << u" 9876543210/a\nb/0//0"_s;
    QTest::newRow("line feed in the type") << u"|9876543210|a|0|S|1\n98|b"_s << u" 9876543210/a/0/S/1"_s;
    QTest::newRow("seventeen digits kept") << u"|12345678901234567|Hi"_s << u" 12345678901234567/Hi/0//0"_s;
    QTest::newRow("zeros and dashes") << u"|0091-98765-43210-12345|Hi"_s << u" 91987654321012345/Hi/0//0"_s;
    QTest::newRow("comma: at the bound") << u",900000000,Hi"_s << u""_s;
    QTest::newRow("comma: above the bound") << u",900000001,Hi"_s << u" 900000001/Hi/0//0"_s;
    QTest::newRow("comma: ends the text") << u",9876543210,Hello, world"_s << u" 9876543210/Hello/0//0"_s;
    QTest::newRow("comma: five fields") << u",9876543210,Hi,1,S,2"_s << u" 9876543210/Hi/1/S/2"_s;
    QTest::newRow("comma: a bar is text") << u",98765-43210,a|b"_s << u" 9876543210/a|b/0//0"_s;
    QTest::newRow("comma: 20 digits") << u",98765432109876543210,Hi"_s << u" 98765432109876543210/Hi/0//0"_s;
    QTest::newRow("comma: a pipe line has no text") << u",9876543210|Hi"_s << u""_s;
}

void TestDropFileImporter::parseLine()
{
    QFETCH(QString, line);
    const std::optional<QueueRecord> r =
        DropFileImporter::parseLine(formatOf(line.left(1)), QStringView(line).mid(1));
    const QStringList fields =
        r ? QStringList{r->mobile, r->msg, QString::number(r->urgent), r->rdttm, QString::number(r->typ)}
          : QStringList{};
    QTEST(fields.join(u'/'), "queued");
}

void TestDropFileImporter::sixFilesPerCall()
{
    QStringList texts;
    for (int i = 1; i <= 7; ++i) {
        texts << u"file %1"_s.arg(i);
        put(Pipe, u"f%1.sms"_s.arg(i), u"987654321%1|file %1\r\n"_s.arg(i).toUtf8());
    }
    auto imp = importer(Pipe);
    QVERIFY(imp.hasWork());
    QCOMPARE(imp.run().filesImported, 6);
    QCOMPARE(filesIn(Pipe), QStringList{"f7.sms"});
    QVERIFY(imp.hasWork());
    QCOMPARE(imp.run().filesImported, 1);
    QVERIFY(!imp.hasWork());
    QCOMPARE(imp.run().filesImported, 0);
    QCOMPARE(msgs(), texts);
}

void TestDropFileImporter::whichFilesAreTaken_data()
{
    QTest::addColumn<QString>("separator");
    // Names as the file system holds them, in name order. "+" marks a file that is taken, "dir:" a
    // folder, "link:" a symbolic link.
    QTest::addColumn<QByteArrayList>("entries");
    QTest::newRow("comma: M and m, extension in any case")
        << "," << QByteArrayList{"+M1.txt",          "+m5.TXT",      "+MX.Txt",       "X1.txt",
                                 "1M.txt",           "M2.txt.bak",   ".M6.txt",       "M3.txt.imported",
                                 "X4.txt.importing", "dir:Mdir.txt", "link:Mlink.txt"};
    QTest::newRow("pipe: any name, .sms in any case")
        << "|" << QByteArrayList{"+a.sms",      "+B.SMS",       "+c.Sms",
                                 ".sms",        "d.sm",         "e.smsx",
                                 "f.sms.txt",   ".hidden.sms",  "notes.importing",
                                 "dir:dir.sms", "link:link.sms"};
    // Names that are not UTF-8 are read as Windows-1252.
    QTest::newRow("pipe: a Windows-1252 name") << "|" << QByteArrayList{"+Caf\xE9.sms"};
    QTest::newRow("pipe: beside the same name in UTF-8")
        << "|" << QByteArrayList{"+Caf\xC3\xA9.sms", "+Caf\xE9.sms"};
    QTest::newRow("pipe: a hidden Windows-1252 name") << "|" << QByteArrayList{".\xE9.sms", "+\xE9t\xE9.sms"};
    QTest::newRow("comma: Windows-1252 M and X names") << ","
                                                       << QByteArrayList{"+M\xFC"
                                                                         "1.txt",
                                                                         "X\xFC.txt"};
    // Names too long to take a suffix are claimed under shortened ones.
    QTest::newRow("255 bytes") << "|" << QByteArrayList{"+" + QByteArray(251, 'a') + ".sms", "+b.sms"};
    QTest::newRow("255 bytes of two-byte letters")
        << "|" << QByteArrayList{"+" + (QString(125, QChar(0xE9)) + "x.sms").toUtf8(), "+\xC3\xBF.sms"};
    QTest::newRow("comma: 251 bytes")
        << "," << QByteArrayList{"+M" + QByteArray(246, 'a') + ".txt", "+Mb.txt"};
}

void TestDropFileImporter::whichFilesAreTaken()
{
    QFETCH(QString, separator);
    QFETCH(QByteArrayList, entries);
    const DropFormat& f = formatOf(separator);
    QVERIFY(QDir().mkpath(dir(f)));
    const QByteArray folder = QFile::encodeName(dir(f)) + '/';
    QStringList taken;
    QByteArrayList gone, untouched;
    for (int i = 0; i < entries.size(); ++i) {
        QByteArray name = entries[i];
        const QByteArray line = u"9876543210%1f%2\r\n"_s.arg(separator).arg(i).toUtf8();
        if (name.startsWith("dir:")) {
            put(f, QString::fromUtf8(name.mid(4)) + u"/inside.sms"_s, line);
            continue;
        }
        if (name.startsWith("link:")) {
            untouched << name.mid(5);
            QVERIFY(QFile::link(t->writeFile(u"target"_s, line), QFile::decodeName(folder + name.mid(5))));
            continue;
        }
        if (name.startsWith('+')) {
            taken << u"f%1"_s.arg(i);
            gone << name.remove(0, 1);
        } else {
            untouched << name;
        }
        // Written by its bytes: Qt reaches UTF-8 names only.
        const int fd = ::open((folder + name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, line.constData(), line.size()), ssize_t(line.size()));
        ::close(fd);
    }
    auto imp = importer(f);
    QVERIFY(imp.hasWork());
    const ImportReport r = imp.run();
    QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(u'\n')));
    QCOMPARE(msgs(), taken); // in name order, letter case aside
    QVERIFY(!imp.hasWork());
    struct stat st;
    for (const QByteArray& name : gone)
        QVERIFY2(::lstat((folder + name).constData(), &st) != 0, name.constData());
    for (const QByteArray& name : untouched) {
        QVERIFY2(::lstat((folder + name).constData(), &st) == 0, name.constData());
        ::unlink((folder + name).constData()); // QTemporaryDir sees UTF-8 names only
    }
}

void TestDropFileImporter::fileContents_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("queued");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<QString>("note"); // in the one error of the report, when not empty

    QTest::newRow("empty file") << QByteArray() << QStringList{} << 0 << "";
    QTest::newRow("empty and invalid lines")
        << QByteArray("\r\n90000000|Hi\r\n9876543210|\r\n|Hi\r") << QStringList{} << 4 << "";
    QTest::newRow("NUL characters skip their line")
        << QByteArray("9876543210|Hi\0there\r\n9876543211|ok\r\n\0\0\0\r\n", 37) << QStringList{"ok"} << 2
        << "NUL";
    const QString atBound(SendQueue::MaxTextLength, u'x');
    const QString over(SendQueue::MaxTextLength + 1, u'y');
    QTest::newRow("a text over the queue's limit")
        << u"9876543210|before\r\n9876543211|%1\r\n9876543212|%2\r\n9876543213|after"_s.arg(over, atBound)
               .toUtf8()
        << QStringList{"before", atBound, "after"} << 1 << "longer than 1600";
    // Line feeds alone: 5 MB make one line, cut at the cap; its first message still counts.
    QByteArray oneLine;
    while (oneLine.size() < 5 * 1024 * 1024)
        oneLine += "9876543210|Hello|0|S|0\n";
    QTest::newRow("one long line") << oneLine << QStringList{"Hello"} << 0 << "cut";
}

void TestDropFileImporter::fileContents()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, queued);
    QFETCH(int, skipped);
    QFETCH(QString, note);
    put(Pipe, u"x.sms"_s, bytes);
    const ImportReport r = importer(Pipe).run();
    QCOMPARE(r.filesImported, 1);
    QCOMPARE(r.linesQueued, queued.size());
    QCOMPARE(r.linesSkipped, skipped);
    QCOMPARE(r.errors.size(), note.isEmpty() ? 0 : 1);
    if (!note.isEmpty())
        QVERIFY2(r.errors[0].contains(note), qPrintable(r.errors[0]));
    QCOMPARE(msgs(), queued);
    QVERIFY(filesIn(Pipe).isEmpty());
    QCOMPARE(journalRows(), 0);
}

void TestDropFileImporter::recentFilesWait_data()
{
    QTest::addColumn<int>("clockOffsetMs"); // the clock, relative to the file's modification time
    QTest::addColumn<bool>("imported");
    QTest::newRow("just written, default age") << 200 << false;
    QTest::newRow("a second and a half old, default age") << 1500 << true;
    QTest::newRow("dated slightly ahead of the clock") << -300 << false;
    QTest::newRow("dated an hour ahead of the clock") << -3600000 << true;
}

void TestDropFileImporter::recentFilesWait()
{
    QFETCH(int, clockOffsetMs);
    QFETCH(bool, imported);
    const QString young = put(Pipe, u"young.sms"_s, "9876543210|Hi\r\n");
    const QDateTime modified = QFileInfo(young).lastModified();
    QFile old(put(Pipe, u"z-old.sms"_s, "9876543211|old\r\n"));
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(modified.addSecs(-60), QFileDevice::FileModificationTime));
    old.close();
    DropFileImporter imp(t->store(), Pipe, t->home());
    imp.setClock(Clock([&] { return modified.addMSecs(clockOffsetMs); }));
    const ImportReport r = imp.run();
    QCOMPARE(r.filesDeferred, imported ? 0 : 1);
    QCOMPARE(r.filesImported, imported ? 2 : 1); // a waiting file does not hold up the next
    QCOMPARE(QFile::exists(young), !imported);
    QVERIFY(!old.exists());
    QCOMPARE(msgs(true), imported ? (QStringList{"Hi", "old"}) : QStringList{"old"});
}

void TestDropFileImporter::programFolderImports()
{
    // The tick's entry points: the program folder, drop folders in any letter case.
    for (const QString& p : {t->writeFile(u"smsq/a.sms"_s, "9876543210|pipe\r\n"),
                             t->writeFile(u"Sms/M1.txt"_s, "9876543210,comma\r\n")}) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-5), QFileDevice::FileModificationTime));
    }
    QVERIFY(DropFileImporter(t->store(), Pipe, t->home()).hasWork());
    QCOMPARE(GetDataFromTxtFile(t->store(), t->home()).linesQueued, 1);
    QCOMPARE(GetDataFromTxtFile_TXT(t->store(), t->home()).linesQueued, 1);
    QCOMPARE(msgs(), (QStringList{"pipe", "comma"}));
    QVERIFY(!DropFileImporter(t->store(), Comma, t->home()).hasWork());
}

void TestDropFileImporter::refusals_data()
{
    // The queue refuses the line "poison" at its "insert" or at the "commit"; operations on paths
    // ending so fail ("<operation>:<end of the path>"). The errors of the first call each match the
    // note. Files and queued texts are listed while the failures last and after them.
    for (const char* column : {"poison", "refused", "note", "left", "queued", "leftAfter"})
        QTest::addColumn<QString>(column);
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("errors");
    struct Row
    {
        const char *name, *poison, *refused, *note, *left, *queued, *leftAfter;
        int ticks, errors;
    };
    const char* all = "a1 a2 b1 b3 c1 poison";
    const char* aside = "b.sms.imported"; // set aside by an earlier call
    const Row rows[] = {
        // An unopened file stays as it was, and the rest of the folder waits.
        {"open refused", "", "open:/b.sms", "b\\.sms could not be opened", "b.sms b.sms.imported c.sms",
         "a1 a2", aside, 2, 1},
        // A file that cannot be set aside does not hold up the next.
        {"rename refused", "", "rename:", "nothing of it was queued", "a.sms b.sms b.sms.imported c.sms", "",
         aside, 3, 3},
        {"delete refused", "", "remove:", "was queued but could not be deleted.*kept as",
         "a.sms.imported b.sms.2.imported b.sms.imported c.sms.imported", all,
         "a.sms.imported b.sms.2.imported b.sms.imported c.sms.imported", 3, 3},
        {"delete and setting aside refused", "", "remove: rename:.imported",
         "was queued but could not be deleted",
         "a.sms.importing b.sms.imported b.sms.importing c.sms.importing", all, aside, 3, 3},
        // Nothing of a file is queued unless all of it is.
        {"insert refused", "insert", "", "b\\.sms was not queued.*poison refused.*stays for a later tick",
         "b.sms b.sms.imported c.sms", "a1 a2", aside, 3, 1},
        {"commit refused", "commit", "", "b\\.sms was not queued.*commit.*stays for a later tick",
         "b.sms b.sms.imported c.sms", "a1 a2", aside, 3, 1},
        {"commit refused, name not given back", "commit", "rename:/b.sms",
         "b\\.sms was not queued.*commit.*left as b\\.sms\\.importing",
         "b.sms.imported b.sms.importing c.sms", "a1 a2", aside, 1, 1},
    };
    for (const Row& r : rows)
        QTest::addRow("%s", r.name) << r.poison << r.refused << r.note << r.left << r.queued << r.leftAfter
                                    << r.ticks << r.errors;
}

void TestDropFileImporter::refusals()
{
    QFETCH(QString, poison);
    QFETCH(QString, refused);
    QFETCH(QString, note);
    QFETCH(int, ticks);
    QFETCH(int, errors);
    Store& store = t->store();
    if (poison == QLatin1String("commit")) {
        // A deferred foreign key that the poisoned line breaks.
        store.exec(u"PRAGMA foreign_keys = ON"_s);
        store.exec(u"CREATE TABLE parent (id integer primary key)"_s);
        store.exec(u"CREATE TABLE child (pid integer REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED)"_s);
        store.exec(u"CREATE TRIGGER poison AFTER INSERT ON Rsms WHEN NEW.msg = 'poison' "
                   "BEGIN INSERT INTO child VALUES (42); END"_s);
    } else if (poison == QLatin1String("insert")) {
        store.exec(u"CREATE TRIGGER poison BEFORE INSERT ON Rsms WHEN NEW.msg = 'poison' "
                   "BEGIN SELECT RAISE(ABORT, 'poison refused'); END"_s);
    }
    put(Pipe, u"a.sms"_s, "9000000001|a1\r\n9000000002|a2\r\n");
    put(Pipe, u"b.sms"_s, "9000000011|b1\r\n9000000012|poison\r\n9000000013|b3\r\n");
    put(Pipe, u"b.sms.imported"_s, "old");
    put(Pipe, u"c.sms"_s, "9000000021|c1\r\n");
    ScriptedFs fs;
    fs.fail = [refused = refused.split(u' ', Qt::SkipEmptyParts)](const QString& op, const QString& path) {
        return std::any_of(refused.begin(), refused.end(), [&](const QString& r) {
            return r.section(u':', 0, 0) == op && path.endsWith(r.section(u':', 1));
        });
    };
    auto imp = importer(Pipe, &fs);
    for (int tick = 0; tick < ticks; ++tick) {
        const ImportReport r = imp.run();
        if (tick == 0) {
            QCOMPARE(r.errors.size(), errors);
            for (const QString& e : r.errors)
                QVERIFY2(e.contains(QRegularExpression(note)), qPrintable(e));
        }
        QTEST(filesIn(Pipe).join(u' '), "left");
        QTEST(msgs(true).join(u' '), "queued");
    }
    // Once nothing fails, every line is queued once, whatever was left where.
    store.exec(u"DROP TRIGGER IF EXISTS poison"_s);
    imp.setFileSystem(nullptr);
    imp.run();
    QCOMPARE(imp.run().linesQueued, 0);
    QCOMPARE(msgs(true).join(u' '), u"a1 a2 b1 b3 c1 poison"_s);
    QTEST(filesIn(Pipe).join(u' '), "leftAfter");
    QVERIFY(!imp.hasWork());
    QCOMPARE(journalRows(), 0);
}

void TestDropFileImporter::interruptedImport_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("afterCommit"); // killed after the commit, or after the claim
    QTest::addColumn<QString>("byHand");   // what happens to the left file, or the journal, next
    QTest::addColumn<QString>("note");     // in the next call's report

    const QString a = u"a.sms"_s, longName = QString(246, u'a') + u".sms"_s;
    const QString before = u"before its lines were queued"_s, after = u"after its lines were queued"_s;
    QTest::newRow("killed after the claim") << a << false << QString() << before;
    QTest::newRow("killed after the commit") << a << true << QString() << after;
    QTest::newRow("long name, killed after the claim") << longName << false << QString() << before;
    QTest::newRow("long name, killed after the commit") << longName << true << QString() << after;
    QTest::newRow("killed after the commit, then written to") << a << true << u"append"_s << u"has changed"_s;
    QTest::newRow("killed after the commit, then deleted by hand") << a << true << u"delete"_s << QString();
    // Whether the lines of a file claimed before the journal existed are queued is unknown: it is
    // neither imported nor deleted.
    QTest::newRow("left by a version without the journal")
        << a << true << u"forget"_s << u"earlier version"_s;
}

void TestDropFileImporter::interruptedImport()
{
    QFETCH(QString, name);
    QFETCH(bool, afterCommit);
    QFETCH(QString, byHand);
    QFETCH(QString, note);
    put(Pipe, name, "9000000001|one\r\n9000000002|two\r\n");
    ScriptedFs fs;
    fs.fail = [&](const QString& op, const QString&) {
        if (afterCommit && op == QLatin1String("remove"))
            throw Killed{};
        return false;
    };
    fs.afterRename = [&](const QString& to) {
        if (!afterCommit && to.endsWith(DropFileImporter::ClaimSuffix))
            throw Killed{};
    };
    auto imp = importer(Pipe, &fs);
    QVERIFY_THROWS_EXCEPTION(Killed, imp.run());
    QCOMPARE(t->count(u"Rsms"_s), afterCommit ? 2 : 0);
    const QStringList left = filesIn(Pipe);
    QCOMPARE(left.size(), 1);
    QVERIFY2(left[0].endsWith(DropFileImporter::ClaimSuffix), qPrintable(left[0]));

    QFile file(QDir(dir(Pipe)).filePath(left[0]));
    if (byHand == QLatin1String("append")) {
        QVERIFY(file.open(QIODevice::Append));
        file.write("9000000003|three\r\n");
        file.close();
    } else if (byHand == QLatin1String("delete")) {
        QVERIFY(file.remove());
    } else if (byHand == QLatin1String("forget")) {
        t->store().exec(u"DELETE FROM DropImport"_s);
    }

    const bool stays = note == QLatin1String("has changed") || note == QLatin1String("earlier version");
    imp.setFileSystem(nullptr);
    QCOMPARE(imp.hasWork(), byHand != QLatin1String("delete"));
    const ImportReport r = imp.run();
    QVERIFY2(r.errors.join(u'\n').contains(note), qPrintable(r.errors.join(u'\n')));
    imp.run(); // and on later calls
    QCOMPARE(msgs(true), (QStringList{"one", "two"}));
    QCOMPARE(filesIn(Pipe), stays ? left : QStringList{});
    QCOMPARE(journalRows(), stays ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestDropFileImporter)
#include "tst_dropfileimporter.moc"

#include "StoreFixture.h"
#include "intake/DropFileImporter.h"
#include "intake/DropFileText.h"
#include "intake/SendQueue.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using DropFileText::Encoding;

Q_DECLARE_METATYPE(DropFileText::Encoding)

namespace {
class ScriptedFs : public DropFileSystem
{
public:
    // Whether "open", "rename" or "remove" fails on a path (for a rename, the new one).
    std::function<bool(const QString& op, const QString& path)> fail;
    // A test throws from it to stop the import there, as a killed program would.
    std::function<void(const QString& to)> afterRename;
    // Runs just before a file is opened: what happens to it after the listing.
    std::function<void(const QString& path)> beforeOpen;

    bool refused(const char* op, const QString& path, QString& error)
    {
        if (!fail || !fail(QLatin1String(op), path))
            return false;
        error = u"refused by the test"_s;
        return true;
    }
    bool open(QFile& file, QString& error) override
    {
        if (beforeOpen)
            beforeOpen(file.fileName());
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

const DropFormat& Pipe = DropFormat::pipe();
const DropFormat& Comma = DropFormat::comma();
} // namespace

class TestIntake : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { t = std::make_unique<StoreFixture>(); }
    void cleanup() { t.reset(); }

    void parseLine_data()
    {
        QTest::addColumn<QString>("line");   // after the separator of its format
        QTest::addColumn<QString>("queued"); // mobile/msg/urgent/stamp/typ, empty when the line is not valid
        // Pipe files need a number above 90,000,000, comma files one above 900,000,000.
        QTest::newRow("sixth field ignored") << u"|9876543210|Hi|3|S|7|extra"_s << u" 9876543210/Hi/3/S/7"_s;
        QTest::newRow("pipe: at the bound") << u"|90000000|Hi"_s << u""_s;
        QTest::newRow("pipe: above the bound") << u"|90000001|Hi"_s << u" 90000001/Hi/0//0"_s;
        QTest::newRow("+91, blank and dash") << u"|+91 98765-43210|Hi"_s << u" 919876543210/Hi/0//0"_s;
        QTest::newRow("letters after the digits") << u"|9876543210abc|Hi"_s << u" 9876543210/Hi/0//0"_s;
        QTest::newRow("empty text") << u"|9876543210|"_s << u""_s;
        QTest::newRow("number only") << u"|9876543210"_s << u""_s;
        QTest::newRow("quotes, commas, text as 0")
            << u"|9876543210|\"ok\", it's|x|S|y"_s << u" 9876543210/\"ok\", it's/0/S/0"_s;
        QTest::newRow("stamp as it is")
            << u"|9876543210|Hi| 2 | st amp |1.5"_s << u" 9876543210/Hi/2/ st amp /1.5"_s;
        // A line feed does not end a line: it stays in the text, and ends the number of the type.
        QTest::newRow("line feed in the text") << u"|9876543210|a\nb"_s << u" 9876543210/a\nb/0//0"_s;
        QTest::newRow("line feed in the type") << u"|9876543210|a|0|S|1\n98|b"_s << u" 9876543210/a/0/S/1"_s;
        QTest::newRow("zeros and dashes")
            << u"|0091-98765-43210-12345|Hi"_s << u" 91987654321012345/Hi/0//0"_s;
        QTest::newRow("comma: at the bound") << u",900000000,Hi"_s << u""_s;
        QTest::newRow("comma: above the bound") << u",900000001,Hi"_s << u" 900000001/Hi/0//0"_s;
        QTest::newRow("comma: ends the text") << u",9876543210,Hello, world"_s << u" 9876543210/Hello/0//0"_s;
        QTest::newRow("comma: five fields") << u",9876543210,Hi,1,S,2"_s << u" 9876543210/Hi/1/S/2"_s;
        QTest::newRow("comma: a bar is text") << u",98765-43210,a|b"_s << u" 9876543210/a|b/0//0"_s;
        QTest::newRow("comma: 20 digits")
            << u",98765432109876543210,Hi"_s << u" 98765432109876543210/Hi/0//0"_s;
        QTest::newRow("comma: a pipe line has no text") << u",9876543210|Hi"_s << u""_s;
    }
    void parseLine()
    {
        QFETCH(QString, line);
        const std::optional<QueueRecord> r =
            DropFileImporter::parseLine(line[0] == u',' ? Comma : Pipe, QStringView(line).mid(1));
        const QStringList fields =
            r ? QStringList{r->mobile, r->msg, QString::number(r->urgent), r->rdttm, QString::number(r->typ)}
              : QStringList{};
        QTEST(fields.join(u'/'), "queued");
    }
    void whichFilesAreTaken_data()
    {
        QTest::addColumn<QString>("separator");
        // In name order; "+" marks a file that is taken.
        QTest::addColumn<QByteArray>("entries");
        auto row = [](const char* name, const char* separator, const QByteArray& entries) {
            QTest::addRow("%s", name) << QString::fromLatin1(separator) << entries;
        };
        row("comma: M and m, extension in any case", ",",
            "+M1.txt +m5.TXT +MX.Txt X1.txt 1M.txt M2.txt.bak .M6.txt M3.txt.imported X4.txt.importing "
            "dir:Mdir.txt link:Mlink.txt");
        row("pipe: any name, .sms in any case", "|",
            "+a.sms +B.SMS +c.Sms .sms d.sm e.smsx f.sms.txt .hidden.sms notes.importing dir:dir.sms "
            "link:link.sms");
        row("pipe: a Windows-1252 name", "|", "+Caf\xE9.sms");
        row("pipe: beside the same name in UTF-8", "|", "+Caf\xC3\xA9.sms +Caf\xE9.sms");
        row("comma: Windows-1252 M and X names", ",", "+M1\xFC.txt X\xFC.txt");
        // Names too long to take a suffix are claimed under shortened ones.
        row("255 bytes", "|", "+" + QByteArray(251, 'a') + ".sms +b.sms");
        row("255 bytes of two-byte letters", "|",
            "+" + (QString(125, QChar(0xE9)) + "x.sms").toUtf8() + " +\xC3\xBF.sms");
        row("comma: 251 bytes", ",", "+M" + QByteArray(246, 'a') + ".txt +Mb.txt");
    }
    void whichFilesAreTaken()
    {
        QFETCH(QString, separator);
        QFETCH(QByteArray, entries);
        const DropFormat& f = separator == u"," ? Comma : Pipe;
        QVERIFY(QDir().mkpath(dir(f)));
        const QByteArray folder = QFile::encodeName(dir(f)) + '/';
        QStringList taken;
        QByteArrayList gone, untouched;
        const QByteArrayList names = entries.split(' ');
        for (int i = 0; i < names.size(); ++i) {
            QByteArray name = names[i];
            const QByteArray line = u"9876543210%1f%2\r\n"_s.arg(separator).arg(i).toUtf8();
            if (name.startsWith("dir:")) {
                put(f, QString::fromUtf8(name.mid(4)) + u"/inside.sms"_s, line);
                continue;
            }
            if (name.startsWith("link:")) {
                untouched << name.mid(5);
                QVERIFY(
                    QFile::link(t->writeFile(u"target"_s, line), QFile::decodeName(folder + name.mid(5))));
                continue;
            }
            if (name.startsWith('+')) {
                taken << u"f%1"_s.arg(i);
                gone << name.remove(0, 1);
            } else {
                untouched << name;
            }
            // Written by its bytes: Qt reaches UTF-8 names only.
            std::FILE* file = std::fopen((folder + name).constData(), "wb");
            QVERIFY(file && std::fwrite(line.constData(), 1, line.size(), file) == size_t(line.size()));
            std::fclose(file);
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
    void replacedAfterTheListing_data()
    {
        QTest::addColumn<QString>("by");
        QTest::newRow("a link to another file") << u"link"_s;
        QTest::newRow("a FIFO without a writer") << u"fifo"_s;
    }
    void replacedAfterTheListing()
    {
        QFETCH(QString, by);
        const QString swapped = put(Pipe, u"a.sms"_s, "9876543210|swapped\r\n");
        put(Pipe, u"b.sms"_s, "9876543211|after it\r\n");
        const QString secret = t->writeFile(u"elsewhere"_s, "9876543212|not for the queue\r\n");
        ScriptedFs fs;
        fs.beforeOpen = [&](const QString& path) {
            if (path != swapped || !QFile::remove(path))
                return;
            if (by == u"link")
                QFile::link(secret, path);
            else
                ::mkfifo(QFile::encodeName(path).constData(), 0600);
        };
        auto imp = importer(Pipe, &fs);
        const ImportReport r = imp.run();
        QCOMPARE(msgs(), QStringList{u"after it"_s});
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors.first().contains(u"a.sms"_s), qPrintable(r.errors.first()));
        QVERIFY(QFileInfo(swapped).isSymLink() || QFileInfo::exists(swapped)); // left alone
        QVERIFY(QFileInfo::exists(secret));
    }
    void fileContents_data()
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
    void fileContents()
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
        QVERIFY2(r.errors.join(u'\n').contains(note), qPrintable(r.errors.join(u'\n')));
        QCOMPARE(msgs(), queued);
        QVERIFY(filesIn(Pipe).isEmpty());
        QCOMPARE(journalRows(), 0);
    }
    void recentFilesWait_data()
    {
        QTest::addColumn<int>("clockOffsetMs"); // the clock, relative to the file's modification time
        QTest::addColumn<bool>("imported");
        QTest::newRow("just written, default age") << 200 << false;
        QTest::newRow("a second and a half old, default age") << 1500 << true;
        QTest::newRow("dated slightly ahead of the clock") << -300 << false;
        QTest::newRow("dated an hour ahead of the clock") << -3600000 << true;
    }
    void recentFilesWait()
    {
        QFETCH(int, clockOffsetMs);
        QFETCH(bool, imported);
        const QString young = put(Pipe, u"young.sms"_s, "9876543210|Hi\r\n");
        const QDateTime modified = QFileInfo(young).lastModified();
        QFile old(put(Pipe, u"z-old.sms"_s, "9876543211|old\r\n"));
        QVERIFY(old.open(QIODevice::ReadWrite) &&
                old.setFileTime(modified.addSecs(-60), QFileDevice::FileModificationTime));
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
    void programFolderImports()
    {
        // The tick's entry points: the program folder, drop folders in any letter case.
        for (const QString& p : {t->writeFile(u"smsq/a.sms"_s, "9876543210|pipe\r\n"),
                                 t->writeFile(u"Sms/M1.txt"_s, "9876543210,comma\r\n")}) {
            QFile f(p);
            const QDateTime before = QDateTime::currentDateTime().addSecs(-5);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(before, QFileDevice::FileModificationTime));
        }
        QVERIFY(DropFileImporter(t->store(), Pipe, t->home()).hasWork());
        QCOMPARE(GetDataFromTxtFile(t->store(), t->home()).linesQueued, 1);
        QCOMPARE(GetDataFromTxtFile_TXT(t->store(), t->home()).linesQueued, 1);
        QCOMPARE(msgs(), (QStringList{"pipe", "comma"}));
        QVERIFY(!DropFileImporter(t->store(), Comma, t->home()).hasWork());
    }
    void refusals_data()
    {
        // The queue refuses "poison" at its "insert" or "commit"; "<operation>:<end of a path>" fails.
        for (const char* column : {"poison", "refused", "note", "left", "queued", "leftAfter"})
            QTest::addColumn<QString>(column);
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("errors");
        auto row = [](const char* name, const char* poison, const char* refused, const char* note,
                      const char* left, const char* queued, const char* leftAfter, int ticks, int errors) {
            QTest::addRow("%s", name)
                << poison << refused << note << left << queued << leftAfter << ticks << errors;
        };
        const char* all = "a1 a2 b1 b3 c1 poison";
        const char* aside = "b.sms.imported"; // set aside by an earlier call
        row("open refused", "", "open:/b.sms", "b\\.sms could not be opened", "b.sms b.sms.imported c.sms",
            "a1 a2", aside, 2, 1);
        row("rename refused", "", "rename:", "nothing of it was queued", "a.sms b.sms b.sms.imported c.sms",
            "", aside, 3, 3);
        row("delete refused", "", "remove:", "was queued but could not be deleted.*kept as",
            "a.sms.imported b.sms.2.imported b.sms.imported c.sms.imported", all,
            "a.sms.imported b.sms.2.imported b.sms.imported c.sms.imported", 3, 3);
        row("delete and setting aside refused", "", "remove: rename:.imported",
            "was queued but could not be deleted",
            "a.sms.importing b.sms.imported b.sms.importing c.sms.importing", all, aside, 3, 3);
        row("insert refused", "insert", "", "b\\.sms was not queued.*poison refused.*stays for a later tick",
            "b.sms b.sms.imported c.sms", "a1 a2", aside, 3, 1);
        row("commit refused", "commit", "", "b\\.sms was not queued.*commit.*stays for a later tick",
            "b.sms b.sms.imported c.sms", "a1 a2", aside, 3, 1);
        row("commit refused, name not given back", "commit", "rename:/b.sms",
            "b\\.sms was not queued.*commit.*left as b\\.sms\\.importing",
            "b.sms.imported b.sms.importing c.sms", "a1 a2", aside, 1, 1);
    }

    void refusals()
    {
        QFETCH(QString, poison);
        QFETCH(QString, refused);
        QFETCH(QString, note);
        QFETCH(int, ticks);
        QFETCH(int, errors);
        Store& store = t->store();
        if (poison == u"commit") {
            // A deferred foreign key that the poisoned line breaks.
            store.exec(u"PRAGMA foreign_keys = ON"_s);
            store.exec(u"CREATE TABLE parent (id integer primary key)"_s);
            store.exec(
                u"CREATE TABLE child (pid integer REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED)"_s);
            store.exec(u"CREATE TRIGGER poison AFTER INSERT ON Rsms WHEN NEW.msg = 'poison' "
                       "BEGIN INSERT INTO child VALUES (42); END"_s);
        } else if (poison == u"insert") {
            store.exec(u"CREATE TRIGGER poison BEFORE INSERT ON Rsms WHEN NEW.msg = 'poison' "
                       "BEGIN SELECT RAISE(ABORT, 'poison refused'); END"_s);
        }
        put(Pipe, u"a.sms"_s, "9000000001|a1\r\n9000000002|a2\r\n");
        put(Pipe, u"b.sms"_s, "9000000011|b1\r\n9000000012|poison\r\n9000000013|b3\r\n");
        put(Pipe, u"b.sms.imported"_s, "old");
        put(Pipe, u"c.sms"_s, "9000000021|c1\r\n");
        ScriptedFs fs;
        fs.fail = [refused = refused.split(u' ', Qt::SkipEmptyParts)](const QString& op,
                                                                      const QString& path) {
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
    void interruptedImport_data()
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
        QTest::newRow("then written to") << a << true << u"append"_s << u"has changed"_s;
        QTest::newRow("then deleted by hand") << a << true << u"delete"_s << QString();
        // Whether the lines of a file claimed without a journal were queued is unknown: it stays.
        QTest::newRow("claimed with no journal") << a << true << u"forget"_s << u"earlier version"_s;
    }
    void interruptedImport()
    {
        QFETCH(QString, name);
        QFETCH(bool, afterCommit);
        QFETCH(QString, byHand);
        QFETCH(QString, note);
        put(Pipe, name, "9000000001|one\r\n9000000002|two\r\n");
        ScriptedFs fs;
        fs.fail = [&](const QString& op, const QString&) {
            if (afterCommit && op == QLatin1String("remove"))
                throw 9; // killed
            return false;
        };
        fs.afterRename = [&](const QString& to) {
            if (!afterCommit && to.endsWith(DropFileImporter::ClaimSuffix))
                throw 9; // killed
        };
        auto imp = importer(Pipe, &fs);
        QVERIFY_THROWS_EXCEPTION(int, imp.run());
        QCOMPARE(t->count(u"Rsms"_s), afterCommit ? 2 : 0);
        const QStringList left = filesIn(Pipe);
        QCOMPARE(left.size(), 1);
        QVERIFY2(left[0].endsWith(DropFileImporter::ClaimSuffix), qPrintable(left[0]));

        if (byHand == u"append")
            put(Pipe, left[0], "9000000001|one\r\n9000000002|two\r\n9000000003|three\r\n");
        else if (byHand == u"delete")
            QVERIFY(QFile::remove(QDir(dir(Pipe)).filePath(left[0])));
        else if (byHand == u"forget")
            t->store().exec(u"DELETE FROM DropImport"_s);

        const bool stays = note == u"has changed" || note == u"earlier version";
        imp.setFileSystem(nullptr);
        QCOMPARE(imp.hasWork(), byHand != u"delete");
        const ImportReport r = imp.run();
        QVERIFY2(r.errors.join(u'\n').contains(note), qPrintable(r.errors.join(u'\n')));
        imp.run(); // and on later calls
        QCOMPARE(msgs(true), (QStringList{"one", "two"}));
        QCOMPARE(filesIn(Pipe), stays ? left : QStringList{});
        QCOMPARE(journalRows(), stays ? 1 : 0);
    }

    void storedAsGiven()
    {
        // No stamp goes in as an empty one (a Null would make the whole text Null), whole numbers as
        // integers.
        const QList<QueueRecord> records{
            {"9876543210", "He said \"hi\"", "x',1,1)--", -3, 2.5},
            {" 9876543210", "x'); DELETE FROM Rsms; --", "", 1, 0},
            {" 919876543210", "  C:\\dir 100% ok?  ", " 05012024 ", 2.5, -3},
            {"9876543210", "नमस्ते €5 Ærø", QString(), 0, 0},
        };
        for (const QueueRecord& r : records)
            SendQueue::enqueue(t->store(), r);
        QCOMPARE(t->column(QStringLiteral(
                     "SELECT Mobile || '/' || msg || '/' || RDtTM || '/' || typeof(urgent) || ' ' "
                     "|| urgent || '/' || typeof(typ) || ' ' || typ FROM Rsms ORDER BY rowid")),
                 (QStringList{
                     "9876543210/He said \"hi\"/x',1,1)--/integer -3/real 2.5",
                     " 9876543210/x'); DELETE FROM Rsms; --//integer 1/integer 0",
                     " 919876543210/  C:\\dir 100% ok?  / 05012024 /real 2.5/integer -3",
                     "9876543210/नमस्ते €5 Ærø//integer 0/integer 0",
                 }));
    }
    void overLongTextIsRefused()
    {
        // Nothing is added, also of a batch whose earlier rows were fine.
        const QueueRecord atBound{u"9876543210"_s, QString(SendQueue::MaxTextLength, u'x'), {}, 0, 0};
        const QueueRecord over{u"9876543211"_s, QString(SendQueue::MaxTextLength + 1, u'y'), {}, 0, 0};
        QVERIFY_THROWS_EXCEPTION(StoreError, SendQueue::enqueue(t->store(), over));
        try {
            Store::Transaction tx(t->store());
            SendQueue::enqueueAll(t->store(), {atBound, over});
            QFAIL("an over-long text was queued");
        } catch (const StoreError& e) {
            QVERIFY2(e.text().contains(u"at most 1600"_s), qPrintable(e.text()));
        }
        QCOMPARE(t->count(u"Rsms"_s), 0);
        SendQueue::enqueue(t->store(), atBound);
        QCOMPARE(t->count(u"Rsms"_s), 1);
    }
    void lines_data()
    {
        QTest::addColumn<QString>("pieces"); // fed one by one, split at "|"
        QTest::addColumn<int>("cap");
        QTest::addColumn<QString>("lines"); // each in brackets, "~" after a line that was cut

        const int big = 1000;
        QTest::newRow("CR LF ends lines") << u"a\r\nb\r\n"_s << big << u"[a][b]"_s;
        QTest::newRow("CR alone ends a line") << u"a\rb"_s << big << u"[a][b]"_s;
        QTest::newRow("LF alone does not") << u"a\nb\nc"_s << big << u"[a\nb\nc]"_s;
        QTest::newRow("LF CR is LF then a line end") << u"a\n\rb"_s << big << u"[a\n][b]"_s;
        QTest::newRow("empty text") << u""_s << big << u""_s;
        QTest::newRow("one line end only") << u"\r\n"_s << big << u"[]"_s;
        QTest::newRow("CR LF split across pieces") << u"a\r|\nb"_s << big << u"[a][b]"_s;
        QTest::newRow("CR, then CR LF in the next piece") << u"a\r|\r\nb"_s << big << u"[a][][b]"_s;
        QTest::newRow("empty piece between CR and LF") << u"a\r||\nb"_s << big << u"[a][b]"_s;
        QTest::newRow("long line cut, next line whole") << u"abcdef\r\ngh"_s << 3 << u"[abc~][gh]"_s;
        QTest::newRow("long line over several pieces") << u"ab|cd|e\r|\nxy"_s << 3 << u"[abc~][xy]"_s;
        QTest::newRow("exactly the cap is not cut") << u"abc\r"_s << 3 << u"[abc]"_s;
        QTest::newRow("no half surrogate pair at the cut") << u"a\U0001F600"_s << 2 << u"[a~]"_s;
    }
    void lines()
    {
        QFETCH(QString, pieces);
        QFETCH(int, cap);
        QString got;
        DropFileText::LineSplitter splitter(cap, [&](QStringView line, bool cut) {
            got += u'[' + line.toString() + (cut ? u"~]"_s : u"]"_s);
        });
        for (const QString& piece : pieces.split(u'|'))
            splitter.feed(piece);
        splitter.finish();
        QTEST(got, "lines");
    }
    void utf8Validation_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("splitAt"); // fed in two pieces
        QTest::addColumn<bool>("valid");
        QTest::newRow("two-byte letter split") << QByteArray("Caf\xC3\xA9") << 4 << true;
        QTest::newRow("four-byte emoji split") << QByteArray("\xF0\x9F\x98\x80") << 2 << true;
        QTest::newRow("NUL is valid UTF-8") << QByteArray("a\0b", 3) << 1 << true;
        QTest::newRow("Windows-1252 e-acute") << QByteArray("Caf\xE9") << 2 << false;
        QTest::newRow("lone continuation byte") << QByteArray("\xA9") << 0 << false;
        QTest::newRow("overlong two-byte") << QByteArray("\xC0\x80") << 1 << false;
        QTest::newRow("overlong three-byte") << QByteArray("\xE0\x80\x80") << 1 << false;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << 1 << false;
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << 2 << false;
        QTest::newRow("incomplete at the end") << QByteArray("ab\xC3") << 1 << false;
    }
    void utf8Validation()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, splitAt);
        DropFileText::Utf8Validator v;
        v.feed(QByteArrayView(bytes).first(splitAt));
        v.feed(QByteArrayView(bytes).sliced(splitAt));
        QTEST(v.valid(), "valid");
    }
    void readLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Encoding>("encoding");
        QTest::addColumn<QStringList>("lines");

        const QString text = u"9876543210|Café € 5 “ok”"_s;
        QTest::newRow("Windows-1252") << QByteArray("9876543210|Caf\xE9 \x80 5 \x93ok\x94\r\n")
                                      << Encoding::Windows1252 << QStringList{text};
        QTest::newRow("UTF-8") << text.toUtf8() + "\r\nx" << Encoding::Utf8 << QStringList{text, "x"};
        QTest::newRow("UTF-8 with byte order mark")
            << "\xEF\xBB\xBF" + text.toUtf8() << Encoding::Utf8 << QStringList{text};
        const QString twoLines = text + u"\r\nsecond"_s;
        QTest::newRow("UTF-16 LE with byte order mark")
            << "\xFF\xFE" + QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(twoLines))
            << Encoding::Utf16LE << QStringList{text, "second"};
        QTest::newRow("UTF-16 BE with byte order mark")
            << "\xFE\xFF" + QByteArray(QStringEncoder(QStringConverter::Utf16BE).encode(twoLines))
            << Encoding::Utf16BE << QStringList{text, "second"};
        // A byte that is not UTF-8 far into the file makes all of it Windows-1252.
        QByteArray mixed("\xC3\xA9\r\n");
        mixed.append(QByteArray(100000, 'x'));
        mixed.append("\xE9");
        QTest::newRow("decided for the whole file")
            << mixed << Encoding::Windows1252 << QStringList{u"Ã©"_s, QString(100000, u'x') + u"é"_s};
        QTest::newRow("empty file") << QByteArray() << Encoding::Utf8 << QStringList{};
    }
    void readLines()
    {
        QFETCH(QByteArray, bytes);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QStringList got;
        const DropFileText::ReadResult r =
            DropFileText::readLines(buffer, 200000, [&](QStringView line, bool) { got << line.toString(); });
        QVERIFY(r.ok);
        QTEST(r.encoding, "encoding");
        QTEST(got, "lines");
    }
    void fileNames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("utf8");
        QTest::newRow("UTF-8") << QByteArray("Caf\xC3\xA9.sms") << u"Café.sms"_s << true;
        QTest::newRow("Windows-1252") << QByteArray("Caf\xE9 \x80.sms") << u"Café €.sms"_s << false;
        QTest::newRow("UTF-8 cut short") << QByteArray("M\xC3.txt") << u"MÃ.txt"_s << false;
        QTest::newRow("quotes, dash, Latin-1") << QByteArray("\x93\x94\x96\xC6\xFF") << u"“”–Æÿ"_s << false;
        QTest::newRow("undefined bytes stay controls")
            << QByteArray("\x81\x8D\x8F\x90\x9D") << u"\x81\x8D\x8F\x90\x9D"_s << false;
        QTest::newRow("last of the high range") << QByteArray("\x9F\x9C") << u"Ÿœ"_s << false;
    }
    void fileNames()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, utf8);
        bool wasUtf8 = !utf8;
        QTEST(DropFileText::fileNameFromBytes(bytes, &wasUtf8), "name");
        QCOMPARE(wasUtf8, utf8);
    }

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

QTEST_GUILESS_MAIN(TestIntake)
#include "tst_intake.moc"

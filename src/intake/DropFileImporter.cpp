#include "intake/DropFileImporter.h"

#include "common/TextNumbers.h"
#include "core/Store.h"
#include "intake/DropFileText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const DropFormat& DropFormat::pipe()
{
    static const DropFormat f{QStringLiteral("SMSQ"), QStringLiteral("*.sms"), QLatin1Char('|'), 90000000.0,
                              QStringLiteral("GetDataFromTxtFile")};
    return f;
}

const DropFormat& DropFormat::comma()
{
    static const DropFormat f{QStringLiteral("SMS"), QStringLiteral("M*.txt"), QLatin1Char(','), 900000000.0,
                              QStringLiteral("GetDataFromTxtFile_TXT")};
    return f;
}

ImportReport& ImportReport::operator+=(const ImportReport& other)
{
    filesImported += other.filesImported;
    filesDeferred += other.filesDeferred;
    linesQueued += other.linesQueued;
    linesSkipped += other.linesSkipped;
    errors += other.errors;
    return *this;
}

bool DropFileSystem::open(QFile& file, QString& error)
{
    // The listing saw an ordinary file, but the name may have been given to
    // something else since: a link is not followed (it could point at any
    // file this program may read), and a FIFO or device is not waited on
    // (reading a FIFO with no writer would hold the engine for ever).
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ELOOP ? QStringLiteral("a symbolic link, not followed")
                               : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = QStringLiteral("not an ordinary file");
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    error = file.errorString();
    ::close(fd);
    return false;
}

bool DropFileSystem::rename(const QString& from, const QString& to, QString& error)
{
    QFile file(from);
    if (file.rename(to))
        return true;
    error = file.errorString();
    return false;
}

bool DropFileSystem::renameNative(const QByteArray& from, const QString& to, QString& error)
{
    const QByteArray target = QFile::encodeName(to);
    struct stat st;
    if (::lstat(target.constData(), &st) == 0) {
        error = QStringLiteral("%1 exists").arg(to);
        return false;
    }
    if (::rename(from.constData(), target.constData()) == 0)
        return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool DropFileSystem::remove(const QString& path, QString& error)
{
    QFile file(path);
    if (file.remove())
        return true;
    error = file.errorString();
    return false;
}

DropFileSystem& DropFileSystem::standard()
{
    static DropFileSystem fs;
    return fs;
}

namespace {
// What tells a claimed file from any other under the same name: while both
// still match, it is the file whose lines were queued.
// The size recorded for a claimed file whose fate is not known.
constexpr qint64 UnknownSize = -2;

struct FileStamp
{
    qint64 size = -1;
    qint64 modified = 0; // milliseconds since the epoch
    bool operator==(const FileStamp&) const = default;
};

qint64 modifiedMs(const struct stat& st)
{
    return static_cast<qint64>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

FileStamp stampOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {static_cast<qint64>(st.st_size), modifiedMs(st)};
}

qsizetype nameBytes(const QString& name)
{
    return QFile::encodeName(name).size();
}

// The name cut to at most maxBytes bytes. The stem is cut from its end and
// the extension kept, so the cut name still shows what the patterns look at.
QString fitName(const QString& name, qsizetype maxBytes)
{
    if (nameBytes(name) <= maxBytes)
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    auto chopOne = [](QString& text) { text.chop(text.size() > 1 && text.back().isLowSurrogate() ? 2 : 1); };
    while (stem.size() > 1 && nameBytes(stem + ext) > maxBytes)
        chopOne(stem);
    QString fitted = stem + ext;
    while (!fitted.isEmpty() && nameBytes(fitted) > maxBytes)
        chopOne(fitted);
    return fitted;
}
} // namespace

// The import journal of one drop folder: which claimed files have their lines
// in the queue. A row is written in the transaction that queues the lines and
// goes once its file is gone.
class DropFileImporter::Journal
{
public:
    Journal(Store& store, const QString& folderKey) : m_store(store), m_key(folderKey) {}

    // Forgets the files that are gone from the folder (the table comes with
    // the schema). Returns true the first time the journal is opened for
    // this folder.
    bool open(const QString& folder)
    {
        QStringList gone;
        {
            QSqlQuery q = m_store.query(
                QStringLiteral("SELECT Name FROM %1 WHERE Folder = ?").arg(JournalTable), {m_key});
            const QDir dir(folder);
            while (q.next()) {
                const QString name = q.value(0).toString();
                if (name != u'/' && !QFileInfo::exists(dir.filePath(name)))
                    gone << name;
            }
        }
        for (const QString& name : gone)
            forget(name);
        // A row under a name no file can have marks a folder whose claimed
        // files have been journalled from the start.
        const QString folderMark = QStringLiteral("/");
        if (find(folderMark))
            return false;
        record(folderMark, FileStamp{0, 0});
        return true;
    }

    std::optional<FileStamp> find(const QString& name)
    {
        QSqlQuery q = m_store.query(
            QStringLiteral("SELECT Size, Modified FROM %1 WHERE Folder = ? AND Name = ?").arg(JournalTable),
            {m_key, name});
        if (!q.next())
            return std::nullopt;
        return FileStamp{q.value(0).toLongLong(), q.value(1).toLongLong()};
    }

    // Runs inside the transaction that queues the file's lines. A row left
    // under the same name is stale: the name was free when the file was claimed.
    void record(const QString& name, const FileStamp& stamp)
    {
        forget(name);
        m_store.exec(QStringLiteral("INSERT INTO %1 (Folder, Name, Size, Modified) VALUES (?, ?, ?, ?)")
                         .arg(JournalTable),
                     {m_key, name, stamp.size, stamp.modified});
    }

    void forget(const QString& name)
    {
        m_store.exec(QStringLiteral("DELETE FROM %1 WHERE Folder = ? AND Name = ?").arg(JournalTable),
                     {m_key, name});
    }

private:
    Store& m_store;
    QString m_key;
};

DropFileImporter::DropFileImporter(Store& store, const DropFormat& format, const QString& home)
    : m_store(store), m_format(format), m_home(home),
      m_pattern(QRegularExpression::wildcardToRegularExpression(format.pattern),
                QRegularExpression::CaseInsensitiveOption),
      m_fs(&DropFileSystem::standard())
{
}

bool DropFileImporter::matches(const QString& fileName) const
{
    return m_pattern.match(fileName).hasMatch();
}

bool DropFileImporter::isClaimName(const QString& fileName) const
{
    if (!fileName.endsWith(ClaimSuffix))
        return false;
    // "<name>.importing", or "<name>.<k>.importing" when that was taken.
    QString base = fileName.chopped(ClaimSuffix.size());
    if (matches(base))
        return true;
    static const QRegularExpression counter(QStringLiteral("\\.[0-9]+$"));
    base.remove(counter);
    return matches(base);
}

QString DropFileImporter::where(const QString& fileName) const
{
    return QStringLiteral("%1: %2/%3").arg(m_format.routine, m_format.folder, fileName);
}

QString DropFileImporter::folderPath() const
{
    const QDir home(m_home);
    if (QFileInfo(home.filePath(m_format.folder)).isDir())
        return home.filePath(m_format.folder);
    // The folder may have been created as "smsq" or "Sms": take it in any case.
    const QStringList dirs = home.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& d : dirs)
        if (d.compare(m_format.folder, Qt::CaseInsensitive) == 0)
            return home.filePath(d);
    return QString();
}

// The drop files and claimed files of a folder, first name first. The folder
// is read as bytes so that a name which is not valid UTF-8 is seen too. Names
// are compared without regard to letter case, then exactly, so the order is
// the same on every file system. Only names that can matter are kept, and
// only entries whose type the folder does not tell are looked at one by one:
// a folder with thousands of files waiting is read in one pass.
QList<DropFileImporter::Entry> DropFileImporter::listFolder(const QString& folder) const
{
    QList<Entry> entries;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return entries;
    while (const dirent* d = ::readdir(dir)) {
        const QByteArray native(d->d_name);
        if (native.startsWith('.'))
            continue; // hidden, and the folder itself and its parent
        if (d->d_type != DT_REG && d->d_type != DT_UNKNOWN)
            continue; // folders, symbolic links, sockets, pipes, devices
        Entry e;
        bool utf8 = true;
        e.name = DropFileText::fileNameFromBytes(native, &utf8);
        e.native = native;
        e.foreign = !utf8;
        if (!matches(e.name) && (e.foreign || !isClaimName(e.name)))
            continue;
        if (d->d_type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        entries << e;
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        if (c != 0)
            return c < 0;
        return a.name != b.name ? a.name < b.name : a.native < b.native;
    });
    return entries;
}

// Looks at a listed file again just before it is taken: it may have gone, or
// been replaced by something that is not an ordinary file, since the listing.
bool DropFileImporter::stillThere(const QString& folder, Entry& entry) const
{
    struct stat st;
    const QByteArray path = QFile::encodeName(folder) + '/' + entry.native;
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    entry.modified = modifiedMs(st);
    return true;
}

bool DropFileImporter::hasWork() const
{
    const QString folder = folderPath();
    if (folder.isEmpty())
        return false;
    return !listFolder(folder).isEmpty();
}

QString DropFileImporter::freeName(const QString& folder, const QString& base, const QString& suffix) const
{
    const QDir dir(folder);
    for (int k = 1; k < 1000; ++k) {
        const QString tail = (k == 1 ? QString() : QStringLiteral(".%1").arg(k)) + suffix;
        // A name too long for the file system with the suffix is shortened.
        const QString name = fitName(base, MaxNameBytes - nameBytes(tail)) + tail;
        if (matches(name))
            continue; // a name set aside must never be taken for a drop file
        const QString path = dir.filePath(name);
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return path;
    }
    return QString();
}

std::optional<QueueRecord> DropFileImporter::parseLine(const DropFormat& format, QStringView line)
{
    // Five separators more, so that a short line still has five fields.
    QString padded;
    padded.reserve(line.size() + 5);
    padded += line;
    padded += QString(5, format.separator);
    const QList<QStringView> fields = QStringView(padded).split(format.separator);

    QString numberText = fields[0].toString();
    numberText.remove(u' ');
    numberText.remove(u'-');
    const double number = TextNumbers::numericValue(numberText);

    QString text = fields[1].toString();
    text.remove(QStringLiteral("\r\n"));

    if (text.isEmpty() || !(number > format.numberBound))
        return std::nullopt;

    QueueRecord record;
    // Written from the digits, not from the value: a double keeps only about
    // fifteen of them, and a number must reach the gateway as it was given.
    record.mobile = QStringLiteral(" ") + TextNumbers::numberText(numberText);
    record.msg = text;
    record.urgent = TextNumbers::numericValue(fields[2]);
    record.rdttm = fields[3].toString();
    record.typ = TextNumbers::numericValue(fields[4]);
    return record;
}

ImportReport DropFileImporter::run()
{
    ImportReport report;
    const QString folder = folderPath();
    if (folder.isEmpty())
        return report;

    // One look at the folder per call: the files are taken in the order of
    // that listing, each looked at again just before it is taken. Files that
    // arrive meanwhile wait for the next call.
    const QList<Entry> entries = listFolder(folder);

    // Opened also when nothing waits: it forgets claimed files removed by hand.
    Journal journal(m_store, m_format.folder);
    if (journal.open(folder)) {
        // Claimed files left by a version that kept no journal may or may not
        // have their lines queued: they are kept for the operator, never
        // imported a second time.
        for (const Entry& e : entries)
            if (!e.foreign && isClaimName(e.name))
                journal.record(e.name, FileStamp{UnknownSize, 0});
    }

    const QDateTime now = m_clock.now();
    int taken = 0;
    // Files claimed by an earlier call and not finished come first. Only those
    // whose lines are queued now count against the files of this call, so
    // that files left for the operator never hold up new ones.
    for (const Entry& e : entries) {
        if (taken < MaxFilesPerCall && !e.foreign && isClaimName(e.name) &&
            recoverClaimed(folder, e, journal, report))
            ++taken;
    }

    for (Entry e : entries) {
        if (taken >= MaxFilesPerCall)
            break;
        if (!matches(e.name) || !stillThere(folder, e))
            continue;
        // Modified (or dated) within the last moment: its writer may not be
        // done yet. A file dated in the future counts the same way.
        if (m_minimumAge.count() > 0 && qAbs(now.toMSecsSinceEpoch() - e.modified) < m_minimumAge.count()) {
            ++report.filesDeferred;
            continue;
        }
        ++taken;
        if (importFile(folder, e, journal, report) == Next::StopFolder)
            break;
    }
    return report;
}

DropFileImporter::Next DropFileImporter::importFile(const QString& folder, const Entry& entry,
                                                    Journal& journal, ImportReport& report)
{
    const QString path = QDir(folder).filePath(entry.name);
    const QString where = this->where(entry.name);
    const QString claimed = freeName(folder, entry.name, ClaimSuffix);
    QString fsError;
    QFile file;

    if (entry.foreign) {
        // Qt reaches files by UTF-8 names only: the file first gets the name
        // it is shown under, then it is read like any other.
        const QByteArray nativePath = QFile::encodeName(folder) + '/' + entry.native;
        if (claimed.isEmpty() || !m_fs->renameNative(nativePath, claimed, fsError)) {
            if (claimed.isEmpty())
                fsError = QStringLiteral("no free name to rename it to");
            report.errors << QStringLiteral(
                                 "%1 (a name that is not valid UTF-8) could not be renamed for import "
                                 "(%2); nothing of it was queued")
                                 .arg(where, fsError);
            return Next::Continue;
        }
        file.setFileName(claimed);
        if (!m_fs->open(file, fsError)) {
            report.errors << QStringLiteral(
                                 "%1 could not be opened (%2); it is left as %3 and imported at a later tick")
                                 .arg(where, fsError, QFileInfo(claimed).fileName());
            return Next::Continue;
        }
        return queueClaimed(file, claimed, entry.name, QString(), journal, report);
    }

    file.setFileName(path);
    if (!m_fs->open(file, fsError)) {
        if (!QFileInfo::exists(path))
            return Next::Continue; // taken away by its writer since the listing
        const QFileInfo now(path);
        if (now.isSymLink() || !now.isFile()) {
            // Replaced by a link or a special file since the listing, which
            // passes over those: so is this one, and the folder goes on.
            report.errors << QStringLiteral("%1 is no longer an ordinary file (%2); it is not imported")
                                 .arg(where, fsError);
            return Next::Continue;
        }
        report.errors
            << QStringLiteral("%1 could not be opened (%2); it stays for a later tick").arg(where, fsError);
        return Next::StopFolder;
    }

    // Set the file aside under a name no pattern matches before anything of
    // it is queued: whatever happens next, it is never imported twice. A file
    // that cannot be set aside is passed over; the others still go.
    if (claimed.isEmpty() || !m_fs->rename(path, claimed, fsError)) {
        if (claimed.isEmpty())
            fsError = QStringLiteral("no free name to rename it to");
        report.errors << QStringLiteral("%1 could not be renamed for import (%2); nothing of it was queued")
                             .arg(where, fsError);
        return Next::Continue;
    }
    return queueClaimed(file, claimed, entry.name, path, journal, report);
}

bool DropFileImporter::recoverClaimed(const QString& folder, const Entry& entry, Journal& journal,
                                      ImportReport& report)
{
    const QString path = QDir(folder).filePath(entry.name);
    const QString where = this->where(entry.name);
    const std::optional<FileStamp> recorded = journal.find(entry.name);
    QString fsError;

    if (!recorded) {
        // Claimed, but its lines were never committed: import it now.
        QFile file(path);
        if (!m_fs->open(file, fsError)) {
            report.errors << QStringLiteral(
                                 "%1, left by an interrupted import, could not be opened (%2); it stays "
                                 "for a later tick")
                                 .arg(where, fsError);
            return false;
        }
        report.errors << QStringLiteral("%1 was left by an interrupted import before its lines were queued; "
                                        "importing it now")
                             .arg(where);
        queueClaimed(file, path, entry.name.chopped(ClaimSuffix.size()), QString(), journal, report);
        return true;
    }

    if (recorded->size == UnknownSize) {
        report.errors
            << QStringLiteral(
                   "%1 was left by an interrupted import of an earlier version, which kept no record "
                   "of it: its lines may already be queued. It is left as it is: compare it with the "
                   "queue, then delete it or queue what is missing")
                   .arg(where);
        return false;
    }
    if (*recorded != stampOf(path)) {
        // Written to after it was claimed: what was queued is not what is
        // there now, and deleting or importing it could lose or double lines.
        report.errors << QStringLiteral(
                             "%1 has changed since its lines were queued; it is left as it is: compare it "
                             "with the queue, then delete it or queue what is missing")
                             .arg(where);
        return false;
    }

    // Its lines were committed; only the deletion is missing.
    if (!m_fs->remove(path, fsError)) {
        report.errors << QStringLiteral(
                             "%1 was queued but could not be deleted (%2); it will not be imported again")
                             .arg(where, fsError);
        return false;
    }
    journal.forget(entry.name);
    report.errors << QStringLiteral(
                         "%1 was left by an interrupted import after its lines were queued; deleted")
                         .arg(where);
    return false;
}

DropFileImporter::Next DropFileImporter::queueClaimed(QFile& file, const QString& claimed,
                                                      const QString& base, const QString& original,
                                                      Journal& journal, ImportReport& report)
{
    const QString claimedName = QFileInfo(claimed).fileName();
    const QString where = this->where(base);

    int queued = 0;
    int skipped = 0;
    int cut = 0;
    int withNul = 0;
    int tooLong = 0;
    QString failure;
    try {
        Store::Transaction transaction(m_store);
        SendQueue::Writer writer(m_store);
        const DropFileText::ReadResult read =
            DropFileText::readLines(file, MaxLineLength, [&](QStringView line, bool wasCut) {
                if (wasCut)
                    ++cut;
                if (line.contains(QChar(u'\0'))) {
                    // Not text: a binary file or one in an unknown encoding.
                    ++withNul;
                    ++skipped;
                    return;
                }
                if (const std::optional<QueueRecord> record = parseLine(m_format, line)) {
                    if (!SendQueue::fits(record->msg.size())) {
                        ++tooLong;
                        ++skipped;
                        return;
                    }
                    writer.add(*record);
                    ++queued;
                } else {
                    ++skipped;
                }
            });
        if (read.ok) {
            journal.record(claimedName, stampOf(claimed));
            transaction.commit();
        } else {
            failure = QStringLiteral("reading failed: %1").arg(read.error);
        }
    } catch (const StoreError& e) {
        failure = QStringLiteral("error %1 %2").arg(e.number()).arg(e.text());
    }
    file.close();

    QString fsError;
    if (!failure.isEmpty()) {
        // Nothing of the file is queued: it waits for a later tick, under its
        // own name when it can get it back, as a claimed file otherwise.
        QString text = QStringLiteral("%1 was not queued (%2)").arg(where, failure);
        if (!original.isEmpty() && m_fs->rename(claimed, original, fsError))
            text += QStringLiteral("; it stays for a later tick");
        else if (!original.isEmpty())
            text +=
                QStringLiteral("; it could not get its name back (%1) and is left as %2, to be imported from "
                               "there at a later tick")
                    .arg(fsError, claimedName);
        else
            text += QStringLiteral("; it is left as %1, to be imported at a later tick").arg(claimedName);
        report.errors << text;
        return Next::StopFolder;
    }

    ++report.filesImported;
    report.linesQueued += queued;
    report.linesSkipped += skipped;
    if (cut > 0)
        report.errors << QStringLiteral("%1: %2 line(s) longer than %3 characters were cut")
                             .arg(where)
                             .arg(cut)
                             .arg(MaxLineLength);
    if (withNul > 0)
        report.errors
            << QStringLiteral("%1: %2 line(s) holding NUL characters were skipped").arg(where).arg(withNul);
    if (tooLong > 0)
        report.errors << QStringLiteral("%1: %2 line(s) with a text longer than %3 characters were skipped")
                             .arg(where)
                             .arg(tooLong)
                             .arg(SendQueue::MaxTextLength);

    if (m_fs->remove(claimed, fsError)) {
        journal.forget(claimedName);
        return Next::Continue;
    }
    QString renameError;
    const QString done = freeName(QFileInfo(claimed).path(), base, DoneSuffix);
    if (!done.isEmpty() && m_fs->rename(claimed, done, renameError)) {
        journal.forget(claimedName);
        report.errors << QStringLiteral("%1 was queued but could not be deleted (%2); it is kept as %3")
                             .arg(where, fsError, QFileInfo(done).fileName());
    } else {
        report.errors << QStringLiteral(
                             "%1 was queued but could not be deleted (%2); it is left as %3, to be "
                             "deleted at a later tick, and will not be imported again")
                             .arg(where, fsError, claimedName);
    }
    return Next::Continue;
}

ImportReport GetDataFromTxtFile(Store& store, const QString& home)
{
    return DropFileImporter(store, DropFormat::pipe(), home).run();
}

ImportReport GetDataFromTxtFile_TXT(Store& store, const QString& home)
{
    return DropFileImporter(store, DropFormat::comma(), home).run();
}

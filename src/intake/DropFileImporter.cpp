#include "intake/DropFileImporter.h"

#include "app/Store.h"
#include "common/ProgramHome.h"
#include "common/TextNumbers.h"
#include "intake/DropFileText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

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
    if (file.open(QIODevice::ReadOnly))
        return true;
    error = file.errorString();
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
// The matching ordinary files of a folder, first name first. Names are
// compared without regard to letter case, then exactly, so the order is the
// same on every file system.
QFileInfoList matchingFiles(const QString& folder, const DropFileImporter& importer)
{
    // Without QDir::Hidden and QDir::System, dot files, sockets, pipes and
    // devices are not listed.
    const QFileInfoList all =
        QDir(folder).entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::NoSort);
    QFileInfoList files;
    for (const QFileInfo& fi : all) {
        const QString name = fi.fileName();
        if (fi.isFile() && !fi.isSymLink() && !name.startsWith(u'.') && importer.matches(name))
            files << fi;
    }
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int c = a.fileName().compare(b.fileName(), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.fileName() < b.fileName();
    });
    return files;
}
} // namespace

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

QString DropFileImporter::folderPath() const
{
    const QDir home(m_home.isEmpty() ? ProgramHome::path() : m_home);
    if (QFileInfo(home.filePath(m_format.folder)).isDir())
        return home.filePath(m_format.folder);
    // The folder may have been created as "smsq" or "Sms": take it in any case.
    const QStringList dirs = home.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& d : dirs)
        if (d.compare(m_format.folder, Qt::CaseInsensitive) == 0)
            return home.filePath(d);
    return QString();
}

bool DropFileImporter::hasWork() const
{
    const QString folder = folderPath();
    return !folder.isEmpty() && !matchingFiles(folder, *this).isEmpty();
}

QString DropFileImporter::freeName(const QString& folder, const QString& base, const QString& suffix) const
{
    const QDir dir(folder);
    for (int k = 1; k < 1000; ++k) {
        const QString name = k == 1 ? base + suffix : QStringLiteral("%1.%2%3").arg(base).arg(k).arg(suffix);
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
    record.mobile = TextNumbers::withLeadingBlank(number);
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

    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    QSet<QString> deferred;
    int taken = 0;
    while (taken < MaxFilesPerCall) {
        // A fresh look at the folder each time: the first matching file now.
        const QFileInfoList files = matchingFiles(folder, *this);
        QString next;
        for (const QFileInfo& fi : files) {
            if (deferred.contains(fi.fileName()))
                continue;
            // Modified (or dated) within the last moment: its writer may not
            // be done yet. A file dated in the future counts the same way.
            if (m_minimumAge.count() > 0 && qAbs(fi.lastModified().msecsTo(now)) < m_minimumAge.count()) {
                deferred.insert(fi.fileName());
                ++report.filesDeferred;
                continue;
            }
            next = fi.fileName();
            break;
        }
        if (next.isEmpty())
            break;
        ++taken;
        if (importFile(folder, next, report) == Next::StopFolder)
            break;
    }
    return report;
}

DropFileImporter::Next DropFileImporter::importFile(const QString& folder, const QString& name,
                                                    ImportReport& report)
{
    const QDir dir(folder);
    const QString path = dir.filePath(name);
    const QString where = QStringLiteral("%1: %2/%3").arg(m_format.routine, m_format.folder, name);

    QString fsError;
    QFile file(path);
    if (!m_fs->open(file, fsError)) {
        if (!QFileInfo::exists(path))
            return Next::Continue; // taken away by its writer since the listing
        report.errors
            << QStringLiteral("%1 could not be opened (%2); it stays for a later tick").arg(where, fsError);
        return Next::StopFolder;
    }

    // Set the file aside under a name no pattern matches before anything of
    // it is queued: whatever happens next, it is never imported twice.
    const QString claimed = freeName(folder, name, ClaimSuffix);
    if (claimed.isEmpty() || !m_fs->rename(path, claimed, fsError)) {
        if (claimed.isEmpty())
            fsError = QStringLiteral("no free name to rename it to");
        report.errors << QStringLiteral("%1 could not be renamed for import (%2); nothing of it was queued")
                             .arg(where, fsError);
        return Next::StopFolder;
    }

    int queued = 0;
    int skipped = 0;
    int cut = 0;
    int withNul = 0;
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
                    writer.add(*record);
                    ++queued;
                } else {
                    ++skipped;
                }
            });
        if (read.ok)
            transaction.commit();
        else
            failure = QStringLiteral("reading failed: %1").arg(read.error);
    } catch (const StoreError& e) {
        failure = QStringLiteral("error %1 %2").arg(e.number()).arg(e.text());
    }
    file.close();

    if (!failure.isEmpty()) {
        // Nothing of the file is queued: give it its name back for a later tick.
        QString text = QStringLiteral("%1 was not queued (%2)").arg(where, failure);
        if (m_fs->rename(claimed, path, fsError))
            text += QStringLiteral("; it stays for a later tick");
        else
            text +=
                QStringLiteral("; it could not get its name back (%1) and is left as %2: rename it to %3 to "
                               "import it")
                    .arg(fsError, QFileInfo(claimed).fileName(), name);
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

    if (!m_fs->remove(claimed, fsError)) {
        QString renameError;
        const QString done = freeName(folder, name, DoneSuffix);
        if (!done.isEmpty() && m_fs->rename(claimed, done, renameError))
            report.errors << QStringLiteral("%1 was queued but could not be deleted (%2); it is kept as %3")
                                 .arg(where, fsError, QFileInfo(done).fileName());
        else
            report.errors << QStringLiteral(
                                 "%1 was queued but could not be deleted (%2); it is left as %3 and "
                                 "will not be imported again")
                                 .arg(where, fsError, QFileInfo(claimed).fileName());
    }
    return Next::Continue;
}

ImportReport GetDataFromTxtFile(Store& store)
{
    return DropFileImporter(store, DropFormat::pipe()).run();
}

ImportReport GetDataFromTxtFile_TXT(Store& store)
{
    return DropFileImporter(store, DropFormat::comma()).run();
}

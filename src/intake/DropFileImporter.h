#pragma once

#include "common/Clock.h"
#include "intake/SendQueue.h"

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <chrono>
#include <optional>

class QFile;
class Store;

// One of the two drop-file formats: where its files lie, which names count,
// how fields are separated and the number a valid line must exceed.
struct DropFormat
{
    QString folder;     // under the program folder, found without regard to letter case
    QString pattern;    // file-name pattern, matched without regard to letter case
    QChar separator;    // field separator
    double numberBound; // a line's number must be greater than this
    QString routine;    // the import's name, used in error texts

    // Pipe drop files: SMSQ, "*.sms", "|", above 90,000,000.
    static const DropFormat& pipe();
    // Comma drop files: SMS, "M*.txt", ",", above 900,000,000.
    static const DropFormat& comma();
};

// What one import call did. Errors are one-line texts for the tick's trace.
struct ImportReport
{
    int filesImported = 0; // files whose valid lines are queued (then deleted or set aside)
    int filesDeferred = 0; // files left for a later tick: modified too recently
    int linesQueued = 0;
    int linesSkipped = 0; // invalid lines (empty text, number at or below the bound, NUL characters)
    QStringList errors;

    ImportReport& operator+=(const ImportReport& other);
};

// The file operations of the import; a test replaces them to make an open,
// a rename or a deletion fail.
class DropFileSystem
{
public:
    virtual ~DropFileSystem() = default;
    // Opens a file for reading; on failure sets error.
    virtual bool open(QFile& file, QString& error);
    // Renames without replacing an existing file; on failure sets error.
    virtual bool rename(const QString& from, const QString& to, QString& error);
    // The same for a file whose name is not valid UTF-8: from is its path as
    // the file system holds it, in bytes.
    virtual bool renameNative(const QByteArray& from, const QString& to, QString& error);
    virtual bool remove(const QString& path, QString& error);

    static DropFileSystem& standard();
};

// Imports the drop files of one folder into the send queue.
//
// Each call looks at the folder once and takes at most six files from that
// listing, first name first, each looked at again just before it is taken. Only ordinary files count:
// folders, hidden files (names beginning with a dot), symbolic links and special files are ignored. A file is
// first renamed to "<name>.importing", which no pattern matches, so that it can never be taken twice; its
// valid lines are then queued in one transaction, together with a row of the import journal that names the
// claimed file with its size and modification time. After the commit the file is deleted (or, when that
// fails, renamed to "<name>.imported") and its journal row goes. When the transaction fails the file gets its
// name back and waits for a later tick with nothing of it queued. A file modified less than a second ago is
// probably still being written and waits as well.
//
// A claimed file that is still there at the next call (the program was
// stopped in the middle, or a deletion failed) is finished first: deleted
// when the journal says its lines were committed, imported when it does not.
// A name that is not valid UTF-8 is read as Windows-1252 and the file is
// claimed under that name; a name too long to take the suffix is claimed
// under a shortened one.
class DropFileImporter
{
public:
    static constexpr int MaxFilesPerCall = 6;
    static constexpr qsizetype MaxLineLength = 64 * 1024; // characters; the rest of a longer line is dropped
    static constexpr qsizetype MaxNameBytes = 255;        // the longest file name, in bytes
    static constexpr std::chrono::milliseconds DefaultMinimumAge{1000};
    static inline const QString ClaimSuffix = QStringLiteral(".importing");
    static inline const QString DoneSuffix = QStringLiteral(".imported");
    // The import journal: one row per claimed file whose lines are queued.
    static inline const QString JournalTable = QStringLiteral("DropImport");

    // home: the program folder, which holds the drop folders.
    DropFileImporter(Store& store, const DropFormat& format, const QString& home);

    // Files younger than this are left for a later call (0 takes every file).
    void setMinimumAge(std::chrono::milliseconds age) { m_minimumAge = age; }
    // The clock against which a file's age is measured.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Not owned; nullptr restores the standard operations.
    void setFileSystem(DropFileSystem* fs) { m_fs = fs ? fs : &DropFileSystem::standard(); }

    const DropFormat& format() const { return m_format; }
    // The drop folder, or an empty text when it does not exist.
    QString folderPath() const;
    // True when the folder holds a matching ordinary file (of any age) or a
    // claimed file left by an earlier call.
    bool hasWork() const;
    // Whether a file name matches the format's pattern.
    bool matches(const QString& fileName) const;

    ImportReport run();

    // A line turned into a queue row; nothing when the line is not valid.
    static std::optional<QueueRecord> parseLine(const DropFormat& format, QStringView line);

private:
    enum class Next
    {
        Continue,
        StopFolder
    };
    struct Entry
    {
        QString name;         // as the import shows it
        QByteArray native;    // as the file system holds it
        bool foreign = false; // native is not valid UTF-8
        qint64 modified = 0;  // milliseconds since the epoch
    };
    class Journal;

    QList<Entry> listFolder(const QString& folder) const;
    bool stillThere(const QString& folder, Entry& entry) const;
    bool isClaimName(const QString& fileName) const;
    QString where(const QString& fileName) const;
    Next importFile(const QString& folder, const Entry& entry, Journal& journal, ImportReport& report);
    bool recoverClaimed(const QString& folder, const Entry& entry, Journal& journal, ImportReport& report);
    // file is open on the claimed file at path claimed; base is the name the
    // reports use, original the path to give back when nothing is queued
    // (empty: the file stays claimed).
    Next queueClaimed(QFile& file, const QString& claimed, const QString& base, const QString& original,
                      Journal& journal, ImportReport& report);
    QString freeName(const QString& folder, const QString& base, const QString& suffix) const;

    Store& m_store;
    DropFormat m_format;
    QString m_home;
    QRegularExpression m_pattern;
    std::chrono::milliseconds m_minimumAge = DefaultMinimumAge;
    Clock m_clock;
    DropFileSystem* m_fs;
};

// The two imports of a tick, on the program folder.
ImportReport GetDataFromTxtFile(Store& store, const QString& home);     // SMSQ, pipe drop files
ImportReport GetDataFromTxtFile_TXT(Store& store, const QString& home); // SMS, comma drop files

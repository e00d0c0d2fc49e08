#pragma once

#include <QString>
#include <QtGlobal>

// The message handler of both programs. Debian's Qt writes plain text to
// stderr and knows nothing of the journal, so this one does what a service
// needs: under systemd each line starts with its syslog priority ("<3>",
// "<4>", "<6>", "<7>"), elsewhere it is a plain line on stderr (never on
// stdout, which belongs to a command's output). The console, which has no
// terminal, also appends to a file rotated by size. Gateway passwords never
// reach a line: see redact().
namespace LogHandler {

struct Settings
{
    QString program;              // the prefix of plain lines, such as "smsctl"
    QString file;                 // also append here when not empty
    qint64 maxFileSize = 1 << 20; // bytes; the file is rotated before it grows past this
    int keptFiles = 3;            // rotated copies kept beside it (file.1 ... file.N)
};

void install(const Settings& settings);

// Whether stderr is connected to the journal: JOURNAL_STREAM names the
// device and inode of the stream systemd gave the service, which is only
// our stderr if nobody redirected it since.
bool stderrIsJournal();

// The line written for one message, without the newline. journal: with the
// syslog priority prefix instead of the program name.
QString formatLine(QtMsgType type, const char* category, const QString& message, const QString& program,
                   bool journal);

// A text with every registered secret, URL password and password-like query
// value ("password=", "pwd=", "pass=", "secret=", "token=", "key=")
// replaced by "***".
QString redact(const QString& text);

// Registers a secret (the loaded profile's password) that redact() hides
// wherever it appears, also percent-encoded. Empty and one-character texts
// are ignored: hiding them would mangle every line.
void addSecret(const QString& secret);

// Renames file to file.1, file.1 to file.2 ..., dropping the oldest, when
// file has reached maxSize. Returns whether it rotated.
bool rotate(const QString& file, qint64 maxSize, int keptFiles);

// The default log file of the console: smsengine.log in the per-user state
// folder ($XDG_STATE_HOME/smsengine, by default ~/.local/state/smsengine).
QString defaultConsoleLogFile();

} // namespace LogHandler

#include "common/LogHandler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace LogHandler {

namespace {
QMutex g_mutex;
Settings g_settings;
bool g_journal = false;

QSet<QString>& secrets()
{
    static QSet<QString> set;
    return set;
}

int priority(QtMsgType type)
{
    switch (type) {
    case QtFatalMsg:
        return 2;
    case QtCriticalMsg:
        return 3;
    case QtWarningMsg:
        return 4;
    case QtInfoMsg:
        return 6;
    case QtDebugMsg:
        break;
    }
    return 7;
}

const char* levelName(QtMsgType type)
{
    switch (type) {
    case QtFatalMsg:
        return "fatal";
    case QtCriticalMsg:
        return "error";
    case QtWarningMsg:
        return "warning";
    case QtInfoMsg:
        return "info";
    case QtDebugMsg:
        break;
    }
    return "debug";
}

// Qt's own messages come under "default" or "qt.*": the module name only
// helps for ours.
QString shortCategory(const char* category)
{
    const QString name = QString::fromLatin1(category ? category : "default");
    if (name == QStringLiteral("default"))
        return QString();
    if (name.startsWith(QStringLiteral("smsengine.")))
        return name.mid(10);
    return name;
}

void appendToFile(const QString& line)
{
    if (g_settings.file.isEmpty())
        return;
    rotate(g_settings.file, g_settings.maxFileSize, g_settings.keptFiles);
    QFile file(g_settings.file);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    file.write(QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + ' ' + line.toUtf8() + '\n');
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString text = redact(message);
    QMutexLocker lock(&g_mutex);
    const QString line = formatLine(type, context.category, text, g_settings.program, g_journal);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    appendToFile(formatLine(type, context.category, text, g_settings.program, false));
}
} // namespace

void install(const Settings& settings)
{
    {
        QMutexLocker lock(&g_mutex);
        g_settings = settings;
        g_journal = stderrIsJournal();
        if (!settings.file.isEmpty())
            QDir().mkpath(QFileInfo(settings.file).absolutePath());
    }
    qInstallMessageHandler(handler);
}

bool stderrIsJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const QList<QByteArray> parts = stream.split(':');
    if (parts.size() != 2)
        return false;
    struct stat st = {};
    if (::fstat(STDERR_FILENO, &st) != 0)
        return false;
    return parts[0].toULongLong() == static_cast<qulonglong>(st.st_dev) &&
           parts[1].toULongLong() == static_cast<qulonglong>(st.st_ino);
}

QString formatLine(QtMsgType type, const char* category, const QString& message, const QString& program,
                   bool journal)
{
    const QString module = shortCategory(category);
    const QString body = module.isEmpty() ? message : module + QStringLiteral(": ") + message;
    if (journal)
        return QStringLiteral("<%1>").arg(priority(type)) + body;
    QString line = program.isEmpty() ? QString() : program + QStringLiteral(": ");
    if (type != QtInfoMsg)
        line += QString::fromLatin1(levelName(type)) + QStringLiteral(": ");
    return line + body;
}

QString redact(const QString& text)
{
    static const QString hidden = QStringLiteral("***");
    QString result = text;
    {
        QMutexLocker lock(&g_mutex);
        for (const QString& secret : std::as_const(secrets())) {
            result.replace(secret, hidden);
            // As a URL carries it: encoded by the rules of URLs, or with every
            // sign encoded, as the gateway's URL encoding does.
            for (const QByteArray& encoded :
                 {QUrl::toPercentEncoding(secret), QUrl::toPercentEncoding(secret, QByteArray(), "-._~")})
                if (QString::fromLatin1(encoded) != secret)
                    result.replace(QString::fromLatin1(encoded), hidden, Qt::CaseInsensitive);
        }
    }
    // user:password@ in a URL
    static const QRegularExpression userInfo(QStringLiteral("(\\b[a-z][a-z0-9+.-]*://[^/\\s:@]*:)[^/\\s@]*@"),
                                             QRegularExpression::CaseInsensitiveOption);
    result.replace(userInfo, QStringLiteral("\\1***@"));
    // password-like parameters of a query or a connection string
    static const QRegularExpression parameter(
        QStringLiteral("(\\b[a-z_]*(?:password|passwd|pwd|pass|secret|token|key)\\s*=\\s*)[^&;\\s]*"),
        QRegularExpression::CaseInsensitiveOption);
    result.replace(parameter, QStringLiteral("\\1***"));
    return result;
}

void addSecret(const QString& secret)
{
    if (secret.size() < 2)
        return;
    QMutexLocker lock(&g_mutex);
    secrets().insert(secret);
}

bool rotate(const QString& file, qint64 maxSize, int keptFiles)
{
    const QFileInfo info(file);
    if (!info.exists() || info.size() < maxSize)
        return false;
    if (keptFiles < 1) {
        QFile::remove(file);
        return true;
    }
    QFile::remove(QStringLiteral("%1.%2").arg(file).arg(keptFiles));
    for (int n = keptFiles - 1; n >= 1; --n)
        QFile::rename(QStringLiteral("%1.%2").arg(file).arg(n), QStringLiteral("%1.%2").arg(file).arg(n + 1));
    QFile::rename(file, file + QStringLiteral(".1"));
    return true;
}

QString defaultConsoleLogFile()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/smsengine/smsengine.log");
}

} // namespace LogHandler

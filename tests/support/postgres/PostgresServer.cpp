#include "postgres/PostgresServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

namespace {
constexpr const char* ServerUser = "postgres";

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

int freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}
} // namespace

PostgresServer::PostgresServer(const QString& database) : m_database(database) {}

PostgresServer::~PostgresServer()
{
    stop();
}

QString PostgresServer::binDir()
{
    // Debian keeps the server tools per major version; take the newest.
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList majors = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(majors.begin(), majors.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& major : majors) {
        const QString bin = versions.filePath(major + QStringLiteral("/bin"));
        if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable() &&
            QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable())
            return bin;
    }
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    if (!initdb.isEmpty()) {
        const QString bin = QFileInfo(QFileInfo(initdb).canonicalFilePath()).absolutePath();
        if (QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable())
            return bin;
    }
    return QString();
}

bool PostgresServer::runTool(const QString& tool, const QStringList& args, bool asServerUser, QString* output,
                             int timeoutMs)
{
    QString program = QDir(binDir()).filePath(tool);
    QStringList arguments = args;
    if (asServerUser && runningAsRoot()) {
        arguments = QStringList{QStringLiteral("-u"), QString::fromLatin1(ServerUser), QStringLiteral("--"),
                                program} +
                    args;
        program = QStringLiteral("runuser");
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // The server and the tools must not pick up a caller's PG* settings.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys())
        if (key.startsWith(QStringLiteral("PG")))
            env.remove(key);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        m_error = QStringLiteral("%1 did not start: %2").arg(program, process.errorString());
        return false;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        m_error = QStringLiteral("%1 %2 did not finish").arg(tool, args.join(u' '));
        return false;
    }
    const QString text = QString::fromLocal8Bit(process.readAll());
    if (output)
        *output = text;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed (%2): %3").arg(tool).arg(process.exitCode()).arg(text.trimmed());
        return false;
    }
    return true;
}

bool PostgresServer::start()
{
    if (m_running)
        return true;
    m_error.clear();
    if (binDir().isEmpty()) {
        m_error = QStringLiteral("PostgreSQL is not installed");
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/smspg-XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder: %1").arg(m_dir->errorString());
        return false;
    }
    const QString root = m_dir->path();
    if (runningAsRoot()) {
        const passwd* pw = ::getpwnam(ServerUser);
        if (!pw) {
            m_error =
                QStringLiteral("there is no user %1 to run the server").arg(QString::fromLatin1(ServerUser));
            return false;
        }
        if (::chown(QFile::encodeName(root).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand %1 to the user postgres").arg(root);
            return false;
        }
    }
    const QString data = root + QStringLiteral("/data");
    if (!runTool(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("postgres"),
                  QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                  QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync")},
                 true))
        return false;

    // The port is free when probed but may be taken before the server binds
    // it (tests run in parallel): try a few.
    for (int attempt = 0; attempt < 5 && !m_running; ++attempt) {
        m_port = freeLoopbackPort();
        if (m_port == 0)
            continue;
        const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off "
                                               "-c full_page_writes=off")
                                    .arg(m_port)
                                    .arg(root);
        m_running = runTool(QStringLiteral("pg_ctl"),
                            {QStringLiteral("-D"), data, QStringLiteral("-l"), root + QStringLiteral("/log"),
                             QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30"),
                             QStringLiteral("-o"), options, QStringLiteral("start")},
                            true);
    }
    if (!m_running)
        return false;
    startReaper();
    if (!exec(QStringLiteral("create database %1").arg(m_database), QStringLiteral("postgres"))) {
        stop();
        return false;
    }
    return true;
}

void PostgresServer::startReaper()
{
    // A test that crashes or is killed never reaches the destructor: a small
    // detached watcher stops the server and removes its folder once this
    // process is gone.
    const QString root = m_dir->path();
    const QString pgctl = QDir(binDir()).filePath(QStringLiteral("pg_ctl"));
    const QString asServer = runningAsRoot() ? QStringLiteral("runuser -u postgres -- ") : QString();
    const QString script =
        QStringLiteral("exec </dev/null >/dev/null 2>&1; while kill -0 %1 2>/dev/null; do sleep 1; done; "
                       "if [ -d '%2/data' ]; then %3'%4' -D '%2/data' -m immediate -w stop; "
                       "rm -rf '%2'; fi")
            .arg(QCoreApplication::applicationPid())
            .arg(root, asServer, pgctl);
    QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"), script});
}

void PostgresServer::stop()
{
    if (m_running) {
        runTool(QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), m_dir->path() + QStringLiteral("/data"), QStringLiteral("-m"),
                 QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
                true);
        m_running = false;
    }
    m_dir.reset(); // removes the folder
}

QString PostgresServer::uri(const QString& database) const
{
    return QStringLiteral("postgresql://postgres@127.0.0.1:%1/%2")
        .arg(m_port)
        .arg(database.isEmpty() ? m_database : database);
}

bool PostgresServer::exec(const QString& sql, const QString& database)
{
    return runTool(QStringLiteral("psql"),
                   {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                    QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                    QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-U"),
                    QStringLiteral("postgres"), QStringLiteral("-d"),
                    database.isEmpty() ? m_database : database, QStringLiteral("-c"), sql},
                   false);
}

QString PostgresServer::queryText(const QString& sql, const QString& database)
{
    QString out;
    if (!runTool(QStringLiteral("psql"),
                 {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"),
                  QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"),
                  QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port),
                  QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-d"),
                  database.isEmpty() ? m_database : database, QStringLiteral("-c"), sql},
                 false, &out))
        return QString();
    return out.trimmed();
}

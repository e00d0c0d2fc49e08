#include "postgres/PostgresServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
bool runningAsRoot()
{
    return ::geteuid() == 0;
}

bool hasServerTools(const QString& bin)
{
    return QFileInfo(bin + u"/initdb"_s).isExecutable() && QFileInfo(bin + u"/pg_ctl"_s).isExecutable();
}
} // namespace

QString PostgresServer::binDir()
{
    // Debian keeps the server tools per major version; take the newest.
    QDir versions(u"/usr/lib/postgresql"_s);
    QStringList majors = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(majors.begin(), majors.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& major : majors)
        if (hasServerTools(versions.filePath(major + u"/bin"_s)))
            return versions.filePath(major + u"/bin"_s);
    return QString();
}

bool PostgresServer::runTool(const QString& tool, const QStringList& args, bool asServerUser, QString* output)
{
    QString program = QDir(binDir()).filePath(tool);
    QStringList arguments = args;
    if (asServerUser && runningAsRoot()) {
        arguments = QStringList{u"-u"_s, u"postgres"_s, u"--"_s, program} + args;
        program = u"runuser"_s;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // The server and the tools must not pick up a caller's PG* settings.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys())
        if (key.startsWith(u"PG"_s))
            env.remove(key);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        m_error = u"%1 did not start: %2"_s.arg(program, process.errorString());
        return false;
    }
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        m_error = u"%1 %2 did not finish"_s.arg(tool, args.join(u' '));
        return false;
    }
    const QString text = QString::fromLocal8Bit(process.readAll());
    if (output)
        *output = text;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = u"%1 failed (%2): %3"_s.arg(tool).arg(process.exitCode()).arg(text.trimmed());
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
        m_error = u"PostgreSQL is not installed"_s;
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + u"/smspg-XXXXXX"_s);
    const QString root = m_dir->path();
    if (!m_dir->isValid()) {
        m_error = u"cannot create a temporary folder: "_s + m_dir->errorString();
        return false;
    }
    if (runningAsRoot()) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw || ::chown(QFile::encodeName(root).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            m_error = u"cannot hand %1 to the user postgres"_s.arg(root);
            return false;
        }
    }
    const QString data = root + u"/data"_s;
    if (!runTool(u"initdb"_s,
                 {u"-D"_s, data, u"-U"_s, u"postgres"_s, u"-A"_s, u"trust"_s, u"-E"_s, u"UTF8"_s,
                  u"--locale=C.UTF-8"_s, u"--no-sync"_s},
                 true))
        return false;

    // The port is free when probed but may be taken before the server binds it (tests run in parallel).
    for (int attempt = 0; attempt < 5 && !m_running; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            continue;
        m_port = probe.serverPort();
        probe.close();
        const QString options =
            u"-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off"_s.arg(m_port)
                .arg(root);
        m_running = runTool(u"pg_ctl"_s,
                            {u"-D"_s, data, u"-l"_s, root + u"/log"_s, u"-w"_s, u"-t"_s, u"30"_s, u"-o"_s,
                             options, u"start"_s},
                            true);
    }
    if (!m_running)
        return false;

    // A test that crashes or is killed never reaches the destructor: a detached watcher stops the server
    // and removes its folder once this process is gone.
    const QString script =
        u"exec </dev/null >/dev/null 2>&1; while kill -0 %1 2>/dev/null; do sleep 1; done; "
        "if [ -d '%2/data' ]; then %3'%4' -D '%2/data' -m immediate -w stop; rm -rf '%2'; fi"_s
            .arg(QCoreApplication::applicationPid())
            .arg(root, runningAsRoot() ? u"runuser -u postgres -- "_s : QString(),
                 QDir(binDir()).filePath(u"pg_ctl"_s));
    QProcess::startDetached(u"sh"_s, {u"-c"_s, script});
    if (!exec(u"create database "_s + m_database, u"postgres"_s)) {
        stop();
        return false;
    }
    return true;
}

void PostgresServer::stop()
{
    if (m_running)
        runTool(u"pg_ctl"_s,
                {u"-D"_s, m_dir->path() + u"/data"_s, u"-m"_s, u"immediate"_s, u"-w"_s, u"stop"_s}, true);
    m_running = false;
    m_dir.reset();
}

QString PostgresServer::uri(const QString& database) const
{
    return u"postgresql://postgres@127.0.0.1:%1/%2"_s.arg(m_port).arg(database.isEmpty() ? m_database
                                                                                         : database);
}

bool PostgresServer::psql(const QString& sql, const QString& database, QString* output)
{
    return runTool(u"psql"_s,
                   {u"-X"_s, u"-q"_s, u"-A"_s, u"-t"_s, u"-v"_s, u"ON_ERROR_STOP=1"_s, u"-h"_s,
                    u"127.0.0.1"_s, u"-p"_s, QString::number(m_port), u"-U"_s, u"postgres"_s, u"-d"_s,
                    database.isEmpty() ? m_database : database, u"-c"_s, sql},
                   false, output);
}

bool PostgresServer::exec(const QString& sql, const QString& database)
{
    return psql(sql, database, nullptr);
}

QString PostgresServer::queryText(const QString& sql, const QString& database)
{
    QString out;
    return psql(sql, database, &out) ? out.trimmed() : QString();
}

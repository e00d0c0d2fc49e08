#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

// A throw-away PostgreSQL server for tests: initdb in a temporary folder,
// pg_ctl start on a free loopback port (as the user postgres when running as
// root, since initdb refuses root), one database created, and everything
// stopped and removed again by the destructor. Trust authentication: the URI
// carries no password.
class PostgresServer
{
public:
    explicit PostgresServer(const QString& database = QStringLiteral("smstest"));
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // The folder holding initdb, pg_ctl and psql; empty when PostgreSQL is
    // not installed.
    static QString binDir();

    // Starts the server and creates the database; false with error() set
    // when anything fails.
    bool start();
    bool isRunning() const { return m_running; }
    QString error() const { return m_error; }

    int port() const { return m_port; }
    QString database() const { return m_database; }
    // postgresql://postgres@127.0.0.1:PORT/DATABASE (the started database
    // when database is empty).
    QString uri(const QString& database = QString()) const;

    // Runs SQL through psql on the database (the started one when empty);
    // false with error() set when psql reports an error.
    bool exec(const QString& sql, const QString& database = QString());
    // The output of a query through psql (unaligned, tuples only), trimmed.
    QString queryText(const QString& sql, const QString& database = QString());

    void stop();

private:
    bool runTool(const QString& tool, const QStringList& args, bool asServerUser, QString* output = nullptr,
                 int timeoutMs = 60000);
    void startReaper();

    QString m_database;
    std::unique_ptr<QTemporaryDir> m_dir;
    int m_port = 0;
    bool m_running = false;
    QString m_error;
};

// Starts server in a QtTest function: without PostgreSQL the test fails when
// the environment variable CI is set and is skipped otherwise.
#define SMS_START_POSTGRES(server)                                                                           \
    do {                                                                                                     \
        if (PostgresServer::binDir().isEmpty()) {                                                            \
            if (!qEnvironmentVariableIsEmpty("CI"))                                                          \
                QFAIL("PostgreSQL is not installed (run scripts/setup.sh)");                                 \
            QSKIP("PostgreSQL is not installed");                                                            \
        }                                                                                                    \
        if (!(server).start())                                                                               \
            QFAIL(qPrintable(QStringLiteral("PostgreSQL did not start: ") + (server).error()));              \
    } while (false)

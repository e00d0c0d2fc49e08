#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

// A throw-away PostgreSQL server: initdb in a temporary folder (as the user postgres when running as
// root, since initdb refuses root), started on a free loopback port with trust authentication, one
// database created; stopped and removed by the destructor.
class PostgresServer
{
public:
    explicit PostgresServer(const QString& database = QStringLiteral("smstest")) : m_database(database) {}
    ~PostgresServer() { stop(); }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    static QString binDir(); // empty when PostgreSQL is not installed
    bool start();            // false with error() set when anything fails
    QString error() const { return m_error; }
    // postgresql://postgres@127.0.0.1:PORT/DATABASE, the started database when database is empty.
    QString uri(const QString& database = QString()) const;

    // Both run psql on the database (the started one when empty); exec is false with error() set when
    // psql reports an error, queryText gives the unaligned rows, trimmed.
    bool exec(const QString& sql, const QString& database = QString());
    QString queryText(const QString& sql, const QString& database = QString());

    void stop();

private:
    bool runTool(const QString& tool, const QStringList& args, bool asServerUser, QString* output = nullptr);
    bool psql(const QString& sql, const QString& database, QString* output);

    QString m_database;
    std::unique_ptr<QTemporaryDir> m_dir;
    int m_port = 0;
    bool m_running = false;
    QString m_error;
};

// Starts server in a QtTest function: without PostgreSQL the test fails when the environment variable CI
// is set and is skipped otherwise.
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

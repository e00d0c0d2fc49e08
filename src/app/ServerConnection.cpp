#include "app/ServerConnection.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QUrl>

namespace {
QString nextName()
{
    static QAtomicInt counter;
    return QStringLiteral("server-%1").arg(counter.fetchAndAddRelaxed(1));
}

bool isPostgresUri(const QString& consrt)
{
    const QString t = consrt.trimmed();
    return t.startsWith(QStringLiteral("postgresql://"), Qt::CaseInsensitive) ||
           t.startsWith(QStringLiteral("postgres://"), Qt::CaseInsensitive);
}
} // namespace

ServerConnection::ServerConnection() = default;
ServerConnection::~ServerConnection() = default;

bool ServerConnection::isOpen() const
{
    return m_store && m_store->db().isOpen();
}

void ServerConnection::close()
{
    m_store.reset();
    m_source.clear();
}

void ServerConnection::open(const QString& consrt)
{
    if (isOpen() && consrt == m_source)
        return;

    const QString name = nextName();
    Store::Dialect dialect;
    {
        QSqlDatabase db;
        if (isPostgresUri(consrt)) {
            const QUrl url(consrt.trimmed());
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(url.host());
            if (url.port() > 0)
                db.setPort(url.port());
            db.setDatabaseName(url.path().mid(1).isEmpty() ? QStringLiteral("SMS001") : url.path().mid(1));
            db.setUserName(url.userName().isEmpty() ? QStringLiteral("Telvora") : url.userName());
            db.setPassword(url.password().isEmpty() && url.userName().isEmpty() ? QStringLiteral("@502718364")
                                                                                : url.password());
            db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(LoginTimeoutSeconds));
            dialect = Store::Dialect::Postgres;
        } else {
            // "server", "server,port" or "server\instance", as a Data Source is written.
            QString server = consrt.trimmed();
            QString port;
            const int comma = server.indexOf(u',');
            if (comma > 0) {
                port = server.mid(comma + 1).trimmed();
                server = server.left(comma).trimmed();
            }
            QString cs = QStringLiteral("Driver={FreeTDS};Server=%1;%2Database=SMS001;UID=Telvora;PWD=@502718364;"
                                        "ClientCharset=UTF-8;")
                             .arg(server, port.isEmpty() ? QString() : QStringLiteral("Port=%1;").arg(port));
            db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
            db.setDatabaseName(cs);
            // Without a login time-out FreeTDS can wait for ever on a silent host.
            db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1")
                                     .arg(LoginTimeoutSeconds));
            dialect = Store::Dialect::SqlServer;
        }
        if (!db.open()) {
            const StoreError error = StoreError::fromSql(
                db.lastError(), QStringLiteral("Cannot connect to the server %1").arg(consrt.trimmed()));
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw error;
        }
    }
    m_store = std::make_unique<Store>(name, dialect);
    m_source = consrt;
}

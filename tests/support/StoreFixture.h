#pragma once

#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <memory>

// The one fixture of the tests: a program folder in a temporary directory with a local store of the
// full schema, wrapped in an engine context that runs in that folder on a fixed clock. Profiles,
// queue rows and ledger rows are added with chosen columns over complete defaults; rows are read back
// as maps keyed by lower-case column name.
class StoreFixture
{
public:
    static QDateTime fixedNow() { return QDateTime(QDate(2024, 3, 5), QTime(14, 5, 9)); }

    StoreFixture()
    {
        if (!m_dir.isValid())
            qFatal("no temporary folder");
        auto store = Store::openFile(path(QStringLiteral("SMS.db")), true);
        Schema::createMissingTables(*store);
        Schema::ensureIndexes(*store);
        m_context = std::make_unique<EngineContext>(std::move(store));
        m_context->setProgramFolder(home());
        m_context->clock().set(&StoreFixture::fixedNow);
    }
    virtual ~StoreFixture() = default;

    QString home() const { return m_dir.path(); }
    QString path(const QString& relative) const { return QDir(m_dir.path()).filePath(relative); }
    EngineContext& context() { return *m_context; }
    Store& store() { return m_context->store(); }

    // A complete, valid gateway profile row; `overrides` replaces single columns (an invalid
    // QVariant stores Null).
    static QVariantMap profileRow(const QString& user, const QVariantMap& overrides = {})
    {
        QVariantMap row{
            {QStringLiteral("UName"), user},
            {QStringLiteral("Password"), QStringLiteral("pw-") + user},
            {QStringLiteral("Provider"),
             QStringLiteral("http://127.0.0.1:9/send?u=<UName>&p=<PassWord>&to=<mobile>&m=<msg>")},
            {QStringLiteral("RepoStr"), QStringLiteral("http://127.0.0.1:9/report?id=<MassgeID>")},
            {QStringLiteral("balstr"), QStringLiteral("http://127.0.0.1:9/bal?u=<UName>&p=<PassWord>")},
            {QStringLiteral("GsmSid"), QStringLiteral("GSMID")},
            {QStringLiteral("CDMASid"), QStringLiteral("CDMAID")},
            {QStringLiteral("TmInterval"), 5000},
            {QStringLiteral("Smsid"), 100},
            {QStringLiteral("ConSrt"), QStringLiteral("C")},
            {QStringLiteral("Defult"), 0}};
        for (auto it = overrides.begin(); it != overrides.end(); ++it)
            row.insert(it.key(), it.value());
        return row;
    }

    void addProfile(const QString& user, const QVariantMap& overrides = {})
    {
        insert(QStringLiteral("config"), profileRow(user, overrides));
    }

    // Adds the default profile `user` and loads it, as start-up does.
    void loadDefaultProfile(const QString& user, const QVariantMap& overrides = {})
    {
        QVariantMap columns = overrides;
        columns.insert(QStringLiteral("Defult"), 1);
        addProfile(user, columns);
        m_context->loadProfile(QString());
        m_context->console().setText(ConsoleState::Field::UserName, user);
    }

    // Adds a queue row; returns its rowid.
    qint64 queue(const QString& mobile, const QString& msg, const QVariantMap& overrides = {})
    {
        QVariantMap row{{QStringLiteral("Mobile"), mobile},
                        {QStringLiteral("msg"), msg},
                        {QStringLiteral("RDtTM"), QStringLiteral("0501245140309")},
                        {QStringLiteral("urgent"), 0},
                        {QStringLiteral("typ"), 0}};
        for (auto it = overrides.begin(); it != overrides.end(); ++it)
            row.insert(it.key(), it.value());
        insert(QStringLiteral("Rsms"), row);
        return store().scalar(QStringLiteral("SELECT max(rowid) FROM Rsms")).toLongLong();
    }

    // Adds a ledger row as the sent ledger writes it, with chosen columns over the defaults.
    void ledger(const QString& mobile, const QVariantMap& overrides = {})
    {
        QVariantMap row{{QStringLiteral("Mobile"), mobile},
                        {QStringLiteral("msg"), QStringLiteral("text")},
                        {QStringLiteral("RDtTM"), QStringLiteral("0501245140309")},
                        {QStringLiteral("SDTTm"), QStringLiteral("2024-03-01 10:00:00")},
                        {QStringLiteral("typ"), 0},
                        {QStringLiteral("Status"), QStringLiteral("P")},
                        {QStringLiteral("Try"), 0}};
        for (auto it = overrides.begin(); it != overrides.end(); ++it)
            row.insert(it.key(), it.value());
        insert(QStringLiteral("sms"), row);
    }

    void insert(const QString& table, const QVariantMap& values)
    {
        QStringList marks;
        QVariantList params;
        for (auto it = values.begin(); it != values.end(); ++it) {
            marks << QStringLiteral("?");
            params << it.value();
        }
        store().exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(table, values.keys().join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                     params);
    }

    // Every row of a query, columns keyed by lower-case name.
    QList<QVariantMap> rows(const QString& sql, const QVariantList& params = {})
    {
        QList<QVariantMap> out;
        QSqlQuery q = store().query(sql, params);
        while (q.next()) {
            QVariantMap row;
            const QSqlRecord r = q.record();
            for (int i = 0; i < r.count(); ++i)
                row.insert(r.fieldName(i).toLower(), r.value(i));
            out << row;
        }
        return out;
    }
    QList<QVariantMap> queued() { return rows(QStringLiteral("SELECT * FROM Rsms ORDER BY rowid")); }
    QList<QVariantMap> ledgerRows() { return rows(QStringLiteral("SELECT * FROM sms ORDER BY rowid")); }

    // The first column of a query, Null shown as "<null>".
    QStringList column(const QString& sql, const QVariantList& params = {})
    {
        QStringList out;
        QSqlQuery q = store().query(sql, params);
        while (q.next())
            out << (q.value(0).isNull() ? QStringLiteral("<null>") : q.value(0).toString());
        return out;
    }

    int count(const QString& table)
    {
        return store().scalar(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
    }

    // Writes a file under the program folder (parent folders made); returns its path.
    QString writeFile(const QString& relative, const QByteArray& bytes)
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file));
        return file;
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<EngineContext> m_context;
};

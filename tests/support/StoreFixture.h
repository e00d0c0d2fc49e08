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

using namespace Qt::StringLiterals;

// The one fixture of the tests: a program folder in a temporary directory with a local store of the
// full schema, in an engine context on a fixed clock. Rows are added as complete defaults with chosen
// columns overridden (an invalid QVariant stores Null) and read back keyed by lower-case column name.
class StoreFixture
{
public:
    static QDateTime fixedNow() { return QDateTime(QDate(2024, 3, 5), QTime(14, 5, 9)); }

    StoreFixture()
    {
        if (!m_dir.isValid())
            qFatal("no temporary folder");
        auto store = Store::openFile(path(u"SMS.db"_s), true);
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

    static QVariantMap profileRow(const QString& user, const QVariantMap& overrides = {})
    {
        return merged(
            {{u"UName"_s, user},
             {u"Password"_s, u"pw-"_s + user},
             {u"Provider"_s, u"http://127.0.0.1:9/send?u=<UName>&p=<PassWord>&to=<mobile>&m=<msg>"_s},
             {u"RepoStr"_s, u"http://127.0.0.1:9/report?id=<MassgeID>"_s},
             {u"balstr"_s, u"http://127.0.0.1:9/bal?u=<UName>&p=<PassWord>"_s},
             {u"GsmSid"_s, u"GSMID"_s},
             {u"CDMASid"_s, u"CDMAID"_s},
             {u"TmInterval"_s, 5000},
             {u"Smsid"_s, 100},
             {u"ConSrt"_s, u"C"_s},
             {u"Defult"_s, 0}},
            overrides);
    }

    void addProfile(const QString& user, const QVariantMap& overrides = {})
    {
        insert(u"config"_s, profileRow(user, overrides));
    }

    // Adds the default profile `user` and loads it, as start-up does.
    void loadDefaultProfile(const QString& user, const QVariantMap& overrides = {})
    {
        addProfile(user, merged(overrides, {{u"Defult"_s, 1}}));
        m_context->loadProfile(QString());
        m_context->console().setText(ConsoleState::Field::UserName, user);
    }

    // Returns the rowid of the new queue row.
    qint64 queue(const QString& mobile, const QString& msg, const QVariantMap& overrides = {})
    {
        insert(u"Rsms"_s, merged({{u"Mobile"_s, mobile},
                                  {u"msg"_s, msg},
                                  {u"RDtTM"_s, u"0501245140309"_s},
                                  {u"urgent"_s, 0},
                                  {u"typ"_s, 0}},
                                 overrides));
        return store().scalar(u"SELECT max(rowid) FROM Rsms"_s).toLongLong();
    }

    void ledger(const QString& mobile, const QVariantMap& overrides = {})
    {
        insert(u"sms"_s, merged({{u"Mobile"_s, mobile},
                                 {u"msg"_s, u"text"_s},
                                 {u"RDtTM"_s, u"0501245140309"_s},
                                 {u"SDTTm"_s, u"2024-03-01 10:00:00"_s},
                                 {u"typ"_s, 0},
                                 {u"Status"_s, u"P"_s},
                                 {u"Try"_s, 0}},
                                overrides));
    }

    void insert(const QString& table, const QVariantMap& values)
    {
        const QStringList marks(values.size(), u"?"_s);
        store().exec(
            u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table, values.keys().join(u','), marks.join(u',')),
            values.values());
    }

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
    QList<QVariantMap> queued() { return rows(u"SELECT * FROM Rsms ORDER BY rowid"_s); }
    QList<QVariantMap> ledgerRows() { return rows(u"SELECT * FROM sms ORDER BY rowid"_s); }

    // The first column of a query, Null shown as "<null>".
    QStringList column(const QString& sql, const QVariantList& params = {})
    {
        QStringList out;
        QSqlQuery q = store().query(sql, params);
        while (q.next())
            out << (q.value(0).isNull() ? u"<null>"_s : q.value(0).toString());
        return out;
    }

    int count(const QString& table) { return store().scalar(u"SELECT count(*) FROM "_s + table).toInt(); }

    // Parent folders are made; returns the file's path.
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
    static QVariantMap merged(QVariantMap row, const QVariantMap& overrides)
    {
        row.insert(overrides);
        return row;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<EngineContext> m_context;
};

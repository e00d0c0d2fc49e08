#pragma once

#include "core/Schema.h"
#include "core/Store.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariantMap>
#include <memory>

// Helpers shared by the tests of the core and the programs: stores in temporary folders and
// config rows with chosen values (an invalid QVariant is stored as Null).
namespace CoreTest {

inline std::unique_ptr<Store> createStore(const QString& folder)
{
    auto store = Store::openFile(QDir(folder).filePath(QStringLiteral("SMS.db")), true);
    Schema::createMissingTables(*store);
    return store;
}

// A complete, valid profile row; callers override single columns.
inline QVariantMap profileRow(const QString& user, bool isDefault = false)
{
    return {{QStringLiteral("UName"), user},
            {QStringLiteral("Password"), QStringLiteral("pw-") + user},
            {QStringLiteral("Provider"),
             QStringLiteral("http://gw.example/send?u=<UName>&p=<PassWord>&to=<mobile>&m=<msg>")},
            {QStringLiteral("RepoStr"), QStringLiteral("http://gw.example/report?id=<MassgeID>")},
            {QStringLiteral("balstr"), QStringLiteral("http://gw.example/bal?u=<UName>&p=<PassWord>")},
            {QStringLiteral("GsmSid"), QStringLiteral("GSM-") + user},
            {QStringLiteral("CDMASid"), QStringLiteral("CDMA-") + user},
            {QStringLiteral("TmInterval"), 5000},
            {QStringLiteral("Smsid"), 17},
            {QStringLiteral("ConSrt"), QStringLiteral("C")},
            {QStringLiteral("Defult"), isDefault ? 1 : 0}};
}

inline void insertRow(Store& store, const QString& table, const QVariantMap& values)
{
    QStringList marks;
    QVariantList params;
    for (auto it = values.begin(); it != values.end(); ++it) {
        marks << QStringLiteral("?");
        params << it.value();
    }
    store.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                   .arg(table, values.keys().join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
               params);
}

inline void insertProfile(Store& store, const QVariantMap& values)
{
    insertRow(store, QStringLiteral("config"), values);
}

// Column names of a table, lower-cased, in table order.
inline QStringList columns(Store& store, const QString& table)
{
    QStringList names;
    QSqlQuery q = store.query(QStringLiteral("SELECT name FROM pragma_table_info(?)"), {table});
    while (q.next())
        names << q.value(0).toString().toLower();
    return names;
}

inline QStringList lower(const QStringList& list)
{
    QStringList out;
    for (const QString& s : list)
        out << s.toLower();
    return out;
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

} // namespace CoreTest

#pragma once

#include "core/Schema.h"
#include "core/Store.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// A fresh local store with the full schema, in its own temporary folder.
struct TempStore
{
    QTemporaryDir dir;
    std::unique_ptr<Store> store;

    TempStore()
    {
        if (!dir.isValid())
            qFatal("no temporary folder");
        store = Store::openFile(QDir(dir.path()).filePath(QStringLiteral("SMS.db")), true);
        Schema::createMissingTables(*store);
    }

    QString home() const { return dir.path(); }

    int rsmsCount() { return store->scalar(QStringLiteral("select count(*) from Rsms")).toInt(); }

    struct Row
    {
        QString mobile, msg, rdttm;
        QVariant urgent, typ;
    };
    QList<Row> rows()
    {
        QList<Row> out;
        QSqlQuery q =
            store->query(QStringLiteral("select Mobile, msg, RDtTM, urgent, typ from Rsms order by rowid"));
        while (q.next())
            out.append(Row{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3),
                           q.value(4)});
        return out;
    }
};

inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

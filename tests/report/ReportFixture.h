#pragma once

#include "core/Schema.h"
#include "core/Store.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// A fresh store in a temporary folder with the full schema and its indexes.
struct ReportStore
{
    QTemporaryDir dir;
    std::unique_ptr<Store> store;

    ReportStore()
    {
        store = Store::openFile(dir.filePath(QStringLiteral("SMS.db")), true);
        Schema::createMissingTables(*store);
        Schema::ensureIndexes(*store);
    }

    void queue(const QString& mobile, const QString& msg, const QVariant& stamp)
    {
        store->exec(
            QStringLiteral("insert into Rsms (Mobile, msg, RDtTM, urgent, typ) values (?, ?, ?, 0, 0)"),
            {mobile, msg, stamp});
    }

    void ledger(const QString& mobile, const QString& msg, const QString& sent, const QString& status,
                const QVariant& reply = QVariant(), const QVariant& stamp = QStringLiteral("011226335100000"),
                const QVariant& extra1 = QVariant())
    {
        store->exec(
            QStringLiteral("insert into sms (Mobile, msg, RDtTM, SDTTm, typ, Status, Reply, Try, Extra1) "
                           "values (?, ?, ?, ?, 0, ?, ?, 0, ?)"),
            {mobile, msg, stamp, sent, status, reply, extra1});
    }

    // One column of a table, in rowid order.
    QStringList column(const QString& sql)
    {
        QStringList out;
        QSqlQuery q = store->query(sql);
        while (q.next())
            out << (q.value(0).isNull() ? QStringLiteral("<null>") : q.value(0).toString());
        return out;
    }
};

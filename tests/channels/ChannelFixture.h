#pragma once

#include "channels/QueueCursor.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

// A local store in a temporary folder with the full schema, one gateway
// profile "acme" loaded into an engine context, and the console's user name
// set to it. Queue rows are added with queue(); the ledger read with ledger().
class ChannelFixture
{
public:
    explicit ChannelFixture(qint32 counter = 1234, const QString& userName = QStringLiteral("acme"))
    {
        auto store = Store::openFile(m_dir.filePath(QStringLiteral("SMS.db")), true);
        Schema::createMissingTables(*store);
        context = std::make_unique<EngineContext>(std::move(store));
        context->store().exec(
            QStringLiteral("INSERT INTO config (UName, Password, Provider, Smsid, ConSrt, Defult) "
                           "VALUES (?, 'pw', 'http://x/', ?, 'C', 1)"),
            {userName, counter});
        context->store().exec(
            QStringLiteral("INSERT INTO config (UName, Password, Provider, Smsid, ConSrt, Defult) "
                           "VALUES ('other', 'pw', 'http://x/', 77, 'C', 0)"));
        ProfileState& p = context->profile();
        p.userName = userName;
        p.password = QStringLiteral("pw");
        p.smsId = counter;
        p.httpGateway = true;
        p.gsmSid = QStringLiteral("GSMID");
        p.cdmaSid = QStringLiteral("CDMAID");
        context->console().setText(ConsoleState::Field::UserName, userName);
    }

    Store& store() { return context->store(); }
    ConsoleState& console() { return context->console(); }

    // Adds a queue row and returns a cursor standing on it.
    QueueCursor queue(const QString& mobile, const QString& msg,
                      const QVariant& rdtTm = QStringLiteral("31012024101500"), const QVariant& typ = 3,
                      int urgent = 0)
    {
        store().exec(
            QStringLiteral("INSERT INTO Rsms (Mobile, msg, RDtTM, urgent, typ) VALUES (?, ?, ?, ?, ?)"),
            {mobile, msg, rdtTm, urgent, typ});
        const qint64 rowid = store().scalar(QStringLiteral("SELECT max(rowid) FROM Rsms")).toLongLong();
        return QueueCursor::onLocalRow(rowid, mobile, msg, rdtTm, typ);
    }

    int count(const QString& table)
    {
        return store().scalar(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
    }

    // Every ledger row, columns by name.
    QList<QVariantMap> ledger()
    {
        QList<QVariantMap> rows;
        QSqlQuery q = store().query(QStringLiteral("SELECT * FROM sms ORDER BY rowid"));
        while (q.next()) {
            QVariantMap row;
            const QSqlRecord r = q.record();
            for (int i = 0; i < r.count(); ++i)
                row.insert(r.fieldName(i).toLower(), r.value(i));
            rows << row;
        }
        return rows;
    }

    qint32 storedCounter(const QString& userName = QStringLiteral("acme"))
    {
        return store().scalar(QStringLiteral("SELECT Smsid FROM config WHERE UName = ?"), {userName}).toInt();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<EngineContext> context;
};

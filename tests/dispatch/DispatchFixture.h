#pragma once

// A program folder for dispatch tests: a store with the full schema, three
// gateway profiles (the default "acme" and "acme2" share a send URL
// template, "other" has its own), the default one loaded, an engine on a
// fixed clock with short HTTP time-outs, and helpers to queue messages, drop
// files and ledger rows.

#include "TaskWait.h"
#include "channels/DeliveryChannels.h"
#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"
#include "dispatch/Engine.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

#include <chrono>
#include <memory>

class DispatchFixture
{
public:
    static QDateTime fixedNow() { return QDateTime(QDate(2024, 3, 5), QTime(14, 5, 9)); }

    // base: the gateway's "http://host:port"; consrt: the profile's ConSrt.
    explicit DispatchFixture(const QString& base, const QString& consrt = QStringLiteral("C"))
    {
        auto s = Store::openFile(dir.filePath(QStringLiteral("SMS.db")), true);
        Schema::createMissingTables(*s);
        Schema::ensureIndexes(*s);
        sendUrl = base + QStringLiteral("/send?u=<UName>&p=<PassWord>&to=<mobile>&msg=<msg>");
        const QString insert = QStringLiteral(
            "insert into config (UName, Password, Provider, RepoStr, balstr, GsmSid, CDMASid, TmInterval, "
            "Smsid, ConSrt, Defult) values (?,?,?,?,?,?,?,?,?,?,?)");
        s->exec(insert, {QStringLiteral("acme"), QStringLiteral("pw"), sendUrl,
                         base + QStringLiteral("/report?id=<MassgeID>"),
                         base + QStringLiteral("/balance?u=<UName>&p=<PassWord>"), QStringLiteral("GSMID"),
                         QStringLiteral("CDMAID"), 1000, 5000, consrt, 1});
        s->exec(insert, {QStringLiteral("acme2"), QStringLiteral("pw2"), sendUrl, QString(), QString(),
                         QString(), QString(), 1000, 10, QStringLiteral("C"), 0});
        s->exec(insert, {QStringLiteral("other"), QStringLiteral("po"), QStringLiteral("http://10.1.1.1/s"),
                         QString(), QString(), QString(), QString(), 1000, 20, QStringLiteral("C"), 0});
        context = std::make_unique<EngineContext>(std::move(s));
        context->setProgramFolder(dir.path());
        context->clock().set(&DispatchFixture::fixedNow);
        context->loadProfile(QString());
        context->console().setText(ConsoleState::Field::UserName, QStringLiteral("acme"));
        engine = std::make_unique<Engine>(*context);
        engine->setReportHost(QStringLiteral("127.0.0.1"));
        engine->channels().http().setTimeout(std::chrono::milliseconds(2000));
    }

    ~DispatchFixture()
    {
        engine.reset();
        context.reset();
    }

    Store& store() { return context->store(); }
    ConsoleState& console() { return context->console(); }
    QString text(ConsoleState::Field f) { return console().text(f); }
    QString trace() { return text(ConsoleState::Field::Trace); }

    const TickOutcome& tick()
    {
        TaskWait::run(engine->runTick());
        return engine->lastOutcome();
    }

    void queue(const QString& mobile, const QString& msg, int urgent = 0)
    {
        store().exec(QStringLiteral("insert into Rsms (Mobile, msg, RDtTM, urgent, typ) values (?,?,?,?,?)"),
                     {mobile, msg, QStringLiteral("0501245140309"), urgent, 0});
    }

    // A ledger row as the sent ledger writes it; try_ may be Null.
    void ledgerRow(const QString& mobile, const QVariant& ans, const QString& status, const QVariant& try_,
                   const QString& sdttm = QStringLiteral("2024-03-01 10:00:00"))
    {
        store().exec(
            QStringLiteral("insert into sms (Mobile, msg, RDtTM, SDTTm, typ, ANS, Status, Try, Uname) "
                           "values (?, 'text', '', ?, 0, ?, ?, ?, 'acme')"),
            {mobile, sdttm, ans, status, try_});
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
    QList<QVariantMap> ledger() { return rows(QStringLiteral("select * from sms order by rowid")); }
    QList<QVariantMap> queued() { return rows(QStringLiteral("select * from Rsms order by rowid")); }
    QVariantMap ledgerByMobile(const QString& mobile)
    {
        const auto r = rows(QStringLiteral("select * from sms where Mobile = ?"), {mobile});
        return r.isEmpty() ? QVariantMap() : r.first();
    }

    // A pipe drop file in SMSQ, dated an hour back so that the import takes it.
    QString dropFile(const QString& name, const QByteArray& content)
    {
        QDir(dir.path()).mkpath(QStringLiteral("SMSQ"));
        const QString path = dir.filePath(QStringLiteral("SMSQ/") + name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(content);
        f.close();
        QFile touch(path);
        touch.open(QIODevice::ReadWrite);
        touch.setFileTime(fixedNow().addSecs(-3600), QFileDevice::FileModificationTime);
        touch.close();
        return path;
    }

    // A loopback port on which nothing listens.
    static int closedPort()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        return server.serverPort();
    }

    QTemporaryDir dir;
    QString sendUrl;
    std::unique_ptr<EngineContext> context;
    std::unique_ptr<Engine> engine;
};

// Server mode against one PostgreSQL server: the connection, claiming and marking SendSMS rows, the tick
// sending them, and several smsctl engines sharing the queue.

#include "StoreFixture.h"
#include "TaskWait.h"
#include "channels/ModemDevicePath.h"
#include "channels/QueueCursor.h"
#include "channels/SentLedger.h"
#include "channels/ServerQueueClaim.h"
#include "core/ServerQueueSchema.h"
#include "dispatch/Engine.h"
#include "fleet/EngineFleet.h"
#include "modem/ModemSim.h"
#include "postgres/PostgresServer.h"

#include <QHostAddress>
#include <QSqlDatabase>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

namespace {
const QString kSendSmsTable = "CREATE TABLE SendSMS (autono serial PRIMARY KEY, MobileNo text, SmsText text, "
                              "status text, Piority integer, sdt timestamp)";

int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString unsentCount(Store& server)
{
    return server.scalar("SELECT count(*) FROM SendSMS WHERE status <> 'Y'").toString();
}
} // namespace

class ServerModeTest : public QObject
{
    Q_OBJECT
    PostgresServer m_pg;
    ServerConnection m_watch; // the test's own view of SendSMS while engines run
    Store& watch()
    {
        if (!m_watch.isOpen())
            m_watch.open(m_pg.uri());
        return *m_watch.store();
    }
    // Waits (generously: the machine may be busy) until SendSMS holds no row left to send.
    bool waitUntilNothingToSend(int seconds)
    {
        for (int waited = 0; waited < seconds * 5; ++waited) {
            try {
                if (watch()
                        .scalar("SELECT count(*) FROM SendSMS WHERE status <> 'Y' AND (status <> 'N' OR "
                                "FailReason IS NULL)")
                        .toInt() == 0)
                    return true;
            } catch (const StoreError&) {
                // The engines have not added the claim columns yet.
            }
            QTest::qWait(200);
        }
        return false;
    }
    // A fresh SendSMS without the claim columns, as other programs create it.
    bool emptyQueue() { return m_pg.exec("DROP TABLE IF EXISTS SendSMS; " + kSendSmsTable); }
    QString server(const QString& sql) { return m_pg.queryText(sql); }
    // The status of each SendSMS row, "+" where it has a sent time.
    QString sendSms()
    {
        return server(
            "SELECT coalesce(status, 'NULL') || CASE WHEN sdt IS NULL THEN '' ELSE '+' END FROM SendSMS "
            "ORDER BY autono");
    }
    // A program folder whose default profile "acme" names the server; "other" is a second profile.
    std::unique_ptr<StoreFixture> serverFixture(qint32 counter = 1234)
    {
        auto f = std::make_unique<StoreFixture>();
        f->addProfile("other");
        f->loadDefaultProfile("acme",
                              {{"ConSrt", m_pg.uri()}, {"Smsid", counter}, {"RepoStr", {}}, {"balstr", {}}});
        return f;
    }

private Q_SLOTS:
    void cleanupTestCase()
    {
        m_watch.close();
        m_pg.stop();
    }
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // the claim settings' defaults, not the user's own
        SMS_START_POSTGRES(m_pg);
        QVERIFY2(m_pg.exec("create database smsother", "postgres"), qPrintable(m_pg.error()));
        QVERIFY2(m_pg.exec(kSendSmsTable, "smsother"), qPrintable(m_pg.error()));
    }

    void init()
    {
        // Autono 4 comes first (Piority 1), then 3 and 5; 1 is sent and 2 (Null status) is never picked.
        QVERIFY2(m_pg.exec("DROP TABLE IF EXISTS SendSMS; " + kSendSmsTable +
                           "; INSERT INTO SendSMS (MobileNo, SmsText, status, Piority) VALUES "
                           "('111', 'already sent', 'Y', 0), ('222', 'never picked', NULL, 0), "
                           "('555-123', 'second', 'N', 5), (' 55512-34567', 'first', '', 1), "
                           "('9876500005', 'third', 'x', 9);"),
                 qPrintable(m_pg.error()));
    }

    void openKeepsOrReplacesTheConnection()
    {
        ServerConnection server;
        server.open(m_pg.uri());
        QVERIFY(server.isOpen());
        Store* first = server.store();
        QCOMPARE(first->dialect(), Store::Dialect::Postgres);
        // Values are bound on the server too, quotes and all.
        const QString text = "it's \"quoted\"";
        first->exec("UPDATE SendSMS SET SmsText = ? WHERE MobileNo = ?", {text, "111"});
        QCOMPARE(this->server("SELECT SmsText FROM SendSMS WHERE MobileNo = '111'"), text);

        const QString name = first->connectionName();
        server.open(m_pg.uri());
        QCOMPARE(server.store(), first);
        QCOMPARE(server.store()->connectionName(), name);

        server.open(m_pg.uri("smsother"));
        QVERIFY(server.isOpen());
        QCOMPARE(server.source(), m_pg.uri("smsother"));
        QCOMPARE(unsentCount(*server.store()), u"0"_s);
        QVERIFY(!QSqlDatabase::connectionNames().contains(name));
    }

    void failedOpenKeepsTheOldState_data()
    {
        QTest::addColumn<QString>("target"); // %1: a port on which nothing listens, or one that never answers
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("opened"); // a connection was open before
        QTest::addColumn<QString>("expectedText");
        const QString pg = u"postgresql://postgres@127.0.0.1:%1/smstest"_s, mssql = u"127.0.0.1,%1"_s;
        QTest::newRow("database that does not exist")
            << m_pg.uri("smsmissing") << false << true << u"smsmissing"_s;
        QTest::newRow("nothing listening on the port") << pg << false << true << u"127.0.0.1"_s;
        QTest::newRow("not a usable URI") << u"postgresql://"_s << false << true << u"not a valid"_s;
        QTest::newRow("an option that is not plain")
            << m_pg.uri() + "?options=-c%20x%3Dy" << false << true << u"not accepted"_s;
        QTest::newRow("SQL Server, nothing listening: at once")
            << mssql << false << false << u"unavailable"_s;
        QTest::newRow("SQL Server, silent: at the login time-out")
            << mssql << true << false << u"127.0.0.1"_s;
        QTest::newRow("PostgreSQL, silent: at the login time-out") << pg << true << false << u"127.0.0.1"_s;
    }
    void failedOpenKeepsTheOldState()
    {
        QFETCH(QString, target);
        QFETCH(bool, silent);
        QFETCH(bool, opened);
        QFETCH(QString, expectedText);
        QTcpServer listener;
        if (silent)
            QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
        if (target.contains("%1"))
            target = target.arg(silent ? listener.serverPort() : closedPort());
        ServerConnection server;
        server.setLoginTimeout(2);
        if (opened)
            server.open(m_pg.uri());
        Store* before = server.store();
        try {
            server.open(target);
            QFAIL("opened");
        } catch (const StoreError& e) {
            QVERIFY2(e.text().contains(expectedText), qPrintable(e.text()));
            QVERIFY2(e.text().startsWith("Cannot connect to the server"), qPrintable(e.text()));
            QVERIFY2(silent || opened || e.text().contains(target), qPrintable(e.text()));
        }
        QCOMPARE(server.isOpen(), opened);
        QCOMPARE(server.store(), before);
        if (opened) {
            QCOMPARE(server.source(), m_pg.uri());
            QCOMPARE(unsentCount(*server.store()), u"3"_s);
        }
    }

    void profileLoadOpensServerMode()
    {
        StoreFixture f;
        f.addProfile("srv", {{"Defult", 1}, {"ConSrt", m_pg.uri()}});
        f.addProfile("gw", {{"ConSrt", " c "}});
        f.addProfile("broken", {{"ConSrt", m_pg.uri("smsmissing")}});
        ProfileState& state = f.context().profile();
        ServerConnection& server = f.context().server();
        state.httpGateway = true;
        f.context().loadProfile(QString());
        QVERIFY(server.isOpen());
        QVERIFY(!state.httpGateway); // a server name is not "C"
        Store* opened = server.store();

        // The default again: the same server, the connection is kept.
        f.context().loadProfile(QString());
        QCOMPARE(server.store(), opened);

        // A profile without a server name leaves server mode as it is.
        f.context().loadProfile("gw");
        QCOMPARE(state.userName, u"gw"_s);
        QVERIFY(state.httpGateway);
        QCOMPARE(server.store(), opened);

        // A server that fails: the profile state and the connection stay.
        QVERIFY_THROWS_EXCEPTION(StoreError, f.context().loadProfile("broken"));
        QCOMPARE(state.userName, u"gw"_s);
        QCOMPARE(server.store(), opened);
        QVERIFY(server.isOpen());
    }

    void savingMarksTheServerRow_data()
    {
        QTest::addColumn<int>("counter");
        QTest::addColumn<bool>("closeServer");
        QTest::addColumn<int>("storedAfter");
        QTest::addColumn<QString>("trace");
        const int largest = std::numeric_limits<qint32>::max();
        QTest::newRow("counter advances") << 1234 << false << 1235 << "Save Data\r\nSave Data\r\n";
        QTest::newRow("counter at its largest value")
            << largest << false << largest
            << "Save Data\r\nCounter at its largest value: not advanced\r\nSave Data\r\n";
        QTest::newRow("server connection closed: nothing marked") << 1234 << true << 1234 << "Save Data\r\n";
    }

    void savingMarksTheServerRow()
    {
        QFETCH(int, counter);
        QFETCH(bool, closeServer);
        QFETCH(int, storedAfter);
        QFETCH(QString, trace);
        auto f = serverFixture(counter);
        f->queue("local", "local queue untouched");
        const ServerQueueClaim claim("this engine", {});
        QueueCursor cursor = claim.claim(*f->context().server().store());
        QVERIFY(cursor.isServer());
        QCOMPARE(cursor.key(), 4);
        QCOMPARE(cursor.mobile(), u" 55512-34567"_s);
        QCOMPARE(cursor.msg(), u"first"_s);
        SentLedger ledger(f->context());
        if (closeServer) {
            f->context().server().close();
            QVERIFY_THROWS_EXCEPTION(StoreError, ledger.saveSentSms(cursor, QString()));
            QVERIFY(cursor.isOpen());
        } else {
            ledger.saveSentSms(cursor, QString());
            QVERIFY(!cursor.isOpen());
            ledger.saveSentSms(cursor, QString()); // the cursor is spent: nothing more is marked
        }
        QCOMPARE(sendSms(), QString("Y\nNULL\nN\n%1\nx").arg(closeServer ? "" : "Y+"));
        // Marked rows are nobody's; an unmarked one stays claimed until its lease ends.
        QCOMPARE(
            server("SELECT count(*) FROM SendSMS WHERE ClaimEngine IS NOT NULL OR ClaimTime IS NOT NULL"),
            closeServer ? "1" : "0");
        QCOMPARE(f->count("sms"), 0);
        QCOMPARE(f->count("Rsms"), 1);
        QCOMPARE(f->column("SELECT Smsid FROM config ORDER BY rowid"),
                 QStringList({"100", QString::number(storedAfter)}));
        QCOMPARE(f->context().profile().smsId, closeServer ? counter : storedAfter);
        QCOMPARE(f->context().console().text(ConsoleState::Field::Trace), trace);
    }

    void tickSendsFromSendSms_data()
    {
        QTest::addColumn<QString>("modemMode");
        QTest::addColumn<QStringList>("ticks"); // the outcome of each tick and the number tried
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("statuses"); // of SendSMS afterwards
        QTest::addColumn<int>("counter");
        QTest::newRow("sent by Piority and marked; a Null status is never picked")
            << "ok" << QStringList{"sent  55512-34567", "sent 555-123", "sent 9876500005", "idle "}
            << QStringList{" to 5551234567: first", " to 555123: second", " to 9876500005: third"}
            << "Y\nNULL\nY+\nY+\nY+" << 1237;
        QTest::newRow("a failed send defers the row: the next one goes first")
            << "error" << QStringList{"not sent  55512-34567", "not sent 555-123"} << QStringList{}
            << "Y\nNULL\nN\n\nx" << 1234;
    }

    void tickSendsFromSendSms()
    {
        QFETCH(QString, modemMode);
        QFETCH(QStringList, ticks);
        QFETCH(QStringList, messages);
        QFETCH(QString, statuses);
        QFETCH(int, counter);
        // The engine sends through the modem: ConSrt names the server, so the HTTP gateway is off.
        ModemSim modem;
        QVERIFY2(modem.start({"--echo", "off", "--mode", modemMode}), qPrintable(modem.errorString()));
        qputenv(ModemDevicePath::EnvironmentVariable, modem.device().toLocal8Bit());
        auto f = serverFixture();
        f->context().console().setChannel(ConsoleState::Channel::Gsm);
        f->queue("9876511111", "local one");
        f->queue("9876522222", "local two");
        Engine engine(f->context());
        QStringList outcomes;
        const QStringList kinds{"idle ", "sent ", "not sent ",
                                "failed "}; // in the order of TickOutcome::Kind
        for (qsizetype i = 0; i < ticks.size(); ++i) {
            TaskWait::run(engine.runTick());
            outcomes << kinds.value(int(engine.lastOutcome().kind)) + engine.lastOutcome().mobile;
        }
        qunsetenv(ModemDevicePath::EnvironmentVariable);
        QCOMPARE(outcomes, ticks);
        QCOMPARE(sendSms(), statuses);
        QCOMPARE(modem.received().count("AT+CMGS"), qsizetype(ticks.filter("sent").size()));
        const QStringList sent = modem.messages();
        QCOMPARE(sent.size(), messages.size());
        for (qsizetype i = 0; i < sent.size(); ++i)
            QVERIFY2(sent[i].endsWith(messages[i]), qPrintable(sent[i]));
        // The local queue and the ledger are not used for sending in server mode.
        QCOMPARE(f->column("SELECT Mobile FROM Rsms ORDER BY rowid"),
                 QStringList({"9876511111", "9876522222"}));
        QCOMPARE(f->count("sms"), 0);
        QCOMPARE(f->column("SELECT Smsid FROM config WHERE UName = 'acme'"),
                 QStringList{QString::number(counter)});
    }
    void claimStatementsByDialect_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        QTest::addColumn<int>("placeholders");
        using D = Store::Dialect;
        const QStringList postgresOnly{"LIMIT", "RETURNING", "make_interval", "CURRENT_TIMESTAMP",
                                       "SKIP LOCKED"};
        QTest::newRow("PostgreSQL claim")
            << ServerQueueClaim::claimStatement(D::Postgres)
            << QStringList{"FOR UPDATE SKIP LOCKED", "LIMIT 1", "ORDER BY Piority, autono",
                           "RETURNING SendSMS.autono",
                           "ClaimTime < CURRENT_TIMESTAMP - make_interval(secs => ?)"}
            << QStringList{"UPDLOCK", "GETDATE"} << 2;
        QTest::newRow("SQL Server claim")
            << ServerQueueClaim::claimStatement(D::SqlServer)
            << QStringList{"FROM SendSMS WITH (UPDLOCK, READPAST, ROWLOCK)",
                           "SELECT TOP (1)",
                           "ORDER BY Piority, autono",
                           "UPDATE pick SET ClaimEngine = ?, ClaimTime = GETDATE()",
                           "OUTPUT inserted.autono, inserted.MobileNo AS mobile, inserted.SmsText AS msg",
                           "ClaimTime < DATEADD(second, -?, GETDATE())",
                           "RetryAfter <= GETDATE()"}
            << postgresOnly << 2;
        QTest::newRow("SQL Server defer")
            << ServerQueueClaim::deferStatement(D::SqlServer)
            << QStringList{"RetryAfter = DATEADD(millisecond, ?, GETDATE())", "AND ClaimEngine = ?"}
            << postgresOnly << 4;
        QTest::newRow("SQL Server marks sent and clears the claim")
            << SentLedger::serverUpdate(D::SqlServer)
            << QStringList{"sdt = Getdate()", "ClaimEngine = NULL, ClaimTime = NULL, RetryAfter = NULL"}
            << postgresOnly << 1;
        QTest::newRow("SQL Server columns")
            << ServerQueueSchema::columnDefinitions(D::SqlServer).join(", ")
            << QStringList{"ClaimEngine nvarchar(255), ClaimTime datetime, FailCount integer, "
                           "RetryAfter datetime, FailReason nvarchar(255)"}
            << QStringList{"timestamptz"} << 0;
        QTest::newRow("PostgreSQL columns")
            << ServerQueueSchema::columnDefinitions(D::Postgres).join(", ")
            << QStringList{"ClaimEngine varchar(255), ClaimTime timestamptz, FailCount integer, "
                           "RetryAfter timestamptz, FailReason varchar(255)"}
            << QStringList{"datetime"} << 0;
    }
    void claimStatementsByDialect()
    {
        QFETCH(QString, statement);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QFETCH(int, placeholders);
        for (const QString& text : present)
            QVERIFY2(statement.contains(text), qPrintable(text + " not in " + statement));
        for (const QString& text : absent)
            QVERIFY2(!statement.contains(text, Qt::CaseInsensitive), qPrintable(text + " in " + statement));
        QCOMPARE(statement.count(u'?'), placeholders);
    }

    void openingAddsTheClaimColumnsOnce()
    {
        ServerConnection server;
        server.open(m_pg.uri());
        // What other programs insert keeps working: the new columns start Null.
        QVERIFY2(
            m_pg.exec("INSERT INTO SendSMS (MobileNo, SmsText, status, Piority) VALUES ('1', 'new', '', 0)"),
            qPrintable(m_pg.error()));
        QCOMPARE(
            this->server("SELECT count(*) FROM SendSMS WHERE ClaimEngine IS NULL AND ClaimTime IS NULL AND "
                         "FailCount IS NULL AND RetryAfter IS NULL AND FailReason IS NULL"),
            u"6"_s);
        QCOMPARE(ServerQueueSchema::ensureColumns(*server.store()), QStringList());
        QVERIFY2(emptyQueue(), qPrintable(m_pg.error()));
        QCOMPARE(ServerQueueSchema::ensureColumns(*server.store()),
                 QStringList({"ClaimEngine", "ClaimTime", "FailCount", "RetryAfter", "FailReason"}));
    }

    void claimTakesTheFirstFreeRow_data()
    {
        QTest::addColumn<QString>("before"); // run on the server before the claim
        QTest::addColumn<int>("claimed");    // autono, 0: none
        QTest::addColumn<int>("failures");
        const QString held = "UPDATE SendSMS SET ClaimEngine = 'other', ClaimTime = CURRENT_TIMESTAMP";
        QTest::newRow("nothing claimed: smallest Piority") << "" << 4 << 0;
        QTest::newRow("claimed by another engine: the next") << held + " WHERE autono = 4" << 3 << 0;
        QTest::newRow("a claim older than the lease is free again")
            << held + " - interval '181 seconds' WHERE autono = 4" << 4 << 0;
        QTest::newRow("deferred: not before its time") << "UPDATE SendSMS SET RetryAfter = CURRENT_TIMESTAMP "
                                                          "+ interval '1 hour', FailCount = 2 WHERE autono "
                                                          "= 4"
                                                       << 3 << 0;
        QTest::newRow("deferral over: its failures come along")
            << "UPDATE SendSMS SET RetryAfter = CURRENT_TIMESTAMP - interval '1 second', FailCount = 2 WHERE "
               "autono = 4"
            << 4 << 2;
        QTest::newRow("given up: never again")
            << "UPDATE SendSMS SET status = 'N', FailReason = 'Error' WHERE "
               "autono = 4"
            << 3 << 0;
        QTest::newRow("equal Piority: autono decides") << "UPDATE SendSMS SET Piority = 1" << 3 << 0;
        QTest::newRow("every row held: nothing") << held << 0 << 0;
    }
    void claimTakesTheFirstFreeRow()
    {
        QFETCH(QString, before);
        QFETCH(int, claimed);
        QFETCH(int, failures);
        auto f = serverFixture();
        if (!before.isEmpty())
            QVERIFY2(m_pg.exec(before), qPrintable(m_pg.error()));
        const ServerQueueClaim claim("this engine", {});
        const QueueCursor cursor = claim.claim(*f->context().server().store());
        QCOMPARE(cursor.isOpen(), claimed != 0);
        QCOMPARE(cursor.key(), claimed);
        QCOMPARE(cursor.failures(), failures);
        QCOMPARE(
            server("SELECT autono FROM SendSMS WHERE ClaimEngine = 'this engine' AND ClaimTime IS NOT NULL"),
            claimed ? QString::number(claimed) : QString());
        // Held now: a second engine gets another row (or none).
        const QueueCursor second =
            ServerQueueClaim("second engine", {}).claim(*f->context().server().store());
        QVERIFY(!second.isOpen() || second.key() != claimed);
    }

    void failedSendReleasesDefersOrGivesUp_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("failuresBefore");
        QTest::addColumn<bool>("takenOver"); // the lease ran out and another engine claimed the row
        QTest::addColumn<int>("outcome");    // ServerQueueClaim::AfterFailure
        QTest::addColumn<QString>("row");    // status|FailCount|FailReason|ClaimEngine|retry
        using A = ServerQueueClaim::AfterFailure;
        QTest::newRow("modem error: deferred for the retry delay")
            << "Error" << 0 << false << int(A::Deferred) << "|1|-|-|within 60 s";
        QTest::newRow("third failure: deferred three times as long")
            << "Error" << 2 << false << int(A::Deferred) << "|3|-|-|after 60 s";
        QTest::newRow("tenth failure: given up with the answer")
            << "Error\r\n"
            << 9 << false << int(A::GivenUp) << "N|10|Error|-|none";
        QTest::newRow("no answer: released, nothing counted")
            << "" << 2 << false << int(A::Released) << "|2|-|-|none";
        QTest::newRow("taken over: left to the new holder")
            << "Error" << 0 << true << int(A::Lost) << "|-|-|other|none";
    }
    void failedSendReleasesDefersOrGivesUp()
    {
        QFETCH(QString, answer);
        QFETCH(int, failuresBefore);
        QFETCH(bool, takenOver);
        QFETCH(int, outcome);
        QFETCH(QString, row);
        auto f = serverFixture();
        QVERIFY(m_pg.exec(
            QString("UPDATE SendSMS SET FailCount = %1 WHERE autono = 4 AND %1 > 0").arg(failuresBefore)));
        const ServerQueueClaim claim("this engine", {});
        QueueCursor cursor = claim.claim(*f->context().server().store());
        QCOMPARE(cursor.key(), 4);
        if (takenOver)
            QVERIFY(m_pg.exec("UPDATE SendSMS SET ClaimEngine = 'other' WHERE autono = 4"));
        ServerQueueClaim::AfterFailure what{};
        const QString note = claim.afterFailedSend(f->context().server(), cursor, answer, &what);
        QVERIFY(!cursor.isOpen());
        QCOMPARE(int(what), outcome);
        QVERIFY2(note.startsWith("SendSMS row 4 "), qPrintable(note));
        QCOMPARE(
            server(
                "SELECT status || '|' || coalesce(FailCount::text, '-') || '|' || coalesce(FailReason, '-') "
                "|| '|' || coalesce(ClaimEngine, '-') || '|' || CASE WHEN RetryAfter IS NULL THEN 'none' "
                "WHEN RetryAfter < CURRENT_TIMESTAMP + interval '60 seconds' THEN 'within 60 s' ELSE "
                "'after 60 s' END FROM SendSMS WHERE autono = 4"),
            row);
    }

    void fourEnginesSendEachRowOnce()
    {
        QVERIFY2(emptyQueue(), qPrintable(m_pg.error()));
        EngineFleet fleet(m_pg);
        QVERIFY(fleet.setClaimSettings(180, 10, 30));
        for (int i = 0; i < 4; ++i)
            QVERIFY2(fleet.add(), qPrintable(fleet.error()));
        QVERIFY2(fleet.queue(1, 2000), qPrintable(fleet.error()));
        QVERIFY2(fleet.startAll(), qPrintable(fleet.error()));
        const bool done = waitUntilNothingToSend(150);
        fleet.stopAll();
        QVERIFY2(done, qPrintable(fleet.output(0).right(3000)));

        QStringList all;
        for (int i = 0; i < 4; ++i) {
            const QStringList texts = fleet.sentTexts(i);
            // Shared: every engine did at least a quarter of an even share.
            QVERIFY2(texts.size() >= 2000 / 4 / 4,
                     qPrintable(QString("engine %1 sent %2").arg(i).arg(texts.size())));
            all << texts;
        }
        QCOMPARE(all.size(), 2000);
        all.removeDuplicates();
        QCOMPARE(all.size(), 2000);
        QCOMPARE(
            server(
                "SELECT count(*) FROM SendSMS WHERE status = 'Y' AND sdt IS NOT NULL AND ClaimEngine IS NULL "
                "AND FailCount IS NULL"),
            u"2000"_s);
    }

    void killedEnginesRowIsSentAfterItsLease()
    {
        QVERIFY2(emptyQueue(), qPrintable(m_pg.error()));
        EngineFleet fleet(m_pg);
        QVERIFY(fleet.setClaimSettings(3, 10, 30));
        // The engine to be killed answers slowly, so that it dies holding a claim.
        QVERIFY2(fleet.add({"--delay", "1500"}), qPrintable(fleet.error()));
        QVERIFY2(fleet.add(), qPrintable(fleet.error()));
        QVERIFY2(fleet.queue(1, 100), qPrintable(fleet.error()));
        QVERIFY2(fleet.start(0), qPrintable(fleet.error()));
        QVERIFY2(QTest::qWaitFor([&] { return fleet.modem(0).received().contains("AT+CMGS"); }, 30000),
                 qPrintable(fleet.output(0)));
        fleet.kill(0);
        const QVariant held = watch().scalar(
            "SELECT SmsText FROM SendSMS WHERE ClaimEngine = ? AND status <> 'Y'", {fleet.engineId(0)});
        QVERIFY2(!held.isNull(), qPrintable(fleet.output(0)));

        QVERIFY2(fleet.start(1), qPrintable(fleet.error()));
        const bool done = waitUntilNothingToSend(90);
        fleet.stopAll();
        QVERIFY2(done, qPrintable(fleet.output(1).right(3000)));
        const QStringList killed = fleet.sentTexts(0), survivor = fleet.sentTexts(1);
        QVERIFY2(survivor.contains(held.toString()), qPrintable(held.toString()));
        QStringList all = killed + survivor;
        QVERIFY2(all.size() <= 101, qPrintable(all.join(", "))); // at most the one it was sending twice
        all.removeDuplicates();
        QCOMPARE(all.size(), 100);
        QCOMPARE(server("SELECT count(*) FROM SendSMS WHERE status = 'Y' AND sdt IS NOT NULL"), u"100"_s);
    }

    void failingRowIsGivenUpWhileTheOthersGo()
    {
        QVERIFY2(emptyQueue(), qPrintable(m_pg.error()));
        EngineFleet fleet(m_pg);
        QVERIFY(fleet.setClaimSettings(180, 4, 0.3));
        QVERIFY2(fleet.add({"--refuse", "9000000000"}), qPrintable(fleet.error()));
        // First in the queue, and refused by the modem at every try.
        QVERIFY(m_pg.exec("INSERT INTO SendSMS (MobileNo, SmsText, status, Piority) VALUES ('9000000000', "
                          "'refused', '', -1)"));
        QVERIFY2(fleet.queue(1, 100), qPrintable(fleet.error()));
        QVERIFY2(fleet.start(0), qPrintable(fleet.error()));
        const bool done = waitUntilNothingToSend(90);
        fleet.stopAll();
        const QString out = fleet.output(0);
        QVERIFY2(done, qPrintable(out.right(3000)));

        QCOMPARE(
            server(
                "SELECT status || '|' || FailCount || '|' || FailReason || '|' || coalesce(ClaimEngine, '-') "
                "|| '|' || coalesce(sdt::text, '-') FROM SendSMS WHERE Piority = -1"),
            u"N|4|Error|-|-"_s);
        QCOMPARE(server("SELECT count(*) FROM SendSMS WHERE status = 'Y'"), u"100"_s);
        const QStringList sent = fleet.sentTexts(0);
        QCOMPARE(sent.size(), 100);
        QVERIFY(!sent.contains("refused"));
        QVERIFY2(out.contains("as engine " + fleet.engineId(0) +
                              "; a claim lasts 180 s, a row is given up after 4 "
                              "failed sends"),
                 qPrintable(out.left(1000)));
        QVERIFY2(out.contains("given up after 4 failed sends: status N"), qPrintable(out.right(3000)));
        // The modem saw the refused number four times, with other messages between the first two tries.
        const QByteArray modemLog = fleet.modem(0).received();
        const QByteArray refused = "AT+CMGS=\"9000000000\"";
        QCOMPARE(modemLog.count(refused), 4);
        const qsizetype first = modemLog.indexOf(refused), second = modemLog.indexOf(refused, first + 1);
        QVERIFY2(modemLog.mid(first + 1, second - first).contains("AT+CMGS=\"9000000"), modemLog.constData());
    }
};

QTEST_GUILESS_MAIN(ServerModeTest)
#include "tst_servermode.moc"

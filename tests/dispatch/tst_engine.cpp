// The tick through the gateway simulator, the report poll, the operator's actions on an offscreen console.

#include "ScriptedPrompt.h"
#include "StoreFixture.h"
#include "TaskWait.h"
#include "channels/ChannelError.h"
#include "channels/DeliveryChannels.h"
#include "channels/QueueCursor.h"
#include "common/TextNumbers.h"
#include "console/ConsoleActions.h"
#include "console/ConsoleWindow.h"
#include "core/Schema.h"
#include "dispatch/Engine.h"
#include "dispatch/OperatorActions.h"
#include "dispatch/ReportPoll.h"
#include "gateway/GatewaySim.h"
#include "intake/SendQueue.h"

#include <QFile>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>
#include <QWidget>

#include <functional>

using namespace Qt::StringLiterals;
using Field = ConsoleState::Field;
using Flag = ConsoleState::Flag;
using Kind = TickOutcome::Kind;
using Outcome = ReportPoll::Outcome;

namespace {
const QString SendingTrace = u"1 2 \r\nSelect Record \r\nSms Fire-1 \r\n Fire Http \r\n"_s;
const QString SentTrace = SendingTrace + "Save Data\r\nAdd Record\r\nSave End\r\nSend Sms Ok\r\nBal\r\n";
const QString kLedger = u"SELECT "
                        u"Mobile||'|'||msg||'|'||ANS||'|'||Status||'|'||Try||'|'||SDTTm||'|'||"
                        u"coalesce(Reply, '-') FROM sms"_s;

QString errorTrace(const TickOutcome& o)
{
    return "Error\r\n" + TextNumbers::withLeadingBlank(o.errorNumber) + o.errorText;
}

// A URL on a loopback port on which nothing listens.
QString refusingUrl(const QString& path)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return u"http://127.0.0.1:%1"_s.arg(server.serverPort()) + path;
}

struct HookedPrompt : ScriptedPrompt
{
    std::function<void()> duringQuestion; // runs while the question is open
    Answer question(QWidget* parent, const QString& title, const QString& text) override
    {
        if (duringQuestion)
            duringQuestion();
        return ScriptedPrompt::question(parent, title, text);
    }
};
} // namespace

class TestEngine : public QObject
{
    Q_OBJECT
    std::unique_ptr<GatewaySim> m_sim;
    std::unique_ptr<StoreFixture> m_f;
    std::unique_ptr<Engine> m_engine;
    std::unique_ptr<HookedPrompt> m_prompt;
    std::unique_ptr<ConsoleWindow> m_form;
    ConsoleActions* m_actions = nullptr;

    const TickOutcome& tick()
    {
        TaskWait::run(m_engine->runTick());
        return m_engine->lastOutcome();
    }
    ConsoleState& console() { return m_f->context().console(); }
    QString text(Field field) { return console().text(field); }
    ProfileState& profile() { return m_f->context().profile(); }
    QString counts() { return u"%1/%2"_s.arg(m_f->count("sms")).arg(m_f->count("Rsms")); } // ledger/queue
    QStringList urls()
    {
        QStringList out;
        for (const QJsonObject& r : m_sim->requests())
            out << r.value("url").toString();
        return out;
    }
    QStringList texts(const QList<Field>& fields)
    {
        QStringList out;
        for (Field field : fields)
            out << text(field);
        return out;
    }
    // A pipe drop file in SMSQ, modified `age` seconds before now.
    QString dropFile(const QByteArray& content, int age)
    {
        const QString path = m_f->writeFile("SMSQ/ORDER.SMS", content);
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite) ||
            !file.setFileTime(StoreFixture::fixedNow().addSecs(-age), QFileDevice::FileModificationTime))
            qFatal("cannot date %s", qPrintable(path));
        return path;
    }

    // The report poll alone, with a scripted gateway.
    ReportPoll m_poll;
    QStringList m_asked;              // the message ids asked for, in order
    QMap<QString, QString> m_answers; // by message id; any other id is "pending"
    bool m_gatewayDown = false;

    QCoro::Task<QString> fetch(QString url)
    {
        const QString id = url.section("id=", 1);
        m_asked << id;
        if (m_gatewayDown)
            throw ChannelError(500, "HTTP 500");
        co_return m_answers.value(id, "pending");
    }
    Outcome poll()
    {
        return TaskWait::run(m_poll.poll(m_f->store(), "http://gw/report?id=<MassgeID>",
                                         [this](QString url) { return fetch(url); }));
    }
    void pending(const QString& mobile, const QVariant& id, const QVariant& tries,
                 const QVariantMap& more = {})
    {
        QVariantMap columns = more;
        columns.insert("ANS", id);
        columns.insert("Try", tries);
        m_f->ledger(mobile, columns);
    }
    QStringList ledger()
    {
        return m_f->column(
            "SELECT Status || '|' || coalesce(Try, 'Null') || '|' || coalesce(Reply, 'Null') FROM sms "
            "ORDER BY Mobile");
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sim = std::make_unique<GatewaySim>(); // answers a send with the number: a success marker
        QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->errorString()));
    }
    // "acme" (counter 5000) sends, asks for reports and balance at the simulator, which reports.
    void init()
    {
        QVERIFY(m_sim->control("reset"));
        m_f = std::make_unique<StoreFixture>();
        const QString base = m_sim->baseUrl();
        m_f->loadDefaultProfile("acme",
                                {{"Provider", base + "/send?u=<UName>&p=<PassWord>&to=<mobile>&msg=<msg>"},
                                 {"RepoStr", base + "/report?id=<MassgeID>"},
                                 {"balstr", base + "/balance?u=<UName>&p=<PassWord>"},
                                 {"Smsid", 5000}});
        m_engine = std::make_unique<Engine>(m_f->context());
        m_engine->setReportHost("127.0.0.1");
        m_engine->channels().http().setTimeout(std::chrono::milliseconds(2000));
        m_prompt = std::make_unique<HookedPrompt>();
        ConsoleOptions options;
        options.settingsFile = m_f->path("console.ini");
        options.tray = ConsoleTray::Availability::Unavailable;
        m_form = std::make_unique<ConsoleWindow>(m_f->context(), *m_engine, options);
        m_actions = new ConsoleActions(*m_form, *m_engine);
        m_poll = ReportPoll();
        m_asked.clear();
        m_answers.clear();
        m_gatewayDown = false;
    }
    void cleanup()
    {
        if (m_engine) // a failed check may leave a tick running
            TaskWait::run(m_engine->waitUntilIdle());
        m_form.reset();
        m_prompt.reset();
        m_engine.reset();
        m_f.reset();
    }

    void pendingCountShownAfterEveryPath_data()
    {
        // How the queue was filled before one sending tick, and the count the console shows after it.
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("shown");
        QTest::newRow("drop file of three lines") << "drop" << 2;
        QTest::newRow("single-message screen") << "screen" << 1;
        QTest::newRow("another program straight into Rsms") << "other" << 2;
        QTest::newRow("operator deleted a number's messages") << "delete" << 0;
        QTest::newRow("a row without text is not counted") << "nulltext" << 1;
    }
    void pendingCountShownAfterEveryPath()
    {
        QFETCH(QString, path);
        QFETCH(int, shown);
        const QueueRecord record{" 9876543210", "hello", "05012024140309", 0, 0};
        if (path == "drop") {
            dropFile("9876543210|a|0|0|0\r\n9876543211|b|0|0|0\r\n9876543212|c|0|0|0\r\n", 3600);
        } else if (path == "screen") {
            SendQueue::enqueueAll(m_f->store(), {record, record});
        } else if (path == "other") {
            auto other = Store::openFile(m_f->store().path(), false);
            for (const char* m : {"1", "2", "3"})
                other->exec("INSERT INTO Rsms (Mobile, msg, urgent) VALUES (' 9876543210', ?, 0)", {m});
        } else if (path == "delete") {
            SendQueue::enqueueAll(m_f->store(), {record, record, QueueRecord{" 9123456789", "x", "", 0, 0}});
            OperatorActions actions(*m_engine);
            QCOMPARE(TaskWait::run(actions.deleteNumber(" 9876543210")), 2);
        } else if (path == "nulltext") {
            SendQueue::enqueueAll(m_f->store(), {record, record});
            m_f->store().exec("INSERT INTO Rsms (Mobile, msg, urgent) VALUES (' 9876543210', NULL, 9)");
        }
        QCOMPARE(tick().kind, TickOutcome::Kind::Sent);
        QCOMPARE(text(Field::Status), u"Pending SMS : %1"_s.arg(shown));
        QCOMPARE(m_f->store().scalar("select count(msg) from Rsms").toInt(), shown);
    }
    void tickStatementsReadIndexesOnly_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("index");
        QTest::newRow("queue pick") << QueueCursor::LocalPickSql << "ix_rsms_pick";
        QTest::newRow("report pick, ascending") << ReportPoll::pickSql(false) << "ix_sms_poll_asked";
        QTest::newRow("report pick, descending") << ReportPoll::pickSql(true) << "ix_sms_poll_asked";
        QTest::newRow("report give-up") << ReportPoll::GiveUpSql << "ix_sms_poll";
        QTest::newRow("report answer") << "update sms set Try = Try + 1, Reply = ? where ANS = ?"
                                       << "ix_sms_ans";
    }
    void tickStatementsReadIndexesOnly()
    {
        QFETCH(QString, sql);
        QFETCH(QString, index);
        // A ledger full of rows the poll cannot ask for (no message id) must not be walked.
        m_f->store().exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 500) "
                          "insert into sms (Mobile, Status, Try, ANS) select i, 'P', 0, null from n");
        m_f->store().exec("ANALYZE");
        QSqlQuery q = m_f->store().query("EXPLAIN QUERY PLAN " + sql, QVariantList(sql.count(u'?'), 1));
        QString plan;
        while (q.next())
            plan += q.value(3).toString() + u'\n';
        QVERIFY2(plan.contains(u"INDEX "_s + index), qPrintable(plan));
        // A scan along the index stops at its first entry; a scan of the table or a sort would not.
        QVERIFY2(!plan.contains(QRegularExpression("SCAN \\w+\n")) && !plan.contains("TEMP B-TREE"),
                 qPrintable(plan));
    }
    void dropFileSentAndDelivered()
    {
        const QString file = dropFile("98765-43210|Hello world & more|0|0501245140309|0\r\n", 3600);

        QCOMPARE(tick().kind, Kind::Sent);
        QVERIFY(!QFile::exists(file));
        QCOMPARE(m_f->count("Rsms"), 0);
        QCOMPARE(urls(), (QStringList{"/send?u=acme&p=pw-acme&to=9876543210&msg=Hello+world+%26+more",
                                      "/balance?u=acme&p=pw-acme"}));
        QCOMPARE(m_sim->requests().at(0).value("query").toObject().value("msg").toString(),
                 "Hello world & more");
        QCOMPARE(m_f->column(kLedger), QStringList{" 9876543210|Hello world & "
                                                   "more|9876543210|P|0|2024-03-05 14:05:09|-"});
        QCOMPARE(text(Field::Trace), SentTrace + "Bal OK\r\n");
        QCOMPARE(texts({Field::Status, Field::Title, Field::Balance, Field::Response, Field::Mobile}),
                 (QStringList{"Pending SMS : 0", "14:05:09", "Balance: 1000", "9876543210", "9876543210"}));
        QVERIFY(console().flag(Flag::DeleteVisible));
        QVERIFY(!console().flag(Flag::RecheckVisible));
        QCOMPARE(profile().smsId, 5001);

        const TickOutcome& idle = tick();
        QCOMPARE(idle.kind, Kind::Idle);
        QVERIFY(idle.reportPolled);
        QCOMPARE(idle.report, Outcome::Delivered);
        QCOMPARE(urls().value(2), "/report?id=9876543210");
        QCOMPARE(m_f->column(kLedger), QStringList{" 9876543210|Hello world & "
                                                   "more|9876543210|Y|0|2024-03-05 14:05:09|DELIVRD"});
        QCOMPARE(texts({Field::Trace, Field::Status, Field::Mobile, Field::Message}),
                 (QStringList{"1 2 \r\n", "No SMS in Queue 14:05:09", "", ""}));
        QVERIFY(!console().flag(Flag::DeleteVisible));
        QVERIFY(console().flag(Flag::RecheckVisible));

        QCOMPARE(tick().report, Outcome::NoPendingRow);
        QCOMPARE(urls().size(), 3);
    }

    void idleTickWithoutReportPolling()
    {
        m_f->ledger("9876500001", {{"ANS", "1"}});
        console().setText(Field::Balance, "old balance");
        console().setText(Field::Title, "old title");
        m_engine->setReportHost("10.20.30.40"); // another gateway reports
        const TickOutcome& o = tick();
        QCOMPARE(o.kind, Kind::Idle);
        QVERIFY(!o.reportPolled);
        QCOMPARE(texts({Field::Trace, Field::Status, Field::Balance, Field::Title}),
                 (QStringList{"1 2 \r\n", "No SMS in Queue 14:05:09", "old balance", "old title"}));
        QCOMPARE(m_sim->count(), 0);
        QCOMPARE(m_f->column("SELECT Status FROM sms"), QStringList{"P"});
    }

    void freshDropFileWaits()
    {
        // Left for a later tick while its writer may still write it; said so, or "until idle" stops early.
        const QString file = dropFile("9876543210|Hi|0||0\r\n", 0);
        const TickOutcome& o = tick();
        QCOMPARE(o.kind, Kind::Idle);
        QCOMPARE(o.dropFilesWaiting, 1);
        QVERIFY(QFile::exists(file));
        QCOMPARE(m_f->count("Rsms"), 0);
    }

    void failedSendStaysQueued()
    {
        QVERIFY(m_sim->control("send-mode?mode=http500"));
        m_f->queue("9876500001", "first");
        console().setText(Field::Status, "before");

        const TickOutcome& o = tick();
        QCOMPARE(o.kind, Kind::Failed);
        QCOMPARE(o.errorNumber, 500);
        QVERIFY(!o.errorText.isEmpty());
        QCOMPARE(text(Field::Trace), SendingTrace + errorTrace(o));
        QCOMPARE(text(Field::Status), "before");
        QCOMPARE(m_f->count("sms"), 0);
        QCOMPARE(m_f->column("SELECT urgent FROM Rsms"), QStringList{"10"});

        // A message queued later with urgent 0 goes first; the failed one follows once the gateway is back.
        QVERIFY(m_sim->control("send-mode?mode=number"));
        m_f->queue("9876500002", "second");
        QCOMPARE(tick().mobile, "9876500002");
        QCOMPARE(text(Field::Status), "Pending SMS : 1");
        QCOMPARE(tick().mobile, "9876500001");
        QCOMPARE(m_engine->lastOutcome().kind, Kind::Sent);
        QCOMPARE(counts(), "2/0");
    }

    void unsendableMessageHoldsNoOtherBack()
    {
        // No number: the gateway's answer never marks it sent, at any try.
        m_f->queue(QString(), "unsendable");
        m_f->queue("9876500002", "second");
        QCOMPARE(tick().kind, Kind::NotSent);
        QVERIFY(m_sim->control("fail-next?count=1&mode=http500"));
        QCOMPARE(tick().mobile, "9876500002"); // fails once
        QCOMPARE(m_engine->lastOutcome().kind, Kind::Failed);

        // Both have failed: they take turns, and the second one goes out.
        tick();
        const TickOutcome& o = tick();
        QCOMPARE(o.mobile, "9876500002");
        QCOMPARE(o.kind, Kind::Sent);
        QCOMPARE(m_f->column("SELECT msg FROM Rsms"), QStringList{"unsendable"});
    }

    void balanceFetchFails()
    {
        profile().balanceUrl = refusingUrl("/balance");
        m_f->queue("9876500001", "first");
        m_f->queue("9876500002", "second");
        console().setText(Field::Status, "before");
        console().setText(Field::Balance, "old balance");

        const TickOutcome& o = tick();
        // The message went out and is recorded; only the rest of the tick is abandoned.
        QCOMPARE(o.kind, Kind::Sent);
        QCOMPARE(o.mobile, "9876500001");
        QCOMPARE(o.errorNumber, int(QNetworkReply::ConnectionRefusedError));
        QCOMPARE(counts(), "1/1");
        QCOMPARE(text(Field::Trace), SentTrace + errorTrace(o));
        QCOMPARE(texts({Field::Status, Field::Balance}), (QStringList{"before", "old balance"}));

        profile().balanceUrl.clear();
        QCOMPARE(tick().kind, Kind::Sent);
        QCOMPARE(text(Field::Trace), SentTrace + "Bal OK\r\n");
        QCOMPARE(texts({Field::Status, Field::Balance}), (QStringList{"Pending SMS : 0", "old balance"}));
        QCOMPARE(m_sim->count(), 2);
    }

    void timerTicksNeverSendTwice()
    {
        QVERIFY(m_sim->control("latency?ms=150"));
        profile().balanceUrl.clear();
        for (const char* number : {"9876500001", "9876500002", "9876500003"})
            m_f->queue(number, "m");
        m_engine->setInterval(20); // far shorter than one send
        QTRY_VERIFY_WITH_TIMEOUT(m_f->count("Rsms") == 0, 20000);
        m_engine->setInterval(0);
        TaskWait::run(m_engine->waitUntilIdle());

        QVERIFY(m_engine->skippedTicks() > 0); // ticks did overlap, and were skipped
        QCOMPARE(m_f->column("SELECT Mobile FROM sms ORDER BY Mobile"),
                 (QStringList{"9876500001", "9876500002", "9876500003"}));
        QCOMPARE(urls().filter("/send?").size(), 3); // idle ticks after the last send may ask for a report
    }

    void answerKeptWhenBoxRewrittenDuringSend()
    {
        // "Display balance" may run while the send yields after its answer and fill the same response box.
        m_f->queue("9876543210", "Hi");
        QObject::connect(&console(), &ConsoleState::textChanged, [this](ConsoleState::Field field) {
            if (field == Field::LastAttempt)
                console().setText(Field::Response, "Balance: 1000");
        });
        const TickOutcome& o = tick();
        QCOMPARE(o.kind, Kind::Sent);
        QCOMPARE(o.response, "9876543210");
    }

    void displayBalance()
    {
        const QString balanceUrl = profile().balanceUrl;
        auto* link = m_form->findChild<QWidget*>("Lbbal");
        QVERIFY(link);
        link->show();
        console().setText(Field::Response, "kept");
        profile().balanceUrl = refusingUrl("/balance");
        TaskWait::run(m_actions->displayBalance());
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
        QVERIFY(m_prompt->messages[0].text.contains("balance"));
        profile().balanceUrl.clear(); // nothing to fetch
        TaskWait::run(m_actions->displayBalance());
        QCOMPARE(text(Field::Response), "kept");
        profile().balanceUrl = balanceUrl;
        TaskWait::run(m_actions->displayBalance());
        QCOMPARE(text(Field::Response), "Balance: 1000");
        QCOMPARE(m_sim->count(), 1);
        QCOMPARE(m_prompt->messages.size(), 1);
        QVERIFY(!link->isHidden());
    }

    void deleteShownNumber_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("mobile");
        QTest::newRow("answered No") << false << QStringList{"a", "b", "c", "stored otherwise"}
                                     << u"9876500001"_s;
        QTest::newRow("answered Yes") << true << QStringList{"b", "stored otherwise"} << "";
    }
    void deleteShownNumber()
    {
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        QFETCH(QString, mobile);
        m_f->queue(" 9876500001", "a");
        m_f->queue(" 9876500002", "b");
        m_f->queue(" 9876500001", "c");
        m_f->queue("9876500001", "stored otherwise");
        console().setText(Field::DeleteTag, " 9876500001");
        console().setText(Field::Mobile, "9876500001");
        console().setText(Field::Message, "a");
        m_prompt->answers = {yes ? Prompt::Answer::Yes : Prompt::Answer::No};
        // A tick shows the next message while the question is open: the number asked about is deleted.
        m_prompt->duringQuestion = [this] { console().setText(Field::DeleteTag, " 9876500002"); };
        Q_EMIT m_form->deleteRequested(); // the link's click
        QTRY_COMPARE(m_f->column("SELECT msg FROM Rsms ORDER BY rowid"), left);
        QCOMPARE(text(Field::Mobile), mobile);
        QCOMPARE(text(Field::Message), yes ? QString() : "a");
        QCOMPARE(m_prompt->questions.size(), 1);
        QVERIFY(m_prompt->messages.isEmpty());
    }

    void deleteDuringRunningSendWaits()
    {
        QVERIFY(m_sim->control("latency?ms=600"));
        profile().balanceUrl.clear();
        m_f->queue("9876500001", "being sent");
        m_f->queue("9876500002", "other number", {{"urgent", 1}});
        m_f->queue("9876500001", "same number, later", {{"urgent", 2}});

        QCoro::Task<> running = m_engine->runTick(); // waits for the gateway
        QVERIFY(m_engine->tickRunning());
        QTRY_COMPARE(text(Field::DeleteTag), "9876500001"); // the send has begun
        QVERIFY(m_engine->tickRunning());
        m_prompt->answers = {Prompt::Answer::Yes};
        QCoro::Task<> deletion = m_actions->deleteShownNumber();
        // Nothing deleted while the send is under way.
        QCOMPARE(m_f->count("Rsms"), 3);
        TaskWait::run(std::move(deletion));
        QVERIFY(!m_engine->tickRunning());
        TaskWait::run(std::move(running));

        QCOMPARE(m_engine->lastOutcome().kind, TickOutcome::Kind::Sent);
        QCOMPARE(m_f->column("SELECT msg FROM sms"), QStringList{"being sent"});
        QCOMPARE(m_f->column("SELECT msg FROM Rsms"), QStringList{"other number"});
        QVERIFY(m_prompt->messages.isEmpty());

        // The other number goes next; nothing is sent twice.
        tick();
        QCOMPARE(counts(), "2/0");
        QCOMPARE(m_sim->count(), 2);
    }

    void changePassword_data()
    {
        QTest::addColumn<QStringList>("inputs"); // the boxes' answers; a box after the last is cancelled
        QTest::addColumn<int>("unasked");        // answers left over: boxes never shown
        QTest::addColumn<int>("icon");           // of the one message shown; -1: none
        QTest::addColumn<QString>("stored");     // the password afterwards
        const auto row = [](const char* name, const QStringList& inputs, int unasked, int icon,
                            const QString& stored) {
            QTest::newRow(name) << inputs << unasked << icon << stored;
        };
        const int mismatch = int(Prompt::Icon::Critical), changed = int(Prompt::Icon::Information), none = -1;
        row("old mismatch", {"wrong", "n3w", "n3w"}, 2, mismatch, "pw-acme");
        row("old in another letter case", {"PW-ACME", "n3w", "n3w"}, 2, mismatch, "pw-acme");
        row("old cancelled", {}, 0, mismatch, "pw-acme");
        row("new empty", {"pw-acme", "", "x"}, 1, none, "pw-acme");
        row("confirmation differs", {"pw-acme", "n3w", "n3W"}, 0, none, "pw-acme");
        row("confirmation cancelled", {"pw-acme", "n3w"}, 0, none, "pw-acme");
        row("changed", {"pw-acme", "n3w", "n3w"}, 0, changed, "n3w");
        row("quote in the password", {"pw-acme", "it's", "it's"}, 0, changed, "it's");
    }
    void changePassword()
    {
        QFETCH(QStringList, inputs);
        QFETCH(int, unasked);
        QFETCH(int, icon);
        QFETCH(QString, stored);
        // "acme2" sends through the same URL template as "acme", "other" through its own.
        m_f->addProfile("acme2", {{"Provider", profile().sendUrl}});
        m_f->addProfile("other");
        m_prompt->inputs = inputs;

        Q_EMIT m_form->passwordChangeRequested();

        QCOMPARE(m_prompt->inputs.size(), unasked);
        QCOMPARE(m_prompt->messages.size(), icon < 0 ? 0 : 1);
        if (icon >= 0)
            QCOMPARE(int(m_prompt->messages[0].icon), icon);
        const bool changed = stored != "pw-acme";
        QCOMPARE(
            m_f->column("SELECT UName || ' ' || Password FROM config ORDER BY UName"),
            (QStringList{"acme " + stored, "acme2 " + (changed ? stored : "pw-acme2"), "other pw-other"}));
        QCOMPARE(profile().password, stored);
        if (changed) {
            m_f->queue("9876500001", "x");
            profile().balanceUrl.clear();
            tick();
            QCOMPARE(m_sim->requests().at(0).value("query").toObject().value("p").toString(), stored);
        }
    }

    void recheck()
    {
        m_f->ledger("9876500001", {{"Status", "Y"}, {"Try", 3}});
        m_f->ledger("9876500002", {{"Status", "N"}, {"Try", 27}});
        m_f->ledger("9876500003", {{"Status", "P"}, {"Try", 3}});
        m_f->ledger("9876500004", {{"Status", "X"}, {"Try", QVariant()}});
        Q_EMIT m_form->recheckRequested();
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Information);
        QCOMPARE(m_f->column("SELECT Status || ' ' || Try FROM sms ORDER BY Mobile"),
                 (QStringList{"Y 3", "P 20", "P 20", "P 20"}));

        // A store that refuses the statement gives a message, not a crash.
        m_prompt->messages.clear();
        m_f->store().exec("DROP TABLE sms");
        Q_EMIT m_form->recheckRequested();
        QCOMPARE(m_prompt->messages.size(), 1);
        QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
    }

    void answers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QVariant>("tryBefore");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("after"); // Status|Try|Reply, %1: the answer
        QTest::addColumn<bool>("suffixFlipped");
        const auto row = [](const char* name, const QString& answer, const QVariant& before, Outcome outcome,
                            const QString& after, bool flipped) {
            QTest::newRow(name) << answer << before << int(outcome) << after << flipped;
        };
        const Outcome Y = Outcome::Delivered, N = Outcome::NotDelivered, I = Outcome::Inconclusive;
        row("delivered", "DELIVRD", 3, Y, "Y|3|%1", false);
        row("delivered wins over NCPR", "NCPR DELIVRD", 3, Y, "Y|3|%1", false);
        row("NCPR", "stat:NCPR", 3, N, "N|3|%1", false);
        row("ncpr in any case", "ncpr", 0, N, "N|0|%1", false);
        row("delivrd in lower case is inconclusive", "delivrd", 3, I, "P|4|%1", true);
        row("inconclusive counted", "pending", 0, I, "P|1|%1", true);
        row("empty answer counted", "", 7, I, "P|8|%1", true);
        row("Null try stays Null", "pending", QVariant(), I, "P|Null|%1", false);
        row("25 counted to 26, still pending", "pending", 25, I, "P|26|%1", true);
        row("26: given up and still counted", "pending", 26, I, "N|27|%1", true);
        row("50: not counted further", "pending", 50, I, "N|50|Null", false);
        const QString longAnswer = "DELIVRD " + QString(300, u'x'), longPending = QString(300, u'p');
        row("over-long answer cut", longAnswer, 1, Y, "Y|1|" + longAnswer.left(Schema::ReplyWidth), false);
        row("over-long inconclusive answer cut", longPending, 1, I, "P|2|" + longPending.left(251), true);
        row("quote in a delivery", "DELIVRD 'ok'", 1, Y, "Y|1|%1", false);
    }
    void answers()
    {
        QFETCH(QString, answer);
        QFETCH(QVariant, tryBefore);
        QFETCH(int, outcome);
        QFETCH(QString, after);
        QFETCH(bool, suffixFlipped);
        pending("9876500001", "4711", tryBefore);
        // Counted past the limit but delivered: only pending rows are given up.
        pending("9876500099", "99", 30, {{"Status", "Y"}});
        m_answers.insert("4711", answer);

        QCOMPARE(int(poll()), outcome);
        QCOMPARE(m_asked, QStringList{"4711"});
        QCOMPARE(ledger(), (QStringList{after.contains("%1") ? after.arg(answer) : after, "Y|30|Null"}));
        QCOMPARE(m_poll.orderSuffix(), suffixFlipped ? " desc " : QString());
    }

    void suffixAlternates()
    {
        pending("9876500003", "a3", 3);
        pending("9876500007", "b7", 7);
        pending("9876500005", "c5", 5);
        poll();
        QCOMPARE(m_poll.orderSuffix(), " desc ");
        poll();
        QCOMPARE(m_poll.orderSuffix(), QString());
        poll();
        poll();
        QCOMPARE(m_asked, (QStringList{"a3", "b7", "a3", "b7"}));
        QCOMPARE(ledger(), (QStringList{"P|5|pending", "P|5|Null", "P|9|pending"}));
    }

    void nullTryStaysNull()
    {
        // Same count order for two rows: the older SDTTm first when ascending.
        pending("9876500002", "z0", 0, {{"SDTTm", "2024-03-01 09:00:00"}});
        pending("9876500001", "n1", QVariant(), {{"SDTTm", "2024-03-02 09:00:00"}});
        for (int i = 0; i < 3; ++i)
            QCOMPARE(poll(), Outcome::Inconclusive);
        QCOMPARE(m_asked, (QStringList{"n1", "n1", "n1"}));
        QCOMPARE(ledger(), (QStringList{"P|Null|pending", "P|0|Null"}));
        QCOMPARE(m_poll.orderSuffix(), QString());

        // Once conclusive, the other row's turn comes.
        m_answers.insert("n1", "DELIVRD");
        poll();
        poll();
        QCOMPARE(m_asked.last(), "z0");
        QCOMPARE(ledger(), (QStringList{"Y|Null|DELIVRD", "P|1|pending"}));
    }

    void sameMessageIdUpdatesBoth()
    {
        pending("9876500001", "555", 2);
        pending("9876500002", "555", 9, {{"Status", "N"}});
        pending("9876500003", "556", 2);
        m_answers.insert("555", "id:555 stat:DELIVRD");
        QCOMPARE(poll(), Outcome::Delivered);
        QCOMPARE(ledger(), (QStringList{"Y|2|id:555 stat:DELIVRD", "Y|9|id:555 stat:DELIVRD", "P|2|Null"}));
    }

    void rowsWithoutIdPassedOver()
    {
        pending("9876500001", QVariant(), QVariant());
        pending("9876500002", "", 0);
        pending("9876500003", "id3", 4);
        m_answers.insert("id3", "NCPR");
        QCOMPARE(poll(), Outcome::NotDelivered);
        // Only rows without an id are left pending; nothing more is asked.
        QCOMPARE(poll(), Outcome::NoPendingRow);
        QCOMPARE(m_asked, QStringList{"id3"});
        QCOMPARE(ledger(), (QStringList{"P|Null|Null", "P|0|Null", "N|4|NCPR"}));
    }

    void gatewayFailureChangesNothing()
    {
        pending("9876500001", "42", 3);
        m_gatewayDown = true;
        QVERIFY_THROWS_EXCEPTION(ChannelError, poll());
        QCOMPARE(ledger(), QStringList{"P|3|Null"});
        QCOMPARE(m_poll.orderSuffix(), QString());
        m_gatewayDown = false;
        QCOMPARE(poll(), Outcome::Inconclusive);
        QCOMPARE(ledger(), QStringList{"P|4|pending"});
    }

    void reportUrl_data()
    {
        QTest::addColumn<QString>("reportTemplate");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("url");
        const auto row = [](const char* name, const QString& t, const QString& id, const QString& url) {
            QTest::newRow(name) << t << id << url;
        };
        row("id at the end", "h?id=<MassgeID>", "12345", "h?id=12345");
        row("every occurrence", "h?a=<MassgeID>&b=<MassgeID>", "7", "h?a=7&b=7");
        row("letter case counts", "h?id=<massgeid>", "7", "h?id=<massgeid>");
        row("CR LF removed", "h?id=<MassgeID>\r\n", "7", "h?id=7");
        row("CR LF from the id removed", "h?id=<MassgeID>", "7\r\n", "h?id=7");
        row("id not encoded", "h?id=<MassgeID>", "a b&c", "h?id=a b&c");
    }
    void reportUrl()
    {
        QFETCH(QString, reportTemplate);
        QFETCH(QString, id);
        QFETCH(QString, url);
        QCOMPARE(ReportPoll::reportUrl(reportTemplate, id), url);
    }
};

QTEST_MAIN(TestEngine)
#include "tst_engine.moc"

// The tick end to end through the gateway simulator: drop file to queue, the send request, the ledger,
// the report; the trace and the console texts; failures through the error guard; timer ticks that would
// overlap.

#include "EngineFixture.h"
#include "common/TextNumbers.h"
#include "gateway/GatewaySim.h"

#include <QFile>
#include <QJsonObject>
#include <QTest>

using Field = ConsoleState::Field;
using Flag = ConsoleState::Flag;
using Kind = TickOutcome::Kind;

namespace {
const QString SendingTrace = QStringLiteral("1 2 \r\nSelect Record \r\nSms Fire-1 \r\n Fire Http \r\n");
const QString SentTrace = SendingTrace + "Save Data\r\nAdd Record\r\nSave End\r\nSend Sms Ok\r\nBal\r\n";
const QString kLedger =
    QStringLiteral("SELECT Mobile||'|'||msg||'|'||ANS||'|'||Status||'|'||Try||'|'||SDTTm||'|'||"
                   "coalesce(Reply, '-') FROM sms");

QString errorTrace(const TickOutcome& o)
{
    return "Error\r\n" + TextNumbers::withLeadingBlank(o.errorNumber) + o.errorText;
}
} // namespace

class TestEngine : public QObject
{
    Q_OBJECT
    std::unique_ptr<GatewaySim> m_sim;
    std::unique_ptr<EngineFixture> m_f;

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
    QStringList texts(const QList<Field>& fields)
    {
        QStringList out;
        for (Field field : fields)
            out << m_f->text(field);
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sim = std::make_unique<GatewaySim>(); // answers a send with the number: a success marker
        QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->errorString()));
    }
    void init()
    {
        QVERIFY(m_sim->control("reset"));
        m_f = std::make_unique<EngineFixture>(m_sim->baseUrl());
    }
    void cleanup()
    {
        if (m_f) // a failed check may leave a tick running
            TaskWait::run(m_f->engine->waitUntilIdle());
        m_f.reset();
    }

    void dropFileSentAndDelivered()
    {
        const QString file = dropFile("98765-43210|Hello world & more|0|0501245140309|0\r\n", 3600);

        QCOMPARE(m_f->tick().kind, Kind::Sent);
        QVERIFY(!QFile::exists(file));
        QCOMPARE(m_f->count("Rsms"), 0);
        QList<QJsonObject> log = m_sim->requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(0).value("url").toString(),
                 "/send?u=acme&p=pw-acme&to=9876543210&msg=Hello+world+%26+more");
        QCOMPARE(log.at(0).value("query").toObject().value("msg").toString(), "Hello world & more");
        QCOMPARE(log.at(1).value("url").toString(), "/balance?u=acme&p=pw-acme");
        QCOMPARE(m_f->column(kLedger),
                 QStringList{" 9876543210|Hello world & more|9876543210|P|0|2024-03-05 14:05:09|-"});
        QCOMPARE(m_f->text(Field::Trace), SentTrace + "Bal OK\r\n");
        QCOMPARE(texts({Field::Status, Field::Title, Field::Balance, Field::Response, Field::Mobile}),
                 (QStringList{"Pending SMS : 0", "14:05:09", "Balance: 1000", "9876543210", "9876543210"}));
        QVERIFY(m_f->console().flag(Flag::DeleteVisible));
        QVERIFY(!m_f->console().flag(Flag::RecheckVisible));
        QCOMPARE(m_f->profile().smsId, 5001);

        // The next tick finds the queue empty and asks for the report.
        const TickOutcome& idle = m_f->tick();
        QCOMPARE(idle.kind, Kind::Idle);
        QVERIFY(idle.reportPolled);
        QCOMPARE(idle.report, ReportPoll::Outcome::Delivered);
        log = m_sim->requests();
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.at(2).value("url").toString(), "/report?id=9876543210");
        QCOMPARE(m_f->column(kLedger),
                 QStringList{" 9876543210|Hello world & more|9876543210|Y|0|2024-03-05 14:05:09|DELIVRD"});
        QCOMPARE(texts({Field::Trace, Field::Status, Field::Mobile, Field::Message}),
                 (QStringList{"1 2 \r\n", "No SMS in Queue 14:05:09", "", ""}));
        QVERIFY(!m_f->console().flag(Flag::DeleteVisible));
        QVERIFY(m_f->console().flag(Flag::RecheckVisible));

        // Nothing pending any more: an idle tick asks for nothing.
        QCOMPARE(m_f->tick().report, ReportPoll::Outcome::NoPendingRow);
        QCOMPARE(m_sim->count(), 3);
    }

    void idleTickWithoutReportPolling_data()
    {
        QTest::addColumn<QString>("reportHost");
        QTest::addColumn<QString>("reportUrl");
        QTest::newRow("another gateway reports")
            << "10.20.30.40" << m_sim->baseUrl() + "/report?id=<MassgeID>";
        // The send URL names the report host, but there is no report URL to ask.
        QTest::newRow("no report URL") << "127.0.0.1"
                                       << "";
    }
    void idleTickWithoutReportPolling()
    {
        QFETCH(QString, reportHost);
        QFETCH(QString, reportUrl);
        m_f->engine->setReportHost(reportHost);
        m_f->profile().reportUrl = reportUrl;
        m_f->ledger("9876500001", {{"ANS", "1"}});
        m_f->console().setText(Field::Balance, "old balance");
        m_f->console().setText(Field::Title, "old title");

        const TickOutcome& o = m_f->tick();
        QCOMPARE(o.kind, Kind::Idle);
        QVERIFY(!o.reportPolled);
        QCOMPARE(texts({Field::Trace, Field::Status, Field::Balance, Field::Title}),
                 (QStringList{"1 2 \r\n", "No SMS in Queue 14:05:09", "old balance", "old title"}));
        QCOMPARE(m_sim->count(), 0);
        QCOMPARE(m_f->column("SELECT Status FROM sms"), QStringList{"P"});
    }

    void freshDropFileWaits()
    {
        // A file its writer may still be writing is left for a later tick, and the tick says so, so that
        // "until idle" does not stop before it is sent.
        const QString file = dropFile("9876543210|Hi|0||0\r\n", 0);
        const TickOutcome& o = m_f->tick();
        QCOMPARE(o.kind, Kind::Idle);
        QCOMPARE(o.dropFilesWaiting, 1);
        QVERIFY(QFile::exists(file));
        QCOMPARE(m_f->count("Rsms"), 0);
    }

    void failedSendStaysQueued_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("errorNumber");
        QTest::newRow("refused") << "refused" << int(QNetworkReply::ConnectionRefusedError);
        QTest::newRow("http 500") << "http500" << 500;
    }
    void failedSendStaysQueued()
    {
        QFETCH(QString, failure);
        QFETCH(int, errorNumber);
        const QString sendUrl = m_f->profile().sendUrl;
        if (failure == "refused")
            m_f->profile().sendUrl = EngineFixture::refusingUrl("/send?to=<mobile>&msg=<msg>");
        else
            QVERIFY(m_sim->control("send-mode?mode=" + failure));
        m_f->queue("9876500001", "first");
        m_f->console().setText(Field::Status, "before");

        const TickOutcome& o = m_f->tick();
        QCOMPARE(o.kind, Kind::Failed);
        QCOMPARE(o.errorNumber, errorNumber);
        QVERIFY(!o.errorText.isEmpty());
        QCOMPARE(m_f->text(Field::Trace), SendingTrace + errorTrace(o));
        QCOMPARE(m_f->text(Field::Status), "before");
        QCOMPARE(m_f->count("sms"), 0);
        QCOMPARE(m_f->column("SELECT urgent FROM Rsms"), QStringList{"10"});

        // A message queued later with urgent 0 goes first; the failed one follows once the gateway is back.
        m_f->profile().sendUrl = sendUrl;
        QVERIFY(m_sim->control("send-mode?mode=number"));
        m_f->queue("9876500002", "second");
        QCOMPARE(m_f->tick().mobile, "9876500002");
        QCOMPARE(m_f->text(Field::Status), "Pending SMS : 1");
        QCOMPARE(m_f->tick().mobile, "9876500001");
        QCOMPARE(m_f->engine->lastOutcome().kind, Kind::Sent);
        QCOMPARE(m_f->count("sms"), 2);
        QCOMPARE(m_f->count("Rsms"), 0);
    }

    void unsendableMessageHoldsNoOtherBack()
    {
        // No number: the gateway's answer never marks it sent, at any try.
        m_f->queue(QString(), "unsendable");
        m_f->queue("9876500002", "second");
        QCOMPARE(m_f->tick().kind, Kind::NotSent);
        QVERIFY(m_sim->control("fail-next?count=1&mode=http500"));
        QCOMPARE(m_f->tick().mobile, "9876500002"); // fails once
        QCOMPARE(m_f->engine->lastOutcome().kind, Kind::Failed);

        // Both have failed: they take turns, and the second one goes out.
        m_f->tick();
        const TickOutcome& o = m_f->tick();
        QCOMPARE(o.mobile, "9876500002");
        QCOMPARE(o.kind, Kind::Sent);
        QCOMPARE(m_f->column("SELECT msg FROM Rsms"), QStringList{"unsendable"});
    }

    void balanceFetchFails()
    {
        m_f->profile().balanceUrl = EngineFixture::refusingUrl("/balance");
        m_f->queue("9876500001", "first");
        m_f->queue("9876500002", "second");
        m_f->console().setText(Field::Status, "before");
        m_f->console().setText(Field::Balance, "old balance");

        const TickOutcome& o = m_f->tick();
        // The message went out and is recorded; only the rest of the tick is abandoned.
        QCOMPARE(o.kind, Kind::Sent);
        QCOMPARE(o.mobile, "9876500001");
        QCOMPARE(o.errorNumber, int(QNetworkReply::ConnectionRefusedError));
        QCOMPARE(m_f->count("sms"), 1);
        QCOMPARE(m_f->count("Rsms"), 1);
        QCOMPARE(m_f->text(Field::Trace), SentTrace + errorTrace(o));
        QCOMPARE(texts({Field::Status, Field::Balance}), (QStringList{"before", "old balance"}));

        // Without a balance URL the tick asks for none and keeps the balance shown.
        m_f->profile().balanceUrl.clear();
        QCOMPARE(m_f->tick().kind, Kind::Sent);
        QCOMPARE(m_f->text(Field::Trace), SentTrace + "Bal OK\r\n");
        QCOMPARE(texts({Field::Status, Field::Balance}), (QStringList{"Pending SMS : 0", "old balance"}));
        QCOMPARE(m_sim->count(), 2);
    }

    void timerTicksNeverSendTwice()
    {
        QVERIFY(m_sim->control("latency?ms=150"));
        m_f->profile().balanceUrl.clear();
        for (const char* number : {"9876500001", "9876500002", "9876500003"})
            m_f->queue(number, "m");
        m_f->engine->setInterval(20); // far shorter than one send
        QTRY_VERIFY_WITH_TIMEOUT(m_f->count("Rsms") == 0, 20000);
        m_f->engine->setInterval(0);
        TaskWait::run(m_f->engine->waitUntilIdle());

        QVERIFY(m_f->engine->skippedTicks() > 0); // ticks did overlap, and were skipped
        QCOMPARE(m_f->column("SELECT Mobile FROM sms ORDER BY Mobile"),
                 (QStringList{"9876500001", "9876500002", "9876500003"}));
        int sends = 0; // idle ticks after the last send may ask for a report
        for (const QJsonObject& r : m_sim->requests())
            sends += r.value("path").toString() == "/send";
        QCOMPARE(sends, 3);
    }

    void answerKeptWhenBoxRewrittenDuringSend()
    {
        // "Display balance" may run while the send yields after its answer and write the balance into
        // the same response box.
        m_f->queue("9876543210", "Hi");
        QObject::connect(&m_f->console(), &ConsoleState::textChanged, [this](ConsoleState::Field field) {
            if (field == Field::LastAttempt)
                m_f->console().setText(Field::Response, "Balance: 1000");
        });
        const TickOutcome& o = m_f->tick();
        QCOMPARE(o.kind, Kind::Sent);
        QCOMPARE(o.response, "9876543210");
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"

// The tick end to end through the gateway simulator: drop file to queue, the send request, the ledger,
// the report; the trace and the console texts; failures through the error guard; overlapping ticks.

#include "EngineFixture.h"
#include "channels/ChannelError.h"
#include "common/TextNumbers.h"
#include "gateway/GatewaySim.h"

#include <QFile>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using Field = ConsoleState::Field;
using Flag = ConsoleState::Flag;
using Kind = TickOutcome::Kind;

namespace {
const QString SendingTrace = QStringLiteral("1 2 \r\nSelect Record \r\nSms Fire-1 \r\n Fire Http \r\n");
const QString SavedTrace = QStringLiteral("Save Data\r\nAdd Record\r\nSave End\r\n");
const QVariantMap kPending{{QStringLiteral("ANS"), QStringLiteral("1")}};

QString errorTrace(const TickOutcome& o)
{
    return QStringLiteral("Error\r\n") + TextNumbers::withLeadingBlank(o.errorNumber) + o.errorText;
}
} // namespace

class TestEngine : public QObject
{
    Q_OBJECT
    std::unique_ptr<GatewaySim> m_sim;
    std::unique_ptr<EngineFixture> m_f;

    // The numbers of the send requests, in order.
    QStringList sentTo()
    {
        QStringList to;
        for (const QJsonObject& r : m_sim->requests())
            if (r.value("path").toString() == QStringLiteral("/send"))
                to << r.value("query").toObject().value("to").toString();
        return to;
    }
    // A pipe drop file in SMSQ, modified `age` seconds before now.
    QString dropFile(const QByteArray& content, int age = 3600)
    {
        const QString path = m_f->writeFile(QStringLiteral("SMSQ/ORDER.SMS"), content);
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite) ||
            !file.setFileTime(StoreFixture::fixedNow().addSecs(-age), QFileDevice::FileModificationTime))
            qFatal("cannot date %s", qPrintable(path));
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sim = std::make_unique<GatewaySim>(); // answers a send with the number: a success marker
        QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->errorString()));
    }
    void init()
    {
        QVERIFY(m_sim->control(QStringLiteral("reset")));
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
        const QString file = dropFile("98765-43210|Hello world & more|0|0501245140309|0\r\n");

        const TickOutcome& sent = m_f->tick();
        QCOMPARE(sent.kind, Kind::Sent);
        QVERIFY(!QFile::exists(file));
        QCOMPARE(m_f->count("Rsms"), 0);
        QList<QJsonObject> log = m_sim->requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(0).value("url").toString(),
                 QStringLiteral("/send?u=acme&p=pw-acme&to=9876543210&msg=Hello+world+%26+more"));
        QCOMPARE(log.at(0).value("query").toObject().value("msg").toString(),
                 QStringLiteral("Hello world & more"));
        QCOMPARE(log.at(1).value("url").toString(), QStringLiteral("/balance?u=acme&p=pw-acme"));
        QList<QVariantMap> ledger = m_f->ledgerRows();
        QCOMPARE(ledger.size(), 1);
        QCOMPARE(ledger[0].value("mobile").toString(), QStringLiteral(" 9876543210"));
        QCOMPARE(ledger[0].value("msg").toString(), QStringLiteral("Hello world & more"));
        QCOMPARE(ledger[0].value("ans").toString(), QStringLiteral("9876543210"));
        QCOMPARE(ledger[0].value("status").toString(), QStringLiteral("P"));
        QCOMPARE(ledger[0].value("try").toString(), QStringLiteral("0"));
        QCOMPARE(ledger[0].value("sdttm").toString(), QStringLiteral("2024-03-05 14:05:09"));
        QCOMPARE(m_f->text(Field::Trace),
                 SendingTrace + SavedTrace + QStringLiteral("Send Sms Ok\r\nBal\r\nBal OK\r\n"));
        QCOMPARE(m_f->text(Field::Status), QStringLiteral("Pending SMS : 0"));
        QCOMPARE(m_f->text(Field::Title), QStringLiteral("14:05:09"));
        QCOMPARE(m_f->text(Field::Balance), QStringLiteral("Balance: 1000"));
        QCOMPARE(m_f->text(Field::Response), QStringLiteral("9876543210"));
        QCOMPARE(m_f->text(Field::Mobile), QStringLiteral("9876543210"));
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
        QCOMPARE(log.at(2).value("url").toString(), QStringLiteral("/report?id=9876543210"));
        ledger = m_f->ledgerRows();
        QCOMPARE(ledger[0].value("status").toString(), QStringLiteral("Y"));
        QCOMPARE(ledger[0].value("reply").toString(), QStringLiteral("DELIVRD"));
        QCOMPARE(ledger[0].value("try").toString(), QStringLiteral("0"));
        QCOMPARE(m_f->text(Field::Trace), QStringLiteral("1 2 \r\n"));
        QCOMPARE(m_f->text(Field::Status), QStringLiteral("No SMS in Queue 14:05:09"));
        QCOMPARE(m_f->text(Field::Mobile), QString());
        QCOMPARE(m_f->text(Field::Message), QString());
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
        m_f->ledger(QStringLiteral("9876500001"), kPending);
        m_f->console().setText(Field::Balance, QStringLiteral("old balance"));
        m_f->console().setText(Field::Title, QStringLiteral("old title"));

        const TickOutcome& o = m_f->tick();
        QCOMPARE(o.kind, Kind::Idle);
        QVERIFY(!o.reportPolled);
        QCOMPARE(m_f->text(Field::Trace), QStringLiteral("1 2 \r\n"));
        QCOMPARE(m_f->text(Field::Status), QStringLiteral("No SMS in Queue 14:05:09"));
        QCOMPARE(m_f->text(Field::Balance), QStringLiteral("old balance"));
        QCOMPARE(m_f->text(Field::Title), QStringLiteral("old title"));
        QCOMPARE(m_sim->count(), 0);
        QCOMPARE(m_f->column(QStringLiteral("SELECT Status FROM sms")), QStringList{"P"});
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
        if (failure == QLatin1String("refused"))
            m_f->profile().sendUrl =
                EngineFixture::refusingUrl(QStringLiteral("/send?to=<mobile>&msg=<msg>"));
        else
            QVERIFY(m_sim->control(QStringLiteral("send-mode?mode=") + failure));
        m_f->queue(QStringLiteral("9876500001"), QStringLiteral("first"));
        m_f->console().setText(Field::Status, QStringLiteral("before"));

        const TickOutcome& o = m_f->tick();
        QCOMPARE(o.kind, Kind::Failed);
        QCOMPARE(o.errorNumber, errorNumber);
        QVERIFY(!o.errorText.isEmpty());
        QCOMPARE(m_f->text(Field::Trace), SendingTrace + errorTrace(o));
        QCOMPARE(m_f->text(Field::Status), QStringLiteral("before"));
        QCOMPARE(m_f->count("sms"), 0);
        QCOMPARE(m_f->column(QStringLiteral("SELECT urgent FROM Rsms")), QStringList{"10"});

        // A message queued later with urgent 0 goes first; the failed one follows once the gateway is back.
        m_f->profile().sendUrl = sendUrl;
        QVERIFY(m_sim->control(QStringLiteral("send-mode?mode=number")));
        m_f->queue(QStringLiteral("9876500002"), QStringLiteral("second"));
        QCOMPARE(m_f->tick().mobile, QStringLiteral("9876500002"));
        QCOMPARE(m_f->text(Field::Status), QStringLiteral("Pending SMS : 1"));
        QCOMPARE(m_f->tick().mobile, QStringLiteral("9876500001"));
        QCOMPARE(m_f->engine->lastOutcome().kind, Kind::Sent);
        QCOMPARE(m_f->count("sms"), 2);
        QCOMPARE(m_f->count("Rsms"), 0);
    }

    void unsendableMessageHoldsNoOtherBack()
    {
        // No number: the gateway's answer never marks it sent, at any try.
        m_f->queue(QString(), QStringLiteral("unsendable"));
        m_f->queue(QStringLiteral("9876500002"), QStringLiteral("second"));
        QCOMPARE(m_f->tick().kind, Kind::NotSent);
        QVERIFY(m_sim->control(QStringLiteral("fail-next?count=1&mode=http500")));
        QCOMPARE(m_f->tick().mobile, QStringLiteral("9876500002")); // fails once
        QCOMPARE(m_f->engine->lastOutcome().kind, Kind::Failed);

        // Both have failed: they take turns, and the second one goes out.
        m_f->tick();
        const TickOutcome& o = m_f->tick();
        QCOMPARE(o.mobile, QStringLiteral("9876500002"));
        QCOMPARE(o.kind, Kind::Sent);
        QCOMPARE(m_f->column(QStringLiteral("SELECT msg FROM Rsms")), QStringList{"unsendable"});
    }

    void balanceFetchFails()
    {
        m_f->profile().balanceUrl = EngineFixture::refusingUrl(QStringLiteral("/balance"));
        m_f->queue(QStringLiteral("9876500001"), QStringLiteral("first"));
        m_f->queue(QStringLiteral("9876500002"), QStringLiteral("second"));
        m_f->console().setText(Field::Status, QStringLiteral("before"));
        m_f->console().setText(Field::Balance, QStringLiteral("old balance"));

        const TickOutcome& o = m_f->tick();
        // The message went out and is recorded; only the rest of the tick is abandoned.
        QCOMPARE(o.kind, Kind::Sent);
        QCOMPARE(o.mobile, QStringLiteral("9876500001"));
        QCOMPARE(o.errorNumber, int(QNetworkReply::ConnectionRefusedError));
        QCOMPARE(m_f->count("sms"), 1);
        QCOMPARE(m_f->count("Rsms"), 1);
        QCOMPARE(m_f->text(Field::Trace),
                 SendingTrace + SavedTrace + QStringLiteral("Send Sms Ok\r\nBal\r\n") + errorTrace(o));
        QCOMPARE(m_f->text(Field::Status), QStringLiteral("before"));
        QCOMPARE(m_f->text(Field::Balance), QStringLiteral("old balance"));

        // Without a balance URL the tick asks for none and keeps the balance shown.
        m_f->profile().balanceUrl.clear();
        QCOMPARE(m_f->tick().kind, Kind::Sent);
        QCOMPARE(m_f->text(Field::Trace),
                 SendingTrace + SavedTrace + QStringLiteral("Send Sms Ok\r\nBal\r\nBal OK\r\n"));
        QCOMPARE(m_f->text(Field::Status), QStringLiteral("Pending SMS : 0"));
        QCOMPARE(m_f->text(Field::Balance), QStringLiteral("old balance"));
        QCOMPARE(m_sim->count(), 2);
    }

    void overlappingTickSkipped()
    {
        QVERIFY(m_sim->control(QStringLiteral("latency?ms=500")));
        m_f->profile().balanceUrl.clear();
        m_f->queue(QStringLiteral("9876500001"), QStringLiteral("first"));
        m_f->queue(QStringLiteral("9876500002"), QStringLiteral("second"));
        QSignalSpy skipped(m_f->engine.get(), &Engine::tickSkipped);

        QCoro::Task<> first = m_f->engine->runTick(); // runs up to the gateway's answer
        QVERIFY(m_f->engine->tickRunning());
        TaskWait::run(m_f->engine->runTick()); // returns at once
        QCOMPARE(m_f->engine->skippedTicks(), 1);
        QCOMPARE(skipped.size(), 1);
        QCOMPARE(skipped.at(0).at(0).toInt(), 1);
        TaskWait::run(std::move(first));
        QVERIFY(!m_f->engine->tickRunning());
        QCOMPARE(m_f->count("sms"), 1);
        QCOMPARE(m_f->count("Rsms"), 1);
        QCOMPARE(m_sim->count(), 1);
    }

    void timerTicksNeverSendTwice()
    {
        QVERIFY(m_sim->control(QStringLiteral("latency?ms=150")));
        for (int i = 1; i <= 3; ++i)
            m_f->queue(QStringLiteral("987650000%1").arg(i), QStringLiteral("m%1").arg(i));
        m_f->engine->setInterval(20); // far shorter than one send
        QTRY_VERIFY_WITH_TIMEOUT(m_f->count("Rsms") == 0, 20000);
        m_f->engine->setInterval(0);
        TaskWait::run(m_f->engine->waitUntilIdle());

        QVERIFY(m_f->engine->skippedTicks() > 0);
        QCOMPARE(m_f->count("sms"), 3);
        QStringList sent = sentTo();
        sent.sort();
        QCOMPARE(sent, (QStringList{"9876500001", "9876500002", "9876500003"}));
    }

    void answerKeptWhenBoxRewrittenDuringSend()
    {
        // "Display balance" may run while the send yields after its answer and write the balance into
        // the same response box.
        m_f->queue(QStringLiteral("9876543210"), QStringLiteral("Hi"));
        QObject::connect(&m_f->console(), &ConsoleState::textChanged, [this](ConsoleState::Field field) {
            if (field == Field::LastAttempt)
                m_f->console().setText(Field::Response, QStringLiteral("Balance: 1000"));
        });
        const TickOutcome& o = m_f->tick();
        QCOMPARE(o.kind, Kind::Sent);
        QCOMPARE(o.response, QStringLiteral("9876543210"));
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"

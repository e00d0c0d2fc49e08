// The tick end to end through the gateway simulator: drop file to queue, the
// send request, the ledger, the report; the trace and the console texts; the
// queue order; failures through the error guard; overlapping ticks.

#include "DispatchFixture.h"
#include "channels/ChannelError.h"
#include "common/TextNumbers.h"
#include "gateway/GatewaySim.h"

#include <QJsonObject>
#include <QSignalSpy>

using Field = ConsoleState::Field;
using Flag = ConsoleState::Flag;
using Kind = TickOutcome::Kind;

namespace {
const QString SendingTrace = QStringLiteral("1 2 \r\nSelect Record \r\nSms Fire-1 \r\n Fire Http \r\n");
const QString SavedTrace = QStringLiteral("Save Data\r\nAdd Record\r\nSave End\r\n");
} // namespace

class TestEngine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void dropFileSentAndDelivered();
    void idleTickWithoutReportHost();
    void idleTickWithoutReportUrl();
    void freshDropFileWaits();
    void urgentOrder();
    void failedSendStaysQueued_data();
    void failedSendStaysQueued();
    void unsendableMessageHoldsNoOtherBack();
    void balanceFetchFails();
    void emptyBalanceUrl();
    void overlappingTickSkipped();
    void timerTicksNeverSendTwice();
    void answerKeptWhenBoxRewrittenDuringSend();

private:
    std::unique_ptr<GatewaySim> m_sim;
    std::unique_ptr<DispatchFixture> m_f;
};

void TestEngine::init()
{
    m_sim = std::make_unique<GatewaySim>(); // answers a send with the number: a success marker
    QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->errorString()));
    m_f = std::make_unique<DispatchFixture>(m_sim->baseUrl());
}

void TestEngine::cleanup()
{
    if (m_f) // a failed check may leave a tick running
        TaskWait::run(m_f->engine->waitUntilIdle());
    m_f.reset();
    m_sim.reset();
}

void TestEngine::dropFileSentAndDelivered()
{
    const QString file =
        m_f->dropFile(QStringLiteral("ORDER.SMS"), "98765-43210|Hello world & more|0|0501245140309|0\r\n");

    const TickOutcome& sent = m_f->tick();
    QCOMPARE(sent.kind, Kind::Sent);
    QVERIFY(!QFile::exists(file));
    QCOMPARE(m_f->queued().size(), 0);

    QList<QJsonObject> log = m_sim->requests();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log.at(0).value("url").toString(),
             QStringLiteral("/send?u=acme&p=pw&to=9876543210&msg=Hello+world+%26+more"));
    const QJsonObject query = log.at(0).value("query").toObject();
    QCOMPARE(query.value("msg").toString(), QStringLiteral("Hello world & more"));
    QCOMPARE(log.at(1).value("url").toString(), QStringLiteral("/balance?u=acme&p=pw"));

    QList<QVariantMap> ledger = m_f->ledger();
    QCOMPARE(ledger.size(), 1);
    QCOMPARE(ledger[0].value("mobile").toString(), QStringLiteral(" 9876543210"));
    QCOMPARE(ledger[0].value("msg").toString(), QStringLiteral("Hello world & more"));
    QCOMPARE(ledger[0].value("ans").toString(), QStringLiteral("9876543210"));
    QCOMPARE(ledger[0].value("status").toString(), QStringLiteral("P"));
    QCOMPARE(ledger[0].value("try").toString(), QStringLiteral("0"));
    QCOMPARE(ledger[0].value("sdttm").toString(), QStringLiteral("2024-03-05 14:05:09"));

    QCOMPARE(m_f->trace(), SendingTrace + SavedTrace + QStringLiteral("Send Sms Ok\r\nBal\r\nBal OK\r\n"));
    QCOMPARE(m_f->text(Field::Status), QStringLiteral("Pending SMS : 0"));
    QCOMPARE(m_f->text(Field::Title), QStringLiteral("14:05:09"));
    QCOMPARE(m_f->text(Field::Balance), QStringLiteral("Balance: 1000"));
    QCOMPARE(m_f->text(Field::Response), QStringLiteral("9876543210"));
    QCOMPARE(m_f->text(Field::Mobile), QStringLiteral("9876543210"));
    QVERIFY(m_f->console().flag(Flag::DeleteVisible));
    QVERIFY(!m_f->console().flag(Flag::RecheckVisible));
    QCOMPARE(m_f->context->profile().smsId, 5001);

    // The next tick finds the queue empty and asks for the report.
    const TickOutcome& idle = m_f->tick();
    QCOMPARE(idle.kind, Kind::Idle);
    QVERIFY(idle.reportPolled);
    QCOMPARE(idle.report, ReportPoll::Outcome::Delivered);
    log = m_sim->requests();
    QCOMPARE(log.size(), 3);
    QCOMPARE(log.at(2).value("url").toString(), QStringLiteral("/report?id=9876543210"));
    ledger = m_f->ledger();
    QCOMPARE(ledger[0].value("status").toString(), QStringLiteral("Y"));
    QCOMPARE(ledger[0].value("reply").toString(), QStringLiteral("DELIVRD"));
    QCOMPARE(ledger[0].value("try").toString(), QStringLiteral("0"));
    QCOMPARE(m_f->trace(), QStringLiteral("1 2 \r\n"));
    QCOMPARE(m_f->text(Field::Status), QStringLiteral("No SMS in Queue 14:05:09"));
    QCOMPARE(m_f->text(Field::Mobile), QString());
    QCOMPARE(m_f->text(Field::Message), QString());
    QVERIFY(!m_f->console().flag(Flag::DeleteVisible));
    QVERIFY(m_f->console().flag(Flag::RecheckVisible));

    // Nothing pending any more: an idle tick asks for nothing.
    QCOMPARE(m_f->tick().report, ReportPoll::Outcome::NoPendingRow);
    QCOMPARE(m_sim->count(), 3);
}

void TestEngine::idleTickWithoutReportHost()
{
    m_f->engine->setReportHost(QStringLiteral("10.20.30.40"));
    m_f->ledgerRow(QStringLiteral("9876500001"), QStringLiteral("1"), QStringLiteral("P"), 0);
    m_f->console().setText(Field::Balance, QStringLiteral("old balance"));
    m_f->console().setText(Field::Title, QStringLiteral("old title"));

    const TickOutcome& o = m_f->tick();
    QCOMPARE(o.kind, Kind::Idle);
    QVERIFY(!o.reportPolled);
    QCOMPARE(m_f->trace(), QStringLiteral("1 2 \r\n"));
    QCOMPARE(m_f->text(Field::Status), QStringLiteral("No SMS in Queue 14:05:09"));
    QCOMPARE(m_f->text(Field::Balance), QStringLiteral("old balance"));
    QCOMPARE(m_f->text(Field::Title), QStringLiteral("old title"));
    QCOMPARE(m_sim->count(), 0);
    QCOMPARE(m_f->ledger().at(0).value("status").toString(), QStringLiteral("P"));
}

void TestEngine::idleTickWithoutReportUrl()
{
    // The send URL names the report host, but there is no report URL to ask:
    // no request, no error in the trace.
    m_f->context->profile().reportUrl.clear();
    m_f->ledgerRow(QStringLiteral("9876500001"), QStringLiteral("1"), QStringLiteral("P"), 0);

    const TickOutcome& o = m_f->tick();
    QCOMPARE(o.kind, Kind::Idle);
    QVERIFY(!o.reportPolled);
    QCOMPARE(m_f->trace(), QStringLiteral("1 2 \r\n"));
    QCOMPARE(m_sim->count(), 0);
}

void TestEngine::freshDropFileWaits()
{
    // A file its writer may still be writing is left for a later tick, and the
    // tick says so, so that "until idle" does not stop before it is sent.
    const QString file = m_f->dropFile(QStringLiteral("fresh.sms"), "9876543210|Hi|0||0\r\n");
    QFile touch(file);
    QVERIFY(touch.open(QIODevice::ReadWrite));
    QVERIFY(touch.setFileTime(m_f->context->clock().now(), QFileDevice::FileModificationTime));
    touch.close();

    const TickOutcome& o = m_f->tick();
    QCOMPARE(o.kind, Kind::Idle);
    QCOMPARE(o.dropFilesWaiting, 1);
    QVERIFY(QFile::exists(file));
    QCOMPARE(m_f->queued().size(), 0);
}

void TestEngine::urgentOrder()
{
    m_f->queue(QStringLiteral("9876500005"), QStringLiteral("five"), 5);
    m_f->queue(QStringLiteral("9876500000"), QStringLiteral("zero"), 0);
    m_f->queue(QStringLiteral("9876500003"), QStringLiteral("three"), 3);
    m_f->queue(QStringLiteral("9876500009"), QStringLiteral("nine"), 9);

    QCOMPARE(m_f->tick().mobile, QStringLiteral("9876500000"));
    QCOMPARE(m_f->text(Field::Status), QStringLiteral("Pending SMS : 3"));
    QCOMPARE(m_f->tick().mobile, QStringLiteral("9876500003"));
    QCOMPARE(m_f->tick().mobile, QStringLiteral("9876500005"));
    QCOMPARE(m_f->text(Field::Status), QStringLiteral("Pending SMS : 1"));
    QCOMPARE(m_f->tick().kind, Kind::Sent);

    QStringList order;
    for (const QJsonObject& r : m_sim->requests())
        if (r.value("path").toString() == QStringLiteral("/send"))
            order << r.value("query").toObject().value("to").toString();
    QCOMPARE(order, (QStringList{QStringLiteral("9876500000"), QStringLiteral("9876500003"),
                                 QStringLiteral("9876500005"), QStringLiteral("9876500009")}));
}

void TestEngine::failedSendStaysQueued_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("errorNumber"); // 0: any non-zero number
    QTest::newRow("refused") << "refused" << 0;
    QTest::newRow("timeout") << "timeout" << int(ChannelError::TimedOut);
    QTest::newRow("http 500") << "http500" << 500;
}

void TestEngine::failedSendStaysQueued()
{
    QFETCH(QString, failure);
    QFETCH(int, errorNumber);
    m_f->engine->channels().http().setTimeout(std::chrono::milliseconds(400));
    if (failure == QLatin1String("refused"))
        m_f->context->profile().sendUrl = QStringLiteral("http://127.0.0.1:%1/send?to=<mobile>&msg=<msg>")
                                              .arg(DispatchFixture::closedPort());
    else
        QVERIFY(m_sim->control(QStringLiteral("send-mode?mode=") + failure));
    m_f->queue(QStringLiteral("9876500001"), QStringLiteral("first"), 0);
    m_f->console().setText(Field::Status, QStringLiteral("before"));

    const TickOutcome& o = m_f->tick();
    QCOMPARE(o.kind, Kind::Failed);
    QVERIFY(o.errorNumber != 0);
    if (errorNumber != 0)
        QCOMPARE(o.errorNumber, errorNumber);
    QVERIFY(!o.errorText.isEmpty());
    QCOMPARE(m_f->trace(), SendingTrace + QStringLiteral("Error\r\n") +
                               TextNumbers::withLeadingBlank(o.errorNumber) + o.errorText);
    QCOMPARE(m_f->text(Field::Status), QStringLiteral("before"));
    QCOMPARE(m_f->ledger().size(), 0);
    QList<QVariantMap> q = m_f->queued();
    QCOMPARE(q.size(), 1);
    QCOMPARE(q[0].value("urgent").toInt(), 10);

    // A message queued later with urgent 0 goes first; the failed one follows once the gateway is back.
    m_f->context->profile().sendUrl = m_f->sendUrl;
    QVERIFY(m_sim->control(QStringLiteral("send-mode?mode=number")));
    m_f->queue(QStringLiteral("9876500002"), QStringLiteral("second"), 0);
    QCOMPARE(m_f->tick().mobile, QStringLiteral("9876500002"));
    QCOMPARE(m_f->tick().mobile, QStringLiteral("9876500001"));
    QCOMPARE(m_f->engine->lastOutcome().kind, Kind::Sent);
    QCOMPARE(m_f->ledger().size(), 2);
    QCOMPARE(m_f->queued().size(), 0);
}

void TestEngine::unsendableMessageHoldsNoOtherBack()
{
    // No number: the gateway's answer never marks it sent, at any try.
    m_f->queue(QString(), QStringLiteral("unsendable"), 0);
    m_f->queue(QStringLiteral("9876500002"), QStringLiteral("second"), 0);
    QCOMPARE(m_f->tick().kind, Kind::NotSent);
    QVERIFY(m_sim->control(QStringLiteral("fail-next?count=1&mode=http500")));
    QCOMPARE(m_f->tick().mobile, QStringLiteral("9876500002")); // fails once
    QCOMPARE(m_f->engine->lastOutcome().kind, Kind::Failed);

    // Both have failed: they take turns, and the second one goes out.
    m_f->tick();
    const TickOutcome& o = m_f->tick();
    QCOMPARE(o.mobile, QStringLiteral("9876500002"));
    QCOMPARE(o.kind, Kind::Sent);
    QCOMPARE(m_f->queued().size(), 1);
}

void TestEngine::balanceFetchFails()
{
    m_f->context->profile().balanceUrl =
        QStringLiteral("http://127.0.0.1:%1/balance").arg(DispatchFixture::closedPort());
    m_f->queue(QStringLiteral("9876500001"), QStringLiteral("first"), 0);
    m_f->queue(QStringLiteral("9876500002"), QStringLiteral("second"), 0);
    m_f->console().setText(Field::Status, QStringLiteral("before"));
    m_f->console().setText(Field::Balance, QStringLiteral("old balance"));

    const TickOutcome& o = m_f->tick();
    // The message went out and is recorded; only the rest of the tick is abandoned.
    QCOMPARE(o.kind, Kind::Sent);
    QCOMPARE(o.mobile, QStringLiteral("9876500001"));
    QVERIFY(o.errorNumber != 0);
    QCOMPARE(m_f->ledger().size(), 1);
    QCOMPARE(m_f->queued().size(), 1);
    QCOMPARE(m_f->trace(), SendingTrace + SavedTrace + QStringLiteral("Send Sms Ok\r\nBal\r\nError\r\n") +
                               TextNumbers::withLeadingBlank(o.errorNumber) + o.errorText);
    QCOMPARE(m_f->text(Field::Status), QStringLiteral("before"));
    QCOMPARE(m_f->text(Field::Balance), QStringLiteral("old balance"));
    // The next tick runs normally.
    m_f->context->profile().balanceUrl.clear();
    QCOMPARE(m_f->tick().kind, Kind::Sent);
    QCOMPARE(m_f->text(Field::Status), QStringLiteral("Pending SMS : 0"));
}

void TestEngine::emptyBalanceUrl()
{
    m_f->context->profile().balanceUrl.clear();
    m_f->console().setText(Field::Balance, QStringLiteral("kept"));
    m_f->queue(QStringLiteral("9876500001"), QStringLiteral("first"), 0);
    QCOMPARE(m_f->tick().kind, Kind::Sent);
    QCOMPARE(m_f->text(Field::Balance), QStringLiteral("kept"));
    QCOMPARE(m_sim->count(), 1);
    QCOMPARE(m_f->trace(), SendingTrace + SavedTrace + QStringLiteral("Send Sms Ok\r\nBal\r\nBal OK\r\n"));
}

void TestEngine::overlappingTickSkipped()
{
    QVERIFY(m_sim->control(QStringLiteral("latency?ms=500")));
    m_f->context->profile().balanceUrl.clear();
    m_f->queue(QStringLiteral("9876500001"), QStringLiteral("first"), 0);
    m_f->queue(QStringLiteral("9876500002"), QStringLiteral("second"), 0);
    QSignalSpy skipped(m_f->engine.get(), &Engine::tickSkipped);

    QCoro::Task<> first = m_f->engine->runTick(); // runs up to the gateway's answer
    QVERIFY(m_f->engine->tickRunning());
    TaskWait::run(m_f->engine->runTick()); // returns at once
    QCOMPARE(m_f->engine->skippedTicks(), 1);
    QCOMPARE(skipped.size(), 1);
    QCOMPARE(skipped.at(0).at(0).toInt(), 1);
    TaskWait::run(std::move(first));
    QVERIFY(!m_f->engine->tickRunning());

    QCOMPARE(m_f->ledger().size(), 1);
    QCOMPARE(m_f->queued().size(), 1);
    QCOMPARE(m_sim->count(), 1);
}

void TestEngine::timerTicksNeverSendTwice()
{
    QVERIFY(m_sim->control(QStringLiteral("latency?ms=150")));
    for (int i = 1; i <= 3; ++i)
        m_f->queue(QStringLiteral("987650000%1").arg(i), QStringLiteral("m%1").arg(i), 0);
    QSignalSpy finished(m_f->engine.get(), &Engine::tickFinished);
    m_f->engine->setInterval(20); // far shorter than one send
    QTRY_VERIFY_WITH_TIMEOUT(m_f->queued().isEmpty(), 20000);
    m_f->engine->setInterval(0);
    TaskWait::run(m_f->engine->waitUntilIdle());

    QVERIFY(m_f->engine->skippedTicks() > 0);
    QCOMPARE(m_f->ledger().size(), 3);
    QStringList sent;
    for (const QJsonObject& r : m_sim->requests())
        if (r.value("path").toString() == QStringLiteral("/send"))
            sent << r.value("query").toObject().value("to").toString();
    sent.sort();
    QCOMPARE(sent, (QStringList{QStringLiteral("9876500001"), QStringLiteral("9876500002"),
                                QStringLiteral("9876500003")}));
}

void TestEngine::answerKeptWhenBoxRewrittenDuringSend()
{
    // "Display balance" may run while the send yields after its answer and
    // write the balance into the same response box.
    m_f->queue(QStringLiteral("9876543210"), QStringLiteral("Hi"), 0);
    QObject::connect(&m_f->console(), &ConsoleState::textChanged, [this](ConsoleState::Field field) {
        if (field == Field::LastAttempt)
            m_f->console().setText(Field::Response, QStringLiteral("Balance: 1000"));
    });

    const TickOutcome& o = m_f->tick();
    QCOMPARE(o.kind, Kind::Sent);
    QCOMPARE(o.response, QStringLiteral("9876543210"));
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"

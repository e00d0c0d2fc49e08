// The report poll at idle ticks, through the gateway simulator: the answers,
// the counting and giving up, the order suffix, Null counts, shared message
// ids, rows without a message id, quotes and over-long answers; the recheck.

#include "DispatchFixture.h"
#include "core/Schema.h"
#include "gateway/GatewaySim.h"

#include <QJsonObject>
#include <QUrlQuery>

using Kind = TickOutcome::Kind;
using Outcome = ReportPoll::Outcome;

class TestReportPoll : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void answers_data();
    void answers();
    void countingPastTwentyFive();
    void suffixAlternates();
    void nullTryStaysNull();
    void rowsSentThisRunTakeTurns();
    void sameMessageIdUpdatesBoth();
    void rowsWithoutIdPassedOver();
    void gatewayFailureChangesNothing();
    void reportUrl_data();
    void reportUrl();
    void recheck();

private:
    // Scripts the answer of one id (percent-encoded into the control URL).
    void script(const QString& id, const QString& answer);
    QStringList askedIds();
    QVariantMap row(const QString& mobile) { return m_f->ledgerByMobile(mobile); }

    std::unique_ptr<GatewaySim> m_sim;
    std::unique_ptr<DispatchFixture> m_f;
};

void TestReportPoll::init()
{
    m_sim = std::make_unique<GatewaySim>();
    QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->errorString()));
    QVERIFY(m_sim->control(QStringLiteral("report-default?answer=pending")));
    m_f = std::make_unique<DispatchFixture>(m_sim->baseUrl());
}

void TestReportPoll::cleanup()
{
    m_f.reset();
    m_sim.reset();
}

void TestReportPoll::script(const QString& id, const QString& answer)
{
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("id"), id);
    q.addQueryItem(QStringLiteral("answer"), answer);
    QVERIFY(m_sim->control(QStringLiteral("report?") + q.toString(QUrl::FullyEncoded)));
}

QStringList TestReportPoll::askedIds()
{
    QStringList ids;
    for (const QJsonObject& r : m_sim->requests())
        if (r.value("path").toString() == QStringLiteral("/report"))
            ids << r.value("query").toObject().value("id").toString();
    return ids;
}

void TestReportPoll::answers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QVariant>("tryBefore");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QVariant>("tryAfter");
    QTest::addColumn<bool>("suffixFlipped");
    QTest::addColumn<QVariant>("reply"); // invalid: the answer itself

    const QVariant null;
    const int Y = int(Outcome::Delivered), N = int(Outcome::NotDelivered), I = int(Outcome::Inconclusive);
    QTest::newRow("delivered") << "DELIVRD" << QVariant(3) << Y << "Y" << QVariant(3) << false << QVariant();
    QTest::newRow("delivered wins over NCPR")
        << "NCPR DELIVRD" << QVariant(3) << Y << "Y" << QVariant(3) << false << QVariant();
    QTest::newRow("NCPR") << "stat:NCPR" << QVariant(3) << N << "N" << QVariant(3) << false << QVariant();
    QTest::newRow("ncpr in any case")
        << "ncpr" << QVariant(0) << N << "N" << QVariant(0) << false << QVariant();
    QTest::newRow("delivrd in lower case is inconclusive")
        << "delivrd" << QVariant(3) << I << "P" << QVariant(4) << true << QVariant();
    QTest::newRow("inconclusive counted")
        << "pending" << QVariant(0) << I << "P" << QVariant(1) << true << QVariant();
    QTest::newRow("empty answer counted")
        << "" << QVariant(7) << I << "P" << QVariant(8) << true << QVariant();
    QTest::newRow("Null try stays Null") << "pending" << null << I << "P" << null << false << QVariant();
    QTest::newRow("25 counted to 26, still pending")
        << "pending" << QVariant(25) << I << "P" << QVariant(26) << true << QVariant();
    QTest::newRow("26: given up and still counted")
        << "pending" << QVariant(26) << I << "N" << QVariant(27) << true << QVariant();
    QTest::newRow("50: not counted further")
        << "pending" << QVariant(50) << I << "N" << QVariant(50) << false << QVariant(QString());
    const QString longAnswer = QStringLiteral("DELIVRD ") + QString(300, QLatin1Char('x'));
    QTest::newRow("over-long answer cut") << longAnswer << QVariant(1) << Y << "Y" << QVariant(1) << false
                                          << QVariant(longAnswer.left(Schema::ReplyWidth));
    const QString longPending = QString(300, QLatin1Char('p'));
    QTest::newRow("over-long inconclusive answer cut")
        << longPending << QVariant(1) << I << "P" << QVariant(2) << true << QVariant(longPending.left(251));
    QTest::newRow("quote stored as received")
        << "it's pending" << QVariant(1) << I << "P" << QVariant(2) << true << QVariant();
    QTest::newRow("quote in a delivery")
        << "DELIVRD 'ok'" << QVariant(1) << Y << "Y" << QVariant(1) << false << QVariant();
}

void TestReportPoll::answers()
{
    QFETCH(QString, answer);
    QFETCH(QVariant, tryBefore);
    QFETCH(int, outcome);
    QFETCH(QString, status);
    QFETCH(QVariant, tryAfter);
    QFETCH(bool, suffixFlipped);
    QFETCH(QVariant, reply);

    m_f->ledgerRow(QStringLiteral("9876500001"), QStringLiteral("4711"), QStringLiteral("P"), tryBefore);
    script(QStringLiteral("4711"), answer);

    const TickOutcome& o = m_f->tick();
    QCOMPARE(o.kind, Kind::Idle);
    QVERIFY(o.reportPolled);
    QCOMPARE(int(o.report), outcome);
    QCOMPARE(askedIds(), QStringList{QStringLiteral("4711")});
    const QVariantMap r = row(QStringLiteral("9876500001"));
    QCOMPARE(r.value("status").toString(), status);
    QCOMPARE(r.value("try").isNull(), tryAfter.isNull());
    if (!tryAfter.isNull())
        QCOMPARE(r.value("try").toInt(), tryAfter.toInt());
    QCOMPARE(r.value("reply").toString(), reply.isValid() ? reply.toString() : answer);
    QCOMPARE(m_f->engine->reportPoll().orderSuffix(), suffixFlipped ? QStringLiteral(" desc ") : QString());
    QCOMPARE(m_f->trace(), QStringLiteral("1 2 \r\n"));
}

void TestReportPoll::countingPastTwentyFive()
{
    m_f->ledgerRow(QStringLiteral("9876500001"), QStringLiteral("77"), QStringLiteral("P"), 0);
    // A delivered row counted past 25 stays delivered: only pending rows are given up.
    m_f->ledgerRow(QStringLiteral("9876500099"), QStringLiteral("99"), QStringLiteral("Y"), 26);
    for (int i = 1; i <= 26; ++i) {
        QCOMPARE(m_f->tick().report, Outcome::Inconclusive);
        QCOMPARE(row(QStringLiteral("9876500001")).value("try").toInt(), i);
        QCOMPARE(row(QStringLiteral("9876500001")).value("status").toString(), QStringLiteral("P"));
    }
    QCOMPARE(m_f->tick().report, Outcome::Inconclusive); // 26 -> N (and counted to 27)
    QCOMPARE(row(QStringLiteral("9876500001")).value("status").toString(), QStringLiteral("N"));
    QCOMPARE(row(QStringLiteral("9876500099")).value("status").toString(), QStringLiteral("Y"));
    QCOMPARE(m_f->tick().report, Outcome::NoPendingRow);
    QCOMPARE(askedIds().size(), 27);
}

void TestReportPoll::suffixAlternates()
{
    m_f->ledgerRow(QStringLiteral("9876500003"), QStringLiteral("a3"), QStringLiteral("P"), 3);
    m_f->ledgerRow(QStringLiteral("9876500007"), QStringLiteral("b7"), QStringLiteral("P"), 7);
    m_f->ledgerRow(QStringLiteral("9876500005"), QStringLiteral("c5"), QStringLiteral("P"), 5);

    m_f->tick();
    QCOMPARE(row(QStringLiteral("9876500003")).value("try").toInt(), 4);
    QCOMPARE(m_f->engine->reportPoll().orderSuffix(), QStringLiteral(" desc "));
    m_f->tick();
    QCOMPARE(row(QStringLiteral("9876500007")).value("try").toInt(), 8);
    QCOMPARE(m_f->engine->reportPoll().orderSuffix(), QString());
    m_f->tick();
    m_f->tick();
    QCOMPARE(askedIds(), (QStringList{QStringLiteral("a3"), QStringLiteral("b7"), QStringLiteral("a3"),
                                      QStringLiteral("b7")}));
    QCOMPARE(row(QStringLiteral("9876500005")).value("try").toInt(), 5);
}

void TestReportPoll::nullTryStaysNull()
{
    // Same count order for two rows: the older SDTTm first when ascending.
    m_f->ledgerRow(QStringLiteral("9876500002"), QStringLiteral("z0"), QStringLiteral("P"), 0,
                   QStringLiteral("2024-03-01 09:00:00"));
    m_f->ledgerRow(QStringLiteral("9876500001"), QStringLiteral("n1"), QStringLiteral("P"), QVariant(),
                   QStringLiteral("2024-03-02 09:00:00"));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_f->tick().report, Outcome::Inconclusive);
    QCOMPARE(askedIds(), (QStringList{QStringLiteral("n1"), QStringLiteral("n1"), QStringLiteral("n1")}));
    QVERIFY(row(QStringLiteral("9876500001")).value("try").isNull());
    QCOMPARE(row(QStringLiteral("9876500001")).value("reply").toString(), QStringLiteral("pending"));
    QCOMPARE(row(QStringLiteral("9876500002")).value("try").toInt(), 0);
    QCOMPARE(m_f->engine->reportPoll().orderSuffix(), QString());

    // Once conclusive, the other row's turn comes.
    script(QStringLiteral("n1"), QStringLiteral("DELIVRD"));
    m_f->tick();
    m_f->tick();
    QCOMPARE(askedIds().last(), QStringLiteral("z0"));
    QCOMPARE(row(QStringLiteral("9876500002")).value("try").toInt(), 1);
}

void TestReportPoll::rowsSentThisRunTakeTurns()
{
    // Recorded by this run's ticks, with reports that stay inconclusive:
    // neither row holds back the other.
    m_f->queue(QStringLiteral("9876500001"), QStringLiteral("one"));
    m_f->queue(QStringLiteral("9876500002"), QStringLiteral("two"));
    QCOMPARE(m_f->tick().kind, Kind::Sent);
    QCOMPARE(m_f->tick().kind, Kind::Sent);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_f->tick().report, Outcome::Inconclusive);
    const QStringList asked = askedIds();
    QVERIFY2(asked.contains(QStringLiteral("9876500001")) && asked.contains(QStringLiteral("9876500002")),
             qPrintable(asked.join(u',')));
}

void TestReportPoll::sameMessageIdUpdatesBoth()
{
    m_f->ledgerRow(QStringLiteral("9876500001"), QStringLiteral("555"), QStringLiteral("P"), 2);
    m_f->ledgerRow(QStringLiteral("9876500002"), QStringLiteral("555"), QStringLiteral("N"), 9);
    m_f->ledgerRow(QStringLiteral("9876500003"), QStringLiteral("556"), QStringLiteral("P"), 2);
    script(QStringLiteral("555"), QStringLiteral("id:555 stat:DELIVRD"));
    QCOMPARE(m_f->tick().report, Outcome::Delivered);
    for (const char* m : {"9876500001", "9876500002"}) {
        QCOMPARE(row(QString::fromLatin1(m)).value("status").toString(), QStringLiteral("Y"));
        QCOMPARE(row(QString::fromLatin1(m)).value("reply").toString(),
                 QStringLiteral("id:555 stat:DELIVRD"));
    }
    QCOMPARE(row(QStringLiteral("9876500003")).value("status").toString(), QStringLiteral("P"));
    QVERIFY(row(QStringLiteral("9876500003")).value("reply").isNull());
}

void TestReportPoll::rowsWithoutIdPassedOver()
{
    m_f->ledgerRow(QStringLiteral("9876500001"), QVariant(), QStringLiteral("P"), QVariant());
    m_f->ledgerRow(QStringLiteral("9876500002"), QString(""), QStringLiteral("P"), 0);
    m_f->ledgerRow(QStringLiteral("9876500003"), QStringLiteral("id3"), QStringLiteral("P"), 4);
    script(QStringLiteral("id3"), QStringLiteral("NCPR"));

    const TickOutcome& o = m_f->tick();
    QCOMPARE(o.kind, Kind::Idle);
    QCOMPARE(o.report, Outcome::NotDelivered);
    QCOMPARE(askedIds(), QStringList{QStringLiteral("id3")});
    QCOMPARE(row(QStringLiteral("9876500003")).value("status").toString(), QStringLiteral("N"));
    // Only rows without an id are left pending; nothing more is asked.
    QCOMPARE(m_f->tick().report, Outcome::NoPendingRow);
    QCOMPARE(askedIds().size(), 1);
    QCOMPARE(row(QStringLiteral("9876500001")).value("status").toString(), QStringLiteral("P"));
    QCOMPARE(row(QStringLiteral("9876500002")).value("status").toString(), QStringLiteral("P"));
}

void TestReportPoll::gatewayFailureChangesNothing()
{
    m_f->ledgerRow(QStringLiteral("9876500001"), QStringLiteral("42"), QStringLiteral("P"), 3);
    QVERIFY(m_sim->control(QStringLiteral("fail-next?count=1&mode=http500")));
    const TickOutcome& o = m_f->tick();
    QCOMPARE(o.kind, Kind::Failed);
    QCOMPARE(o.errorNumber, 500);
    QVERIFY(m_f->trace().startsWith(QStringLiteral("1 2 \r\nError\r\n 500")));
    const QVariantMap r = row(QStringLiteral("9876500001"));
    QCOMPARE(r.value("try").toInt(), 3);
    QVERIFY(r.value("reply").isNull());
    QCOMPARE(m_f->engine->reportPoll().orderSuffix(), QString());
    // The next idle tick asks again.
    QCOMPARE(m_f->tick().report, Outcome::Inconclusive);
    QCOMPARE(row(QStringLiteral("9876500001")).value("try").toInt(), 4);
}

void TestReportPoll::reportUrl_data()
{
    QTest::addColumn<QString>("reportTemplate");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("url");
    QTest::newRow("id at the end") << "http://h/r?id=<MassgeID>"
                                   << "12345"
                                   << "http://h/r?id=12345";
    QTest::newRow("every occurrence") << "http://h/r?a=<MassgeID>&b=<MassgeID>"
                                      << "7"
                                      << "http://h/r?a=7&b=7";
    QTest::newRow("letter case counts") << "http://h/r?id=<massgeid>"
                                        << "7"
                                        << "http://h/r?id=<massgeid>";
    QTest::newRow("CR LF removed") << "http://h/r?id=<MassgeID>\r\n"
                                   << "7"
                                   << "http://h/r?id=7";
    QTest::newRow("CR LF from the id removed") << "http://h/r?id=<MassgeID>"
                                               << "7\r\n"
                                               << "http://h/r?id=7";
    QTest::newRow("id not encoded") << "http://h/r?id=<MassgeID>"
                                    << "a b&c"
                                    << "http://h/r?id=a b&c";
}

void TestReportPoll::reportUrl()
{
    QFETCH(QString, reportTemplate);
    QFETCH(QString, id);
    QFETCH(QString, url);
    QCOMPARE(ReportPoll::reportUrl(reportTemplate, id), url);
}

void TestReportPoll::recheck()
{
    m_f->ledgerRow(QStringLiteral("9876500001"), QStringLiteral("1"), QStringLiteral("Y"), 3);
    m_f->ledgerRow(QStringLiteral("9876500002"), QStringLiteral("2"), QStringLiteral("N"), 27);
    m_f->ledgerRow(QStringLiteral("9876500003"), QStringLiteral("3"), QStringLiteral("P"), 3);
    m_f->ledgerRow(QStringLiteral("9876500004"), QStringLiteral("4"), QStringLiteral("X"), QVariant());
    QCOMPARE(ReportPoll::recheck(m_f->store()), 3);
    QCOMPARE(row(QStringLiteral("9876500001")).value("status").toString(), QStringLiteral("Y"));
    QCOMPARE(row(QStringLiteral("9876500001")).value("try").toInt(), 3);
    for (const char* m : {"9876500002", "9876500003", "9876500004"}) {
        QCOMPARE(row(QString::fromLatin1(m)).value("status").toString(), QStringLiteral("P"));
        QCOMPARE(row(QString::fromLatin1(m)).value("try").toInt(), 20);
    }
}

QTEST_GUILESS_MAIN(TestReportPoll)
#include "tst_reportpoll.moc"

// The delivery report poll on the ledger with a scripted gateway: the answers, the counting and giving
// up, the order suffix, Null counts, shared message ids, rows without a message id, gateway failures.

#include "StoreFixture.h"
#include "TaskWait.h"
#include "channels/ChannelError.h"
#include "core/Schema.h"
#include "dispatch/ReportPoll.h"

#include <QTest>

using Outcome = ReportPoll::Outcome;

class TestReportPoll : public QObject
{
    Q_OBJECT
    std::unique_ptr<StoreFixture> m_f;
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
    QVariantMap row(const QString& mobile)
    {
        return m_f->rows("SELECT * FROM sms WHERE Mobile = ?", {mobile}).value(0);
    }

private Q_SLOTS:
    void init()
    {
        m_f = std::make_unique<StoreFixture>();
        m_poll = ReportPoll();
        m_asked.clear();
        m_answers.clear();
        m_gatewayDown = false;
    }

    void answers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QVariant>("tryBefore");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QVariant>("tryAfter");
        QTest::addColumn<bool>("suffixFlipped");
        QTest::addColumn<QVariant>("reply"); // invalid: the answer itself
        const auto row = [](const char* name, const QString& answer, const QVariant& before, Outcome outcome,
                            const QString& status, const QVariant& after, bool flipped,
                            const QVariant& reply = QVariant()) {
            QTest::newRow(name) << answer << before << int(outcome) << status << after << flipped << reply;
        };
        const QVariant null;
        const Outcome Y = Outcome::Delivered, N = Outcome::NotDelivered, I = Outcome::Inconclusive;
        row("delivered", "DELIVRD", 3, Y, "Y", 3, false);
        row("delivered wins over NCPR", "NCPR DELIVRD", 3, Y, "Y", 3, false);
        row("NCPR", "stat:NCPR", 3, N, "N", 3, false);
        row("ncpr in any case", "ncpr", 0, N, "N", 0, false);
        row("delivrd in lower case is inconclusive", "delivrd", 3, I, "P", 4, true);
        row("inconclusive counted", "pending", 0, I, "P", 1, true);
        row("empty answer counted", "", 7, I, "P", 8, true);
        row("Null try stays Null", "pending", null, I, "P", null, false);
        row("25 counted to 26, still pending", "pending", 25, I, "P", 26, true);
        row("26: given up and still counted", "pending", 26, I, "N", 27, true);
        row("50: not counted further", "pending", 50, I, "N", 50, false, QString());
        const QString longAnswer = "DELIVRD " + QString(300, QLatin1Char('x'));
        row("over-long answer cut", longAnswer, 1, Y, "Y", 1, false, longAnswer.left(Schema::ReplyWidth));
        const QString longPending = QString(300, QLatin1Char('p'));
        row("over-long inconclusive answer cut", longPending, 1, I, "P", 2, true, longPending.left(251));
        row("quote stored as received", "it's pending", 1, I, "P", 2, true);
        row("quote in a delivery", "DELIVRD 'ok'", 1, Y, "Y", 1, false);
    }
    void answers()
    {
        QFETCH(QString, answer);
        QFETCH(QVariant, tryBefore);
        QFETCH(int, outcome);
        QFETCH(QString, status);
        QFETCH(QVariant, tryAfter);
        QFETCH(bool, suffixFlipped);
        QFETCH(QVariant, reply);
        pending("9876500001", "4711", tryBefore);
        // Counted past the limit but delivered: only pending rows are given up.
        pending("9876500099", "99", 30, {{"Status", "Y"}});
        m_answers.insert("4711", answer);

        QCOMPARE(int(poll()), outcome);
        QCOMPARE(m_asked, QStringList{"4711"});
        const QVariantMap r = row("9876500001");
        QCOMPARE(r.value("status").toString(), status);
        QCOMPARE(r.value("try").isNull(), tryAfter.isNull());
        if (!tryAfter.isNull())
            QCOMPARE(r.value("try").toInt(), tryAfter.toInt());
        QCOMPARE(r.value("reply").toString(), reply.isValid() ? reply.toString() : answer);
        QCOMPARE(m_poll.orderSuffix(), suffixFlipped ? " desc " : QString());
        QCOMPARE(row("9876500099").value("status").toString(), "Y");
        QCOMPARE(row("9876500099").value("try").toInt(), 30);
    }

    void suffixAlternates()
    {
        pending("9876500003", "a3", 3);
        pending("9876500007", "b7", 7);
        pending("9876500005", "c5", 5);
        poll();
        QCOMPARE(row("9876500003").value("try").toInt(), 4);
        QCOMPARE(m_poll.orderSuffix(), " desc ");
        poll();
        QCOMPARE(row("9876500007").value("try").toInt(), 8);
        QCOMPARE(m_poll.orderSuffix(), QString());
        poll();
        poll();
        QCOMPARE(m_asked, (QStringList{"a3", "b7", "a3", "b7"}));
        QCOMPARE(row("9876500005").value("try").toInt(), 5);
    }

    void nullTryStaysNull()
    {
        // Same count order for two rows: the older SDTTm first when ascending.
        pending("9876500002", "z0", 0, {{"SDTTm", "2024-03-01 09:00:00"}});
        pending("9876500001", "n1", QVariant(), {{"SDTTm", "2024-03-02 09:00:00"}});
        for (int i = 0; i < 3; ++i)
            QCOMPARE(poll(), Outcome::Inconclusive);
        QCOMPARE(m_asked, (QStringList{"n1", "n1", "n1"}));
        QVERIFY(row("9876500001").value("try").isNull());
        QCOMPARE(row("9876500001").value("reply").toString(), "pending");
        QCOMPARE(row("9876500002").value("try").toInt(), 0);
        QCOMPARE(m_poll.orderSuffix(), QString());

        // Once conclusive, the other row's turn comes.
        m_answers.insert("n1", "DELIVRD");
        poll();
        poll();
        QCOMPARE(m_asked.last(), "z0");
        QCOMPARE(row("9876500002").value("try").toInt(), 1);
    }

    void sameMessageIdUpdatesBoth()
    {
        pending("9876500001", "555", 2);
        pending("9876500002", "555", 9, {{"Status", "N"}});
        pending("9876500003", "556", 2);
        m_answers.insert("555", "id:555 stat:DELIVRD");
        QCOMPARE(poll(), Outcome::Delivered);
        QCOMPARE(m_f->column("SELECT Status || ' ' || coalesce(Reply, '-') FROM sms ORDER BY Mobile"),
                 (QStringList{"Y id:555 stat:DELIVRD", "Y id:555 stat:DELIVRD", "P -"}));
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
        QCOMPARE(m_f->column("SELECT Status FROM sms ORDER BY Mobile"), (QStringList{"P", "P", "N"}));
    }

    void gatewayFailureChangesNothing()
    {
        pending("9876500001", "42", 3);
        m_gatewayDown = true;
        QVERIFY_THROWS_EXCEPTION(ChannelError, poll());
        const QVariantMap r = row("9876500001");
        QCOMPARE(r.value("status").toString(), "P");
        QCOMPARE(r.value("try").toInt(), 3);
        QVERIFY(r.value("reply").isNull());
        QCOMPARE(m_poll.orderSuffix(), QString());
        // The next poll asks again.
        m_gatewayDown = false;
        QCOMPARE(poll(), Outcome::Inconclusive);
        QCOMPARE(row("9876500001").value("try").toInt(), 4);
    }

    void reportUrl_data()
    {
        QTest::addColumn<QString>("reportTemplate");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("url");
        const auto row = [](const char* name, const QString& reportTemplate, const QString& id,
                            const QString& url) { QTest::newRow(name) << reportTemplate << id << url; };
        row("id at the end", "http://h/r?id=<MassgeID>", "12345", "http://h/r?id=12345");
        row("every occurrence", "http://h/r?a=<MassgeID>&b=<MassgeID>", "7", "http://h/r?a=7&b=7");
        row("letter case counts", "http://h/r?id=<massgeid>", "7", "http://h/r?id=<massgeid>");
        row("CR LF removed", "http://h/r?id=<MassgeID>\r\n", "7", "http://h/r?id=7");
        row("CR LF from the id removed", "http://h/r?id=<MassgeID>", "7\r\n", "http://h/r?id=7");
        row("id not encoded", "http://h/r?id=<MassgeID>", "a b&c", "http://h/r?id=a b&c");
    }
    void reportUrl()
    {
        QFETCH(QString, reportTemplate);
        QFETCH(QString, id);
        QFETCH(QString, url);
        QCOMPARE(ReportPoll::reportUrl(reportTemplate, id), url);
    }
};

QTEST_GUILESS_MAIN(TestReportPoll)
#include "tst_reportpoll.moc"

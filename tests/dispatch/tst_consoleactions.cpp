// The operator's actions on a real console (offscreen) with a scripted prompt: the balance, "Delete this
// SMS" (also during a running send), the password change and the recheck.

#include "EngineFixture.h"
#include "ScriptedPrompt.h"
#include "console/ConsoleActions.h"
#include "console/ConsoleWindow.h"
#include "gateway/GatewaySim.h"

#include <QJsonObject>
#include <QTest>
#include <QWidget>

#include <functional>

using Field = ConsoleState::Field;

namespace {
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

class TestConsoleActions : public QObject
{
    Q_OBJECT
    std::unique_ptr<GatewaySim> m_sim;
    std::unique_ptr<EngineFixture> m_f;
    std::unique_ptr<HookedPrompt> m_prompt;
    std::unique_ptr<ConsoleWindow> m_form;
    ConsoleActions* m_actions = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        m_sim = std::make_unique<GatewaySim>();
        QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->errorString()));
    }
    void init()
    {
        QVERIFY(m_sim->control("reset"));
        m_f = std::make_unique<EngineFixture>(m_sim->baseUrl());
        m_prompt = std::make_unique<HookedPrompt>();
        ConsoleOptions options;
        options.settingsFile = m_f->path("console.ini");
        options.tray = ConsoleTray::Availability::Unavailable;
        m_form = std::make_unique<ConsoleWindow>(m_f->context(), *m_f->engine, options);
        m_actions = new ConsoleActions(*m_form, *m_f->engine);
    }
    void cleanup()
    {
        if (m_f) // a failed check may leave a tick running
            TaskWait::run(m_f->engine->waitUntilIdle());
        m_form.reset();
        m_prompt.reset();
        m_f.reset();
    }

    void displayBalance_data()
    {
        QTest::addColumn<QString>("balanceUrl"); // "sim": the simulator's, "refused": nothing listens
        QTest::addColumn<QString>("response");
        QTest::addColumn<bool>("failureShown");
        QTest::newRow("fetched") << "sim"
                                 << "Balance: 1000" << false;
        QTest::newRow("no balance URL") << ""
                                        << "kept" << false;
        QTest::newRow("gateway down") << "refused"
                                      << "kept" << true;
    }
    void displayBalance()
    {
        QFETCH(QString, balanceUrl);
        QFETCH(QString, response);
        QFETCH(bool, failureShown);
        if (balanceUrl == QLatin1String("refused"))
            m_f->profile().balanceUrl = EngineFixture::refusingUrl("/balance");
        else if (balanceUrl.isEmpty())
            m_f->profile().balanceUrl.clear();
        m_f->console().setText(Field::Response, "kept");
        auto* link = m_form->findChild<QWidget*>("Lbbal");
        QVERIFY(link);
        link->show();

        TaskWait::run(m_actions->displayBalance());
        QCOMPARE(m_f->text(Field::Response), response);
        QVERIFY(!link->isHidden());
        QCOMPARE(m_prompt->messages.size(), failureShown ? 1 : 0);
        if (failureShown) {
            QCOMPARE(m_prompt->messages[0].icon, Prompt::Icon::Critical);
            QVERIFY(m_prompt->messages[0].text.contains("balance"));
        }
        QCOMPARE(m_sim->count(), balanceUrl == QLatin1String("sim") ? 1 : 0);
    }

    void deleteShownNumber_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("mobile");
        QTest::newRow("answered No") << false << QStringList{"a", "b", "c", "stored otherwise"}
                                     << "9876500001";
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
        m_f->console().setText(Field::DeleteTag, " 9876500001");
        m_f->console().setText(Field::Mobile, "9876500001");
        m_f->console().setText(Field::Message, "a");
        m_prompt->answers = {yes ? Prompt::Answer::Yes : Prompt::Answer::No};
        Q_EMIT m_form->deleteRequested(); // the link's click
        QTRY_COMPARE(m_f->column("SELECT msg FROM Rsms ORDER BY rowid"), left);
        QCOMPARE(m_f->text(Field::Mobile), mobile);
        QCOMPARE(m_f->text(Field::Message), yes ? QString() : "a");
        QCOMPARE(m_prompt->questions.size(), 1);
        QVERIFY(m_prompt->messages.isEmpty());
    }

    void deleteTakesTheNumberShownWhenAsked()
    {
        m_f->queue("9876500001", "a");
        m_f->queue("9876500002", "b");
        m_f->console().setText(Field::DeleteTag, "9876500001");
        // A tick shows the next message while the question is open.
        m_prompt->duringQuestion = [this] { m_f->console().setText(Field::DeleteTag, "9876500002"); };
        m_prompt->answers = {Prompt::Answer::Yes};
        TaskWait::run(m_actions->deleteShownNumber());
        QCOMPARE(m_f->column("SELECT Mobile FROM Rsms"), QStringList{"9876500002"});
    }

    void deleteDuringRunningSendWaits()
    {
        QVERIFY(m_sim->control("latency?ms=600"));
        m_f->profile().balanceUrl.clear();
        m_f->queue("9876500001", "being sent");
        m_f->queue("9876500002", "other number", {{"urgent", 1}});
        m_f->queue("9876500001", "same number, later", {{"urgent", 2}});

        QCoro::Task<> tick = m_f->engine->runTick(); // waits for the gateway
        QVERIFY(m_f->engine->tickRunning());
        QTRY_COMPARE(m_f->text(Field::DeleteTag), "9876500001"); // the send has begun
        QVERIFY(m_f->engine->tickRunning());
        m_prompt->answers = {Prompt::Answer::Yes};
        QCoro::Task<> deletion = m_actions->deleteShownNumber();
        // Nothing deleted while the send is under way.
        QCOMPARE(m_f->count("Rsms"), 3);
        TaskWait::run(std::move(deletion));
        QVERIFY(!m_f->engine->tickRunning());
        TaskWait::run(std::move(tick));

        QCOMPARE(m_f->engine->lastOutcome().kind, TickOutcome::Kind::Sent);
        QCOMPARE(m_f->column("SELECT msg FROM sms"), QStringList{"being sent"});
        QCOMPARE(m_f->column("SELECT msg FROM Rsms"), QStringList{"other number"});
        QVERIFY(m_prompt->messages.isEmpty());

        // The other number goes next; nothing is sent twice.
        m_f->tick();
        QCOMPARE(m_f->count("sms"), 2);
        QCOMPARE(m_f->count("Rsms"), 0);
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
        row("new cancelled", {"pw-acme"}, 0, none, "pw-acme");
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
        m_f->addProfile("acme2", {{"Provider", m_f->profile().sendUrl}});
        m_f->addProfile("other");
        m_prompt->inputs = inputs;

        Q_EMIT m_form->passwordChangeRequested();

        QCOMPARE(m_prompt->inputs.size(), unasked);
        QCOMPARE(m_prompt->messages.size(), icon < 0 ? 0 : 1);
        if (icon >= 0)
            QCOMPARE(int(m_prompt->messages[0].icon), icon);
        const bool changed = stored != QLatin1String("pw-acme");
        QCOMPARE(
            m_f->column("SELECT UName || ' ' || Password FROM config ORDER BY UName"),
            (QStringList{"acme " + stored, "acme2 " + (changed ? stored : "pw-acme2"), "other pw-other"}));
        QCOMPARE(m_f->profile().password, stored);
        if (changed) {
            // The next send uses it.
            m_f->queue("9876500001", "x");
            m_f->profile().balanceUrl.clear();
            m_f->tick();
            QCOMPARE(m_sim->requests().at(0).value("query").toObject().value("p").toString(), stored);
        }
    }

    void recheck()
    {
        const auto row = [this](const char* mobile, const char* status, const QVariant& tries) {
            m_f->ledger(QString::fromLatin1(mobile), {{"Status", status}, {"Try", tries}});
        };
        row("9876500001", "Y", 3);
        row("9876500002", "N", 27);
        row("9876500003", "P", 3);
        row("9876500004", "X", QVariant());
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
};

QTEST_MAIN(TestConsoleActions)
#include "tst_consoleactions.moc"

// The operator's actions on a real console (offscreen) with a scripted
// prompt: the balance, "Delete this SMS" (also during a running send), the
// password change and the recheck.

#include "DispatchFixture.h"
#include "console/ConsoleActions.h"
#include "console/ConsoleWindow.h"
#include "gateway/GatewaySim.h"
#include "ui/Prompt.h"

#include <QJsonObject>
#include <QWidget>
#include <functional>
#include <optional>

using Field = ConsoleState::Field;

namespace {
class ScriptPrompt : public Prompt
{
public:
    struct Shown
    {
        QString title;
        QString text;
        Icon icon;
    };
    QList<Shown> shown;
    QList<Answer> answers;                // question(): taken in order, No when none left
    QList<std::optional<QString>> inputs; // input(): nullopt is a cancelled box
    QStringList inputLabels, inputTitles;
    std::function<void()> duringQuestion; // runs while the question is open

    void message(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        shown.append({title, text, icon});
    }
    Answer question(QWidget*, const QString& title, const QString& text) override
    {
        shown.append({title, text, Icon::Question});
        if (duringQuestion)
            duringQuestion();
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }
    bool input(QWidget*, const QString& title, const QString& label, QString& value) override
    {
        inputTitles << title;
        inputLabels << label;
        const std::optional<QString> next = inputs.isEmpty() ? std::nullopt : inputs.takeFirst();
        value = next.value_or(QString());
        return next.has_value();
    }
    QString openFileName(QWidget*, const QString&, const QString&) override { return QString(); }
};
} // namespace

class TestConsoleActions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void displayBalance_data();
    void displayBalance();
    void deleteAnsweredNo();
    void deleteAnsweredYes();
    void deleteTakesTheNumberShownWhenAsked();
    void deleteDuringRunningSendWaits();
    void changePassword_data();
    void changePassword();
    void recheck();

private:
    QString password(const QString& user)
    {
        return m_f->store()
            .scalar(QStringLiteral("select Password from config where UName = ?"), {user})
            .toString();
    }
    std::unique_ptr<GatewaySim> m_sim;
    std::unique_ptr<DispatchFixture> m_f;
    std::unique_ptr<ConsoleWindow> m_form;
    ConsoleActions* m_actions = nullptr;
    ScriptPrompt m_prompt;
};

void TestConsoleActions::init()
{
    m_sim = std::make_unique<GatewaySim>();
    QVERIFY2(m_sim->isRunning(), qPrintable(m_sim->errorString()));
    m_f = std::make_unique<DispatchFixture>(m_sim->baseUrl());
    m_prompt = ScriptPrompt();
    Prompt::install(&m_prompt);
    ConsoleOptions options;
    options.settingsFile = m_f->dir.filePath(QStringLiteral("console.ini"));
    options.tray = ConsoleTray::Availability::Unavailable;
    m_form = std::make_unique<ConsoleWindow>(*m_f->context, *m_f->engine, options);
    m_actions = new ConsoleActions(*m_form, *m_f->engine);
}

void TestConsoleActions::cleanup()
{
    if (m_f) // a failed check may leave a tick running
        TaskWait::run(m_f->engine->waitUntilIdle());
    m_form.reset();
    Prompt::install(nullptr);
    m_f.reset();
    m_sim.reset();
}

void TestConsoleActions::displayBalance_data()
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

void TestConsoleActions::displayBalance()
{
    QFETCH(QString, balanceUrl);
    QFETCH(QString, response);
    QFETCH(bool, failureShown);
    if (balanceUrl == QLatin1String("refused"))
        m_f->context->profile().balanceUrl =
            QStringLiteral("http://127.0.0.1:%1/balance").arg(DispatchFixture::closedPort());
    else if (balanceUrl.isEmpty())
        m_f->context->profile().balanceUrl.clear();
    m_f->console().setText(Field::Response, QStringLiteral("kept"));
    auto* link = m_form->findChild<QWidget*>(QStringLiteral("Lbbal"));
    QVERIFY(link);
    link->show();

    TaskWait::run(m_actions->displayBalance());
    QCOMPARE(m_f->text(Field::Response), response);
    QVERIFY(!link->isHidden());
    QCOMPARE(m_prompt.shown.size(), failureShown ? 1 : 0);
    if (failureShown) {
        QCOMPARE(m_prompt.shown[0].icon, Prompt::Icon::Critical);
        QVERIFY(m_prompt.shown[0].text.contains(QStringLiteral("balance")));
    }
    QCOMPARE(m_sim->count(), balanceUrl == QLatin1String("sim") ? 1 : 0);
}

void TestConsoleActions::deleteAnsweredNo()
{
    m_f->queue(QStringLiteral(" 9876500001"), QStringLiteral("a"));
    m_f->console().setText(Field::DeleteTag, QStringLiteral(" 9876500001"));
    m_f->console().setText(Field::Mobile, QStringLiteral("9876500001"));
    m_prompt.answers = {Prompt::Answer::No};
    Q_EMIT m_form->deleteRequested(); // the link's click
    QCOMPARE(m_prompt.shown.size(), 1);
    QCOMPARE(m_prompt.shown[0].text, QStringLiteral("Are You Sure Want Delete This SMS "));
    QCOMPARE(m_prompt.shown[0].title, QString());
    QCOMPARE(m_f->queued().size(), 1);
    QCOMPARE(m_f->text(Field::Mobile), QStringLiteral("9876500001"));
}

void TestConsoleActions::deleteAnsweredYes()
{
    m_f->queue(QStringLiteral(" 9876500001"), QStringLiteral("a"));
    m_f->queue(QStringLiteral(" 9876500002"), QStringLiteral("b"));
    m_f->queue(QStringLiteral(" 9876500001"), QStringLiteral("c"));
    m_f->queue(QStringLiteral("9876500001"), QStringLiteral("stored otherwise: kept"));
    m_f->console().setText(Field::DeleteTag, QStringLiteral(" 9876500001"));
    m_f->console().setText(Field::Mobile, QStringLiteral("9876500001"));
    m_f->console().setText(Field::Message, QStringLiteral("a"));
    m_prompt.answers = {Prompt::Answer::Yes};
    TaskWait::run(m_actions->deleteShownNumber());
    const QList<QVariantMap> left = m_f->queued();
    QCOMPARE(left.size(), 2);
    QCOMPARE(left[0].value("msg").toString(), QStringLiteral("b"));
    QCOMPARE(left[1].value("msg").toString(), QStringLiteral("stored otherwise: kept"));
    QCOMPARE(m_f->text(Field::Mobile), QString());
    QCOMPARE(m_f->text(Field::Message), QString());
    QCOMPARE(m_prompt.shown.size(), 1); // the question only
}

void TestConsoleActions::deleteTakesTheNumberShownWhenAsked()
{
    m_f->queue(QStringLiteral("9876500001"), QStringLiteral("a"));
    m_f->queue(QStringLiteral("9876500002"), QStringLiteral("b"));
    m_f->console().setText(Field::DeleteTag, QStringLiteral("9876500001"));
    // A tick shows the next message while the question is open.
    m_prompt.duringQuestion = [this] {
        m_f->console().setText(Field::DeleteTag, QStringLiteral("9876500002"));
    };
    m_prompt.answers = {Prompt::Answer::Yes};
    TaskWait::run(m_actions->deleteShownNumber());
    const QList<QVariantMap> left = m_f->queued();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left[0].value("mobile").toString(), QStringLiteral("9876500002"));
}

void TestConsoleActions::deleteDuringRunningSendWaits()
{
    QVERIFY(m_sim->control(QStringLiteral("latency?ms=600")));
    m_f->context->profile().balanceUrl.clear();
    m_f->queue(QStringLiteral("9876500001"), QStringLiteral("being sent"), 0);
    m_f->queue(QStringLiteral("9876500002"), QStringLiteral("other number"), 1);
    m_f->queue(QStringLiteral("9876500001"), QStringLiteral("same number, later"), 2);

    QCoro::Task<> tick = m_f->engine->runTick(); // waits for the gateway
    QVERIFY(m_f->engine->tickRunning());
    QTRY_COMPARE(m_f->text(Field::DeleteTag), QStringLiteral("9876500001")); // the send has begun
    QVERIFY(m_f->engine->tickRunning());
    m_prompt.answers = {Prompt::Answer::Yes};
    QCoro::Task<> deletion = m_actions->deleteShownNumber();
    // Nothing deleted while the send is under way.
    QCOMPARE(m_f->queued().size(), 3);
    TaskWait::run(std::move(deletion));
    QVERIFY(!m_f->engine->tickRunning());
    TaskWait::run(std::move(tick));

    QCOMPARE(m_f->engine->lastOutcome().kind, TickOutcome::Kind::Sent);
    const QList<QVariantMap> ledger = m_f->ledger();
    QCOMPARE(ledger.size(), 1);
    QCOMPARE(ledger[0].value("msg").toString(), QStringLiteral("being sent"));
    const QList<QVariantMap> left = m_f->queued();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left[0].value("msg").toString(), QStringLiteral("other number"));
    QCOMPARE(m_prompt.shown.size(), 1);

    // The other number goes next; nothing is sent twice.
    m_f->tick();
    QCOMPARE(m_f->ledger().size(), 2);
    QCOMPARE(m_f->queued().size(), 0);
    QCOMPARE(m_sim->count(), 2);
}

void TestConsoleActions::changePassword_data()
{
    using In = std::optional<QString>;
    QTest::addColumn<QList<In>>("inputs");
    QTest::addColumn<int>("boxes");       // input boxes shown
    QTest::addColumn<QString>("message"); // empty: none
    QTest::addColumn<QString>("stored");  // acme's password afterwards

    const QString changed = QStringLiteral(" Password Changed .. !  Please Remember Password ");
    const QString mismatch = QStringLiteral(" Old Password Mis-match ");
    QTest::newRow("old mismatch") << QList<In>{In("wrong")} << 1 << mismatch << "pw";
    QTest::newRow("old in another letter case") << QList<In>{In("PW")} << 1 << mismatch << "pw";
    QTest::newRow("old cancelled") << QList<In>{std::nullopt} << 1 << mismatch << "pw";
    QTest::newRow("new empty") << QList<In>{In("pw"), In("")} << 2 << ""
                               << "pw";
    QTest::newRow("new cancelled") << QList<In>{In("pw"), std::nullopt} << 2 << ""
                                   << "pw";
    QTest::newRow("confirmation differs") << QList<In>{In("pw"), In("n3w"), In("n3W")} << 3 << ""
                                          << "pw";
    QTest::newRow("confirmation cancelled") << QList<In>{In("pw"), In("n3w"), std::nullopt} << 3 << ""
                                            << "pw";
    QTest::newRow("changed") << QList<In>{In("pw"), In("n3w"), In("n3w")} << 3 << changed << "n3w";
    QTest::newRow("quote in the password")
        << QList<In>{In("pw"), In("it's"), In("it's")} << 3 << changed << "it's";
}

void TestConsoleActions::changePassword()
{
    QFETCH(QList<std::optional<QString>>, inputs);
    QFETCH(int, boxes);
    QFETCH(QString, message);
    QFETCH(QString, stored);
    m_prompt.inputs = inputs;
    Q_EMIT m_form->passwordChangeRequested();

    const QStringList labels{QStringLiteral("Please Enter Your Old Password "),
                             QStringLiteral("Please Enter Your New Password "),
                             QStringLiteral("Conform Password ")};
    QCOMPARE(m_prompt.inputLabels, labels.mid(0, boxes));
    QCOMPARE(m_prompt.inputTitles, QStringList(boxes, QStringLiteral("Change Password ")));
    QCOMPARE(m_prompt.shown.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(m_prompt.shown[0].text, message);
        if (stored == QLatin1String("pw")) {
            QCOMPARE(m_prompt.shown[0].icon, Prompt::Icon::Critical);
            QCOMPARE(m_prompt.shown[0].title, QString());
        } else {
            QCOMPARE(m_prompt.shown[0].icon, Prompt::Icon::Information);
        }
    }
    // Every profile with the same send URL template; the others keep theirs.
    QCOMPARE(password(QStringLiteral("acme")), stored);
    QCOMPARE(password(QStringLiteral("acme2")),
             stored == QLatin1String("pw") ? QStringLiteral("pw2") : stored);
    QCOMPARE(password(QStringLiteral("other")), QStringLiteral("po"));
    QCOMPARE(m_f->context->profile().password, stored);

    if (stored != QLatin1String("pw")) {
        // The next send uses it.
        m_f->queue(QStringLiteral("9876500001"), QStringLiteral("x"));
        m_f->context->profile().balanceUrl.clear();
        m_f->tick();
        QCOMPARE(m_sim->requests().at(0).value("query").toObject().value("p").toString(), stored);
    }
}

void TestConsoleActions::recheck()
{
    m_f->ledgerRow(QStringLiteral("9876500001"), QStringLiteral("1"), QStringLiteral("Y"), 3);
    m_f->ledgerRow(QStringLiteral("9876500002"), QStringLiteral("2"), QStringLiteral("N"), 27);
    m_f->ledgerRow(QStringLiteral("9876500003"), QStringLiteral("3"), QStringLiteral("P"), 3);
    Q_EMIT m_form->recheckRequested();
    QCOMPARE(m_prompt.shown.size(), 1);
    QCOMPARE(m_prompt.shown[0].text,
             QStringLiteral(
                 " Prosses Complate All UnDiliverd SMS Recheck Report This Pross may Take Some Munite "));
    QCOMPARE(m_prompt.shown[0].icon, Prompt::Icon::Information);
    QCOMPARE(m_prompt.shown[0].title, QCoreApplication::applicationName());
    const QVariantMap y = m_f->ledgerByMobile(QStringLiteral("9876500001"));
    QCOMPARE(y.value("status").toString(), QStringLiteral("Y"));
    QCOMPARE(y.value("try").toInt(), 3);
    for (const char* m : {"9876500002", "9876500003"}) {
        const QVariantMap r = m_f->ledgerByMobile(QString::fromLatin1(m));
        QCOMPARE(r.value("status").toString(), QStringLiteral("P"));
        QCOMPARE(r.value("try").toInt(), 20);
    }

    // A store that refuses the statement gives a message, not a crash.
    m_prompt.shown.clear();
    m_f->store().exec(QStringLiteral("drop table sms"));
    Q_EMIT m_form->recheckRequested();
    QCOMPARE(m_prompt.shown.size(), 1);
    QCOMPARE(m_prompt.shown[0].icon, Prompt::Icon::Critical);
}

QTEST_MAIN(TestConsoleActions)
#include "tst_consoleactions.moc"

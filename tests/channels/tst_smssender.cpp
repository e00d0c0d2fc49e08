// SendSMS end to end through the gateway and modem simulators; the queue and ledger; the URL and text rules.

#include "StoreFixture.h"
#include "TaskWait.h"
#include "channels/ChannelError.h"
#include "channels/DeliveryChannels.h"
#include "channels/HttpFetcher.h"
#include "channels/ModemDevicePath.h"
#include "channels/QueueCursor.h"
#include "channels/SendUrl.h"
#include "channels/SentLedger.h"
#include "channels/UrlEncode.h"
#include "channels/Windows1252.h"
#include "core/ProfileState.h"
#include "gateway/GatewaySim.h"
#include "modem/ModemSim.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTcpServer>
#include <QTest>

#include <limits>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Field = ConsoleState::Field;

namespace {
const QString kStoredNumber = u" 55512-34567"_s;
const QString kNumber = u"5551234567"_s;
const QString kStoredText = u"It's\r\nhere 50%+, x,y&z=w \u00e9\t!"_s;
const QString kLedgerTrace = u"Save Data\r\nAdd Record\r\nSave End\r\n"_s;

// "acme" (counter 1234) sends through `sendUrl`; the message is queued before one of urgent 5.
struct Sending
{
    StoreFixture f;
    QueueCursor cursor;
    std::unique_ptr<DeliveryChannels> channels;
    QStringList flags; // the console's flag changes

    explicit Sending(const QString& sendUrl, const QString& storedNumber = kStoredNumber)
    {
        f.loadDefaultProfile("acme", {{"Smsid", 1234}, {"Provider", sendUrl}});
        f.queue("9", "next in line", {{"urgent", 5}});
        f.queue(storedNumber, kStoredText);
        cursor = QueueCursor::openLocal(f.store());
        channels = std::make_unique<DeliveryChannels>(f.context());
        QObject::connect(&console(), &ConsoleState::flagChanged, [this](ConsoleState::Flag flag, bool on) {
            flags << u"%1=%2"_s.arg(QVariant::fromValue(flag).toString()).arg(on);
        });
    }
    ConsoleState& console() { return f.context().console(); }
    QString text(Field field) { return console().text(field); }
    QString state() // ledger rows/queue rows/stored counter
    {
        return f
            .column("SELECT (SELECT count(*) FROM sms) || '/' || (SELECT count(*) FROM Rsms) || '/' || Smsid "
                    "FROM config")
            .join(',');
    }
    void send() { TaskWait::run(channels->sender().sendSms(cursor)); }
};

struct HttpCase
{
    QString mode; // the simulator's send mode
    QString storedNumber;
    int records;   // ledger rows written
    int saveCalls; // calls to the ledger
    QString ans;
};

struct FailureCase
{
    QString control; // the simulator's send mode; empty: the send URL fails by itself
    QString url;     // empty: the simulator's
    int number;
    QString textPart;
};

struct GsmCase
{
    QString simOptions; // empty: no modem, the device does not exist
    int records;
    QString response;
    int errorNumber; // of the error thrown; 0: none
};
const qint32 kLargest = std::numeric_limits<qint32>::max();

QStringList counters(StoreFixture& f)
{
    return f.column("SELECT UName || ' ' || Smsid FROM config ORDER BY UName");
}

struct LedgerCase
{
    bool gsm;
    QString userName;
    QString response;
    QVariantMap queued; // columns of the queue row over those of the other rows
    QVariantMap stored; // ledger columns that differ from those of the other rows
    qint32 counter = 1234;
    bool deletedWhileSending = false;
};
} // namespace

Q_DECLARE_METATYPE(HttpCase)
Q_DECLARE_METATYPE(FailureCase)
Q_DECLARE_METATYPE(GsmCase)
Q_DECLARE_METATYPE(LedgerCase)

class TestSmsSender : public QObject
{
    Q_OBJECT
    std::unique_ptr<GatewaySim> m_gateway;
    QString sendUrl() const
    {
        return m_gateway->baseUrl() + "/send?u=<UName>&p=<PassWord>&to=<mobile>&sid=<GsmSid>&msg=<msg>";
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_gateway = std::make_unique<GatewaySim>();
        QVERIFY2(m_gateway->isRunning(), qPrintable(m_gateway->errorString()));
    }
    void init()
    {
        QVERIFY(m_gateway->control("reset"));
        qunsetenv(ModemDevicePath::EnvironmentVariable);
    }

    void successMarkers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("records");
        const auto row = [](const char* name, const QString& answer, int records,
                            const QString& number = kNumber) {
            QTest::newRow(name) << answer << number << records;
        };
        row("SMS has been Send", "Your SMS has been Send.", 1);
        row("Send Successful", "Send Successful", 1);
        row("lower-case markers refused", "sms has been send / send successful", 0);
        row("Message accepted with an id", "Message accepted 1001", 0);
        row("number and 201: two calls", "201 Created for 5551234567", 2);
        row("every marker", "5551234567 201 SMS has been Send Send Successful", 4);
        row("an empty number is no marker", "Error: bad number", 0, QString());
        row("empty answer", QString(), 0);
    }
    void successMarkers()
    {
        QFETCH(QString, answer);
        QFETCH(QString, number);
        QFETCH(int, records);
        QCOMPARE(SmsSender::successMarkerCount(answer, number), records);
    }

    void http_data()
    {
        QTest::addColumn<HttpCase>("c");
        const auto row = [](const char* name, const HttpCase& c) { QTest::newRow(name) << c; };
        const QString cut = (kNumber + " " + u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"_s.repeated(12)).left(251);
        row("answer with the number", {"number", kStoredNumber, 1, 1, kNumber});
        row("201 Created", {"201", kStoredNumber, 1, 1, "201 Created"});
        row("number holding 201: recorded once", {"number", "2015-550100", 1, 2, "2015550100"});
        row("message id only: no success", {"id", kStoredNumber, 0, 0, ""});
        row("empty answer: no success", {"empty", kStoredNumber, 0, 0, ""});
        row("answer with a quote: no success", {"quote", kStoredNumber, 0, 0, ""});
        row("over-long answer stored cut", {"long", kStoredNumber, 1, 1, cut});
    }
    void http()
    {
        QFETCH(HttpCase, c);
        QVERIFY(m_gateway->control("send-mode?mode=" + c.mode));
        Sending s(sendUrl(), c.storedNumber);

        s.send();

        const QString cleaned = SendUrl::cleanNumber(c.storedNumber);
        const QList<QJsonObject> log = m_gateway->requests();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().value("url").toString(),
                 "/send?u=acme&p=pw-acme&to=" + cleaned +
                     "&sid=GSMID&msg=It+s+here+50%25%2B%2C+x%2Cy%26z%3Dw+%E9%09%21");
        QCOMPARE(log.first().value("query").toObject().value("msg").toString(),
                 u"It s here 50%+, x,y&z=w \u00e9\t!"_s);

        QString trace = " Fire Http \r\n";
        for (int i = 0; i < c.saveCalls; ++i)
            trace += i == 0 ? kLedgerTrace : "Save Data\r\n";
        const int counter = 1234 + c.records;
        QCOMPARE(s.text(Field::Trace), trace);
        QCOMPARE(s.text(Field::DeleteTag), c.storedNumber);
        QCOMPARE(s.text(Field::Mobile), cleaned);
        QCOMPARE(s.text(Field::Message), kStoredText);
        QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(s.text(Field::LastAttempt)).hasMatch());
        QCOMPARE(s.text(Field::Counter), u"Current SMS :  %1"_s.arg(counter));
        QCOMPARE(s.state(), u"%1/%2/%3"_s.arg(c.records).arg(2 - c.records).arg(counter));
        const QList<QVariantMap> ledger = s.f.ledgerRows();
        QCOMPARE(s.cursor.isOpen(), c.records == 0);
        if (c.records) {
            QCOMPARE(ledger.first().value("ans").toString(), c.ans);
            QCOMPARE(ledger.first().value("mobile").toString(), c.storedNumber);
            QCOMPARE(ledger.first().value("msg").toString(), kStoredText);
        } else {
            QCOMPARE(s.f.column("SELECT Mobile FROM Rsms WHERE rowid = ?", {s.cursor.key()}),
                     QStringList{c.storedNumber});
        }
    }

    void httpFailureLeavesRowQueued_data()
    {
        QTest::addColumn<FailureCase>("c");
        const auto row = [](const char* name, const FailureCase& c) { QTest::newRow(name) << c; };
        QTcpServer closed; // a loopback port on which nothing listens
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString refused = u"http://127.0.0.1:%1/send?p=<PassWord>"_s.arg(closed.serverPort());
        row("HTTP 500", {"http500", "", 500, "HTTP 500"});
        row("time-out", {"timeout", "", ChannelError::TimedOut, "Request timed out"});
        row("dropped connection", {"drop", "", QNetworkReply::RemoteHostClosedError, "127.0.0.1"});
        row("nothing listening", {"", refused, QNetworkReply::ConnectionRefusedError, "127.0.0.1"});
        row("not a URL", {"", "not a url", QNetworkReply::ProtocolUnknownError, "invalid URL"});
        row("huge answer", {"huge", "", ChannelError::ReplyTooLarge, "too large"});
        row("endless answer", {"endless", "", ChannelError::ReplyTooLarge, "too large"});
        row("redirect to another host", {"redirect", "", ChannelError::RedirectedAway, "localhost"});
    }
    void httpFailureLeavesRowQueued()
    {
        QFETCH(FailureCase, c);
        if (!c.control.isEmpty())
            QVERIFY(m_gateway->control("send-mode?mode=" + c.control));
        Sending s(sendUrl());
        if (!c.url.isEmpty())
            s.f.context().profile().sendUrl = c.url;
        // Short only where the time-out is what is checked: a slow machine must not turn the others into one.
        s.channels->http().setTimeout(c.number == ChannelError::TimedOut ? 400ms : 30s);
        s.console().setText(Field::Response, "answer about the message before");

        try {
            s.send();
            QFAIL("the failed fetch did not reach the caller");
        } catch (const ChannelError& e) {
            QCOMPARE(e.number(), c.number);
            QVERIFY2(e.text().contains(c.textPart), qPrintable(e.text()));
            QVERIFY2(!e.text().contains("pw-acme"), qPrintable(e.text()));
            QCOMPARE(s.text(Field::Response), e.text());
        }
        QVERIFY(s.cursor.isOpen());
        QCOMPARE(s.state(), "0/2/1234");
        QCOMPARE(s.text(Field::Trace), " Fire Http \r\n");
        QCOMPARE(s.text(Field::Counter), QString()); // the closing step did not run
    }

    void httpGatewayFlagOff()
    {
        Sending s(sendUrl());
        s.f.context().profile().httpGateway = false;
        s.send();
        QCOMPARE(m_gateway->count(), 0);
        QVERIFY(s.cursor.isOpen());
        QCOMPARE(s.state(), "0/2/1234");
        QCOMPARE(s.text(Field::Trace), " Fire");
        QCOMPARE(s.text(Field::Counter), "Current SMS :  1234");
    }

    void gsm_data()
    {
        QTest::addColumn<GsmCase>("c");
        const auto row = [](const char* name, const GsmCase& c) { QTest::newRow(name) << c; };
        row("accepted", {"--echo off", 1, "OK", 0});
        row("+CMS ERROR: stays queued", {"--echo off --mode cms-error", 0, "Error", 0});
        row("no device: stays queued", {"", 0, " ", ChannelError::NoModemDevice});
    }
    void gsm()
    {
        QFETCH(GsmCase, c);
        ModemSim modem;
        if (c.simOptions.isEmpty())
            qputenv(ModemDevicePath::EnvironmentVariable, "/dev/ttyS_missing_9");
        else
            QVERIFY2(modem.start(c.simOptions.split(' ')), qPrintable(modem.errorString()));
        if (modem.isRunning())
            qputenv(ModemDevicePath::EnvironmentVariable, modem.device().toLocal8Bit());
        Sending s(sendUrl());
        s.console().setChannel(ConsoleState::Channel::Gsm);

        try {
            s.send();
            QCOMPARE(c.errorNumber, 0);
        } catch (const ChannelError& e) {
            QCOMPARE(e.number(), c.errorNumber);
            QVERIFY(e.text().contains("/dev/ttyS_missing_9"));
        }
        QCOMPARE(m_gateway->count(), 0);
        if (c.errorNumber)
            QCOMPARE(s.text(Field::Response), c.response);
        else
            QVERIFY2(s.text(Field::Response).startsWith(c.response), qPrintable(s.text(Field::Response)));
        // Input is locked during the exchange, and enabled again however it ended.
        QCOMPARE(s.flags,
                 (QStringList{"WindowEnabled=0", "DeleteEnabled=0", "WindowEnabled=1", "DeleteEnabled=1"}));
        QCOMPARE(s.state(), u"%1/%2/%3"_s.arg(c.records).arg(2 - c.records).arg(1234 + c.records));
        QCOMPARE(s.cursor.isOpen(), c.records == 0);
        if (c.errorNumber)
            return;
        QCOMPARE(s.channels->modemPort().device(), modem.device());
        QVERIFY(s.channels->modemPort().isOpen());
        QCOMPARE(s.text(Field::Trace), c.records ? " Fire" + kLedgerTrace : " Fire");
        const QByteArray wire = "AT+CMGS=\"5551234567\"\r" +
                                Windows1252::encode(SendUrl::prepareText(kStoredText)) + "\x1A" + "Z\r\n";
        QTRY_VERIFY(modem.received().contains(wire));
        if (c.records)
            QVERIFY(s.f.ledgerRows().first().value("ans").isNull());
        QCOMPARE(s.text(Field::Counter), u"Current SMS :  %1"_s.arg(1234 + c.records));
    }

    void picksAndMarksTried()
    {
        StoreFixture f;
        QVERIFY(!QueueCursor::openLocal(f.store()).isOpen());
        f.queue("a", "m1", {{"typ", 1}});
        f.queue("b", "m2", {{"typ", 2}});
        f.queue("c", "m3", {{"typ", 3}, {"urgent", 5}});
        f.queue("d", "m4", {{"typ", 4}, {"urgent", -1}});
        // Smallest urgent first, then the oldest; every try fails: the failed rows (10) go behind and take
        // turns.
        QStringList picked;
        for (int i = 0; i < 6; ++i) {
            const QueueCursor cursor = QueueCursor::openLocal(f.store());
            QVERIFY(!cursor.isServer());
            picked << u"%1 %2 %3"_s.arg(cursor.mobile(), cursor.msg(), cursor.typ().toString());
            cursor.markTried(f.store(), 10);
        }
        QCOMPARE(picked, (QStringList{"d m4 4", "a m1 1", "b m2 2", "c m3 3", "d m4 4", "a m1 1"}));
        QCOMPARE(f.column("SELECT urgent FROM Rsms WHERE Mobile = 'c'"), QStringList{"10"});
        QueueCursor cursor = QueueCursor::openLocal(f.store());
        QCOMPARE(cursor.mobile(), "b");
        cursor.close();
        cursor.markTried(f.store(), 0); // a closed cursor changes nothing
        QCOMPARE(QueueCursor::openLocal(f.store()).mobile(), "b");
    }

    void ledgerRow_data()
    {
        QTest::addColumn<LedgerCase>("c");
        const auto row = [](const char* name, const LedgerCase& c) { QTest::newRow(name) << c; };
        const QVariant nullText(QMetaType::fromType<QString>()), nullNumber(QMetaType::fromType<int>());
        const QString longAnswer = QString(300, u'A') + "<br>";
        row("HTTP answer with a quote and <br>", {false, "acme", "id'1001<br>", {}, {}});
        row("GSM: no ANS", {true, "acme", "OK\r\n+CMGS: 5\r\n", {}, {{"ans", nullText}}});
        const QVariantMap nulls{{"msg", nullText}, {"RDtTM", nullText}, {"typ", nullNumber}};
        row("Null msg, RDtTM and typ",
            {false, "acme", "id'1001", nulls, {{"msg", nullText}, {"rdttm", ""}, {"typ", 0}}});
        row("every <br> removed, exact case only",
            {false, "acme", "<br>1<br>2<BR>3<br", {}, {{"ans", "12<BR>3<br"}}});
        row("over-long answer cut to 251", {false, "acme", longAnswer, {}, {{"ans", QString(251, u'A')}}});
        row("user name cut to 15",
            {false, "a-very-long-user-name", "id'1001", {}, {{"uname", "a-very-long-use"}}});
        row("counter at its largest value: recorded, not advanced",
            {false, "acme", "id'1001", {}, {}, kLargest});
        // The operator's "Delete this SMS" ran while the message was on its way: the record stands.
        row("queue row deleted while sending", {false, "acme", "id'1001", {}, {}, 1234, true});
    }
    void ledgerRow()
    {
        QFETCH(LedgerCase, c);
        StoreFixture f;
        f.addProfile("other", {{"Smsid", 77}});
        f.loadDefaultProfile(c.userName, {{"Smsid", c.counter}});
        f.context().console().setChannel(c.gsm ? ConsoleState::Channel::Gsm : ConsoleState::Channel::Http);
        f.queue("000 other", "stays queued", {{"urgent", 5}});
        QVariantMap queued{{"RDtTM", "31012024101500"}, {"typ", 3}};
        queued.insert(c.queued);
        f.queue(" 55512-34567", "It's\r\nhere", queued);
        QueueCursor cursor = QueueCursor::openLocal(f.store());
        if (c.deletedWhileSending)
            f.store().exec("DELETE FROM Rsms WHERE rowid = ?", {cursor.key()});

        SentLedger ledger(f.context());
        ledger.saveSentSms(cursor, c.response);
        ledger.saveSentSms(cursor, c.response); // the cursor is spent: nothing recorded twice

        // Try 0: counted from the first report poll on, like every other pending row.
        QVariantMap expected{{"mobile", " 55512-34567"},
                             {"msg", "It's\r\nhere"},
                             {"rdttm", "31012024101500"},
                             {"sdttm", "2024-03-05 14:05:09"},
                             {"typ", 3},
                             {"ans", "id'1001"},
                             {"uname", "acme"},
                             {"status", "P"},
                             {"try", 0},
                             {"reply", QVariant()},
                             {"extra1", QVariant()}};
        expected.insert(c.stored);
        const QList<QVariantMap> rows = f.ledgerRows();
        QCOMPARE(rows.size(), 1);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            QCOMPARE(rows.first().value(it.key()).isNull(), it.value().isNull());
            QCOMPARE(rows.first().value(it.key()).toString(), it.value().toString());
        }

        const bool atLargest = c.counter == kLargest;
        const qint32 after = atLargest ? kLargest : c.counter + 1;
        QCOMPARE(f.column("SELECT msg FROM Rsms"), QStringList{"stays queued"});
        QCOMPARE(f.context().profile().smsId, after);
        QCOMPARE(counters(f), (QStringList{c.userName + " " + QString::number(after), "other 77"}));
        QVERIFY(!cursor.isOpen());
        QCOMPARE(f.context().console().text(ConsoleState::Field::Trace),
                 (atLargest ? u"Save Data\r\nAdd Record\r\nCounter at its largest value: not advanced\r\n"
                              u"Save End\r\n"_s
                            : kLedgerTrace) +
                     "Save Data\r\n");
    }

    void failureRollsBackEverything_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("queue row cannot be deleted")
            << "CREATE TRIGGER t BEFORE DELETE ON Rsms BEGIN SELECT RAISE(ABORT, 'queue locked'); END";
        QTest::newRow("counter cannot be written")
            << "CREATE TRIGGER t BEFORE UPDATE ON config BEGIN SELECT RAISE(ABORT, 'config locked'); END";
        QTest::newRow("ledger refuses the row")
            << "CREATE TRIGGER t BEFORE INSERT ON sms BEGIN SELECT RAISE(ABORT, 'ledger full'); END";
    }
    void failureRollsBackEverything()
    {
        QFETCH(QString, trigger);
        StoreFixture f;
        f.addProfile("other", {{"Smsid", 77}});
        f.loadDefaultProfile("acme", {{"Smsid", 1234}});
        f.queue("5551234567", "hi");
        QueueCursor cursor = QueueCursor::openLocal(f.store());
        f.store().exec(trigger);
        SentLedger ledger(f.context());

        QVERIFY_THROWS_EXCEPTION(StoreError, ledger.saveSentSms(cursor, "1001"));

        // Neither recorded nor lost: still queued, to be sent by a later tick.
        QCOMPARE(f.count("sms"), 0);
        QCOMPARE(f.count("Rsms"), 1);
        QCOMPARE(f.context().profile().smsId, 1234);
        QCOMPARE(counters(f), (QStringList{"acme 1234", "other 77"}));
        QVERIFY(cursor.isOpen());
        QCOMPARE(f.context().console().text(ConsoleState::Field::Trace), "Save Data\r\nAdd Record\r\n");

        // Once the store accepts writes again, the same cursor records the message.
        f.store().exec("DROP TRIGGER t");
        ledger.saveSentSms(cursor, "1001");
        QCOMPARE(f.count("sms"), 1);
        QCOMPARE(f.count("Rsms"), 0);
        QCOMPARE(counters(f), (QStringList{"acme 1235", "other 77"}));
    }

    // Each byte's character from the platform's Windows-1252 converter, its escape from the standard
    // percent-encoder (which knows nothing of blanks and the "%" and "+" stand-ins).
    void everyCode_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QStringDecoder platform("windows-1252");
        QVERIFY(platform.isValid());
        for (int code = 0; code < 256; ++code) {
            const QByteArray byte(1, static_cast<char>(code));
            QString expected = QString::fromLatin1(byte.toPercentEncoding(QByteArray(), "-._~"));
            if (code == ' ')
                expected = u"+"_s;
            else if (code == 1)
                expected = u"%25"_s;
            else if (code == 2)
                expected = u"%2B"_s;
            QTest::addRow("code %d", code) << QString(platform.decode(byte)) << expected;
        }
    }
    void everyCode()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(input.size(), 1);
        QCOMPARE(UrlEncode(input), expected);
    }

    void codePageAgreesWithThePlatform()
    {
        QStringDecoder platform("windows-1252");
        QByteArray all;
        for (int code = 0; code < 256; ++code)
            all.append(static_cast<char>(code));
        const QString text = platform.decode(all);
        QCOMPARE(Windows1252::decode(all), text);
        QCOMPARE(Windows1252::encode(text), all);
        QCOMPARE(Windows1252::encode(u"a\u0100b"_s), QByteArray("a?b"));
    }

    void placeholders_data()
    {
        QTest::addColumn<QString>("urlTemplate");
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& url, const QString& user, const QString& pw,
                            const QString& text, const QString& expected) {
            QTest::newRow(name) << url << user << pw << text << expected;
        };
        row("lower-case <uname> is filled, number cleaned, text encoded",
            "http://gw/send?u=<uname>&p=<PassWord>&to=<mobile>&t=<msg>", "acme", "s3cret", "Hi there 50%+",
            "http://gw/send?u=acme&p=s3cret&to=5551234567&t=Hi+there+50%25%2B");
        row("<UName> in any letter case, every occurrence", "<UNAME>/<UName>/<uNaMe>", "u", "p", "", "u/u/u");
        row("lower-case <password> stays as written", "u=<UName>&p=<password>&t=<msg>", "acme", "s3cret", "x",
            "u=acme&p=<password>&t=x");
        row("sender ids exact case", "g=<GsmSid>&c=<CDMASid>&g2=<gsmsid>&c2=<CdmaSid>", "u", "p", "",
            "g=GSMID&c=CDMAID&g2=<gsmsid>&c2=<CdmaSid>");
        row("<mobile> exact case", "a=<mobile>&b=<Mobile>", "u", "p", "", "a=5551234567&b=<Mobile>");
        row("a value holding a later placeholder is filled too", "u=<UName>", "x<PassWord>y", "pw", "",
            "u=xpwy");
        row("a value holding an earlier placeholder is not", "p=<PassWord>", "acme", "<UName>", "",
            "p=<UName>");
        row("the message is never searched again", "t=<msg>&u=<UName>", "acme", "pw", "<UName><mobile>",
            "t=%3CUName%3E%3Cmobile%3E&u=acme");
        row("values are not encoded", "u=<UName>&p=<PassWord>", "a b", "p&q", "", "u=a b&p=p&q");
    }
    void placeholders()
    {
        QFETCH(QString, urlTemplate);
        QFETCH(QString, userName);
        QFETCH(QString, password);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        ProfileState profile;
        profile.userName = userName;
        profile.password = password;
        profile.gsmSid = u"GSMID"_s;
        profile.cdmaSid = u"CDMAID"_s;
        const QString number = SendUrl::cleanNumber(u" 55512-34567"_s);
        QCOMPARE(SendUrl::build(urlTemplate, SendUrl::fromProfile(profile, number, text)), expected);
    }

    // One text rule per row: e encodes, n cleans a number, p prepares a text, u builds the request URL,
    // b reads a gateway's answer (given as Latin-1 bytes).
    void textRules_data()
    {
        QTest::addColumn<char>("rule");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, char rule, const QString& input, const QString& expected) {
            QTest::newRow(name) << rule << input << expected;
        };
        row("an escape in the text is escaped", 'e', "%41", "%2541");
        row("Greek is not in the code page", 'e', u"\u03a9 1"_s, u"\u03a9+1"_s);
        row("C1 control without a code", 'e', u"\u0080"_s, u"\u0080"_s);
        row("outside the basic plane", 'e', u"\U0001F600!"_s, u"\U0001F600%21"_s);
        row("nothing to encode", 'e', "", "");
        row("blank, digits, dash", 'n', " 55512-34567", "5551234567");
        row("several dashes", 'n', "+1-555-123-4567", "+15551234567");
        row("tabs are not blanks", 'n', "555\t123", "555\t123");
        row("list of numbers keeps its commas", 'n', "555-1, 555-2", "5551,5552");
        row("nothing left", 'n', " - ", "");
        row("apostrophes", 'p', "It's Bob's", "It s Bob s");
        row("CR LF pair", 'p', "line1\r\nline2", "line1 line2");
        row("lone CR and LF stay", 'p', "a\rb\nc", "a\rb\nc");
        row("LF CR is no pair", 'p', "a\n\rb", "a\n\rb");
        row("apostrophe then pair", 'p', "'\r\n'", "   ");
        row("typographic apostrophe stays", 'p', u"it\u2019s"_s, u"it\u2019s"_s);
        row("escapes kept as built", 'u', "http://gw:8080/send?u=acme&t=Hi+there+50%25%2B%2C%26%3D%E9%09%80",
            "http://gw:8080/send?u=acme&t=Hi+there+50%25%2B%2C%26%3D%E9%09%80");
        row("unreserved escapes travel decoded", 'u', "http://gw/send?t=%2D%2E%5F%7E",
            "http://gw/send?t=-._~");
        row("a blank in a password", 'u', "http://gw/send?p=a b", "http://gw/send?p=a%20b");
        row("a hash does not cut the query", 'u', "http://gw/send?p=a#b&t=x", "http://gw/send?p=a%23b&t=x");
        row("a stray percent", 'u', "http://gw/send?p=100%", "http://gw/send?p=100%25");
        row("a letter outside the code page as UTF-8", 'u', u"http://gw/send?t=\u03a9"_s,
            "http://gw/send?t=%CE%A9");
        row("ASCII answer", 'b', "12345<br>", "12345<br>");
        row("UTF-8 answer", 'b', "caf\u00c3\u00a9", u"caf\u00e9"_s);
        row("Windows-1252 answer", 'b', "caf\u00e9 \u0080", u"caf\u00e9 \u20ac"_s);
        row("empty answer", 'b', "", "");
    }
    void textRules()
    {
        QFETCH(char, rule);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QString copy = input;
        if (rule == 'e')
            QCOMPARE(UrlEncode(input), expected);
        else if (rule == 'n')
            QCOMPARE(SendUrl::cleanNumber(input), expected);
        else if (rule == 'p')
            QCOMPARE(SendUrl::prepareText(input), expected);
        else if (rule == 'b')
            QCOMPARE(HttpFetcher::bodyText(input.toLatin1()), expected);
        else {
            const QUrl url = HttpFetcher::requestUrl(input);
            QVERIFY(url.isValid());
            QCOMPARE(url.toEncoded(), expected.toLatin1());
        }
        QCOMPARE(input, copy);
    }
};

QTEST_GUILESS_MAIN(TestSmsSender)
#include "tst_smssender.moc"

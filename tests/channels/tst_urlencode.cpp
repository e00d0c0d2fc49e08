// UrlEncode over every code of the code page, the send URL's placeholders, the number and text
// preparation, and the request URL handed to the network.

#include "channels/HttpFetcher.h"
#include "channels/SendUrl.h"
#include "channels/UrlEncode.h"
#include "channels/Windows1252.h"
#include "core/ProfileState.h"

#include <QStringDecoder>
#include <QTest>

namespace {
void textRow(const char* name, const QString& input, const QString& expected)
{
    QTest::newRow(name) << input << expected;
}
void textColumns()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
}
} // namespace

class TestUrlEncode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The character of each byte comes from the platform's own Windows-1252 converter; the expected
    // escape from the standard percent-encoder, which knows nothing of the rules for blanks and the
    // "%" and "+" stand-ins.
    void everyCode_data()
    {
        textColumns();
        QStringDecoder platform("windows-1252");
        QVERIFY(platform.isValid());
        for (int code = 0; code < 256; ++code) {
            const QByteArray byte(1, static_cast<char>(code));
            QString expected = QString::fromLatin1(byte.toPercentEncoding(QByteArray(), "-._~"));
            if (code == ' ')
                expected = QStringLiteral("+");
            else if (code == 1)
                expected = QStringLiteral("%25");
            else if (code == 2)
                expected = QStringLiteral("%2B");
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

    void examples_data()
    {
        textColumns();
        textRow("blank, percent and plus", "Hi there 50%+", "Hi+there+50%25%2B");
        textRow("an escape in the text is escaped", "%41", "%2541");
        textRow("Greek is not in the code page", QStringLiteral("\u03a9 1"), QStringLiteral("\u03a9+1"));
        textRow("C1 control without a code", QStringLiteral("\u0080"), QStringLiteral("\u0080"));
        textRow("outside the basic plane", QStringLiteral("\U0001F600!"), QStringLiteral("\U0001F600%21"));
        textRow("empty", "", "");
    }
    void examples()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QString copy = input;
        QCOMPARE(UrlEncode(input), expected);
        QCOMPARE(input, copy);
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
        QCOMPARE(Windows1252::fromUnicode(QChar(0x20AC)), 0x80);
        QCOMPARE(Windows1252::fromUnicode(QChar(0x0080)), -1);
        QCOMPARE(Windows1252::fromUnicode(QChar(0x0100)), -1);
        QCOMPARE(Windows1252::encode(QStringLiteral("a\u0100b")), QByteArray("a?b"));
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
        row("unused placeholders are fine", "http://gw/ping", "acme", "pw", "text", "http://gw/ping");
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
        profile.gsmSid = QStringLiteral("GSMID");
        profile.cdmaSid = QStringLiteral("CDMAID");
        const QString number = SendUrl::cleanNumber(QStringLiteral(" 55512-34567"));
        QCOMPARE(SendUrl::build(urlTemplate, SendUrl::fromProfile(profile, number, text)), expected);
    }

    void cleanNumber_data()
    {
        textColumns();
        textRow("blank, digits, dash", " 55512-34567", "5551234567");
        textRow("blanks inside", "555 123 4567 ", "5551234567");
        textRow("several dashes", "+1-555-123-4567", "+15551234567");
        textRow("tabs are not blanks", "555\t123", "555\t123");
        textRow("list of numbers keeps its commas", "555-1, 555-2", "5551,5552");
        textRow("nothing left", " - ", "");
    }
    void cleanNumber()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(SendUrl::cleanNumber(input), expected);
    }

    void prepareText_data()
    {
        textColumns();
        textRow("apostrophes", "It's Bob's", "It s Bob s");
        textRow("CR LF pair", "line1\r\nline2", "line1 line2");
        textRow("lone CR and LF stay", "a\rb\nc", "a\rb\nc");
        textRow("LF CR is no pair", "a\n\rb", "a\n\rb");
        textRow("apostrophe then pair", "'\r\n'", "   ");
        textRow("typographic apostrophe stays", QStringLiteral("it\u2019s"), QStringLiteral("it\u2019s"));
    }
    void prepareText()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(SendUrl::prepareText(input), expected);
    }

    void requestUrl_data()
    {
        textColumns();
        textRow("escapes kept as built", "http://gw:8080/send?u=acme&t=Hi+there+50%25%2B%2C%26%3D%E9%09%80",
                "http://gw:8080/send?u=acme&t=Hi+there+50%25%2B%2C%26%3D%E9%09%80");
        textRow("unreserved escapes travel decoded", "http://gw/send?t=%2D%2E%5F%7E",
                "http://gw/send?t=-._~");
        textRow("a blank in a password", "http://gw/send?p=a b", "http://gw/send?p=a%20b");
        textRow("a hash does not cut the query", "http://gw/send?p=a#b&t=x", "http://gw/send?p=a%23b&t=x");
        textRow("a stray percent", "http://gw/send?p=100%", "http://gw/send?p=100%25");
        textRow("a letter outside the code page as UTF-8", QStringLiteral("http://gw/send?t=\u03a9"),
                "http://gw/send?t=%CE%A9");
    }
    void requestUrl()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QUrl url = HttpFetcher::requestUrl(input);
        QVERIFY(url.isValid());
        QCOMPARE(url.toEncoded(), expected.toLatin1());
    }

    void bodyText_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << QByteArray("12345<br>") << QStringLiteral("12345<br>");
        QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9") << QStringLiteral("caf\u00e9");
        QTest::newRow("Windows-1252") << QByteArray("caf\xE9 \x80") << QStringLiteral("caf\u00e9 \u20ac");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void bodyText()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QCOMPARE(HttpFetcher::bodyText(body), text);
    }
};

QTEST_GUILESS_MAIN(TestUrlEncode)
#include "tst_urlencode.moc"

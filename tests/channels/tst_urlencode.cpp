// UrlEncode over every code of the code page, the send URL's placeholders,
// the number and text preparation, and the request URL handed to the network.

#include "channels/HttpFetcher.h"
#include "channels/SendUrl.h"
#include "channels/UrlEncode.h"
#include "channels/Windows1252.h"
#include "core/ProfileState.h"

#include <QStringDecoder>
#include <QTest>

class TestUrlEncode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyCode_data();
    void everyCode();
    void examples_data();
    void examples();
    void codePageAgreesWithThePlatform();
    void placeholders_data();
    void placeholders();
    void cleanNumber_data();
    void cleanNumber();
    void prepareText_data();
    void prepareText();
    void requestUrl_data();
    void requestUrl();
    void bodyText_data();
    void bodyText();
};

// The character of each byte comes from the platform's own Windows-1252
// converter; the expected escape from the standard percent-encoder, which
// knows nothing of the rules for blanks, "%" and "+" stand-ins.
void TestUrlEncode::everyCode_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QStringDecoder platform("windows-1252");
    QVERIFY(platform.isValid());
    for (int code = 0; code < 256; ++code) {
        const QByteArray byte(1, static_cast<char>(code));
        const QString input = platform.decode(byte);
        QString expected;
        if (code == ' ')
            expected = QStringLiteral("+");
        else if (code == 1)
            expected = QStringLiteral("%25");
        else if (code == 2)
            expected = QStringLiteral("%2B");
        else
            expected = QString::fromLatin1(byte.toPercentEncoding(QByteArray(), "-._~"));
        QTest::addRow("code %d", code) << input << expected;
    }
}

void TestUrlEncode::everyCode()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(input.size(), 1);
    QCOMPARE(UrlEncode(input), expected);
}

void TestUrlEncode::examples_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blank, percent and plus") << "Hi there 50%+"
                                             << "Hi+there+50%25%2B";
    QTest::newRow("query delimiters") << "x,y&z=w"
                                      << "x%2Cy%26z%3Dw";
    QTest::newRow("Western letter") << QStringLiteral("\u00e9") << "%E9";
    QTest::newRow("tab") << "\t"
                         << "%09";
    QTest::newRow("lone CR and lone LF") << "a\rb\nc"
                                         << "a%0Db%0Ac";
    QTest::newRow("euro sign is code 128") << QStringLiteral("5\u20ac") << "5%80";
    QTest::newRow("typographic quotes") << QStringLiteral("\u201chi\u201d") << "%93hi%94";
    QTest::newRow("letters and digits stay") << "AZaz09"
                                             << "AZaz09";
    QTest::newRow("unreserved marks are escaped too") << "-._~"
                                                      << "%2D%2E%5F%7E";
    QTest::newRow("an escape in the text is escaped") << "%41"
                                                      << "%2541";
    QTest::newRow("code 1 and 2 stand for percent and plus") << QStringLiteral("\u0001\u0002") << "%25%2B";
    QTest::newRow("Greek is not in the code page")
        << QStringLiteral("\u03a9 1") << QStringLiteral("\u03a9+1");
    QTest::newRow("C1 control without a code") << QStringLiteral("\u0080") << QStringLiteral("\u0080");
    QTest::newRow("outside the basic plane")
        << QStringLiteral("\U0001F600!") << QStringLiteral("\U0001F600%21");
    QTest::newRow("empty") << ""
                           << "";
}

void TestUrlEncode::examples()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    const QString copy = input;
    QCOMPARE(UrlEncode(input), expected);
    QCOMPARE(input, copy);
}

void TestUrlEncode::codePageAgreesWithThePlatform()
{
    QStringDecoder platform("windows-1252");
    QVERIFY(platform.isValid());
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

void TestUrlEncode::placeholders_data()
{
    QTest::addColumn<QString>("urlTemplate");
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QString text = QStringLiteral("Hi there 50%+");
    QTest::newRow("lower-case <uname> is filled, number cleaned, text encoded")
        << "http://gw/send?u=<uname>&p=<PassWord>&to=<mobile>&t=<msg>"
        << "acme"
        << "s3cret" << text << "http://gw/send?u=acme&p=s3cret&to=5551234567&t=Hi+there+50%25%2B";
    QTest::newRow("<UName> in any letter case, every occurrence") << "<UNAME>/<UName>/<uNaMe>"
                                                                  << "u"
                                                                  << "p"
                                                                  << ""
                                                                  << "u/u/u";
    QTest::newRow("lower-case <password> stays as written") << "u=<UName>&p=<password>&t=<msg>"
                                                            << "acme"
                                                            << "s3cret"
                                                            << "x"
                                                            << "u=acme&p=<password>&t=x";
    QTest::newRow("sender ids exact case") << "g=<GsmSid>&c=<CDMASid>&g2=<gsmsid>&c2=<CdmaSid>"
                                           << "u"
                                           << "p"
                                           << ""
                                           << "g=GSMID&c=CDMAID&g2=<gsmsid>&c2=<CdmaSid>";
    QTest::newRow("<mobile> exact case") << "a=<mobile>&b=<Mobile>"
                                         << "u"
                                         << "p"
                                         << ""
                                         << "a=5551234567&b=<Mobile>";
    QTest::newRow("a value holding a later placeholder is filled too") << "u=<UName>"
                                                                       << "x<PassWord>y"
                                                                       << "pw"
                                                                       << ""
                                                                       << "u=xpwy";
    QTest::newRow("a value holding an earlier placeholder is not") << "p=<PassWord>"
                                                                   << "acme"
                                                                   << "<UName>"
                                                                   << ""
                                                                   << "p=<UName>";
    QTest::newRow("the message is never searched again") << "t=<msg>&u=<UName>"
                                                         << "acme"
                                                         << "pw"
                                                         << "<UName><mobile>"
                                                         << "t=%3CUName%3E%3Cmobile%3E&u=acme";
    QTest::newRow("unused placeholders are fine") << "http://gw/ping"
                                                  << "acme"
                                                  << "pw"
                                                  << "text"
                                                  << "http://gw/ping";
    QTest::newRow("values are not encoded") << "u=<UName>&p=<PassWord>"
                                            << "a b"
                                            << "p&q"
                                            << ""
                                            << "u=a b&p=p&q";
}

void TestUrlEncode::placeholders()
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

void TestUrlEncode::cleanNumber_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("cleaned");
    QTest::newRow("blank, digits, dash") << " 55512-34567"
                                         << "5551234567";
    QTest::newRow("blanks inside") << "555 123 4567 "
                                   << "5551234567";
    QTest::newRow("several dashes") << "+1-555-123-4567"
                                    << "+15551234567";
    QTest::newRow("tabs are not blanks") << "555\t123"
                                         << "555\t123";
    QTest::newRow("list of numbers keeps its commas") << "555-1, 555-2"
                                                      << "5551,5552";
    QTest::newRow("nothing left") << " - "
                                  << "";
}

void TestUrlEncode::cleanNumber()
{
    QFETCH(QString, stored);
    QFETCH(QString, cleaned);
    QCOMPARE(SendUrl::cleanNumber(stored), cleaned);
}

void TestUrlEncode::prepareText_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("prepared");
    QTest::newRow("apostrophes") << "It's Bob's"
                                 << "It s Bob s";
    QTest::newRow("CR LF pair") << "line1\r\nline2"
                                << "line1 line2";
    QTest::newRow("lone CR and LF stay") << "a\rb\nc"
                                         << "a\rb\nc";
    QTest::newRow("LF CR is no pair") << "a\n\rb"
                                      << "a\n\rb";
    QTest::newRow("apostrophe then pair") << "'\r\n'"
                                          << "   ";
    QTest::newRow("typographic apostrophe stays")
        << QStringLiteral("it\u2019s") << QStringLiteral("it\u2019s");
}

void TestUrlEncode::prepareText()
{
    QFETCH(QString, stored);
    QFETCH(QString, prepared);
    QCOMPARE(SendUrl::prepareText(stored), prepared);
}

void TestUrlEncode::requestUrl_data()
{
    QTest::addColumn<QString>("built");
    QTest::addColumn<QByteArray>("onTheWire");
    QTest::newRow("escapes kept as built")
        << "http://gw:8080/send?u=acme&t=Hi+there+50%25%2B%2C%26%3D%E9%09%80"
        << QByteArray("http://gw:8080/send?u=acme&t=Hi+there+50%25%2B%2C%26%3D%E9%09%80");
    QTest::newRow("unreserved escapes travel decoded")
        << "http://gw/send?t=%2D%2E%5F%7E" << QByteArray("http://gw/send?t=-._~");
    QTest::newRow("a blank in a password") << "http://gw/send?p=a b" << QByteArray("http://gw/send?p=a%20b");
    QTest::newRow("a hash does not cut the query")
        << "http://gw/send?p=a#b&t=x" << QByteArray("http://gw/send?p=a%23b&t=x");
    QTest::newRow("a stray percent") << "http://gw/send?p=100%" << QByteArray("http://gw/send?p=100%25");
    QTest::newRow("a letter outside the code page as UTF-8")
        << QStringLiteral("http://gw/send?t=\u03a9") << QByteArray("http://gw/send?t=%CE%A9");
}

void TestUrlEncode::requestUrl()
{
    QFETCH(QString, built);
    QFETCH(QByteArray, onTheWire);
    const QUrl url = HttpFetcher::requestUrl(built);
    QVERIFY(url.isValid());
    QCOMPARE(url.toEncoded(), onTheWire);
}

void TestUrlEncode::bodyText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("12345<br>") << "12345<br>";
    QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9") << QStringLiteral("caf\u00e9");
    QTest::newRow("Windows-1252") << QByteArray("caf\xE9 \x80") << QStringLiteral("caf\u00e9 \u20ac");
    QTest::newRow("empty") << QByteArray() << "";
}

void TestUrlEncode::bodyText()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QCOMPARE(HttpFetcher::bodyText(body), text);
}

QTEST_GUILESS_MAIN(TestUrlEncode)
#include "tst_urlencode.moc"

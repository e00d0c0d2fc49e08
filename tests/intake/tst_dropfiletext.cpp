#include "intake/DropFileText.h"

#include <QBuffer>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;
using DropFileText::Encoding;

Q_DECLARE_METATYPE(DropFileText::Encoding)

class TestDropFileText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lines_data();
    void lines();
    void utf8Validation_data();
    void utf8Validation();
    void readLines_data();
    void readLines();
    void fileNames_data();
    void fileNames();
};

void TestDropFileText::lines_data()
{
    QTest::addColumn<QString>("pieces"); // fed one by one, split at "|"
    QTest::addColumn<int>("cap");
    QTest::addColumn<QString>("lines"); // each in brackets, "~" after a line that was cut

    const int big = 1000;
    QTest::newRow("CR LF ends lines") << u"a\r\nb\r\n"_s << big << u"[a][b]"_s;
    QTest::newRow("CR alone ends a line") << u"a\rb"_s << big << u"[a][b]"_s;
    QTest::newRow("LF alone does not") << u"a\nb\nc"_s << big << u"[a\nb\nc]"_s;
    QTest::newRow("LF CR is LF then a line end") << u"a\n\rb"_s << big << u"[a\n][b]"_s;
    QTest::newRow("empty text") << u""_s << big << u""_s;
    QTest::newRow("one line end only") << u"\r\n"_s << big << u"[]"_s;
    QTest::newRow("CR LF split across pieces") << u"a\r|\nb"_s << big << u"[a][b]"_s;
    QTest::newRow("CR at a piece end, then text") << u"a\r|b"_s << big << u"[a][b]"_s;
    QTest::newRow("CR, then CR LF in the next piece") << u"a\r|\r\nb"_s << big << u"[a][][b]"_s;
    QTest::newRow("empty piece between CR and LF") << u"a\r||\nb"_s << big << u"[a][b]"_s;
    QTest::newRow("long line cut, next line whole") << u"abcdef\r\ngh"_s << 3 << u"[abc~][gh]"_s;
    QTest::newRow("long line over several pieces") << u"ab|cd|e\r|\nxy"_s << 3 << u"[abc~][xy]"_s;
    QTest::newRow("exactly the cap is not cut") << u"abc\r"_s << 3 << u"[abc]"_s;
    QTest::newRow("no half surrogate pair at the cut") << u"a\U0001F600"_s << 2 << u"[a~]"_s;
}

void TestDropFileText::lines()
{
    QFETCH(QString, pieces);
    QFETCH(int, cap);
    QString got;
    DropFileText::LineSplitter splitter(
        cap, [&](QStringView line, bool cut) { got += u'[' + line.toString() + (cut ? u"~]"_s : u"]"_s); });
    for (const QString& piece : pieces.split(u'|'))
        splitter.feed(piece);
    splitter.finish();
    QTEST(got, "lines");
}

void TestDropFileText::utf8Validation_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("splitAt"); // fed in two pieces
    QTest::addColumn<bool>("valid");
    QTest::newRow("ASCII") << QByteArray("9876543210|Hi") << 3 << true;
    QTest::newRow("two-byte letter split") << QByteArray("Caf\xC3\xA9") << 4 << true;
    QTest::newRow("four-byte emoji split") << QByteArray("\xF0\x9F\x98\x80") << 2 << true;
    QTest::newRow("euro sign") << QByteArray("\xE2\x82\xAC") << 1 << true;
    QTest::newRow("NUL is valid UTF-8") << QByteArray("a\0b", 3) << 1 << true;
    QTest::newRow("Windows-1252 e-acute") << QByteArray("Caf\xE9") << 2 << false;
    QTest::newRow("lone continuation byte") << QByteArray("\xA9") << 0 << false;
    QTest::newRow("overlong two-byte") << QByteArray("\xC0\x80") << 1 << false;
    QTest::newRow("overlong three-byte") << QByteArray("\xE0\x80\x80") << 1 << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << 1 << false;
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << 2 << false;
    QTest::newRow("incomplete at the end") << QByteArray("ab\xC3") << 1 << false;
}

void TestDropFileText::utf8Validation()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, splitAt);
    DropFileText::Utf8Validator v;
    v.feed(QByteArrayView(bytes).first(splitAt));
    v.feed(QByteArrayView(bytes).sliced(splitAt));
    QTEST(v.valid(), "valid");
}

void TestDropFileText::readLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<QStringList>("lines");

    const QString text = u"9876543210|Café € 5 “ok”"_s;
    QTest::newRow("Windows-1252") << QByteArray("9876543210|Caf\xE9 \x80 5 \x93ok\x94\r\n")
                                  << Encoding::Windows1252 << QStringList{text};
    QTest::newRow("UTF-8") << text.toUtf8() + "\r\nx" << Encoding::Utf8 << QStringList{text, "x"};
    QTest::newRow("UTF-8 with byte order mark")
        << "\xEF\xBB\xBF" + text.toUtf8() << Encoding::Utf8 << QStringList{text};
    const QString twoLines = text + u"\r\nsecond"_s;
    QTest::newRow("UTF-16 LE with byte order mark")
        << "\xFF\xFE" + QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(twoLines))
        << Encoding::Utf16LE << QStringList{text, "second"};
    QTest::newRow("UTF-16 BE with byte order mark")
        << "\xFE\xFF" + QByteArray(QStringEncoder(QStringConverter::Utf16BE).encode(twoLines))
        << Encoding::Utf16BE << QStringList{text, "second"};
    // A byte that is not UTF-8 far into the file makes all of it Windows-1252, also the UTF-8 looking
    // start.
    QByteArray mixed("\xC3\xA9\r\n");
    mixed.append(QByteArray(100000, 'x'));
    mixed.append("\xE9");
    QTest::newRow("decided for the whole file")
        << mixed << Encoding::Windows1252 << QStringList{u"Ã©"_s, QString(100000, u'x') + u"é"_s};
    QTest::newRow("empty file") << QByteArray() << Encoding::Utf8 << QStringList{};
}

void TestDropFileText::readLines()
{
    QFETCH(QByteArray, bytes);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QStringList got;
    const DropFileText::ReadResult r =
        DropFileText::readLines(buffer, 200000, [&](QStringView line, bool) { got << line.toString(); });
    QVERIFY(r.ok);
    QTEST(r.encoding, "encoding");
    QTEST(got, "lines");
}

void TestDropFileText::fileNames_data()
{
    // Names are the one place where Windows-1252 is told from UTF-8 byte by byte.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("UTF-8") << QByteArray("Caf\xC3\xA9.sms") << u"Café.sms"_s << true;
    QTest::newRow("Windows-1252") << QByteArray("Caf\xE9 \x80.sms") << u"Café €.sms"_s << false;
    QTest::newRow("UTF-8 cut short") << QByteArray("M\xC3.txt") << u"MÃ.txt"_s << false;
    QTest::newRow("UTF-8 surrogate") << QByteArray("\xED\xA0\x80.sms") << u"í\u00A0€.sms"_s << false;
    QTest::newRow("quotes, dash, Latin-1") << QByteArray("\x93\x94\x96\xC6\xFF") << u"“”–Æÿ"_s << false;
    QTest::newRow("undefined bytes stay controls")
        << QByteArray("\x81\x8D\x8F\x90\x9D") << u"\x81\x8D\x8F\x90\x9D"_s << false;
    QTest::newRow("last of the high range") << QByteArray("\x9F\x9C") << u"Ÿœ"_s << false;
}

void TestDropFileText::fileNames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, utf8);
    bool wasUtf8 = !utf8;
    QTEST(DropFileText::fileNameFromBytes(bytes, &wasUtf8), "name");
    QCOMPARE(wasUtf8, utf8);
}

QTEST_GUILESS_MAIN(TestDropFileText)
#include "tst_dropfiletext.moc"

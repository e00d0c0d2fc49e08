#include "intake/DropFileText.h"

#include <QBuffer>
#include <QTest>

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
    void windows1252_data();
    void windows1252();
    void readLines_data();
    void readLines();
    void fileNames_data();
    void fileNames();
};

void TestDropFileText::lines_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<int>("cap");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("cutFlags"); // one '1' or '0' per expected line

    const int big = 1000;
    QTest::newRow("CR LF ends lines") << QStringList{"a\r\nb\r\n"} << big << QStringList{"a", "b"} << "00";
    QTest::newRow("CR alone ends a line") << QStringList{"a\rb"} << big << QStringList{"a", "b"} << "00";
    QTest::newRow("LF alone does not") << QStringList{"a\nb\nc"} << big << QStringList{"a\nb\nc"} << "0";
    QTest::newRow("LF CR is LF then a line end")
        << QStringList{"a\n\rb"} << big << QStringList{"a\n", "b"} << "00";
    QTest::newRow("empty lines kept")
        << QStringList{"a\r\n\r\nb"} << big << QStringList{"a", "", "b"} << "000";
    QTest::newRow("empty text") << QStringList{""} << big << QStringList{} << "";
    QTest::newRow("one line end only") << QStringList{"\r\n"} << big << QStringList{""} << "0";
    QTest::newRow("no end after last line")
        << QStringList{"a\r\nlast"} << big << QStringList{"a", "last"} << "00";
    QTest::newRow("CR LF split across pieces")
        << QStringList{"a\r", "\nb"} << big << QStringList{"a", "b"} << "00";
    QTest::newRow("CR at a piece end, then text")
        << QStringList{"a\r", "b"} << big << QStringList{"a", "b"} << "00";
    QTest::newRow("CR, then CR LF in the next piece")
        << QStringList{"a\r", "\r\nb"} << big << QStringList{"a", "", "b"} << "000";
    QTest::newRow("empty piece between CR and LF")
        << QStringList{"a\r", "", "\nb"} << big << QStringList{"a", "b"} << "00";
    QTest::newRow("long line cut, next line whole")
        << QStringList{"abcdef\r\ngh"} << 3 << QStringList{"abc", "gh"} << "10";
    QTest::newRow("long line over several pieces")
        << QStringList{"ab", "cd", "e\r", "\nxy"} << 3 << QStringList{"abc", "xy"} << "10";
    QTest::newRow("exactly the cap is not cut") << QStringList{"abc\r"} << 3 << QStringList{"abc"} << "0";
    QTest::newRow("no half surrogate pair at the cut")
        << QStringList{QString::fromUtf8("a\xF0\x9F\x98\x80")} << 2 << QStringList{"a"} << "1";
}

void TestDropFileText::lines()
{
    QFETCH(QStringList, pieces);
    QFETCH(int, cap);
    QFETCH(QStringList, expected);
    QFETCH(QString, cutFlags);
    QStringList got;
    QString flags;
    DropFileText::LineSplitter splitter(cap, [&](QStringView line, bool cut) {
        got << line.toString();
        flags += cut ? u'1' : u'0';
    });
    for (const QString& p : pieces)
        splitter.feed(p);
    splitter.finish();
    QCOMPARE(got, expected);
    QCOMPARE(flags, cutFlags);
}

void TestDropFileText::utf8Validation_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("splitAt"); // fed in two pieces
    QTest::addColumn<bool>("valid");
    QTest::newRow("ASCII") << QByteArray("9876543210|Hi") << 3 << true;
    QTest::newRow("two-byte letter") << QByteArray("Caf\xC3\xA9") << 2 << true;
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
    QTest::newRow("Windows-1252 euro") << QByteArray("5 \x80") << 1 << false;
}

void TestDropFileText::utf8Validation()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, splitAt);
    QFETCH(bool, valid);
    DropFileText::Utf8Validator v;
    v.feed(QByteArrayView(bytes).first(splitAt));
    v.feed(QByteArrayView(bytes).sliced(splitAt));
    QCOMPARE(v.valid(), valid);
}

void TestDropFileText::windows1252_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("Hello, 1|2") << QStringLiteral("Hello, 1|2");
    QTest::newRow("euro, quotes, dash") << QByteArray("\x80\x93\x94\x96") << QString::fromUtf8("€“”–");
    QTest::newRow("Latin-1 range") << QByteArray("Caf\xE9 \xC6\xFF") << QString::fromUtf8("Café Æÿ");
    QTest::newRow("undefined bytes stay controls")
        << QByteArray("\x81\x8D\x8F\x90\x9D") << QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D");
    QTest::newRow("last of the high range") << QByteArray("\x9F\x9C") << QString::fromUtf8("Ÿœ");
}

void TestDropFileText::windows1252()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DropFileText::fromWindows1252(bytes), text);
}

void TestDropFileText::readLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("Windows-1252") << QByteArray("9876543210|Caf\xE9 \x80 5\r\n") << Encoding::Windows1252
                                  << QStringList{QString::fromUtf8("9876543210|Café € 5")};
    QTest::newRow("UTF-8") << QByteArray("9876543210|Caf\xC3\xA9 \xE2\x82\xAC 5\r\nx") << Encoding::Utf8
                           << QStringList{QString::fromUtf8("9876543210|Café € 5"), "x"};
    QTest::newRow("UTF-8 with byte order mark") << QByteArray("\xEF\xBB\xBF"
                                                              "a\r\n")
                                                << Encoding::Utf8 << QStringList{"a"};
    QByteArray utf16;
    utf16.append("\xFF\xFE");
    for (const QChar c : QStringLiteral("9876543210|Hi\r\nsecond"))
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    QTest::newRow("UTF-16 with byte order mark")
        << utf16 << Encoding::Utf16LE << QStringList{"9876543210|Hi", "second"};

    // A byte that is not UTF-8 far into the file makes all of it Windows-1252,
    // also the UTF-8 looking start.
    QByteArray mixed("\xC3\xA9\r\n");
    mixed.append(QByteArray(100000, 'x'));
    mixed.append("\xE9");
    QTest::newRow("decided for the whole file")
        << mixed << Encoding::Windows1252
        << QStringList{QString::fromUtf8("Ã©"), QString(100000, u'x') + QString::fromUtf8("é")};
    QTest::newRow("empty file") << QByteArray() << Encoding::Utf8 << QStringList{};
}

void TestDropFileText::readLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Encoding, encoding);
    QFETCH(QStringList, lines);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QStringList got;
    const DropFileText::ReadResult r =
        DropFileText::readLines(buffer, 200000, [&](QStringView line, bool) { got << line.toString(); });
    QVERIFY(r.ok);
    QCOMPARE(r.encoding, encoding);
    QCOMPARE(got, lines);
}

void TestDropFileText::fileNames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("UTF-8") << QByteArray("Caf\xC3\xA9.sms") << QString::fromUtf8("Café.sms") << true;
    QTest::newRow("Windows-1252") << QByteArray("Caf\xE9 \x80.sms") << QString::fromUtf8("Café €.sms")
                                  << false;
    QTest::newRow("UTF-8 cut short") << QByteArray("M\xC3.txt") << QString::fromUtf8("MÃ.txt") << false;
    QTest::newRow("UTF-8 surrogate") << QByteArray("\xED\xA0\x80.sms") << QString::fromUtf8("í\u00A0€.sms")
                                     << false;
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

#include "FuzzTargets.h"

#include "channels/HttpFetcher.h"
#include "channels/ModemExchange.h"
#include "channels/SendUrl.h"
#include "channels/SentLedger.h"
#include "channels/SmsSender.h"
#include "channels/UrlEncode.h"
#include "channels/Windows1252.h"
#include "common/DateFormat.h"
#include "dispatch/ReportPoll.h"
#include "intake/DropFileImporter.h"
#include "intake/DropFileText.h"
#include "report/QueueStamp.h"
#include "spreadsheet/reader/SheetReader.h"

#include <QBuffer>
#include <QByteArrayList>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Fuzz {

namespace {

// A promise of the code under test that the input broke: the fuzzer keeps
// the input, the replay test fails.
void check(bool holds, const char* promise)
{
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", promise);
        std::abort();
    }
}

QByteArray bytesOf(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Several values from one input: the pieces between NUL bytes, as many as
// asked for (missing ones empty; the last takes the rest, NULs included).
QByteArrayList fields(const uint8_t* data, size_t size, int count)
{
    QByteArrayList out;
    QByteArrayView rest(reinterpret_cast<const char*>(data), qsizetype(size));
    while (out.size() < count - 1) {
        const qsizetype nul = rest.indexOf('\0');
        if (nul < 0)
            break;
        out.append(rest.first(nul).toByteArray());
        rest = rest.sliced(nul + 1);
    }
    out.append(rest.toByteArray());
    while (out.size() < count)
        out.append(QByteArray());
    return out;
}

QString text(const QByteArray& bytes)
{
    return HttpFetcher::bodyText(bytes);
}

// No surrogate without its partner: text cut in the middle of a pair is
// corrupted (it cannot be stored as UTF-8).
bool wellFormed(QStringView s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate()) {
            if (i + 1 >= s.size() || !s[i + 1].isLowSurrogate())
                return false;
            ++i;
        } else if (s[i].isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

struct Line
{
    QString text;
    bool cut;
    bool operator==(const Line&) const = default;
};

std::vector<Line> splitLines(QStringView whole, qsizetype cap, qsizetype piece)
{
    std::vector<Line> lines;
    DropFileText::LineSplitter splitter(cap, [&](QStringView line, bool cut) {
        lines.push_back({line.toString(), cut});
    });
    for (qsizetype at = 0; at < whole.size(); at += piece)
        splitter.feed(whole.mid(at, piece));
    splitter.finish();
    return lines;
}

// The text as UrlEncode promises to write it, read back.
QString urlDecoded(const QString& encoded)
{
    QString out;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == u'+') {
            out += u' ';
        } else if (encoded[i] == u'%' && i + 2 < encoded.size()) {
            bool ok = false;
            const int code = encoded.mid(i + 1, 2).toInt(&ok, 16);
            check(ok, "UrlEncode writes two hexadecimal digits after %");
            out += Windows1252::toUnicode(quint8(code));
            i += 2;
        } else {
            out += encoded[i];
        }
    }
    return out;
}

void openSheet(const uint8_t* data, size_t size, const char* fileName)
{
    static QTemporaryDir folder;
    check(folder.isValid(), "a temporary folder");
    const QString path = folder.filePath(QString::fromLatin1(fileName));
    {
        QFile file(path);
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the sheet file can be written");
        check(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size),
              "the sheet file is written whole");
    }
    try {
        const std::unique_ptr<SheetReader> sheet = SheetReader::open(path);
        check(sheet->rowCount() >= 0 && sheet->columnCount() >= 0, "a sheet's extent is not negative");
        // The last cell of the extent is read like any other.
        (void)sheet->cell(sheet->rowCount(), sheet->columnCount());
        check(wellFormed(sheet->sheetName()), "the sheet name is well-formed text");
    } catch (const SheetError& error) {
        check(!error.reason().isEmpty(), "a refusal says why");
    }
}

} // namespace

void fuzzDropFile(const uint8_t* data, size_t size)
{
    const QByteArray bytes = bytesOf(data, size);
    // A small cap, so that long lines are cut as often as whole ones.
    constexpr qsizetype Cap = 64;
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    DropFileText::readLines(device, Cap, [](QStringView line, bool) {
        check(line.size() <= Cap, "a line is cut at the cap");
        for (const DropFormat* format : {&DropFormat::pipe(), &DropFormat::comma()}) {
            if (const std::optional<QueueRecord> record = DropFileImporter::parseLine(*format, line)) {
                check(!record->msg.isEmpty(), "a queued line has a text");
                check(record->mobile.startsWith(u' '), "a queued number is written with its leading blank");
            }
        }
    });

    // Pieces as they happen to arrive split lines exactly as the whole text.
    const QString whole = text(bytes);
    const qsizetype piece = 1 + (size ? data[0] % 7 : 0);
    check(splitLines(whole, Cap, piece) == splitLines(whole, Cap, whole.size() + 1),
          "lines do not depend on how the text arrives");

    DropFileText::Utf8Validator wholeCheck;
    wholeCheck.feed(bytes);
    DropFileText::Utf8Validator pieceCheck;
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        pieceCheck.feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
    check(wholeCheck.valid() == pieceCheck.valid(), "UTF-8 validity does not depend on the pieces");

    bool utf8 = false;
    const QString name = DropFileText::fileNameFromBytes(bytes, &utf8);
    check(!utf8 || name.toUtf8() == bytes, "a UTF-8 file name reads back to its bytes");
}

void fuzzModemAnswer(const uint8_t* data, size_t size)
{
    const QByteArrayList parts = fields(data, size, 2);
    const QString sent = Windows1252::decode(Windows1252::encode(text(parts[0])));
    const QString received = Windows1252::decode(parts[1]);
    const ModemExchange::TextAnswer full = ModemExchange::answerToText(received, sent);
    (void)ModemExchange::hasErrorLine(received);
    // More of the answer never takes back what the modem said: an answer
    // decided on a part of it stays decided, and a refusal stays one.
    int prefixes = 0;
    for (qsizetype at = 0; at < received.size() && prefixes < 64; ++at) {
        if (received[at] != u'\r' && received[at] != u'\n')
            continue;
        ++prefixes;
        const ModemExchange::TextAnswer early = ModemExchange::answerToText(received.left(at + 1), sent);
        if (early != ModemExchange::TextAnswer::Pending)
            check(full != ModemExchange::TextAnswer::Pending, "a decided answer stays decided");
        if (early == ModemExchange::TextAnswer::Refused)
            check(full == ModemExchange::TextAnswer::Refused, "a refusal stays a refusal");
    }
}

void fuzzGatewayBody(const uint8_t* data, size_t size)
{
    const QByteArrayList parts = fields(data, size, 2);
    const QString number = SendUrl::cleanNumber(text(parts[0]));
    const QString body = text(parts[1]);
    check(wellFormed(body), "a decoded body is well-formed text");
    const int count = SmsSender::successMarkerCount(body, number);
    check(count >= 0 && count <= SmsSender::fixedSuccessMarkers().size() + 1,
          "one record per marker at most");
    const QString answer = SentLedger::answerForLedger(body);
    check(answer.size() <= body.size(), "the ledger's answer is no longer than the body");
    check(wellFormed(answer), "the ledger's answer is well-formed text");
}

void fuzzReportAnswer(const uint8_t* data, size_t size)
{
    const QByteArrayList parts = fields(data, size, 3);
    const QString answer = text(parts[2]);
    const ReportPoll::Outcome outcome = ReportPoll::classify(answer);
    check(outcome != ReportPoll::Outcome::NoPendingRow, "an answer is about a row");
    check(wellFormed(ReportPoll::storedReply(answer)), "the stored reply is well-formed text");
    const QString url = ReportPoll::reportUrl(text(parts[0]), text(parts[1]));
    (void)HttpFetcher::requestUrl(url);
}

void fuzzQueueStamp(const uint8_t* data, size_t size)
{
    const QByteArray bytes = bytesOf(data, size);
    for (const QString& stamp : {text(bytes), QString::fromLatin1(bytes)}) {
        const std::optional<QDate> day = QueueStamp::date(stamp);
        check((QueueStamp::form(stamp) != QueueStamp::Form::Unreadable) == day.has_value(),
              "a stamp with a form has a date");
        check(!day || day->isValid(), "a stamp's date is a real day");
        const int number = day ? day->year() * 10000 + day->month() * 100 + day->day() : 0;
        check(QueueStamp::dayNumber(stamp) == number, "the day number is the stamp's date");
    }
    const QDateTime when(QDate(2024, 2, 29), QTime(13, 5, 9));
    (void)DateFormat::format(when, text(bytes));
}

void fuzzSendUrl(const uint8_t* data, size_t size)
{
    const QByteArrayList parts = fields(data, size, 7);
    SendUrl::Values values;
    values.userName = text(parts[1]);
    values.password = text(parts[2]);
    values.mobile = SendUrl::cleanNumber(text(parts[3]));
    values.gsmSid = text(parts[4]);
    values.cdmaSid = text(parts[5]);
    values.preparedText = SendUrl::prepareText(text(parts[6]));
    check(!values.mobile.contains(u' ') && !values.mobile.contains(u'-'),
          "a cleaned number has no blank or -");
    check(!values.preparedText.contains(u'\''), "a prepared text has no apostrophe");

    const QString built = SendUrl::build(text(parts[0]), values);
    (void)HttpFetcher::requestUrl(built);

    const QString encoded = UrlEncode(values.preparedText);
    const bool codePageOnly =
        std::all_of(values.preparedText.begin(), values.preparedText.end(), [](QChar c) {
            return Windows1252::fromUnicode(c) >= 0 && c.unicode() != 1 && c.unicode() != 2;
        });
    if (codePageOnly) {
        check(std::all_of(encoded.begin(), encoded.end(),
                          [](QChar c) {
                              return c.isDigit() || (c.unicode() < 128 && c.isLetter()) || c == u'%' ||
                                     c == u'+';
                          }),
              "encoded text is letters, digits, + and escapes");
        check(urlDecoded(encoded) == values.preparedText, "encoded text reads back to the text");
    }
}

void fuzzXls(const uint8_t* data, size_t size)
{
    openSheet(data, size, "input.xls");
}

void fuzzXlsx(const uint8_t* data, size_t size)
{
    openSheet(data, size, "input.xlsx");
}

void fuzzCsv(const uint8_t* data, size_t size)
{
    openSheet(data, size, "input.csv");
}

const std::vector<Target>& targets()
{
    static const std::vector<Target> all = {
        {"drop_file", fuzzDropFile},
        {"modem_answer", fuzzModemAnswer},
        {"gateway_body", fuzzGatewayBody},
        {"report_answer", fuzzReportAnswer},
        {"queue_stamp", fuzzQueueStamp},
        {"send_url", fuzzSendUrl},
        {"xls", fuzzXls},
        {"xlsx", fuzzXlsx},
        {"csv", fuzzCsv},
    };
    return all;
}

Function byName(const char* name)
{
    for (const Target& target : targets())
        if (std::strcmp(target.name, name) == 0)
            return target.run;
    return nullptr;
}

} // namespace Fuzz

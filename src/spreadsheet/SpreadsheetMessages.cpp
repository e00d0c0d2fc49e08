#include "spreadsheet/SpreadsheetMessages.h"

#include "common/DateFormat.h"
#include "common/TextNumbers.h"
#include "core/Store.h"
#include "spreadsheet/reader/SheetReader.h"

namespace SpreadsheetMessages {

RowRule classify(const QString& columnA, const QString& columnB)
{
    const double number = TextNumbers::numericValue(columnA);
    if (number == 0 && columnB.isEmpty())
        return RowRule::Stop;
    return number > ImportBound ? RowRule::Take : RowRule::PassOver;
}

QList<SheetRow> takeRows(const SheetReader& sheet)
{
    QList<SheetRow> rows;
    for (int row = 1; row <= MaxSheetRows; ++row) {
        const QString a = sheet.cell(row, 1);
        const QString b = sheet.cell(row, 2);
        const RowRule rule = classify(a, b);
        if (rule == RowRule::Stop)
            break;
        if (rule == RowRule::Take)
            rows.append({a, b});
    }
    return rows;
}

int rowsLeftUnread(const SheetReader& sheet)
{
    for (int row = 1; row <= MaxSheetRows; ++row)
        if (classify(sheet.cell(row, 1), sheet.cell(row, 2)) == RowRule::Stop)
            return 0;
    int left = 0;
    for (int row = MaxSheetRows + 1; row <= sheet.rowCount(); ++row)
        if (!sheet.cell(row, 1).isEmpty() || !sheet.cell(row, 2).isEmpty())
            ++left;
    return left;
}

QString messageText(const QString& raw)
{
    QString text = raw.trimmed();
    text.remove(QStringLiteral("\r\n"));
    return text.trimmed();
}

bool isVisited(const QString& mobile)
{
    return TextNumbers::numericValue(mobile) > 0;
}

bool qualifies(const QString& mobile, const QString& message)
{
    const double number = TextNumbers::numericValue(mobile);
    return !message.isEmpty() && number > LowestNumber && number < HighestNumber;
}

QString stamp(const QDateTime& when)
{
    return DateFormat::format(when, StampPattern);
}

QueueRecord record(const QString& mobile, const QString& message, const QDateTime& when)
{
    QueueRecord r;
    r.mobile = mobile;
    r.msg = message;
    r.rdttm = stamp(when);
    r.urgent = Urgency;
    r.typ = 0;
    return r;
}

void queueAll(Store& store, const QList<QueueRecord>& records)
{
    if (records.isEmpty())
        return;
    Store::Transaction transaction(store);
    SendQueue::Writer writer(store);
    for (const QueueRecord& r : records)
        writer.add(r);
    transaction.commit();
}

} // namespace SpreadsheetMessages

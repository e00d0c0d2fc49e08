#include "report/ReportQuery.h"

#include "common/TextNumbers.h"
#include "core/Store.h"
#include "report/QueueStamp.h"

#include <QCoroTimer>
#include <QSqlDriver>
#include <sqlite3.h>

namespace MessageReport {

namespace {

void queueDay(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int length = sqlite3_value_bytes(argv[0]);
    const int day = text ? QueueStamp::dayNumber(QString::fromUtf8(text, length)) : 0;
    if (day == 0)
        sqlite3_result_null(context);
    else
        sqlite3_result_int(context, day);
}

int dayNumber(const QDate& date)
{
    return date.year() * 10000 + date.month() * 100 + date.day();
}

// The part of the typed text before its first letter or non-ASCII
// character: every number that begins with the text also begins with it,
// in a byte-wise comparison, so it bounds an index range.
QString rangePrefix(const QString& text)
{
    qsizetype n = 0;
    while (n < text.size()) {
        const char16_t c = text[n].unicode();
        if (c >= 0x7f || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            break;
        ++n;
    }
    return text.left(n);
}

// " where ..." and its parameters, shared by the list and its count.
Statement whereClause(const Criteria& c)
{
    const bool queued = c.view == View::Queued;
    Statement s;
    s.sql = QStringLiteral(" where 1 = 1");

    if (filtersByNumber(c.mobileStart)) {
        s.sql += QStringLiteral(" and Mobile like ? || '%' escape '\\'");
        s.params << escapeLike(c.mobileStart);
        // The same condition as a range on the number's index.
        const QString prefix = rangePrefix(c.mobileStart);
        if (!prefix.isEmpty()) {
            QString next = prefix;
            next[next.size() - 1] = QChar(char16_t(next.back().unicode() + 1));
            s.sql += QStringLiteral(" and Mobile >= ? and Mobile < ?");
            s.params << prefix << next;
        }
    }

    if (c.byDate) {
        if (queued) {
            s.sql += QStringLiteral(" and %1(RDtTM) between ? and ?").arg(QueueDayFunction);
            s.params << dayNumber(c.from) << dayNumber(c.to);
        } else {
            // Whole days, both included: from the first second of the first
            // day to before the day after the last.
            s.sql += QStringLiteral(" and SDTTm >= ? and SDTTm < ?");
            s.params << c.from.toString(QStringLiteral("yyyy-MM-dd"))
                     << c.to.addDays(1).toString(QStringLiteral("yyyy-MM-dd"));
        }
    }

    switch (c.view) {
    case View::Delivered:
        s.sql += QStringLiteral(" and Status = 'Y'");
        break;
    case View::Undelivered:
        s.sql += QStringLiteral(" and Status = 'N'");
        break;
    case View::AwaitingReport:
        s.sql += QStringLiteral(" and Status not in ('Y', 'N')");
        break;
    case View::Queued:
        break;
    }
    return s;
}

QString orderClause(const Criteria& c)
{
    // The queue's Extra1 is empty in the rows the intake writes; it stays
    // as the first key of the date order all the same.
    const bool queued = c.view == View::Queued;
    switch (c.order) {
    case Order::Mobile:
        return queued ? QStringLiteral(" order by Mobile, Extra1")
                      : QStringLiteral(" order by Mobile, SDTTm");
    case Order::Message:
        return queued ? QStringLiteral(" order by msg, Extra1, Mobile")
                      : QStringLiteral(" order by msg, SDTTm, Mobile");
    case Order::Date:
        break;
    }
    return queued ? QStringLiteral(" order by Extra1, Mobile") : QStringLiteral(" order by SDTTm, Mobile");
}

} // namespace

bool filtersByNumber(const QString& mobileStart)
{
    return TextNumbers::numericValue(mobileStart) > 0;
}

QString escapeLike(const QString& text)
{
    QString out;
    out.reserve(text.size() + 4);
    for (const QChar c : text) {
        if (c == u'\\' || c == u'%' || c == u'_')
            out += u'\\';
        out += c;
    }
    return out;
}

Statement listStatement(const Criteria& criteria)
{
    Statement s = whereClause(criteria);
    const QString columns =
        criteria.view == View::Queued
            ? QStringLiteral("select Mobile, msg as \"%1\", RDtTM as \"%2\", rowid as \"%3\" from Rsms")
                  .arg(MessageCaption, QueuedCaption, KeyCaption)
            : QStringLiteral(
                  "select Mobile, msg as \"%1\", RDtTM as \"%2\", SDTTm as \"%3\", Status as \"%4\", "
                  "Reply as \"%5\" from sms")
                  .arg(MessageCaption, QueuedCaption, SentCaption, StatusCaption, ReplyCaption);
    s.sql = columns + s.sql + orderClause(criteria);
    return s;
}

Statement countStatement(const Criteria& criteria)
{
    Statement s = whereClause(criteria);
    s.sql = (criteria.view == View::Queued ? QStringLiteral("select count(*) from Rsms")
                                           : QStringLiteral("select count(*) from sms")) +
            s.sql;
    return s;
}

void installFunctions(Store& store)
{
    QSqlDatabase db = store.db();
    // Already there on this connection (another report screen before this one)?
    {
        QSqlQuery probe(db);
        if (probe.exec(QStringLiteral("select %1(null)").arg(QueueDayFunction)))
            return;
    }
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw StoreError(-1, QStringLiteral("The report needs the local SQLite store"));
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData());
    const int rc = sqlite3_create_function_v2(connection, QueueDayFunction.toUtf8().constData(), 1,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                              &queueDay, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw StoreError(rc, QStringLiteral("Cannot register %1: %2")
                                 .arg(QueueDayFunction, QString::fromUtf8(sqlite3_errstr(rc))));
}

QSqlQuery open(Store& store, const Statement& statement, bool scrollable)
{
    QSqlQuery q(store.db());
    q.setForwardOnly(!scrollable);
    if (!q.prepare(statement.sql))
        throw StoreError::fromSql(q.lastError());
    for (const QVariant& v : statement.params)
        q.addBindValue(v);
    if (!q.exec())
        throw StoreError::fromSql(q.lastError());
    return q;
}

qint64 count(Store& store, const Criteria& criteria)
{
    const Statement s = countStatement(criteria);
    return store.scalar(s.sql, s.params).toLongLong();
}

namespace {

// Read by the same rules as the queued list's date filter; a stamp that is
// no real day gives Null and the row is left alone.
QString fillStatement()
{
    return QStringLiteral("update sms set Extra1 = %1(RDtTM) where Extra1 is null and %1(RDtTM) is not null")
        .arg(QueueDayFunction);
}

qint64 lastLedgerRow(Store& store)
{
    return store.scalar(QStringLiteral("select max(rowid) from sms")).toLongLong();
}

} // namespace

QCoro::Task<BackfillProgress> backfillQueueDayInChunks(Store& store, qint64 examinedUpTo,
                                                       BackfillProgressFn progress, int chunkRows)
{
    installFunctions(store);
    const QString fill = fillStatement() + QStringLiteral(" and rowid > ? and rowid <= ?");
    const qint64 last = lastLedgerRow(store);
    BackfillProgress done;
    done.examinedUpTo = examinedUpTo;
    done.total = qMax<qint64>(0, last - examinedUpTo);
    while (done.examinedUpTo < last) {
        const qint64 end = qMin(last, done.examinedUpTo + qMax(1, chunkRows));
        done.written += store.exec(fill, {done.examinedUpTo, end});
        done.examinedUpTo = end;
        done.examined = end - examinedUpTo;
        if (end == last)
            break;
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
        if (progress && !progress(done))
            co_return done;
    }
    if (progress)
        progress(done);
    co_return done;
}

int backfillQueueDay(Store& store)
{
    installFunctions(store);
    return store.exec(fillStatement());
}

QString csvLine(const QStringList& fields)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += u',';
        const QString& f = fields[i];
        const bool quoted = f.contains(u',') || f.contains(u'"') || f.contains(u'\n') || f.contains(u'\r') ||
                            (!f.isEmpty() && (f.front().isSpace() || f.back().isSpace()));
        if (!quoted) {
            line += f;
            continue;
        }
        QString doubled = f;
        doubled.replace(u'"', QStringLiteral("\"\""));
        line += u'"' + doubled + u'"';
    }
    return line + QStringLiteral("\r\n");
}

QDate summaryStart(const QDate& from, const QDate& to)
{
    return qMax(from, to.addDays(-(MaxSummaryDays - 1)));
}

Statement summaryStatement(const QDate& from, const QDate& to)
{
    const QDate first = summaryStart(from, to);
    Statement s;
    // Every count walks only its own rows of one day on the (Status, SDTTm)
    // index; the states other than "Y" and "N" are found by skipping from
    // one status to the next on that index, so the ledger is read once.
    s.sql =
        QStringLiteral(
            "with recursive days(d) as (select date(?) union all "
            "select date(d, '+1 day') from days where d < date(?)), "
            "states(s) as (select min(Status) from sms union all "
            "select (select min(Status) from sms where Status > states.s) from states "
            "where states.s is not null), "
            "others(s) as materialized (select s from states where s is not null and s not in ('Y', 'N')), "
            "queued(day, n) as (select %1(RDtTM), count(*) from Rsms "
            "where %1(RDtTM) between ? and ? group by 1), "
            "sent(d, y, n, a) as materialized (select d, "
            "(select count(*) from sms where Status = 'Y' and SDTTm >= d and SDTTm < date(d, '+1 day')), "
            "(select count(*) from sms where Status = 'N' and SDTTm >= d and SDTTm < date(d, '+1 day')), "
            "(select count(*) from sms where (Status in others or Status is null) "
            "and SDTTm >= d and SDTTm < date(d, '+1 day')) from days) "
            "select sent.d, sent.y, sent.n, sent.a, coalesce(queued.n, 0) "
            "from sent left join queued on queued.day = cast(replace(sent.d, '-', '') as integer) "
            "order by sent.d")
            .arg(QueueDayFunction);
    const QString isoFirst = first.toString(Qt::ISODate);
    const QString isoLast = to.toString(Qt::ISODate);
    s.params << isoFirst << isoLast << dayNumber(first) << dayNumber(to);
    return s;
}

Summary summary(Store& store, const QDate& from, const QDate& to)
{
    Summary result;
    if (!from.isValid() || !to.isValid() || to < from)
        return result;
    installFunctions(store);
    QSqlQuery q = open(store, summaryStatement(from, to));
    while (q.next()) {
        DayCounts day;
        day.day = QDate::fromString(q.value(0).toString(), Qt::ISODate);
        day.delivered = q.value(1).toLongLong();
        day.undelivered = q.value(2).toLongLong();
        day.awaiting = q.value(3).toLongLong();
        day.queued = q.value(4).toLongLong();
        result.totals.delivered += day.delivered;
        result.totals.undelivered += day.undelivered;
        result.totals.awaiting += day.awaiting;
        result.totals.queued += day.queued;
        result.days << day;
    }
    return result;
}

int deleteQueued(Store& store, const QVariant& key, const QVariant& mobile, const QVariant& stamp)
{
    return store.exec(QStringLiteral("delete from Rsms where rowid = ? and Mobile is ? and RDtTM is ?"),
                      {key, mobile, stamp});
}

} // namespace MessageReport

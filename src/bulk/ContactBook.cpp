#include "bulk/ContactBook.h"

#include "core/Schema.h"
#include "core/Store.h"

#include <QSqlQuery>

const QString ContactBook::GroupsSql = QStringLiteral("SELECT DISTINCT GRP FROM CLIST ");
const QString ContactBook::ContactGroupsSql = QStringLiteral("SELECT DISTINCT GRP FROM cLIST ");
// A range of rowids read from the end of the ledger, so the cost does not
// grow with its size (numbers of ours, not user text).
const QString ContactBook::EarlierTextsSql =
    QStringLiteral(
        "select msg from sms where msg is not null and rowid > (select coalesce(max(rowid), 0) - %1 "
        "from sms) group by msg order by max(rowid) desc limit %2")
        .arg(EarlierTextsRows)
        .arg(EarlierTextsShown);
const QString ContactBook::AccountsSql = QStringLiteral(" select UName from config ");
const QString ContactBook::NoGroup = QStringLiteral("Non");

QStringList ContactBook::fillFromQuery(Store& store, const QString& sql, const QVariantList& params)
{
    QSqlQuery q = store.query(sql, params);
    QStringList items;
    while (q.next()) {
        const QVariant v = q.value(0);
        if (!v.isNull())
            items << v.toString();
    }
    return items;
}

QStringList ContactBook::groups() const
{
    return fillFromQuery(m_store, GroupsSql);
}

QList<ContactBook::Entry> ContactBook::entries(const QString& group) const
{
    QSqlQuery q = m_store.query(QStringLiteral("select mob, nm from clist where grp = ? "
                                               "and mob is not null and nm is not null order by rowid"),
                                {group});
    QList<Entry> list;
    while (q.next())
        list.append(Entry{q.value(0).toString(), q.value(1).toString()});
    return list;
}

int ContactBook::deleteEntries(const QString& group, const QStringList& entryTexts)
{
    Store::Transaction transaction(m_store);
    int removed = 0;
    for (const QString& text : entryTexts)
        removed += m_store.exec(QStringLiteral(" Delete from Clist where mob || '-' || nm = ?  AND GRP = ?"),
                                {text, group});
    transaction.commit();
    if (removed > 0)
        Q_EMIT ContactEvents::instance().groupsChanged();
    return removed;
}

bool ContactBook::isTenDigitNumber(const QString& number)
{
    if (number.size() != Schema::ContactMobileWidth)
        return false;
    for (const QChar c : number)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

void ContactBook::checkWidths(const QString& name, const QString& mobile, const QString& group)
{
    auto check = [](const QString& value, int width, const QString& what, const QString& column) {
        if (value.size() > width)
            throw StoreError(
                -1500, QStringLiteral("The %1 \"%2\" is longer than the %3 characters that Clist.%4 holds")
                           .arg(what, value)
                           .arg(width)
                           .arg(column));
    };
    check(name, Schema::ContactNameWidth, QStringLiteral("name"), QStringLiteral("Nm"));
    check(mobile, Schema::ContactMobileWidth, QStringLiteral("number"), QStringLiteral("mob"));
    check(group, Schema::ContactGroupWidth, QStringLiteral("group"), QStringLiteral("GRP"));
}

void ContactBook::insert(const QString& name, const QString& mobile, const QString& group)
{
    checkWidths(name, mobile, group);
    m_store.exec(QStringLiteral(" INSERT INTO Clist (Nm,mob, grp) VALUES (?, ?, ?)"), {name, mobile, group});
}

ContactBook::SaveOutcome ContactBook::save(const QString& number, const QString& name, const QString& group)
{
    SaveOutcome outcome;
    if (!isTenDigitNumber(number))
        return outcome;
    outcome.group = group.isEmpty() ? NoGroup : group;
    checkWidths(name, number, outcome.group);

    const QVariant found = m_store.scalar(QStringLiteral("SELECT GRP FROM cLIST WHERE MOB = ? AND GRP = ?"),
                                          {number, outcome.group});
    if (found.isValid()) {
        outcome.result = SaveResult::AlreadyThere;
        outcome.foundGroup = found.toString();
        return outcome;
    }
    m_store.exec(QStringLiteral("INSERT INTO Clist (NM, MOB, GRP) VALUES (?, ?, ?)"),
                 {name, number, outcome.group});
    outcome.result = SaveResult::Saved;
    Q_EMIT ContactEvents::instance().groupsChanged();
    return outcome;
}

ContactEvents& ContactEvents::instance()
{
    static ContactEvents events;
    return events;
}

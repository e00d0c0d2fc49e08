#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

class Store;

// The contact book: the rows of Clist (name, mobile, group). A group exists
// while at least one contact carries its name. Every statement binds its
// values, so a quote in a name or a group is stored as it stands.
class ContactBook
{
public:
    explicit ContactBook(Store& store) : m_store(store) {}

    // The statements the screens fill their lists from.
    static const QString GroupsSql;        // "SELECT DISTINCT GRP FROM CLIST "
    static const QString ContactGroupsSql; // "SELECT DISTINCT GRP FROM cLIST "
    // The latest EarlierTextsShown distinct texts of the latest
    // EarlierTextsRows ledger rows, newest first: the screen opens at once
    // whatever the ledger holds.
    static const QString EarlierTextsSql;
    static constexpr int EarlierTextsShown = 500;
    static constexpr int EarlierTextsRows = 20000;
    static const QString AccountsSql; // " select UName from config "

    // The text given to a contact saved without a group.
    static const QString NoGroup; // "Non"

    // The first column of every row of a query, as text, in the order the
    // store returns them. Null values are skipped. A failing query throws.
    static QStringList fillFromQuery(Store& store, const QString& sql, const QVariantList& params = {});

    QStringList groups() const;

    // One entry of the contact list: the number and the name, shown as
    // mob + "-" + nm.
    struct Entry
    {
        QString mobile;
        QString name;
        QString text() const { return mobile + QLatin1Char('-') + name; }
        bool operator==(const Entry&) const = default;
    };
    // The contacts of a group in the order the store keeps them. A row
    // whose number or name is Null gives no entry.
    QList<Entry> entries(const QString& group) const;

    // Deletes, in one transaction, every contact of the group whose
    // mob + "-" + nm equals one of the entry texts. Returns the rows removed.
    int deleteEntries(const QString& group, const QStringList& entryTexts);

    enum class SaveResult
    {
        BadNumber,
        Saved,
        AlreadyThere
    };
    struct SaveOutcome
    {
        SaveResult result = SaveResult::BadNumber;
        QString group;      // the group used ("Non" for an empty one)
        QString foundGroup; // AlreadyThere: the group of the row found
    };
    // The contact screen's save: the number must be ten digits; an empty
    // group becomes "Non"; a contact with the same number in the same group
    // is not stored again. A name or group wider than its column throws
    // StoreError and stores nothing.
    SaveOutcome save(const QString& number, const QString& name, const QString& group);

    static bool isTenDigitNumber(const QString& number);

    // Adds one contact without any test but the column widths (the import
    // path); the caller runs it inside its transaction.
    void insert(const QString& name, const QString& mobile, const QString& group);

    // Throws StoreError when a value is wider than its Clist column.
    static void checkWidths(const QString& name, const QString& mobile, const QString& group);

private:
    Store& m_store;
};

// Announces changes of the contact book to every open screen, so a group
// added on the contact screen shows at once in the bulk sender's picker.
class ContactEvents : public QObject
{
    Q_OBJECT
public:
    static ContactEvents& instance();

Q_SIGNALS:
    void groupsChanged();
};

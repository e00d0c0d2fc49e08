#pragma once

#include <QSqlError>
#include <QString>
#include <stdexcept>

// An error of the store or of the server: a number and a text, as the tick's
// trace prints them ("Error", CR LF, " <number><text>").
class StoreError : public std::runtime_error
{
public:
    StoreError(int number, const QString& text);
    static StoreError fromSql(const QSqlError& error, const QString& context = QString());

    int number() const { return m_number; }
    const QString& text() const { return m_text; }

private:
    int m_number;
    QString m_text;
};

#pragma once

#include "core/EngineError.h"

#include <QSqlError>
#include <QString>

// An error of the store or of the server: a number and a text, as the tick's
// trace prints them ("Error", CR LF, " <number><text>").
class StoreError : public EngineError
{
public:
    StoreError(int number, const QString& text);
    static StoreError fromSql(const QSqlError& error, const QString& context = QString());
};

#include "core/StoreError.h"

StoreError::StoreError(int number, const QString& text) : EngineError(number, text) {}

StoreError StoreError::fromSql(const QSqlError& error, const QString& context)
{
    bool ok = false;
    int number = error.nativeErrorCode().toInt(&ok);
    if (!ok)
        number = -static_cast<int>(error.type()) - 1000; // no native code: keep the kind visible
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (!error.driverText().isEmpty() && !text.contains(error.driverText()))
        text = error.driverText() + QStringLiteral(": ") + text;
    if (!context.isEmpty())
        text = context + QStringLiteral(": ") + text;
    return StoreError(number, text.trimmed());
}

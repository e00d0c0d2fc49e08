#include "core/ModemPortNumber.h"

#include "common/LogCategories.h"
#include "core/Store.h"

namespace ModemPortNumber {

qint16 read(Store& store)
{
    QVariant value;
    try {
        value = store.scalar(QStringLiteral("SELECT * FROM GSMSET "));
    } catch (const StoreError& e) {
        qCWarning(lcStore).noquote() << "the modem port number cannot be read, port" << DefaultPort
                                     << "is used:" << e.text();
        return DefaultPort;
    }
    if (value.isNull())
        return DefaultPort;
    bool ok = false;
    const int port = value.toString().trimmed().toInt(&ok);
    if (!ok || port < 1 || port > MaxPort)
        return DefaultPort;
    return static_cast<qint16>(port);
}

void write(Store& store, qint16 port)
{
    if (port < 1 || port > MaxPort)
        throw StoreError(
            -30,
            QStringLiteral("The modem port must be a number from 1 to %1, not %2").arg(MaxPort).arg(port));
    Store::Transaction t(store);
    store.exec(QStringLiteral("DELETE FROM GSMSet"));
    store.exec(QStringLiteral("INSERT INTO GSMSet (Comm) VALUES (?)"), {QString::number(port)});
    t.commit();
}

} // namespace ModemPortNumber

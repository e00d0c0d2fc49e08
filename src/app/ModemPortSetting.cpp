#include "app/ModemPortSetting.h"

#include "app/Store.h"

#include <limits>

namespace ModemPortSetting {

qint16 read(Store& store)
{
    QVariant value;
    try {
        value = store.scalar(QStringLiteral("SELECT * FROM GSMSET "));
    } catch (const StoreError&) {
        return 1;
    }
    if (value.isNull())
        return 1;
    bool ok = false;
    const int port = value.toString().trimmed().toInt(&ok);
    if (!ok || port < std::numeric_limits<qint16>::min() || port > std::numeric_limits<qint16>::max())
        return 1;
    return static_cast<qint16>(port);
}

void write(Store& store, qint16 port)
{
    Store::Transaction t(store);
    store.exec(QStringLiteral("DELETE FROM GSMSet"));
    store.exec(QStringLiteral("INSERT INTO GSMSet (Comm) VALUES (?)"), {QString::number(port)});
    t.commit();
}

} // namespace ModemPortSetting

#pragma once

#include <QtGlobal>

class Store;

// The modem's serial port number from GSMSet: the first column of the first
// row as a 16-bit number, 1 when there is no row. A missing table (a store
// older than the table) or a value that is not a number also gives 1, so that
// start-up goes on and creates the table.
namespace ModemPortSetting {

qint16 read(Store& store);
void write(Store& store, qint16 port);

} // namespace ModemPortSetting

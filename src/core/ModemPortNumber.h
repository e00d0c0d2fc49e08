#pragma once

#include <QtGlobal>

class Store;

// The modem's serial port number from GSMSet: the first column of the first
// row as a number, 1 when there is no row. A missing table (a store older than
// the table), a Null, or a value that is not a port number (not a whole
// number from 1 to MaxPort) also gives 1, so that start-up goes on and the
// upgrade creates the table.
namespace ModemPortNumber {

constexpr qint16 DefaultPort = 1;
// GSMSet.Comm is text(2): the largest port number it can hold.
constexpr qint16 MaxPort = 99;

qint16 read(Store& store);

// Replaces the stored port; a port outside 1..MaxPort throws StoreError and
// writes nothing.
void write(Store& store, qint16 port);

} // namespace ModemPortNumber
